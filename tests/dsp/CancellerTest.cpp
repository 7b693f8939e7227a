// The noise canceller on its own: its prediction and update as the formulas
// give them, and its restart when its weights leave their bound.

#include "dsp/Canceller.h"
#include "tests/dsp/LiteralChain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kN = dsp::kBlockFrames;

// One channel of the canceller as its formulas give it.
struct Channel {
    double w[33], ref[33] = {}, delay[20] = {};
    Channel()
    {
        for (int m = 0; m < 33; ++m)
            w[m] = literal::kAnStart[std::abs(m - 16)];
    }
    double Predict(double x)
    {
        std::copy_backward(delay, delay + 19, delay + 20);
        delay[0] = x;
        std::copy_backward(ref, ref + 32, ref + 33);
        ref[0] = delay[19];
        double y = 0.0;
        for (int m = 0; m < 33; ++m)
            y = y + w[m] * ref[m];
        return x - y;
    }
    void Adapt(double e)
    {
        for (int m = 0; m < 33; ++m)
            w[m] = w[m] + ref[m] * 0.00001 * e;
    }
    bool Astray() const
    {
        return !std::all_of(w, w + 33,
                            [](double v) { return std::fabs(v) <= literal::kAnWeightLimit; });
    }
};

}  // namespace

// Without the AGC's division to keep its updates small, a strong input makes
// the canceller's weights grow without end. It restarts, both channels, at
// the sample the formulas with the restart rule give, and agrees with them
// to the bit throughout; every error stays finite.
TEST(Canceller, RestartsWhereItsWeightsLeaveTheirBound)
{
    auto an = std::make_unique<dsp::Canceller>();
    an->Restart();
    Channel model[2];
    int restarts = 0;
    for (int b = 0; b < 3; ++b) {
        dsp::Canceller::Run run(*an);
        for (int n = 0; n < kN; ++n) {
            const double t = (b * kN + n) / 48000.0;
            const dsp::simd::V2 x = {3000.0 * std::sin(6.283185307179586 * 700.0 * t) + 800.0,
                                     2000.0 * std::cos(6.283185307179586 * 1300.0 * t)};
            const dsp::simd::V2 e = run.Predict(x, n);
            double me[2];
            for (int ch = 0; ch < 2; ++ch) {
                me[ch] = model[ch].Predict(x[ch]);
                ASSERT_EQ(e[ch], me[ch]) << "block " << b << " sample " << n << " channel " << ch;
                ASSERT_TRUE(std::isfinite(e[ch]));
            }
            // The error as the AGC would hand it back at a level of 0.5.
            const dsp::simd::V2 g = e / 0.0625;
            run.Adapt(g, n);
            for (int ch = 0; ch < 2; ++ch)
                model[ch].Adapt(g[ch]);
            if (model[0].Astray() || model[1].Astray()) {
                model[0] = Channel();
                model[1] = Channel();
                ++restarts;
            }
        }
        run.Finish();
        for (int ch = 0; ch < 2; ++ch)
            for (int m = 0; m < dsp::Canceller::kTaps; ++m) {
                ASSERT_EQ(an->Weight(ch, m), model[ch].w[m]);
                ASSERT_LE(std::fabs(an->Weight(ch, m)), dsp::Canceller::kWeightLimit);
            }
    }
    EXPECT_GT(restarts, 3);
}
