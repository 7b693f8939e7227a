#include "recording/RawIqFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace recording {

// Blocks travel between the sound card, the files and the signal chain as
// they are, so host order and file order (little-endian) must agree.
static_assert(std::endian::native == std::endian::little, "raw IQ blocks are little-endian");

namespace {

int Digit(int value, int place)
{
    // Fields of a sane clock are two digits; keep the header six bytes even
    // for a stamp that is not.
    const int v = std::clamp(value, 0, 99);
    return '0' + (place == 0 ? v / 10 : v % 10);
}

}  // namespace

std::array<uint8_t, kRawHeaderSize> EncodeRawHeader(const LocalStamp& start, int64_t freqCenter)
{
    std::array<uint8_t, kRawHeaderSize> h{};
    std::copy(kRawMarker.begin(), kRawMarker.end(), h.begin());
    h[6] = 0;
    h[7] = 0;
    h[8] = static_cast<uint8_t>(Digit(start.hour, 0));
    h[9] = static_cast<uint8_t>(Digit(start.hour, 1));
    h[10] = static_cast<uint8_t>(Digit(start.minute, 0));
    h[11] = static_cast<uint8_t>(Digit(start.minute, 1));
    h[12] = static_cast<uint8_t>(Digit(start.second, 0));
    h[13] = static_cast<uint8_t>(Digit(start.second, 1));
    const uint64_t f = static_cast<uint64_t>(std::clamp<int64_t>(freqCenter, 0, kRawMaxFreqCenter));
    for (int i = 0; i < 5; ++i)
        h[14 + i] = static_cast<uint8_t>(f >> (8 * (4 - i)));
    return h;
}

RawHeaderCheck CheckRawHeader(const uint8_t* bytes, std::size_t size)
{
    RawHeaderCheck r;
    if (size < kRawMarker.size() || !std::equal(kRawMarker.begin(), kRawMarker.end(), bytes)) {
        r.status = RawHeaderStatus::NotTesmar;
        r.message = kMsgRawNotTesmar;
        return r;
    }
    // Byte 7 is not examined. A marked file too short to hold the time and the
    // frequency cannot be played either.
    if (size < 7 || bytes[6] != 0 || size < static_cast<std::size_t>(kRawHeaderSize)) {
        r.status = RawHeaderStatus::WrongFormat;
        r.message = kMsgRawWrongFormat;
        return r;
    }
    const int weights[6] = {36000, 3600, 600, 60, 10, 1};
    int32_t seconds = 0;
    for (int i = 0; i < 6; ++i)
        seconds += weights[i] * (static_cast<int32_t>(bytes[8 + i]) - '0');
    r.blockCount = kBlocksPerSecond * seconds;
    uint64_t f = 0;
    for (int i = 0; i < 5; ++i)
        f = (f << 8) | bytes[14 + i];
    r.freqCenter = static_cast<int64_t>(f);
    r.status = RawHeaderStatus::Accepted;
    return r;
}

// ---------------------------------------------------------------------------

RawRecorder::~RawRecorder() { Close(); }

bool RawRecorder::Start(const std::filesystem::path& file, const LocalStamp& start,
                        int64_t freqCenter)
{
    Reset(file);
    file_ = std::fopen(file.c_str(), "wb");
    if (!file_) {
        lastError_ = DescribeFileError("cannot create", file, errno);
        return false;
    }
    return WriteHeader(start, freqCenter, false);
}

bool RawRecorder::Start(std::FILE* file, const std::filesystem::path& name, const LocalStamp& start,
                        int64_t freqCenter)
{
    Reset(name);
    file_ = file;
    return WriteHeader(start, freqCenter, false);
}

bool RawRecorder::StartInFolder(const std::filesystem::path& folder, const LocalStamp& start,
                                int32_t freqCenter)
{
    const std::filesystem::path sub = folder / "Raw";
    const std::filesystem::path wanted = sub / RawRecordingName(start, freqCenter);
    Reset(wanted);
    if (!EnsureFolder(sub, &lastError_))
        return false;
    int err = 0;
    file_ = CreateNewFile(wanted, &fileName_, &err);
    if (!file_) {
        lastError_ = DescribeFileError("cannot create", wanted, err);
        return false;
    }
    return WriteHeader(start, freqCenter, true);
}

void RawRecorder::Reset(const std::filesystem::path& file)
{
    if (file_)
        Stop();
    fileName_ = file;
    writeFailed_ = false;
    lastError_.clear();
    blockCount_ = 0;
    WriteTimeText(0, timeText_);
}

bool RawRecorder::WriteHeader(const LocalStamp& start, int64_t freqCenter, bool createdHere)
{
    const auto header = EncodeRawHeader(start, freqCenter);
    // The header reaches the file at once: a recording whose header cannot
    // be written has not started, and its file is not kept open for blocks.
    if (Write(header.data(), header.size()) && std::fflush(file_) == 0)
        return true;
    if (!writeFailed_)
        lastError_ = DescribeFileError("cannot write", fileName_, errno);
    writeFailed_ = true;
    std::fclose(file_);
    file_ = nullptr;
    // A file this recorder has just made holds nothing worth keeping.
    if (createdHere)
        ::unlink(fileName_.c_str());
    return false;
}

bool RawRecorder::AppendBlock(const void* block)
{
    if (!file_)
        return false;
    const bool ok = Write(block, kRawBlockBytes);
    WriteTimeText(blockCount_, timeText_);
    ++blockCount_;
    return ok;
}

bool RawRecorder::Stop()
{
    if (!file_)
        return false;
    Write(kRawEndMarker.data(), kRawEndMarker.size());
    return Close();
}

bool RawRecorder::Abandon()
{
    if (!file_)
        return false;
    return Close();
}

bool RawRecorder::SalvageAfterFailure()
{
    Close();
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(fileName_, ec);
    if (ec || size < uint64_t(kRawHeaderSize))
        return false;  // not even the header is there: nothing a player could use
    // Blocks reach the file in order: the whole blocks on disk are whole
    // recorded blocks.
    const uint64_t blocks =
        std::min<uint64_t>((size - kRawHeaderSize) / kRawBlockBytes, uint64_t(blockCount_));
    std::filesystem::resize_file(fileName_, kRawHeaderSize + blocks * kRawBlockBytes, ec);
    if (ec)
        return false;
    blockCount_ = static_cast<int32_t>(blocks);
    std::FILE* f = std::fopen(fileName_.c_str(), "ab");
    if (f == nullptr)
        return true;
    const bool written =
        std::fwrite(kRawEndMarker.data(), 1, kRawEndMarker.size(), f) == kRawEndMarker.size();
    const bool closed = std::fclose(f) == 0;
    if (written && closed)
        return true;
    // A marker cut short would be read as data: take it off again.
    std::filesystem::resize_file(fileName_, kRawHeaderSize + blocks * kRawBlockBytes, ec);
    return !ec;
}

bool RawRecorder::Write(const void* data, std::size_t size)
{
    if (std::fwrite(data, 1, size, file_) == size)
        return true;
    if (!writeFailed_)
        lastError_ = DescribeFileError("cannot write", fileName_, errno);
    writeFailed_ = true;
    return false;
}

bool RawRecorder::Close()
{
    if (!file_)
        return !writeFailed_;
    // Buffered data reaches the disk only now; a full disk shows up here.
    if (std::fclose(file_) != 0 && !writeFailed_) {
        lastError_ = DescribeFileError("cannot write", fileName_, errno);
        writeFailed_ = true;
    }
    file_ = nullptr;
    return !writeFailed_;
}

// ---------------------------------------------------------------------------

RawPlayer::~RawPlayer() { Close(); }

RawHeaderCheck RawPlayer::Open(const std::filesystem::path& file)
{
    Close();
    // Our recordings also stream in through a pipe.
    std::FILE* opened = OpenForReading(file, true, &lastError_);
    if (!opened) {
        RawHeaderCheck refused;
        refused.status = RawHeaderStatus::Unreadable;
        return refused;
    }
    return Open(opened, file);
}

RawHeaderCheck RawPlayer::Open(std::FILE* file, const std::filesystem::path& name)
{
    Close();
    lastError_.clear();
    readFailed_ = false;
    endMarkerSeen_ = false;
    readPos_ = readLen_ = 0;
    // Zeros can never be part of the end marker, so a fresh window cannot
    // match before 16 bytes of this file have passed through it.
    window_.fill(0);
    windowPos_ = 0;

    file_ = file;
    uint8_t header[kRawHeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, file_);
    if (got < sizeof header && std::ferror(file_)) {
        lastError_ = DescribeFileError("cannot read", name, errno);
        Close();
        RawHeaderCheck refused;
        refused.status = RawHeaderStatus::Unreadable;
        return refused;
    }
    RawHeaderCheck check = CheckRawHeader(header, got);
    if (check.status != RawHeaderStatus::Accepted) {
        lastError_ = check.message;
        Close();
        return check;
    }
    blockCount_ = check.blockCount;
    freqCenter_ = check.freqCenter;
    WriteTimeText(blockCount_, timeText_);
    return check;
}

void RawPlayer::Close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool RawPlayer::Refill()
{
    readPos_ = 0;
    readLen_ = std::fread(readBuffer_.data(), 1, readBuffer_.size(), file_);
    if (readLen_ == 0 && std::ferror(file_)) {
        readFailed_ = true;
        lastError_ = std::string("read error: ") + std::strerror(errno);
    }
    return readLen_ > 0;
}

bool RawPlayer::WindowMatches() const
{
    for (unsigned i = 0; i < 16; ++i)
        if (window_[(windowPos_ + i) & 15u] != kRawEndMarker[i])
            return false;
    return true;
}

namespace {

constexpr uint8_t kMarkerFirst = kRawEndMarker[0];
constexpr uint8_t kMarkerLast = kRawEndMarker[15];

// The first byte in [p, end) that could complete the end marker: a byte
// equal to its last one, with (when the buffer holds it) its first one 15
// bytes before. `begin` is the start of the buffer: a byte less than 15 into
// it is a candidate whenever it equals the last byte, since what came before
// is only in the window. Scans in steps of 64 bytes with a loop the compiler
// vectorises: in IQ data one byte in 256 equals the last byte, but only one
// pair in 65536 matches both.
const uint8_t* NextCandidate(const uint8_t* begin, const uint8_t* p, const uint8_t* end)
{
    for (; p < end && p < begin + 15; ++p)
        if (*p == kMarkerLast)
            return p;
    constexpr std::ptrdiff_t kStep = 64;
    while (end - p >= kStep) {
        uint8_t any = 0;
        for (std::ptrdiff_t i = 0; i < kStep; ++i)
            any |= static_cast<uint8_t>((p[i] == kMarkerLast) & (p[i - 15] == kMarkerFirst));
        if (any)
            break;
        p += kStep;
    }
    for (; p < end; ++p)
        if (*p == kMarkerLast && p[-15] == kMarkerFirst)
            return p;
    return nullptr;
}

}  // namespace

// The bytes go through the 16-byte match window one by one in meaning; but
// only a byte that could complete the marker needs the window's test, so the
// runs between two such bytes are copied into the block and through the
// window in bulk.
RawPlayer::Step RawPlayer::Pump()
{
    if (!file_)
        return Step::Idle;
    WriteTimeText(blockCount_, timeText_);
    ++blockCount_;

    auto* bytes = reinterpret_cast<uint8_t*>(frames_.data());
    int n = 0;
    for (;;) {
        if (readPos_ == readLen_ && !Refill())
            return Finish(n);  // the file ends here, as if the marker stood here
        const uint8_t* from = readBuffer_.data() + readPos_;
        const std::size_t avail =
            std::min(readLen_ - readPos_, static_cast<std::size_t>(kRawBlockBytes - n));
        const uint8_t* last = NextCandidate(readBuffer_.data(), from, from + avail);
        const std::size_t run = last ? static_cast<std::size_t>(last - from) : avail;
        std::memcpy(bytes + n, from, run);
        PushToWindow(from, run);
        n += static_cast<int>(run);
        readPos_ += run;
        if (last) {
            PushToWindow(last, 1);
            ++readPos_;
            if (WindowMatches()) {
                endMarkerSeen_ = true;
                // The marker's first 15 bytes went into the block (when they
                // were read during this call): they are not data.
                return Finish(std::max(0, n - 15));
            }
            bytes[n++] = kMarkerLast;
        }
        if (n == kRawBlockBytes) {
            validFrames_ = kRawBlockFrames;
            return Step::Block;
        }
    }
}

void RawPlayer::PushToWindow(const uint8_t* p, std::size_t count)
{
    if (count >= window_.size()) {
        // Only the last 16 stay; oldest first from position 0.
        std::memcpy(window_.data(), p + count - window_.size(), window_.size());
        windowPos_ = 0;
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        window_[windowPos_] = p[i];
        windowPos_ = (windowPos_ + 1) & 15u;
    }
}

RawPlayer::Step RawPlayer::Finish(int zeroFrom)
{
    validFrames_ = zeroFrom / 4;
    auto* bytes = reinterpret_cast<uint8_t*>(frames_.data());
    std::memset(bytes + zeroFrom, 0, static_cast<std::size_t>(kRawBlockBytes - zeroFrom));
    Close();
    return Step::FinalBlock;
}

}  // namespace recording
