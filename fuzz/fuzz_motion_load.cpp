// libFuzzer target: the LWMO motion reader and envelope evaluation of every
// channel it loads at a spread of times.
// Relies on lightwave (motion_load_stream, envelope_evaluate).
#include "lightwave/lightwave.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The missing-magic message goes to standard output; keep it quiet.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!file)
        return 0;
    MotionEnvelope** envelopes = nullptr;
    int32_t count = 0;
    if (motion_load_stream(file, "fuzz.mo", &envelopes, &count) == 0) {
        static const float times[] = {-1e9f, -7.5f, -1.0f, -0.25f,   0.0f,      0.3f, 1.0f,
                                      2.5f,  19.9f, 1e9f,  INFINITY, -INFINITY, NAN};
        volatile float sink = 0.0f;
        for (int32_t i = 0; i < count; ++i)
            for (float t : times)
                sink = sink + envelope_evaluate(envelopes[i], t);
        motion_free_all(envelopes, count);
    }
    std::fclose(file);
    return 0;
}
