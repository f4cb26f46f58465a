// The program in the page (demo.h): one function the browser calls once per
// display frame (requestAnimationFrame) walks the stages: load one effect row
// per call under the loading screen (there is no second thread), decode the
// music, wait for a click or key (browsers start sound only after a
// gesture), then play: the clock from what the listener hears, the player's
// keys of the window (player.h; 1 saves the frame as a PNG download, f asks
// the browser for full screen), and dunravel_seek / dunravel_position for
// the page's controls. index.html?at=SECONDS draws
// the frame at that music time on the fixed-step clock instead, every frame
// before it first (as --warm-up does), and sets the page title to
// "frame ready"; &fps=N picks the step (default 60).
#include "runtime/demo.h"

#include "core/core.h"
#include "platform/counter.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/loading_screen.h"
#include "runtime/player.h"
#include "runtime/video.h"

#include <SDL.h>
#include <emscripten.h>

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
// What the page shows around the canvas: "ready" (asks for a click or key),
// "playing", "ended", "failed"; and the title.
EM_JS(void, web_show, (const char* stage), {
    if (Module.dunravelShow)
        Module.dunravelShow(UTF8ToString(stage));
});
EM_JS(void, web_set_title, (const char* title), { document.title = UTF8ToString(title); });
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
    STAGE_LOADING, // one effect row per frame under the loading screen
    STAGE_MUSIC,   // decode the track
    STAGE_READY,   // wait for the gesture
    STAGE_WARM_UP, // at=: the frames before the asked one
    STAGE_PLAYING,
    STAGE_DONE
};

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
};

WebDemo demo;

void finish(const char* shown)
{
    if (demo.loading_shown)
        loading_screen_end(&demo.loading);
    demo.loading_shown = false;
    web_show(shown);
    demo.stage = STAGE_DONE;
    emscripten_cancel_main_loop();
}

void fail(const char* what)
{
    std::fprintf(stderr, "dunravel: %s\n", what);
    web_set_title("failed");
    finish("failed");
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
            fail("an effect could not be loaded (the line above says which file)");
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
        fail("the music could not be loaded");
        return;
    }
    double track = demo_music_seconds();
    demo_warn_short_music(track);
    loading_screen_end(&demo.loading);
    demo.loading_shown = false;
    if (demo.at_seconds >= 0.0) {
        if (demo.at_seconds >= track) {
            effects_free_all();
            music_close();
            fail("at= lies past the end of the music");
            return;
        }
        music_play();
        demo.at_frame = music_frame_at(demo.at_seconds, demo.fps);
        music_seek_frame(0);
        demo.stage = STAGE_WARM_UP;
        return;
    }
    timeline_prepare_seeking(); // the scenes' seek snapshots, before the page asks for a seek
    web_show("ready");
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
    demo_draw_frame(); // presents it
    std::printf("frame %lld at %.6fs drawn\n", static_cast<long long>(music_frame_index()), music_seconds);
    effects_free_all();
    music_close();
    web_set_title("frame ready");
    finish("shown");
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
        demo.paused = !demo.paused;
        music_pause(demo.paused ? 1 : 0);
        break;
    case PLAYER_SCREENSHOT:
        save_frame();
        break;
    case PLAYER_STEP:
        if (!demo.paused) {
            demo.paused = true;
            music_pause(1);
        }
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
    case PLAYER_MUTE:
        demo.muted = !demo.muted;
        music_set_muted(demo.muted ? 1 : 0);
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
        finish("ended");
        return;
    }
    if (demo.paused && !demo.redraw)
        return; // the canvas keeps the last frame
    music_update();
    demo_draw_frame();
    demo.shown = music_seconds;
    demo.redraw = false;
    web_frames_drawn(++demo.frames_drawn);
}

void frame_step()
{
    switch (demo.stage) {
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
            web_show("playing");
            demo.stage = STAGE_PLAYING;
            demo.end_seconds = std::fmin(demo_music_seconds(), timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM);
            if (demo.pending_seek > 0.0)
                seek_to(demo.pending_seek);
            demo.pending_seek = -1.0;
        }
        break;
    }
    case STAGE_WARM_UP:
        warm_up_step();
        break;
    case STAGE_PLAYING:
        play_step();
        break;
    default:
        break;
    }
}

} // namespace

int demo_main(int, char**)
{
    paths_init();
    demo = WebDemo{};
    demo.pending_seek = -1.0;
    demo.at_seconds = web_query_at();
    demo.fps = web_query_fps();
    if (demo.fps == 0)
        demo.fps = 60;
    if (demo.at_seconds >= 0.0)
        music_set_clock(MUSIC_CLOCK_FIXED, demo.fps);
    else
        music_set_clock(MUSIC_CLOCK_DEVICE, 0);
    VideoSettings video = {VIDEO_WINDOW, 1, 0, 0};
    video_configure(&video);
    if (video_open(1) != 0) {
        fail("the canvas could not be opened");
        return 1;
    }
    clock_reset();
    clock_advance_counter();
    if (music_open_output() != 0) {
        fail("Web Audio is not available in this browser");
        return 1;
    }
    if (loading_screen_begin(&demo.loading) != 0) {
        fail("out of memory");
        return 1;
    }
    demo.loading_shown = true;
    demo.stage = STAGE_LOADING;
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
