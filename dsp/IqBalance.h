#pragma once

#include <array>
#include <complex>
#include <span>

namespace dsp {

// A smooth fit of the correction's weights over the band: a polynomial in the
// offset x = f / 24 kHz (coefficients of x^0 .. x^5).
struct IqFit {
    static constexpr int kTerms = 6;
    std::array<std::complex<double>, kTerms> c{};
};

// What a band keeps of the card's imbalance: the weight of every bin
// (natural order from the centre); a coarser model is interpolated.
struct IqModel {
    static constexpr int kPoints = 512;
    std::array<std::complex<double>, kPoints> w{};
};

// Blind, frequency-dependent IQ balance. A card's two channels differ in
// gain, phase and time, so every frequency f of the band also shows, weakly,
// as its mirror at -f. The correction adds to each bin k of a short spectrum
// a weight times the conjugate of its mirror bin: y_k = x_k + w_k conj(x_-k),
// one weight per bin, so a delay between the channels (a weight growing with
// the offset) is undone as well as a plain gain or phase error. The
// spectra are overlapped frames (512 points, half a frame apart, sine window
// on both sides, which adds up to exactly the input when the weights are
// zero); the output is the input delayed by kLatency samples.
//
// The weights are learned from what comes out, closed loop. Where one side of
// a mirror pair is far stronger than the other (a station), whatever of it is
// correlated with the weak side is its image: the weak side's weight steps
// against y_k y_-k / |y_strong|^2, averaging at first and then at a small
// fixed step. Where the two are alike (band noise) only the sum of the two
// weights can be seen (the output's correlation with its own mirror,
// E[y_k y_-k], says nothing about how it splits); that is learned from the
// noise smoothed over neighbouring bins. A pair in between (a station's skirt)
// teaches nothing: there the correlation is mostly the weak side's image, and
// taken as the sum's it would walk the strong side's weight away. White band noise cannot show a delay
// between the channels at all (delayed, it is just as white and circular), so
// that part waits for a station, which also means that it does no harm there.
// Bins no station has taught take their weight from a smooth fit (IqFit) over the
// whole band (FillFromModel): a weight that jumps from bin to bin would
// smear a strong station's correction over its neighbours, and a station
// that comes up where none was starts from what the others taught.
// The weights are bounded (an image above -6 dB is no imbalance but a fault),
// so the loop never mirrors the band.
class IqBalance {
public:
    static constexpr int kSize = 512;
    static constexpr int kHop = kSize / 2;
    static constexpr int kLatency = kSize;  // samples from input to output

    IqBalance();

    // Forgets the learned weights and the queued samples.
    void Reset();
    // Clears the queued samples and keeps the weights (a pause in the use).
    void Restart();
    // Corrects a stretch of samples in place, delayed by kLatency, and learns.
    void Process(std::span<double> i, std::span<double> q);

    // The learned weights as a band keeps them, and how much evidence they
    // rest on: frames (94 a second) of a station and of band noise.
    IqModel Model() const;
    double Evidence() const;
    // Weights from a band's model; learning goes on from there.
    void Load(const IqModel& model);

    // The image rejection measured on the stations of the band (strong side
    // over its mirror, in dB), NaN while no station stands well above the
    // noise.
    double ImageRejectionDb() const;
    // The weight of a bin (0 .. kSize-1, natural order), for tests.
    std::complex<double> Weight(int bin) const { return {wRe_[bin], wIm_[bin]}; }

private:
    void Frame();
    void Transform(bool inverse);
    void Correct();
    void Learn();
    void Teach(int bin, double cr, double ci, double strong);
    void LearnNoise();
    void Synthesize();
    IqFit Fit() const;
    void FillFromModel();
    void TaperToNyquist();
    std::array<double, kSize / 2> taper_{};  // the odd part's share per pair

    std::array<double, kSize> window_{};
    std::array<double, kSize> cos_{};  // stage of span s at [s, 2 s): angles pi t / s
    std::array<double, kSize> sin_{};
    std::array<int, kSize> rev_{};

    std::array<double, kSize> inRe_{};  // the last kSize input samples, Q
    std::array<double, kSize> inIm_{};  // and I
    std::array<double, kHop> outRe_{};  // the next kHop output samples
    std::array<double, kHop> outIm_{};
    std::array<double, kSize> olaRe_{};  // overlap-add of the synthesised frames
    std::array<double, kSize> olaIm_{};
    int fill_ = 0;  // samples taken since the last frame

    std::array<double, kSize> re_{};  // the frame's spectrum, then its correction
    std::array<double, kSize> im_{};
    std::array<double, kSize> yRe_{};
    std::array<double, kSize> yIm_{};

    std::array<double, kSize> wRe_{};  // the weights
    std::array<double, kSize> wIm_{};
    std::array<double, kSize> power_{};   // each bin's averaged output power
    std::array<double, kSize> taught_{};  // frames a station taught the bin's weight
    std::array<double, kSize> noiseTaught_{};
    std::array<double, kSize / 2> noiseRe_{};  // this frame's noise evidence per pair
    std::array<double, kSize / 2> noiseIm_{};
    std::array<bool, kSize / 2> noiseOk_{};
    double noiseFrames_ = 0.0;
    IqFit prior_;                // the fit of the band's weights as loaded
    int frames_ = 0;             // frames since the last fill from the model
    double stationPower_ = 0.0;  // averaged, for the measured rejection
    double imagePower_ = 0.0;
};

// The manual balance: the card's I channel taken as gainDb louder than its
// Q channel and phaseDeg ahead of quadrature (I = g (I0 cos p + Q0 sin p)),
// undone sample by sample.
void BalanceManually(std::span<double> i, std::span<double> q, double gainDb, double phaseDeg);

}  // namespace dsp
