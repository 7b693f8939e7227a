#include "DcRemoval.h"

#include <cmath>
#include <cstddef>

namespace dsp {

void DcRemoval::Reset()
{
    meanI_ = 0.0;
    meanQ_ = 0.0;
}

void DcRemoval::Process(std::span<double> i, std::span<double> q)
{
    double mi = meanI_;
    double mq = meanQ_;
    for (std::size_t n = 0; n < i.size(); ++n) {
        mi += kRate * (i[n] - mi);
        mq += kRate * (q[n] - mq);
        i[n] -= mi;
        q[n] -= mq;
    }
    // A long stretch of digital silence would leave the means subnormal.
    meanI_ = std::abs(mi) < 1e-100 ? 0.0 : mi;
    meanQ_ = std::abs(mq) < 1e-100 ? 0.0 : mq;
}

}  // namespace dsp
