// The noise reduction: what it does with silence, and how it restarts when
// its weights diverge, on its own and in the chain.

#include "dsp/NoiseReduction.h"
#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kN = dsp::kBlockFrames;

// The enhancer as its formulas give it, sample by sample, with the restart
// rule: a weight beyond the bound after an update restarts it before the
// next sample. Returns the samples after which it restarted.
class Model {
public:
    Model() { Restart(); }
    std::vector<int> Process(double* audio, int block)
    {
        std::vector<int> restarts;
        for (int n = 0; n < kN; ++n) {
            const double x = std::clamp(audio[n], -30000.0, 30000.0);
            std::copy_backward(delay_, delay_ + 19, delay_ + 20);
            delay_[0] = x;
            std::copy_backward(ref_, ref_ + 50, ref_ + 51);
            ref_[0] = delay_[10];
            double y = 0.0;
            for (int j = 0; j < 51; ++j)
                y = y + w_[j] * ref_[j];
            audio[n] = y;
            const double e = x - y;
            bool astray = false;
            for (int j = 0; j < 51; ++j) {
                w_[j] = w_[j] + ref_[j] * 0.00001 * e;
                astray = astray || !(std::fabs(w_[j]) <= literal::kNrWeightLimit);
            }
            if (astray) {
                Restart();
                restarts.push_back(block * kN + n);
            }
        }
        return restarts;
    }

private:
    void Restart()
    {
        for (int j = 0; j < 51; ++j)
            w_[j] = literal::kNrStart[std::abs(j - 25)];
        std::fill(std::begin(ref_), std::end(ref_), 0.0);
        std::fill(std::begin(delay_), std::end(delay_), 0.0);
    }
    double w_[51], ref_[51], delay_[20];
};

}  // namespace

TEST(NoiseReduction, SilenceGivesSilenceAndLeavesTheWeights)
{
    auto nr = std::make_unique<dsp::NoiseReduction>();
    nr->Restart();
    std::vector<double> audio(kN, 0.0);
    for (int b = 0; b < 3; ++b) {
        nr->Process(audio.data());
        for (double v : audio)
            ASSERT_EQ(v, 0.0);
    }
    for (int j = 0; j < dsp::NoiseReduction::kTaps; ++j)
        EXPECT_EQ(nr->Weight(j), literal::kNrStart[std::abs(j - 25)]) << j;
}

// A steady envelope (an AM carrier's, with some modulation) is too strong
// for the enhancer's step: its weights diverge within a few milliseconds,
// again and again. It restarts at the very sample the formulas with the
// restart rule give, every sample stays finite and every weight within the
// bound, and between the restarts it predicts as the formulas do.
TEST(NoiseReduction, RestartsWhereItsWeightsLeaveTheirBound)
{
    auto nr = std::make_unique<dsp::NoiseReduction>();
    nr->Restart();
    Model model;
    std::vector<int> restarts;
    for (int b = 0; b < 4; ++b) {
        std::vector<double> a(kN), m(kN);
        for (int n = 0; n < kN; ++n)
            a[n] = m[n] =
                70.0 + 35.0 * std::cos(6.283185307179586 * 1000.0 * (b * kN + n) / 48000.0);
        nr->Process(a.data());
        const std::vector<int> r = model.Process(m.data(), b);
        restarts.insert(restarts.end(), r.begin(), r.end());
        for (int n = 0; n < kN; ++n) {
            ASSERT_TRUE(std::isfinite(a[n])) << b << " " << n;
            ASSERT_NEAR(a[n], m[n], 1e-9 * (1.0 + std::fabs(m[n])))
                << "block " << b << " sample " << n;
        }
        for (int j = 0; j < dsp::NoiseReduction::kTaps; ++j)
            ASSERT_LE(std::fabs(nr->Weight(j)), dsp::NoiseReduction::kWeightLimit);
    }
    EXPECT_GT(restarts.size(), 20u);
}

TEST(NoiseReduction, NrOnZerosGivesZeros)
{
    dsptest::Rx rx([](dsp::ChainControls& c) { c.GainPos = 100; });
    rx.chain->SetNoiseReduction(true);
    EXPECT_TRUE(rx.c.DSPNR);
    auto blk = dsptest::MakeBlock();
    for (int b = 0; b < 3; ++b)
        for (int16_t v : rx.Run(blk).OutFrames)
            ASSERT_EQ(v, 0);
}

// The enhancer on a strong AM carrier: its step is too large for the
// carrier's level, so its weights diverge within a few blocks. It restarts
// instead: every sample stays finite, the audio never falls silent for good,
// and once "NR" is released the receiver sounds as if it had never been on.
TEST(NoiseReduction, NrOnAStrongCarrierNeverSilencesTheReceiver)
{
    for (const double amp : {3000.0, 8000.0}) {
        dsptest::Rx rx([](dsp::ChainControls& c) { c.GainPos = -100; });
        dsptest::Rx plain([](dsp::ChainControls& c) { c.GainPos = -100; });
        rx.chain->SetNoiseReduction(true);
        long t = 0;
        int silentBlocks = 0;
        for (int b = 0; b < 60; ++b, t += 2400) {
            const auto blk = dsptest::AmCarrierBlock(t, amp);
            plain.Run(blk);
            const auto& o = rx.Run(blk);
            for (double v : o.AGCTrace)
                ASSERT_TRUE(std::isfinite(v)) << amp << " block " << b;
            silentBlocks = dsptest::Rms(o.OutFrames.data(), 0) < 1.0 ? silentBlocks + 1 : 0;
            ASSERT_LT(silentBlocks, 10) << amp << " block " << b;
        }
        rx.chain->SetNoiseReduction(false);
        for (int b = 0; b < 20; ++b, t += 2400) {
            const auto blk = dsptest::AmCarrierBlock(t, amp);
            const double want = dsptest::Rms(plain.Run(blk).OutFrames.data(), 0);
            const double got = dsptest::Rms(rx.Run(blk).OutFrames.data(), 0);
            if (b >= 4) {
                EXPECT_NEAR(got, want, 0.02 * want) << amp << " block " << b;
            }
        }
    }
}
