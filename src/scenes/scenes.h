// The eleven scenes of the timeline: each a load (0 on success, 1 on failure
// after releasing what it built), a free and a render taking the music time
// in seconds. The runtime reaches them only through its effect table.
#pragma once

#include <cstdint>

int32_t title_load();
void title_free();
void title_render(float seconds);

int32_t metaball_load();
void metaball_free();
void metaball_render(float seconds);

int32_t tunnel_load();
void tunnel_free();
void tunnel_render(float seconds);

int32_t water_load();
void water_free();
void water_render(float seconds);

int32_t ribbon_load();
void ribbon_free();
void ribbon_render(float seconds);

int32_t twister_load();
void twister_free();
void twister_render(float seconds);

int32_t spikeball_load();
void spikeball_free();
void spikeball_render(float seconds);

int32_t greetings_load();
void greetings_free();
void greetings_render(float seconds);

int32_t terrain_load();
void terrain_free();
void terrain_render(float seconds);

int32_t collider_load();
void collider_free();
void collider_render(float seconds);

int32_t end_load();
void end_free();
void end_render(float seconds);

// Carried state brought to a music time without drawing (what the next frame
// drawn at that time steps to anyway), for seeking: exactly the state a run
// from the start holds there. Scenes without carried state have none.
void metaball_advance(double seconds);
void spikeball_advance(double seconds);
void greetings_advance(double seconds);
void collider_advance(double seconds);
void end_advance(double seconds);
