// The receiver's IQ balance follows the radio's band: leaving a band it has
// learned keeps its weights in the state (and so in the settings file), and
// coming back loads them.

#include "CoreFixture.h"
#include "ReceiverProbe.h"
#include "ScanAir.h"
#include "dsp/SignalChain.h"

#include <gtest/gtest.h>

#include <complex>

namespace core::test {
namespace {

class IqBandFollowTest : public CoreTest {
protected:
    void Feed(Air& air, int blocks)
    {
        for (int b = 0; b < blocks; ++b, ++block_)
            ReceiverProbe::HandleBlock(*rx_, air.Block(S().FreqCenter, block_));
    }
    int64_t block_ = 0;
};

// Catches: a band's learning lost on a retune, kept after a short visit, or
// not given back on the return.
TEST_F(IqBandFollowTest, ALearnedBandIsKeptAndComesBack)
{
    Started().SetInputCorrections(1, true, 0, 0);  // the automatic balance, chosen
    const dsp::SignalChain& chain = ReceiverProbe::Chain(*rx_);
    Air air{Dir(), {{5019000, dsp::Mode::Cw, 0, 600}, {7107000, dsp::Mode::Cw, 0, 600}}, 600};
    air.card = {"--iq-gain", "1", "--iq-phase", "3", "--iq-delay", "0.1"};
    S().FreqCenter = 7100000;
    Feed(air, 20);  // a short visit
    S().FreqCenter = 5012000;
    Feed(air, 400);
    EXPECT_FALSE(S().IqBands.Find(IqBandMemory::BandOf(7100000)));
    const dsp::IqModel learned = chain.IqBalanceModel();

    S().FreqCenter = 7100000;
    Feed(air, 1);
    const auto kept = S().IqBands.Find(IqBandMemory::BandOf(5012000));
    ASSERT_TRUE(kept);
    for (int k = 0; k < dsp::IqModel::kPoints; ++k)
        ASSERT_EQ(kept->w[k], learned.w[k]) << k;

    // The other band starts over (as another radio path would need); the
    // return brings the kept weights back, one block of learning on top.
    ReceiverProbe::MutableChain(*rx_).ResetIqBalance();
    Feed(air, 2);
    S().FreqCenter = 5012000;
    Feed(air, 1);
    const dsp::IqModel back = chain.IqBalanceModel();
    double moved = 0.0, size = 0.0;
    for (int k = 0; k < dsp::IqModel::kPoints; ++k) {
        moved += std::abs(back.w[k] - learned.w[k]);
        size += std::abs(learned.w[k]);
    }
    EXPECT_LT(moved, 0.05 * size);
}

}  // namespace
}  // namespace core::test
