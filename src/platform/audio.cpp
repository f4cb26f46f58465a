// Music output (audio.h): libmpg123 decodes the whole file into memory
// (resample.h converts other rates), SDL's audio device plays it from a
// callback, kissfft analyses it. The callback and the main thread share only
// the delivery cursor and the timing anchor, under one mutex; the decoded
// samples are immutable while playing.
#include "platform/audio.h"

#include "platform/counter.h"
#include "platform/paths.h"
#include "platform/resample.h"

#include <SDL.h>
#include <unistd.h>
#include <kiss_fftr.h>
#include <mpg123.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

struct AudioTrack {
    std::vector<int16_t> samples; // interleaved left, right at AUDIO_RATE
    int64_t frames;
    kiss_fftr_cfg fft;            // main thread only (kiss_fftr uses scratch space)
    float window[AUDIO_FFT_SIZE]; // Hann window
};

namespace
{

// Longest track accepted: an hour (about 635 MB of samples).
constexpr int64_t MAX_FRAMES = int64_t{AUDIO_RATE} * 3600;

// ---- Decoding -----------------------------------------------------------------

// Appends n frames of 16-bit samples with `channels` channels as stereo.
void append_stereo(std::vector<int16_t>& out, const int16_t* in, size_t n, int channels)
{
    for (size_t i = 0; i < n; i++) {
        int16_t left = in[i * channels];
        int16_t right = channels > 1 ? in[i * channels + 1] : left;
        out.push_back(left);
        out.push_back(right);
    }
}

// Decodes the open file into 16-bit stereo at its own rate; 0 rate on
// failure, with *reason saying why.
long decode_file(int fd, std::vector<int16_t>& out, const char** reason)
{
    *reason = "not an MP3 file, or no sound in it";
    mpg123_init();
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh)
        return 0;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every rate the decoder knows, 16-bit, in the file's own channel count:
    // no resampling inside the decoder.
    const long* rates = nullptr;
    size_t rate_count = 0;
    mpg123_rates(&rates, &rate_count);
    mpg123_format_none(mh);
    for (size_t i = 0; i < rate_count; i++)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    long rate = 0;
    if (mpg123_open_fd(mh, fd) == MPG123_OK) {
        mpg123_scan(mh); // exact length and exact seeking
        int channels = 0, encoding = 0;
        if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK)
            rate = 0;
        std::vector<unsigned char> buffer(64 * 1024);
        while (rate > 0) {
            size_t done = 0;
            int r = mpg123_read(mh, buffer.data(), buffer.size(), &done);
            if (done > 0 && channels > 0) {
                size_t frames = done / (2 * static_cast<size_t>(channels));
                append_stereo(out, reinterpret_cast<const int16_t*>(buffer.data()), frames, channels);
                if (static_cast<int64_t>(out.size() / 2) > MAX_FRAMES) {
                    *reason = "longer than an hour";
                    rate = 0;
                    break;
                }
            }
            if (r == MPG123_NEW_FORMAT) {
                long new_rate = 0;
                // Channels may change between frames; the rate of the first
                // frames stays the rate of the track.
                mpg123_getformat(mh, &new_rate, &channels, &encoding);
                continue;
            }
            if (r == MPG123_OK)
                continue;
            break; // MPG123_DONE, or an error: keep what decoded
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    if (out.empty())
        return 0;
    return rate;
}

#ifndef __EMSCRIPTEN__ // the page plays through Web Audio (audio_web.cpp)
// ---- Playback state -------------------------------------------------------------

struct Output {
    bool open = false;
    int32_t kind = AUDIO_OUTPUT_DEVICE;
    AudioTrack* track = nullptr;
    bool playing = false;

    std::atomic<bool> muted{false}; // read by the device callback

    // Shared with the device callback, under lock.
    std::mutex lock;
    int64_t cursor = 0;      // next track frame to hand to the device
    bool have_block = false; // a block was handed over since the last seek
    int64_t block_start = 0; // track frames of the last block handed over
    int64_t block_end = 0;
    bool have_anchor = false; // a block has started sounding since the last seek
    int64_t anchor_frame = 0; // track frame sounding at anchor_time
    int64_t anchor_limit = 0; // end of the block sounding then
    int64_t anchor_time = 0;
    bool asked = false; // the device has asked for a block since it was opened

    // Main thread only.
    int64_t start_frame = 0; // position after the last seek or resume
    int64_t floor = 0;       // last position reported (positions never go back)
    bool paused = false;
    int64_t paused_frame = 0;
    int64_t silent_since = 0; // counter value when the silent clock started
};

Output output;

// The clock positions are measured with (counter_now unless set); read on
// the device's thread too, so it is set only while nothing plays.
int64_t (*play_clock)() = counter_now;

int64_t ticks_to_frames(int64_t ticks)
{
    double f = static_cast<double>(ticks) * AUDIO_RATE / static_cast<double>(counter_frequency());
    return static_cast<int64_t>(f);
}

// The device asks for len bytes. The block handed over last time starts to
// sound now; it becomes the timing anchor. Then the next block is copied.
void device_callback(void*, Uint8* stream, int len)
{
    int64_t want = len / AUDIO_FRAME_BYTES;
    const AudioTrack* track;
    int64_t start, count;
    {
        std::lock_guard<std::mutex> guard(output.lock);
        output.asked = true;
        if (output.have_block) {
            output.anchor_frame = output.block_start;
            output.anchor_limit = output.block_end;
            output.anchor_time = play_clock();
            output.have_anchor = true;
        }
        track = output.track;
        start = output.cursor;
        count = 0;
        if (track) {
            count = track->frames - start;
            if (count > want)
                count = want;
            if (count < 0)
                count = 0;
            output.cursor = start + count;
            output.block_start = start;
            output.block_end = start + count;
            output.have_block = true;
        }
    }
    if (output.muted.load(std::memory_order_relaxed))
        count = 0; // the cursor moved on: only the sound is left out
    if (count > 0)
        std::memcpy(stream, track->samples.data() + start * 2,
                    static_cast<size_t>(count) * AUDIO_FRAME_BYTES);
    std::memset(stream + count * AUDIO_FRAME_BYTES, 0, static_cast<size_t>(len - count * AUDIO_FRAME_BYTES));
}

// A device can open and then never ask for sound (Wine's sound layer with
// no sound card does): its clock would stand still at 0 and the demo with
// it. The device is started with nothing to play and must ask for its first
// block within DEVICE_PROBE_MILLISECONDS, else it counts as no device.
constexpr int64_t DEVICE_PROBE_MILLISECONDS = 1500;

bool device_asks_for_sound()
{
    {
        std::lock_guard<std::mutex> guard(output.lock);
        output.asked = false;
        output.track = nullptr;
    }
    SDL_PauseAudio(0);
    const int64_t step = counter_frequency() / 500; // 2 ms
    const int64_t give_up = counter_now() + counter_frequency() * DEVICE_PROBE_MILLISECONDS / 1000;
    bool asked = false;
    for (int64_t now = counter_now(); !asked && now < give_up; now = counter_now()) {
        counter_sleep_until(now + step);
        std::lock_guard<std::mutex> guard(output.lock);
        asked = output.asked;
    }
    SDL_PauseAudio(1);
    return asked;
}

// The position before the monotonic clamp.
int64_t raw_position()
{
    if (output.paused)
        return output.paused_frame;
    int64_t total = output.track->frames;
    int64_t pos;
    if (output.kind == AUDIO_OUTPUT_SILENT) {
        pos = output.start_frame + ticks_to_frames(play_clock() - output.silent_since);
    } else {
        std::lock_guard<std::mutex> guard(output.lock);
        if (!output.have_anchor) {
            pos = output.start_frame;
        } else {
            pos = output.anchor_frame + ticks_to_frames(play_clock() - output.anchor_time);
            if (pos > output.anchor_limit)
                pos = output.anchor_limit;
        }
    }
    return pos < total ? pos : total;
}

int64_t position_frames()
{
    if (!output.open || !output.track)
        return 0;
    int64_t pos = raw_position();
    if (pos < output.floor)
        pos = output.floor;
    output.floor = pos;
    return pos;
}

// Sets everything a seek or a resume restarts from frame.
void restart_at(int64_t frame)
{
    output.start_frame = frame;
    output.floor = frame;
    output.silent_since = play_clock();
    std::lock_guard<std::mutex> guard(output.lock);
    output.cursor = frame;
    output.have_block = false;
    output.have_anchor = false;
}

#endif // __EMSCRIPTEN__

} // namespace

// ---- Tracks ---------------------------------------------------------------------

AudioTrack* audio_track_load(const char* path)
{
    int fd = path_open_data(path); // records why it cannot be opened
    if (fd < 0)
        return nullptr;
    std::vector<int16_t> samples;
    const char* reason = nullptr;
    long rate = decode_file(fd, samples, &reason);
    close(fd);
    if (rate <= 0) {
        path_fail(path, reason);
        return nullptr;
    }
    int64_t frames = static_cast<int64_t>(samples.size() / 2);
    if (rate != AUDIO_RATE) {
        std::vector<int16_t> converted;
        if (audio_resample(samples.data(), frames, rate, &converted) != 0) {
            path_fail(path, "its sample rate could not be converted");
            return nullptr;
        }
        samples.swap(converted);
        frames = static_cast<int64_t>(samples.size() / 2);
    }
    AudioTrack* track = frames > 0 ? audio_track_create(samples.data(), frames) : nullptr;
    if (!track)
        path_fail(path, frames > 0 ? "out of memory" : "no sound in it");
    return track;
}

AudioTrack* audio_track_create(const int16_t* samples, int64_t frames)
{
    if (!samples || frames <= 0 || frames > MAX_FRAMES)
        return nullptr;
    kiss_fftr_cfg fft = kiss_fftr_alloc(AUDIO_FFT_SIZE, 0, nullptr, nullptr);
    if (!fft)
        return nullptr;
    auto* track = new AudioTrack;
    track->samples.assign(samples, samples + frames * 2);
    track->frames = frames;
    track->fft = fft;
    // Periodic Hann window: its mean is exactly 1/2.
    for (int i = 0; i < AUDIO_FFT_SIZE; i++)
        track->window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * i / AUDIO_FFT_SIZE));
    return track;
}

void audio_track_free(AudioTrack* track)
{
    if (!track)
        return;
    kiss_fftr_free(track->fft);
    delete track;
}

int64_t audio_track_bytes(const AudioTrack* track)
{
    return track ? track->frames * AUDIO_FRAME_BYTES : 0;
}

const int16_t* audio_track_samples(const AudioTrack* track, int64_t* frames)
{
    if (frames)
        *frames = track ? track->frames : 0;
    return track ? track->samples.data() : nullptr;
}

void audio_track_spectrum(const AudioTrack* track, int64_t byte_position, float* out)
{
    if (!track) {
        for (int k = 0; k < AUDIO_SPECTRUM_BINS; k++)
            out[k] = 0.0f;
        return;
    }
    int64_t first = byte_position / AUDIO_FRAME_BYTES;
    kiss_fft_scalar in[AUDIO_FFT_SIZE];
    kiss_fft_cpx bins[AUDIO_FFT_SIZE / 2 + 1];
    for (int i = 0; i < AUDIO_FFT_SIZE; i++) {
        int64_t f = first + i;
        float mono = 0.0f;
        if (f >= 0 && f < track->frames) {
            int32_t sum = track->samples[f * 2] + track->samples[f * 2 + 1];
            mono = static_cast<float>(sum) / 65536.0f;
        }
        in[i] = mono * track->window[i];
    }
    kiss_fftr(track->fft, in, bins);
    // A sine of amplitude A centred on bin k puts A·N/2 into that bin without
    // a window; the Hann window halves it to A·N/4, so scale by 4/N.
    const float scale = 4.0f / AUDIO_FFT_SIZE;
    for (int k = 0; k < AUDIO_SPECTRUM_BINS; k++) {
        float re = bins[k].r, im = bins[k].i;
        out[k] = std::sqrt(re * re + im * im) * scale;
    }
}

double audio_bytes_to_seconds(int64_t bytes)
{
    return static_cast<double>(bytes) / (static_cast<double>(AUDIO_RATE) * AUDIO_FRAME_BYTES);
}

int64_t audio_seconds_to_bytes(double seconds)
{
    if (!(seconds > 0.0))
        return 0;
    double frames = std::floor(seconds * AUDIO_RATE);
    if (frames > static_cast<double>(MAX_FRAMES))
        frames = static_cast<double>(MAX_FRAMES);
    return static_cast<int64_t>(frames) * AUDIO_FRAME_BYTES;
}

#ifndef __EMSCRIPTEN__ // the page plays through Web Audio (audio_web.cpp)
// ---- Playback -------------------------------------------------------------------

int32_t audio_open(int32_t kind)
{
    if (output.open)
        audio_close();
    output.kind = kind;
    if (kind == AUDIO_OUTPUT_DEVICE) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0)
            return 1;
        SDL_AudioSpec want;
        std::memset(&want, 0, sizeof want);
        want.freq = AUDIO_RATE;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = device_callback;
        // Without an "obtained" format SDL converts to the device's format itself.
        if (SDL_OpenAudio(&want, nullptr) < 0 || !device_asks_for_sound()) {
            SDL_CloseAudio();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return 1;
        }
    }
    output.open = true;
    output.playing = false;
    output.paused = false;
    return 0;
}

void audio_close()
{
    if (!output.open)
        return;
    if (output.kind == AUDIO_OUTPUT_DEVICE) {
        SDL_CloseAudio(); // waits for a running callback
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    output.open = false;
    output.playing = false;
    output.paused = false;
    std::lock_guard<std::mutex> guard(output.lock);
    output.track = nullptr;
}

int32_t audio_play(AudioTrack* track)
{
    if (!output.open || !track)
        return 1;
    if (output.kind == AUDIO_OUTPUT_DEVICE)
        SDL_PauseAudio(1);
    {
        std::lock_guard<std::mutex> guard(output.lock);
        output.track = track;
    }
    output.paused = false;
    output.playing = true;
    restart_at(0);
    if (output.kind == AUDIO_OUTPUT_DEVICE) {
        SDL_PauseAudio(0);
        if (SDL_GetAudioStatus() != SDL_AUDIO_PLAYING) {
            output.playing = false;
            return 1;
        }
    }
    return 0;
}

void audio_set_position(int64_t byte)
{
    if (!output.open || !output.track)
        return;
    int64_t frame = byte / AUDIO_FRAME_BYTES;
    if (frame < 0)
        frame = 0;
    if (frame > output.track->frames)
        frame = output.track->frames;
    if (output.paused)
        output.paused_frame = frame;
    restart_at(frame);
}

int64_t audio_position()
{
    return position_frames() * AUDIO_FRAME_BYTES;
}

int32_t audio_state()
{
    if (!output.open || !output.track || !output.playing)
        return AUDIO_STOPPED;
    if (output.paused)
        return AUDIO_PAUSED;
    if (position_frames() >= output.track->frames) {
        output.playing = false;
        if (output.kind == AUDIO_OUTPUT_DEVICE)
            SDL_PauseAudio(1);
        return AUDIO_STOPPED;
    }
    return AUDIO_PLAYING;
}

void audio_pause(int32_t paused)
{
    if (!output.open || !output.track || !output.playing || (paused != 0) == output.paused)
        return;
    if (paused) {
        output.paused_frame = position_frames();
        output.paused = true;
        if (output.kind == AUDIO_OUTPUT_DEVICE)
            SDL_PauseAudio(1);
        return;
    }
    // Resume from the frame that was showing; the device goes on from its
    // cursor, so the clock starts from the paused frame and catches up with
    // the next block that sounds.
    output.paused = false;
    output.start_frame = output.paused_frame;
    output.floor = output.paused_frame;
    output.silent_since = play_clock();
    {
        std::lock_guard<std::mutex> guard(output.lock);
        output.have_anchor = false;
        output.have_block = false;
    }
    if (output.kind == AUDIO_OUTPUT_DEVICE)
        SDL_PauseAudio(0);
}

void audio_set_muted(int32_t muted)
{
    output.muted.store(muted != 0, std::memory_order_relaxed);
}

void audio_set_clock(int64_t (*now)())
{
    play_clock = now ? now : counter_now;
}
#endif // __EMSCRIPTEN__
