// The overlay track's queue of row passes, drawn band by band (row_passes.h).
// Relies on the 2D operations' row-window variants, the frame surface and
// the rasterizer's helper thread (the frame's halves at once).
#include "overlays/row_passes.h"

#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"

namespace
{

RowPass* queue_pass(RowPasses* q, RowPassKind kind)
{
    if (q->count == ROW_PASS_CAPACITY)
        row_passes_flush(q);
    RowPass* p = &q->passes[q->count++];
    *p = RowPass{};
    p->kind = kind;
    return p;
}

void queue_grain(RowPasses* q, RowPassKind kind, const Texture* grain, int32_t a)
{
    if (q->walk_count == ROW_PASS_WALKS)
        row_passes_flush(q);
    RowPass* p = queue_pass(q, kind);
    p->image = grain;
    p->level = a;
    p->record = q->walk_count++;
    grain_walk_draw(&q->walks[p->record]);
}

void run_pass(const RowPasses* q, const RowPass& p, int32_t y0, int32_t y1)
{
    switch (p.kind) {
    case ROW_BLEND:
        blend_image_rows(p.image, p.x, p.y, p.level, BLEND_ALPHA, y0, y1);
        break;
    case ROW_WAVE:
        wave_shift_rows(p.phase, p.colour, y0, y1);
        break;
    case ROW_GRAIN_MIX:
        grain_mix_rows(p.image, &q->walks[p.record], p.level, y0, y1);
        break;
    case ROW_GRAIN_MODULATE:
        grain_modulate_rows(p.image, &q->walks[p.record], p.level, y0, y1);
        break;
    case ROW_GLITCH:
        row_glitch_rows(&q->glitches[p.record], y0, y1);
        break;
    case ROW_FADE:
        fade_screen_rows(p.colour, p.level, y0, y1);
        break;
    }
}

} // namespace

void row_passes_begin(RowPasses* q)
{
    q->count = 0;
    q->walk_count = 0;
    q->glitch_count = 0;
}

void row_passes_blend(RowPasses* q, const Texture* image, int32_t x, int32_t y, int32_t alpha)
{
    if (!image)
        return;
    RowPass* p = queue_pass(q, ROW_BLEND);
    p->image = image;
    p->x = x;
    p->y = y;
    p->level = alpha;
}

void row_passes_wave(RowPasses* q, float phase, uint32_t colour)
{
    RowPass* p = queue_pass(q, ROW_WAVE);
    p->phase = phase;
    p->colour = colour;
}

void row_passes_grain_mix(RowPasses* q, const Texture* grain, int32_t a)
{
    queue_grain(q, ROW_GRAIN_MIX, grain, a);
}

void row_passes_grain_modulate(RowPasses* q, const Texture* grain, int32_t a)
{
    queue_grain(q, ROW_GRAIN_MODULATE, grain, a);
}

void row_passes_glitch(RowPasses* q, int32_t shift, int32_t band)
{
    if (q->glitch_count == ROW_PASS_GLITCHES)
        row_passes_flush(q);
    RowPass* p = queue_pass(q, ROW_GLITCH);
    p->record = q->glitch_count++;
    row_glitch_draw(&q->glitches[p->record], shift, band);
}

void row_passes_fade(RowPasses* q, uint32_t colour, int32_t a)
{
    RowPass* p = queue_pass(q, ROW_FADE);
    p->colour = colour;
    p->level = a;
}

void row_passes_flush(RowPasses* q)
{
    // Every pass changes a row from that row alone, so the two halves of the
    // frame can be drawn at once (the halves start on band boundaries).
    static_assert(SCREEN_HEIGHT / 2 % ROW_PASS_BAND == 0, "the halves start on band boundaries");
    if (screen && q->count > 0)
        raster_threads_rows(
            [](void* context, int32_t first_row, int32_t end_row) {
                const RowPasses* passes = static_cast<const RowPasses*>(context);
                for (int32_t y = first_row; y < end_row; y += ROW_PASS_BAND)
                    for (int32_t i = 0; i < passes->count; ++i)
                        run_pass(passes, passes->passes[i], y, y + ROW_PASS_BAND);
            },
            q);
    row_passes_begin(q);
}
