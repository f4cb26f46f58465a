// The program in the page (demo.h): one function the browser calls once per
// display frame (requestAnimationFrame) walks the stages: wait for the data
// set (the page fetches it while the loading screen runs), load one effect
// row per call under the loading screen (there is no second thread), decode
// the music, wait for a click or key (browsers start sound only after a
// gesture), then play: the clock from what the listener hears, the player's
// keys of the window (player.h; 1 saves the frame as a PNG download). The
// page's controls reach in through the exported dunravel_* functions
// (dunravel_seek and dunravel_position among them) and hear back through
// Module.dunravelShow / dunravelPosition / dunravelFail. index.html?at=SECONDS
// draws the frame at that music time on the fixed-step clock instead, every
// frame before it first (as --warm-up does, without showing them), and sets
// the page title to "frame ready"; &fps=N picks the step (default 60).
// ?bench plays every frame on that clock and hands each frame's drawing time
// to the page.
#include "runtime/demo.h"

#include "core/core.h"
#include "platform/counter.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/loading_screen.h"
#include "runtime/player.h"
#include "runtime/video.h"
#include "runtime/video_web.h"
#include "platform/font.h"

#include <SDL.h>
#include <emscripten.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>

// JavaScript from here to the next mark: not formatted as C++.
// clang-format off
// ---- The page's side -------------------------------------------------------------

// The query's at= (seconds, < 0 when absent or not a time of 0 or more) and
// fps= (0 when absent).
EM_JS(double, web_query_at, (), {
    var v = new URLSearchParams(window.location.search).get("at");
    if (v == null || v == "" || !isFinite(Number(v)) || Number(v) < 0)
        return -1;
    return Number(v);
});
EM_JS(int, web_query_fps, (), {
    var v = new URLSearchParams(window.location.search).get("fps");
    var n = v == null ? 0 : Number(v);
    return Number.isInteger(n) && n > 0 && n <= 1000 ? n : 0;
});
EM_JS(int, web_query_bench, (), { return new URLSearchParams(window.location.search).has("bench") ? 1 : 0; });
// What the page shows around the canvas: "loading", "ready" (asks for a click
// or key), "playing", "paused", "ended", "shown", "failed"; and the title.
EM_JS(void, web_show, (const char* stage), {
    if (Module.dunravelShow)
        Module.dunravelShow(UTF8ToString(stage));
});
EM_JS(void, web_set_title, (const char* title), { document.title = UTF8ToString(title); });
// The one sentence a visitor reads when the demo cannot go on.
EM_JS(void, web_fail, (const char* sentence), {
    if (Module.dunravelFail)
        Module.dunravelFail(UTF8ToString(sentence));
});
// The scenes as chapters: their names and first beats, then the track's
// length and the tempo, once the music is decoded.
EM_JS(void, web_chapter, (const char* name, double seconds), {
    (Module.dunravelChapters = Module.dunravelChapters || []).push({name : UTF8ToString(name), seconds : seconds});
});
EM_JS(void, web_track, (double seconds, double bpm), {
    Module.dunravelTrack = {seconds : seconds, bpm : bpm};
});
// Where the music is, after each frame drawn.
EM_JS(void, web_position, (double seconds, double beat), {
    Module.dunravelPosition = {seconds : seconds, beat : beat};
});
// 1 once the page has put the data set into the file system, 0 before, -1
// when it could not (the page says why).
EM_JS(int, web_data_ready, (), { return Module.dunravelDataReady | 0; });
EM_JS(void, web_audio_gain, (double gain), {
    var a = Module.dunravelAudio;
    if (a && a.gain)
        a.gain.gain.value = gain;
});
// ?bench: one drawing time in milliseconds per frame, with its beat.
EM_JS(void, web_frame_time, (double beat, double ms), {
    (Module.dunravelTimes = Module.dunravelTimes || []).push([ beat, ms ]);
});
// 1 once the page has seen the starting click or key.
EM_JS(int, web_gesture_seen, (), { return Module.dunravelStarted ? 1 : 0; });
EM_JS(void, web_frames_drawn, (double frames), { Module.dunravelFrames = frames; });
// Offers the canvas (the frame as shown, opaque) as a PNG download.
EM_JS(void, web_download_canvas, (const char* name), {
    var file = UTF8ToString(name);
    Module.canvas.toBlob(function(blob) {
        var url = URL.createObjectURL(blob);
        var link = document.createElement("a");
        link.href = url;
        link.download = file;
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(function() { URL.revokeObjectURL(url); }, 1000);
    }, "image/png");
});
// Full screen for the canvas, or back. Browsers grant it within a moment of
// a key press, which the frame that reads the key falls in.
EM_JS(void, web_toggle_fullscreen, (), {
    if (document.fullscreenElement) {
        document.exitFullscreen();
    } else if (Module.canvas && Module.canvas.requestFullscreen) {
        Module.canvas.requestFullscreen().catch(function() {});
    }
});
// clang-format on

namespace
{

enum Stage {
    STAGE_DATA,    // the loading screen until the data set is in place
    STAGE_LOADING, // one effect row per frame under the loading screen
    STAGE_MUSIC,   // decode the track
    STAGE_READY,   // wait for the gesture
    STAGE_WARM_UP, // at=: the frames before the asked one
    STAGE_PLAYING,
    STAGE_BENCH, // ?bench: every fixed-step frame, one per display frame
    STAGE_DONE
};

// What dunravel_state reports to the page.
enum PageState { PAGE_LOADING, PAGE_READY, PAGE_PLAYING, PAGE_PAUSED, PAGE_ENDED, PAGE_SHOWN, PAGE_FAILED };

// The fixed-step frames drawn per display frame while warming up, at most:
// the page stays responsive and still finishes quickly.
constexpr double WARM_UP_BUDGET_SECONDS = 0.05;

struct WebDemo {
    int32_t stage;
    int32_t next_row; // the effect row that loads next
    LoadingScreen loading;
    bool loading_shown;
    double at_seconds; // < 0: play; else the music time of the one frame
    int32_t fps;
    int64_t at_frame;
    bool paused;
    bool muted;
    bool redraw;         // draw at the clock's new place although paused
    double shown;        // music time of the picture on the canvas (or a seek's target)
    double pending_seek; // >= 0: where to start once playing begins
    double end_seconds;  // the earlier of the music's and the timeline's end
    KeyRepeat repeat;
    int32_t saved; // frames saved so far
    double frames_drawn;
    int32_t page_state;
    bool bench;
    double volume; // 0 to 1
};

WebDemo demo;

void show(const char* stage, int32_t state)
{
    demo.page_state = state;
    web_show(stage);
}

void finish(const char* shown, int32_t state)
{
    if (demo.loading_shown)
        loading_screen_end(&demo.loading);
    demo.loading_shown = false;
    show(shown, state);
    demo.stage = STAGE_DONE;
    emscripten_cancel_main_loop();
}

// what: the whole sentence the visitor reads.
void fail(const char* what)
{
    std::fprintf(stderr, "dunravel: %s\n", what);
    web_fail(what);
    web_set_title("failed");
    finish("failed", PAGE_FAILED);
}

void publish_chapters()
{
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (timeline_row_is_scene(row))
            web_chapter(timeline_name(row), beat_seconds(timeline[row].first_beat));
}

void report_position()
{
    web_position(music_seconds, clock_beat());
}

void apply_gain()
{
    web_audio_gain(demo.muted ? 0.0 : demo.volume);
}

void set_paused(bool paused)
{
    if (demo.stage != STAGE_PLAYING || paused == demo.paused)
        return;
    demo.paused = paused;
    music_pause(paused ? 1 : 0);
    show(paused ? "paused" : "playing", paused ? PAGE_PAUSED : PAGE_PLAYING);
}

// The captions need the bundled face: one sentence when it is missing or
// FreeType cannot read it.
bool font_usable()
{
    char file[4096];
    int32_t index = 0;
    FT_Library library = nullptr;
    if (!font_file("Arial", file, sizeof file, &index) || FT_Init_FreeType(&library) != 0)
        return false;
    FT_Face face = nullptr;
    bool ok = FT_New_Face(library, file, index, &face) == 0;
    if (ok)
        FT_Done_Face(face);
    FT_Done_FreeType(library);
    return ok;
}

// Loads the next effect row; after the last, the music. A failing row has
// freed itself; the rows before it are freed here.
void load_step()
{
    if (demo.next_row == 0)
        noise_init(0);
    if (demo.next_row < EFFECT_COUNT) {
        if (effect_table[demo.next_row].load() != 0) {
            effects_free_table(effect_table, demo.next_row);
            noise_release();
            char sentence[512];
            std::snprintf(sentence, sizeof sentence, "The demo's data could not be read: %s.",
                          path_failure()[0] ? path_failure() : "a file in demo.data is damaged");
            fail(sentence);
            return;
        }
        demo.next_row++;
        return;
    }
    demo.stage = STAGE_MUSIC;
}

void start_music()
{
    if (music_load(DEMO_MUSIC_PATH, DEMO_TEMPO_BPM, 0.0f) != 0) {
        effects_free_all();
        fail("The music (data/dunravel.mp3 in demo.data) could not be decoded.");
        return;
    }
    double track = demo_music_seconds();
    demo_warn_short_music(track);
    web_track(track, DEMO_TEMPO_BPM);
    loading_screen_end(&demo.loading);
    demo.loading_shown = false;
    if (demo.bench) {
        music_play();
        music_seek_frame(0);
        video_web_hold_canvas(0);
        demo.stage = STAGE_BENCH;
        show("playing", PAGE_PLAYING);
        return;
    }
    if (demo.at_seconds >= 0.0) {
        if (demo.at_seconds >= track) {
            effects_free_all();
            music_close();
            char sentence[160];
            std::snprintf(sentence, sizeof sentence,
                          "?at=%g lies past the end of the music: it takes seconds from 0 up to %.1f.",
                          demo.at_seconds, track);
            fail(sentence);
            return;
        }
        music_play();
        demo.at_frame = music_frame_at(demo.at_seconds, demo.fps);
        music_seek_frame(0);
        video_web_hold_canvas(1); // the frames before the asked one stay off the canvas
        demo.stage = STAGE_WARM_UP;
        return;
    }
    timeline_prepare_seeking(); // the scenes' seek snapshots, before the page asks for a seek
    show("ready", PAGE_READY);
    demo.stage = STAGE_READY;
}

// The fixed-step frames before the asked one, as many as fit the budget;
// then the asked frame, shown.
void warm_up_step()
{
    int64_t t0 = counter_now();
    while (music_next_frame() < demo.at_frame) {
        music_update();
        demo_draw_frame();
        if (static_cast<double>(counter_now() - t0) / counter_frequency() > WARM_UP_BUDGET_SECONDS)
            return;
    }
    music_update();
    video_web_hold_canvas(0);
    demo_draw_frame(); // presents it
    report_position();
    std::printf("frame %lld at %.6fs drawn\n", static_cast<long long>(music_frame_index()), music_seconds);
    effects_free_all();
    music_close();
    web_set_title("frame ready");
    finish("shown", PAGE_SHOWN);
}

void save_frame()
{
    char name[64];
    std::snprintf(name, sizeof name, "screenshot-%03d.png", ++demo.saved);
    web_download_canvas(name);
}

// Music and picture to a music time: the music first (the clock reads what
// is heard from there), then the scenes' carried state, so the next frame is
// the one a run from the start draws there.
void seek_to(double seconds)
{
    const double landed = music_seek(player_clamp(seconds, demo.shown, demo.end_seconds));
    timeline_advance(landed);
    demo.shown = landed;
    demo.redraw = true;
}

void act(PlayerKey key)
{
    switch (key.command) {
    case PLAYER_PAUSE:
        set_paused(!demo.paused);
        break;
    case PLAYER_SCREENSHOT:
        save_frame();
        break;
    case PLAYER_STEP:
        set_paused(true);
        seek_to(player_target(key, demo.shown, demo.end_seconds));
        break;
    case PLAYER_SEEK:
    case PLAYER_PREVIOUS_SCENE:
    case PLAYER_NEXT_SCENE:
    case PLAYER_HOME:
        seek_to(player_target(key, demo.shown, demo.end_seconds));
        break;
    case PLAYER_FULLSCREEN:
        web_toggle_fullscreen();
        break;
    case PLAYER_MUTE: // the page keeps m for its own button; the same gain either way
        demo.muted = !demo.muted;
        apply_gain();
        break;
    default:
        break; // Escape and o belong to the browser and the page's own bar
    }
}

// The keys of the window (player.h), on their press; held seeks and steps
// repeat by time.
void handle_events()
{
    const int64_t now = counter_now(), frequency = counter_frequency();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYUP) {
            key_repeat_release(&demo.repeat, event.key.keysym.sym);
            continue;
        }
        if (event.type != SDL_KEYDOWN)
            continue;
        const PlayerKey key = player_key(event.key.keysym.sym, event.key.keysym.mod);
        if (player_key_repeats(key.command))
            key_repeat_press(&demo.repeat, event.key.keysym.sym, event.key.keysym.mod, now, frequency);
        act(key);
    }
    if (key_repeat_due(&demo.repeat, now, frequency))
        act(player_key(demo.repeat.sym, demo.repeat.modifiers));
}

// One display frame while playing. The picture reads the music's heard
// position every frame, so after a hidden tab or a slow frame it shows where
// the music is (the scenes step their carried state there) and never drifts.
void play_step()
{
    handle_events();
    if (!music_is_playing()) {
        effects_free_all();
        music_close();
        finish("ended", PAGE_ENDED);
        return;
    }
    if (demo.paused && !demo.redraw)
        return; // the canvas keeps the last frame
    music_update();
    demo_draw_frame();
    demo.shown = music_seconds;
    demo.redraw = false;
    report_position();
    web_frames_drawn(++demo.frames_drawn);
}

// ?bench: the next fixed-step frame, drawn and shown, timed on the page's
// clock from the clock update to the canvas written.
void bench_step()
{
    if (!music_is_playing()) {
        effects_free_all();
        music_close();
        web_set_title("bench done");
        finish("ended", PAGE_ENDED);
        return;
    }
    double t0 = emscripten_get_now();
    music_update();
    demo_draw_frame();
    web_frame_time(clock_beat(), emscripten_get_now() - t0);
    report_position();
}

// The data set arrives after the program starts: the loading screen runs
// meanwhile.
void data_step()
{
    int32_t ready = web_data_ready();
    if (ready < 0)
        finish("failed", PAGE_FAILED);
    else if (ready > 0)
        demo.stage = STAGE_LOADING;
}

void frame_step()
{
    switch (demo.stage) {
    case STAGE_DATA:
        data_step();
        if (demo.stage != STAGE_DONE)
            loading_screen_frame(&demo.loading, loading_screen_frame_now(&demo.loading));
        break;
    case STAGE_LOADING:
        load_step();
        if (demo.stage == STAGE_LOADING || demo.stage == STAGE_MUSIC)
            loading_screen_frame(&demo.loading, loading_screen_frame_now(&demo.loading));
        break;
    case STAGE_MUSIC:
        start_music();
        break;
    case STAGE_READY: {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        } // the keys that started it are not for the demo
        if (web_gesture_seen() && music_play() == 0) {
            apply_gain();
            demo.stage = STAGE_PLAYING; // before the page hears of it: it may pause or seek at once
            demo.end_seconds = std::fmin(demo_music_seconds(), timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM);
            if (demo.pending_seek > 0.0)
                seek_to(demo.pending_seek);
            demo.pending_seek = -1.0;
            show("playing", PAGE_PLAYING);
        }
        break;
    }
    case STAGE_WARM_UP:
        warm_up_step();
        break;
    case STAGE_PLAYING:
        play_step();
        break;
    case STAGE_BENCH:
        bench_step();
        break;
    default:
        break;
    }
}

} // namespace

// ---- What the page's controls call ---------------------------------------------

extern "C" {

// Pauses (non-zero) or resumes while playing; the paused state after.
EMSCRIPTEN_KEEPALIVE int dunravel_pause(int paused)
{
    set_paused(paused != 0);
    return demo.paused ? 1 : 0;
}

// Volume from 0 to 1 (clamped); it holds across pauses and mute.
EMSCRIPTEN_KEEPALIVE void dunravel_set_volume(double volume)
{
    demo.volume = volume > 0.0 ? (volume < 1.0 ? volume : 1.0) : 0.0;
    apply_gain();
}

EMSCRIPTEN_KEEPALIVE void dunravel_set_muted(int muted)
{
    demo.muted = muted != 0;
    apply_gain();
}

// One of PageState: 0 loading, 1 ready, 2 playing, 3 paused, 4 ended,
// 5 frame shown (?at=), 6 failed.
EMSCRIPTEN_KEEPALIVE int dunravel_state()
{
    return demo.page_state;
}

} // extern "C"

int demo_main(int, char**)
{
    paths_init();
    demo = WebDemo{};
    demo.pending_seek = -1.0;
    demo.volume = 1.0;
    demo.at_seconds = web_query_at();
    demo.bench = web_query_bench() != 0;
    demo.fps = web_query_fps();
    if (demo.fps == 0)
        demo.fps = 60;
    publish_chapters();
    show("loading", PAGE_LOADING);
    if (demo.at_seconds >= 0.0 || demo.bench)
        music_set_clock(MUSIC_CLOCK_FIXED, demo.fps);
    else
        music_set_clock(MUSIC_CLOCK_DEVICE, 0);
    VideoSettings video = {VIDEO_WINDOW, 1, 0, 0};
    video_configure(&video);
    if (video_open(1) != 0) {
        fail("The canvas could not be opened for drawing.");
        return 1;
    }
    clock_reset();
    clock_advance_counter();
    if (music_open_output() != 0) {
        fail("This browser cannot play sound (no Web Audio), so the demo cannot keep time with its music.");
        return 1;
    }
    if (!font_usable()) {
        fail("The font (fonts/LiberationSans-Regular.ttf in index.data) is missing or damaged.");
        return 1;
    }
    if (loading_screen_begin(&demo.loading) != 0) {
        fail("The browser ran out of memory for the loading screen.");
        return 1;
    }
    demo.loading_shown = true;
    demo.stage = STAGE_DATA;
    // requestAnimationFrame pacing; main returns into the browser.
    emscripten_set_main_loop(frame_step, 0, 0);
    return 0;
}

// The page's controls: seek music and picture to a music time (clamped to
// the show: before 0 at 0, past the end on the end card). Before playing
// starts it sets where playing starts (?t=). Only while the page plays live.
extern "C" EMSCRIPTEN_KEEPALIVE void dunravel_seek(double seconds)
{
    if (!std::isfinite(seconds) || demo.at_seconds >= 0.0)
        return;
    if (demo.stage == STAGE_PLAYING)
        seek_to(seconds);
    else if (demo.stage < STAGE_PLAYING)
        demo.pending_seek = seconds > 0.0 ? seconds : 0.0;
}

// The music position the listener hears, in seconds (before playing: where
// it will start).
extern "C" EMSCRIPTEN_KEEPALIVE double dunravel_position()
{
    if (demo.stage == STAGE_PLAYING)
        return music_position();
    return demo.pending_seek > 0.0 ? demo.pending_seek : 0.0;
}
