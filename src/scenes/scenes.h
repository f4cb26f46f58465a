// The eleven scenes of the timeline: each a load (0 on success, 1 on failure
// after releasing what it built), a free and a render drawing one frame from
// its SceneFrame; some also a finish, their work on the whole drawn frame.
// The timeline opens the drawing share around render and resets the
// rasterizer's state around both. The runtime reaches them only through its
// effect table.
#pragma once

#include "scene/scene_frame.h"

#include <cstdint>

int32_t title_load();
void title_free();
void title_render(const SceneFrame& frame);
void title_finish(const SceneFrame& frame);

int32_t metaball_load();
void metaball_free();
void metaball_render(const SceneFrame& frame);

int32_t tunnel_load();
void tunnel_free();
void tunnel_render(const SceneFrame& frame);

int32_t water_load();
void water_free();
void water_render(const SceneFrame& frame);

int32_t ribbon_load();
void ribbon_free();
void ribbon_render(const SceneFrame& frame);
void ribbon_finish(const SceneFrame& frame);

int32_t twister_load();
void twister_free();
void twister_render(const SceneFrame& frame);

int32_t spikeball_load();
void spikeball_free();
void spikeball_render(const SceneFrame& frame);
void spikeball_finish(const SceneFrame& frame);

int32_t greetings_load();
void greetings_free();
void greetings_render(const SceneFrame& frame);

int32_t terrain_load();
void terrain_free();
void terrain_render(const SceneFrame& frame);
void terrain_finish(const SceneFrame& frame);

int32_t collider_load();
void collider_free();
void collider_render(const SceneFrame& frame);

int32_t end_load();
void end_free();
void end_render(const SceneFrame& frame);

// Carried state brought to a music time without drawing (what the next frame
// drawn at that time steps to anyway), for seeking: exactly the state a run
// from the start holds there. Scenes without carried state have none.
void metaball_advance(double seconds);
// The spikeball's meter samples the spectrum frame by frame: it is given the
// frames of the clock's frame grid up to the target (oldest first, the target
// last, SCENE_ADVANCE_FRAMES at most), each with its own spectrum.
enum { SCENE_ADVANCE_FRAMES = 9 };
void spikeball_advance(const SceneFrame* recent, int32_t count);
void greetings_advance(double seconds);
void collider_advance(double seconds);
void end_advance(double seconds);
