#pragma once

#include "Constants.h"

#include <array>

namespace dsp {

// 2048-point log-magnitude spectrum of the complex input Q + jI, in natural
// bin order: bin k < 1024 lies k * 23.4375 Hz above the centre, the others
// (k - 2048) * 23.4375 Hz. Values are 20 * ln|X|; a bin whose real or
// imaginary part is exactly zero gives 0. Tables are built once.
class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    // i and q hold at least 2048 samples; only the first 2048 are used.
    void Analyze(const double* i, const double* q, double* out);

    int Rev(int p) const { return rev_[p]; }

private:
    void WideStages();
    void LastThreeStages();
    void Levels();

    alignas(64) std::array<double, kSpectrumSize> window_;
    alignas(64) std::array<double, kSpectrumSize / 2> cw_;
    alignas(64) std::array<double, kSpectrumSize / 2> sw_;
    alignas(64) std::array<double, kSpectrumSize> stageCos_;  // per-stage twiddles
    alignas(64) std::array<double, kSpectrumSize> stageSin_;
    std::array<int, kSpectrumSize> rev_;
    alignas(64) std::array<double, kSpectrumSize> re_;
    alignas(64) std::array<double, kSpectrumSize> im_;
    alignas(64) std::array<double, kSpectrumSize> level_;  // in transform order
};

}  // namespace dsp
