#pragma once

// The production chain and the literal model driven side by side by the same
// blocks and the same operator actions, for the tests that hold the one to the
// other (bit for bit, or to an LSB). The production chain runs either through
// ProcessBlock or as tesmar-demod runs it, in two halves on two threads.

#include "dsp/SignalChain.h"
#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace dsptest {

// The front half of each block on a worker thread while the caller's thread
// runs the back half of the block before, so that a stage shared by the halves
// (a race) or a state the split hands over wrongly shows as a difference from
// the model.

class TwoThreadChain {
public:
    explicit TwoThreadChain(dsp::SignalChain& chain)
        : chain_(chain)
    {}

    // Starts the front half of `frames` beside the back half of the block
    // before. Returns whether `out` now holds that block, with *agcLevel the
    // AGC's level after it.
    bool Push(const int16_t* frames, dsp::BlockOutputs& out, double* agcLevel)
    {
        dsp::ChainHandOver& next = hand_[next_];
        std::thread front([&] { chain_.ProcessFront(frames, next); });
        const bool had = Drain(out, agcLevel);
        front.join();
        level_ = chain_.AGCLevel();
        pending_ = true;
        next_ = 1 - next_;
        return had;
    }

    // The back half of the block still held, if any.
    bool Drain(dsp::BlockOutputs& out, double* agcLevel)
    {
        if (!pending_)
            return false;
        chain_.ProcessBack(hand_[1 - next_], out);
        *agcLevel = level_;
        pending_ = false;
        return true;
    }

private:
    dsp::SignalChain& chain_;
    std::unique_ptr<dsp::ChainHandOver[]> hand_ = std::make_unique<dsp::ChainHandOver[]>(2);
    int next_ = 0;
    bool pending_ = false;
    double level_ = 0.0;
};

// Each mode's station in the test band, with the filters its button selects.
inline constexpr int kTuneFor[5] = {5000, -10000, -3000, -16000, 12000};
inline constexpr dsp::IfChoice kIFFor[5] = {dsp::IfChoice::Khz6, dsp::IfChoice::Khz12,
                                            dsp::IfChoice::Khz0_5, dsp::IfChoice::Khz3,
                                            dsp::IfChoice::Khz3};
inline constexpr dsp::AfChoice kAFFor[5] = {dsp::AfChoice::Khz3, dsp::AfChoice::Khz6,
                                            dsp::AfChoice::Khz3, dsp::AfChoice::Khz3,
                                            dsp::AfChoice::Khz3};

inline void Tune(dsp::ChainControls& c, int mode, int gainPos)
{
    c.RxMode = dsp::FromCode<dsp::Mode>(mode);
    c.FreqTune = kTuneFor[mode];
    c.IFBW = kIFFor[mode];
    c.AFLPF = kAFFor[mode];
    c.GainPos = gainPos;
}

// Both chains with their own controls; a test says in Compare what "the same
// output" means, called once per block with the model's block in lit->Outputs().
class ChainPair {
public:
    dsp::ChainControls cp, cl;
    std::unique_ptr<dsp::SignalChain> prod;
    std::unique_ptr<literal::LiteralChain> lit;
    int blocks = 0, busyBlocks = 0, overBlocks = 0;
    std::string firstMismatch;

    ChainPair(int threads, const std::function<void(dsp::ChainControls&)>& init)
    {
        // The literal model is the chain without the input corrections.
        for (dsp::ChainControls* c : {&cp, &cl}) {
            init(*c);
            c->IQCorr = 0;
            c->DCCorr = false;
        }
        prod = std::make_unique<dsp::SignalChain>(cp);
        lit = std::make_unique<literal::LiteralChain>(cl);
        prod->Setup();
        lit->Setup();
        ExpectSameControls("setup");
        if (threads == 2)
            two_ = std::make_unique<TwoThreadChain>(*prod);
    }
    virtual ~ChainPair() = default;
    ChainPair(const ChainPair&) = delete;
    ChainPair& operator=(const ChainPair&) = delete;

    // Settings change between blocks, with both halves done with the block
    // before: f(controls, chain) runs on each chain in turn.
    template <class F>
    void Both(F f, const char* where = "change")
    {
        Finish();
        f(cp, *prod);
        f(cl, *lit);
        ExpectSameControls(where);
    }
    void Set(const std::function<void(dsp::ChainControls&)>& f)
    {
        Both([&](dsp::ChainControls& c, auto&) { f(c); });
    }
    void DesignIF()
    {
        Both([](auto&, auto& chain) { chain.DesignIFFilter(); }, "IF");
    }
    void DesignAF()
    {
        Both([](auto&, auto& chain) { chain.DesignAFFilter(); }, "AF");
    }
    void AGCSpeed()
    {
        Both([](auto&, auto& chain) { chain.SetAGCSpeed(); }, "AGC");
    }
    void Volume()
    {
        Both([](auto&, auto& chain) { chain.SetVolume(); }, "volume");
    }
    void InputGain()
    {
        Both([](auto&, auto& chain) { chain.SetInputGain(); }, "input gain");
    }
    void AN(bool on)
    {
        Both([on](auto&, auto& chain) { chain.SetCanceller(on); }, "AN");
    }
    void NR(bool on)
    {
        Both([on](auto&, auto& chain) { chain.SetNoiseReduction(on); }, "NR");
    }

    // A mode button: mode, its default filters, SSBShift 0 outside the sidebands.
    void Mode(int mode)
    {
        Set([&](dsp::ChainControls& c) {
            c.RxMode = dsp::FromCode<dsp::Mode>(mode);
            c.IFBW = kIFFor[mode];
            c.AFLPF = kAFFor[mode];
            if (!dsp::IsSideband(c.RxMode))
                c.SSBShift = 0;
        });
        DesignIF();
        DesignAF();
    }

    void Run(const Block& in)
    {
        if (!two_) {
            prod->ProcessBlock(in.data());
            lit->ProcessBlock(in.data());
            Count(prod->Outputs(), prod->AGCLevel());
            return;
        }
        double level = 0.0;
        if (two_->Push(in.data(), *twoOut_, &level)) {
            lit->ProcessBlock(held_.data());
            Count(*twoOut_, level);
        }
        held_ = in;
    }

    // Runs the back half still held; call before reading the results.
    void Finish()
    {
        double level = 0.0;
        if (two_ && two_->Drain(*twoOut_, &level)) {
            lit->ProcessBlock(held_.data());
            Count(*twoOut_, level);
        }
    }

    void Note(const std::string& what)
    {
        if (firstMismatch.empty())
            firstMismatch = "block " + std::to_string(blocks) + ": " + what;
    }

protected:
    // The production chain's block and its AGC level after it.
    virtual void Compare(const dsp::BlockOutputs& a, double agcLevel) = 0;

private:
    void Count(const dsp::BlockOutputs& a, double agcLevel)
    {
        Compare(a, agcLevel);
        busyBlocks += lit->Outputs().SqlBusy;
        overBlocks += lit->Outputs().AudioOver;
        ++blocks;
    }

    void ExpectSameControls(const char* where)
    {
        EXPECT_EQ(cp.RxMode, cl.RxMode) << where;
        EXPECT_EQ(cp.IFBW, cl.IFBW) << where;
        EXPECT_EQ(cp.IFWidth, cl.IFWidth) << where;
        EXPECT_EQ(cp.SSBShift, cl.SSBShift) << where;
        EXPECT_EQ(cp.AFLPF, cl.AFLPF) << where;
        EXPECT_EQ(cp.AFLow, cl.AFLow) << where;
        EXPECT_EQ(cp.AFHigh, cl.AFHigh) << where;
        EXPECT_EQ(cp.AGC, cl.AGC) << where;
        EXPECT_EQ(cp.AGCDecay, cl.AGCDecay) << where;
        EXPECT_EQ(cp.VolGain, cl.VolGain) << where;
        EXPECT_EQ(cp.InGain, cl.InGain) << where;
        EXPECT_EQ(cp.DSPAN, cl.DSPAN) << where;
        EXPECT_EQ(cp.DSPNR, cl.DSPNR) << where;
    }

    std::unique_ptr<TwoThreadChain> two_;  // null: ProcessBlock on one thread
    std::unique_ptr<dsp::BlockOutputs> twoOut_ = std::make_unique<dsp::BlockOutputs>();
    Block held_;  // the block whose back half is still to run
};

}  // namespace dsptest
