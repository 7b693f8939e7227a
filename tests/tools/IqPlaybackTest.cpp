// Other receivers' recordings played through the whole chain: every container
// and sample type at the rates operators record, a carrier at a known offset.

#include "recording/IqPlayer.h"
#include "recording/IqTestFiles.h"
#include "recording/RawIqFile.h"
#include "tools/Demod.h"
#include "tools/IqConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <sys/wait.h>

namespace {

using iqtest::Carrier;
using iqtest::Container;
using recording::SampleType;

constexpr double kBinHz = 48000.0 / 2048;

std::vector<int16_t> LeftChannel(const std::filesystem::path& wav)
{
    const auto bytes = ReadBytes(wav);
    std::vector<int16_t> left;
    for (std::size_t at = 44; at + 4 <= bytes.size(); at += 4)
        left.push_back(static_cast<int16_t>(Le16(bytes, at)));
    return left;
}

double Goertzel(const std::vector<int16_t>& s, std::size_t from, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / 48000);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        const double s0 = s[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The strongest bin of each spectrum line but the final, zero-padded one.
std::vector<long> PeakBins(const std::filesystem::path& f64)
{
    const auto bytes = ReadBytes(f64);
    std::vector<double> v(bytes.size() / 8);
    std::memcpy(v.data(), bytes.data(), v.size() * 8);
    std::vector<long> peaks;
    for (std::size_t line = 0; line + 2 * 2048 <= v.size(); line += 2048)
        peaks.push_back(std::max_element(v.begin() + static_cast<long>(line),
                                         v.begin() + static_cast<long>(line + 2048)) -
                        (v.begin() + static_cast<long>(line)));
    return peaks;
}

struct Played {
    std::vector<int16_t> left;
    std::vector<long> peaks;
};

Played Play(const std::filesystem::path& dir, const std::filesystem::path& in, int64_t shift,
            std::string* error)
{
    tools::DemodOptions o;
    o.controls.GainPos = 0;
    o.input = in;
    o.output = dir / "out.wav";
    o.spectrum = dir / "out.f64";
    o.shift = shift;
    Played p;
    if (!tools::RunDemod(o, nullptr, error))
        return p;
    p.left = LeftChannel(o.output);
    p.peaks = PeakBins(o.spectrum);
    return p;
}

// The default receive frequency lies 12 kHz below the slice's centre.
constexpr double kTuned = -12000;

struct FormatCase {
    const char* name;
    Container container;
    SampleType type;
    double rate;
};

// Catches: a sample type decoded with the wrong scale, sign or byte order (no
// tone, or a mirrored carrier in the wrong bin); a rate taken from the wrong
// field or resampled wrongly (tone off its frequency); a header size misread
// (the header played as samples, or data skipped).
TEST(IqPlayback, EveryFormatAndRatePlaysItsCarrierInTheExpectedBin)
{
    const FormatCase cases[] = {
        {"WAV u8 48k", Container::Wav, SampleType::U8, 48000},
        {"WAV s16 96k", Container::Wav, SampleType::S16LE, 96000},
        {"WAV s24 192k", Container::Wav, SampleType::S24LE, 192000},
        {"WAV s32 250k", Container::Wav, SampleType::S32LE, 250000},
        {"WAV f32 2.4M", Container::Wav, SampleType::F32LE, 2400000},
        {"RF64 s16 192k", Container::Rf64, SampleType::S16LE, 192000},
        {"SigMF ci8 96k", Container::Sigmf, SampleType::S8, 96000},
        {"SigMF cu8 250k", Container::Sigmf, SampleType::U8, 250000},
        {"SigMF ci16_le 48k", Container::Sigmf, SampleType::S16LE, 48000},
        {"SigMF ci16_be 192k", Container::Sigmf, SampleType::S16BE, 192000},
        {"SigMF ci32_le 96k", Container::Sigmf, SampleType::S32LE, 96000},
        {"SigMF cf32_le 2.4M", Container::Sigmf, SampleType::F32LE, 2400000},
        {"SigMF cf32_be 250k", Container::Sigmf, SampleType::F32BE, 250000},
        {"SigMF cf64_le 48k", Container::Sigmf, SampleType::F64LE, 48000},
        {"sdriq 16 96k", Container::Sdriq, SampleType::S16LE, 96000},
        {"sdriq 24 192k", Container::Sdriq, SampleType::S24In32LE, 192000},
        {"gqrx cf32 2.4M", Container::Gqrx, SampleType::F32LE, 2400000},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        // 0.8 s: long enough for the AGC to settle on the carrier.
        const auto frames = static_cast<std::size_t>(c.rate * 0.8);
        const auto in = iqtest::Write(dir.Path(), {c.container, c.type, c.rate},
                                      iqtest::Signal(c.rate, frames, {{kTuned, 0.25, 1000}}));
        std::string error;
        const Played p = Play(dir.Path(), in, 0, &error);
        ASSERT_TRUE(error.empty()) << error;
        ASSERT_GE(p.peaks.size(), 14u);
        // From the third block on (the resampler's delay is behind us).
        for (std::size_t b = 2; b < p.peaks.size(); ++b)
            ASSERT_EQ(p.peaks[b], std::lround(2048 + kTuned / kBinHz)) << "block " << b;
        const std::size_t from = 24000;
        const double tone = Goertzel(p.left, from, 1000);
        EXPECT_GT(tone, 30 * Goertzel(p.left, from, 800));
        EXPECT_GT(tone, 30 * Goertzel(p.left, from, 1250));
    }
}

// Catches a mixer turning the wrong way or by the wrong amount, and a slice
// that does not move at all (the first carrier would still be heard).
TEST(IqPlayback, ASliceShiftedBy48kHzHearsTheCarrierPlacedThere)
{
    TempDir dir;
    const double rate = 250000;
    const auto in =
        iqtest::Write(dir.Path(), {Container::Wav, SampleType::S16LE, rate},
                      iqtest::Signal(rate, static_cast<std::size_t>(rate * 0.8),
                                     {{kTuned, 0.2, 1000}, {48000 + kTuned, 0.2, 700}}));
    for (const auto& [shift, tone, other] :
         {std::tuple{0, 1000.0, 700.0}, {48000, 700.0, 1000.0}}) {
        SCOPED_TRACE(shift);
        std::string error;
        const Played p = Play(dir.Path(), in, shift, &error);
        ASSERT_TRUE(error.empty()) << error;
        EXPECT_GT(Goertzel(p.left, 24000, tone), 30 * Goertzel(p.left, 24000, other));
        EXPECT_EQ(p.peaks.back(), std::lround(2048 + kTuned / kBinHz));
    }
    // The slice may not leave the recording: 250 kHz holds +-101 kHz of shift.
    std::string error;
    Play(dir.Path(), in, 2 * 48000 + 24000, &error);
    EXPECT_NE(error.find("outside the recording"), std::string::npos) << error;
}

// Catches recordings narrower than the band refused (as a slice outside
// them) or placed off the band's centre, and a shift that would move them.
TEST(IqPlayback, NarrowerRecordingsPlayWholeAtTheBandsCentre)
{
    constexpr double kCarrier = -3000;
    for (const double rate : {8000.0, 24000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        TempDir dir;
        const auto in = iqtest::Write(
            dir.Path(), {Container::Wav, SampleType::S16LE, rate},
            iqtest::Signal(rate, static_cast<std::size_t>(rate * 0.8), {{kCarrier, 0.25, 1000}}));
        std::string error;
        const Played p = Play(dir.Path(), in, 0, &error);
        ASSERT_TRUE(error.empty()) << error;
        // 0.8 s of the recording, resampled to 48 kHz: 16 whole blocks.
        ASSERT_GE(p.peaks.size(), 15u);
        for (std::size_t b = 2; b < p.peaks.size(); ++b)
            ASSERT_EQ(p.peaks[b], std::lround(2048 + kCarrier / kBinHz)) << "block " << b;
        Play(dir.Path(), in, 1000, &error);
        EXPECT_NE(error.find("plays whole"), std::string::npos) << error;
    }
}

// Catches a NaN or an infinity converted to a 16-bit sample (undefined), and
// one let into the resampler, whose filter spreads it into a stretch of
// silence. At 48 kHz the samples are exact: NaN 0, infinities and values
// beyond full scale at the limits; through the converter the same.
TEST(IqPlayback, NanAndInfiniteSamplesBecomeZeroAndTheLimits)
{
    const float kNan = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<float, int16_t>> odd = {
        {kNan, 0}, {kInf, 32767}, {-kInf, -32768}, {1e30f, 32767}, {-3.0f, -32768}, {0.5f, 16384}};
    for (const double rate : {48000.0, 96000.0}) {
        SCOPED_TRACE(rate);
        TempDir dir;
        auto iq = iqtest::Signal(rate, static_cast<std::size_t>(rate / 10), {{-5000, 0.25}});
        const std::size_t at = iq.size() / 2;
        for (std::size_t k = 0; k < odd.size(); ++k)
            iq[at + k] = odd[k].first;
        const auto in = iqtest::Write(dir.Path(), {Container::Sigmf, SampleType::F32LE, rate}, iq);
        recording::IqPlayer player;
        ASSERT_EQ(player.Open(in).status, recording::RawHeaderStatus::Accepted);
        std::vector<int16_t> frames;  // I first
        for (auto step = player.Pump(); step != recording::IqPlayer::Step::Idle;
             step = player.Pump()) {
            for (int n = 0; n < player.ValidFrames(); ++n)
                frames.insert(frames.end(), {player.Frames()[2 * n + 1], player.Frames()[2 * n]});
            if (step == recording::IqPlayer::Step::FinalBlock)
                break;
        }
        if (rate != 48000) {
            // The carrier never passes through (0, 0): a silenced frame is one
            // a NaN reached. The resampler's first and last frames ramp.
            for (std::size_t n = 200; n + 200 < frames.size() / 2; ++n)
                ASSERT_FALSE(frames[2 * n] == 0 && frames[2 * n + 1] == 0) << "frame " << n;
            continue;
        }
        for (std::size_t k = 0; k < odd.size(); ++k)
            EXPECT_EQ(frames.at(at + k), odd[k].second) << k;
        std::string error;
        ASSERT_TRUE(tools::ConvertIq(in, dir.Path() / "out.wav", nullptr, &error)) << error;
        const auto wav = ReadBytes(dir.Path() / "out.wav");
        const std::size_t data = wav.size() - 4 * (iq.size() / 2);
        for (std::size_t k = 0; k < odd.size(); ++k)
            EXPECT_EQ(static_cast<int16_t>(Le16(wav, data + 2 * (at + k))), odd[k].second) << k;
    }
}

// Catches a converter that loses samples at a block edge or in the final
// partial block, scales them, or drops the frequency or the start time.
TEST(IqPlayback, RawToWavToSigmfToRawKeepsSamplesFrequencyAndTime)
{
    TempDir dir;
    const auto raw = dir / "20261207_093015_7100.dat";
    {
        recording::RawRecorder rec;
        ASSERT_TRUE(rec.Start(raw, {2026, 12, 7, 9, 30, 15}, 7100000));
        std::vector<int16_t> block(recording::kRawBlockSamples);
        for (int b = 0; b < 3; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] =
                    static_cast<int16_t>((b * 7919 + static_cast<int>(i) * 31) % 65536 - 32768);
            ASSERT_TRUE(rec.AppendBlock(block.data()));
        }
        ASSERT_TRUE(rec.Stop());
    }
    const auto wav = dir / "a.wav", meta = dir / "b.sigmf-meta", back = dir / "c.dat";
    std::string error;
    tools::IqConvertSummary s1, s2, s3;
    ASSERT_TRUE(tools::ConvertIq(raw, wav, &s1, &error)) << error;
    ASSERT_TRUE(tools::ConvertIq(wav, meta, &s2, &error)) << error;
    ASSERT_TRUE(std::filesystem::exists(dir / "b.sigmf-data"));
    ASSERT_TRUE(tools::ConvertIq(meta, back, &s3, &error)) << error;
    for (const auto* s : {&s1, &s2, &s3}) {
        EXPECT_EQ(s->frames, 3 * recording::kRawBlockFrames);
        EXPECT_EQ(s->freqCenter, 7100000);
        EXPECT_TRUE(s->hasStart);
        EXPECT_EQ(s->startUnixMs, s1.startUnixMs);
    }
    const auto a = ReadBytes(raw), b = ReadBytes(back);
    EXPECT_EQ(a, b);  // header (time, frequency), samples, end marker
}

// Catches a converter that refuses nothing (an output it cannot name) or
// leaves half-written files behind.
TEST(IqPlayback, ConverterRefusesAnUnknownOutputAndLeavesNothing)
{
    TempDir dir;
    const auto in = iqtest::Write(dir.Path(), {Container::Wav, SampleType::S16LE, 96000},
                                  iqtest::Signal(96000, 9600, {{1000}}));
    std::string error;
    EXPECT_FALSE(tools::ConvertIq(in, dir / "out.mp3", nullptr, &error));
    EXPECT_NE(error.find("out.mp3"), std::string::npos);
    EXPECT_FALSE(tools::ConvertIq(dir / "missing.wav", dir / "out.wav", nullptr, &error));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
}

// The command line: --shift reaches the player, iqconvert runs as a program.
TEST(IqPlayback, CommandLinesShiftAndConvert)
{
    TempDir dir;
    const auto in = iqtest::Write(dir.Path(), {Container::Sdriq, SampleType::S16LE, 192000},
                                  iqtest::Signal(192000, 9600, {{1000}}));
    const auto run = [](const std::string& cmd) {
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(run(std::string(TESMAR_DEMOD_EXE) + " --shift -48000 " + in.string() + " " +
                  (dir / "o.wav").string()),
              0);
    EXPECT_EQ(run(std::string(TESMAR_DEMOD_EXE) + " --shift 96000 " + in.string() + " " +
                  (dir / "p.wav").string() + " 2>/dev/null"),
              2);
    EXPECT_EQ(run(std::string(TESMAR_IQCONVERT_EXE) + " " + in.string() + " " +
                  (dir / "q.sigmf-meta").string()),
              0);
    EXPECT_TRUE(std::filesystem::exists(dir / "q.sigmf-data"));
}

}  // namespace
