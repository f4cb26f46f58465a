// The demo clock and the music that drives it (clock.h). Positions, spectrum
// and end of track come from the platform audio layer; before the music runs
// the clock steps from the high-resolution counter.
#include "runtime/clock.h"

#include "core/core.h"
#include "platform/audio.h"
#include "platform/counter.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdio>

DemoClock demo_clock;
const double& music_seconds = demo_clock.music_seconds;
const double& frame_seconds = demo_clock.frame_seconds;
float spectrum[SPECTRUM_SIZE];

namespace
{

// A backwards jump or a stall of more than a second gives this delta:
// 1/60 s as a 32-bit float, widened.
constexpr double FALLBACK_DELTA = static_cast<double>(1.0f / 60.0f);

int32_t clock_mode = MUSIC_CLOCK_DEVICE;
int32_t fixed_fps = 60;
int64_t fixed_next_frame = 0;    // the fixed-step frame music_update draws next
double fixed_end_seconds = -1.0; // < 0: the end of the track

AudioTrack* music_stream = nullptr;
float music_start_seconds = 0.0f;

// Track frames at fixed-step frame k: k × 44100 / fps, whole frames.
int64_t fixed_frame_position(int64_t k)
{
    return k * AUDIO_RATE / fixed_fps;
}

double fixed_end()
{
    double track_end = audio_bytes_to_seconds(audio_track_bytes(music_stream));
    if (fixed_end_seconds >= 0.0 && fixed_end_seconds < track_end)
        return fixed_end_seconds;
    return track_end;
}

} // namespace

// ---- Clock -------------------------------------------------------------------

void clock_reset()
{
    demo_clock.last_counter = counter_now();
    demo_clock.counter_frequency = counter_frequency();
    demo_clock.music_seconds = 0.0;
    demo_clock.frame_seconds = 0.0;
    demo_clock.beat = 0.0f;
}

void clock_advance_counter()
{
    int64_t now = counter_now();
    demo_clock.frame_seconds = static_cast<double>(now - demo_clock.last_counter) /
                               static_cast<double>(demo_clock.counter_frequency);
    demo_clock.music_seconds += demo_clock.frame_seconds;
    demo_clock.last_counter = now;
    clock_update_beat();
}

void clock_set_tempo(float tempo_bpm)
{
    demo_clock.tempo_bpm = tempo_bpm;
    demo_clock.beats_per_ms = static_cast<float>(static_cast<double>(tempo_bpm) / 60.0 / 1000.0);
}

float clock_beat_at(double seconds)
{
    return beat_at_tempo(seconds, demo_clock.beats_per_ms).beat;
}

void clock_update_beat()
{
    const BeatTime t = beat_at_tempo(demo_clock.music_seconds, demo_clock.beats_per_ms);
    demo_clock.beat = t.beat;
    demo_clock.beat_fraction = t.fraction;
}

float clock_beat()
{
    return demo_clock.beat;
}
int32_t clock_beat_index()
{
    return float_to_int(demo_clock.beat);
}
float clock_beat_fraction()
{
    return demo_clock.beat_fraction;
}

void clock_set_time(double seconds, double frame_delta)
{
    demo_clock.music_seconds = seconds;
    demo_clock.frame_seconds = frame_delta;
    clock_update_beat();
}

SceneFrame clock_scene_frame()
{
    SceneFrame f = scene_frame_at(demo_clock.music_seconds, spectrum);
    f.beat = demo_clock.beat;
    f.beat_index = clock_beat_index();
    f.beat_fraction = demo_clock.beat_fraction;
    f.row_beat = f.beat;
    return f;
}

// ---- Music -------------------------------------------------------------------

void music_set_clock(int32_t mode, int32_t fps)
{
    clock_mode = mode;
    fixed_fps = fps > 0 ? fps : 60;
}

void music_set_end(double end_seconds)
{
    fixed_end_seconds = end_seconds;
}
int64_t music_frame_index()
{
    return fixed_next_frame - 1;
}
int64_t music_next_frame()
{
    return fixed_next_frame;
}
void music_seek_frame(int64_t k)
{
    fixed_next_frame = k > 0 ? k : 0;
}

int64_t music_frame_at(double seconds, int32_t fps)
{
    if (!(seconds > 0.0) || fps <= 0)
        return 0;
    int64_t k = static_cast<int64_t>(std::ceil(seconds * fps));
    // Guard the rounding of seconds × fps: step back while the frame before
    // still starts at or after seconds.
    while (k > 0 && static_cast<double>(k - 1) / fps >= seconds)
        k--;
    return k;
}

int32_t music_open_output()
{
    if (clock_mode == MUSIC_CLOCK_FIXED)
        return 0;
    if (audio_open(clock_mode == MUSIC_CLOCK_SILENT ? AUDIO_OUTPUT_SILENT : AUDIO_OUTPUT_DEVICE) != 0) {
        std::printf("unable to init sound device\n");
        std::fflush(stdout);
        std::fprintf(stderr,
                     "dunravel: no sound device could be opened; run with --no-sound to play without one\n");
        return 1;
    }
    return 0;
}

int32_t music_load(const char* path, float tempo_bpm, float start_seconds)
{
    clock_set_tempo(tempo_bpm);
    music_stream = audio_track_load(path);
    if (!music_stream) {
        std::fprintf(stderr, "dunravel: cannot load the music %s\n", path_failure());
        return 1;
    }
    music_start_seconds = start_seconds;
    return 0;
}

int32_t music_open(const char* path, float tempo_bpm, float start_seconds)
{
    if (music_open_output() != 0)
        return 1;
    if (music_load(path, tempo_bpm, start_seconds) != 0) {
        if (clock_mode != MUSIC_CLOCK_FIXED)
            audio_close();
        return 1;
    }
    return 0;
}

int32_t music_play()
{
    if (!music_stream) {
        std::fprintf(stderr, "dunravel: the music stream did not start (no stream is open)\n");
        return 1;
    }
    if (clock_mode == MUSIC_CLOCK_FIXED) {
        // The first frame at or after the start position, on the k / fps grid.
        fixed_next_frame = 0;
        if (music_start_seconds > 0.0f)
            fixed_next_frame = music_frame_at(static_cast<double>(music_start_seconds), fixed_fps);
    } else if (audio_play(music_stream) != 0) {
        std::fprintf(stderr, "dunravel: the music stream did not start playing\n");
        return 1;
    }
    if (music_start_seconds > 0.0f) {
        if (clock_mode != MUSIC_CLOCK_FIXED)
            audio_set_position(audio_seconds_to_bytes(music_start_seconds));
        std::printf("skip forward to %f\n", static_cast<double>(music_start_seconds));
    }
    return 0;
}

int32_t music_is_playing()
{
    if (!music_stream)
        return 0;
    if (clock_mode == MUSIC_CLOCK_FIXED) {
        double next = audio_bytes_to_seconds(fixed_frame_position(fixed_next_frame) * AUDIO_FRAME_BYTES);
        return next < fixed_end() ? 1 : 0;
    }
    return audio_state() != AUDIO_STOPPED ? 1 : 0;
}

void music_update()
{
    double previous = demo_clock.music_seconds;
    int64_t bytes;
    if (clock_mode == MUSIC_CLOCK_FIXED) {
        bytes = fixed_frame_position(fixed_next_frame) * AUDIO_FRAME_BYTES;
        fixed_next_frame++;
    } else {
        bytes = audio_position();
    }
    audio_track_spectrum(music_stream, bytes, spectrum);
    demo_clock.music_seconds = audio_bytes_to_seconds(bytes);
    if (clock_mode == MUSIC_CLOCK_FIXED) {
        demo_clock.frame_seconds = 1.0 / fixed_fps;
    } else {
        double delta = demo_clock.music_seconds - previous;
        demo_clock.frame_seconds = (delta < 0.0 || delta > 1.0) ? FALLBACK_DELTA : delta;
    }
    clock_update_beat();
}

double music_seek(double seconds)
{
    if (!(seconds > 0.0))
        seconds = 0.0;
    if (clock_mode == MUSIC_CLOCK_FIXED) {
        fixed_next_frame = music_frame_at(seconds, fixed_fps);
        return music_grid_seconds(fixed_next_frame);
    }
    int64_t bytes = audio_seconds_to_bytes(seconds);
    int64_t track = audio_track_bytes(music_stream);
    if (bytes > track)
        bytes = track;
    audio_set_position(bytes);
    return audio_bytes_to_seconds(bytes);
}

double music_position()
{
    if (clock_mode == MUSIC_CLOCK_FIXED)
        return fixed_next_frame > 0 ? music_grid_seconds(fixed_next_frame - 1) : 0.0;
    return audio_bytes_to_seconds(audio_position());
}

void music_set_muted(int32_t muted)
{
    if (clock_mode != MUSIC_CLOCK_FIXED)
        audio_set_muted(muted);
}

int32_t music_frame_rate()
{
    return clock_mode == MUSIC_CLOCK_FIXED ? fixed_fps : 60;
}

double music_grid_seconds(int64_t k)
{
    return audio_bytes_to_seconds(k * AUDIO_RATE / music_frame_rate() * AUDIO_FRAME_BYTES);
}

void music_grid_spectrum(int64_t k, float* out)
{
    audio_track_spectrum(music_stream, k * AUDIO_RATE / music_frame_rate() * AUDIO_FRAME_BYTES, out);
}

void music_pause(int32_t paused)
{
    if (clock_mode != MUSIC_CLOCK_FIXED)
        audio_pause(paused);
}

void music_close()
{
    if (clock_mode != MUSIC_CLOCK_FIXED)
        audio_close();
    audio_track_free(music_stream);
    music_stream = nullptr;
}

const AudioTrack* music_track()
{
    return music_stream;
}
