// The effect table and the timeline: which effects load at start-up and are
// freed at the end, and which render function draws in which beat range.
// The runtime reaches scenes and overlays only through these two tables.
#pragma once

#include <cstdint>

struct EffectSlot {
    int32_t (*load)(); // 0 on success; non-zero after releasing what it built
    void (*free)();
};

struct TimelineEntry {
    void (*render)(float seconds);
    int32_t first_beat; // active while first_beat <= beat < end_beat
    int32_t end_beat;
};

// One list each, from which the tables, their names and their sizes come:
// the effect rows with their names (the functions are declared by the
// headers effects.cpp includes).
#define DUNRAVEL_EFFECTS(X)                                                                                  \
    X(texture_table_load, texture_table_free, "texture_table")                                               \
    X(title_load, title_free, "title")                                                                       \
    X(metaball_load, metaball_free, "metaball")                                                              \
    X(tunnel_load, tunnel_free, "tunnel")                                                                    \
    X(water_load, water_free, "water")                                                                       \
    X(ribbon_load, ribbon_free, "ribbon")                                                                    \
    X(twister_load, twister_free, "twister")                                                                 \
    X(spikeball_load, spikeball_free, "spikeball")                                                           \
    X(greetings_load, greetings_free, "greetings")                                                           \
    X(terrain_load, terrain_free, "terrain")                                                                 \
    X(collider_load, collider_free, "collider")                                                              \
    X(end_load, end_free, "end")                                                                             \
    X(overlay_load, overlay_free, "overlay")                                                                 \
    X(post_filter_load, post_filter_free, "post_filter")

// The timeline rows, drawn in this order each frame.
#define DUNRAVEL_TIMELINE(X)                                                                                 \
    X(title_render, 0, 44, "title")                                                                          \
    X(metaball_render, 44, 76, "metaball")                                                                   \
    X(tunnel_render, 76, 100, "tunnel")                                                                      \
    X(water_render, 100, 132, "water")                                                                       \
    X(ribbon_render, 132, 164, "ribbon")                                                                     \
    X(twister_render, 164, 196, "twister")                                                                   \
    X(spikeball_render, 196, 228, "spikeball")                                                               \
    X(greetings_render, 228, 268, "greetings")                                                               \
    X(terrain_render, 268, 308, "terrain")                                                                   \
    X(collider_render, 308, 372, "collider")                                                                 \
    X(end_render, 361, 397, "end")                                                                           \
    X(overlay_render, 0, 410, "overlay")                                                                     \
    X(post_filter_render, 0, 44, "post_filter")                                                              \
    X(post_filter_render, 228, 268, "post_filter")                                                           \
    X(post_filter_render, 361, 397, "post_filter")

#define EFFECT_COUNT_ONE(load, free, name) +1
#define TIMELINE_COUNT_ONE(render, first, end, name) +1
enum {
    EFFECT_COUNT = 0 DUNRAVEL_EFFECTS(EFFECT_COUNT_ONE),
    TIMELINE_COUNT = 0 DUNRAVEL_TIMELINE(TIMELINE_COUNT_ONE)
};
#undef EFFECT_COUNT_ONE
#undef TIMELINE_COUNT_ONE

extern const EffectSlot effect_table[EFFECT_COUNT];
extern const TimelineEntry timeline[TIMELINE_COUNT];

// Builds the noise tables, then loads every row in order. On the first
// failure the rows before it are freed in ascending order and 1 is returned.
int32_t effects_load_all();
// Calls, in table order, every timeline row whose range holds the current
// whole beat, with the music time in seconds; the rasterizer's state is reset
// before each row.
void timeline_render();
// Frees every row in order, then the noise tables.
void effects_free_all();
// Brings the carried state of every row that draws at the music time to that
// time without drawing (the rows' advance functions, for those that carry
// state): a seek calls it before the first frame at its target, whose
// picture is then the one a run from the start shows there.
void timeline_advance(double seconds);
// Steps the carried state of every row that has some through the row's whole
// range once, without drawing, so that the scenes keep their snapshots for
// seeking before the first seek asks for one (the next frame in a row starts
// it afresh, as a first frame does).
void timeline_prepare_seeking();
// The carried-state step of timeline row `row` (null for rows without one,
// and out of range).
void (*timeline_advance_function(int32_t row))(double seconds);

// The same walks over any table (tests use their own tables).
int32_t effects_load_table(const EffectSlot* table, int32_t count);
void effects_free_table(const EffectSlot* table, int32_t count);
void timeline_render_table(const TimelineEntry* rows, int32_t count, int32_t beat, float seconds);

// Short names of the rows for tools and reports: "texture_table", "title",
// ... for the effect table; "title", "metaball", ..., "post_filter" for the
// timeline. Null for an index out of range.
const char* effect_name(int32_t row);
const char* timeline_name(int32_t row);
// True when timeline row `row` draws at whole beat `beat`.
bool timeline_row_active(int32_t row, int32_t beat);
// The beat at which the last timeline row ends (410).
int32_t timeline_end_beat();
// True for the rows that are scenes (the chapters a player jumps between),
// false for the overlay and post-filter rows and out of range.
bool timeline_row_is_scene(int32_t row);
