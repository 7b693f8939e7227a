#include "TestFiles.h"
#include "recording/RawIqFile.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace recording;

namespace {

LocalStamp At(int h, int m, int s)
{
    LocalStamp t;
    t.hour = h;
    t.minute = m;
    t.second = s;
    return t;
}

// Data bytes that never contain the end marker's last byte, so no marker can
// appear by accident.
std::vector<uint8_t> Data(std::size_t size, uint8_t seed)
{
    std::vector<uint8_t> d(size);
    for (std::size_t i = 0; i < size; ++i) {
        uint8_t v = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
        d[i] = v == kRawEndMarker[15] ? 0x11 : v;
    }
    return d;
}

struct FileSpec {
    FileSpec(std::vector<uint8_t> d = {})
        : data(std::move(d))
    {}
    std::vector<uint8_t> data;
    bool marker = true;
    std::vector<uint8_t> trailer;
    LocalStamp start = At(9, 5, 7);
    int64_t centre = 145000000;
};

void Write(const std::filesystem::path& p, const FileSpec& f)
{
    const auto h = EncodeRawHeader(f.start, f.centre);
    std::vector<uint8_t> bytes(h.begin(), h.end());
    bytes.insert(bytes.end(), f.data.begin(), f.data.end());
    if (f.marker)
        bytes.insert(bytes.end(), kRawEndMarker.begin(), kRawEndMarker.end());
    bytes.insert(bytes.end(), f.trailer.begin(), f.trailer.end());
    WriteBytes(p, bytes);
}

std::vector<uint8_t> BlockBytes(const RawPlayer& p)
{
    const auto* b = reinterpret_cast<const uint8_t*>(p.Frames());
    return std::vector<uint8_t>(b, b + kRawBlockBytes);
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, std::size_t from, std::size_t n)
{
    return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(from),
                                v.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// The expected final block: `tail` followed by zeros.
std::vector<uint8_t> Padded(const std::vector<uint8_t>& tail)
{
    std::vector<uint8_t> b(kRawBlockBytes, 0);
    std::copy(tail.begin(), tail.end(), b.begin());
    return b;
}

class RawPlayerTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<RawPlayer> player = std::make_unique<RawPlayer>();
    std::filesystem::path file = dir / "play.dat";
};

}  // namespace

TEST_F(RawPlayerTest, RecordingOfKBlocksPlaysAsKBlocksAndOneOfZeros)
{
    RawRecorder rec;
    ASSERT_TRUE(rec.Start(file, At(9, 5, 7), 145000000));
    const auto data = Data(3 * kRawBlockBytes, 5);
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(rec.AppendBlock(data.data() + k * kRawBlockBytes));
    ASSERT_TRUE(rec.Stop());

    const RawHeaderCheck c = player->Open(file);
    ASSERT_EQ(c.status, RawHeaderStatus::Accepted);
    EXPECT_EQ(player->FreqCenter(), 145000000);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(player->Pump(), RawPlayer::Step::Block) << k;
        EXPECT_EQ(BlockBytes(*player), Slice(data, k * kRawBlockBytes, kRawBlockBytes)) << k;
    }
    EXPECT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), std::vector<uint8_t>(kRawBlockBytes, 0));
    EXPECT_TRUE(player->EndMarkerSeen());
    EXPECT_FALSE(player->IsOpen());
    EXPECT_EQ(player->Pump(), RawPlayer::Step::Idle);
}

TEST_F(RawPlayerTest, FramesAreTheFileSamplesInOrder)
{
    std::vector<uint8_t> data(kRawBlockBytes);
    // Frame 0: left 0x1234, right -2 (0xFFFE); little-endian in the file.
    data[0] = 0x34;
    data[1] = 0x12;
    data[2] = 0xFE;
    data[3] = 0xFF;
    Write(file, {data});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_EQ(player->Frames()[0], 0x1234);
    EXPECT_EQ(player->Frames()[1], -2);
}

TEST_F(RawPlayerTest, EmptyRecordingGivesOneBlockOfZeros)
{
    Write(file, {});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    EXPECT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), std::vector<uint8_t>(kRawBlockBytes, 0));
}

TEST_F(RawPlayerTest, TimeTextShowsTheRecordingsClock)
{
    Write(file, {Data(21 * kRawBlockBytes, 1)});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    EXPECT_EQ(player->BlockCount(), 20 * (9 * 3600 + 5 * 60 + 7));
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_STREQ(player->TimeText(), "09:05:07");
    for (int i = 1; i < 20; ++i)
        ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_STREQ(player->TimeText(), "09:05:07");
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);  // the 21st block: 20 blocks on
    EXPECT_STREQ(player->TimeText(), "09:05:08");
}

TEST_F(RawPlayerTest, TimeTextPassesMidnightWithoutWrapping)
{
    FileSpec f{Data(201 * kRawBlockBytes, 2)};
    f.start = At(23, 59, 50);
    Write(file, f);
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_STREQ(player->TimeText(), "23:59:59");
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_STREQ(player->TimeText(), "24:00:00");
}

TEST_F(RawPlayerTest, FileWithoutMarkerEndsAsIfTheMarkerStoodThere)
{
    FileSpec f{Data(2 * kRawBlockBytes, 3)};
    f.marker = false;
    Write(file, f);
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), std::vector<uint8_t>(kRawBlockBytes, 0));
    EXPECT_FALSE(player->EndMarkerSeen());
    EXPECT_FALSE(player->ReadFailed());
    EXPECT_EQ(player->Pump(), RawPlayer::Step::Idle);
}

TEST_F(RawPlayerTest, CutOffBlockWithoutMarkerIsPaddedWithZeros)
{
    FileSpec f{Data(kRawBlockBytes + 100, 4)};
    f.marker = false;
    Write(file, f);
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), Padded(Slice(f.data, kRawBlockBytes, 100)));
}

TEST_F(RawPlayerTest, MarkerInsideABlockEndsThereAndLaterBytesAreIgnored)
{
    FileSpec f{Data(kRawBlockBytes + 500, 6)};
    f.trailer = Data(3 * kRawBlockBytes, 7);
    Write(file, f);
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), Padded(Slice(f.data, kRawBlockBytes, 500)));
    EXPECT_TRUE(player->EndMarkerSeen());
    EXPECT_EQ(player->Pump(), RawPlayer::Step::Idle);
}

TEST_F(RawPlayerTest, MarkerAcrossABlockBoundaryZeroesFromTheStart)
{
    // Five marker bytes complete the first block, which is handed on with
    // them; the rest of the marker ends playback with a block of zeros.
    Write(file, {Data(kRawBlockBytes - 5, 8)});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    const auto first = BlockBytes(*player);
    EXPECT_TRUE(std::equal(kRawEndMarker.begin(), kRawEndMarker.begin() + 5, first.end() - 5));
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), std::vector<uint8_t>(kRawBlockBytes, 0));
}

TEST_F(RawPlayerTest, MarkerAcrossTheReadAheadBoundaryIsFound)
{
    // The data start at file offset 19; 64 KiB of read-ahead later the
    // marker is split between two reads.
    const std::size_t before = 64 * 1024 - 8;
    Write(file, {Data(before, 9)});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    const std::size_t whole = before / kRawBlockBytes;
    for (std::size_t k = 0; k < whole; ++k)
        ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    auto data = Data(before, 9);
    EXPECT_EQ(BlockBytes(*player),
              Padded(Slice(data, whole * kRawBlockBytes, before - whole * kRawBlockBytes)));
}

TEST_F(RawPlayerTest, AlmostAMarkerIsData)
{
    std::vector<uint8_t> data = Data(kRawBlockBytes, 10);
    // The marker's first 15 bytes followed by another byte, then the marker's
    // last 15 bytes: neither is a marker.
    std::copy(kRawEndMarker.begin(), kRawEndMarker.end() - 1, data.begin() + 100);
    data[115] = 0x00;
    std::copy(kRawEndMarker.begin() + 1, kRawEndMarker.end(), data.begin() + 200);
    Write(file, {data});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_EQ(BlockBytes(*player), data);
    EXPECT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
}

TEST_F(RawPlayerTest, MarkerRightAfterTheHeaderIsFoundWithoutHeaderBytes)
{
    // Only bytes of the data part enter the match window.
    Write(file, {Data(3, 11)});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);
    EXPECT_EQ(BlockBytes(*player), Padded(Data(3, 11)));
}

TEST_F(RawPlayerTest, RefusesOtherFormatsWithTheirMessages)
{
    auto h = EncodeRawHeader(At(1, 2, 3), 7100000);
    h[6] = 2;
    WriteBytes(file, std::vector<uint8_t>(h.begin(), h.end()));
    RawHeaderCheck c = player->Open(file);
    EXPECT_EQ(c.status, RawHeaderStatus::WrongFormat);
    EXPECT_STREQ(c.message, "Tesmar can not read this format.");
    EXPECT_FALSE(player->IsOpen());
    EXPECT_EQ(player->Pump(), RawPlayer::Step::Idle);

    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E'};
    wav.resize(44, 0);
    WriteBytes(file, wav);
    c = player->Open(file);
    EXPECT_EQ(c.status, RawHeaderStatus::NotTesmar);
    EXPECT_STREQ(c.message, "This data is not to use for Tesmar.");
    EXPECT_FALSE(player->IsOpen());
}

TEST_F(RawPlayerTest, CutOffHeaderIsRefused)
{
    WriteBytes(file, {'T', 'e', 's', 'm', 'a', 'r', 0, 0});
    const RawHeaderCheck c = player->Open(file);
    EXPECT_EQ(c.status, RawHeaderStatus::WrongFormat);
    EXPECT_FALSE(player->IsOpen());
    WriteBytes(file, {});
    EXPECT_EQ(player->Open(file).status, RawHeaderStatus::NotTesmar);
}

TEST_F(RawPlayerTest, MissingOrUnreadableFileHasNoMessageButAReason)
{
    RawHeaderCheck c = player->Open(dir / "none.dat");
    EXPECT_EQ(c.status, RawHeaderStatus::Unreadable);
    EXPECT_EQ(c.message, nullptr);
    EXPECT_NE(player->LastError().find("cannot open"), std::string::npos);
    EXPECT_FALSE(player->IsOpen());

    c = player->Open(dir.Path());  // a folder opens but cannot be read
    EXPECT_EQ(c.status, RawHeaderStatus::Unreadable);
    EXPECT_EQ(c.message, nullptr);
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->LastError().empty());
}

TEST_F(RawPlayerTest, CloseStopsPlayback)
{
    Write(file, {Data(3 * kRawBlockBytes, 12)});
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    player->Close();
    EXPECT_EQ(player->Pump(), RawPlayer::Step::Idle);
}

TEST_F(RawPlayerTest, SecondFileStartsWithAFreshWindow)
{
    // The first file ends without its marker, after the marker's first 15
    // bytes; the second begins with the marker's last byte. That byte must not
    // end the second file.
    FileSpec first{std::vector<uint8_t>(kRawEndMarker.begin(), kRawEndMarker.end() - 1)};
    first.marker = false;
    Write(file, first);
    ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::FinalBlock);

    std::vector<uint8_t> data = Data(kRawBlockBytes, 13);
    data[0] = kRawEndMarker[15];
    Write(dir / "second.dat", {data});
    ASSERT_EQ(player->Open(dir / "second.dat").status, RawHeaderStatus::Accepted);
    ASSERT_EQ(player->Pump(), RawPlayer::Step::Block);
    EXPECT_EQ(BlockBytes(*player), data);
}

namespace {

// The pump's rule byte by byte, as written: every byte through the 16-byte
// window, the marker recognised when the window holds it, the block zeroed
// from where the marker began. Returns the blocks handed on, and in `found`
// whether the marker ended them.
std::vector<std::vector<uint8_t>> BytewisePlayback(const std::vector<uint8_t>& data, bool& found)
{
    found = false;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint8_t> block(kRawBlockBytes, 0), window(16, 0);
    std::size_t pos = 0;
    for (;;) {
        int n = 0;
        for (;;) {
            if (pos == data.size()) {
                std::fill(block.begin() + n, block.end(), 0);
                blocks.push_back(block);
                return blocks;
            }
            const uint8_t b = data[pos++];
            window.erase(window.begin());
            window.push_back(b);
            if (std::equal(window.begin(), window.end(), kRawEndMarker.begin())) {
                found = true;
                std::fill(block.begin() + std::max(0, n - 15), block.end(), 0);
                blocks.push_back(block);
                return blocks;
            }
            block[static_cast<std::size_t>(n++)] = b;
            if (n == kRawBlockBytes)
                break;
        }
        blocks.push_back(block);
    }
}

}  // namespace

// The runs between two candidates for the marker's last byte are copied in
// bulk: data full of that byte and of pieces of the marker, with the marker
// (or none) at places around the block and read-ahead boundaries, give the
// blocks the byte-by-byte rule gives.
TEST_F(RawPlayerTest, BulkScanGivesTheBlocksOfTheByteByByteRule)
{
    const std::size_t markerAt[] = {
        0,     1,     15,    16,    9599,      9600,   9601, 19200,
        65517, 65522, 65530, 65536, 65536 + 7, 123457, 70000 /* none: the file just ends */};
    uint32_t seed = 7;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    for (const std::size_t at : markerAt) {
        const bool none = at == 70000;
        std::vector<uint8_t> data(none ? 3 * kRawBlockBytes + 123 : at + 3000);
        for (auto& v : data) {
            const uint32_t r = next();
            // Plenty of the last byte, and runs of the marker's first bytes.
            v = r < 40   ? kRawEndMarker[15]
                : r < 80 ? kRawEndMarker[r % 15]
                         : static_cast<uint8_t>(r);
        }
        for (std::size_t k = 0; k + 16 <= data.size(); k += 997) {  // near misses
            std::copy(kRawEndMarker.begin(), kRawEndMarker.end() - 1, data.begin() + k);
            data[k + 15] = 0x00;
        }
        if (!none)
            std::copy(kRawEndMarker.begin(), kRawEndMarker.end(), data.begin() + at);
        bool found = false;
        const auto want = BytewisePlayback(data, found);
        FileSpec made(data);
        made.marker = false;
        Write(file, made);
        ASSERT_EQ(player->Open(file).status, RawHeaderStatus::Accepted);
        for (std::size_t k = 0; k < want.size(); ++k) {
            const RawPlayer::Step step = player->Pump();
            ASSERT_EQ(step,
                      k + 1 == want.size() ? RawPlayer::Step::FinalBlock : RawPlayer::Step::Block)
                << "marker at " << at << ", block " << k;
            ASSERT_EQ(BlockBytes(*player), want[k]) << "marker at " << at << ", block " << k;
        }
        EXPECT_EQ(player->EndMarkerSeen(), found) << at;
        EXPECT_EQ(found, !none) << at;
    }
}
