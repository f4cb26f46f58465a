// The show's beat ranges, written once: the whole beats each scene and layer
// is drawn in (first <= beat < end). The timeline's rows, the overlays' cues
// and the scenes' own first beats all read them from here.
#pragma once

#include <cstdint>

struct BeatRange {
    int32_t first;
    int32_t end;
};

constexpr BeatRange TITLE_BEATS = {0, 44};
constexpr BeatRange METABALL_BEATS = {44, 76};
constexpr BeatRange TUNNEL_BEATS = {76, 100};
constexpr BeatRange WATER_BEATS = {100, 132};
constexpr BeatRange RIBBON_BEATS = {132, 164};
constexpr BeatRange TWISTER_BEATS = {164, 196};
constexpr BeatRange SPIKEBALL_BEATS = {196, 228};
constexpr BeatRange GREETINGS_BEATS = {228, 268};
constexpr BeatRange TERRAIN_BEATS = {268, 308};
constexpr BeatRange COLLIDER_BEATS = {308, 372}; // the end scene fades in over its last eleven beats
constexpr BeatRange END_BEATS = {361, 397};
constexpr BeatRange OVERLAY_BEATS = {0, 410}; // the text track, over the whole show

constexpr bool beat_in(const BeatRange& range, int32_t beat)
{
    return range.first <= beat && beat < range.end;
}
