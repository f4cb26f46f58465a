// Four-lane SSE2 helpers for the per-vertex and per-triangle loops: gathering
// x, y, z of four records into one register per component and back, and the
// lane forms of vec3_normalize. Every lane runs the scalar code's operations in
// its order (single precision, no contraction), so each lane gives its bits.
// Relies on core.h and the SSE2 intrinsics only.
#pragma once

#include <emmintrin.h>

// Four records' first four floats (p[0..3] each) as four registers of one
// component each: x = (p0[0], p1[0], p2[0], p3[0]) and so on.
struct Lanes4 {
    __m128 x, y, z, w;
};

inline Lanes4 lanes_gather(const float* p0, const float* p1, const float* p2, const float* p3)
{
    __m128 a = _mm_loadu_ps(p0), b = _mm_loadu_ps(p1), c = _mm_loadu_ps(p2), d = _mm_loadu_ps(p3);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    return Lanes4{a, b, c, d};
}

// The inverse of lanes_gather: four floats written at each of p0..p3.
inline void lanes_scatter(Lanes4 v, float* p0, float* p1, float* p2, float* p3)
{
    _MM_TRANSPOSE4_PS(v.x, v.y, v.z, v.w);
    _mm_storeu_ps(p0, v.x);
    _mm_storeu_ps(p1, v.y);
    _mm_storeu_ps(p2, v.z);
    _mm_storeu_ps(p3, v.w);
}

// Three floats written at each of p0..p3 (the fourth float after each is left alone).
inline void lanes_scatter3(__m128 x, __m128 y, __m128 z, float* p0, float* p1, float* p2, float* p3)
{
    __m128 w = _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(x, y, z, w);
    float* out[4] = {p0, p1, p2, p3};
    const __m128 rows[4] = {x, y, z, w};
    for (int k = 0; k < 4; ++k) {
        _mm_storel_pi(reinterpret_cast<__m64*>(out[k]), rows[k]);
        _mm_store_ss(out[k] + 2, _mm_movehl_ps(rows[k], rows[k]));
    }
}

// All ones in the lanes where x is finite (|x| <= the largest float fails for
// infinities and NaN), as std::isfinite says.
inline __m128 lanes_finite(__m128 x)
{
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), x);
    return _mm_cmple_ps(magnitude, _mm_set1_ps(3.40282347e38f));
}

// a.x * b.x + a.y * b.y + a.z * b.z per lane, summed left to right as vec3_dot does.
inline __m128 lanes_dot(__m128 ax, __m128 ay, __m128 az, __m128 bx, __m128 by, __m128 bz)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(ax, bx), _mm_mul_ps(ay, by)), _mm_mul_ps(az, bz));
}

// vec3_normalize's factor per lane: 1 / sqrt(q) where q != 0, else 0. The
// single-precision root equals core_sqrt's double root rounded once to float
// (a double carries more than twice the bits plus two, so the two roundings
// agree), and cmpneq is true for NaN as q != 0 is.
inline __m128 lanes_normalize_factor(__m128 q)
{
    const __m128 f = _mm_div_ps(_mm_set1_ps(1.0f), _mm_sqrt_ps(q));
    return _mm_and_ps(f, _mm_cmpneq_ps(q, _mm_setzero_ps()));
}

// vec3_normalize on four vectors in place.
inline void lanes_normalize(__m128* x, __m128* y, __m128* z)
{
    const __m128 f = lanes_normalize_factor(lanes_dot(*x, *y, *z, *x, *y, *z));
    *x = _mm_mul_ps(*x, f);
    *y = _mm_mul_ps(*y, f);
    *z = _mm_mul_ps(*z, f);
}
