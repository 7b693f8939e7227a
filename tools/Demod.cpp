#include "tools/Demod.h"

#include "recording/IqPlayer.h"
#include "recording/IqReader.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "remote/AudioSender.h"
#include "settings/Ranges.h"
#include "tools/DemodPipeline.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
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

// The files a run writes: the receiver's output, and the recorder's and the
// spectrum's when asked for, each staged until the run succeeds.
class DemodOutputs {
public:
    // Stages each output and checks that none is the input or another.
    bool Prepare(const DemodOptions& options, std::string* error)
    {
        out_ = options.output.empty() ? nullptr : Add(options.output);
        rec_ = options.record.empty() ? nullptr : Add(options.record);
        spectrumOut_ = options.spectrum.empty() ? nullptr : Add(options.spectrum);
        for (int i = 0; i < count_; ++i)
            if (!outputs_[i].stage.Prepare(*outputs_[i].given, error))
                return false;
        std::vector<const StagedOutput*> stages;
        for (int i = 0; i < count_; ++i)
            stages.push_back(&outputs_[i].stage);
        return CheckOutputsApart(recording::RecordingFiles(options.input), stages, error);
    }

    bool Open(std::string* error)
    {
        // Large stream buffers for the outputs written block by block: a
        // write call per buffer rather than several per block.
        std::FILE* file = nullptr;
        if (out_) {
            outBuffer_.reset(new char[kStreamBuffer]);
            file = out_->stage.Open(error);
            if (file)
                std::setvbuf(file, outBuffer_.get(), _IOFBF, kStreamBuffer);
            if (!file || !outWav_.Adopt(file, out_->stage.Name(), kOutRate, kOutChannels)) {
                if (file)
                    *error = outWav_.LastError();
                return false;
            }
        }
        if (rec_) {
            file = rec_->stage.Open(error);
            if (!file || !recorder_.Start(file, rec_->stage.Name())) {
                if (file)
                    *error = recorder_.LastError();
                return false;
            }
        }
        if (spectrumOut_) {
            spectrumBuffer_.reset(new char[kStreamBuffer]);
            file = spectrumOut_->stage.Open(error);
            if (!file)
                return false;
            std::setvbuf(file, spectrumBuffer_.get(), _IOFBF, kStreamBuffer);
            spectrum_.Adopt(file, spectrumOut_->stage.Name());
        }
        return true;
    }

    // `frames` of the output block came from the input (all but in a last,
    // padded block): the output is as long as the input.
    bool Write(const dsp::BlockOutputs& o, int frames, DemodSummary& sum, std::string* error)
    {
        if (out_ &&
            !outWav_.Append(o.OutFrames.data(), static_cast<std::size_t>(frames) * kOutChannels)) {
            *error = outWav_.LastError();
            return false;
        }
        if (rec_ && o.RecFeedReady) {
            if (!recorder_.RecordBlock(o.RecFeed.data())) {
                *error = recorder_.LastError();
                return false;
            }
            ++sum.recordedBlocks;
        }
        return !spectrumOut_ || spectrum_.Write(o.SpectrumDb.data(), o.SpectrumDb.size(), error);
    }

    // Completes every file and puts it in place.
    bool Finish(std::string* error)
    {
        if (out_ && (!outWav_.UpdateSizes(static_cast<uint32_t>(outWav_.DataBytes())) ||
                     !outWav_.Close())) {
            *error = outWav_.LastError();
            return false;
        }
        if (rec_ && !recorder_.Stop()) {
            *error = recorder_.LastError();
            return false;
        }
        if (spectrumOut_ && !spectrum_.Close(error))
            return false;
        // A rename that fails after others went through leaves those complete
        // outputs where they are; only temporary files are ever removed.
        for (int i = 0; i < count_; ++i)
            if (!outputs_[i].stage.Commit(error))
                return false;
        return true;
    }

private:
    static constexpr std::size_t kStreamBuffer = 256 * 1024;

    Output* Add(const std::filesystem::path& given)
    {
        outputs_[count_].given = &given;
        return &outputs_[count_++];
    }

    // Declared in the order that closes the writers' streams before their
    // buffers go, and both before the staged files.
    Output outputs_[3];
    int count_ = 0;
    Output* out_ = nullptr;
    Output* rec_ = nullptr;
    Output* spectrumOut_ = nullptr;
    std::unique_ptr<char[]> outBuffer_;
    std::unique_ptr<char[]> spectrumBuffer_;
    recording::WavWriter outWav_;
    recording::WaveRecorder recorder_;
    SpectrumFile spectrum_;
};

// --udp and --udp-fast: each block's decoder feed to the port, at real time
// from the first block on or as fast as the chain runs. Trouble is told once
// on standard error and the run goes on, as in the receiver; only a name that
// cannot be looked up at all ends it before the first block.
class UdpStream {
public:
    bool Start(const DemodOptions& options, std::string* error)
    {
        if (!options.udp)
            return true;
        fast_ = options.udpFast;
        sender_.Start(options.udp->host, options.udp->port);
        // The look-up is waited for: an archive loses nothing of its start.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (sender_.CurrentStatus().state == remote::AudioSender::State::Resolving &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            sender_.Poll();
        }
        remote::AudioSender::Status status;
        sender_.TakeChange(&status);
        if (status.state != remote::AudioSender::State::Sending) {
            *error = (fast_ ? "--udp-fast " : "--udp ") + status.destination + ": " +
                     (status.problem.empty() ? "the name was not found in time" : status.problem);
            return false;
        }
        on_ = true;
        return true;
    }

    // `frames` of the block came from the input: the padding of a last,
    // partial block is not sent.
    void Send(const dsp::BlockOutputs& o, int frames)
    {
        if (!on_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (blocks_ == 0)
            start_ = now;
        else if (!fast_)
            std::this_thread::sleep_until(start_ + blocks_ * kBlockTime);
        ++blocks_;
        sender_.Send(o.DecoderAudio.data(), frames);
        remote::AudioSender::Status status;
        if (sender_.TakeChange(&status))
            std::fprintf(stderr, "tesmar-demod: audio over UDP to %s: %s\n",
                         status.destination.c_str(),
                         status.problem.empty() ? "goes out again" : status.problem.c_str());
    }

private:
    static constexpr std::chrono::microseconds kBlockTime{1000000LL * dsp::kBlockFrames /
                                                          recording::kPlayRate};
    remote::AudioSender sender_;
    bool on_ = false;
    bool fast_ = false;
    int64_t blocks_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// The player on the input, its slice moved by --shift.
std::unique_ptr<recording::IqPlayer> OpenPlayer(const DemodOptions& options, std::string* error)
{
    // The player holds its read-ahead buffer; keep it off the stack.
    auto player = std::make_unique<recording::IqPlayer>();
    const recording::IqPlayer::OpenResult header = player->Open(options.input);
    if (header.status != recording::RawHeaderStatus::Accepted) {
        *error = !header.message.empty() ? options.input.string() + ": " + header.message
                                         : player->LastError();
        return nullptr;
    }
    if (!player->SetShift(options.shift)) {
        const std::string width = std::to_string(static_cast<int64_t>(player->SampleRate()));
        *error = "--shift " + std::to_string(options.shift) +
                 (player->SampleRate() < recording::kPlayRate
                      ? " Hz: a recording narrower than 48 kHz (" + width +
                            " Hz wide) plays whole, at --shift 0"
                      : " Hz puts the 48 kHz slice outside the recording (" + width + " Hz wide)");
        return nullptr;
    }
    return player;
}

// Where the input ended: the index of its last block that holds data and
// how many of its frames came from the file. Set by the reading thread before
// it hands that block on, read by the writing one.
struct InputEnd {
    std::atomic<int64_t> block{-1};
    std::atomic<int> frames{0};

    int FramesOf(int64_t n) const
    {
        return n == block.load(std::memory_order_acquire) ? frames.load(std::memory_order_relaxed)
                                                          : dsp::kBlockFrames;
    }
};

// The player's next block to process: false when none is left. The final
// block is padded with zeros; one that holds no data at all (a recording of
// whole blocks ends so at its marker) is not processed: a batch output is as
// long as its input, and a block of zeros after a signal is a click (in FM a
// third of full scale).
bool NextBlock(recording::IqPlayer& player, int64_t n, InputEnd& end, bool* last)
{
    const recording::IqPlayer::Step step = player.Pump();
    *last = step == recording::RawPlayer::Step::FinalBlock;
    if (step == recording::RawPlayer::Step::Idle || (*last && player.ValidFrames() == 0))
        return false;
    if (*last) {
        end.frames.store(player.ValidFrames(), std::memory_order_relaxed);
        end.block.store(n, std::memory_order_release);
    }
    return true;
}

// Every block of the player through the chain to `write`, on one thread or
// as a pipeline of two.
bool PlayThrough(recording::IqPlayer& player, dsp::SignalChain& chain, bool pipelined,
                 bool splitPays, InputEnd& end, const BlockWriter& write, int64_t* blocks,
                 std::string* error)
{
    if (pipelined) {
        int64_t n = 0;
        auto read = [&](int16_t* frames, bool* last) {
            if (!NextBlock(player, n++, end, last))
                return false;
            std::memcpy(frames, player.Frames(), sizeof(int16_t) * dsp::kBlockSamples);
            return true;
        };
        return RunPipelined(chain, splitPays, read, write, blocks, error);
    }
    for (bool last = false; !last;) {
        if (!NextBlock(player, *blocks, end, &last))
            return true;
        chain.ProcessBlock(player.Frames());
        ++*blocks;
        if (!write(chain.Outputs(), error))
            return false;
    }
    return true;
}

}  // namespace

dsp::ChainControls ChainControlsFor(const DemodOptions& options)
{
    dsp::ChainControls controls = options.controls;
    settings::BringChainControlsIntoRange(controls);
    // The recorder runs and the spectrum window shows from the first block on.
    controls.Recording = !options.record.empty();
    controls.SpectrumVisible = !options.spectrum.empty();
    controls.DecoderFeed = options.udp.has_value();
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

    DemodOutputs outputs;
    if (!outputs.Prepare(options, error))
        return false;
    const std::unique_ptr<recording::IqPlayer> player = OpenPlayer(options, error);
    if (!player || !outputs.Open(error))
        return false;
    UdpStream udp;
    if (!udp.Start(options, error))
        return false;

    // Start-up as the application does it from a settings file holding these
    // values.
    dsp::ChainControls controls = ChainControlsFor(options);
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();

    // Runs on the writer thread with two threads, so the progress line is
    // only ever drawn from one thread.
    int64_t written = 0;
    int64_t frames = 0;
    InputEnd end;
    auto write = [&](const dsp::BlockOutputs& o, std::string* err) {
        const int valid = end.FramesOf(written++);
        frames += valid;
        if (progress)
            progress(static_cast<double>(frames) / recording::kPlayRate);
        udp.Send(o, valid);
        return outputs.Write(o, valid, sum, err);
    };
    if (!PlayThrough(*player, *chain, ThreadsFor(options) > 1, SplitPays(controls), end, write,
                     &sum.blocks, error))
        return false;
    if (player->ReadFailed()) {
        *error = options.input.string() + ": " + player->LastError();
        return false;
    }
    sum.endMarker = player->EndMarkerSeen();
    return outputs.Finish(error);
}

}  // namespace tools
