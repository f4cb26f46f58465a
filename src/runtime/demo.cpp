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
#include "runtime/screenshot.h"
#include "runtime/video.h"

#include <SDL.h>

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

// True when the window was asked to close.
bool quit_requested()
{
    SDL_Event event;
    return SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_QUITMASK) > 0;
}

// Space toggles the pause on its press, not while held.
struct PauseKey {
    bool was_down = false;
    bool paused = false;
};

void pause_key_update(PauseKey* key, bool down)
{
    if (down && !key->was_down) {
        key->paused = !key->paused;
        music_pause(key->paused ? 1 : 0);
    }
    key->was_down = down;
}

// While paused the loop only presents the same frame again and reads the
// keys: at most 30 times a second, or the cap when that is lower.
int32_t paused_fps(int32_t max_fps)
{
    return max_fps > 0 && max_fps < 30 ? max_fps : 30;
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
    if (!offline)
        SDL_Delay(500);
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
    // presented again, so nothing that carries state from frame to frame moves.
    // Each turn first waits for its slot under the frame-rate cap, then reads
    // the keys and the music clock, so the picture shows the time it is
    // presented at.
    ScreenshotRepeat screenshots = {};
    PauseKey pause;
    Pacing pacing = {};
    while (music_is_playing()) {
        pacing_wait(&pacing, pause.paused ? paused_fps(options.max_fps) : options.max_fps);
        SDL_PumpEvents();
        const Uint8* keys = SDL_GetKeyState(nullptr);
        if (keys[SDLK_ESCAPE] || quit_requested())
            break;
        pause_key_update(&pause, keys[SDLK_SPACE] != 0);
        if (pause.paused) {
            frame_begin(); // presents the last frame again, untouched
            frame_end();
        } else {
            music_update();
            demo_draw_frame();
        }
        if (screenshot_due(keys[SDLK_1] || keys[SDLK_F12], counter_now(), counter_frequency(), &screenshots))
            screenshot_take(screen);
    }

    effects_free_all();
    music_close();
    std::exit(0);
}
