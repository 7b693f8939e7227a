#include "recording/IqReader.h"

#include "recording/FileStamp.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace recording {

static_assert(std::endian::native == std::endian::little, "samples are read little-endian");

namespace {

constexpr std::size_t kMaxMeta = 1 << 22;

bool EndsWith(const std::string& s, std::string_view tail) { return s.ends_with(tail); }

// Bytes from `offset`, however many calls the system takes to give them.
bool ReadFully(int fd, uint64_t offset, uint8_t* out, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

template <typename T>
T Load(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
T LoadSwapped(const uint8_t* p)
{
    uint8_t b[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        b[i] = p[sizeof(T) - 1 - i];
    return Load<T>(b);
}

// A NaN fails both comparisons and becomes 0.
float FullScale(float v)
{
    return v >= -1.0f ? (v <= 1.0f ? v : 1.0f) : (v < -1.0f ? -1.0f : 0.0f);
}

}  // namespace

std::vector<std::filesystem::path> RecordingFiles(const std::filesystem::path& file)
{
    const std::string name = file.filename().string();
    if (!EndsWith(name, ".sigmf-meta") && !EndsWith(name, ".sigmf-data"))
        return {file};
    std::filesystem::path meta = file, data = file;
    meta.replace_extension(".sigmf-meta");
    data.replace_extension(".sigmf-data");
    return {meta, data};
}

void ConvertSamples(SampleType type, const uint8_t* in, std::size_t frames, float* out)
{
    const std::size_t n = 2 * frames;
    switch (type) {
    case SampleType::U8:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = (static_cast<float>(in[i]) - 128.0f) * (1.0f / 128);
        return;
    case SampleType::S8:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(static_cast<int8_t>(in[i])) * (1.0f / 128);
        return;
    case SampleType::S16LE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(Load<int16_t>(in + 2 * i)) * (1.0f / 32768);
        return;
    case SampleType::S16BE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(LoadSwapped<int16_t>(in + 2 * i)) * (1.0f / 32768);
        return;
    case SampleType::S24LE:
        for (std::size_t i = 0; i < n; ++i) {
            const uint8_t* p = in + 3 * i;
            const int32_t v = static_cast<int32_t>(uint32_t{p[0]} << 8 | uint32_t{p[1]} << 16 |
                                                   uint32_t{p[2]} << 24) >>
                              8;
            out[i] = static_cast<float>(v) * (1.0f / 8388608);
        }
        return;
    case SampleType::S24In32LE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(Load<int32_t>(in + 4 * i)) * (1.0f / 8388608);
        return;
    case SampleType::S32LE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<float>(Load<int32_t>(in + 4 * i)) * (1.0f / 2147483648.0f);
        return;
    case SampleType::F32LE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = FullScale(Load<float>(in + 4 * i));
        return;
    case SampleType::F32BE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = FullScale(LoadSwapped<float>(in + 4 * i));
        return;
    case SampleType::F64LE:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = FullScale(static_cast<float>(std::clamp(Load<double>(in + 8 * i), -2.0, 2.0)));
        return;
    }
}

IqFileReader::~IqFileReader() { Close(); }

void IqFileReader::Close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

IqFileReader::OpenStatus IqFileReader::Refuse(const std::filesystem::path& file,
                                              const std::string& what)
{
    Close();
    lastError_ = file.filename().string() + ": " + what;
    return OpenStatus::Refused;
}

IqFileReader::OpenStatus IqFileReader::ReadSigmfMeta(const std::filesystem::path& file,
                                                     std::filesystem::path* dataFile)
{
    const auto files = RecordingFiles(file);
    const std::filesystem::path& meta = files[0];
    *dataFile = files[1];
    std::FILE* m = OpenForReading(meta, false, &lastError_);
    if (!m)
        return OpenStatus::Refused;
    std::string text(kMaxMeta + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), m));
    std::fclose(m);
    if (text.size() > kMaxMeta)
        return Refuse(meta, "SigMF meta larger than 4 MiB");
    std::string error;
    if (!ParseSigmfMeta(text, &layout_, &error))
        return Refuse(meta, error);
    std::error_code ec;
    if (!std::filesystem::exists(*dataFile, ec))
        return Refuse(meta, "its data file " + dataFile->filename().string() + " is missing");
    return OpenStatus::Opened;
}

IqFileReader::OpenStatus IqFileReader::ReadLayout(const std::filesystem::path& file,
                                                  uint64_t fileSize)
{
    const std::string name = file.filename().string();
    const int fd = ::fileno(file_);
    const ReadAt readAt = [fd](uint64_t offset, uint8_t* out, std::size_t size) {
        return ReadFully(fd, offset, out, size);
    };
    uint8_t head[kSdriqHeaderSize] = {};
    const std::size_t got = static_cast<std::size_t>(std::min<uint64_t>(fileSize, sizeof head));
    if (!readAt(0, head, got)) {
        lastError_ = DescribeFileError("cannot read", file, errno);
        Close();
        return OpenStatus::Refused;
    }
    const auto starts = [&](const char* id) { return got >= 4 && std::memcmp(head, id, 4) == 0; };
    std::string error;
    if (starts("RIFF") || starts("RF64")) {
        if (!ParseWavHeader(readAt, fileSize, &layout_, &error))
            return Refuse(file, error);
        if (!layout_.freqCenter)
            layout_.freqCenter = FrequencyFromName(name);
    } else if (fileSize == 0) {
        return Refuse(file, "the file is empty");
    } else if (EndsWith(name, ".sdriq")) {
        if (!ParseSdriqHeader({head, got}, fileSize, &layout_, &error))
            return Refuse(file, error);
    } else if (ParseGqrxName(name, &layout_, &error)) {
        layout_.dataOffset = 0;
        layout_.dataBytes = fileSize - fileSize % 8;
    } else if (!error.empty()) {
        return Refuse(file, error);
    } else {
        Close();
        return OpenStatus::NotRecognised;
    }
    return OpenStatus::Opened;
}

IqFileReader::OpenStatus IqFileReader::Open(const std::filesystem::path& file)
{
    Close();
    layout_ = IqLayout{};
    readFailed_ = false;
    lastError_.clear();
    const std::string name = file.filename().string();
    std::filesystem::path dataFile = file;

    const bool sigmf = EndsWith(name, ".sigmf-meta") || EndsWith(name, ".sigmf-data");
    if (sigmf) {
        if (const OpenStatus status = ReadSigmfMeta(file, &dataFile); status != OpenStatus::Opened)
            return status;
    }

    // The formats below are found by seeking in the file: a pipe cannot be
    // read twice.
    file_ = OpenForReading(dataFile, false, &lastError_);
    if (!file_)
        return OpenStatus::Refused;
    struct stat st {};
    if (::fstat(::fileno(file_), &st) != 0)
        return Refuse(dataFile, "cannot find its size");
    const auto fileSize = static_cast<uint64_t>(st.st_size);

    if (sigmf) {
        layout_.dataOffset = 0;
        const uint64_t frame = 2 * static_cast<uint64_t>(SampleBytes(layout_.type));
        layout_.dataBytes = fileSize - fileSize % frame;
    } else if (const OpenStatus status = ReadLayout(file, fileSize); status != OpenStatus::Opened) {
        return status;
    }
    if (std::fseek(file_, static_cast<long>(layout_.dataOffset), SEEK_SET) != 0) {
        lastError_ = DescribeFileError("cannot read", dataFile, errno);
        Close();
        return OpenStatus::Refused;
    }
    frameBytes_ = 2 * SampleBytes(layout_.type);
    bytesLeft_ = layout_.dataBytes;
    bytes_.assign(kMaxFramesPerRead * static_cast<std::size_t>(frameBytes_), 0);
    return OpenStatus::Opened;
}

uint64_t IqFileReader::FramesLeft() const
{
    return bytesLeft_ / static_cast<uint64_t>(frameBytes_);
}

std::size_t IqFileReader::Read(float* iq, std::size_t frames)
{
    if (!file_)
        return 0;
    frames =
        static_cast<std::size_t>(std::min<uint64_t>({frames, kMaxFramesPerRead, FramesLeft()}));
    const std::size_t want = frames * static_cast<std::size_t>(frameBytes_);
    const std::size_t got = std::fread(bytes_.data(), 1, want, file_);
    if (got < want && std::ferror(file_)) {
        readFailed_ = true;
        lastError_ = std::string("read error: ") + std::strerror(errno);
    }
    const std::size_t whole = got / static_cast<std::size_t>(frameBytes_);
    bytesLeft_ = got < want ? 0 : bytesLeft_ - got;
    ConvertSamples(layout_.type, bytes_.data(), whole, iq);
    return whole;
}

}  // namespace recording
