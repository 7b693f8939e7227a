// The header parsers of other receivers' recordings, fed hand-made headers:
// fields at their offsets, sizes a cut-off recording leaves, damaged headers.

#include "recording/IqFormats.h"
#include "recording/IqPlayer.h"
#include "recording/IqReader.h"
#include "recording/IqTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace recording {
namespace {

std::vector<uint8_t> U16(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

void PutLe(std::vector<uint8_t>& b, std::size_t at, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A 16-bit, 96 kHz header whose data chunk declares `dataSize`.
std::vector<uint8_t> Header16(uint32_t dataSize, std::span<const uint8_t> auxi = {})
{
    return EncodeWavHeader(1, 16, 96000, dataSize, auxi);
}

// Catches a header or field read past the bytes given, a size of zero taken
// literally (nothing plays), and a size past the end trusted (reads beyond).
TEST(IqFormats, WavDataSizesFallBackToTheFilesLength)
{
    const struct {
        const char* name;
        uint32_t declared;
        uint64_t fileSize;
        uint64_t expected;
    } cases[] = {
        {"as declared", 4000, 44 + 8000, 4000},
        {"zero: cut short", 0, 44 + 8000, 8000},
        {"past the end", 100000, 44 + 8000, 8000},
        {"partial frame dropped", 0, 44 + 8003, 8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IqLayout layout;
        std::string error;
        ASSERT_TRUE(ParseWavHeader(Header16(c.declared), c.fileSize, &layout, &error)) << error;
        EXPECT_EQ(layout.dataOffset, 44u);
        EXPECT_EQ(layout.dataBytes, c.expected);
        EXPECT_EQ(layout.sampleRate, 96000);
        EXPECT_EQ(layout.type, SampleType::S16LE);
    }
}

// Catches a chunk skipped without its pad byte (the next chunk read one byte
// off) and RF64's all-ones sizes taken literally instead of ds64's.
TEST(IqFormats, OddChunksArePaddedAndRf64TakesDs64Sizes)
{
    auto wav = Header16(400);
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    wav.insert(wav.begin() + 36, list.begin(), list.end());
    IqLayout layout;
    std::string error;
    ASSERT_TRUE(ParseWavHeader(wav, 10000, &layout, &error)) << error;
    EXPECT_EQ(layout.dataOffset, 44u + list.size());
    EXPECT_EQ(layout.dataBytes, 400u);

    TempDir dir;
    const auto rf64 =
        iqtest::Write(dir.Path(), {iqtest::Container::Rf64, SampleType::S16LE, 192000},
                      iqtest::Signal(192000, 1000, {}));
    const auto bytes = ReadBytes(rf64);
    ASSERT_TRUE(ParseWavHeader(bytes, bytes.size() + 500, &layout, &error)) << error;
    EXPECT_EQ(layout.dataBytes, 4000u);  // ds64's size, not the file's length
    EXPECT_EQ(layout.dataOffset + 4000u, bytes.size());
}

// Catches a crash or a silent acceptance of a damaged header; each refusal
// names what is wrong.
TEST(IqFormats, DamagedWavHeadersAreRefusedWithAMessage)
{
    const auto good = Header16(400);
    auto mono = good;
    mono[22] = 1;
    auto floats24 = good;
    floats24[20] = 3;
    floats24[34] = 24;
    auto zeroRate = good;
    PutLe(zeroRate, 24, 0, 4);
    auto hugeChunk = good;
    PutLe(hugeChunk, 16, 0xFFFFFFF0u, 4);
    std::vector<uint8_t> dataFirst(good.begin(), good.begin() + 12);
    for (std::size_t i = good.size() - 8; i < good.size(); ++i)
        dataFirst.push_back(good[i]);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* says;
    } cases[] = {
        {"empty", {}, "cut short"},
        {"RIFF only", {good.begin(), good.begin() + 4}, "cut short"},
        {"no data", {good.begin(), good.begin() + 36}, "before its data chunk"},
        {"half a chunk header", {good.begin(), good.begin() + 40}, "before its data chunk"},
        {"fmt cut", {good.begin(), good.begin() + 30}, "runs past"},
        {"not WAV", std::vector<uint8_t>(64, 'x'), "not a WAV"},
        {"mono", mono, "1 channel"},
        {"24-bit float", floats24, "not supported"},
        {"rate 0", zeroRate, "rate is 0"},
        {"huge fmt", hugeChunk, "runs past"},
        {"data before fmt", dataFirst, "before its fmt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IqLayout layout;
        std::string error;
        EXPECT_FALSE(ParseWavHeader(c.bytes, 1000, &layout, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// Catches the centre frequency read from the wrong offset, SYSTEMTIME fields
// out of order, the XML variant read as binary (a nonsense frequency), and
// an invalid time shown as if it were one.
TEST(IqFormats, AuxiChunksInEveryLayout)
{
    const auto time = U16({2026, 12, 1, 7, 10, 11, 12, 500});
    const auto stop = U16({2026, 12, 1, 7, 10, 21, 12, 0});
    const auto withFreq = [&](std::size_t size, bool validTime) {
        std::vector<uint8_t> b = time;
        if (!validTime)
            b[2] = 13;  // month 13
        b.insert(b.end(), stop.begin(), stop.end());
        b.resize(std::max<std::size_t>(size, 40), 0);
        PutLe(b, 32, 7100000, 4);
        PutLe(b, 36, 192000, 4);
        b.resize(size);
        return b;
    };
    const std::u16string xml =
        u"<SDRuno RadioCenterFreq=\"14200000\" SampleRate=\"192000\" UTCSeconds=\"1796630400\"/>";
    std::vector<uint8_t> xmlBytes = {0xFF, 0xFE};
    for (char16_t c : xml) {
        xmlBytes.push_back(static_cast<uint8_t>(c));
        xmlBytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    std::vector<uint8_t> xmlNoBom(xmlBytes.begin() + 2, xmlBytes.end());
    const int64_t t = UnixMsFromUtc(2026, 12, 7, 10, 11, 12, 500);
    const struct {
        const char* name;
        std::vector<uint8_t> body;
        std::optional<int64_t> freq, start;
    } cases[] = {
        {"164 bytes", withFreq(164, true), 7100000, t},
        {"68 bytes", withFreq(68, true), 7100000, t},
        {"invalid time", withFreq(68, false), 7100000, std::nullopt},
        {"too short", withFreq(20, true), std::nullopt, std::nullopt},
        {"XML with BOM", xmlBytes, 14200000, int64_t{1796630400} * 1000},
        {"XML without BOM", xmlNoBom, 14200000, int64_t{1796630400} * 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IqLayout layout;
        ParseAuxiChunk(c.body, &layout);
        EXPECT_EQ(layout.freqCenter, c.freq);
        EXPECT_EQ(layout.startUnixMs, c.start);
    }
    // Written and read back through a whole header.
    IqLayout layout;
    std::string error;
    const auto body = EncodeAuxiChunk(3500000, t, 10000, 96000);
    ASSERT_EQ(body.size(), 164u);
    ASSERT_TRUE(ParseWavHeader(Header16(0, body), 1000, &layout, &error)) << error;
    EXPECT_EQ(layout.freqCenter, 3500000);
    EXPECT_EQ(layout.startUnixMs, t);
}

// Catches a CRC over the wrong bytes or polynomial (every real file refused),
// a damaged header accepted, and the 24-bit size read as packed.
TEST(IqFormats, SdriqHeaders)
{
    EXPECT_EQ(Crc32({reinterpret_cast<const uint8_t*>("123456789"), 9}), 0xCBF43926u);
    uint8_t h[kSdriqHeaderSize];
    EncodeSdriqHeader(2400000, 145000000, 1796630400123, 24, h);
    IqLayout layout;
    std::string error;
    ASSERT_TRUE(ParseSdriqHeader(h, 32 + 8 * 100 + 5, &layout, &error)) << error;
    EXPECT_EQ(layout.sampleRate, 2400000);
    EXPECT_EQ(layout.freqCenter, 145000000);
    EXPECT_EQ(layout.startUnixMs, 1796630400123);
    EXPECT_EQ(layout.type, SampleType::S24In32LE);
    EXPECT_EQ(layout.dataOffset, 32u);
    EXPECT_EQ(layout.dataBytes, 800u);

    uint8_t bad[kSdriqHeaderSize];
    std::copy(h, h + 32, bad);
    bad[5] ^= 1;  // one bit of the frequency
    uint8_t size20[kSdriqHeaderSize];
    EncodeSdriqHeader(48000, 1, 0, 20, size20);
    uint8_t rate0[kSdriqHeaderSize];
    EncodeSdriqHeader(0, 1, 0, 16, rate0);
    const struct {
        const char* name;
        std::span<const uint8_t> bytes;
        const char* says;
    } cases[] = {
        {"bad CRC", bad, "CRC"},
        {"cut short", {h, 31}, "cut short"},
        {"sample size 20", size20, "sample size 20"},
        {"rate 0", rate0, "rate is 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ParseSdriqHeader(c.bytes, 1000, &layout, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// Catches a missing rate accepted (a division by zero later), types mapped
// to the wrong decoder, fractions of a second or the capture fields lost, and
// nesting deep enough to exhaust the stack.
TEST(IqFormats, SigmfMeta)
{
    IqLayout layout;
    std::string error;
    ASSERT_TRUE(ParseSigmfMeta(R"({"global": {"core:datatype": "cf32_be", "core:sample_rate": 2.4e6,
        "core:version": "1.0.0"}, "captures": [{"core:sample_start": 0, "core:frequency": 1.4e8,
        "core:datetime": "2026-12-07T10:11:12.25Z"}], "annotations": []})",
                               &layout, &error))
        << error;
    EXPECT_EQ(layout.type, SampleType::F32BE);
    EXPECT_EQ(layout.sampleRate, 2400000);
    EXPECT_EQ(layout.freqCenter, 140000000);
    EXPECT_EQ(layout.startUnixMs, UnixMsFromUtc(2026, 12, 7, 10, 11, 12, 250));

    const struct {
        const char* name;
        std::string json;
        const char* says;
    } cases[] = {
        {"no rate", R"({"global":{"core:datatype":"ci16_le"}})", "no core:sample_rate"},
        {"rate as text", R"({"global":{"core:datatype":"ci16_le","core:sample_rate":"48000"}})",
         "no core:sample_rate"},
        {"rate 0", R"({"global":{"core:datatype":"ci16_le","core:sample_rate":0}})",
         "out of range"},
        {"real samples", R"({"global":{"core:datatype":"rf32_le","core:sample_rate":1}})",
         "not supported"},
        {"no datatype", R"({"global":{"core:sample_rate":1}})", "no core:datatype"},
        {"no global", R"({"captures":[]})", "no \"global\""},
        {"cut off", R"({"global":{"core:datatype":"ci8")", "not valid JSON"},
        {"trailing", R"({"global":{}} x)", "not valid JSON"},
        {"deep", std::string(100000, '['), "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ParseSigmfMeta(c.json, &layout, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

// Catches MHz or a date read as a frequency, and gqrx fields taken in the
// wrong order.
TEST(IqFormats, FrequenciesAndFieldsFromNames)
{
    const struct {
        const char* name;
        std::optional<int64_t> freq;
    } names[] = {
        {"HDSDR_20261207_101112Z_7100kHz_RF.wav", 7100000},
        {"baseband_14200000Hz_10-11-12_07-12-2026.wav", 14200000},
        {"rec_7MHz.wav", std::nullopt},
        {"kHz.wav", std::nullopt},
        {"20261207_101112.wav", std::nullopt},
    };
    for (const auto& n : names)
        EXPECT_EQ(FrequencyFromName(n.name), n.freq) << n.name;

    IqLayout layout;
    ASSERT_TRUE(ParseGqrxName("/x/gqrx_20261207_101112_7100000_2400000_fc.raw", &layout));
    EXPECT_EQ(layout.freqCenter, 7100000);
    EXPECT_EQ(layout.sampleRate, 2400000);
    EXPECT_EQ(layout.type, SampleType::F32LE);
    EXPECT_EQ(layout.startUnixMs, UnixMsFromUtc(2026, 12, 7, 10, 11, 12, 0));
    for (const char* bad :
         {"gqrx_20261207_101112_7100000_2400000.raw", "gqrx_2026127_101112_7100000_2400000_fc.raw",
          "gqrx_20261207_101112_7100000_0_fc.raw", "gqrx__fc.raw"})
        EXPECT_FALSE(ParseGqrxName(bad, &layout)) << bad;
}

// Catches a SigMF recording whose data file is gone played as silence, or a
// failure that names neither file nor fault; and an unknown file taken by
// the new readers instead of getting our own refusal.
TEST(IqFormats, PlayerRefusals)
{
    TempDir dir;
    WriteBytes(dir / "lone.sigmf-meta",
               {'{', '"', 'g', 'l', 'o', 'b', 'a', 'l', '"', ':', '{', '"', 'c', 'o', 'r',
                'e', ':', 'd', 'a', 't', 'a', 't', 'y', 'p', 'e', '"', ':', '"', 'c', 'i',
                '8', '"', ',', '"', 'c', 'o', 'r', 'e', ':', 's', 'a', 'm', 'p', 'l', 'e',
                '_', 'r', 'a', 't', 'e', '"', ':', '9', '6', '0', '0', '0', '}', '}'});
    WriteBytes(dir / "noise.bin", std::vector<uint8_t>(100, 7));
    WriteBytes(dir / "cut.wav", {'R', 'I', 'F', 'F', 0, 0});
    WriteBytes(dir / "empty.wav", {});
    const std::vector<uint8_t> floats(800, 0);
    WriteBytes(dir / "gqrx_20261207_101112_7100000_0_fc.raw", floats);
    WriteBytes(dir / "gqrx_20261207_101112_7100000_999999999999_fc.raw", floats);
    IqPlayer player;
    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"lone.sigmf-meta", "lone.sigmf-data is missing"},
        {"noise.bin", kMsgRawNotTesmar},
        {"cut.wav", "cut.wav: WAV header cut short"},
        {"empty.wav", "empty.wav: the file is empty"},
        {"gqrx_20261207_101112_7100000_0_fc.raw", "sample rate 0 Hz is outside"},
        {"gqrx_20261207_101112_7100000_999999999999_fc.raw",
         "sample rate 999999999999 Hz is outside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto result = player.Open(dir / c.file);
        EXPECT_NE(result.status, RawHeaderStatus::Accepted);
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_FALSE(player.IsOpen());
    }
}

// Catches a WAV file refused for a large chunk before its data (a LIST of
// cover art, a long comment), or one read whole into memory to skip it: the
// samples after a 3 MiB chunk play exactly.
TEST(IqFormats, AChunkOfAnySizeBeforeTheDataIsSkipped)
{
    TempDir dir;
    std::vector<uint8_t> samples(2 * 2 * kRawBlockFrames);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<uint8_t>(i * 7 + 3);
    auto wav = EncodeWavHeader(1, 16, 48000, static_cast<uint32_t>(samples.size()), {});
    constexpr uint32_t kList = 3 << 20;
    std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 0, 0, 0, 0};
    PutLe(list, 4, kList, 4);
    list.resize(8 + kList, 'x');
    wav.insert(wav.end() - 8, list.begin(), list.end());
    wav.insert(wav.end(), samples.begin(), samples.end());
    WriteBytes(dir / "listed.wav", wav);
    IqPlayer player;
    const auto result = player.Open(dir / "listed.wav");
    ASSERT_EQ(result.status, RawHeaderStatus::Accepted) << result.message;
    ASSERT_EQ(player.Pump(), IqPlayer::Step::Block);
    // Q first, as our own frames hold them.
    for (int k = 0; k < kRawBlockSamples; ++k)
        ASSERT_EQ(player.Frames()[k ^ 1], static_cast<int16_t>(Le16(samples, 2 * k))) << k;
}

// Catches a slice allowed past the recording's edge, and a 48 kHz file
// resampled (its samples would no longer be exact).
TEST(IqFormats, SliceStaysInsideTheRecordingAndA48kFilePlaysExactly)
{
    TempDir dir;
    std::vector<double> iq(2 * 3000);
    for (std::size_t i = 0; i < iq.size(); ++i)
        iq[i] = static_cast<double>(static_cast<int>(i * 37 % 2001) - 1000) / 32768.0;
    const auto wav48 =
        iqtest::Write(dir.Path(), {iqtest::Container::Wav, SampleType::S16LE, 48000}, iq);
    IqPlayer player;
    ASSERT_EQ(player.Open(wav48).status, RawHeaderStatus::Accepted);
    EXPECT_EQ(player.FreqCenter(), 7100000);
    EXPECT_FALSE(player.SetShift(48000));
    ASSERT_EQ(player.Pump(), IqPlayer::Step::Block);
    for (int n = 0; n < kRawBlockFrames; ++n) {
        // Q first, as our own frames hold them.
        ASSERT_EQ(player.Frames()[2 * n], std::lround(iq[2 * n + 1] * 32768)) << n;
        ASSERT_EQ(player.Frames()[2 * n + 1], std::lround(iq[2 * n] * 32768)) << n;
    }
    ASSERT_EQ(player.Pump(), IqPlayer::Step::FinalBlock);
    EXPECT_EQ(player.ValidFrames(), 600);
    EXPECT_EQ(player.Frames()[2 * 600], 0);

    const auto wide =
        iqtest::Write(dir.Path(), {iqtest::Container::Sdriq, SampleType::S16LE, 192000},
                      iqtest::Signal(192000, 100, {}));
    ASSERT_EQ(player.Open(wide).status, RawHeaderStatus::Accepted);
    EXPECT_TRUE(player.SetShift(72000));
    EXPECT_FALSE(player.SetShift(72001));
    EXPECT_TRUE(player.SetShift(-72000));
    EXPECT_EQ(player.SliceCenter(), 7100000 - 72000);
}

}  // namespace
}  // namespace recording
