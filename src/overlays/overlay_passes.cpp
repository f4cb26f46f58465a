// The overlay track's queue of passes, drawn band by band (overlay_passes.h).
// Relies on the 2D operations' row-window variants, the frame surface and
// the rasterizer's helper thread (the frame's halves at once).
#include "overlays/overlay_passes.h"

#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"

namespace
{

OverlayPass* queue_pass(OverlayPasses* q, OverlayPassKind kind)
{
    if (q->count == OVERLAY_PASS_CAPACITY)
        overlay_passes_flush(q);
    OverlayPass* p = &q->passes[q->count++];
    *p = OverlayPass{};
    p->kind = kind;
    return p;
}

void queue_grain(OverlayPasses* q, OverlayPassKind kind, const Texture* grain, int32_t a)
{
    if (q->walk_count == OVERLAY_PASS_WALKS)
        overlay_passes_flush(q);
    OverlayPass* p = queue_pass(q, kind);
    p->image = grain;
    p->level = a;
    p->record = q->walk_count++;
    grain_walk_draw(&q->walks[p->record]);
}

void run_pass(const OverlayPasses* q, const OverlayPass& p, int32_t y0, int32_t y1)
{
    switch (p.kind) {
    case PASS_BLEND:
        blend_image_band(p.image, p.x, p.y, p.level, BLEND_ALPHA, y0, y1);
        break;
    case PASS_WAVE:
        wave_shift_band(p.phase, p.colour, y0, y1);
        break;
    case PASS_GRAIN_MIX:
        grain_mix_rows(p.image, &q->walks[p.record], p.level, y0, y1);
        break;
    case PASS_GRAIN_MODULATE:
        grain_modulate_rows(p.image, &q->walks[p.record], p.level, y0, y1);
        break;
    case PASS_GLITCH:
        row_glitch_rows(&q->glitches[p.record], y0, y1);
        break;
    case PASS_FADE:
        fade_screen_rows(p.colour, p.level, y0, y1);
        break;
    }
}

} // namespace

void overlay_passes_begin(OverlayPasses* q)
{
    q->count = 0;
    q->walk_count = 0;
    q->glitch_count = 0;
}

void overlay_passes_blend(OverlayPasses* q, const Texture* image, int32_t x, int32_t y, int32_t alpha)
{
    if (!image)
        return;
    OverlayPass* p = queue_pass(q, PASS_BLEND);
    p->image = image;
    p->x = x;
    p->y = y;
    p->level = alpha;
}

void overlay_passes_wave(OverlayPasses* q, float phase, uint32_t colour)
{
    OverlayPass* p = queue_pass(q, PASS_WAVE);
    p->phase = phase;
    p->colour = colour;
}

void overlay_passes_grain_mix(OverlayPasses* q, const Texture* grain, int32_t a)
{
    queue_grain(q, PASS_GRAIN_MIX, grain, a);
}

void overlay_passes_grain_modulate(OverlayPasses* q, const Texture* grain, int32_t a)
{
    queue_grain(q, PASS_GRAIN_MODULATE, grain, a);
}

void overlay_passes_glitch(OverlayPasses* q, int32_t shift, int32_t band)
{
    if (q->glitch_count == OVERLAY_PASS_GLITCHES)
        overlay_passes_flush(q);
    OverlayPass* p = queue_pass(q, PASS_GLITCH);
    p->record = q->glitch_count++;
    row_glitch_draw(&q->glitches[p->record], shift, band);
}

void overlay_passes_fade(OverlayPasses* q, uint32_t colour, int32_t a)
{
    OverlayPass* p = queue_pass(q, PASS_FADE);
    p->colour = colour;
    p->level = a;
}

void overlay_passes_flush(OverlayPasses* q)
{
    // Every pass changes a row from that row alone, so the two halves of the
    // frame can be drawn at once (the halves start on band boundaries).
    static_assert(SCREEN_HEIGHT / 2 % OVERLAY_PASS_BAND == 0, "the halves start on band boundaries");
    if (screen && q->count > 0)
        raster_split_in_two(
            [](void* context, int32_t first_row, int32_t end_row) {
                const OverlayPasses* passes = static_cast<const OverlayPasses*>(context);
                for (int32_t y = first_row; y < end_row; y += OVERLAY_PASS_BAND)
                    for (int32_t i = 0; i < passes->count; ++i)
                        run_pass(passes, passes->passes[i], y, y + OVERLAY_PASS_BAND);
            },
            q);
    overlay_passes_begin(q);
}
