#include "recording/WavFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace recording {

static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");

namespace {

constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void Put32(uint8_t* at, uint32_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
    at[2] = static_cast<uint8_t>(v >> 16);
    at[3] = static_cast<uint8_t>(v >> 24);
}

void Put16(uint8_t* at, uint16_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

void EncodeWavHeader(uint8_t (&h)[kWavHeaderSize], uint32_t sampleRate, uint16_t channels,
                     uint32_t dataLength)
{
    constexpr uint16_t kBits = 16;
    std::memcpy(h + 0, "RIFF", 4);
    Put32(h + 4, dataLength == kWavStreamingSize ? kWavStreamingSize : dataLength + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, channels);
    Put32(h + 24, sampleRate);
    Put32(h + 28, sampleRate * channels * kBits / 8);
    Put16(h + 32, static_cast<uint16_t>(channels * kBits / 8));
    Put16(h + 34, kBits);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataLength);
}

int64_t TrimWavFile(const std::filesystem::path& file, uint32_t sampleRate, uint16_t channels,
                    uint32_t blockBytes, uint64_t maxDataBytes, std::string* error)
{
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) {
        *error = DescribeFileError("cannot repair", file, ec.value());
        return -1;
    }
    // Blocks reach the file in order, so whatever lies on disk is a prefix of
    // what was written: the whole blocks in it are whole recorded blocks.
    const uint64_t onDisk = size > kWavHeaderSize ? size - kWavHeaderSize : 0;
    const uint64_t data = std::min(onDisk / blockBytes * blockBytes, maxDataBytes);
    std::filesystem::resize_file(file, kWavHeaderSize + data, ec);
    if (ec) {
        *error = DescribeFileError("cannot repair", file, ec.value());
        return -1;
    }
    // The whole header again, in case the failure cut into it.
    uint8_t header[kWavHeaderSize];
    EncodeWavHeader(header, sampleRate, channels, static_cast<uint32_t>(data));
    std::FILE* f = std::fopen(file.c_str(), "r+b");
    bool ok = f != nullptr && std::fwrite(header, 1, sizeof header, f) == sizeof header;
    const int err = errno;
    if (f != nullptr && std::fclose(f) != 0)
        ok = false;
    if (!ok) {
        *error = DescribeFileError("cannot repair", file, err);
        return -1;
    }
    return static_cast<int64_t>(data);
}

// ---------------------------------------------------------------------------

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Create(const std::filesystem::path& file, uint32_t sampleRate, uint16_t channels)
{
    Reset(file);
    file_ = std::fopen(file.c_str(), "wb");
    if (!file_) {
        const int err = errno;
        failed_ = true;
        lastError_ = DescribeFileError("cannot create", file, err);
        return false;
    }
    return WriteHeader(sampleRate, channels, false);
}

bool WavWriter::CreateNew(const std::filesystem::path& wanted, uint32_t sampleRate,
                          uint16_t channels)
{
    Reset(wanted);
    int err = 0;
    file_ = CreateNewFile(wanted, &fileName_, &err);
    if (!file_) {
        failed_ = true;
        lastError_ = DescribeFileError("cannot create", wanted, err);
        return false;
    }
    return WriteHeader(sampleRate, channels, true);
}

bool WavWriter::Adopt(std::FILE* file, const std::filesystem::path& name, uint32_t sampleRate,
                      uint16_t channels)
{
    Reset(name);
    file_ = file;
    return WriteHeader(sampleRate, channels, false);
}

void WavWriter::Reset(const std::filesystem::path& file)
{
    Close();
    fileName_ = file;
    dataBytes_ = 0;
    failed_ = false;
    streaming_ = false;
    lastError_.clear();
}

bool WavWriter::WriteHeader(uint32_t sampleRate, uint16_t channels, bool createdHere)
{
    // A file that cannot be sought back to gets its sizes as "until the end"
    // once and for all, instead of an update that would fail.
    streaming_ = ::lseek(::fileno(file_), 0, SEEK_CUR) < 0 && errno == ESPIPE;
    // Long outputs (a whole recording demodulated) are written in large
    // pieces rather than the library's default few kilobytes.
    std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
    uint8_t header[kWavHeaderSize];
    EncodeWavHeader(header, sampleRate, channels, streaming_ ? kWavStreamingSize : 0);
    // The header reaches the file at once: a writer that cannot write it has
    // not started, and does not hold the file open for samples.
    if (std::fwrite(header, 1, sizeof header, file_) == sizeof header && std::fflush(file_) == 0)
        return true;
    Fail("cannot write", errno);
    std::fclose(file_);
    file_ = nullptr;
    // A file this writer has just made holds nothing worth keeping.
    if (createdHere)
        ::unlink(fileName_.c_str());
    return false;
}

bool WavWriter::Append(const int16_t* samples, std::size_t count)
{
    if (!file_)
        return false;
    const uint64_t bytes = 2ull * count;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        if (!failed_)
            lastError_ = "cannot write " + fileName_.string() + ": a WAV file holds at most 4 GiB";
        failed_ = true;
        return false;
    }
    if (std::fwrite(samples, 2, count, file_) != count)
        return Fail("cannot write", errno);
    dataBytes_ += bytes;
    return true;
}

bool WavWriter::UpdateSizes(uint32_t dataLength)
{
    if (!file_)
        return false;
    if (streaming_) {
        if (std::fflush(file_) != 0)
            return Fail("cannot write", errno);
        return true;
    }
    uint8_t field[4];
    bool ok = std::fseek(file_, 4, SEEK_SET) == 0;
    Put32(field, dataLength + 36);
    ok = ok && std::fwrite(field, 1, 4, file_) == 4;
    ok = ok && std::fseek(file_, 40, SEEK_SET) == 0;
    Put32(field, dataLength);
    ok = ok && std::fwrite(field, 1, 4, file_) == 4;
    ok = ok && std::fseek(file_, 0, SEEK_END) == 0;
    ok = ok && std::fflush(file_) == 0;
    if (!ok)
        return Fail("cannot write", errno);
    return true;
}

bool WavWriter::Close()
{
    if (!file_)
        return !failed_;
    if (std::fclose(file_) != 0)
        Fail("cannot write", errno);
    file_ = nullptr;
    return !failed_;
}

bool WavWriter::Fail(const char* what, int err)
{
    if (!failed_)
        lastError_ = DescribeFileError(what, fileName_, err);
    failed_ = true;
    return false;
}

// ---------------------------------------------------------------------------

bool WaveRecorder::Start(const std::filesystem::path& file)
{
    Restart(file);
    return wav_.Create(file, kWaveRecRate, 1);
}

bool WaveRecorder::Start(std::FILE* file, const std::filesystem::path& name)
{
    Restart(name);
    return wav_.Adopt(file, name, kWaveRecRate, 1);
}

bool WaveRecorder::StartInFolder(const std::filesystem::path& folder, const LocalStamp& start,
                                 int32_t freqTune, int32_t freqCenter)
{
    return StartInFolder(folder, WaveRecordingName(start, freqTune, freqCenter));
}

bool WaveRecorder::StartInFolder(const std::filesystem::path& folder, const std::string& fileName)
{
    const std::filesystem::path sub = folder / "Wav";
    const std::filesystem::path file = sub / fileName;
    Restart(file);
    if (!EnsureFolder(sub, &error_)) {
        wav_.Close();
        return false;
    }
    const bool created = wav_.CreateNew(file, kWaveRecRate, 1);
    if (created)
        fileName_ = wav_.FileName();
    return created;
}

void WaveRecorder::Restart(const std::filesystem::path& file)
{
    error_.clear();
    fileName_ = file;
    blockCount_ = 0;
    WriteTimeText(0, timeText_);
}

bool WaveRecorder::AppendBlock(const int16_t* samples)
{
    if (!wav_.IsOpen())
        return false;
    WriteTimeText(blockCount_, timeText_);
    // A block that did not reach the file is not counted, so the size fields
    // never claim samples that are not there.
    if (!wav_.Append(samples, kWaveRecSamples))
        return false;
    ++blockCount_;
    return true;
}

bool WaveRecorder::UpdateSizes(uint32_t dataLength) { return wav_.UpdateSizes(dataLength); }

bool WaveRecorder::RecordBlock(const int16_t* samples)
{
    const bool appended = AppendBlock(samples);
    if (!wav_.IsOpen())
        return false;
    const bool updated =
        UpdateSizes(static_cast<uint32_t>(blockCount_) * static_cast<uint32_t>(kWaveRecBlockBytes));
    return appended && updated;
}

bool WaveRecorder::Stop() { return wav_.Close(); }

bool WaveRecorder::SalvageAfterFailure()
{
    // What the failure said comes first; closing may only add to it.
    if (error_.empty())
        error_ = wav_.LastError();
    wav_.Close();
    std::string error;
    const int64_t kept = TrimWavFile(fileName_, kWaveRecRate, 1, kWaveRecBlockBytes,
                                     uint64_t(blockCount_) * kWaveRecBlockBytes, &error);
    if (kept < 0)
        return false;
    blockCount_ = static_cast<int32_t>(kept / kWaveRecBlockBytes);
    return true;
}

}  // namespace recording
