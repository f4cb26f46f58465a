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

enum { EFFECT_COUNT = 14, TIMELINE_COUNT = 15 };

extern const EffectSlot effect_table[EFFECT_COUNT];
extern const TimelineEntry timeline[TIMELINE_COUNT];

// Builds the noise tables, then loads every row in order. On the first
// failure the rows before it are freed in ascending order and 1 is returned.
int32_t effects_load_all();
// Calls, in table order, every timeline row whose range holds the current
// whole beat, with the music time in seconds.
void timeline_render();
// Frees every row in order, then the noise tables.
void effects_free_all();

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
