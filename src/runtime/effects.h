// The effect table and the timeline: which effects load at start-up and are
// freed at the end, and which render function draws in which beat range.
// The runtime reaches scenes and overlays only through these two tables.
#pragma once

#include "scene/scene_frame.h"
#include "scene/show_beats.h"

#include <cstdint>

struct EffectSlot {
    int32_t (*load)(); // 0 on success; non-zero after releasing what it built
    void (*free)();
};

// A row draws in two stages, either of which may be null. `render` draws
// into the drawing share the timeline opens around it (meshes and row work
// queued for both threads); `finish` then works straight on the finished
// frame (glows, rays, blurs and lenses that read what was drawn), after the
// share has closed. The rasterizer's state is reset before each stage.
typedef void (*SceneRender)(const SceneFrame& frame);
struct TimelineEntry {
    SceneRender render;
    SceneRender finish;
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

// The timeline rows, drawn in this order each frame, over the show's beat
// ranges (scene/show_beats.h).
#define DUNRAVEL_TIMELINE(X)                                                                                 \
    X(title_render, title_finish, TITLE_BEATS, "title")                                                      \
    X(metaball_render, nullptr, METABALL_BEATS, "metaball")                                                  \
    X(tunnel_render, nullptr, TUNNEL_BEATS, "tunnel")                                                        \
    X(water_render, nullptr, WATER_BEATS, "water")                                                           \
    X(ribbon_render, ribbon_finish, RIBBON_BEATS, "ribbon")                                                  \
    X(twister_render, nullptr, TWISTER_BEATS, "twister")                                                     \
    X(spikeball_render, spikeball_finish, SPIKEBALL_BEATS, "spikeball")                                      \
    X(nullptr, greetings_render, GREETINGS_BEATS, "greetings")                                               \
    X(terrain_render, terrain_finish, TERRAIN_BEATS, "terrain")                                              \
    X(collider_render, nullptr, COLLIDER_BEATS, "collider")                                                  \
    X(end_render, nullptr, END_BEATS, "end")                                                                 \
    X(nullptr, overlay_render, OVERLAY_BEATS, "overlay")                                                     \
    X(nullptr, post_filter_render, TITLE_BEATS, "post_filter")                                               \
    X(nullptr, post_filter_render, GREETINGS_BEATS, "post_filter")                                           \
    X(nullptr, post_filter_render, END_BEATS, "post_filter")

#define EFFECT_COUNT_ONE(load, free, name) +1
#define TIMELINE_COUNT_ONE(render, finish, beats, name) +1
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
// Draws, in table order, every timeline row whose range holds the current
// whole beat (the clock's frame, with the beat within the row), each stage
// from the rasterizer's starting state; the state is reset again at the end.
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
// Whether timeline row `row` carries state that a seek advances (false out
// of range).
bool timeline_row_advances(int32_t row);

// The same walks over any table (tests use their own tables).
int32_t effects_load_table(const EffectSlot* table, int32_t count);
void effects_free_table(const EffectSlot* table, int32_t count);
void timeline_render_table(const TimelineEntry* rows, int32_t count, const SceneFrame& frame);

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
