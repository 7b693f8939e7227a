#include "Enhancer3D.h"

#include "Rounding.h"

#include <cstring>

namespace dsp {

void Enhancer3D::Output(bool on, int16_t* o) const
{
    const double* x = Block();
    if (on) {
        for (int n = 0; n < kBlockFrames; ++n) {
            const double d = x[n - kDelay];
            o[2 * n] = RoundHalfUp((x[n] - 0.5 * d) * kScale);
            o[2 * n + 1] = RoundHalfUp((x[n] + 0.5 * d) * kScale);
        }
    } else {
        for (int n = 0; n < kBlockFrames; ++n)
            o[2 * n] = o[2 * n + 1] = RoundHalfUp(x[n]);
    }
}

void Enhancer3D::EndBlock()
{
    std::memmove(history_, history_ + kBlockFrames, kDelay * sizeof(double));
}

}  // namespace dsp
