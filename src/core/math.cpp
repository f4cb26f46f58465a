// Vector math and the numeric helpers of the precision policy (core.h).
#include "core/core.h"

#include <cmath>
#include <cstdint>

float core_sin(float x)
{
    return static_cast<float>(std::sin(static_cast<double>(x)));
}
float core_cos(float x)
{
    return static_cast<float>(std::cos(static_cast<double>(x)));
}
float core_tan(float x)
{
    return static_cast<float>(std::tan(static_cast<double>(x)));
}
float core_pow(float x, float y)
{
    return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y)));
}
float core_acos(float x)
{
    return static_cast<float>(std::acos(static_cast<double>(x)));
}
float core_atan2(float y, float x)
{
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}
float core_exp(float x)
{
    return static_cast<float>(std::exp(static_cast<double>(x)));
}
float core_floor(float x)
{
    return std::floor(x);
}

int32_t float_to_int(float x)
{
    // [-2^31, 2^31) is exactly the range cvttss2si converts; NaN fails both tests.
    if (x >= -2147483648.0f && x < 2147483648.0f)
        return static_cast<int32_t>(x);
    return INT32_MIN;
}

int32_t double_to_int(double x)
{
    if (x > -2147483649.0 && x < 2147483648.0)
        return static_cast<int32_t>(x);
    return INT32_MIN;
}

uint32_t grey(int32_t level)
{
    if (level < 0)
        level = 0;
    if (level > 255)
        level = 255;
    return static_cast<uint32_t>(level) * 0x01010101u;
}

uint32_t add_saturate(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t s = ((a >> shift) & 0xFFu) + ((b >> shift) & 0xFFu);
        if (s > 255u)
            s = 255u;
        out |= s << shift;
    }
    return out;
}
