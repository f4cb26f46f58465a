// The frame surface pointer, the depth buffer and the specular ramp (frame.h).
#include "core/frame.h"

#include "core/core.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <emmintrin.h>

FrameSurface* screen = nullptr;
DepthBuffer* depth_buffer = nullptr;
uint32_t specular_ramp[256];
constinit thread_local FrameTarget frame_target = {nullptr, nullptr, false};

void frame_write_refused(const char* where)
{
    std::fprintf(stderr, "dunravel: %s wrote the frame while a drawing share was open\n", where);
    std::abort();
}

DepthBuffer* depth_buffer_create(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > (1 << 26))
        return nullptr;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* buffer = static_cast<DepthBuffer*>(std::malloc(sizeof(DepthBuffer) + count * sizeof(int32_t)));
    if (!buffer)
        return nullptr;
    buffer->width = width;
    buffer->height = height;
    buffer->values = reinterpret_cast<int32_t*>(buffer + 1);
    depth_buffer_fill(buffer, DEPTH_CLEAR);
    return buffer;
}

void depth_buffer_fill(DepthBuffer* buffer, int32_t value)
{
    if (buffer)
        depth_buffer_fill_rows(buffer, value, 0, buffer->height);
}

void depth_buffer_fill_rows(DepthBuffer* buffer, int32_t value, int32_t y0, int32_t y1)
{
    if (!buffer)
        return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, buffer->height);
    if (y1 <= y0)
        return;
    size_t count = static_cast<size_t>(buffer->width) * static_cast<size_t>(y1 - y0);
    int32_t* v = buffer->values + static_cast<size_t>(buffer->width) * static_cast<size_t>(y0);
    // Sixteen values a store round; the compiler keeps the plain loop scalar.
    const __m128i four = _mm_set1_epi32(value);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i), four);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i + 4), four);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i + 8), four);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i + 12), four);
    }
    for (; i < count; i++)
        v[i] = value;
}

void depth_buffer_free(DepthBuffer* buffer)
{
    std::free(buffer);
}

void specular_ramp_build()
{
    for (int i = 0; i < 256; i++) {
        float x = static_cast<float>(i) / 128.0f;
        float p = core_pow(x, 16.0f);
        float v = p * 255.0f;
        if (v > 255.0f)
            v = 255.0f;
        specular_ramp[i] = static_cast<uint32_t>(float_to_int(v)) * 0x01010101u;
    }
}
