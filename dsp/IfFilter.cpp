#include "IfFilter.h"

#include "FilterDesign.h"

namespace dsp {

void IfFilter::Design(int widthHz)
{
    DesignChebyshev8(+1, 48.0, widthHz * 0.0005, sections_);
    Reset();
}

void IfFilter::Reset()
{
    for (auto& channel : state_)
        for (BiquadState& s : channel)
            s = {};
}

}  // namespace dsp
