#pragma once

#include "FastMath.h"
#include "Vector.h"

namespace dsp {

// CW and the sidebands: the AGC output turned up by the BFO and its real part
// taken, r = Q sin(psi) - I cos(psi), times the audio gain. In CW the BFO runs
// at the beat note, in the sidebands at the half IF width, so that the band
// comes out as 0 .. IFWidth Hz of audio (inverted in LSB). The BFO's phases
// come from the oscillators; this stage works on batches of eight in three
// short stages (sines and cosines, then the product).
class ProductDemodulator {
public:
    static constexpr double kGain = 10.0;
    static constexpr int kBatch = 8;
    static constexpr int kStages = 3;

    ProductDemodulator(const double* bfoAt, const double* i, const double* q, double* audio)
        : bfoAt_(bfoAt)
        , i_(i)
        , q_(q)
        , audio_(audio)
    {}

    // Stage `stage` of the batch of samples m0 .. m0 + 7.
    [[gnu::always_inline]] void Stage(int stage, int m0)
    {
        using V = fastmath::SinCosx8::V;
        V sn, cs;
        if (!sc_.Stage(stage, bfoAt_ + m0, sn, cs))
            return;
        const V i = simd::Load<V>(i_ + m0);
        const V q = simd::Load<V>(q_ + m0);
        simd::Store(audio_ + m0, kGain * (q * sn - i * cs));
    }

private:
    fastmath::SinCosx8 sc_;
    const double* const bfoAt_;
    const double* const i_;
    const double* const q_;
    double* const audio_;
};

}  // namespace dsp
