// What a scene or overlay may read about the frame it draws: one read-only
// record with the music time, the beat derived from it at the demo's one
// tempo, the spectrum, the fixed-step count and the frame's size. The runtime
// fills it from the music clock; scenes never read the clock themselves.
// Also the fixed 1/60-s steps of music time and the spectrum meter.
#pragma once

#include <cstdint>

enum { SPECTRUM_SIZE = 512, SPECTRUM_METER_HISTORY = 16 };

// The music's tempo, and the same as the float the beat is formed with.
constexpr float DEMO_TEMPO_BPM = 90.0f;
constexpr float DEMO_BEATS_PER_MS = static_cast<float>(static_cast<double>(DEMO_TEMPO_BPM) / 60.0 / 1000.0);

// Carried state (soft bodies, dents, sparks, filters) advances in fixed steps
// of music time, so one music time gives one picture at any frame rate.
constexpr int32_t SCENE_STEPS_PER_SECOND = 60;
constexpr double SCENE_STEP_SECONDS = 1.0 / SCENE_STEPS_PER_SECOND;
// Steps of 1/60 s in one beat at the demo's tempo (40).
constexpr int32_t SCENE_STEPS_PER_BEAT = static_cast<int32_t>(SCENE_STEPS_PER_SECOND * 60 / DEMO_TEMPO_BPM);

// The beat at a music time: the seconds rounded to float, the product formed
// in double and stored as float; its whole part and fraction in [0, 1).
struct BeatTime {
    float beat;
    int32_t index;
    float fraction;
};
BeatTime beat_at_tempo(double seconds, float beats_per_ms);
// The same at the demo's tempo.
BeatTime beat_at(double seconds);
// Music time of a whole beat at the demo's tempo.
constexpr double beat_seconds(double beat)
{
    return beat * 60.0 / static_cast<double>(DEMO_TEMPO_BPM);
}

// The fixed step a music time falls in: floor(seconds × 60), with a hair of
// slack so that a frame time k / fps lying on a step's time counts that step
// even where the division rounded it a little low.
int64_t scene_step_at(double seconds);
// Music time of step k (k / 60).
double scene_step_seconds(int64_t k);

struct SceneFrame {
    double seconds;        // music time in seconds
    float beat;            // beat_at(seconds).beat
    int32_t beat_index;    // its whole part: the timeline's rows switch on it
    float beat_fraction;   // in [0, 1)
    float row_beat;        // beat − the drawing row's first beat
    int64_t step;          // scene_step_at(seconds)
    const float* spectrum; // SPECTRUM_SIZE magnitudes of the sound playing, lowest first
    int32_t width;         // the frame's size in pixels
    int32_t height;
};

// The frame record at a music time, for the first beat of a row at 0, over
// the given spectrum (null: silence) at the native 640 x 480.
SceneFrame scene_frame_at(double seconds, const float* spectrum);

// ---- Spectrum meter ------------------------------------------------------------
// Follows one spectrum band over time, optionally averaged over history.
struct SpectrumMeter {
    int32_t band;
    int32_t history_length; // 0 to 16
    float history[SPECTRUM_METER_HISTORY];
    float scale;
    float offset;
};

void spectrum_meter_init(SpectrumMeter* meter);
// One sample of the meter's band from `spectrum` (SPECTRUM_SIZE values).
float spectrum_meter_sample(SpectrumMeter* meter, const float* spectrum);
