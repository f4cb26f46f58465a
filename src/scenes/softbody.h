// Soft bodies for 2D scenes: points and springs built from the lit pixels of
// an image, stepped by Verlet integration with a floor and optional circles,
// and drawn as outlined line segments clipped to the rasterizer's clip window.
// Relies on the PNG loader, the clip window of raster/ and the screen line.
#pragma once

#include "core/frame.h"

#include <cstdint>

struct SoftPoint {
    float x, y;
    float previous_x, previous_y;
    float acceleration_x, acceleration_y;
    float radius;
    int32_t pinned; // pinned points are neither integrated nor moved by links
};

struct SoftLink {
    int32_t a, b; // point indices
    float rest;   // rest length
};

struct SoftCircle {
    float x, y, radius;
};

// One allocation holds the record, the points, a copy of the points as built
// (for softbody_reset), the links and the circles.
struct SoftBody {
    int32_t point_count;
    SoftPoint* points;
    int32_t link_count;
    SoftLink* links;
    int32_t circle_count;
    SoftCircle* circles;
    float gravity_x, gravity_y;
    float time_step;
    SoftPoint* start; // the points as built
};

// Points never go below this row: the bottom edge of the letterbox.
enum { SOFTBODY_FLOOR = LETTERBOX_BOTTOM };

// Every pixel of the image that is not opaque black (0xff000000) becomes a
// pinned point at (column * sx + x, row * sy + y), in raster order. Links join
// each point to its right and lower neighbours, or to the lower-right one when
// it has neither; each link unpins its second point. Time step 1/30 s,
// gravity (0, 64). Null when the file does not load or memory runs out (the
// reason recorded for texture_load_failure).
SoftBody* softbody_from_image(const char* path, float x, float y, float sx, float sy);
// The same from width x height pixels in memory (width, height >= 0).
SoftBody* softbody_from_pixels(const uint32_t* pixels, int32_t width, int32_t height, float x, float y,
                               float sx, float sy);
// Null is allowed.
void softbody_free(SoftBody* body);
// Points back to where they were built, pinned as built.
void softbody_reset(SoftBody* body);
// Unpins every point.
void softbody_unpin(SoftBody* body);

// One Verlet step of time_step seconds under gravity (point 0 is never
// integrated), then two rounds of floor, circles and link constraints.
void softbody_step(SoftBody* body);

// Every link as a white line with a black line on each side (offsets 0, 1
// and 2 pixels down-right). 1 when not one pixel of any link was drawn.
int32_t softbody_draw(const SoftBody* body);

// The segment clipped to the rasterizer's clip window and drawn with the
// screen line; 1 when any part of it lies inside the window (and was drawn).
int32_t clipped_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
