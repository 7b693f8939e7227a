#include "Input.h"

#include "Constants.h"

namespace dsp {

void ConvertInput(const int16_t* frames, double gain, bool invertIQ, double* i, double* q)
{
    const int li = invertIQ ? 1 : 0;
    const int lq = 1 - li;
    for (int n = 0; n < kBlockFrames; ++n) {
        i[n] = frames[2 * n + li] * gain;
        q[n] = frames[2 * n + lq] * gain;
    }
}

}  // namespace dsp
