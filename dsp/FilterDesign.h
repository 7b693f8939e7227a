#pragma once

#include "Biquad.h"

namespace dsp {

// Chebyshev type I (1 dB ripple) of even order, kind +1 low-pass or -1
// high-pass, frequencies in kHz. Fills `staging` with the first four sections
// as a1, a2, b0, b1, b2 each (order 8 fills all 20 values) and returns the
// number of sections, order / 2. Orders above 40 are refused (returns 0).
int DesignChebyshev(int order, int kind, double fs, double fc, double staging[20]);

// Convenience for the order-8 designs the chain uses.
void DesignChebyshev8(int kind, double fs, double fc, BiquadSection out[4]);

// Nineteen terms of the series of the modified Bessel function of order zero.
double BesselI0(double x);

// Kaiser-window band-pass of N + 1 taps (N even), edges f1 < f2 in kHz,
// stop-band attenuation a in dB. Equal edges give all-zero taps.
void DesignKaiserFir(int n, double fs, double f1, double f2, double a, double* taps);

// The Kaiser parameter for a stop-band attenuation in dB.
double KaiserBeta(double a);

}  // namespace dsp
