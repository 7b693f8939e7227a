#include "tools/IqConvert.h"

#include "recording/FileStamp.h"
#include "recording/IqFormats.h"
#include "recording/IqPlayer.h"
#include "recording/IqReader.h"
#include "recording/RawIqFile.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace tools {

static_assert(std::endian::native == std::endian::little, "outputs are written little-endian");

const char* const kIqConvertUsage =
    "Usage: tesmar-iqconvert [-q|--quiet] INPUT OUTPUT\n"
    "Converts an IQ recording, keeping its centre frequency and start time.\n"
    "\n"
    "  INPUT    our raw recording (.dat), a WAV/RF64, SigMF, .sdriq or\n"
    "           gqrx_..._fc.raw recording\n"
    "  OUTPUT   .dat          our raw format (48 kHz; other rates are resampled)\n"
    "           .wav          16-bit IQ WAV with an auxi chunk, at the input's rate\n"
    "           .sigmf-meta   SigMF, ci16_le, at the input's rate (the .sigmf-data\n"
    "                         beside it is written too)\n"
    "  -q, --quiet   no progress line on a terminal\n"
    "  -h, --help    show this help\n"
    "  --version     show the version\n"
    "\n"
    "Exit status 0 on success; 2 on any error, with one line on stderr and no output\n"
    "files left behind.\n";

namespace {

enum class OutFormat { Raw, Wav, Sigmf };

bool PickFormat(const std::filesystem::path& out, OutFormat* format)
{
    const std::string name = out.filename().string();
    const std::string ext = out.extension().string();
    if (ext == ".dat")
        *format = OutFormat::Raw;
    else if (ext == ".wav" || ext == ".WAV")
        *format = OutFormat::Wav;
    else if (name.ends_with(".sigmf-meta") || name.ends_with(".sigmf-data"))
        *format = OutFormat::Sigmf;
    else
        return false;
    return true;
}

// Our raw header holds the time of day only: the date comes from the file's
// name ("yyyymmdd_hhmmss_...", as the recorder names it), else from the
// day the file was last written. Local time, as the recorder stamps it.
int64_t RawStartUnixMs(const std::filesystem::path& file, int32_t blockCount)
{
    const int secondOfDay = blockCount / recording::kBlocksPerSecond;
    std::tm t{};
    const std::string name = file.filename().string();
    bool dated = name.size() >= 9 && name[8] == '_';
    for (int i = 0; dated && i < 8; ++i)
        dated =
            name[static_cast<std::size_t>(i)] >= '0' && name[static_cast<std::size_t>(i)] <= '9';
    if (dated) {
        const int ymd = std::stoi(name.substr(0, 8));
        t.tm_year = ymd / 10000 - 1900;
        t.tm_mon = ymd / 100 % 100 - 1;
        t.tm_mday = ymd % 100;
    } else {
        std::error_code ec;
        const auto written = std::filesystem::last_write_time(file, ec);
        const auto sys = std::chrono::file_clock::to_sys(written);
        const std::time_t when =
            ec ? std::time(nullptr) : std::chrono::system_clock::to_time_t(sys);
        localtime_r(&when, &t);
    }
    t.tm_hour = secondOfDay / 3600;
    t.tm_min = secondOfDay / 60 % 60;
    t.tm_sec = secondOfDay % 60;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t)) * 1000;
}

recording::LocalStamp LocalStampOf(int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm t{};
    localtime_r(&seconds, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string IsoUtc(int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  static_cast<int>(unixMs % 1000));
    return text;
}

// Samples as 16-bit frames, I first, from any input: our raw format and
// resampled playback through the player, other recordings at their own rate.
class Source {
public:
    bool Open(const std::filesystem::path& in, bool nativeRate, std::string* error)
    {
        player_ = std::make_unique<recording::IqPlayer>();
        const auto result = player_->Open(in);
        if (result.status != recording::RawHeaderStatus::Accepted) {
            *error = !result.message.empty() ? in.string() + ": " + result.message
                                             : player_->LastError();
            return false;
        }
        freqCenter_ = player_->FreqCenter();
        if (player_->IsRaw()) {
            start_ = RawStartUnixMs(in, player_->BlockCount());
            rate_ = recording::kPlayRate;
            return true;
        }
        start_ = player_->StartUnixMs();
        rate_ = player_->SampleRate();
        if (!nativeRate)
            return true;
        player_.reset();
        if (reader_.Open(in) != recording::IqFileReader::OpenStatus::Opened) {
            *error = reader_.LastError();
            return false;
        }
        floats_.resize(2 * recording::IqFileReader::kMaxFramesPerRead);
        return true;
    }

    // Up to kMaxFramesPerRead frames; 0 at the end.
    std::size_t Read(std::vector<int16_t>& frames)
    {
        if (player_) {
            if (done_)
                return 0;
            const auto step = player_->Pump();
            if (step == recording::IqPlayer::Step::Idle)
                return 0;
            done_ = step == recording::IqPlayer::Step::FinalBlock;
            // Our frames are Q first (see IqPlayer): other programs' I first.
            const auto n = static_cast<std::size_t>(player_->ValidFrames());
            const int16_t* f = player_->Frames();
            frames.resize(2 * n);
            for (std::size_t i = 0; i < 2 * n; i += 2) {
                frames[i] = f[i + 1];
                frames[i + 1] = f[i];
            }
            return n;
        }
        const std::size_t n =
            reader_.Read(floats_.data(), recording::IqFileReader::kMaxFramesPerRead);
        frames.resize(2 * n);
        for (std::size_t i = 0; i < 2 * n; ++i)
            frames[i] = recording::SampleFromFloat(floats_[i]);
        return n;
    }

    bool Failed(std::string* error) const
    {
        const bool failed = player_ ? player_->ReadFailed() : reader_.ReadFailed();
        if (failed)
            *error = player_ ? player_->LastError() : reader_.LastError();
        return failed;
    }

    double Rate() const { return rate_; }
    int64_t FreqCenter() const { return freqCenter_; }
    std::optional<int64_t> Start() const { return start_; }

private:
    std::unique_ptr<recording::IqPlayer> player_;
    recording::IqFileReader reader_;
    std::vector<float> floats_;
    bool done_ = false;
    double rate_ = 0;
    int64_t freqCenter_ = 0;
    std::optional<int64_t> start_;
};

class OutFile {
public:
    ~OutFile()
    {
        if (file_)
            std::fclose(file_);
    }
    bool Create(StagedOutput& stage, std::string* error)
    {
        name_ = stage.Target();
        file_ = stage.Open(error);
        return file_ != nullptr;
    }
    bool Write(const void* data, std::size_t size, std::string* error)
    {
        if (size == 0 || std::fwrite(data, 1, size, file_) == size)
            return true;
        *error = recording::DescribeFileError("cannot write", name_, errno);
        return false;
    }
    bool Rewind(std::string* error)
    {
        if (std::fseek(file_, 0, SEEK_SET) == 0)
            return true;
        *error = recording::DescribeFileError("cannot write", name_, errno);
        return false;
    }
    bool Close(std::string* error)
    {
        const int rc = std::fclose(file_);
        file_ = nullptr;
        if (rc == 0)
            return true;
        *error = recording::DescribeFileError("cannot write", name_, errno);
        return false;
    }

private:
    std::FILE* file_ = nullptr;
    std::filesystem::path name_;
};

}  // namespace

bool ConvertIq(const std::filesystem::path& in, const std::filesystem::path& out,
               IqConvertSummary* summary, std::string* error,
               const std::function<void(double)>& progress)
{
    IqConvertSummary local;
    IqConvertSummary& sum = summary ? *summary : local;
    sum = IqConvertSummary{};
    OutFormat format{};
    if (!PickFormat(out, &format)) {
        *error = "cannot tell the output format from " + out.filename().string() +
                 " (.dat, .wav or .sigmf-meta)";
        return false;
    }
    std::filesystem::path dataPath = out, metaPath;
    if (format == OutFormat::Sigmf) {
        dataPath.replace_extension(".sigmf-data");
        metaPath = out;
        metaPath.replace_extension(".sigmf-meta");
    }
    StagedOutput dataStage, metaStage;
    if (!dataStage.Prepare(dataPath, error) ||
        (format == OutFormat::Sigmf && !metaStage.Prepare(metaPath, error)))
        return false;
    std::vector<const StagedOutput*> stages = {&dataStage};
    if (format == OutFormat::Sigmf)
        stages.push_back(&metaStage);
    if (!CheckOutputsApart(recording::RecordingFiles(in), stages, error))
        return false;
    Source source;
    if (!source.Open(in, format != OutFormat::Raw, error))
        return false;
    sum.sampleRate = source.Rate();
    sum.freqCenter = source.FreqCenter();
    sum.hasStart = source.Start().has_value();
    sum.startUnixMs = source.Start().value_or(0);
    // The readers bound every rate far below 2^32; a whole number is what the
    // headers written here hold.
    if (format != OutFormat::Raw &&
        (source.Rate() != std::floor(source.Rate()) || !(source.Rate() <= 0xFFFFFFFF))) {
        char text[32];  // to_chars: a "." whatever the process locale
        const char* textEnd = std::to_chars(text, text + sizeof text, source.Rate()).ptr;
        *error = "the input's sample rate " +
                 std::string(text, static_cast<std::size_t>(textEnd - text)) +
                 " Hz is not a whole number a WAV file holds";
        return false;
    }
    const auto rate = format == OutFormat::Raw ? uint32_t{recording::kPlayRate}
                                               : static_cast<uint32_t>(source.Rate());

    OutFile data;
    if (!data.Create(dataStage, error))
        return false;

    std::vector<uint8_t> header;
    if (format == OutFormat::Raw) {
        // A raw file holds the start's time of day; without one it shows 00:00:00.
        recording::LocalStamp stamp{};
        if (source.Start())
            stamp = LocalStampOf(*source.Start());
        const auto raw = recording::EncodeRawHeader(stamp, source.FreqCenter());
        header.assign(raw.begin(), raw.end());
    } else if (format == OutFormat::Wav) {
        header = recording::EncodeWavHeader(
            1, 16, rate, 0,
            recording::EncodeAuxiChunk(source.FreqCenter(), source.Start(), 0, rate));
    }
    if (!data.Write(header.data(), header.size(), error))
        return false;

    std::vector<int16_t> frames;
    frames.reserve(2 * recording::IqFileReader::kMaxFramesPerRead);
    uint64_t dataBytes = 0;
    for (;;) {
        const std::size_t n = source.Read(frames);
        if (n == 0)
            break;
        if (format == OutFormat::Raw)
            for (std::size_t i = 0; i < 2 * n; i += 2)
                std::swap(frames[i], frames[i + 1]);  // back to our Q first
        if (!data.Write(frames.data(), 4 * n, error))
            return false;
        dataBytes += 4 * n;
        sum.frames += static_cast<int64_t>(n);
        if (progress)
            progress(static_cast<double>(sum.frames) /
                     (format == OutFormat::Raw ? recording::kPlayRate : source.Rate()));
        if (format == OutFormat::Wav && dataBytes > 0xFFFFFFFFu - 4096) {
            *error = "the recording is too long for a WAV file (4 GiB); convert to SigMF";
            return false;
        }
    }
    if (source.Failed(error)) {
        *error = in.string() + ": " + *error;
        return false;
    }
    if (format == OutFormat::Raw &&
        !data.Write(recording::kRawEndMarker.data(), recording::kRawEndMarker.size(), error))
        return false;
    if (format == OutFormat::Wav) {
        const int64_t durationMs = static_cast<int64_t>(
            std::llround(static_cast<double>(sum.frames) * 1000.0 / source.Rate()));
        header = recording::EncodeWavHeader(
            1, 16, rate, static_cast<uint32_t>(dataBytes),
            recording::EncodeAuxiChunk(source.FreqCenter(), source.Start(), durationMs, rate));
        if (!data.Rewind(error) || !data.Write(header.data(), header.size(), error))
            return false;
    }
    if (!data.Close(error))
        return false;

    if (format == OutFormat::Sigmf) {
        std::string meta = "{\n  \"global\": {\n    \"core:datatype\": \"ci16_le\",\n"
                           "    \"core:sample_rate\": " +
                           std::to_string(rate) +
                           ",\n    \"core:version\": \"1.0.0\",\n"
                           "    \"core:recorder\": \"Tesmar\"\n  },\n"
                           "  \"captures\": [\n    {\n      \"core:sample_start\": 0,\n"
                           "      \"core:frequency\": " +
                           std::to_string(source.FreqCenter());
        if (source.Start())
            meta += ",\n      \"core:datetime\": \"" + IsoUtc(*source.Start()) + "\"";
        meta += "\n    }\n  ],\n  \"annotations\": []\n}\n";
        OutFile metaFile;
        if (!metaFile.Create(metaStage, error) ||
            !metaFile.Write(meta.data(), meta.size(), error) || !metaFile.Close(error))
            return false;
    }
    if (!dataStage.Commit(error))
        return false;
    if (format == OutFormat::Sigmf && !metaStage.Commit(error)) {
        std::error_code ec;
        std::filesystem::remove(dataPath, ec);
        return false;
    }
    return true;
}

}  // namespace tools
