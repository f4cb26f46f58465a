// The demo clock and the music player: time is the position of the music.
// Once per frame music_update reads the play position, derives the frame
// delta and the beat at a fixed tempo and refills the spectrum. Only the
// runtime reads or writes it; scenes and overlays get a SceneFrame from it.
#pragma once

#include "scene/scene_frame.h"

#include <cstdint>

struct AudioTrack;

struct DemoClock {
    double music_seconds; // music position in seconds
    double frame_seconds; // seconds since the previous update (clamped)
    float beat;           // music_seconds × 1000 × beats_per_ms
    float beat_fraction;  // beat − floor(beat), in [0, 1)
    float tempo_bpm;
    float beats_per_ms; // tempo_bpm / 60 / 1000
    int64_t last_counter;
    int64_t counter_frequency;
};

extern DemoClock demo_clock;
// Read-only views of the clock's two times.
extern const double& music_seconds;
extern const double& frame_seconds;
// Magnitudes of the 1024-point spectrum of the sound playing, lowest first.
extern float spectrum[SPECTRUM_SIZE];

// ---- Clock -------------------------------------------------------------------
void clock_reset();
void clock_advance_counter();
void clock_set_tempo(float tempo_bpm);
void clock_update_beat();
float clock_beat();
int32_t clock_beat_index();
float clock_beat_fraction();
// The beat the clock derives from a music time, at the current tempo, without
// changing the clock (at the demo's tempo, beat_at of scene/scene_frame.h).
float clock_beat_at(double seconds);
// Sets the music time directly (tests, captures): music_seconds and
// frame_seconds as given, then the beat at the current tempo.
void clock_set_time(double seconds, double frame_delta);
// What the scenes may read of the clock now: music time, beat, spectrum,
// fixed step, at the frame's size (row_beat is the beat itself).
SceneFrame clock_scene_frame();

// ---- Music -------------------------------------------------------------------
// The demo's track and its tempo.
constexpr const char* DEMO_MUSIC_PATH = "data\\dunravel.mp3";

// How the music drives the clock.
enum {
    MUSIC_CLOCK_DEVICE = 0, // the sound device's play position (the default)
    MUSIC_CLOCK_SILENT = 1, // the decoded track paced in real time, no device
    MUSIC_CLOCK_FIXED = 2   // frame k at k / fps, no device, no waiting
};
// Chooses the clock before the music opens; fps is used by MUSIC_CLOCK_FIXED.
void music_set_clock(int32_t mode, int32_t fps);

// Opening is two steps. music_open_output opens the sound device (or the
// silent output) the clock needs and must run on the main thread; the
// fixed-step clock needs none. music_load decodes the track and touches no
// device, so it may run on a loader thread. Each returns 0, or 1 after
// reporting the failure (the device; a missing or undecodable file).
// start_seconds > 0 starts there when playing begins.
int32_t music_open_output();
int32_t music_load(const char* path, float tempo_bpm, float start_seconds);
// Both steps in order on the calling thread; the output is closed again when
// the track fails.
int32_t music_open(const char* path, float tempo_bpm, float start_seconds);
// Starts from the beginning, then moves to the start position ("skip
// forward to %f"). 0, or 1 when the stream does not start (reported).
int32_t music_play();
// 1 while the music plays, is paused or stalls; 0 once it has played to its
// end (or was never started).
int32_t music_is_playing();
// The per-frame step: position, spectrum, frame delta, beat.
void music_update();
// Pauses (non-zero) or resumes the music and with it the clock.
void music_pause(int32_t paused);
// Stops and releases the output and the track.
void music_close();
// The decoded track while open (captures and video export read it), or null.
const AudioTrack* music_track();
// Fixed-step clock only: ends it at end_seconds (the track's end when < 0);
// the frame number k that the last music_update drew (-1 before the first);
// the frame number k that the next music_update draws, settable to jump.
void music_set_end(double end_seconds);
int64_t music_frame_index();
int64_t music_next_frame();
void music_seek_frame(int64_t k);
// The frame number k of the first frame at or after seconds at fps frames a
// second: the smallest k with k / fps >= seconds.
int64_t music_frame_at(double seconds, int32_t fps);

// ---- Seeking -------------------------------------------------------------------
// Moves the music to a time (clamped to the track): the next music_update
// reads the position the listener hears from there on, and while paused the
// music stays paused there. The fixed-step clock moves to the first frame at
// or after it. Returns the music time the next update reads (the position
// on the track's whole frames, or the fixed-step frame's time).
double music_seek(double seconds);
// The position the listener hears now, in seconds (the fixed-step clock: the
// time of the frame drawn last); 0 before the music plays.
double music_position();
// Silences (non-zero) or restores the sound; the clock runs on as before.
void music_set_muted(int32_t muted);
// The frame grid of a run from the start: the fixed-step clock's frames per
// second, otherwise 60. Frame k's music time and spectrum as music_update
// reads them on that grid (silence without a track).
int32_t music_frame_rate();
double music_grid_seconds(int64_t k);
void music_grid_spectrum(int64_t k, float* out);

