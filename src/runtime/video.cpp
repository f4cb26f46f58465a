// Video output (video.h) on the SDL 1.2 API. When the platform's surface is
// not 640 × 480 with a 2,560-byte pitch and 0x00RRGGBB masks, the program
// draws into its own buffer and frame_end copies it to the surface, so the
// picture is the same everywhere.
#include "runtime/video.h"

#include "core/frame.h"
#include "platform/question.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace
{

enum : uint32_t { RED_MASK = 0x00FF0000u, GREEN_MASK = 0x0000FF00u, BLUE_MASK = 0x000000FFu };

VideoSettings settings = {VIDEO_ASK, 1, 0, 0};
SDL_Surface* surface = nullptr;  // the display surface, null offscreen
SDL_Surface* own_view = nullptr; // own_pixels seen as an SDL surface, for the copy
uint32_t* own_pixels = nullptr;  // the program's own frame, when it needs one
FrameSurface frame = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
bool sdl_started = false;

bool surface_is_direct(const SDL_Surface* s)
{
    const SDL_PixelFormat* f = s->format;
    return s->w == SCREEN_WIDTH && s->h == SCREEN_HEIGHT && s->pitch == SCREEN_WIDTH * 4 &&
           f->BitsPerPixel == 32 && f->Rmask == RED_MASK && f->Gmask == GREEN_MASK && f->Bmask == BLUE_MASK;
}

// Sets an SDL 1.2 layer setting unless the user already set it.
void set_default_env(const char* name, const char* value)
{
#ifdef _WIN32
    if (!std::getenv(name))
        _putenv_s(name, value);
#else
    setenv(name, value, 0);
#endif
}

void print_rendering_info()
{
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (!info || !info->vfmt)
        return;
    const SDL_PixelFormat* f = info->vfmt;
    std::printf("rendering info:\n");
    std::printf("\thardware surface %d\n", static_cast<int>(info->hw_available));
    std::printf("\twindow manager   %d\n", static_cast<int>(info->wm_available));
    std::printf("\thardware blit    %d\n", static_cast<int>(info->blit_hw));
    std::printf("\thardware blit cc %d\n", static_cast<int>(info->blit_hw_CC));
    std::printf("\thardware blit a  %d\n", static_cast<int>(info->blit_hw_A));
    std::printf("\tsoftware blit    %d\n", static_cast<int>(info->blit_sw));
    std::printf("\tsoftware blit cc %d\n", static_cast<int>(info->blit_sw_CC));
    std::printf("\tsoftware blit a  %d\n", static_cast<int>(info->blit_sw_A));
    std::printf("\thardware fill    %d\n", static_cast<int>(info->blit_fill));
    std::printf("\tvideo memory     %d\n", static_cast<int>(info->video_mem));
    std::printf("\tpixel format:\n");
    std::printf("\t\tbits per pixel  %d\n", f->BitsPerPixel);
    std::printf("\t\tbytes per pixel %d\n", f->BytesPerPixel);
    std::printf("\t\tshift a:%d r:%d g:%d b:%d\n", f->Ashift, f->Rshift, f->Gshift, f->Bshift);
    std::printf("\t\tmask  a:%.8X r:%.8X g:%.8X b:%.8X\n", f->Amask, f->Rmask, f->Gmask, f->Bmask);
    std::printf("\t\tloss  a:%d r:%d g:%d b:%d\n", f->Aloss, f->Rloss, f->Gloss, f->Bloss);
    std::fflush(stdout);
}

// The program's own 640 × 480 frame (offscreen, or a surface of another shape).
bool make_own_frame()
{
    own_pixels = static_cast<uint32_t*>(std::calloc(SCREEN_WIDTH * SCREEN_HEIGHT, sizeof(uint32_t)));
    if (!own_pixels)
        return false;
    if (surface) {
        own_view = SDL_CreateRGBSurfaceFrom(own_pixels, SCREEN_WIDTH, SCREEN_HEIGHT, 32, SCREEN_WIDTH * 4,
                                            RED_MASK, GREEN_MASK, BLUE_MASK, 0);
        if (!own_view)
            return false;
    }
    frame.pixels = own_pixels;
    return true;
}

} // namespace

void video_configure(const VideoSettings* s)
{
    settings = *s;
    if (settings.scale < 1)
        settings.scale = 1;
}

int32_t video_open(int32_t create_depth)
{
    if (settings.offscreen) {
        if (!make_own_frame()) {
            video_close();
            return 1;
        }
        screen = &frame;
    } else {
        if (settings.scale > 1) {
            char value[16];
            std::snprintf(value, sizeof value, "%d", settings.scale);
            set_default_env("SDL12COMPAT_WINDOW_SCALING", value);
        }
        // The SDL 1.2 layer presents through an SDL2 renderer and asks it
        // for vertical sync when this is set (GL's swap control does not
        // apply to a software surface); drivers without it ignore it.
        set_default_env("SDL12COMPAT_SYNC_TO_VBLANK", settings.vsync ? "1" : "0");
        if (SDL_Init(SDL_INIT_VIDEO) == -1)
            return 1;
        sdl_started = true;
        bool full =
            settings.mode == VIDEO_FULLSCREEN ||
            (settings.mode == VIDEO_ASK && question_yes_no("Tolvenari", "Fullscreen?") == QUESTION_YES);
        if (full) {
            surface = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, SDL_FULLSCREEN);
            SDL_ShowCursor(0);
            SDL_Delay(2000);
        } else {
            surface = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0);
            SDL_ShowCursor(0);
        }
        if (!surface) {
            video_close();
            return 1;
        }
        SDL_WM_SetCaption("Tolvenari SW Renderer", nullptr);
        print_rendering_info();
        if (!surface_is_direct(surface) && !make_own_frame()) {
            video_close();
            return 1;
        }
        frame.pixels = own_pixels ? own_pixels : static_cast<uint32_t*>(surface->pixels);
        screen = &frame;
    }
    if (create_depth) {
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        if (!depth_buffer) {
            video_close();
            return 1;
        }
    }
    specular_ramp_build();
    return 0;
}

void video_close()
{
    depth_buffer_free(depth_buffer);
    depth_buffer = nullptr;
    screen = nullptr;
    if (own_view)
        SDL_FreeSurface(own_view);
    own_view = nullptr;
    std::free(own_pixels);
    own_pixels = nullptr;
    frame.pixels = nullptr;
    if (sdl_started) {
        SDL_ShowCursor(1);
        SDL_Quit();
        sdl_started = false;
    }
    surface = nullptr;
}

void frame_lock()
{
    if (surface && !own_pixels) {
        if (SDL_MUSTLOCK(surface))
            SDL_LockSurface(surface);
        frame.pixels = static_cast<uint32_t*>(surface->pixels);
    }
}

void frame_begin()
{
    frame_lock();
    if (depth_buffer)
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
}

void frame_end()
{
    if (!surface)
        return;
    if (own_pixels) {
        SDL_BlitSurface(own_view, nullptr, surface, nullptr);
    } else if (SDL_MUSTLOCK(surface)) {
        SDL_UnlockSurface(surface);
    }
    SDL_Flip(surface);
}

int32_t video_toggle_fullscreen()
{
    if (!surface)
        return 0;
    return SDL_WM_ToggleFullScreen(surface) ? 1 : 0;
}
