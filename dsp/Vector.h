#pragma once

#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

// The vector types of the signal chain, as GCC and Clang both define them,
// and the few operations on them that the language leaves out. Everything
// here is written element by element; both compilers turn each helper into
// one instruction where the processor has it (a lane permute, a fused
// multiply-add, a conversion) and into plain lane-wise code where it has not,
// so the same source builds for a baseline x86-64 and for the build machine.
namespace dsp::simd {

using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));
using V8 = double __attribute__((vector_size(64)));
// Lane masks and integer lanes: a comparison sets a lane to all ones.
using M4 = long long __attribute__((vector_size(32)));
using M8 = long long __attribute__((vector_size(64)));

template <class V>
[[gnu::always_inline]] inline V Load(const double* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void Store(double* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

[[gnu::always_inline]] inline V4 Load4(const double* p) { return Load<V4>(p); }
[[gnu::always_inline]] inline void Store4(double* p, V4 v) { Store(p, v); }

[[gnu::always_inline]] inline V4 Splat4(double v) { return V4{v, v, v, v}; }
[[gnu::always_inline]] inline V8 Splat8(double v) { return V8{v, v, v, v, v, v, v, v}; }

// Fused multiply-add where the processor has it. The library is built without
// automatic fusion (-ffp-contract=off), so the stages that may fuse say so
// with these; without the instruction they round twice, as the plain
// expression does, instead of calling the slow exact library routine.
[[gnu::always_inline]] inline double Fma(double a, double b, double c)
{
#ifdef __FMA__
    return std::fma(a, b, c);
#else
    return a * b + c;
#endif
}

[[gnu::always_inline]] inline V4 Fma(V4 a, V4 b, V4 c)
{
#ifdef __FMA__
    return V4{std::fma(a[0], b[0], c[0]), std::fma(a[1], b[1], c[1]), std::fma(a[2], b[2], c[2]),
              std::fma(a[3], b[3], c[3])};
#else
    return a * b + c;
#endif
}

// f(0), f(1), ... f(N - 1), each index a compile-time constant: a loop body
// repeated, whatever the compiler's unrolling heuristics make of a loop
// whose helpers are written lane by lane.
template <int N, class F>
[[gnu::always_inline]] inline void Unroll(F&& f)
{
    [&]<int... K>(std::integer_sequence<int, K...>) __attribute__((always_inline))
    {
        (f(std::integral_constant<int, K>{}), ...);
    }
    (std::make_integer_sequence<int, N>{});
}

// {first, v[0], ..., v[6]}: each lane takes its left neighbour's value.
[[gnu::always_inline]] inline V8 ShiftIn(V8 v, double first)
{
    return V8{first, v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
}

// Lane-wise conversions, truncating toward zero as a scalar cast does.
[[gnu::always_inline]] inline M8 TruncateToInt(V8 v)
{
    M8 r;
    for (int i = 0; i < 8; ++i)
        r[i] = static_cast<long long>(v[i]);
    return r;
}

[[gnu::always_inline]] inline V8 ToDouble(M8 v)
{
    V8 r;
    for (int i = 0; i < 8; ++i)
        r[i] = static_cast<double>(v[i]);
    return r;
}

// |v| and copysign(magnitude, sign) lane by lane, on the sign bits.
[[gnu::always_inline]] inline V8 Abs(V8 v)
{
    constexpr long long kMag = 0x7fffffffffffffffll;
    M8 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= kMag;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

[[gnu::always_inline]] inline V8 CopySign(V8 magnitude, V8 sign)
{
    constexpr long long kSign = static_cast<long long>(0x8000000000000000ull);
    M8 m, s;
    std::memcpy(&m, &magnitude, sizeof m);
    std::memcpy(&s, &sign, sizeof s);
    const M8 r = (m & ~kSign) | (s & kSign);
    V8 v;
    std::memcpy(&v, &r, sizeof v);
    return v;
}

}  // namespace dsp::simd
