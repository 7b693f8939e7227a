#include "core/model/Scanner.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace core {
namespace {

constexpr int32_t kHalfBandHz = dsp::kSampleRate / 2;
constexpr int kHalfBins = dsp::kSpectrumSize / 2;

// SpectrumDb is 20 ln of a bin's magnitude: the bin's power is exp(db / 10).
double PowerOf(double units) { return std::exp(units * 0.1); }

}  // namespace

const char* ScanModeName(dsp::Mode mode)
{
    return dsp::IsKnown(mode) ? dsp::kModeNames[static_cast<std::size_t>(dsp::Code(mode))] : "?";
}

void Scanner::PassBandOf(dsp::Mode mode, int32_t& lo, int32_t& hi)
{
    // A channel is heard with its mode's preset IF width, as its mode button sets it.
    const dsp::Mode m = dsp::KnownOrFirst(mode);
    const dsp::PassBand band = dsp::PassBandOf(m, dsp::FixedIfWidth(dsp::IfPresetOf(m)));
    lo = -band.below;
    hi = band.above;
}

Scanner::Scanner(ScanHooks hooks)
    : hooks_(std::move(hooks))
{}

std::string Scanner::Start(const ScanOptions& options, std::vector<ScanChannel> channels)
{
    Stop();
    if (options.kind == ScanKind::Band) {
        if (options.bandStep <= 0)
            return "The step must be above 0 Hz.";
        // No radio tunes to 0 Hz or below: a search from there would judge
        // channels nobody can hear.
        if (options.bandStart <= 0)
            return "The start frequency must lie above 0 MHz.";
        if (options.bandStop < options.bandStart)
            return "The stop frequency must not lie below the start frequency.";
        const int64_t count =
            (int64_t(options.bandStop) - options.bandStart) / options.bandStep + 1;
        if (count > int64_t(kMaxChannels))
            return "The band holds more than 65536 steps; choose a larger step.";
        channels.clear();
        channels.reserve(static_cast<std::size_t>(count));
        for (int64_t i = 0; i < count; ++i)
            channels.push_back({static_cast<int32_t>(options.bandStart + i * options.bandStep),
                                {},
                                options.bandMode,
                                false});
    }
    if (channels.empty())
        return "The memory list has no channels to scan.";
    for (ScanChannel& c : channels) {
        c.mode = dsp::KnownOrFirst(c.mode);
        // A negative frequency is no place a radio can go.
        if (c.hz <= 0)
            c.lockedOut = true;
    }
    if (std::all_of(channels.begin(), channels.end(),
                    [](const ScanChannel& c) { return c.lockedOut; }))
        return "Every channel is locked out.";

    options_ = options;
    channels_ = std::move(channels);
    inBand_.clear();
    inBand_.reserve(channels_.size());
    inBandMark_.assign(channels_.size(), 0);
    quietSince_.assign(channels_.size(), 1);
    hangBlocks_ = std::max<int64_t>(0, std::llround(std::max(0.0, options.hangSeconds) * 20.0));
    current_ = -1;
    block_ = 0;
    bandKnown_ = false;
    roundStart_ = probeNext_ = nextOutside_ = 0;
    outsideNoticeGiven_ = false;
    unconfirmed_ = false;
    unacknowledgedNoticeGiven_ = false;
    recording_ = false;
    SetPhase(ScanPhase::Searching);
    return {};
}

void Scanner::Stop()
{
    if (phase_ == ScanPhase::Holding || phase_ == ScanPhase::Hanging)
        EndHit();
    SetPhase(ScanPhase::Idle);
}

void Scanner::Skip()
{
    switch (phase_) {
    case ScanPhase::Holding:
    case ScanPhase::Hanging:
        EndHit();
        // Passed over until it is quiet: it is still active now.
        quietSince_[static_cast<std::size_t>(current_)] = 0;
        SetPhase(ScanPhase::Searching);
        break;
    case ScanPhase::Probing: SetPhase(ScanPhase::Searching); break;
    case ScanPhase::Searching: NextBand(); break;
    case ScanPhase::Idle:
    case ScanPhase::Retuning:
    case ScanPhase::Settling: break;
    }
}

void Scanner::LockOut()
{
    if (phase_ != ScanPhase::Holding && phase_ != ScanPhase::Hanging &&
        phase_ != ScanPhase::Probing)
        return;
    ScanChannel& c = channels_[static_cast<std::size_t>(current_)];
    c.lockedOut = true;
    if (hooks_.lockedOut)
        hooks_.lockedOut(c);
    Skip();
    bandKnown_ = false;
    // The last channel locked out leaves nothing to scan.
    if (std::all_of(channels_.begin(), channels_.end(),
                    [](const ScanChannel& ch) { return ch.lockedOut; }))
        Stop();
}

void Scanner::RadioSettled(int32_t center)
{
    // An acknowledgement that comes after the scan gave up waiting for it (a
    // Hamlib radio sends what it was asked once its link is back) still
    // says where the radio is.
    const bool awaited = phase_ == ScanPhase::Retuning && center == awaitedCenter_;
    const bool late = phase_ == ScanPhase::Searching && unconfirmed_ &&
                      center == unconfirmedCenter_ && center == hooks_.freqCenter();
    if (awaited || late) {
        unconfirmed_ = false;
        waitBlocks_ = 0;
        SetPhase(ScanPhase::Settling);
    }
}

void Scanner::OnBlock(const ScanBlock& block)
{
    if (phase_ == ScanPhase::Idle)
        return;
    ++block_;
    switch (phase_) {
    case ScanPhase::Idle: break;
    case ScanPhase::Retuning:
        if (++waitBlocks_ > kRetuneTimeoutBlocks)
            RetuneUnacknowledged();
        break;
    case ScanPhase::Settling: SetPhase(ScanPhase::Searching); break;
    case ScanPhase::Probing:
        // The squelch's noise measure is smoothed over tens of
        // milliseconds: the first block after the tuning still carries the
        // channel before.
        if (++waitBlocks_ < 2)
            break;
        if (block.sqlBusy && quietSince_[static_cast<std::size_t>(current_)]) {
            BeginHit(current_, 0.0);
        } else {
            if (!block.sqlBusy)
                quietSince_[static_cast<std::size_t>(current_)] = 1;
            SetPhase(ScanPhase::Searching);
        }
        break;
    case ScanPhase::Searching:
        if (block.spectrumDb)
            Search(block);
        break;
    case ScanPhase::Holding:
    case ScanPhase::Hanging: Hold(block); break;
    }
}

void Scanner::Analyse(const double* spectrumDb)
{
    // In frequency order, lowest first: the bins below the centre are the
    // upper half of the natural order.
    double sum = 0.0;
    cumulative_[0] = 0.0;
    for (int j = 0; j < dsp::kSpectrumSize; ++j) {
        const int k = j < kHalfBins ? j + kHalfBins : j - kHalfBins;
        sum += PowerOf(spectrumDb[k]);
        cumulative_[static_cast<std::size_t>(j + 1)] = sum;
    }
    std::copy(spectrumDb, spectrumDb + dsp::kSpectrumSize, sorted_.begin());
    auto middle = sorted_.begin() + kHalfBins;
    std::nth_element(sorted_.begin(), middle, sorted_.end());
    floorUnits_ = *middle;
    // A noise bin's power is exponentially distributed, and such a
    // distribution's median is ln 2 of its mean: the floor is the mean noise
    // power, so that noise alone reads 0 dB.
    floorPower_ = std::max(PowerOf(floorUnits_) / std::numbers::ln2, 1e-300);
}

double Scanner::LevelOf(int first, int last) const
{
    const double power = cumulative_[static_cast<std::size_t>(last + 1)] -
                         cumulative_[static_cast<std::size_t>(first)];
    const double mean = power / double(last - first + 1);
    return 10.0 * std::log10(std::max(mean, 1e-300) / floorPower_);
}

double Scanner::LevelDb(int channel) const
{
    for (const InBand& e : inBand_)
        if (e.channel == channel)
            return LevelOf(e.first, e.last);
    return 0.0;
}

void Scanner::FindInBand()
{
    const int32_t center = hooks_.freqCenter();
    inBand_.clear();
    std::fill(inBandMark_.begin(), inBandMark_.end(), 0);
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const ScanChannel& c = channels_[i];
        if (c.lockedOut)
            continue;
        int32_t lo = 0, hi = 0;
        PassBandOf(c.mode, lo, hi);
        const int64_t offset = int64_t(c.hz) - center;
        if (offset + lo <= -kHalfBandHz + kEdgeGuardHz || offset + hi >= kHalfBandHz - kEdgeGuardHz)
            continue;
        const int first = static_cast<int>(std::ceil(double(offset + lo) / kBinHz)) + kHalfBins;
        const int last = static_cast<int>(std::floor(double(offset + hi) / kBinHz)) + kHalfBins;
        inBand_.push_back({static_cast<int>(i), std::clamp(first, 0, dsp::kSpectrumSize - 1),
                           std::clamp(std::max(first, last), 0, dsp::kSpectrumSize - 1)});
        inBandMark_[i] = 1;
    }
    bandCenter_ = center;
    bandKnown_ = true;
    roundStart_ = 0;
    probeNext_ = 0;
}

bool Scanner::Judged(const ScanChannel& c) const
{
    return options_.fmSquelch && c.mode == dsp::Mode::Fm;
}

void Scanner::RetuneUnacknowledged()
{
    // The radio is off, lost, or cannot be tuned: FreqCenter moved with the
    // command, but the radio may still be where it was. Judged against the
    // centre, its real band would give its stations to the channels the
    // centre names, and log them under the wrong frequency. So that band is
    // not judged until the radio acknowledges it or its dial is read
    // elsewhere; meanwhile the next band is asked for.
    unconfirmed_ = true;
    unconfirmedCenter_ = awaitedCenter_;
    if (!unacknowledgedNoticeGiven_ && hooks_.notice)
        hooks_.notice("The radio did not acknowledge a retune: the channels it was to bring "
                      "in are not judged until it does.");
    unacknowledgedNoticeGiven_ = true;
    FindInBand();
    SetPhase(ScanPhase::Searching);
    NextBand();
}

bool Scanner::BandUnconfirmed()
{
    // A centre that moved since came from an acknowledgement or a dial read.
    if (unconfirmed_ && hooks_.freqCenter() != unconfirmedCenter_)
        unconfirmed_ = false;
    return unconfirmed_;
}

void Scanner::Search(const ScanBlock& block)
{
    if (BandUnconfirmed()) {
        NextBand();
        return;
    }
    if (!bandKnown_ || hooks_.freqCenter() != bandCenter_)
        FindInBand();
    Analyse(block.spectrumDb);
    const int n = static_cast<int>(inBand_.size());
    for (int t = 0; t < n; ++t) {
        const int at = (roundStart_ + t) % n;
        const InBand& e = inBand_[static_cast<std::size_t>(at)];
        if (Judged(channels_[static_cast<std::size_t>(e.channel)]))
            continue;
        const double level = LevelOf(e.first, e.last);
        char& quiet = quietSince_[static_cast<std::size_t>(e.channel)];
        if (level < options_.thresholdDb) {
            quiet = 1;
            continue;
        }
        if (!quiet)
            continue;
        // The channels after this one come first next time, so that one
        // busy channel does not hide the others.
        roundStart_ = (at + 1) % n;
        held_ = e;
        BeginHit(e.channel, level);
        return;
    }
    if (options_.fmSquelch) {
        for (; probeNext_ < n; ++probeNext_) {
            const int channel = inBand_[static_cast<std::size_t>(probeNext_)].channel;
            if (Judged(channels_[static_cast<std::size_t>(channel)])) {
                ++probeNext_;
                Tune(channel);
                waitBlocks_ = 0;
                SetPhase(ScanPhase::Probing);
                return;
            }
        }
        probeNext_ = 0;
    }
    NextBand();
}

void Scanner::NextBand()
{
    if (!bandKnown_)
        FindInBand();
    const int count = static_cast<int>(channels_.size());
    int outside = -1;
    for (int t = 0; t < count && outside < 0; ++t) {
        const int i = (nextOutside_ + t) % count;
        if (!channels_[static_cast<std::size_t>(i)].lockedOut &&
            !inBandMark_[static_cast<std::size_t>(i)])
            outside = i;
    }
    // Every channel is in this band: the scan stays, unless the radio never
    // acknowledged it, and is asked for it again.
    if (outside < 0 && !BandUnconfirmed())
        return;
    if (!hooks_.radioAvailable()) {
        if (!outsideNoticeGiven_ && hooks_.notice) {
            hooks_.notice("No radio to retune: the channels outside the band are left out.");
        }
        outsideNoticeGiven_ = true;
        return;
    }
    const int64_t center = outside < 0 ? hooks_.freqCenter() : CenterFor(outside);
    const ScanHooks::Retune r = center > 0 && center <= INT32_MAX
                                    ? hooks_.retuneRadio(static_cast<int32_t>(center))
                                    : ScanHooks::Retune::Refused;
    if (r == ScanHooks::Retune::Busy)
        return;  // asked again at the next block
    if (outside >= 0)
        nextOutside_ = (outside + 1) % count;
    if (r == ScanHooks::Retune::Refused)
        return;  // beyond the radio's range: the next one at the next block
    awaitedCenter_ = hooks_.freqCenter();
    bandKnown_ = false;
    waitBlocks_ = 0;
    SetPhase(ScanPhase::Retuning);
}

int64_t Scanner::CenterFor(int channel) const
{
    const ScanChannel& c = channels_[static_cast<std::size_t>(channel)];
    int32_t lo = 0, hi = 0;
    PassBandOf(c.mode, lo, hi);
    // The channel near the band's lower edge, so that the band takes in as
    // many of the channels above it as it can (a band search's next steps).
    const int64_t offset = -kHalfBandHz + kEdgeGuardHz + 100 - lo;
    return int64_t(c.hz) - offset;
}

bool Scanner::Active(const ScanBlock& block, double* levelDb)
{
    if (Judged(channels_[static_cast<std::size_t>(current_)])) {
        *levelDb = 0.0;
        return block.sqlBusy;
    }
    if (!block.spectrumDb)
        return false;
    Analyse(block.spectrumDb);
    *levelDb = LevelOf(held_.first, held_.last);
    return *levelDb >= options_.thresholdDb;
}

void Scanner::Hold(const ScanBlock& block)
{
    double level = 0.0;
    if (Active(block, &level)) {
        lastActive_ = block_;
        hit_.peakDb = std::max(hit_.peakDb, level);
        SetPhase(ScanPhase::Holding);
        return;
    }
    SetPhase(ScanPhase::Hanging);
    const int64_t quiet = block_ - lastActive_;
    if (quiet >= std::max<int64_t>(hangBlocks_, 1)) {
        EndHit();
        SetPhase(ScanPhase::Searching);
    }
}

void Scanner::BeginHit(int channel, double levelDb)
{
    const ScanChannel& c = channels_[static_cast<std::size_t>(channel)];
    if (Judged(c)) {
        held_ = {channel, 0, 0};
    } else {
        for (const InBand& e : inBand_)
            if (e.channel == channel)
                held_ = e;
    }
    Tune(channel);
    hit_.start = hooks_.now ? hooks_.now() : std::chrono::system_clock::now();
    hit_.hz = c.hz;
    hit_.name = c.name;
    hit_.mode = c.mode;
    hit_.blocks = 1;
    hit_.peakDb = levelDb;
    hitStart_ = block_;
    lastActive_ = block_;
    recording_ = options_.recordHits && hooks_.startRecording && hooks_.startRecording(hit_);
    SetPhase(ScanPhase::Holding);
    if (hooks_.changed)
        hooks_.changed();
}

void Scanner::EndHit()
{
    hit_.blocks = lastActive_ - hitStart_ + 1;
    if (recording_ && hooks_.stopRecording)
        hooks_.stopRecording();
    recording_ = false;
    if (hooks_.hitEnded)
        hooks_.hitEnded(hit_);
}

void Scanner::Tune(int channel)
{
    current_ = channel;
    hooks_.tuneInBand(channels_[static_cast<std::size_t>(channel)]);
}

void Scanner::SetPhase(ScanPhase phase)
{
    if (phase_ == phase)
        return;
    phase_ = phase;
    if (hooks_.changed)
        hooks_.changed();
}

}  // namespace core
