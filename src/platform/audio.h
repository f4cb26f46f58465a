// Music output: an MP3 file decoded once into 44,100 Hz 16-bit stereo, played
// through the default sound device (or, without one, paced by the steady
// clock), with the position of what has been heard and the spectrum of the
// sound playing. One track plays at a time. Everything here is called from
// the main thread; the device callback shares only a mutex-guarded cursor.
#pragma once

#include <cstdint>

constexpr int32_t AUDIO_RATE = 44100;        // output frames per second
constexpr int32_t AUDIO_FRAME_BYTES = 4;     // one frame: two 16-bit samples, left then right
constexpr int32_t AUDIO_FFT_SIZE = 1024;     // frames analysed for the spectrum
constexpr int32_t AUDIO_SPECTRUM_BINS = 512; // magnitudes returned, lowest frequency first

// Where the sound goes: the default output device, or nowhere (positions
// still advance in real time, so the clock, spectrum and end of the track
// behave as with a device).
enum { AUDIO_OUTPUT_DEVICE = 0, AUDIO_OUTPUT_SILENT = 1 };

enum { AUDIO_STOPPED = 0, AUDIO_PLAYING = 1, AUDIO_PAUSED = 2 };

// ---- Decoded tracks -----------------------------------------------------------
struct AudioTrack;

// Decodes a whole MP3 file (a program path such as "data\dunravel.mp3"),
// resampled to 44,100 Hz stereo when the file is another rate or mono.
// Null when the file is missing, not a regular file, not MP3 or holds no
// sound (recorded with the name opened and why: paths.h path_failure).
AudioTrack* audio_track_load(const char* path);
// A track from 44,100 Hz interleaved stereo samples (copied); null when
// frames is not positive.
AudioTrack* audio_track_create(const int16_t* samples, int64_t frames);
void audio_track_free(AudioTrack* track);
// Length in bytes of the decoded stream (frames × 4).
int64_t audio_track_bytes(const AudioTrack* track);
// Interleaved samples (left, right) and their frame count.
const int16_t* audio_track_samples(const AudioTrack* track, int64_t* frames);
// The magnitudes of the 1024-point spectrum of the mono mix of the frames
// from byte_position on (silence past the end), Hann-windowed and scaled so
// that a full-scale sine at a bin centre gives 1.0: 512 floats into out.
void audio_track_spectrum(const AudioTrack* track, int64_t byte_position, float* out);

double audio_bytes_to_seconds(int64_t bytes);
// Whole frames, never negative.
int64_t audio_seconds_to_bytes(double seconds);

// ---- Playback -----------------------------------------------------------------
// Opens the output (AUDIO_OUTPUT_DEVICE or AUDIO_OUTPUT_SILENT): 0 on
// success, 1 when the sound device cannot be opened.
int32_t audio_open(int32_t output);
// Stops and releases the output; the track stays with its owner.
void audio_close();
// Plays track from its start: 0, or 1 when nothing can play (no open output
// or no track). The track must outlive the playback (audio_close first).
int32_t audio_play(AudioTrack* track);
// Moves the playing track to byte (clamped to the track).
void audio_set_position(int64_t byte);
// Bytes heard so far: advances smoothly between device callbacks, never runs
// backwards (except through audio_set_position) and never passes what the
// device has been given.
int64_t audio_position();
// AUDIO_PLAYING until the whole track has been heard; AUDIO_PAUSED while
// paused; AUDIO_STOPPED when nothing plays or the end was reached.
int32_t audio_state();
// Pauses (non-zero) or resumes; the position stands still while paused.
void audio_pause(int32_t paused);
// Silences (non-zero) or restores the sound; the track plays on and the
// position advances as before.
void audio_set_muted(int32_t muted);
// The clock the position is measured with, in counter_frequency() ticks:
// counter_now, or another (a test's own) while nothing plays; null restores
// counter_now.
void audio_set_clock(int64_t (*now)());
