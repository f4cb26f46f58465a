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
float core_sqrt(float x)
{
    return static_cast<float>(std::sqrt(static_cast<double>(x)));
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

void vec3_cubic(const Vec3* a, const Vec3* b, const Vec3* c, const Vec3* d, float t, Vec3* out)
{
    float x = ((a->x * t + b->x) * t + c->x) * t + d->x;
    float y = ((a->y * t + b->y) * t + c->y) * t + d->y;
    float z = ((a->z * t + b->z) * t + c->z) * t + d->z;
    out->x = x;
    out->y = y;
    out->z = z;
}

float vec3_dot(const Vec3* a, const Vec3* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

float vec3_length(const Vec3* v)
{
    float sum = vec3_dot(v, v);
    return core_sqrt(sum);
}

void vec3_cross(const Vec3* a, const Vec3* b, Vec3* out)
{
    // Formed in locals first, so out may also be a or b.
    float x = a->y * b->z - a->z * b->y;
    float y = a->z * b->x - a->x * b->z;
    float z = a->x * b->y - a->y * b->x;
    out->x = x;
    out->y = y;
    out->z = z;
}

void vec3_scale(const Vec3* v, float s, Vec3* out)
{
    out->x = v->x * s;
    out->y = v->y * s;
    out->z = v->z * s;
}

void vec3_div(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x / b->x;
    out->y = a->y / b->y;
    out->z = a->z / b->z;
}

void vec3_sub(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
}

void vec3_add(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x + b->x;
    out->y = a->y + b->y;
    out->z = a->z + b->z;
}

void vec3_reflect(const Vec3* v, const Vec3* n, Vec3* out)
{
    float k = 2.0f * vec3_dot(v, n);
    float nx = n->x, ny = n->y, nz = n->z;
    out->x = v->x - k * nx;
    out->y = v->y - k * ny;
    out->z = v->z - k * nz;
}

void vec3_normalize(const Vec3* v, Vec3* out)
{
    float q = vec3_dot(v, v);
    float f = 0.0f;
    if (q != 0.0f) {
        float root = core_sqrt(q);
        f = 1.0f / root;
    }
    vec3_scale(v, f, out);
}
