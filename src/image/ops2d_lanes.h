// Lane helpers the 2D operations' files share: channels of a pixel, four
// pixels as a vector, and the 8-bit products in 16-bit lanes. Only for
// src/image/ops2d_*.cpp; the public face is ops2d.h.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace ops2d_detail
{

inline uint32_t channel(uint32_t p, int k)
{
    return (p >> (8 * k)) & 0xFF;
}

inline __m128i load4(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store4(uint32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Each 16-bit lane of a pixel's four channels replaced by its alpha lane.
inline __m128i broadcast_alpha16(__m128i v)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
}

// a * b >> 8 on 16-bit lanes holding products below 65536.
inline __m128i mul8(__m128i a, __m128i b)
{
    return _mm_srli_epi16(_mm_mullo_epi16(a, b), 8);
}

// S * w >> 8 on 16-bit lanes from bytes unpacked high (S << 8): the high
// half of (S << 8) * w is exactly S * w >> 8 for S <= 255 and any 16-bit w,
// one multiply instead of a multiply and a shift.
inline __m128i mul8_high(__m128i s_shifted, __m128i w)
{
    return _mm_mulhi_epu16(s_shifted, w);
}

} // namespace ops2d_detail
