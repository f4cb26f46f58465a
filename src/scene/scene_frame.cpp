// The frame record scenes draw from (scene_frame.h): the beat at a music
// time, the fixed steps of music time and the spectrum meter. Relies on the
// core's float conversion only.
#include "scene/scene_frame.h"

#include "core/core.h"
#include "core/frame.h"

#include <cmath>

namespace
{
const float silence[SPECTRUM_SIZE] = {};
}

BeatTime beat_at_tempo(double seconds, float beats_per_ms)
{
    const float s = static_cast<float>(seconds);
    BeatTime t;
    t.beat = static_cast<float>(static_cast<double>(s) * 1000.0 * static_cast<double>(beats_per_ms));
    t.index = float_to_int(t.beat);
    t.fraction = t.beat - static_cast<float>(std::floor(static_cast<double>(t.beat)));
    return t;
}

BeatTime beat_at(double seconds)
{
    return beat_at_tempo(seconds, DEMO_BEATS_PER_MS);
}

int64_t scene_step_at(double seconds)
{
    if (!(seconds >= -1e9)) // NaN too
        seconds = -1e9;
    if (seconds > 1e9)
        seconds = 1e9;
    return static_cast<int64_t>(std::floor(seconds * SCENE_STEPS_PER_SECOND + 1e-6));
}

double scene_step_seconds(int64_t k)
{
    return static_cast<double>(k) / SCENE_STEPS_PER_SECOND;
}

SceneFrame scene_frame_at(double seconds, const float* spectrum)
{
    const BeatTime t = beat_at(seconds);
    SceneFrame f;
    f.seconds = seconds;
    f.beat = t.beat;
    f.beat_index = t.index;
    f.beat_fraction = t.fraction;
    f.row_beat = t.beat;
    f.step = scene_step_at(seconds);
    f.spectrum = spectrum ? spectrum : silence;
    f.width = SCREEN_WIDTH;
    f.height = SCREEN_HEIGHT;
    return f;
}

// ---- Spectrum meter ------------------------------------------------------------

void spectrum_meter_init(SpectrumMeter* meter)
{
    meter->band = 0;
    meter->history_length = 0;
    for (float& h : meter->history)
        h = -1.0f;
    meter->scale = 1.0f;
    meter->offset = 0.0f;
}

float spectrum_meter_sample(SpectrumMeter* meter, const float* spectrum)
{
    int32_t band = meter->band;
    if (band < 0)
        band = 0;
    if (band >= SPECTRUM_SIZE)
        band = SPECTRUM_SIZE - 1;
    float v = spectrum[band] * meter->scale + meter->offset;
    int32_t n = meter->history_length;
    if (n <= 0)
        return v;
    if (n > SPECTRUM_METER_HISTORY)
        n = SPECTRUM_METER_HISTORY;
    for (int32_t i = 1; i < n; i++)
        meter->history[i - 1] = meter->history[i];
    meter->history[n - 1] = v;
    float sum = 0.0f;
    int32_t count = 0;
    for (int32_t i = 0; i < n; i++) {
        if (meter->history[i] > -1.0f) {
            sum += meter->history[i];
            count++;
        }
    }
    return count > 0 ? sum / static_cast<float>(count) : v;
}
