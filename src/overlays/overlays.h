// Layers drawn over the scenes: the text overlay track and the grain and TV
// post filter. Each a load / free / render trio for the effect table.
#pragma once

#include <cstdint>

int32_t overlay_load();
void overlay_free();
void overlay_render(float seconds);

int32_t post_filter_load();
void post_filter_free();
void post_filter_render(float seconds);
