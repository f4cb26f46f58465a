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

// The rows whose render carries state from frame to frame, with the function
// that steps it without drawing. Each is given the frames of the clock's
// frame grid up to the target, the target last; most need only that one.
typedef void (*RowAdvanceFunction)(const SceneFrame* recent, int32_t count);
template <void (*advance)(double seconds)> void advance_to_last(const SceneFrame* recent, int32_t count)
{
    advance(recent[count - 1].seconds);
}
struct RowAdvance {
    SceneRender render;
    RowAdvanceFunction advance;
};
static const RowAdvance row_advances[] = {
    {metaball_render, advance_to_last<metaball_advance>},
    {spikeball_render, spikeball_advance},
    {greetings_render, advance_to_last<greetings_advance>},
    {collider_render, advance_to_last<collider_advance>},
    {end_render, advance_to_last<end_advance>},
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

static RowAdvanceFunction advance_function(int32_t row)
{
    if (row < 0 || row >= TIMELINE_COUNT)
        return nullptr;
    // A scene draws in one stage or both (greetings only after the share).
    for (const RowAdvance& a : row_advances)
        if (a.render == timeline[row].render || a.render == timeline[row].finish)
            return a.advance;
    return nullptr;
}

bool timeline_row_advances(int32_t row)
{
    return advance_function(row) != nullptr;
}

// The frames of the clock's frame grid up to `seconds` (the last one at or
// before it), as a run from the start drew them, each with its spectrum.
struct AdvanceFrames {
    SceneFrame frames[SCENE_ADVANCE_FRAMES];
    float spectra[SCENE_ADVANCE_FRAMES][SPECTRUM_SIZE];
    int32_t count;
};
static void advance_frames(double seconds, AdvanceFrames* out)
{
    int64_t last = music_frame_at(seconds, music_frame_rate());
    if (last > 0 && music_grid_seconds(last) > seconds)
        last--;
    const int64_t first = last >= SCENE_ADVANCE_FRAMES - 1 ? last - (SCENE_ADVANCE_FRAMES - 1) : 0;
    out->count = 0;
    for (int64_t k = first; k <= last; ++k) {
        const int32_t i = out->count++;
        music_grid_spectrum(k, out->spectra[i]);
        out->frames[i] = scene_frame_at(music_grid_seconds(k), out->spectra[i]);
    }
    // The target itself last: the grid frame at or before it for the meters,
    // the exact time for the fixed steps.
    out->frames[out->count - 1].seconds = seconds;
}

// Advances the rows active at `seconds`, or only row `only` (>= 0).
static void advance_rows(double seconds, int32_t only)
{
    static AdvanceFrames frames; // 18 KB: kept off the stack
    bool made = false;
    const int32_t beat = float_to_int(clock_beat_at(seconds));
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        RowAdvanceFunction advance = advance_function(row);
        if (!advance || (only >= 0 ? row != only : !timeline_row_active(row, beat)))
            continue;
        if (!made)
            advance_frames(seconds, &frames);
        made = true;
        advance(frames.frames, frames.count);
    }
}

void timeline_advance(double seconds)
{
    advance_rows(seconds, -1);
}

void timeline_prepare_seeking()
{
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (advance_function(row))
            advance_rows(static_cast<double>(timeline[row].end_beat) * 60.0 / DEMO_TEMPO_BPM - 1.0 / 60.0, row);
}

bool timeline_row_is_scene(int32_t row)
{
    if (row < 0 || row >= TIMELINE_COUNT)
        return false;
    const TimelineEntry& r = timeline[row];
    return (r.render || r.finish) && r.finish != overlay_render && r.finish != post_filter_render;
}
