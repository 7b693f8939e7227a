// The input corrections against imperfect cards as tesmar-iqgen makes them:
// image rejection and the centre spike measured on the chain's own spectrum
// (what the spectrum window, waterfall and scanner see), never on the
// estimator's figures.
#include "ProgramRun.h"
#include "dsp/SignalChain.h"
#include "tools/ImperfectCard.h"
#include "tools/IqGen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kBinHz = 48000.0 / dsp::kSpectrumSize;
// Carriers from 1.1 to 21.75 kHz on either side, none on another's mirror.
const std::vector<int32_t> kOffsets = {1125, -3000, 7125, -12000, 16875, -20250, 21750};

int BinOf(double hz)
{
    return static_cast<int>(std::lround(hz / kBinHz) + dsp::kSpectrumSize) % dsp::kSpectrumSize;
}

// A band of carriers over noise through an imperfect card, block by block.
class Band {
public:
    Band(const tools::CardFaults& faults, const std::vector<int32_t>& offsets, double noise = 3.0,
         int64_t from = 0)
        : card_(faults)
        , noise_(noise)
    {
        g_.amplitude = 3000;
        for (const int32_t f : offsets)
            g_.stations.push_back({f, 2, {{from, INT64_MAX}}});
        if (offsets.empty())
            g_.stations.push_back({0, 2, {}});  // on no block: noise alone
    }

    const std::vector<int16_t>& Next()
    {
        tools::GenerateIqBlock(g_, index_++, frames_.data());
        std::vector<double> i(dsp::kBlockFrames), q(dsp::kBlockFrames);
        std::normal_distribution<double> gauss(0.0, noise_);
        for (int n = 0; n < dsp::kBlockFrames; ++n) {
            i[n] = frames_[2 * n] + gauss(random_);
            q[n] = frames_[2 * n + 1] + gauss(random_);
        }
        card_.Process(i.data(), q.data(), dsp::kBlockFrames);
        for (int n = 0; n < dsp::kBlockFrames; ++n) {
            frames_[2 * n] = static_cast<int16_t>(std::lround(std::clamp(i[n], -32767.0, 32767.0)));
            frames_[2 * n + 1] =
                static_cast<int16_t>(std::lround(std::clamp(q[n], -32767.0, 32767.0)));
        }
        return frames_;
    }

private:
    tools::IqGenOptions g_;
    tools::ImperfectCard card_;
    double noise_;
    int64_t index_ = 0;
    std::mt19937 random_{11};
    std::vector<int16_t> frames_ = std::vector<int16_t>(dsp::kBlockSamples);
};

// The chain with its spectrum on, and the spectra of its last blocks as power.
struct Receiver {
    dsp::ChainControls c;
    std::unique_ptr<dsp::SignalChain> chain;
    std::vector<std::array<double, dsp::kSpectrumSize>> recent;

    explicit Receiver(int iqCorr = 1, bool dcCorr = true)
    {
        c.SpectrumVisible = true;
        c.IQCorr = iqCorr;
        c.DCCorr = dcCorr;
        chain = std::make_unique<dsp::SignalChain>(c);
        chain->Setup();
    }

    void Run(Band& band, int blocks)
    {
        for (int b = 0; b < blocks; ++b) {
            chain->ProcessBlock(band.Next().data());
            std::array<double, dsp::kSpectrumSize> power;
            const auto& db = chain->Outputs().SpectrumDb;
            for (int k = 0; k < dsp::kSpectrumSize; ++k)
                power[k] = std::exp(db[k] / 10.0);  // 20 ln|X| as power
            recent.push_back(power);
            if (recent.size() > 4)
                recent.erase(recent.begin());
        }
    }

    // The last blocks' power in dB, the strongest of bins k-reach .. k+reach.
    double Db(int k, int reach) const
    {
        double best = 0.0;
        for (int j = -reach; j <= reach; ++j) {
            double sum = 0.0;
            for (const auto& p : recent)
                sum += p[(k + j + dsp::kSpectrumSize) % dsp::kSpectrumSize];
            best = std::max(best, sum / static_cast<double>(recent.size()));
        }
        return 10.0 * std::log10(best);
    }

    double ImageRejection(int32_t offset) const
    {
        return Db(BinOf(offset), 1) - Db(BinOf(-offset), 2);
    }

    // The centre bin over the median of all bins, dB.
    double CentreOverFloor() const
    {
        std::vector<double> all;
        for (int k = 0; k < dsp::kSpectrumSize; ++k)
            all.push_back(Db(k, 0));
        std::nth_element(all.begin(), all.begin() + all.size() / 2, all.end());
        return Db(0, 0) - all[all.size() / 2];
    }
};

std::string Describe(const tools::CardFaults& f)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.2f dB, %.1f deg, %.2f samples, DC %.0f dBFS", f.gainDb,
                  f.phaseDeg, f.delay, f.dcDbfs);
    return text;
}

// The image rejection at every offset, for the log.
std::string Rejections(const struct Receiver& rx);

std::string Rejections(const Receiver& rx)
{
    std::string line;
    for (const int32_t f : kOffsets) {
        char text[32];
        std::snprintf(text, sizeof text, " %d Hz %.1f", f, rx.ImageRejection(f));
        line += text;
    }
    return line;
}

}  // namespace

// Cards over a range of imbalances, delays and offsets: after 10 s of a band
// with stations every carrier's image is at least 60 dB down, and the centre
// spike is at the noise floor after 1 s and stays there.
TEST(InputCorrection, StationsTeachSixtyDbWithinTenSecondsAndTheCentreIsClean)
{
    const tools::CardFaults cards[] = {
        {1.0, 3.0, 0.1, -40.0},  {-0.5, -2.0, -0.05, -55.0}, {1.5, 5.0, 0.15, -30.0},
        {0.0, 0.0, 0.1, -300.0}, {0.3, -1.0, 0.0, -40.0},
    };
    for (const auto& card : cards) {
        SCOPED_TRACE(Describe(card));
        Band band(card, kOffsets);
        Receiver rx;
        rx.Run(band, 20);
        EXPECT_LT(rx.CentreOverFloor(), 6.0) << "after 1 s";
        std::printf("%s\n  image rejection at  1 s:%s\n", Describe(card).c_str(),
                    Rejections(rx).c_str());
        rx.Run(band, 80);
        std::printf("  image rejection at  5 s:%s\n", Rejections(rx).c_str());
        rx.Run(band, 100);
        std::printf("  image rejection at 10 s:%s\n", Rejections(rx).c_str());
        for (const int32_t f : kOffsets)
            EXPECT_GE(rx.ImageRejection(f), 60.0) << "offset " << f;
        EXPECT_LT(rx.CentreOverFloor(), 6.0) << "after 10 s";
    }
}

// The same cards uncorrected: the images the test above removes are there.
TEST(InputCorrection, WithoutCorrectionTheCardsShowTheirImagesAndSpike)
{
    Band band({1.0, 3.0, 0.1, -40.0}, kOffsets);
    Receiver rx(0, false);
    rx.Run(band, 20);
    for (const int32_t f : kOffsets)
        EXPECT_LT(rx.ImageRejection(f), 30.0) << "offset " << f;
    EXPECT_GT(rx.CentreOverFloor(), 40.0);
}

// Band noise alone teaches a gain and phase imbalance: a model learned over
// 60 s of noise, given to a band whose stations then come up, holds their
// images 50 dB down from the first blocks.
TEST(InputCorrection, NoiseAloneTeachesFiftyDbWithinAMinute)
{
    const tools::CardFaults cards[] = {{1.0, 3.0, 0.0, -40.0}, {-1.5, -4.0, 0.0, -300.0}};
    for (const auto& card : cards) {
        SCOPED_TRACE(Describe(card));
        Band noise(card, {}, 30.0);
        Receiver learner;
        learner.Run(noise, 1200);
        Band stations(card, kOffsets);
        Receiver rx;
        rx.chain->LoadIqBalance(learner.chain->IqBalanceModel());
        rx.Run(stations, 1);
        rx.recent.clear();  // the frames' start
        rx.Run(stations, 2);
        for (const int32_t f : kOffsets)
            EXPECT_GE(rx.ImageRejection(f), 50.0) << "offset " << f;
    }
}

// A perfect card is left alone: no image comes up above -70 dB, the carriers
// keep their level within 0.1 dB, and the centre stays at the floor.
TEST(InputCorrection, APerfectInputIsLeftAlone)
{
    Band plainBand({}, kOffsets);
    Band band({}, kOffsets);
    Receiver plain(0, false);
    Receiver rx;
    plain.Run(plainBand, 200);
    rx.Run(band, 200);
    for (const int32_t f : kOffsets) {
        EXPECT_GE(rx.ImageRejection(f), 70.0) << "offset " << f;
        EXPECT_NEAR(rx.Db(BinOf(f), 1), plain.Db(BinOf(f), 1), 0.1) << "offset " << f;
    }
    EXPECT_LT(rx.CentreOverFloor(), 6.0);
}

// DC removal alone: a carrier 50 Hz from the centre keeps its level within
// 0.1 dB of a clean card's.
TEST(InputCorrection, DcRemovalSparesASignalFiftyHzOut)
{
    Band band({0.0, 0.0, 0.0, -40.0}, {50}), plainBand({}, {50});
    Receiver rx(0, true), plain(0, false);
    rx.Run(band, 20);
    plain.Run(plainBand, 20);
    // The carrier's bins (46.9 and 70.3 Hz); the spike's Hann window leaves them alone.
    for (const double hz : {46.875, 70.3125})
        EXPECT_NEAR(rx.Db(BinOf(hz), 0), plain.Db(BinOf(hz), 0), 0.1) << hz;
}

// A band's model, loaded as a return to a known band loads it, corrects its
// stations from the first blocks, where a fresh start has not yet learned.
TEST(InputCorrection, AKnownBandStartsCorrected)
{
    // No DC here: the DC removal's own start (26 ms) would blur the first blocks.
    const tools::CardFaults card{1.0, 3.0, 0.1, -300.0};
    Band teach(card, kOffsets);
    Receiver learner;
    learner.Run(teach, 200);
    const std::vector<int32_t>& others = kOffsets;
    Band band(card, others);
    Receiver fresh, known;
    known.chain->ResetIqBalance();
    known.chain->LoadIqBalance(learner.chain->IqBalanceModel());
    Band freshBand(card, others);
    // The first block holds the frames' start (the correction's latency).
    for (Receiver* rx : {&known, &fresh}) {
        rx->Run(rx == &known ? band : freshBand, 1);
        rx->recent.clear();
    }
    known.Run(band, 2);
    fresh.Run(freshBand, 2);
    std::printf("known at 0.15 s:%s\nfresh at 0.15 s:%s\n", Rejections(known).c_str(),
                Rejections(fresh).c_str());
    for (const int32_t f : others) {
        EXPECT_GE(known.ImageRejection(f), 55.0) << "offset " << f;
        EXPECT_LT(fresh.ImageRejection(f), known.ImageRejection(f) - 10.0) << "offset " << f;
    }
}

// The manual balance with the card's own figures undoes a card without delay.
TEST(InputCorrection, ManualBalanceWithTheCardsFigures)
{
    const tools::CardFaults card{1.0, 3.0, 0.0, -300.0};
    Band band(card, kOffsets);
    Receiver rx(2, false);
    rx.c.IQCorrGain = 100;
    rx.c.IQCorrPhase = 300;
    rx.Run(band, 4);
    for (const int32_t f : kOffsets)
        EXPECT_GE(rx.ImageRejection(f), 60.0) << "offset " << f;
}
