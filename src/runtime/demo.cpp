// Start-up, frame loop and shut-down (demo.h). The main thread loads every
// effect and opens the music while the loading-screen thread (SDL_CreateThread)
// keeps the picture alive; after the join everything runs on the main thread.
#include "runtime/demo.h"

#include "core/frame.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/loading_screen.h"
#include "runtime/options.h"
#include "runtime/screenshot.h"
#include "runtime/video.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* MUSIC_PATH = "data\\dunravel.mp3";
constexpr float TEMPO_BPM = 90.0f;

float start_seconds = 0.0f;

// Everything the frame loop needs built: the effects, then the music. On a
// music failure the effects are released again. 0 or 1. Runs on whichever
// thread does the loading; it never touches the surface.
int32_t load_everything()
{
    if (effects_load_all() != 0)
        return 1;
    if (music_open(MUSIC_PATH, TEMPO_BPM, start_seconds) != 0) {
        effects_free_all();
        return 1;
    }
    return 0;
}

// True when the window was asked to close.
bool quit_requested()
{
    SDL_Event event;
    return SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_QUITMASK) > 0;
}

void draw_frame()
{
    frame_begin();
    std::memset(screen->pixels, 0, static_cast<size_t>(screen->pitch) * SCREEN_HEIGHT);
    timeline_render();
    frame_end();
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
    if (options.data_dir)
        paths_set_data_dir(options.data_dir);
    start_seconds = static_cast<float>(static_cast<double>(options.start_beat) * 60.0 / TEMPO_BPM);
    music_set_clock(options.no_sound ? MUSIC_CLOCK_SILENT : MUSIC_CLOCK_DEVICE, 0);
    VideoSettings video = {options.video_mode, options.scale, options.vsync, 0};
    video_configure(&video);

    // Start-up.
    if (video_open(1) != 0)
        std::exit(1);
    clock_reset();
    std::atexit(video_close);
    clock_advance_counter();
    loading_active.store(1);
    SDL_Thread* thread = SDL_CreateThread(loading_screen_main, nullptr);
    if (!thread) {
        loading_active.store(0);
        std::exit(1);
    }
    int32_t status = load_everything();
    loading_active.store(0);
    SDL_WaitThread(thread, nullptr);
    if (status != 0)
        std::exit(1);
    SDL_Delay(500);
    if (music_play() != 0) {
        effects_free_all();
        music_close();
        std::exit(1);
    }

    // Frame loop.
    int32_t screenshot_guard = 0;
    while (music_is_playing()) {
        SDL_PumpEvents();
        const Uint8* keys = SDL_GetKeyState(nullptr);
        if (keys[SDLK_ESCAPE] || quit_requested())
            break;
        music_update();
        draw_frame();
        if (screenshot_due(keys[SDLK_1], &screenshot_guard))
            screenshot_save(screen, nullptr, 0);
    }

    effects_free_all();
    music_close();
    std::exit(0);
}
