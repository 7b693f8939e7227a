// The scanner fed by the real signal chain over recordings tesmar-iqgen makes
// (tests/core/ScanAir.h), with the test's own radio: it acknowledges each
// retune one block later (ScanReceiverTest has the pseudo-terminal radio).

#include "core/model/Scanner.h"
#include "core/model/ReceiverState.h"
#include "core/model/ScanLog.h"
#include "dsp/SignalChain.h"
#include "tests/core/ScanAir.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <regex>

namespace core::test {
namespace {

using tesmar::test::ReadFile;
using tesmar::test::TempDir;

// The chain and the scanner as the receiver joins them, over the air of
// `stations` for `blocks` blocks, with the test's radio: retunes are
// acknowledged one block after they were sent, unless the radio is deaf (off
// with its port open): then it stays where it is and says nothing.
struct ScanRig {
    ScanRig(std::vector<Station> stations, int64_t blocks, int noise = kNoise)
        : air{dir.Path(), std::move(stations), blocks, noise}
        , chain(controls)
        , scanner(Hooks())
    {
        controls.ScanRunning = true;
        // Blocks are counted exactly; the IQ balance's latency would move a
        // station's end across a block. NoPhantomHitOnTheCentreOrAStrongStationsImage
        // turns it on.
        controls.IQCorr = 0;
        controls.DCCorr = false;
        chain.Setup();
    }

    const ScanChannel& Current() const
    {
        return scanner.Channels()[std::size_t(scanner.Current())];
    }

    // Whether block b was checked in a band that holds the station.
    bool Searched(int64_t b, const Station& s) const
    {
        auto found = searched.find(b);
        if (found == searched.end())
            return false;
        int32_t lo = 0, hi = 0;
        Scanner::PassBandOf(s.mode, lo, hi);
        const int32_t offset = s.hz - found->second;
        return offset + lo > -23000 && offset + hi < 23000;
    }

    void Run(int64_t blocks)
    {
        for (int64_t b = 0; b < blocks; ++b, ++block) {
            chain.ProcessBlock(air.Block(tuned, block));
            if (scanner.Phase() == ScanPhase::Searching)
                searched[block] = tuned;
            const dsp::BlockOutputs& out = chain.Outputs();
            scanner.OnBlock({out.SpectrumDb.data(), out.SqlBusy});
            if (ackDue && block >= *ackDue) {
                ackDue.reset();
                scanner.RadioSettled(center);
            }
        }
    }

    ScanHooks Hooks()
    {
        ScanHooks h;
        h.freqCenter = [this] { return center; };
        h.tuneInBand = [this](const ScanChannel& c) {
            controls.FreqTune = c.hz - center;
            controls.RxMode = c.mode;
            controls.IFBW = IfPresetOf(c.mode);
            chain.DesignIFFilter();
        };
        h.retuneRadio = [this](int32_t to) {
            retunes.push_back(to);
            center = to;
            if (!deaf) {
                tuned = to;
                ackDue = block + 1;
            }
            return ScanHooks::Retune::Sent;
        };
        h.notice = [this](const std::string& text) { notices.push_back(text); };
        h.radioAvailable = [this] { return !lost; };
        h.hitEnded = [this](const ScanHit& hit) {
            hits.push_back(hit);
            hitEnds.push_back(block);
        };
        h.now = [this] { return kEpoch + std::chrono::milliseconds(50 * block); };
        return h;
    }

    TempDir dir;
    Air air;
    dsp::ChainControls controls;
    dsp::SignalChain chain;
    Scanner scanner;
    int32_t center = 5012000;  // FreqCenter
    int32_t tuned = 5012000;   // where the radio really is
    bool deaf = false;
    bool lost = false;  // no link: nothing can be sent
    int64_t block = 0;
    std::optional<int64_t> ackDue;
    std::vector<ScanHit> hits;
    std::vector<int64_t> hitEnds;  // the block each hit ended in
    std::vector<int32_t> retunes;
    std::map<int64_t, int32_t> searched;
    std::vector<std::string> notices;
};

ScanChannel Channel(int32_t hz, const char* name, Mode mode) { return {hz, name, mode, false}; }

// Catches: a station found late or early, a hit that does not hold while the
// station lasts, a scan that resumes before the hang time or stays on
// afterwards, a channel outside the band never visited or checked before
// its band has settled, a log whose durations are off.
TEST(Scanner, StopsOnEachStationHoldsAndResumesAfterTheHangTime)
{
    const std::vector<Station> stations = {
        {5000000, Mode::Am, 20, 60},
        {5008000, Mode::Cw, 110, 140},
        {5015000, Mode::Usb, 190, 230},
        {5027000, Mode::Fm, 280, 320},
        {5021000, Mode::Lsb, 370, 400},
        {5070000, Mode::Am, 450, 490},  // outside the band the scan starts in
    };
    ScanRig rig(stations, 560);
    std::vector<ScanChannel> channels = {
        Channel(5000000, "Tower", Mode::Am),  Channel(5008000, "Morse", Mode::Cw),
        Channel(5015000, "Voice", Mode::Usb), Channel(5027000, "Repeater", Mode::Fm),
        Channel(5021000, "Lower", Mode::Lsb), Channel(5070000, "Far", Mode::Am),
        Channel(5045000, "Quiet", Mode::Am),
    };
    ASSERT_EQ(rig.scanner.Start(ScanOptions{}, channels), "");
    rig.Run(560);

    ASSERT_EQ(rig.hits.size(), stations.size());
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const Station& s = stations[i];
        const ScanHit& hit = rig.hits[i];
        SCOPED_TRACE(hit.name);
        EXPECT_EQ(hit.hz, s.hz);
        // Found in the first block its band was checked in once it was on.
        int64_t expected = s.on;
        while (!rig.Searched(expected, s))
            ++expected;
        EXPECT_EQ(BlockOf(hit.start), expected);
        EXPECT_NEAR(double(hit.blocks), double(s.off - expected), 1.0);
        EXPECT_GT(hit.peakDb, 20.0);
        // Held through the hang time after the last active block, not longer.
        EXPECT_NEAR(double(rig.hitEnds[i]), double(s.off - 1 + 40), 1.0);
    }
    // The channel outside the band: reached by the radio, more than once
    // (the scan comes back to the band it left).
    EXPECT_GE(rig.retunes.size(), 2u);

    // The log: a header and every hit, its duration in seconds.
    const std::filesystem::path log = rig.dir.Path() / "ScanLog.csv";
    std::string fields;
    for (const ScanHit& hit : rig.hits) {
        ASSERT_TRUE(AppendScanLog(log, hit, nullptr));
        fields += std::to_string(hit.hz) + ",\"" + hit.name + "\"," + ScanModeName(hit.mode) + "," +
                  std::to_string(hit.blocks / 20) + "." + std::to_string(hit.blocks % 20 / 2) +
                  std::to_string(hit.blocks % 2 * 5) + ",";
    }
    std::string text = ReadFile(log);
    ASSERT_EQ(text.rfind(kScanLogHeader, 0), 0u);
    EXPECT_NE(text.find("\n2019-12-20T00:00:01Z,5000000,"), std::string::npos) << text;
    // Each line from after its time to before its peak.
    const std::regex edges("[0-9T:-]+Z,|[0-9.-]+\n");
    EXPECT_EQ(std::regex_replace(text.substr(std::strlen(kScanLogHeader)), edges, ""), fields);
}

// Catches: a floor that is not the noise's (the median read as the mean), a
// threshold in the wrong units, or a narrow channel's spread read as a hit.
TEST(Scanner, NoiseAloneGivesNoHitOverAMinute)
{
    const int64_t kMinute = 1200;
    ScanRig rig({}, kMinute, 300);
    std::vector<ScanChannel> channels;
    // All inside the band, in every mode, the narrow CW channel's few bins too.
    for (int32_t k = 0; k < 36; ++k)
        channels.push_back(Channel(5012000 - 16000 + k * 900, "", FromCode<Mode>(k % 5)));
    ASSERT_EQ(rig.scanner.Start(ScanOptions{}, channels), "");
    rig.Run(kMinute);
    EXPECT_TRUE(rig.hits.empty());
    EXPECT_TRUE(rig.retunes.empty());
}

// Catches: the centre's spike or a strong station's image taken for a
// station. An imperfect card (1 dB, 3 degrees, 0.1 samples between the
// channels, DC at -55 dBFS) with a strong station at +10 kHz: the channels on
// the centre and on the station's mirror, in AM and FM, and a quiet one, give
// no hit over 20 s with the input corrections on; with them off the same
// band does (the test catches what it means to).
TEST(Scanner, NoPhantomHitOnTheCentreOrAStrongStationsImage)
{
    const int64_t kBlocks = 400;
    for (const bool corrected : {true, false}) {
        SCOPED_TRACE(corrected ? "corrected" : "uncorrected");
        ScanRig rig({{5022000, Mode::Am, 0, kBlocks}}, kBlocks);
        rig.air.card = {"--iq-gain", "1", "--iq-phase", "3", "--iq-delay", "0.1", "--dc", "-55"};
        rig.controls.IQCorr = corrected ? 1 : 0;
        rig.controls.DCCorr = corrected;
        const std::vector<ScanChannel> channels = {
            Channel(5012000, "Centre", Mode::Am), Channel(5012000, "Centre FM", Mode::Fm),
            Channel(5002000, "Mirror", Mode::Am), Channel(5002000, "Mirror FM", Mode::Fm),
            Channel(5030000, "Quiet", Mode::Am),
        };
        ASSERT_EQ(rig.scanner.Start(ScanOptions{}, channels), "");
        rig.Run(kBlocks);
        std::string names;
        for (const ScanHit& hit : rig.hits)
            names += hit.name + " ";
        // A hit still held at the end has not ended yet.
        const bool stopped = !rig.hits.empty() || rig.scanner.Phase() == ScanPhase::Holding;
        if (corrected)
            EXPECT_FALSE(stopped) << names << (rig.hits.empty() ? rig.Current().name : "");
        else
            EXPECT_TRUE(stopped);
    }
}

// Catches: a band search that does not cover its steps across bands, or a
// skipped channel found again at once while it is still on the air.
TEST(Scanner, BandSearchSkipAndLockOut)
{
    ScanRig rig({{5005000, Mode::Am, 0, 200}, {5055000, Mode::Am, 0, 200}}, 200);
    const ScanOptions band{
        .kind = ScanKind::Band, .bandStart = 4990000, .bandStop = 5080000, .bandStep = 5000};
    ASSERT_EQ(rig.scanner.Start(band, {}), "");
    EXPECT_EQ(rig.scanner.Channels().size(), 19u);
    rig.Run(3);
    ASSERT_EQ(rig.scanner.Phase(), ScanPhase::Holding);
    EXPECT_EQ(rig.Current().hz, 5005000);
    // Skipped: the other station, in the next band, is found; never this
    // one again while it lasts.
    rig.scanner.Skip();
    rig.Run(20);
    ASSERT_EQ(rig.scanner.Phase(), ScanPhase::Holding);
    EXPECT_EQ(rig.Current().hz, 5055000);
    rig.scanner.LockOut();
    EXPECT_TRUE(rig.Current().lockedOut);
    rig.Run(100);
    ASSERT_EQ(rig.hits.size(), 2u);
    // Neither is held again: one skipped and still on, the other locked out.
    EXPECT_NE(rig.scanner.Phase(), ScanPhase::Holding);
    EXPECT_EQ(rig.hits[0].blocks, 3);
}

// Catches: FM channels judged by the spectrum although the squelch was
// chosen, a probe read before the squelch has settled on the channel, a hit
// held after the squelch closed, a quiet FM channel taken for a hit.
TEST(Scanner, FmChannelsByTheSquelchWhenChosen)
{
    ScanRig rig({{5027000, Mode::Fm, 20, 60}, {5000000, Mode::Am, 100, 130}}, 160);
    rig.controls.SqlPos = 60;  // closed on noise, open on the station
    const ScanOptions options{.hangSeconds = 0.5, .fmSquelch = true};
    ASSERT_EQ(rig.scanner.Start(options, {Channel(5010000, "Other", Mode::Fm),
                                          Channel(5027000, "Repeater", Mode::Fm),
                                          Channel(5000000, "Tower", Mode::Am)}),
              "");
    rig.Run(160);
    ASSERT_EQ(rig.hits.size(), 2u);
    const ScanHit& fm = rig.hits[0];
    EXPECT_EQ(fm.name, "Repeater");
    // FM channels are listened to two blocks each, and the squelch opens slowly.
    EXPECT_GE(BlockOf(fm.start), 21);
    EXPECT_LE(BlockOf(fm.start), 28);
    EXPECT_NEAR(double(BlockOf(fm.start) + fm.blocks), 60.0, 2.0);
    EXPECT_EQ(rig.hits[1].name, "Tower");
}

}  // namespace
}  // namespace core::test

namespace core::test {
namespace {

// Catches: a band the radio never acknowledged judged against the band the
// radio is really in (its station logged under the channel the unreached
// band would have held there), a notice per retune, a band never judged
// once the radio answers again.
TEST(Scanner, ABandTheRadioNeverAcknowledgedIsNotJudged)
{
    // Where "Far" would lie in the band the scan asks for, the radio's own
    // band holds another station, which is on the air throughout.
    int32_t lo = 0, hi = 0;
    Scanner::PassBandOf(Mode::Am, lo, hi);
    const int32_t farOffset = -24000 + Scanner::kEdgeGuardHz + 100 - lo;
    const Station elsewhere{5012000 + farOffset, Mode::Am, 0, 400};
    ScanRig rig({elsewhere, {5070000, Mode::Am, 250, 330}}, 400);
    rig.deaf = true;
    ASSERT_EQ(rig.scanner.Start(ScanOptions{}, {Channel(5070000, "Far", Mode::Am)}), "");
    rig.Run(200);
    ASSERT_FALSE(rig.retunes.empty());
    EXPECT_EQ(rig.retunes.front(), 5070000 - farOffset);
    // Asked again and again, judged never, told once.
    EXPECT_GE(rig.retunes.size(), 3u);
    EXPECT_TRUE(rig.hits.empty());
    EXPECT_EQ(rig.notices.size(), 1u);

    // The radio answers again: its band is judged, the station found under
    // its own channel once it is on.
    rig.deaf = false;
    rig.Run(200);
    ASSERT_EQ(rig.hits.size(), 1u);
    EXPECT_EQ(rig.hits[0].name, "Far");
    EXPECT_GE(BlockOf(rig.hits[0].start), 250);
    EXPECT_EQ(rig.notices.size(), 1u);
}

// Catches: a band judged while the radio that was asked for it is lost (the
// scan no longer retunes, and stayed on the centre the command named), and
// an acknowledgement that comes after the scan gave up waiting for it (a
// Hamlib radio sends what it owes once its link is back) ignored, so that
// the band it confirms is never judged.
TEST(Scanner, ARadioLostMidRetuneIsJudgedOnlyOnceItAcknowledges)
{
    int32_t lo = 0, hi = 0;
    Scanner::PassBandOf(Mode::Am, lo, hi);
    const int32_t farOffset = -24000 + Scanner::kEdgeGuardHz + 100 - lo;
    ScanRig rig({{5012000 + farOffset, Mode::Am, 0, 300}, {5070000, Mode::Am, 0, 300}}, 300);
    rig.deaf = true;
    ASSERT_EQ(rig.scanner.Start(ScanOptions{}, {Channel(5070000, "Far", Mode::Am)}), "");
    rig.Run(1);
    ASSERT_EQ(rig.scanner.Phase(), ScanPhase::Retuning);
    rig.lost = true;
    rig.Run(100);
    EXPECT_EQ(rig.scanner.Phase(), ScanPhase::Searching);
    EXPECT_TRUE(rig.hits.empty());
    EXPECT_EQ(rig.retunes.size(), 1u);

    // Back, it tunes as it was asked and says so.
    rig.lost = rig.deaf = false;
    rig.tuned = rig.retunes.back();
    rig.scanner.RadioSettled(rig.tuned);
    rig.Run(2);
    EXPECT_EQ(rig.scanner.Phase(), ScanPhase::Holding);
    EXPECT_EQ(rig.Current().name, "Far");
    EXPECT_EQ(rig.retunes.size(), 1u);
}

// Catches: a refusal that names another reason than its own (a search from
// 0 MHz told that its stop lay below its start).
TEST(Scanner, ABandSearchIsRefusedForItsOwnReason)
{
    const struct {
        int32_t start, stop, step;
        const char* refusal;
    } cases[] = {
        {0, 100000, 5000, "The start frequency must lie above 0 MHz."},
        {-5000, 100000, 5000, "The start frequency must lie above 0 MHz."},
        {5000000, 4990000, 5000, "The stop frequency must not lie below the start frequency."},
        {5000000, 5100000, 0, "The step must be above 0 Hz."},
        {1000, 100001000, 1000, "The band holds more than 65536 steps; choose a larger step."},
        {5000000, 5000000, 5000, ""},
    };
    Scanner scanner{ScanHooks{}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + ".." + std::to_string(c.stop));
        const ScanOptions band{
            .kind = ScanKind::Band, .bandStart = c.start, .bandStop = c.stop, .bandStep = c.step};
        EXPECT_EQ(scanner.Start(band, {}), c.refusal);
        scanner.Stop();
    }
}

// Catches: a record glued to the half line a write that failed (a full disk)
// left behind, which loses that record as well.
TEST(Scanner, ALogRecordAfterAFailedWriteStartsOnALineOfItsOwn)
{
    TempDir dir;
    const std::filesystem::path log = dir.Path() / "ScanLog.csv";
    ScanHit hit{kEpoch, 5000000, "Tower", Mode::Am, 60, 23.4};
    ASSERT_TRUE(AppendScanLog(log, hit, nullptr));
    const std::string before = ReadFile(log);
    {
        tesmar::test::FileSizeLimit full(before.size() + 20);
        std::string error;
        hit.name = "Lost";
        EXPECT_FALSE(AppendScanLog(log, hit, &error));
        EXPECT_NE(error.find(log.string()), std::string::npos) << error;
    }
    const std::string broken = ReadFile(log);
    ASSERT_EQ(broken.size(), before.size() + 20);  // half a line
    hit.name = "Kept";
    ASSERT_TRUE(AppendScanLog(log, hit, nullptr));
    EXPECT_EQ(ReadFile(log), broken + "\n" + ScanLogLine(hit));
    // A whole last line gets nothing before the next.
    ASSERT_TRUE(AppendScanLog(log, hit, nullptr));
    EXPECT_EQ(ReadFile(log), broken + "\n" + ScanLogLine(hit) + ScanLogLine(hit));
}

}  // namespace
}  // namespace core::test
