#include "Enhancer3D.h"

#include "Rounding.h"

#include <cstring>

namespace dsp {

namespace {

// The AF stage limits the audio to +-32767, and 1.5 times that scaled by
// kScale stays inside too; the limit here keeps the conversion defined
// whatever reaches it (a NaN fails both comparisons and becomes 0).
[[gnu::always_inline]] inline double Limit(double v)
{
    return v >= -32767.0 ? (v <= 32767.0 ? v : 32767.0) : (v < -32767.0 ? -32767.0 : 0.0);
}

}  // namespace

void Enhancer3D::Output(bool on, int16_t* o) const
{
    const double* x = Block();
    if (on) {
        for (int n = 0; n < kBlockFrames; ++n) {
            const double d = x[n - kDelay];
            o[2 * n] = RoundHalfUp(Limit((x[n] - 0.5 * d) * kScale));
            o[2 * n + 1] = RoundHalfUp(Limit((x[n] + 0.5 * d) * kScale));
        }
    } else {
        for (int n = 0; n < kBlockFrames; ++n)
            o[2 * n] = o[2 * n + 1] = RoundHalfUp(Limit(x[n]));
    }
}

void Enhancer3D::EndBlock()
{
    std::memmove(history_, history_ + kBlockFrames, kDelay * sizeof(double));
}

}  // namespace dsp
