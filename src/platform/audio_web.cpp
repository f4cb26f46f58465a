// Music playback in the page (the playback half of audio.h): the decoded
// track is handed to Web Audio once as one buffer and played by a buffer
// source; the position is what the listener hears, taken from the audio
// context's output time stamp (the context renders ahead of the speakers),
// never from what was handed over. The decoding, the spectrum and the
// conversions stay in audio.cpp. Relies on emscripten's JavaScript bridge.
#include "platform/audio.h"

#include "platform/counter.h"

#include <emscripten.h>

// JavaScript from here to the next mark: not formatted as C++.
// clang-format off
// ---- The Web Audio side ---------------------------------------------------------

// One context per page, made at the first open. A context made before the
// first click or key stays suspended; the page resumes it on that gesture.
EM_JS(int, web_audio_open, (), {
    if (!Module.dunravelAudio) {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context)
            return 0;
        var context = new Context();
        // Every source plays through one gain node: the page's volume and mute.
        var gain = context.createGain();
        gain.connect(context.destination);
        Module.dunravelAudio = {context : context, gain : gain, buffer : null, source : null, started : 0};
    }
    return 1;
});

// The track as one stereo buffer at 44,100 Hz (the context resamples it to
// its own rate while playing).
EM_JS(int, web_audio_set_track, (const int16_t* samples, double frames), {
    var a = Module.dunravelAudio;
    var n = frames | 0;
    var buffer;
    try {
        buffer = a.context.createBuffer(2, n, 44100);
    } catch (e) {
        return 0;
    }
    var left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    var base = samples >> 1;
    for (var i = 0; i < n; i++) {
        left[i] = HEAP16[base + 2 * i] / 32768;
        right[i] = HEAP16[base + 2 * i + 1] / 32768;
    }
    a.buffer = buffer;
    return 1;
});

EM_JS(void, web_audio_stop, (), {
    var a = Module.dunravelAudio;
    if (a && a.source) {
        a.source.onended = null;
        try {
            a.source.stop();
        } catch (e) {
        }
        a.source.disconnect();
        a.source = null;
    }
});

// Starts the buffer at offset seconds, as soon as the context runs.
EM_JS(void, web_audio_start, (double offset), {
    var a = Module.dunravelAudio;
    if (!a || !a.buffer)
        return;
    var source = a.context.createBufferSource();
    source.buffer = a.buffer;
    source.connect(a.gain);
    a.started = a.context.currentTime;
    source.start(a.started, offset);
    a.source = source;
});

// Silences or restores the sound; the source plays on.
EM_JS(void, web_audio_set_muted, (int muted), {
    var a = Module.dunravelAudio;
    if (!a)
        return;
    a.muted = muted != 0;
    if (a.gain)
        a.gain.gain.value = a.muted ? 0 : 1;
});

// Context seconds the listener hears now: the output time stamp pairs a
// context time with the moment it leaves the speakers; carried forward to
// now on the page's clock and never past what the context has rendered.
EM_JS(double, web_audio_heard_seconds, (), {
    var a = Module.dunravelAudio;
    if (!a)
        return 0;
    var c = a.context;
    if (c.state != "running")
        return a.started; // suspended: nothing is heard, time stands
    var heard;
    if (c.getOutputTimestamp) {
        var stamp = c.getOutputTimestamp();
        heard = stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
    } else {
        heard = c.currentTime - (c.outputLatency || c.baseLatency || 0);
    }
    return Math.min(heard, c.currentTime) - a.started;
});
// clang-format on

// ---- The playback state -----------------------------------------------------------

namespace
{

struct Output {
    bool open = false;
    int32_t kind = AUDIO_OUTPUT_DEVICE;
    AudioTrack* track = nullptr;
    int64_t frames = 0;
    bool playing = false;
    bool paused = false;
    int64_t start_frame = 0;  // where the source (or the silent clock) started
    int64_t paused_frame = 0; // the position while paused
    int64_t floor = 0;        // last position reported (positions never go back)
    int64_t silent_since = 0; // counter value when the silent clock started
};

Output output;

// Track frames heard since the source started: before it sounds, 0.
int64_t frames_since_start()
{
    double seconds;
    if (output.kind == AUDIO_OUTPUT_SILENT)
        seconds = static_cast<double>(counter_now() - output.silent_since) / counter_frequency();
    else
        seconds = web_audio_heard_seconds();
    return seconds > 0.0 ? static_cast<int64_t>(seconds * AUDIO_RATE) : 0;
}

int64_t position_frames()
{
    if (!output.open || !output.track)
        return 0;
    if (output.paused)
        return output.paused_frame;
    int64_t pos = output.start_frame + frames_since_start();
    if (pos > output.frames)
        pos = output.frames;
    if (pos < output.floor)
        pos = output.floor;
    output.floor = pos;
    return pos;
}

void start_at(int64_t frame)
{
    output.start_frame = frame;
    output.floor = frame;
    output.silent_since = counter_now();
    if (output.kind == AUDIO_OUTPUT_DEVICE) {
        web_audio_stop();
        web_audio_start(static_cast<double>(frame) / AUDIO_RATE);
    }
}

} // namespace

int32_t audio_open(int32_t kind)
{
    if (output.open)
        audio_close();
    output.kind = kind;
    if (kind == AUDIO_OUTPUT_DEVICE && !web_audio_open())
        return 1;
    output.open = true;
    output.playing = false;
    output.paused = false;
    return 0;
}

void audio_close()
{
    if (!output.open)
        return;
    web_audio_stop();
    output = Output{};
}

int32_t audio_play(AudioTrack* track)
{
    if (!output.open || !track)
        return 1;
    int64_t frames = 0;
    const int16_t* samples = audio_track_samples(track, &frames);
    if (output.kind == AUDIO_OUTPUT_DEVICE && !web_audio_set_track(samples, static_cast<double>(frames)))
        return 1;
    output.track = track;
    output.frames = frames;
    output.paused = false;
    output.playing = true;
    start_at(0);
    return 0;
}

void audio_set_position(int64_t byte)
{
    if (!output.open || !output.track)
        return;
    int64_t frame = byte / AUDIO_FRAME_BYTES;
    if (frame < 0)
        frame = 0;
    if (frame > output.frames)
        frame = output.frames;
    if (output.paused) {
        output.paused_frame = frame;
        output.start_frame = frame;
        output.floor = frame;
        return;
    }
    start_at(frame);
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
    if (position_frames() >= output.frames) {
        output.playing = false;
        web_audio_stop();
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
        web_audio_stop();
        return;
    }
    // Resume from the frame that was showing.
    output.paused = false;
    start_at(output.paused_frame);
}

void audio_set_muted(int32_t muted)
{
    web_audio_set_muted(muted);
}
