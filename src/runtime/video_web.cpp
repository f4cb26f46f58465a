// Video output in the page (video.h): the program draws into its own
// 0x00RRGGBB frame and frame_end copies it into the canvas surface of
// emscripten's SDL 1.2 layer in that surface's byte order (canvas_order.h:
// from its colour masks, as the layer reports every shift as 0). The layer is
// told never to read the canvas back: every frame overwrites all of it.
#include "runtime/video.h"
#include "runtime/video_web.h"

#include "core/frame.h"
#include "runtime/canvas_order.h"

#include <SDL.h>
#include <emscripten.h>

#include <cstdlib>

namespace
{

SDL_Surface* surface = nullptr; // the canvas, null offscreen
uint32_t* own_pixels = nullptr;
FrameSurface frame = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
bool sdl_started = false;
int32_t offscreen = 0;
int32_t hold_canvas = 0;

CanvasOrder order = {16, 8, 0, 0};

} // namespace

void video_configure(const VideoSettings* s)
{
    offscreen = s->offscreen;
}

int32_t video_open(int32_t create_depth)
{
    own_pixels = static_cast<uint32_t*>(std::calloc(SCREEN_WIDTH * SCREEN_HEIGHT, sizeof(uint32_t)));
    if (!own_pixels)
        return 1;
    frame.pixels = own_pixels;
    screen = &frame;
    if (!offscreen) {
        if (SDL_Init(SDL_INIT_VIDEO) == -1) {
            video_close();
            return 1;
        }
        sdl_started = true;
        // Locking the screen would otherwise copy the canvas into memory
        // (getImageData) and force every alpha byte each frame; the frame
        // written here is whole and opaque.
        EM_ASM({
            SDL.defaults.copyOnLock = false;
            SDL.defaults.discardOnLock = true;
            SDL.defaults.opaqueFrontBuffer = false;
        });
        surface = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, SDL_SWSURFACE);
        if (!surface || surface->format->BytesPerPixel != 4 || surface->pitch < SCREEN_WIDTH * 4) {
            video_close();
            return 1;
        }
        const SDL_PixelFormat* f = surface->format;
        order = canvas_order_from_masks(f->Rmask, f->Gmask, f->Bmask, f->Amask);
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
    std::free(own_pixels);
    own_pixels = nullptr;
    frame.pixels = nullptr;
    if (sdl_started) {
        SDL_Quit();
        sdl_started = false;
    }
    surface = nullptr;
}

void frame_lock() {}

void frame_begin()
{
    if (depth_buffer)
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
}

void video_web_hold_canvas(int32_t hold)
{
    hold_canvas = hold;
}

void frame_end()
{
    if (!surface || hold_canvas)
        return;
    SDL_LockSurface(surface);
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++)
        canvas_convert(
            own_pixels + y * SCREEN_WIDTH,
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch),
            SCREEN_WIDTH, order);
    SDL_UnlockSurface(surface);
    SDL_Flip(surface);
}
