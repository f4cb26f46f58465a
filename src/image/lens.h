// A spherical magnifying lens over the finished picture: a square of the
// screen is copied aside and every pixel of it replaced by the copied pixel
// its table cell names. Relies on core's frame surface.
#pragma once

#include <cstdint>

// Size s (pixels per side), strength, s * s source offsets and s * s scratch
// pixels, in one allocation with the record.
struct Lens {
    int32_t size;
    float strength;
    int32_t* offsets; // index into scratch per cell, row by row
    uint32_t* scratch;
};

// Null for a size outside 1..1024 or without memory.
Lens* lens_create(int32_t size, float strength);
// Null is allowed.
void lens_free(Lens* lens);
// With R = size / 2 and r0 = sqrt(R^2 - h^2): a cell (dx, dy) from the centre
// inside r0 reads from (h dx / z, h dy / z), z = sqrt(R^2 - dx^2 - dy^2), so the
// middle is magnified; cells outside r0 read themselves.
void lens_set_strength(Lens* lens, float strength);
// The s x s square at (x, y), clipped to the screen, through the lens; parts
// of the square outside the screen read as black.
void lens_apply(int32_t x, int32_t y, Lens* lens);
