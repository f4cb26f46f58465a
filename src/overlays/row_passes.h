// The overlay track's row passes: blends, grain, wave shifts, row glitches
// and fades queued in the track's order (their random numbers drawn as they
// are queued) and drawn band by band. Relies on the 2D operations (image/)
// and the overlays' own operations (overlay_ops.h).
#pragma once

#include "overlays/overlay_ops.h"

#include <cstdint>

struct Texture;

// Each queued pass changes a pixel from pixels of its own screen row only, so
// running all of them over one band of rows, then the next band, gives the
// bytes of running each pass over the whole frame in turn, while a band stays
// in the cache from the first pass to the last.
enum { ROW_PASS_CAPACITY = 16, ROW_PASS_WALKS = 4, ROW_PASS_GLITCHES = 2, ROW_PASS_BAND = 8 };

enum RowPassKind : int32_t { ROW_BLEND, ROW_WAVE, ROW_GRAIN_MIX, ROW_GRAIN_MODULATE, ROW_GLITCH, ROW_FADE };

struct RowPass {
    RowPassKind kind;
    const Texture* image; // ROW_BLEND: the picture; grain passes: the grain image
    int32_t x, y;         // ROW_BLEND: where the picture stands
    int32_t level;        // blend alpha, grain or fade level
    float phase;          // ROW_WAVE
    uint32_t colour;      // ROW_WAVE, ROW_FADE
    int32_t record;       // grain walk or row glitch index
};

struct RowPasses {
    RowPass passes[ROW_PASS_CAPACITY];
    int32_t count;
    GrainWalk walks[ROW_PASS_WALKS];
    int32_t walk_count;
    RowGlitch glitches[ROW_PASS_GLITCHES];
    int32_t glitch_count;
};

void row_passes_begin(RowPasses* q);
// Queue a pass (a full queue is drawn first). The parameters are those of
// blend_image (BLEND_ALPHA), wave_shift, grain_mix, grain_modulate,
// row_glitch and fade_screen.
void row_passes_blend(RowPasses* q, const Texture* image, int32_t x, int32_t y, int32_t alpha);
void row_passes_wave(RowPasses* q, float phase, uint32_t colour);
void row_passes_grain_mix(RowPasses* q, const Texture* grain, int32_t a);
void row_passes_grain_modulate(RowPasses* q, const Texture* grain, int32_t a);
void row_passes_glitch(RowPasses* q, int32_t shift, int32_t band);
void row_passes_fade(RowPasses* q, uint32_t colour, int32_t a);
// Draws every queued pass over the frame and empties the queue.
void row_passes_flush(RowPasses* q);
