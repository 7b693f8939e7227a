#include "tools/Demod.h"

#include "recording/IqPlayer.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "tools/StagedOutput.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace tools {

static_assert(std::endian::native == std::endian::little, "outputs are written little-endian");

namespace {

constexpr uint32_t kOutRate = 48000;
constexpr uint16_t kOutChannels = 2;

// Whether two names lead to the same file, existing or not.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec1, ec2;
    if (std::filesystem::equivalent(a, b, ec1))
        return true;
    const auto ca = std::filesystem::weakly_canonical(a, ec1);
    const auto cb = std::filesystem::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && ca == cb;
}

// The spectrum output: plain float64 values, little-endian.
class SpectrumFile {
public:
    ~SpectrumFile()
    {
        if (file_)
            std::fclose(file_);
    }
    bool Create(const std::filesystem::path& p, std::string* error)
    {
        name_ = p;
        file_ = std::fopen(p.c_str(), "wb");
        if (!file_) {
            *error = recording::DescribeFileError("cannot create", p, errno);
            return false;
        }
        return true;
    }
    bool Write(const double* values, std::size_t count, std::string* error)
    {
        if (std::fwrite(values, sizeof(double), count, file_) == count)
            return true;
        *error = recording::DescribeFileError("cannot write", name_, errno);
        return false;
    }
    bool Close(std::string* error)
    {
        const int rc = std::fclose(file_);
        file_ = nullptr;
        if (rc != 0) {
            *error = recording::DescribeFileError("cannot write", name_, errno);
            return false;
        }
        return true;
    }

private:
    std::FILE* file_ = nullptr;
    std::filesystem::path name_;
};

// Messages name the file the user asked for, not its temporary stand-in.
std::string Retarget(std::string message, const StagedOutput& stage)
{
    const std::string temp = stage.TempPath().string();
    const std::string target = stage.Target().string();
    if (temp.empty())
        return message;
    std::size_t at = message.find(temp);
    while (at != std::string::npos) {
        message.replace(at, temp.size(), target);
        at = message.find(temp, at + target.size());
    }
    return message;
}

}  // namespace

bool RunDemod(const DemodOptions& options, DemodSummary* summary, std::string* error)
{
    DemodSummary local;
    DemodSummary& sum = summary ? *summary : local;
    sum = DemodSummary{};

    const bool wantRecord = !options.record.empty();
    const bool wantSpectrum = !options.spectrum.empty();
    {
        const std::filesystem::path* outs[] = {&options.output,
                                               wantRecord ? &options.record : nullptr,
                                               wantSpectrum ? &options.spectrum : nullptr};
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                if (outs[i] && outs[j] && SameFile(*outs[i], *outs[j])) {
                    *error = "two outputs name the same file " + outs[j]->string();
                    return false;
                }
    }

    // The player holds its read-ahead buffer; keep it off the stack.
    auto player = std::make_unique<recording::IqPlayer>();
    const recording::IqPlayer::OpenResult header = player->Open(options.input);
    if (header.status != recording::RawHeaderStatus::Accepted) {
        *error = !header.message.empty() ? options.input.string() + ": " + header.message
                                         : player->LastError();
        return false;
    }
    if (!player->SetShift(options.shift)) {
        *error = "--shift " + std::to_string(options.shift) +
                 " Hz puts the 48 kHz slice outside the recording (" +
                 std::to_string(static_cast<int64_t>(player->SampleRate())) + " Hz wide)";
        return false;
    }

    StagedOutput outStage, recStage, specStage;
    if (!outStage.Prepare(options.output, error))
        return false;
    if (wantRecord && !recStage.Prepare(options.record, error))
        return false;
    if (wantSpectrum && !specStage.Prepare(options.spectrum, error))
        return false;

    recording::WavWriter out;
    if (!out.Create(outStage.TempPath(), kOutRate, kOutChannels)) {
        *error = Retarget(out.LastError(), outStage);
        return false;
    }
    recording::WaveRecorder rec;
    if (wantRecord && !rec.Start(recStage.TempPath())) {
        *error = Retarget(rec.LastError(), recStage);
        return false;
    }
    SpectrumFile spectrum;
    if (wantSpectrum && !spectrum.Create(specStage.TempPath(), error)) {
        *error = Retarget(*error, specStage);
        return false;
    }

    // Start-up as the application does it from a settings file holding these
    // values; the recorder runs and the spectrum window shows from the first
    // block on.
    dsp::ChainControls controls = options.controls;
    controls.Recording = wantRecord;
    controls.SpectrumVisible = wantSpectrum;
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();
    const dsp::BlockOutputs& o = chain->Outputs();

    for (;;) {
        const recording::IqPlayer::Step step = player->Pump();
        if (step == recording::RawPlayer::Step::Idle)
            break;
        chain->ProcessBlock(player->Frames());
        ++sum.blocks;
        if (!out.Append(o.OutFrames.data(), o.OutFrames.size())) {
            *error = Retarget(out.LastError(), outStage);
            return false;
        }
        if (wantRecord && o.RecFeedReady) {
            if (!rec.RecordBlock(o.RecFeed.data())) {
                *error = Retarget(rec.LastError(), recStage);
                return false;
            }
            ++sum.recordedBlocks;
        }
        if (wantSpectrum && !spectrum.Write(o.SpectrumDb.data(), o.SpectrumDb.size(), error)) {
            *error = Retarget(*error, specStage);
            return false;
        }
        if (step == recording::RawPlayer::Step::FinalBlock)
            break;
    }
    if (player->ReadFailed()) {
        *error = options.input.string() + ": " + player->LastError();
        return false;
    }
    sum.endMarker = player->EndMarkerSeen();

    if (!out.UpdateSizes(static_cast<uint32_t>(out.DataBytes())) || !out.Close()) {
        *error = Retarget(out.LastError(), outStage);
        return false;
    }
    if (wantRecord && !rec.Stop()) {
        *error = Retarget(rec.LastError(), recStage);
        return false;
    }
    if (wantSpectrum && !spectrum.Close(error)) {
        *error = Retarget(*error, specStage);
        return false;
    }

    if (!outStage.Commit(error))
        return false;
    if (wantRecord && !recStage.Commit(error)) {
        std::error_code ec;
        std::filesystem::remove(options.output, ec);
        return false;
    }
    if (wantSpectrum && !specStage.Commit(error)) {
        std::error_code ec;
        std::filesystem::remove(options.output, ec);
        if (wantRecord)
            std::filesystem::remove(options.record, ec);
        return false;
    }
    return true;
}

}  // namespace tools
