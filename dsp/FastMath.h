#pragma once

#include "Vector.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

// Branch-free sine/cosine, arctangent and logarithm, accurate to about one unit in the
// last place, written so that loops over blocks vectorise. The library calls
// are exact enough but cost more than the rest of the chain together.
namespace dsp::fastmath {

inline constexpr double kPi = 3.14159265358979311600e+00;
inline constexpr double kTwoPi = 6.28318530717958623200e+00;

// s = sin(phi), c = cos(phi) for phi in [0, 2*pi] (a little outside is fine).
inline void SinCos(double phi, double& s, double& c)
{
    constexpr double twoOverPi = 6.36619772367581382433e-01;
    constexpr double pio2Hi = 1.57079632673412561417e+00;  // 33 bits: k * pio2Hi is exact
    constexpr double pio2Lo = 6.07710050650619224932e-11;
    const int32_t k = static_cast<int32_t>(phi * twoOverPi + 0.5);
    const double kd = static_cast<double>(k);
    const double x = (phi - kd * pio2Hi) - kd * pio2Lo;

    const double z = x * x;
    const double sr = 8.33333333332248946124e-03 +
                      z * (-1.98412698298579493134e-04 +
                           z * (2.75573137070700676789e-06 + z * (-2.50507602534068634195e-08 +
                                                                  z * 1.58969099521155010221e-10)));
    const double sx = x + (z * x) * (-1.66666666666666324348e-01 + z * sr);
    const double cr =
        z * (4.16666666666666019037e-02 +
             z * (-1.38888888888741095749e-03 +
                  z * (2.48015872894767294178e-05 +
                       z * (-2.75573143513906633035e-07 +
                            z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    const double cx = w + (((1.0 - w) - hz) + z * cr);

    const int32_t q = k & 3;
    const double sa = (q & 1) ? cx : sx;
    const double ca = (q & 1) ? sx : cx;
    s = (q & 2) ? -sa : sa;
    c = ((q + 1) & 2) ? -ca : ca;
}

// atan2(y, x) with atan2(0, 0) = 0.
inline double Atan2(double y, double x)
{
    constexpr double aT0 = 3.33333333333329318027e-01, aT1 = -1.99999999998764832476e-01,
                     aT2 = 1.42857142725034663711e-01, aT3 = -1.11111104054623557880e-01,
                     aT4 = 9.09088713343650656196e-02, aT5 = -7.69187620504482999495e-02,
                     aT6 = 6.66107313738753120669e-02, aT7 = -5.83357013379057348645e-02,
                     aT8 = 4.97687799461593236017e-02, aT9 = -3.65315727442169155270e-02,
                     aT10 = 1.62858201153657823623e-02;
    constexpr double atanHalfHi = 4.63647609000806093515e-01,
                     atanHalfLo = 2.26987774529616870924e-17;
    constexpr double atanOneHi = 7.85398163397448278999e-01, atanOneLo = 3.06161699786838301793e-17;
    constexpr double pio2Hi = 1.57079632679489655800e+00, pio2Lo = 6.12323399573676603587e-17;
    constexpr double piHi = 3.14159265358979311600e+00, piLo = 1.22464679914735317720e-16;

    const double ay = std::fabs(y);
    const double ax = std::fabs(x);
    const double num = ay > ax ? ax : ay;
    const double den = ay > ax ? ay : ax;
    const double t = num / (den == 0.0 ? 1.0 : den);  // 0 <= t <= 1

    // Reduce t to |u| < 7/16 around 0, 1/2 or 1, with one division whatever
    // the range so that the function has no branches.
    const double un = t >= 0.6875 ? t - 1.0 : (t >= 0.4375 ? 2.0 * t - 1.0 : t);
    const double ud = t >= 0.6875 ? t + 1.0 : (t >= 0.4375 ? 2.0 + t : 1.0);
    const double u = un / ud;
    const double z = u * u;
    const double w = z * z;
    const double s1 = z * (aT0 + w * (aT2 + w * (aT4 + w * (aT6 + w * (aT8 + w * aT10)))));
    const double s2 = w * (aT1 + w * (aT3 + w * (aT5 + w * (aT7 + w * aT9))));
    const double hi = t >= 0.6875 ? atanOneHi : atanHalfHi;
    const double lo = t >= 0.6875 ? atanOneLo : atanHalfLo;
    const double reduced = hi - ((u * (s1 + s2) - lo) - u);
    double r = t >= 0.4375 ? reduced : u - u * (s1 + s2);

    r = ay > ax ? (pio2Hi - r) + pio2Lo : r;
    r = x < 0.0 ? (piHi - r) + piLo : r;
    r = std::copysign(r, y);
    return den == 0.0 ? 0.0 : r;
}

// SinCos of eight phases at once, in three stages of short latency, for the
// same reason as Atan2x8 below; every lane performs the operations of
// SinCos in the same order, so the values are identical to it.
class SinCosx8 {
public:
    using V = simd::V8;
    using M = simd::M8;

    // Stage 0: phi[0..7] in; the quadrant and the reduced argument.
    [[gnu::always_inline]] void Reduce(const double* phi)
    {
        constexpr double twoOverPi = 6.36619772367581382433e-01;
        constexpr double pio2Hi = 1.57079632673412561417e+00;
        constexpr double pio2Lo = 6.07710050650619224932e-11;
        const V p = simd::Load<V>(phi);
        // Truncation toward zero, as the scalar kernel's conversion to int32
        // (the values are far inside its range).
        k_ = simd::TruncateToInt(p * twoOverPi + 0.5);
        const V kd = simd::ToDouble(k_);
        x_ = (p - kd * pio2Hi) - kd * pio2Lo;
        z_ = x_ * x_;
    }
    // Stage 1: the inner part of both polynomials.
    [[gnu::always_inline]] void PolyInner()
    {
        sr_ = 8.33333333332248946124e-03 +
              z_ * (-1.98412698298579493134e-04 +
                    z_ * (2.75573137070700676789e-06 +
                          z_ * (-2.50507602534068634195e-08 + z_ * 1.58969099521155010221e-10)));
        ci_ = -1.38888888888741095749e-03 +
              z_ * (2.48015872894767294178e-05 +
                    z_ * (-2.75573143513906633035e-07 +
                          z_ * (2.08757232129817482790e-09 + z_ * -1.13596475577881948265e-11)));
    }
    // Stage 2: sine and cosine out.
    [[gnu::always_inline]] void Finish(V& s, V& c) const
    {
        const V sx = x_ + (z_ * x_) * (-1.66666666666666324348e-01 + z_ * sr_);
        const V cr = z_ * (4.16666666666666019037e-02 + z_ * ci_);
        const V hz = 0.5 * z_;
        const V w = 1.0 - hz;
        const V cx = w + (((1.0 - w) - hz) + z_ * cr);
        const M q = k_ & 3;
        const M odd = (q & 1) != 0;
        const V sa = odd ? cx : sx;
        const V ca = odd ? sx : cx;
        s = (q & 2) != 0 ? -sa : sa;
        c = ((q + 1) & 2) != 0 ? -ca : ca;
    }

    // Stage `stage` (0, 1, 2) of the eight phases from phi; the last stage
    // leaves the sines and cosines in s and c and returns true.
    [[gnu::always_inline]] bool Stage(int stage, const double* phi, V& s, V& c)
    {
        if (stage == 0)
            Reduce(phi);
        else if (stage == 1)
            PolyInner();
        else
            Finish(s, c);
        return stage == 2;
    }

private:
    M k_{};
    V x_{}, z_{}, sr_{}, ci_{};
};

// Atan2 of eight pairs at once, in five stages of short latency, so that a
// loop can run one stage per iteration beside its own serial work instead of
// one long chain of dependent operations (two divisions and two polynomials)
// that the processor cannot overlap. Every lane performs the operations of
// Atan2 in the same order, so the angles are identical to it.
class Atan2x8 {
public:
    using V = simd::V8;
    using M = simd::M8;

    // Stage 0: y[0..7], x[0..7] in; the reduced ratio t.
    [[gnu::always_inline]] void Start(const double* y, const double* x)
    {
        y_ = simd::Load<V>(y);
        x_ = simd::Load<V>(x);
        const V ay = simd::Abs(y_), ax = simd::Abs(x_);
        swap_ = ay > ax;
        const V num = swap_ ? ax : ay;
        den_ = swap_ ? ay : ax;
        t_ = num / (den_ == 0.0 ? Splat(1.0) : den_);
    }
    // Stage 1: the argument u around 0, 1/2 or 1.
    [[gnu::always_inline]] void Reduce()
    {
        const M one = t_ >= 0.6875, half = t_ >= 0.4375;
        const V un = one ? t_ - 1.0 : (half ? 2.0 * t_ - 1.0 : t_);
        const V ud = one ? t_ + 1.0 : (half ? 2.0 + t_ : Splat(1.0));
        u_ = un / ud;
    }
    // Stage 2: the inner half of both polynomials.
    [[gnu::always_inline]] void PolyInner()
    {
        z_ = u_ * u_;
        w_ = z_ * z_;
        p1_ = kT6 + w_ * (kT8 + w_ * kT10);
        p2_ = kT5 + w_ * (kT7 + w_ * kT9);
    }
    // Stage 3: the outer half.
    [[gnu::always_inline]] void PolyOuter()
    {
        s1_ = z_ * (kT0 + w_ * (kT2 + w_ * (kT4 + w_ * p1_)));
        s2_ = w_ * (kT1 + w_ * (kT3 + w_ * p2_));
    }
    // Stage 4: back to the full circle; the eight angles out.
    [[gnu::always_inline]] V Finish() const
    {
        constexpr double atanHalfHi = 4.63647609000806093515e-01,
                         atanHalfLo = 2.26987774529616870924e-17;
        constexpr double atanOneHi = 7.85398163397448278999e-01,
                         atanOneLo = 3.06161699786838301793e-17;
        constexpr double pio2Hi = 1.57079632679489655800e+00, pio2Lo = 6.12323399573676603587e-17;
        constexpr double piHi = 3.14159265358979311600e+00, piLo = 1.22464679914735317720e-16;
        const M one = t_ >= 0.6875, half = t_ >= 0.4375;
        const V hi = one ? Splat(atanOneHi) : Splat(atanHalfHi);
        const V lo = one ? Splat(atanOneLo) : Splat(atanHalfLo);
        const V sum = s1_ + s2_;
        const V reduced = hi - ((u_ * sum - lo) - u_);
        V r = half ? reduced : u_ - u_ * sum;
        r = swap_ ? (pio2Hi - r) + pio2Lo : r;
        r = x_ < 0.0 ? (piHi - r) + piLo : r;
        r = simd::CopySign(r, y_);
        return den_ == 0.0 ? Splat(0.0) : r;
    }

private:
    static V Splat(double v) { return simd::Splat8(v); }
    static constexpr double kT0 = 3.33333333333329318027e-01, kT1 = -1.99999999998764832476e-01,
                            kT2 = 1.42857142725034663711e-01, kT3 = -1.11111104054623557880e-01,
                            kT4 = 9.09088713343650656196e-02, kT5 = -7.69187620504482999495e-02,
                            kT6 = 6.66107313738753120669e-02, kT7 = -5.83357013379057348645e-02,
                            kT8 = 4.97687799461593236017e-02, kT9 = -3.65315727442169155270e-02,
                            kT10 = 1.62858201153657823623e-02;
    V y_{}, x_{}, den_{}, t_{}, u_{}, z_{}, w_{}, p1_{}, p2_{}, s1_{}, s2_{};
    M swap_{};
};

// Natural logarithm of a positive finite x (subnormals included), within one
// unit in the last place; the classic reduction to [sqrt(2)/2, sqrt(2)) and
// rational approximation, with both of its final forms computed and one
// selected, so that loops over blocks vectorise.
inline double Log(double x)
{
    constexpr double ln2Hi = 6.93147180369123816490e-01, ln2Lo = 1.90821492927058770002e-10;
    constexpr double lg1 = 6.666666666666735130e-01, lg2 = 3.999999999940941908e-01,
                     lg3 = 2.857142874366239149e-01, lg4 = 2.222219843214978396e-01,
                     lg5 = 1.818357216161805012e-01, lg6 = 1.531383769920937332e-01,
                     lg7 = 1.479819860511658591e-01;
    constexpr double two54 = 1.80143985094819840000e+16;
    // All integer work in 64 bits, so that it vectorises with the doubles.
    const bool sub = x < 2.2250738585072014e-308;
    x = sub ? x * two54 : x;
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    int64_t hx = static_cast<int64_t>(bits >> 32);
    int64_t k = (hx >> 20) - 1023 - (sub ? 54 : 0);
    hx &= 0x000fffff;
    const int64_t i = (hx + 0x95f64) & 0x100000;
    // x or x/2 into [sqrt(2)/2, sqrt(2))
    const uint64_t mbits =
        (static_cast<uint64_t>(hx | (i ^ 0x3ff00000)) << 32) | (bits & 0xffffffffull);
    k += i >> 20;
    const double f = std::bit_cast<double>(mbits) - 1.0;
    const double dk = static_cast<double>(k);
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (lg2 + w * (lg4 + w * lg6));
    const double t2 = z * (lg1 + w * (lg3 + w * (lg5 + w * lg7)));
    const double r = t2 + t1;
    const double hfsq = 0.5 * f * f;
    const double wide = dk * ln2Hi - ((hfsq - (s * (hfsq + r) + dk * ln2Lo)) - f);
    const double narrow = dk * ln2Hi - ((s * (f - r) - dk * ln2Lo) - f);
    return ((hx - 0x6147a) | (0x6b851 - hx)) > 0 ? wide : narrow;
}

}  // namespace dsp::fastmath
