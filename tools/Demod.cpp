#include "tools/Demod.h"

#include "recording/IqPlayer.h"
#include "recording/IqReader.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "settings/Ranges.h"
#include "tools/DemodPipeline.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace tools {

static_assert(std::endian::native == std::endian::little, "outputs are written little-endian");

namespace {

constexpr uint32_t kOutRate = 48000;
constexpr uint16_t kOutChannels = 2;

// The spectrum output: plain float64 values, little-endian.
class SpectrumFile {
public:
    ~SpectrumFile()
    {
        if (file_)
            std::fclose(file_);
    }
    void Adopt(std::FILE* file, const std::string& name)
    {
        file_ = file;
        name_ = name;
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
    std::string name_;
};

// One output the options ask for.
struct Output {
    const std::filesystem::path* given;
    StagedOutput stage;
};

}  // namespace

dsp::ChainControls ChainControlsFor(const DemodOptions& options)
{
    dsp::ChainControls controls = options.controls;
    settings::BringChainControlsIntoRange(controls);
    // The recorder runs and the spectrum window shows from the first block on.
    controls.Recording = !options.record.empty();
    controls.SpectrumVisible = !options.spectrum.empty();
    return controls;
}

int ThreadsFor(const DemodOptions& options)
{
    if (options.threads > 0)
        return std::min(options.threads, 2);
    return std::thread::hardware_concurrency() > 1 ? 2 : 1;
}

bool RunDemod(const DemodOptions& options, DemodSummary* summary, std::string* error,
              const std::function<void(double)>& progress)
{
    DemodSummary local;
    DemodSummary& sum = summary ? *summary : local;
    sum = DemodSummary{};

    const bool wantRecord = !options.record.empty();
    const bool wantSpectrum = !options.spectrum.empty();
    Output outputs[3];
    int count = 0;
    Output& out = outputs[count++];
    out.given = &options.output;
    Output* rec = wantRecord ? &outputs[count++] : nullptr;
    if (rec)
        rec->given = &options.record;
    Output* spectrumOut = wantSpectrum ? &outputs[count++] : nullptr;
    if (spectrumOut)
        spectrumOut->given = &options.spectrum;
    for (int i = 0; i < count; ++i)
        if (!outputs[i].stage.Prepare(*outputs[i].given, error))
            return false;
    std::vector<const StagedOutput*> stages;
    for (int i = 0; i < count; ++i)
        stages.push_back(&outputs[i].stage);
    if (!CheckOutputsApart(recording::RecordingFiles(options.input), stages, error))
        return false;

    // The player holds its read-ahead buffer; keep it off the stack.
    auto player = std::make_unique<recording::IqPlayer>();
    const recording::IqPlayer::OpenResult header = player->Open(options.input);
    if (header.status != recording::RawHeaderStatus::Accepted) {
        *error = !header.message.empty() ? options.input.string() + ": " + header.message
                                         : player->LastError();
        return false;
    }
    if (!player->SetShift(options.shift)) {
        const std::string width = std::to_string(static_cast<int64_t>(player->SampleRate()));
        *error = "--shift " + std::to_string(options.shift) +
                 (player->SampleRate() < recording::kPlayRate
                      ? " Hz: a recording narrower than 48 kHz (" + width +
                            " Hz wide) plays whole, at --shift 0"
                      : " Hz puts the 48 kHz slice outside the recording (" + width + " Hz wide)");
        return false;
    }

    // Large stream buffers for the outputs written block by block: a write
    // call per buffer rather than several per block. Declared before the
    // writers, whose streams may close as they go.
    constexpr std::size_t kStreamBuffer = 256 * 1024;
    std::unique_ptr<char[]> outBuffer(new char[kStreamBuffer]);
    std::unique_ptr<char[]> spectrumBuffer(spectrumOut ? new char[kStreamBuffer] : nullptr);

    recording::WavWriter outWav;
    std::FILE* file = out.stage.Open(error);
    if (file)
        std::setvbuf(file, outBuffer.get(), _IOFBF, kStreamBuffer);
    if (!file || !outWav.Adopt(file, out.stage.Name(), kOutRate, kOutChannels)) {
        if (file)
            *error = outWav.LastError();
        return false;
    }
    recording::WaveRecorder recorder;
    if (rec) {
        file = rec->stage.Open(error);
        if (!file || !recorder.Start(file, rec->stage.Name())) {
            if (file)
                *error = recorder.LastError();
            return false;
        }
    }
    SpectrumFile spectrum;
    if (spectrumOut) {
        file = spectrumOut->stage.Open(error);
        if (!file)
            return false;
        std::setvbuf(file, spectrumBuffer.get(), _IOFBF, kStreamBuffer);
        spectrum.Adopt(file, spectrumOut->stage.Name());
    }

    // Start-up as the application does it from a settings file holding these
    // values.
    dsp::ChainControls controls = ChainControlsFor(options);
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();

    // Runs on the writer thread with two threads, so the progress line is
    // only ever drawn from one thread.
    int64_t written = 0;
    auto write = [&](const dsp::BlockOutputs& o, std::string* err) {
        if (progress)
            progress(static_cast<double>(++written) * dsp::kBlockFrames / recording::kPlayRate);
        if (!outWav.Append(o.OutFrames.data(), o.OutFrames.size())) {
            *err = outWav.LastError();
            return false;
        }
        if (rec && o.RecFeedReady) {
            if (!recorder.RecordBlock(o.RecFeed.data())) {
                *err = recorder.LastError();
                return false;
            }
            ++sum.recordedBlocks;
        }
        return !spectrumOut || spectrum.Write(o.SpectrumDb.data(), o.SpectrumDb.size(), err);
    };
    if (ThreadsFor(options) > 1) {
        auto read = [&](int16_t* frames, bool* last) {
            const recording::IqPlayer::Step step = player->Pump();
            if (step == recording::RawPlayer::Step::Idle)
                return false;
            std::memcpy(frames, player->Frames(), sizeof(int16_t) * dsp::kBlockSamples);
            *last = step == recording::RawPlayer::Step::FinalBlock;
            return true;
        };
        if (!RunPipelined(*chain, SplitPays(controls), read, write, &sum.blocks, error))
            return false;
    } else {
        for (;;) {
            const recording::IqPlayer::Step step = player->Pump();
            if (step == recording::RawPlayer::Step::Idle)
                break;
            chain->ProcessBlock(player->Frames());
            ++sum.blocks;
            if (!write(chain->Outputs(), error))
                return false;
            if (step == recording::RawPlayer::Step::FinalBlock)
                break;
        }
    }
    if (player->ReadFailed()) {
        *error = options.input.string() + ": " + player->LastError();
        return false;
    }
    sum.endMarker = player->EndMarkerSeen();

    if (!outWav.UpdateSizes(static_cast<uint32_t>(outWav.DataBytes())) || !outWav.Close()) {
        *error = outWav.LastError();
        return false;
    }
    if (rec && !recorder.Stop()) {
        *error = recorder.LastError();
        return false;
    }
    if (spectrumOut && !spectrum.Close(error))
        return false;

    // A rename that fails after others went through leaves those complete
    // outputs where they are; only temporary files are ever removed.
    for (int i = 0; i < count; ++i)
        if (!outputs[i].stage.Commit(error))
            return false;
    return true;
}

}  // namespace tools
