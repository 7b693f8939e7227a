#include "Spectrum.h"
