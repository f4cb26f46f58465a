// The title scene's timing rules, on their own so that they can be checked
// without drawing: which object each logo slot shows and how it is placed,
// the height of the upper floor layers, the spark depth wrap and the block
// glow beats. Relies on the Matrix of scene/mesh.h.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

enum { TITLE_SLOT_CENTRE = 0, TITLE_SLOT_BACK = 1, TITLE_SLOT_FRONT = 2 };

// Object indices: 0 group logo, 1 co-production logo, 2 "vs", 3 production
// name, 4 "presents", 5 event logo; -1 when the slot is empty at that beat.
struct TitleLogo {
    int32_t object;
    Matrix model; // scale (1, g, 1) while growing, then a plain translation
    float time;   // wobble time
    int32_t bin;  // spectrum bin of the wobble
};

TitleLogo title_logo(int32_t slot, int32_t n, float b, float seconds);
float title_floor_height(int32_t n, float b, float fr);
// Depth of a spark after the wrap: beyond +-4 it restarts near 0, then cycles through [-4, 4).
float title_spark_depth(float z);
int32_t title_block_glow_beat(int32_t n);
