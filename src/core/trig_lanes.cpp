// Sines and cosines of many floats at once, each equal bit for bit to
// core_sin / core_cos of the same float: a two-lane double evaluation whose
// result is kept only where its whole error interval rounds to one float, the
// library call everywhere else. Relies on core.h and the SSE2 intrinsics.
#include "core/core.h"

#include <emmintrin.h>

#include <cstring>

namespace
{

// pi/2 as a 33-bit head (k times it is exact for |k| < 2^20) and the rest.
constexpr double TWO_OVER_PI = 0.63661977236758134308;
constexpr double HALF_PI_HEAD = 1.57079632673412561417e+00;
constexpr double HALF_PI_TAIL = 6.07710050650619224932e-11;
// Adding then subtracting 1.5 * 2^52 rounds to the nearest integer, which
// the low word of the sum then holds.
constexpr double ROUNDER = 6755399441055744.0;

// Taylor coefficients: sin r = r + r^3 (S0 + S1 r^2 + ...), cos r = 1 + r^2
// (C0 + C1 r^2 + ...). On |r| <= pi/4 the first neglected terms are below
// 3e-14 (2^-44) of the result.
constexpr double S[6] = {-1.0 / 6.0,     1.0 / 120.0,       -1.0 / 5040.0,
                         1.0 / 362880.0, -1.0 / 39916800.0, 1.0 / 6227020800.0};
constexpr double C[7] = {-1.0 / 2.0,       1.0 / 24.0,        -1.0 / 720.0,        1.0 / 40320.0,
                         -1.0 / 3628800.0, 1.0 / 479001600.0, -1.0 / 87178291200.0};

// The evaluation's error is below 2^-44 of the result plus 2^-69 (reducing a
// float below 2^16 with the two-part pi/2), and the library's double result
// is within a few double units of the true value: both lie within
// MARGIN = 2^-40 |y| + 2^-60 of y, so where y - MARGIN and y + MARGIN round to
// the same float, both round to it (rounding is monotonic).
constexpr double MARGIN_RELATIVE = 9.094947017729282e-13; // 2^-40
constexpr double MARGIN_ABSOLUTE = 8.673617379884035e-19; // 2^-60

// Two floats' sines (quadrant_shift 0) or cosines (1) in double lanes, and
// which lanes may keep them (bit k set for lane k).
int two_lanes(__m128d x, int quadrant_shift, __m128* out)
{
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d t = _mm_add_pd(_mm_mul_pd(x, _mm_set1_pd(TWO_OVER_PI)), _mm_set1_pd(ROUNDER));
    const __m128d k = _mm_sub_pd(t, _mm_set1_pd(ROUNDER));
    const __m128d r = _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(k, _mm_set1_pd(HALF_PI_HEAD))),
                                 _mm_mul_pd(k, _mm_set1_pd(HALF_PI_TAIL)));
    const __m128d z = _mm_mul_pd(r, r);
    __m128d ps = _mm_set1_pd(S[5]);
    for (int i = 4; i >= 0; --i)
        ps = _mm_add_pd(_mm_mul_pd(ps, z), _mm_set1_pd(S[i]));
    const __m128d sine = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, z), ps));
    __m128d pc = _mm_set1_pd(C[6]);
    for (int i = 5; i >= 0; --i)
        pc = _mm_add_pd(_mm_mul_pd(pc, z), _mm_set1_pd(C[i]));
    const __m128d cosine = _mm_add_pd(_mm_set1_pd(1.0), _mm_mul_pd(z, pc));
    // Quadrant q = k + shift: odd quadrants take the cosine, quadrants 2 and
    // 3 the negated value. The low 32 bits of t hold k.
    const __m128i q = _mm_add_epi32(_mm_castpd_si128(t), _mm_set1_epi32(quadrant_shift));
    const __m128i q64 = _mm_shuffle_epi32(q, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128d odd =
        _mm_castsi128_pd(_mm_cmpeq_epi32(_mm_and_si128(q64, _mm_set1_epi32(1)), _mm_set1_epi32(1)));
    const __m128d negate =
        _mm_castsi128_pd(_mm_cmpeq_epi32(_mm_and_si128(q64, _mm_set1_epi32(2)), _mm_set1_epi32(2)));
    __m128d y = _mm_or_pd(_mm_and_pd(odd, cosine), _mm_andnot_pd(odd, sine));
    y = _mm_xor_pd(y, _mm_and_pd(negate, sign));
    const __m128d margin = _mm_add_pd(_mm_mul_pd(_mm_andnot_pd(sign, y), _mm_set1_pd(MARGIN_RELATIVE)),
                                      _mm_set1_pd(MARGIN_ABSOLUTE));
    const __m128 low = _mm_cvtpd_ps(_mm_sub_pd(y, margin));
    const __m128 high = _mm_cvtpd_ps(_mm_add_pd(y, margin));
    // Only 2^-10 <= |x| < 2^16: tiny, huge and non-finite arguments (and the
    // zeros with their signs) go to the library.
    const __m128d magnitude = _mm_andnot_pd(sign, x);
    const __m128d usable = _mm_and_pd(_mm_cmpge_pd(magnitude, _mm_set1_pd(0x1p-10)),
                                      _mm_cmplt_pd(magnitude, _mm_set1_pd(0x1p16)));
    *out = low;
    return _mm_movemask_ps(_mm_cmpeq_ps(low, high)) & _mm_movemask_pd(usable) & 3;
}

void trig_array(const float* x, float* out, int32_t count, int quadrant_shift, float (*library)(float))
{
    int32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        __m128 result;
        const int keep = two_lanes(
            _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i)))),
            quadrant_shift, &result);
        float two[4];
        _mm_storeu_ps(two, result);
        out[i] = keep & 1 ? two[0] : library(x[i]);
        out[i + 1] = keep & 2 ? two[1] : library(x[i + 1]);
    }
    for (; i < count; ++i)
        out[i] = library(x[i]);
}

} // namespace

void core_sin_array(const float* x, float* out, int32_t count)
{
    trig_array(x, out, count, 0, core_sin);
}

void core_cos_array(const float* x, float* out, int32_t count)
{
    trig_array(x, out, count, 1, core_cos);
}
