#include "Agc.h"

namespace dsp {

double Agc::DecayFor(AgcSpeed& choice)
{
    choice = KnownOrFirst(choice);
    switch (choice) {
    case AgcSpeed::Middle: return 0.00003;
    case AgcSpeed::Slow: return 0.00001;
    case AgcSpeed::Fast: break;
    }
    return 0.0001;
}

}  // namespace dsp
