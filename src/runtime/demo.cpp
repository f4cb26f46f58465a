// Start-up, frame loop and shut-down (demo.h). The main thread opens the
// window and the sound device, then draws the loading screen while a loader
// thread (SDL_CreateThread) loads every effect and decodes the music; after
// the join everything runs on the main thread.
#include "runtime/demo.h"

#include "core/frame.h"
#include "platform/counter.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/loading_screen.h"
#include "runtime/offline.h"
#include "runtime/options.h"
#include "runtime/pacing.h"
#include "runtime/player.h"
#include "runtime/position_line.h"
#include "runtime/screenshot.h"
#include "runtime/video.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

float start_seconds = 0.0f;

// The loader thread: every effect, then the track (decoding only: the sound
// device is opened by the main thread before this starts). On a music
// failure the effects are released again. It never touches the surface or
// SDL; loading_active is the only variable it shares with the main thread,
// and the loads continue the one process-wide random sequence (the loading
// screen draws no random numbers).
int loader_thread_main(void*)
{
    int32_t status = 0;
    if (effects_load_all() != 0) {
        status = 1;
    } else if (music_load(DEMO_MUSIC_PATH, DEMO_TEMPO_BPM, start_seconds) != 0) {
        effects_free_all();
        status = 1;
    }
    loading_active.store(0);
    return status;
}

// SDL 1.2 runs on SDL2 here, whose back ends (X11 with its GL renderer,
// Wayland) want the window presented and its events pumped on the thread
// that created it: the main thread draws the loading screen while a second
// thread loads. 0 or 1.
int32_t load_everything(int32_t max_fps)
{
    loading_active.store(1);
    SDL_Thread* thread = SDL_CreateThread(loader_thread_main, nullptr);
    if (!thread) {
        loading_active.store(0);
        return 1;
    }
    loading_screen_run(max_fps); // returns once loading_active reads 0
    int status = 1;
    SDL_WaitThread(thread, &status);
    return status;
}

// The track against the timeline: a shorter track ends the demo early (one
// warning line); a start at or past the track's end is a usage error (2).
int32_t check_music_length(const char* start_option, double start)
{
    double track = demo_music_seconds();
    if (start > 0.0 && start >= track) {
        std::fprintf(stderr, "dunravel: %s %.3fs lies past the end of the music (%.3fs)\n", start_option,
                     start, track);
        return 2;
    }
    demo_warn_short_music(track);
    return 0;
}

// While paused the loop only presents the same frame again and reads the
// keys: at most 30 times a second, or the cap when that is lower.
int32_t paused_fps(int32_t max_fps)
{
    return max_fps > 0 && max_fps < 30 ? max_fps : 30;
}

// The live player: what the keys have set and the picture shown.
struct Player {
    bool paused = false;
    bool muted = false;
    bool redraw = false;      // draw at the clock's new place although paused
    double shown = 0.0;       // the music time of the picture on screen (or a seek's target)
    double end_seconds = 0.0; // where the show ends: the music's or the timeline's end
    int32_t shot_key_down = 0;
    int32_t shots_due = 0; // screenshots due with this frame: one a press, and the held key's repeats
    ScreenshotRepeat shots = {};
    KeyRepeat repeat = {};
    PositionLine line = {};
};

void show_position(Player* p, double seconds, int64_t now)
{
    char text[96];
    player_position_text(seconds, text, sizeof text);
    position_line_show(&p->line, text, now, counter_frequency(), PLAYER_POSITION_MS);
}

// Moves music and picture to the target: the music first (the clock then
// reads what is heard from there), the scenes' carried state next, so the
// first frame there is the one a run from the start draws.
void seek_to(Player* p, double target, int64_t now)
{
    const double landed = music_seek(target);
    timeline_advance(landed);
    p->shown = landed;
    p->redraw = true;
    show_position(p, landed, now);
}

// One command; false when it ends the demo.
bool act(Player* p, PlayerKey key, int64_t now)
{
    switch (key.command) {
    case PLAYER_QUIT:
        return false;
    case PLAYER_PAUSE:
        p->paused = !p->paused;
        music_pause(p->paused ? 1 : 0);
        break;
    case PLAYER_STEP:
        if (!p->paused) {
            p->paused = true;
            music_pause(1);
        }
        seek_to(p, player_target(key, p->shown, p->end_seconds), now);
        break;
    case PLAYER_SEEK:
    case PLAYER_PREVIOUS_SCENE:
    case PLAYER_NEXT_SCENE:
    case PLAYER_HOME:
        seek_to(p, player_target(key, p->shown, p->end_seconds), now);
        break;
    case PLAYER_FULLSCREEN:
        video_toggle_fullscreen();
        break;
    case PLAYER_MUTE:
        p->muted = !p->muted;
        music_set_muted(p->muted ? 1 : 0);
        break;
    case PLAYER_POSITION:
        show_position(p, p->shown, now);
        break;
    default:
        break;
    }
    return true;
}

// Every event since the last frame, in order: a key acts on its press, even
// one released again before this frame. False when the demo is to end.
bool read_events(Player* p, int64_t now)
{
    const int64_t frequency = counter_frequency();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            return false;
        if (event.type == SDL_KEYUP) {
            key_repeat_release(&p->repeat, event.key.keysym.sym);
            if (player_key(event.key.keysym.sym, 0).command == PLAYER_SCREENSHOT && p->shot_key_down > 0 &&
                --p->shot_key_down == 0)
                screenshot_due(0, now, frequency, &p->shots);
            continue;
        }
        if (event.type != SDL_KEYDOWN)
            continue;
        const PlayerKey key = player_key(event.key.keysym.sym, event.key.keysym.mod);
        if (key.command == PLAYER_SCREENSHOT) {
            // Every press saves one, however soon after the last; holding
            // it repeats from this press on.
            p->shot_key_down++;
            p->shots = {};
            p->shots_due += screenshot_due(1, now, frequency, &p->shots);
            continue;
        }
        if (player_key_repeats(key.command))
            key_repeat_press(&p->repeat, event.key.keysym.sym, event.key.keysym.mod, now, frequency);
        if (!act(p, key, now))
            return false;
    }
    if (key_repeat_due(&p->repeat, now, frequency))
        act(p, player_key(p->repeat.sym, p->repeat.modifiers), now);
    if (p->shot_key_down > 0)
        p->shots_due += screenshot_due(1, now, frequency, &p->shots);
    return true;
}

} // namespace

int demo_main(int argc, char** argv)
{
    Options options;
    int32_t parsed = options_parse(argc, argv, &options);
    if (parsed == OPTIONS_HELP) {
        options_print_usage(stdout);
        return 0;
    }
    if (parsed == OPTIONS_ERROR) {
        options_print_usage(stderr);
        return 2;
    }
    paths_init();
    if (options.data_dir && paths_set_data_dir(options.data_dir) != 0) {
        std::fprintf(stderr, "dunravel: the --data folder name is too long (%zu bytes, at most %d)\n",
                     std::strlen(options.data_dir), PATHS_DATA_DIR_MAX);
        return 2;
    }
    bool offline = options_offline(&options);
    double start = options.start_beat * 60.0 / DEMO_TEMPO_BPM;
    if (offline && options.from_seconds >= 0.0)
        start = options.from_seconds;
    double requested_start = start;
    if (offline && options.warm_up)
        start = 0.0; // the warm-up draws from the first frame
    start_seconds = static_cast<float>(start);
    if (offline)
        music_set_clock(MUSIC_CLOCK_FIXED, options.fps);
    else
        music_set_clock(options.no_sound ? MUSIC_CLOCK_SILENT : MUSIC_CLOCK_DEVICE, 0);
    VideoSettings video = {options.video_mode, options.scale, options.vsync, offline ? 1 : 0};
    video_configure(&video);

    // Start-up.
    if (video_open(1) != 0)
        std::exit(1);
    clock_reset();
    std::atexit(video_close);
    clock_advance_counter();
    if (music_open_output() != 0)
        std::exit(1);
    if (load_everything(options.max_fps) != 0) {
        music_close();
        std::exit(1);
    }
    // The drawing helper starts once the loader thread has finished.
    raster_threads_start(options_threads(&options, std::thread::hardware_concurrency()));
    int32_t length_status = check_music_length(offline ? "--from" : "--start", requested_start);
    if (length_status != 0) {
        effects_free_all();
        music_close();
        std::exit(length_status);
    }
    if (!offline) {
        // Half a second before the music starts, as ever; the scenes' seek
        // snapshots are made in it.
        const int64_t wait_from = counter_now();
        timeline_prepare_seeking();
        const int64_t spent_ms = (counter_now() - wait_from) * 1000 / counter_frequency();
        if (spent_ms < 500)
            SDL_Delay(static_cast<Uint32>(500 - spent_ms));
    }
    if (music_play() != 0) {
        effects_free_all();
        music_close();
        std::exit(1);
    }

    if (offline) {
        int result = offline_run(&options);
        effects_free_all();
        music_close();
        std::exit(result);
    }

    // Frame loop. While paused the clock stands still and the last frame is
    // presented again, so nothing that carries state from frame to frame
    // moves; a seek or a step while paused draws the frame at the new place.
    // Each turn first waits for its slot under the frame-rate cap, then reads
    // the key events and the music clock, so the picture shows the time it is
    // presented at. Screenshots are taken from the picture alone, before the
    // position line is laid over it.
    Player player;
    player.end_seconds = std::fmin(demo_music_seconds(), timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM);
    player.shown = requested_start;
    Pacing pacing = {};
    while (music_is_playing()) {
        pacing_wait(&pacing, player.paused && !player.redraw ? paused_fps(options.max_fps) : options.max_fps);
        const int64_t now = counter_now();
        if (!read_events(&player, now))
            break;
        if (!player.paused || player.redraw) {
            position_line_erase(&player.line); // the picture is drawn anew
            music_update();
            demo_draw_picture();
            player.shown = music_seconds;
            player.redraw = false;
        } else {
            frame_lock(); // the last frame again, untouched
            position_line_erase(&player.line);
        }
        for (; player.shots_due > 0; player.shots_due--)
            screenshot_take(screen);
        position_line_draw(&player.line, now);
        frame_end();
    }
    position_line_free(&player.line);

    effects_free_all();
    music_close();
    std::exit(0);
}
