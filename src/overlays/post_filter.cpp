// Grain and TV post filter: nine wandering vertical scratches tinted by a
// grain image and, late in the demo, sixteen flickering black crack lines,
// all inside the letterbox rows 40 to 439. State persists between frames and
// between the three beat ranges that draw it, and advances in fixed steps of
// 1/60 s of music time. Relies on the frame surface,
// the demo clock, both random generators and the PNG loader.
#include "overlays/overlays.h"
#include "overlays/overlay_ops.h"
#include "image/line.h"

#include "core/core.h"
#include "platform/paths.h"
#include "core/frame.h"
#include "image/texture.h"
#include "scene/show_beats.h"

#include <cmath>
#include <cstdio>

namespace
{

enum { LETTERBOX_TOP = 40, LETTERBOX_BOTTOM = 440 };

Texture* post_grain = nullptr;
Scratch scratches[SCRATCH_COUNT];
Crack cracks[CRACK_COUNT];
int64_t post_step = -1; // the step of the last frame drawn, -1 since loading

int32_t scratch_speed()
{
    if (core_rand() & 0x80)
        return core_rand() & 15;
    return -(core_rand() & 15);
}

// Keeps a wandering crack point representable; the drawing clamps it to the
// letterbox anyway.
int32_t crack_step(int32_t from, float offset)
{
    int64_t to = static_cast<int64_t>(from) + float_to_int(core_floor(offset));
    if (to > 1000000)
        to = 1000000;
    if (to < -1000000)
        to = -1000000;
    return static_cast<int32_t>(to);
}

void crack_generate(Crack* crack)
{
    crack->life = (core_rand() & 31) + 1;
    crack->visible = (core_rand() & 0xff) > 126 ? 1 : 0;
    crack->length = core_rand() % 42 + 8;
    crack->count = core_rand() % 10 + 2;
    crack->mode = core_rand() & 3;
    int32_t px = core_rand() % 640;
    int32_t py = core_rand() % 400 + 40;
    crack->points[0][0] = px;
    crack->points[0][1] = py;
    // Each segment: a random direction scaled to the current length s, which
    // halves from segment to segment.
    float s = static_cast<float>(crack->length);
    for (int32_t i = 1; i < crack->count; ++i) {
        float u = next_random();
        float v = next_random();
        float e = s / core_sqrt(u * u + v * v);
        float ox = u * e;
        float oy = v * e;
        if (!std::isfinite(ox))
            ox = 0.0f; // u = v = 0: no direction to go
        if (!std::isfinite(oy))
            oy = 0.0f;
        crack->points[i][0] = crack_step(crack->points[i - 1][0], ox);
        crack->points[i][1] = crack_step(crack->points[i - 1][1], oy);
        s = s / 2.0f;
    }
}

int32_t clamp_int(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

void crack_draw(const Crack* crack)
{
    int32_t px = crack->points[0][0];
    int32_t py = crack->points[0][1];
    for (int32_t i = 1; i < crack->count - 1; ++i) {
        int32_t x = clamp_int(crack->points[i][0], 0, 639);
        int32_t y = clamp_int(crack->points[i][1], LETTERBOX_TOP, LETTERBOX_BOTTOM - 1);
        draw_line(px, py, x, y, 0x00000000u);
        px = x;
        py = y;
    }
}

void scratch_draw(const Scratch* scratch)
{
    int32_t c = scratch->x >> 4;
    if (c < 0 || c > 639)
        return;
    const bool second = c + 1 <= 639;
    const uint32_t* grain = post_grain->pixels;
    uint32_t* row = screen_row(LETTERBOX_TOP);
    for (int32_t k = 0; k < LETTERBOX_BOTTOM - LETTERBOX_TOP; ++k, row += SCREEN_WIDTH) {
        const uint32_t p = row[c];
        const uint32_t g = grain[(c & post_grain->height_mask) + (k & post_grain->width_mask)];
        const uint32_t mix = (static_cast<uint32_t>(scratch->alpha) * (p >> 24)) >> 8;
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t pc = (p >> shift) & 0xff;
            const uint32_t gc = (g >> shift) & 0xff;
            uint32_t v = ((pc * mix) >> 8) + ((((pc * gc) >> 8) * (255 - mix)) >> 8);
            if (v > 255)
                v = 255;
            out |= v << shift;
        }
        row[c] = out;
        if (second)
            row[c + 1] = out;
    }
}

// One step of a scratch: it moves, bouncing at the edges, or when its life
// (in sixteenths of a beat, a) is over it respawns somewhere else.
void scratch_advance(Scratch* s, int32_t a)
{
    if (a < s->start + s->life) {
        s->x += s->dx;
        if (s->x <= 0) {
            s->x = 0;
            s->dx = -s->dx;
        } else if (s->x > 10223) { // past pixel 639: back onto pixel 638
            s->x = 10208;
            s->dx = -s->dx;
        }
    } else {
        s->start = a;
        s->life = (core_rand() & 31) + 1;
        s->x = (core_rand() % 640) * 16;
        s->dx = scratch_speed();
        s->alpha = (core_rand() & 0x7f) | 0x80;
        s->visible = 1;
    }
}

// One step of a crack: past its life it is made anew; otherwise a visible
// one is drawn (when draw is true and its mode shows it now) and a blinking
// one changes between its two modes.
void crack_advance(Crack* c, int32_t a, bool draw)
{
    if (a >= c->start + c->life) {
        crack_generate(c);
        c->start = a;
    } else if (c->visible) {
        if (draw && ((c->mode & 2) == 0 || c->mode == 3))
            crack_draw(c);
        if (c->mode & 2)
            c->mode ^= 1; // modes 2 and 3 alternate: the crack blinks
    }
}

} // namespace

Scratch* post_filter_scratches()
{
    return scratches;
}
Crack* post_filter_cracks()
{
    return cracks;
}

int32_t post_filter_load()
{
    post_grain = texture_load_png("data\\grain.png", 0);
    if (!post_grain) {
        std::fprintf(stderr, "post filter: cannot load %s\n", texture_load_failure());
        return 1;
    }
    for (Scratch& s : scratches) {
        s.x = (core_rand() % 640) * 16;
        s.dx = scratch_speed();
        s.life = (core_rand() & 31) + 1;
        s.alpha = (core_rand() & 0x7f) | 0x80;
        s.visible = (core_rand() & 0xff) > 126 ? 1 : 0;
        s.start = 0;
    }
    for (Crack& c : cracks) {
        crack_generate(&c);
        c.start = 0;
    }
    post_step = -1;
    return 0;
}

void post_filter_free()
{
    texture_free(post_grain);
    post_grain = nullptr;
}

int64_t post_filter_step_at(double seconds)
{
    return scene_step_at(seconds);
}

int32_t post_filter_steps(int64_t last, int64_t now)
{
    if (last < 0 || now < last || now - last > POST_STEPS_PER_SECOND)
        return 1;
    return static_cast<int32_t>(now - last);
}

void post_filter_render(const SceneFrame& frame)
{
    if (!post_grain)
        return;
    const int32_t a = float_to_int(core_floor(frame.beat * 16.0f));
    const int64_t step = frame.step;
    const int32_t steps = post_filter_steps(post_step, step);
    post_step = step;

    for (int32_t i = 0; i < steps; ++i)
        for (Scratch& s : scratches)
            scratch_advance(&s, a);
    for (const Scratch& s : scratches)
        if (s.visible)
            scratch_draw(&s);

    if (frame.beat_index < END_BEATS.first) // cracks in the end scene only
        return;

    for (Crack& c : cracks) {
        // The steps before the frame's last one only change the state; the
        // last draws as it goes (a crack born in it shows from the next).
        for (int32_t i = 0; i + 1 < steps; ++i)
            crack_advance(&c, a, false);
        if (steps > 0)
            crack_advance(&c, a, true);
        else if (a < c.start + c.life && c.visible && ((c.mode & 2) == 0 || c.mode == 2))
            crack_draw(&c); // no step this frame: as the last step drew it (3 then, 2 since)
    }
}
