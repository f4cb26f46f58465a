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
#define TIMELINE_ROW(render, finish, beats, name) {render, finish, beats.first, beats.end},
#define TIMELINE_NAME(render, finish, beats, name) name,

const EffectSlot effect_table[EFFECT_COUNT] = {DUNRAVEL_EFFECTS(EFFECT_ROW)};
const TimelineEntry timeline[TIMELINE_COUNT] = {DUNRAVEL_TIMELINE(TIMELINE_ROW)};

static const char* const effect_names[EFFECT_COUNT] = {DUNRAVEL_EFFECTS(EFFECT_NAME)};
static const char* const timeline_names[TIMELINE_COUNT] = {DUNRAVEL_TIMELINE(TIMELINE_NAME)};

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

void timeline_render_table(const TimelineEntry* rows, int32_t count, const SceneFrame& frame)
{
    raster_share_frame_begin();
    for (int32_t i = 0; i < count; i++) {
        const TimelineEntry& row = rows[i];
        if (!(row.first_beat <= frame.beat_index && frame.beat_index < row.end_beat))
            continue;
        SceneFrame f = frame;
        f.row_beat = frame.beat - static_cast<float>(row.first_beat);
        if (row.render) {
            raster_reset_state();
            raster_share_begin();
            row.render(f);
            raster_share_end();
        }
        if (row.finish) {
            raster_reset_state();
            row.finish(f);
        }
    }
    raster_reset_state();
}

int32_t effects_load_all()
{
    noise_init(0);
    return effects_load_table(effect_table, EFFECT_COUNT);
}

void timeline_render()
{
    timeline_render_table(timeline, TIMELINE_COUNT, clock_scene_frame());
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
