// The effect table and timeline (effects.h) over the scene, overlay and
// texture-table trios; the noise tables are built before the first load.
#include "runtime/effects.h"

#include "core/core.h"
#include "image/texture_table.h"
#include "overlays/overlays.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "scenes/scenes.h"

#define EFFECT_ROW(load, free, name) {load, free},
#define EFFECT_NAME(load, free, name) name,
#define TIMELINE_ROW(render, first, end, name) {render, first, end},
#define TIMELINE_NAME(render, first, end, name) name,

const EffectSlot effect_table[EFFECT_COUNT] = {DUNRAVEL_EFFECTS(EFFECT_ROW)};
const TimelineEntry timeline[TIMELINE_COUNT] = {DUNRAVEL_TIMELINE(TIMELINE_ROW)};

static const char* const effect_names[EFFECT_COUNT] = {DUNRAVEL_EFFECTS(EFFECT_NAME)};
static const char* const timeline_names[TIMELINE_COUNT] = {DUNRAVEL_TIMELINE(TIMELINE_NAME)};

// The rows whose render carries state from frame to frame, with the function
// that steps it without drawing.
struct RowAdvance {
    void (*render)(float seconds);
    void (*advance)(double seconds);
};
static const RowAdvance row_advances[] = {
    {metaball_render, metaball_advance},
    {spikeball_render, spikeball_advance},
    {greetings_render, greetings_advance},
    {collider_render, collider_advance},
    {end_render, end_advance},
};

int32_t effects_load_table(const EffectSlot* table, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        if (table[i].load() != 0) {
            // The failing row released its own data; free the rows before it.
            effects_free_table(table, i);
            return 1;
        }
    }
    return 0;
}

void effects_free_table(const EffectSlot* table, int32_t count)
{
    for (int32_t i = 0; i < count; i++)
        table[i].free();
}

void timeline_render_table(const TimelineEntry* rows, int32_t count, int32_t beat, float seconds)
{
    raster_share_frame_begin();
    for (int32_t i = 0; i < count; i++)
        if (rows[i].first_beat <= beat && beat < rows[i].end_beat) {
            raster_reset_state();
            rows[i].render(seconds);
        }
}

int32_t effects_load_all()
{
    noise_init(0);
    return effects_load_table(effect_table, EFFECT_COUNT);
}

void timeline_render()
{
    int32_t beat = clock_beat_index();
    timeline_render_table(timeline, TIMELINE_COUNT, beat, static_cast<float>(music_seconds));
}

void effects_free_all()
{
    effects_free_table(effect_table, EFFECT_COUNT);
    noise_release();
}

const char* effect_name(int32_t row)
{
    return row >= 0 && row < EFFECT_COUNT ? effect_names[row] : nullptr;
}
const char* timeline_name(int32_t row)
{
    return row >= 0 && row < TIMELINE_COUNT ? timeline_names[row] : nullptr;
}

bool timeline_row_active(int32_t row, int32_t beat)
{
    if (row < 0 || row >= TIMELINE_COUNT)
        return false;
    return timeline[row].first_beat <= beat && beat < timeline[row].end_beat;
}

int32_t timeline_end_beat()
{
    int32_t end = 0;
    for (const TimelineEntry& row : timeline)
        if (row.end_beat > end)
            end = row.end_beat;
    return end;
}

void (*timeline_advance_function(int32_t row))(double seconds)
{
    if (row < 0 || row >= TIMELINE_COUNT)
        return nullptr;
    for (const RowAdvance& a : row_advances)
        if (a.render == timeline[row].render)
            return a.advance;
    return nullptr;
}

void timeline_advance(double seconds)
{
    const int32_t beat = float_to_int(clock_beat_at(seconds));
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        void (*advance)(double) = timeline_advance_function(row);
        if (advance && timeline_row_active(row, beat))
            advance(seconds);
    }
}

void timeline_prepare_seeking()
{
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (void (*advance)(double) = timeline_advance_function(row))
            advance(static_cast<double>(timeline[row].end_beat) * 60.0 / DEMO_TEMPO_BPM - 1.0 / 60.0);
}

bool timeline_row_is_scene(int32_t row)
{
    if (row < 0 || row >= TIMELINE_COUNT)
        return false;
    return timeline[row].render != overlay_render && timeline[row].render != post_filter_render;
}
