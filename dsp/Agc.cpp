#include "Agc.h"

namespace dsp {

double Agc::DecayFor(int32_t& choice)
{
    switch (choice) {
    case 1: return 0.00003;
    case 2: return 0.00001;
    default: choice = 0; return 0.0001;
    }
}

}  // namespace dsp
