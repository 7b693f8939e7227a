#include "ProgramRun.h"
#include "core/model/MeterNeedle.h"
#include "dsp/SignalChain.h"
#include "dsp/Spectrum.h"
#include "recording/RawIqFile.h"
#include "tests/dsp/LiteralChain.h"
#include "tools/DemoBand.h"
#include "tools/IqGen.h"

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<int16_t> Samples(const std::vector<uint8_t>& wav)
{
    std::vector<int16_t> s((wav.size() - 44) / 2);
    std::memcpy(s.data(), wav.data() + 44, s.size() * 2);
    return s;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& interleaved, int ch)
{
    std::vector<int16_t> c;
    for (std::size_t i = static_cast<std::size_t>(ch); i < interleaved.size(); i += 2)
        c.push_back(interleaved[i]);
    return c;
}

// Frequency from rising zero crossings of the mean-free signal over [from, to).
double ZeroCrossingHz(const std::vector<int16_t>& s, std::size_t from, std::size_t to, double rate)
{
    double mean = 0;
    for (std::size_t i = from; i < to; ++i)
        mean += s[i];
    mean /= static_cast<double>(to - from);
    std::size_t first = 0, last = 0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (s[i - 1] - mean < 0 && s[i] - mean >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    if (crossings < 2)
        return 0;
    return (crossings - 1) * rate / static_cast<double>(last - first);
}

// Power of one frequency (Goertzel) over [from, to).
double Goertzel(const std::vector<int16_t>& s, std::size_t from, std::size_t to, double hz,
                double rate)
{
    const double k = 2 * std::cos(2 * M_PI * hz / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double s0 = s[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

using DemodEndToEnd = DemodThreadsFixture;

}  // namespace

TEST_P(DemodEndToEnd, AmToneComesOutAtItsFrequency)
{
    const auto in = Make("am.dat", {"--blocks", "60", "--tone", "1000"});
    const auto out = dir / "out.wav";
    const ProcResult r = Demod({"--set", "GainPos=0", in.string(), out.string()}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    const auto wav = ReadBytes(out);
    ASSERT_EQ(wav.size(), 44u + 60u * 9600u);
    EXPECT_EQ(Le32(wav, 24), 48000u);
    EXPECT_EQ(Le16(wav, 22), 2u);
    EXPECT_EQ(Le32(wav, 40), 60u * 9600u);
    EXPECT_EQ(Le32(wav, 4), 60u * 9600u + 36u);
    const auto left = Channel(Samples(wav), 0);
    const auto right = Channel(Samples(wav), 1);
    EXPECT_EQ(left, right);  // no 3D: both channels alike
    // From the second second on, after the AGC has settled.
    const std::size_t from = 48000, to = 48000 * 3;
    EXPECT_NEAR(ZeroCrossingHz(left, from, to, 48000), 1000.0, 2.0);
    const double at = Goertzel(left, from, to, 1000, 48000);
    EXPECT_GT(at, 100 * Goertzel(left, from, to, 800, 48000));
    EXPECT_GT(at, 100 * Goertzel(left, from, to, 1250, 48000));
    EXPECT_GT(*std::max_element(left.begin() + from, left.begin() + to), 1000);
}

TEST_P(DemodEndToEnd, OtherToneOtherFrequency)
{
    const auto in = Make("am700.dat", {"--blocks", "60", "--tone", "700", "--offset", "5000"});
    const auto out = dir / "out.wav";
    const ProcResult r = Demod(
        {"--set", "GainPos=0", "--set", "FreqTune=5000", in.string(), out.string()}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto left = Channel(Samples(ReadBytes(out)), 0);
    EXPECT_NEAR(ZeroCrossingHz(left, 48000, 48000 * 3, 48000), 700.0, 2.0);
}

TEST_P(DemodEndToEnd, DefaultVolumeIsSilent)
{
    const auto in = Make("am.dat", {"--blocks", "10"});
    const auto out = dir / "out.wav";
    ASSERT_EQ(Demod({in.string(), out.string()}, dir.Path()).status, 0);
    const auto s = Samples(ReadBytes(out));
    EXPECT_EQ(s.size(), 10u * 4800u);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; }));
}

TEST_P(DemodEndToEnd, OutputIsExactlyTheChainFedAsPlaybackFeedsIt)
{
    tools::IqGenOptions g;
    g.blocks = 12;
    g.tone = 1000;
    const auto in = Make("am.dat", {"--blocks", "12", "--tone", "1000"});
    const auto out = dir / "out.wav";
    ASSERT_EQ(Demod({"--set", "GainPos=30", "--set", "RxMode=3", "--set", "DSPNR=1", in.string(),
                     out.string()},
                    dir.Path())
                  .status,
              0);
    dsp::ChainControls c;
    c.GainPos = 30;
    c.RxMode = dsp::Mode::Lsb;
    c.DSPNR = true;
    auto chain = std::make_unique<dsp::SignalChain>(c);
    chain->Setup();
    std::vector<int16_t> expected;
    std::vector<int16_t> block(recording::kRawBlockSamples);
    for (int k = 0; k < 12; ++k) {
        tools::GenerateIqBlock(g, k, block.data());
        chain->ProcessBlock(block.data());
        expected.insert(expected.end(), chain->Outputs().OutFrames.begin(),
                        chain->Outputs().OutFrames.end());
    }
    EXPECT_EQ(Samples(ReadBytes(out)), expected);
}

// The command line reproduces the literal, sample-by-sample model of the chain
// on a noisy recording with the canceller restored as on (it starts from zero
// weights, as at start-up), the 3D spread and the squelch in use.
TEST_P(DemodEndToEnd, OutputReproducesTheLiteralModel)
{
    const auto in =
        Make("noisy.dat", {"--blocks", "30", "--tone", "700", "--noise", "400", "--seed", "5"});
    const auto out = dir / "out.wav";
    ASSERT_EQ(Demod({"--set", "GainPos=40", "--set", "DSPAN=1", "--set", "DSP3D=1", "--set",
                     "SqlPos=100", "--set", "AGC=0", "--set", "IQCorr=0", "--set", "DCCorr=0",
                     in.string(), out.string()},
                    dir.Path())
                  .status,
              0);
    dsp::ChainControls c;
    c.GainPos = 40;
    c.DSPAN = c.DSP3D = true;
    c.SqlPos = 100;
    c.AGC = dsp::AgcSpeed::Fast;
    auto model = std::make_unique<literal::LiteralChain>(c);
    model->Setup();
    // The file's blocks lie between the 19-byte header and the 16-byte end
    // marker.
    const auto file = ReadBytes(in);
    ASSERT_EQ((file.size() - 19 - 16) % 9600, 0u);
    const std::size_t blocks = (file.size() - 19 - 16) / 9600;
    std::vector<int16_t> expected;
    std::vector<int16_t> block(recording::kRawBlockSamples);
    for (std::size_t k = 0; k < blocks; ++k) {
        std::memcpy(block.data(), file.data() + 19 + k * 9600, 9600);
        model->ProcessBlock(block.data());
        expected.insert(expected.end(), model->Outputs().OutFrames.begin(),
                        model->Outputs().OutFrames.end());
    }
    const auto got = Samples(ReadBytes(out));
    ASSERT_EQ(got.size(), expected.size());
    std::size_t differing = 0;
    int worst = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int d = std::abs(int(got[i]) - int(expected[i]));
        differing += d != 0;
        worst = std::max(worst, d);
    }
    EXPECT_LE(worst, 1);
    EXPECT_LE(differing * 1000, got.size());
    // Not a comparison of two silences. (The canceller soon removes most of
    // the steady carrier and tone, which is its job; noise and the start
    // remain.)
    EXPECT_GT(std::count_if(got.begin(), got.end(), [](int16_t v) { return std::abs(v) > 100; }),
              1000);
}

// The output holds a frame for every frame of the input, however the input
// ends: at its end marker after whole blocks (the end is no block of its own),
// at its physical end, or in the middle of a block.
TEST_P(DemodEndToEnd, OutputIsAsLongAsTheInput)
{
    struct Case {
        int blocks;
        bool marker;
        std::size_t cutTo;  // bytes of the file kept, 0 for all
        uint32_t frames;    // frames of the output
    };
    const Case cases[] = {
        {0, true, 0, 0},
        {1, true, 0, 2400},
        {7, true, 0, 7 * 2400},
        {5, false, 0, 5 * 2400},
        {5, false, 19 + 2 * 9600 + 1234, 2 * 2400 + 1234 / 4},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--blocks", std::to_string(c.blocks)};
        if (!c.marker)
            args.push_back("--no-end-marker");
        const auto in = Make("k.dat", args);
        if (c.cutTo) {
            auto bytes = ReadBytes(in);
            bytes.resize(c.cutTo);
            WriteBytes(in, bytes);
        }
        const auto out = dir / "out.wav";
        const ProcResult r = Demod({in.string(), out.string()}, dir.Path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto wav = ReadBytes(out);
        EXPECT_EQ(wav.size(), 44u + c.frames * 4u) << c.blocks << " " << c.cutTo;
        EXPECT_EQ(Le32(wav, 40), c.frames * 4u) << c.blocks << " " << c.cutTo;
    }
}

// A steady FM tone ends where the recording ends, without the click a block
// of zeros after it would make.
TEST_P(DemodEndToEnd, FmEndsWithoutAClick)
{
    const auto in = Make("fm.dat", {"--blocks", "20", "--station=-12000:fm:0-20"});
    const auto out = dir / "out.wav";
    const ProcResult r =
        Demod({"--set", "RxMode=1", "--set", "GainPos=60", in.string(), out.string()}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto left = Channel(Samples(ReadBytes(out)), 0);
    EXPECT_EQ(left.size(), 20u * 2400u);
    auto peak = [&](std::size_t from, std::size_t to) {
        int p = 0;
        for (std::size_t i = from; i < to; ++i)
            p = std::max(p, std::abs(int(left[i])));
        return p;
    };
    const int steady = peak(10 * 2400, 18 * 2400);
    EXPECT_GT(steady, 100);
    EXPECT_LE(peak(18 * 2400, left.size()), steady * 11 / 10) << "of " << steady;
}

TEST_P(DemodEndToEnd, RefusesAnotherTesmarFormat)
{
    const auto in = Make("v2.dat", {"--blocks", "2"});
    auto bytes = ReadBytes(in);
    bytes[6] = 1;
    WriteBytes(in, bytes);
    const ProcResult r = Demod({in.string(), (dir / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("Tesmar can not read this format."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

TEST_P(DemodEndToEnd, RefusesFilesThatAreNotForTesmar)
{
    const auto in = Make("am.dat", {"--blocks", "2"});
    const auto out = dir / "out.wav";
    const auto rec = dir / "rec.wav";
    ASSERT_EQ(Demod({"--record", rec.string(), in.string(), out.string()}, dir.Path()).status, 0);
    // Neither our file nor an IQ recording: some other file, and a mono WAV
    // file (a two-channel one is an IQ recording and plays).
    const auto other = dir / "other.bin";
    WriteBytes(other, std::vector<uint8_t>(100, 'x'));
    for (const auto& [file, says] :
         {std::pair{other, "This data is not to use for Tesmar."}, std::pair{rec, "1 channel"}}) {
        const ProcResult r = Demod({file.string(), (dir / "again.wav").string()}, dir.Path());
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "again.wav"));
    }
}

TEST_P(DemodEndToEnd, MissingInputIsAnError)
{
    const ProcResult r =
        Demod({(dir / "none.dat").string(), (dir / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("none.dat"), std::string::npos);
    EXPECT_EQ(CountEntries(dir.Path()), 0);
}

TEST_P(DemodEndToEnd, BadKeyAndMalformedValueAreRefused)
{
    const auto in = Make("am.dat", {"--blocks", "2"});
    const auto out = dir / "out.wav";
    ProcResult r = Demod({"--set", "Volume=3", in.string(), out.string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("Volume"), std::string::npos);
    r = Demod({"--set", "GainPos=loud", in.string(), out.string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("loud"), std::string::npos);
    r = Demod({"--set", "Gain\nPos=1", in.string(), out.string()}, dir.Path());
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    r = Demod({in.string(), (dir.Path() / "no\nsuch" / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    r = Demod({"--frobnicate", in.string(), out.string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_EQ(CountEntries(dir.Path()), 1);
    // The settings file's hexadecimal form is a value like any other.
    r = Demod({"--set", "GainPos=$10", in.string(), out.string()}, dir.Path());
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_P(DemodEndToEnd, UnwritableOutputLeavesNothingBehind)
{
    const auto in = Make("am.dat", {"--blocks", "3"});
    // A folder that does not exist.
    ProcResult r = Demod({in.string(), (dir.Path() / "no" / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("no/out.wav"), std::string::npos) << r.err;
    // A folder in the output's place.
    std::filesystem::create_directory(dir / "taken.wav");
    r = Demod({in.string(), (dir / "taken.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    // An unwritable recorder file takes the main output down with it.
    r = Demod({"--record", (dir.Path() / "no" / "rec.wav").string(), in.string(),
               (dir / "out.wav").string()},
              dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    r = Demod({"--spectrum", (dir.Path() / "no" / "s.f64").string(), in.string(),
               (dir / "out.wav").string()},
              dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(CountEntries(dir.Path()), 2);  // am.dat and the taken.wav folder
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
}

TEST_P(DemodEndToEnd, DevicesAreWrittenInPlace)
{
    // A device as an output is written to, never replaced by a file.
    const auto in = Make("am.dat", {"--blocks", "3"});
    ProcResult r =
        Demod({"--spectrum", "/dev/null", in.string(), (dir / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(ReadBytes(dir / "out.wav").size(), 44u + 3u * 9600u);
    std::filesystem::remove(dir / "out.wav");

    if (!std::filesystem::is_character_file("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    r = Demod({"--record", "/dev/full", in.string(), (dir / "out.wav").string()}, dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("/dev/full"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

TEST_P(DemodEndToEnd, LinkedOutputReplacesTheLinkedFile)
{
    const auto in = Make("am.dat", {"--blocks", "1"});
    std::filesystem::create_directory(dir / "real");
    WriteBytes(dir / "real" / "out.wav", {'o', 'l', 'd'});
    std::filesystem::create_symlink(dir / "real" / "out.wav", dir / "link.wav");
    const ProcResult r = Demod({in.string(), (dir / "link.wav").string()}, dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.wav"));
    EXPECT_EQ(ReadBytes(dir / "real" / "out.wav").size(), 44u + 9600u);
}

TEST_P(DemodEndToEnd, FailedRunKeepsAnEarlierOutput)
{
    const auto in = Make("am.dat", {"--blocks", "2"});
    WriteBytes(dir / "out.wav", {'o', 'l', 'd'});
    auto bytes = ReadBytes(in);
    bytes[0] = 'X';
    WriteBytes(in, bytes);
    EXPECT_EQ(Demod({in.string(), (dir / "out.wav").string()}, dir.Path()).status, 2);
    EXPECT_EQ(ReadBytes(dir / "out.wav"), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

TEST_P(DemodEndToEnd, RecordWritesWhatTheWavRecorderWrites)
{
    const auto in = Make("am.dat", {"--blocks", "40", "--tone", "1000"});
    const auto rec = dir / "rec.wav";
    const ProcResult r = Demod(
        {"--set", "GainPos=0", "--record", rec.string(), in.string(), (dir / "out.wav").string()},
        dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto wav = ReadBytes(rec);
    ASSERT_EQ(wav.size(), 44u + 40u * 800u);  // squelch open all along
    EXPECT_EQ(Le32(wav, 24), 8000u);
    EXPECT_EQ(Le16(wav, 22), 1u);
    EXPECT_EQ(Le32(wav, 40), 40u * 800u);
    EXPECT_EQ(Le32(wav, 4), 40u * 800u + 36u);
    const auto s = Samples(wav);
    EXPECT_NEAR(ZeroCrossingHz(s, 8000, 16000, 8000), 1000.0, 2.0);

    // The recorder takes every sixth sample of the low-passed output: compare
    // with the same chain in-process.
    tools::IqGenOptions g;
    g.blocks = 40;
    dsp::ChainControls c;
    c.GainPos = 0;
    c.Recording = true;
    auto chain = std::make_unique<dsp::SignalChain>(c);
    chain->Setup();
    std::vector<int16_t> block(recording::kRawBlockSamples);
    std::vector<int16_t> expected;
    for (int k = 0; k < 40; ++k) {
        tools::GenerateIqBlock(g, k, block.data());
        chain->ProcessBlock(block.data());
        ASSERT_TRUE(chain->Outputs().RecFeedReady);
        expected.insert(expected.end(), chain->Outputs().RecFeed.begin(),
                        chain->Outputs().RecFeed.end());
    }
    EXPECT_EQ(s, expected);
}

TEST_P(DemodEndToEnd, ClosedSquelchRecordsNothingUnlessMonitorIsDown)
{
    const auto in = Make("am.dat", {"--blocks", "20", "--noise", "300"});
    const auto rec = dir / "rec.wav";
    ProcResult r = Demod(
        {"--set", "SqlPos=150", "--record", rec.string(), in.string(), (dir / "out.wav").string()},
        dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto closed = ReadBytes(rec);
    EXPECT_LT(closed.size(), 44u + 20u * 800u);
    EXPECT_EQ(Le32(closed, 40), closed.size() - 44u);
    r = Demod({"--set", "SqlPos=150", "--set", "Monitor=1", "--record", rec.string(), in.string(),
               (dir / "out.wav").string()},
              dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(rec).size(), 44u + 20u * 800u);
}

TEST_P(DemodEndToEnd, SpectrumHasOneLinePerBlockWithTheCarrier)
{
    const auto in = Make("c.dat", {"--blocks", "4", "--tone", "0", "--offset", "-12000"});
    const auto spectrumFile = dir / "s.f64";
    // The input corrections off: the IQ balance's 512 samples of latency
    // would carry the carrier into the final block.
    const ProcResult r = Demod({"--set", "IQCorr=0", "--set", "DCCorr=0", "--spectrum",
                                spectrumFile.string(), in.string(), (dir / "out.wav").string()},
                               dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bytes = ReadBytes(spectrumFile);
    ASSERT_EQ(bytes.size(), 4u * 2048u * 8u);
    std::vector<double> v(bytes.size() / 8);
    std::memcpy(v.data(), bytes.data(), bytes.size());
    for (int k = 0; k < 4; ++k) {
        const auto line = v.begin() + k * 2048;
        EXPECT_EQ(std::max_element(line, line + 2048) - line, 1536) << k;  // -12000 Hz
    }
}

TEST_P(DemodEndToEnd, OutputsMustBeDistinct)
{
    const auto in = Make("am.dat", {"--blocks", "2"});
    const ProcResult r =
        Demod({"--record", (dir / "out.wav").string(), in.string(), (dir / "out.wav").string()},
              dir.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

TEST_P(DemodEndToEnd, HelpIsShortAndComplete)
{
    const ProcResult r = Demod({"--help"}, dir.Path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty());
    EXPECT_NE(r.out.find("Usage: tesmar-demod"), std::string::npos);
    for (const char* word :
         {"--set",  "--record",   "--spectrum", "INPUT.dat",   "OUTPUT.wav", "FreqTune",
          "RxMode", "IFBW",       "PosIFBW",    "AFLPF",       "PosAFFC1",   "PosAFFC2",
          "AGC",    "GainPos",    "SqlPos",     "InGainPos",   "InvIQ",      "DSP3D",
          "DSPNR",  "DSPAN",      "Monitor",    "Exit status", "0x",         "--threads",
          "--udp",  "--udp-fast", "IQCorr",     "DCCorr",      "IQCorrGain", "IQCorrPhase"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    // A screen's worth: 24 lines, and the decoders' two options.
    EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 28);
    const ProcResult none = Demod({}, dir.Path());
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(OneLine(none.err)) << none.err;
}

TEST_P(DemodEndToEnd, IqGenCommandLine)
{
    const ProcResult help = IqGen({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tesmar-iqgen"), std::string::npos);
    const ProcResult bad = IqGen({"--tone", "loud", (dir / "x.dat").string()}, dir.Path());
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(OneLine(bad.err)) << bad.err;
    EXPECT_EQ(CountEntries(dir.Path()), 0);
    const auto p = Make("t.dat", {"--seconds", "0.5", "--time", "090507", "--center", "7100000"});
    const auto b = ReadBytes(p);
    ASSERT_EQ(b.size(), 19u + 10u * 9600u + 16u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 14), "090507");
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 14, b.begin() + 19),
              (std::vector<uint8_t>{0x00, 0x00, 0x6C, 0x56, 0x60}));
}

// --- The demo band the build places beside the programs as RawData.dat.

namespace {

// Where the README sends a newcomer: receive offset, mode and the filters
// that mode's button presses.
struct DemoStation {
    const char* name;
    int32_t freqTune;
    int rxMode, ifbw, aflpf;
    // The band the signal fills, Hz from the centre.
    int32_t low, high;
};
constexpr DemoStation kDemoStations[] = {
    {"AM music", tools::kDemoAmOffset, 0, 2, 0, tools::kDemoAmOffset, tools::kDemoAmOffset},
    {"CW", tools::kDemoCwOffset, 2, 0, 0, tools::kDemoCwOffset, tools::kDemoCwOffset},
    {"USB voice", tools::kDemoUsbOffset, 4, 1, 0, tools::kDemoUsbOffset + 100,
     tools::kDemoUsbOffset + tools::kDemoVoiceTop},
    {"FM tone", tools::kDemoFmOffset, 1, 3, 1, tools::kDemoFmOffset - 3 * tools::kDemoFmTone,
     tools::kDemoFmOffset + 3 * tools::kDemoFmTone},
};

int BinOf(int32_t offset)
{
    const int bin = static_cast<int>(std::lround(offset / 23.4375));
    return bin < 0 ? bin + static_cast<int>(dsp::kSpectrumSize) : bin;
}

// The averaged spectrum of the whole file, in bins of offset order
// (-24000 Hz first) so that windows need no wrapping.
std::vector<double> AverageSpectrum(const std::filesystem::path& file)
{
    const auto bytes = ReadBytes(file);
    const std::size_t n = dsp::kSpectrumSize;
    const std::size_t blocks = bytes.size() / (8 * n);
    std::vector<double> sum(n, 0.0);
    for (std::size_t b = 1; b < blocks; ++b)
        for (std::size_t k = 0; k < n; ++k) {
            double v;
            std::memcpy(&v, bytes.data() + 8 * (b * n + k), 8);
            sum[(k + n / 2) % n] += v / double(blocks - 1);
        }
    return sum;
}

}  // namespace

TEST_P(DemodEndToEnd, TheDemoBandLiesBesideTheProgramsAsThirtySecondsAroundTheDefaultCentre)
{
    const auto b = ReadBytes(TESMAR_DEMO_FILE);
    ASSERT_EQ(b.size(), 19u + 600u * 9600u + 16u) << "RawData.dat missing or cut short";
    const recording::RawHeaderCheck h = recording::CheckRawHeader(b.data(), b.size());
    ASSERT_EQ(h.status, recording::RawHeaderStatus::Accepted);
    EXPECT_EQ(h.freqCenter, 5012000);
    EXPECT_EQ(h.blockCount, 0);  // the clock starts at 00:00:00
    // The same seed writes the same band.
    const auto again = dir / "again.dat";
    ASSERT_EQ(IqGen({"--demo", "--time", "000000", again.string()}, dir.Path()).status, 0);
    EXPECT_EQ(ReadBytes(again), b);
}

TEST_P(DemodEndToEnd, TheDemoBandsStationsAreWhereTheReadmeSays)
{
    const auto spectrum = dir / "s.f64";
    const ProcResult r =
        Demod({"--spectrum", spectrum.string(), TESMAR_DEMO_FILE, (dir / "out.wav").string()},
              dir.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> db = AverageSpectrum(spectrum);
    std::vector<double> sorted = db;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double floor = sorted[sorted.size() / 2];
    constexpr int half = static_cast<int>(dsp::kSpectrumSize / 2);
    auto index = [](int32_t offset) { return (BinOf(offset) + half) % (2 * half); };
    for (const DemoStation& s : kDemoStations) {
        SCOPED_TRACE(s.name);
        // Around the station (3 kHz either side), the strongest bin lies in
        // the station's own band, well above the band noise.
        const int from = index(s.low - 3000), to = index(s.high + 3000);
        const auto peak = std::max_element(db.begin() + from, db.begin() + to + 1);
        const int at = static_cast<int>(peak - db.begin());
        EXPECT_GE(at, index(s.low) - 1);
        EXPECT_LE(at, index(s.high) + 1);
        EXPECT_GT(*peak, floor + 20.0) << "floor " << floor;
    }
    // The AM carrier is the strongest signal of the band.
    EXPECT_EQ(std::max_element(db.begin(), db.end()) - db.begin(), index(tools::kDemoAmOffset));
}

TEST_P(DemodEndToEnd, EveryModePlaysTheDemoBandAndHearsItsStation)
{
    // LSB 3 kHz above the voice's carrier hears the voice turned over: not
    // a station, but the mode must play too.
    const DemoStation lsb = {"LSB", tools::kDemoUsbOffset + 3000, 3, 1, 0, 0, 0};
    std::vector<DemoStation> runs(std::begin(kDemoStations), std::end(kDemoStations));
    runs.push_back(lsb);
    for (const DemoStation& s : runs) {
        SCOPED_TRACE(s.name);
        const auto out = dir / "out.wav";
        const ProcResult r = Demod(
            {"--set", "GainPos=0", "--set", "RxMode=" + std::to_string(s.rxMode), "--set",
             "IFBW=" + std::to_string(s.ifbw), "--set", "AFLPF=" + std::to_string(s.aflpf), "--set",
             "FreqTune=" + std::to_string(s.freqTune), TESMAR_DEMO_FILE, out.string()},
            dir.Path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto left = Channel(Samples(ReadBytes(out)), 0);
        ASSERT_EQ(left.size(), 600u * 2400u);
        const std::size_t from = 48000, to = left.size();
        double power = 0;
        for (std::size_t i = from; i < to; ++i)
            power += double(left[i]) * left[i];
        EXPECT_GT(std::sqrt(power / double(to - from)), 300.0);  // clearly audible

        if (s.rxMode == 1) {
            // The FM tone stands out of everything near it.
            const double tone = Goertzel(left, from, to, tools::kDemoFmTone, 48000);
            EXPECT_GT(tone, 1000 * Goertzel(left, from, to, 700, 48000));
            EXPECT_GT(tone, 1000 * Goertzel(left, from, to, 1300, 48000));
        }
        if (s.rxMode == 2) {
            // The CW beat note is 800 Hz, keyed: loud and silent 10 ms stretches.
            EXPECT_GT(Goertzel(left, from, to, 800, 48000),
                      30 * Goertzel(left, from, to, 1500, 48000));
            double loudest = 0, quietest = 1e300;
            for (std::size_t i = from; i + 480 <= to; i += 480) {
                const double p = Goertzel(left, i, i + 480, 800, 48000);
                loudest = std::max(loudest, p);
                quietest = std::min(quietest, p);
            }
            EXPECT_GT(loudest, 100 * quietest);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, DemodEndToEnd, ::testing::Values(1, 2));

// A band as a radio brings it in: tuned to each station as the README says,
// at mid volume, the meter stands near the middle of its scale (neither
// pegged nor at its stop), the stations read alike, the noise between them
// well below, and the audio never goes over.
TEST(DemoBand, StationsReadMidScaleAlikeAboveTheNoiseAndNeverOver)
{
    const auto file = ReadBytes(TESMAR_DEMO_FILE);
    ASSERT_GT(file.size(), 19u + 200u * 9600u);
    const DemoStation noise = {"noise", -20000, 0, 2, 0, 0, 0};
    std::vector<DemoStation> runs(std::begin(kDemoStations), std::end(kDemoStations));
    runs.push_back(noise);
    std::vector<double> means;
    std::vector<int16_t> block(recording::kRawBlockSamples);
    for (const DemoStation& s : runs) {
        SCOPED_TRACE(s.name);
        dsp::ChainControls c;
        c.GainPos = 0;
        c.FreqTune = s.freqTune;
        c.RxMode = static_cast<dsp::Mode>(s.rxMode);
        c.IFBW = static_cast<dsp::IfChoice>(s.ifbw);
        c.AFLPF = static_cast<dsp::AfChoice>(s.aflpf);
        auto chain = std::make_unique<dsp::SignalChain>(c);
        chain->Setup();
        core::MeterNeedle needle;
        double sum = 0, highest = 0;
        int over = 0, counted = 0;
        for (std::size_t k = 0; k < 200; ++k) {
            std::memcpy(block.data(), file.data() + 19 + k * 9600, 9600);
            chain->ProcessBlock(block.data());
            const double angle = needle.Step(chain->Outputs().AGCTrace.data());
            if (k < 20)
                continue;  // the needle and the AGC settle
            sum += angle;
            highest = std::max(highest, angle);
            over += chain->Outputs().AudioOver;
            ++counted;
        }
        const double mean = sum / counted;
        EXPECT_EQ(over, 0);
        if (&s == &runs.back()) {
            EXPECT_LT(mean, *std::min_element(means.begin(), means.end()) - 25.0);
            continue;
        }
        EXPECT_GT(mean, 80.0);                                    // above S6
        EXPECT_LT(highest, core::MeterNeedle::kRightEnd - 25.0);  // below +20 dB over S9
        means.push_back(mean);
    }
    EXPECT_LT(*std::max_element(means.begin(), means.end()) -
                  *std::min_element(means.begin(), means.end()),
              25.0);
}
