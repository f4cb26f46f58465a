// The batched sines and cosines against core_sin / core_cos word for word:
// random floats of every size, the floats nearest the multiples of pi/2 (where
// the fast evaluation must give way), the range ends, zeros, subnormals,
// infinities and NaN, every count and the result written over its input.
#include "core/core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

uint32_t bits(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

float from_bits(uint32_t b)
{
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

void expect_both_match(const std::vector<float>& x)
{
    std::vector<float> s(x.size()), c(x.size());
    core_sin_array(x.data(), s.data(), static_cast<int32_t>(x.size()));
    core_cos_array(x.data(), c.data(), static_cast<int32_t>(x.size()));
    for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_EQ(bits(s[i]), bits(core_sin(x[i]))) << "sin of " << x[i] << " (word " << bits(x[i]) << ")";
        ASSERT_EQ(bits(c[i]), bits(core_cos(x[i]))) << "cos of " << x[i] << " (word " << bits(x[i]) << ")";
    }
}

} // namespace

TEST(TrigArrays, RandomFloatsOfEverySizeMatchTheCalls)
{
    std::vector<float> x;
    uint32_t s = 99u;
    for (int i = 0; i < 400000; ++i) {
        s = s * 1664525u + 1013904223u;
        // Every exponent from 2^-20 to 2^20, either sign, any mantissa.
        const uint32_t exponent = 107u + (s >> 27) % 41u;
        x.push_back(from_bits((s & 0x80000000u) | exponent << 23 | (s * 2654435761u) >> 9));
    }
    for (int i = 0; i < 200000; ++i) {
        s = s * 1664525u + 1013904223u;
        x.push_back(static_cast<float>(s >> 8) / 16777216.0f * 12.0f - 6.0f); // the angles scenes use
    }
    expect_both_match(x);
}

TEST(TrigArrays, NearMultiplesOfHalfPiAndAtTheEdgesMatchTheCalls)
{
    std::vector<float> x;
    for (int k = -4000; k <= 4000; ++k) {
        const float near = static_cast<float>(k * 1.5707963267948966);
        uint32_t b = bits(near);
        for (uint32_t d = 0; d < 5; ++d) {
            x.push_back(from_bits(b + d));
            x.push_back(from_bits(b - d));
        }
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (float edge : {0.0f, -0.0f, 1e-40f, -1e-40f, 0x1p-10f, -0x1p-10f, 0x1.fffffep-11f, 0x1p16f, -0x1p16f,
                       0x1.fffffep15f, 1e30f, -1e30f, inf, -inf, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::max(), 1.5707964f, 3.1415927f, 0.7853982f})
        x.push_back(edge);
    expect_both_match(x);
}

TEST(TrigArrays, EveryCountAndInPlace)
{
    for (int32_t count = 0; count < 9; ++count) {
        std::vector<float> x(static_cast<size_t>(count) + 1, 123.0f), out(x.size(), 123.0f);
        for (int32_t i = 0; i < count; ++i)
            x[i] = 0.37f * static_cast<float>(i) - 1.1f;
        core_sin_array(x.data(), out.data(), count);
        for (int32_t i = 0; i < count; ++i)
            ASSERT_EQ(bits(out[i]), bits(core_sin(x[i]))) << count;
        EXPECT_EQ(out[count], 123.0f) << "nothing written past the count";
        std::vector<float> same = x;
        core_cos_array(same.data(), same.data(), count);
        for (int32_t i = 0; i < count; ++i)
            ASSERT_EQ(bits(same[i]), bits(core_cos(x[i]))) << count;
    }
}
