// The loading screen (loading_screen.h): captions written once, then frame
// after frame of twenty spinning flat rings mixed with the captions and a
// rotating choice of glows and scan lines, until loading_active reads 0.
// Draws no random numbers; the animation follows the counter, paced by
// pacing.h. Relies on the video brackets, text images, the 2D operations, the
// ring mesh, lighting and mesh drawing.
#include "runtime/loading_screen.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "platform/counter.h"
#include "raster/raster.h"
#include "runtime/pacing.h"
#include "runtime/video.h"
#include "scene/generate.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scenes/kit.h"

#include <SDL.h>

#include <cstring>

std::atomic<int32_t> loading_active{0};

namespace
{

struct Caption {
    const char* text;
    int32_t size;
    uint32_t colour;
    int32_t x, y;
    int32_t mode;
};

const Caption captions[] = {
    {"Zero Polys", 32, 0xFFFF7F3Fu, 128, 128, BLIT_COPY},
    {"Zero Polys", 16, 0xFF00FF7Fu, 288, 128, BLIT_ADD},
    {"Zero Polys", 8, 0xFF007FFFu, 368, 128, BLIT_ADD},
    {"No Shaders", 8, 0xFF007FFFu, 144, 240, BLIT_ADD},
    {"No Shaders", 16, 0xFF00FF7Fu, 192, 240, BLIT_ADD},
    {"No Shaders", 32, 0xFFFF7F3Fu, 288, 240, BLIT_ADD},
    {"software rendering is back...", 16, 0xFFFFFFFFu, 192, 152, BLIT_ADD},
};

// The five groups of four rings: rotation kind, position and angle step.
struct RingGroup {
    int32_t yxz;    // 0: rotation about x by a; 1: yxz(y_factor * a, pi/4, a)
    float y_factor; // -1/4 or 1/2
    float x, y;
    float step;
};

const RingGroup ring_groups[5] = {
    {0, 0.0f, 0.0f, 0.0f, 0.7853982f},  {1, -0.25f, -8.0f, -8.0f, 0.5235988f},
    {1, 0.5f, 8.0f, -8.0f, 0.5235988f}, {1, -0.25f, -8.0f, 8.0f, 0.62831855f},
    {1, 0.5f, 8.0f, 8.0f, 0.62831855f},
};

void clear_screen()
{
    std::memset(screen->pixels, 0, static_cast<size_t>(screen->pitch) * SCREEN_HEIGHT);
}

void copy_screen(Texture* layer)
{
    for (int32_t y = 0; y < SCREEN_HEIGHT; ++y)
        std::memcpy(layer->pixels + y * SCREEN_WIDTH, screen_row(y), SCREEN_WIDTH * sizeof(uint32_t));
}

void draw_rings(Mesh* ring, int32_t frame)
{
    Camera camera;
    camera_look(&camera, scene_frame_at(0.0, nullptr), {0.0f, 0.0f, 10.0f}, {0.0f, 0.0f, 0.0f}, 1.0f, 256.0f,
                90.0f);
    set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);

    Vec3 light = {0.0f, 0.0f, 1.0f};
    float a = static_cast<float>(frame) / 8.0f;
    for (const RingGroup& group : ring_groups) {
        for (int32_t k = 0; k < 4; ++k) {
            Matrix& model = ring->model;
            if (group.yxz)
                matrix_rotation_yxz(&model, group.y_factor * a, 0.7853982f, a);
            else
                matrix_rotation_x(&model, a);
            model.m[12] = group.x;
            model.m[13] = group.y;
            model.m[14] = 8.0f * static_cast<float>(k);
            a += group.step;

            mesh_transform_view(ring, &camera, TRANSFORM_PLANES);
            mesh_light(ring, &light, LIGHT_PER_TRIANGLE);
            draw_mesh_clipped(ring, &camera, FILL_FLAT | FILL_DEPTH);
        }
    }
}

} // namespace

uint32_t loading_screen_filters(int32_t frame)
{
    uint32_t filters = 0;
    if (frame & 2)
        filters |= LOADING_GLOW_HORIZONTAL;
    if (frame & 4)
        filters |= LOADING_GLOW_VERTICAL;
    if (frame & 8)
        filters |= LOADING_SCANLINES;
    if (frame & 16)
        filters |= LOADING_BLOCK_GLOW;
    return filters;
}

int32_t loading_screen_blend_mode(int32_t frame)
{
    return (frame & 0x15) < 7 ? BLEND_SCREEN_WEIGHT : BLEND_ALPHA;
}

int32_t loading_screen_frame_at(int64_t elapsed, int64_t frequency)
{
    if (elapsed <= 0 || frequency <= 0)
        return 0;
    // Wraps after about a year; the filters repeat every 32 frames anyway.
    return static_cast<int32_t>((elapsed / frequency * 60 + elapsed % frequency * 60 / frequency) &
                                0x7fffffff);
}

int32_t loading_screen_begin(LoadingScreen* ls)
{
    ls->ring = mesh_create_ring(32, 5.0f, 4.0f, 0xc0c0c0c0u);
    ls->caption_layer = texture_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    ls->glow_layer = texture_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    Texture* text_layer = texture_create(256, 256);
    if (!ls->ring || !ls->caption_layer || !ls->glow_layer || !text_layer) {
        texture_free(text_layer);
        loading_screen_end(ls);
        return 1;
    }
    ls->ring->flags = MESH_TWO_SIDED;

    frame_begin();
    clear_screen();
    for (const Caption& c : captions) {
        text_image(text_layer, "Arial", c.size, 0, 32, c.colour, c.text);
        blit_image(text_layer, c.x, c.y, c.mode);
    }
    copy_screen(ls->caption_layer);
    frame_end();
    texture_free(text_layer);
    ls->start = counter_now();
    return 0;
}

void loading_screen_frame(LoadingScreen* ls, int32_t frame)
{
    frame_begin();
    clear_screen();
    draw_rings(ls->ring, frame);
    blit_image(ls->caption_layer, -2, -2, BLIT_AVERAGE);
    const uint32_t filters = loading_screen_filters(frame);
    if (filters & LOADING_GLOW_HORIZONTAL)
        glow_horizontal();
    if (filters & LOADING_GLOW_VERTICAL)
        glow_vertical();
    if (filters & LOADING_SCANLINES)
        rgb_scanlines();
    if (filters & LOADING_BLOCK_GLOW)
        block_glow(0x5B5B5B5Bu);
    copy_screen(ls->glow_layer);
    zoom_blur(ls->glow_layer, 320, 240, 1, 6);
    blit_image(ls->glow_layer, 0, 0, BLIT_ADD);
    blend_image(ls->caption_layer, 0, 0, 255, loading_screen_blend_mode(frame));
    frame_end();
}

int32_t loading_screen_frame_now(const LoadingScreen* ls)
{
    return loading_screen_frame_at(counter_now() - ls->start, counter_frequency());
}

void loading_screen_end(LoadingScreen* ls)
{
    mesh_free(ls->ring);
    texture_free(ls->caption_layer);
    texture_free(ls->glow_layer);
    ls->ring = nullptr;
    ls->caption_layer = nullptr;
    ls->glow_layer = nullptr;
}

void (*loading_screen_presented)(int32_t frame) = nullptr;

int32_t loading_screen_run(int32_t max_fps)
{
    LoadingScreen ls;
    if (loading_screen_begin(&ls) != 0)
        return 1;
    Pacing pacing = {};
    while (loading_active.load() != 0) {
        pacing_wait(&pacing, max_fps);
        if (loading_active.load() == 0)
            break;
        // Runs on the thread that owns the window: keep its events flowing.
        if (SDL_WasInit(SDL_INIT_VIDEO))
            SDL_PumpEvents();
        const int32_t frame = loading_screen_frame_now(&ls);
        loading_screen_frame(&ls, frame);
        if (loading_screen_presented)
            loading_screen_presented(frame);
    }
    loading_screen_end(&ls);
    return 0;
}
