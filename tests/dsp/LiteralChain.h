#pragma once

// A plain, step-by-step double-precision model of the receiver's block
// pipeline, written for clarity rather than speed and compiled without
// contraction of multiply-adds. The tests use it as the oracle for the
// optimised production chain: both take the same control record and leave
// the same per-block outputs.

#include "dsp/SignalChain.h"

#include <array>
#include <cstdint>

namespace literal {

inline constexpr int kN = 2400;

struct Section {
    double a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
};

struct State {
    double w1 = 0, w2 = 0;
};

double Step(const Section& s, State& st, double x);

// Response of a cascade of sections at f Hz (48000 Hz sampling), in dB.
double CascadeResponseDb(const Section* s, int count, double f);
// Response of an FIR filter at f Hz, in dB.
double FirResponseDb(const double* taps, int count, double f);

// Design routines, written from the formulas.
int Chebyshev(int order, int kind, double fs, double fc, double staging[20]);
double BesselI0(double x);
double KaiserBeta(double a);
void KaiserFir(int n, double fs, double f1, double f2, double a, double* taps);
// The Kaiser prototype without normalisation and without the band shift,
// entries q = 0..n/2 (centre outwards).
void KaiserPrototype(int n, double fs, double f1, double f2, double a, double* half);

double RoundHalfUpValue(double v);  // as a double, before the int16 store
int16_t RoundHalfUp(double v);

// Fixed sections, as printed.
extern const Section kAudioHighPass;
extern const Section kRecCascade[4];
extern const Section kDeemphasis;
extern const Section kNoiseSmoother;
extern const double kNrStart[26];  // centre outwards
extern const double kAnStart[17];
// Weights beyond these restart their filter (a decision of ours).
extern const double kAnWeightLimit;
extern const double kNrWeightLimit;

class Spectrum {
public:
    Spectrum();
    void Analyze(const double* i, const double* q, double* out);
    int rev[2048];

private:
    double w_[2048], cw_[1024], sw_[1024], re_[2048], im_[2048];
};

class LiteralChain {
public:
    explicit LiteralChain(dsp::ChainControls& c);

    void Setup();
    void DesignIFFilter();
    void DesignIFFilterForWidth();
    void DesignAFFilter();
    void SetAGCSpeed();
    void SetVolume();
    void SetInputGain();
    void SetCanceller(bool down);
    void SetNoiseReduction(bool down);
    void ProcessBlock(const int16_t* frames);

    const dsp::BlockOutputs& Outputs() const { return out_; }
    double AGCLevel() const { return agcLevel_; }

    // Internals for the tests.
    Section ifSec[4];
    Section noiseSec[4];
    double afTaps[51] = {};
    double anWeights[2][33] = {};
    double nrWeights[51] = {};
    double rawI[kN] = {}, rawQ[kN] = {};
    double iqAfterAgcI[kN] = {}, iqAfterAgcQ[kN] = {};
    double fmRaw[kN] = {};        // 30 x phase step, before the de-emphasis
    double demod[kN] = {};        // AudioBlock after demodulation
    double sqlNoise[kN] = {};     // the smoothed noise measure (unscaled)
    double sqlDecision[kN] = {};  // offset and scale applied
    double sqlGate[kN] = {};
    double audio[kN] = {};     // AudioBlock after the AF stage (steps 9 and 10 input)
    int16_t recFull[kN] = {};  // RecFeed before the decimation
    double tunePhase = 0, bfoPhase = 0;

private:
    void ClearIFStates();
    void RestartCanceller();
    void RestartNoiseReduction();

    dsp::ChainControls& c_;
    dsp::BlockOutputs out_;

    double agcLevel_ = 1.0;
    State ifSt_[2][4];
    State deemphSt_;
    State noiseSt_[4];
    State smoothSt_;
    State hpSt_;
    State recSt_[4];
    double afDelay_[51] = {};
    double delay3D_[100] = {};
    double thetaPrev_ = 0;
    double theta_[kN] = {};
    bool sqlClosed_ = false;
    double anDelay_[2][20] = {};
    double anRef_[2][33] = {};
    double anErr_[2][kN] = {};
    double nrDelay_[20] = {};
    double nrRef_[51] = {};
    double nrErr_[kN] = {};
    double I_[kN] = {}, Q_[kN] = {};
    double audioBlock_[kN] = {};
    Spectrum spectrum_;
};

}  // namespace literal
