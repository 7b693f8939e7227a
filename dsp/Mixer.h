#pragma once

#include "Choices.h"
#include "Constants.h"
#include "FastMath.h"
#include "Vector.h"

#include <cstdint>

namespace dsp {

// The beat note at which CW is heard: the BFO turns the signal up by this.
inline constexpr double kCwBeatHz = 800.0;

// One step of an oscillator phase, kept within [0, 2*pi). The additions stay
// strictly sequential, so the phase is bit-exact with a sample-by-sample
// oscillator. The wrap is a select: inside the front-end loop a mispredicted
// wrap would discard several samples' work. Below zero (a negative offset)
// the phase is brought back up, or a long run would lose precision.
inline double PhaseStep(double phase, double inc)
{
    phase += inc;
    const double down = phase - fastmath::kTwoPi, up = phase + fastmath::kTwoPi;
    return phase >= fastmath::kTwoPi ? down : (phase < 0.0 ? up : phase);
}

// Two oscillators' steps as the lanes of one vector: each lane performs
// PhaseStep's operations, so the phases are the same.
inline simd::V2 PhaseStep(simd::V2 phase, simd::V2 inc)
{
    phase += inc;
    const simd::V2 down = phase - fastmath::kTwoPi, up = phase + fastmath::kTwoPi;
    return phase >= fastmath::kTwoPi ? down : (phase < 0.0 ? up : phase);
}

// The tuning oscillator, which brings the wanted signal to zero, and the BFO
// of CW and the sidebands. Their phases are never reset.
class Oscillators {
public:
    // Phase steps per sample.
    static double TuneIncrement(int32_t freqTune, int32_t ssbShift)
    {
        return fastmath::kTwoPi * (freqTune + ssbShift) / kSampleRate;
    }
    // The BFO: the beat note in CW, the half IF width in the sidebands.
    static double BfoIncrement(Mode rxMode, int32_t ssbShift)
    {
        return rxMode == Mode::Cw ? kCwBfoStep : fastmath::kTwoPi * ssbShift / kSampleRate;
    }

    double TunePhase() const { return tune_; }
    double BfoPhase() const { return bfo_; }

    // The phases of one block, written sample by sample: Step(n) leaves the
    // phase of sample n in tuneAt[n] (and with the BFO in bfoAt[n]). With
    // the BFO both oscillators step as the two lanes of one vector.
    template <bool Bfo>
    class Run {
    public:
        Run(Oscillators& o, double tuneInc, double bfoInc, double* tuneAt, double* bfoAt)
            : o_(o)
            , tune_(o.tune_)
            , tuneInc_(tuneInc)
            , both_{o.tune_, o.bfo_}
            , bothInc_{tuneInc, bfoInc}
            , tuneAt_(tuneAt)
            , bfoAt_(bfoAt)
        {}
        [[gnu::always_inline]] void Step(int n)
        {
            if constexpr (Bfo) {
                both_ = PhaseStep(both_, bothInc_);
                tuneAt_[n] = both_[0];
                bfoAt_[n] = both_[1];
            } else {
                tuneAt_[n] = tune_ = PhaseStep(tune_, tuneInc_);
            }
        }
        void Finish()
        {
            if constexpr (Bfo) {
                o_.tune_ = both_[0];
                o_.bfo_ = both_[1];
            } else {
                o_.tune_ = tune_;
            }
        }

    private:
        Oscillators& o_;
        double tune_;
        const double tuneInc_;
        simd::V2 both_;
        const simd::V2 bothInc_;
        double* const tuneAt_;
        double* const bfoAt_;
    };

private:
    static constexpr double kCwBfoStep = fastmath::kTwoPi * kCwBeatHz / kSampleRate;
    static_assert(kCwBfoStep == 0.10471975511965978);

    double tune_ = 0.0;
    double bfo_ = 0.0;
};

// The tuning mixer, eight samples at a time in three short stages (the
// oscillator's sines and cosines, then the products), so that a loop can run
// one stage per iteration beside its serial work:
//   I' = Q sin(phi) - I cos(phi),  Q' = Q cos(phi) + I sin(phi).
class TuningMixer {
public:
    static constexpr int kBatch = 8;
    static constexpr int kStages = 3;

    TuningMixer(const double* tuneAt, const double* rawI, const double* rawQ, double* i, double* q)
        : tuneAt_(tuneAt)
        , rawI_(rawI)
        , rawQ_(rawQ)
        , i_(i)
        , q_(q)
    {}

    // Stage `stage` of the batch of samples m0 .. m0 + 7.
    [[gnu::always_inline]] void Stage(int stage, int m0)
    {
        using V = fastmath::SinCosx8::V;
        V sn, cs;
        if (!sc_.Stage(stage, tuneAt_ + m0, sn, cs))
            return;
        const V i = simd::Load<V>(rawI_ + m0);
        const V q = simd::Load<V>(rawQ_ + m0);
        simd::Store(i_ + m0, q * sn - i * cs);
        simd::Store(q_ + m0, q * cs + i * sn);
    }

private:
    fastmath::SinCosx8 sc_;
    const double* const tuneAt_;
    const double* const rawI_;
    const double* const rawQ_;
    double* const i_;
    double* const q_;
};

}  // namespace dsp
