// The overlay track's passes: blends, grain, wave shifts, row glitches
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
enum { OVERLAY_PASS_CAPACITY = 16, OVERLAY_PASS_WALKS = 4, OVERLAY_PASS_GLITCHES = 2, OVERLAY_PASS_BAND = 8 };

enum OverlayPassKind : int32_t { PASS_BLEND, PASS_WAVE, PASS_GRAIN_MIX, PASS_GRAIN_MODULATE, PASS_GLITCH, PASS_FADE };

struct OverlayPass {
    OverlayPassKind kind;
    const Texture* image; // PASS_BLEND: the picture; grain passes: the grain image
    int32_t x, y;         // PASS_BLEND: where the picture stands
    int32_t level;        // blend alpha, grain or fade level
    float phase;          // PASS_WAVE
    uint32_t colour;      // PASS_WAVE, PASS_FADE
    int32_t record;       // grain walk or row glitch index
};

struct OverlayPasses {
    OverlayPass passes[OVERLAY_PASS_CAPACITY];
    int32_t count;
    GrainWalk walks[OVERLAY_PASS_WALKS];
    int32_t walk_count;
    RowGlitch glitches[OVERLAY_PASS_GLITCHES];
    int32_t glitch_count;
};

void overlay_passes_begin(OverlayPasses* q);
// Queue a pass (a full queue is drawn first). The parameters are those of
// blend_image (BLEND_ALPHA), wave_shift, grain_mix, grain_modulate,
// row_glitch and fade_screen.
void overlay_passes_blend(OverlayPasses* q, const Texture* image, int32_t x, int32_t y, int32_t alpha);
void overlay_passes_wave(OverlayPasses* q, float phase, uint32_t colour);
void overlay_passes_grain_mix(OverlayPasses* q, const Texture* grain, int32_t a);
void overlay_passes_grain_modulate(OverlayPasses* q, const Texture* grain, int32_t a);
void overlay_passes_glitch(OverlayPasses* q, int32_t shift, int32_t band);
void overlay_passes_fade(OverlayPasses* q, uint32_t colour, int32_t a);
// Draws every queued pass over the frame and empties the queue.
void overlay_passes_flush(OverlayPasses* q);
