// A small test object layer for the scene tests that build their own objects
// (title, end): a closed box standing on y = 0.
// Relies on the object writer of tools/common.
#pragma once

#include "common/lwo_writer.h"

#include <cstdint>

// A box from y = 0 to y = 1, 0.4 wide and deep, centred on (x, 0): the bottom
// four points first, the top four second, as the title and end objects are
// built; six quads of surface 0.
inline LwoLayer box_layer(uint16_t number, float x = 0.0f)
{
    LwoLayer layer;
    layer.number = number;
    const float s = 0.2f;
    for (int top = 0; top < 2; ++top) {
        const float y = static_cast<float>(top);
        const float corners[4][2] = {{-s, -s}, {s, -s}, {s, s}, {-s, s}};
        for (const auto& c : corners)
            layer.points.insert(layer.points.end(), {x + c[0], y, c[1]});
    }
    const uint32_t faces[6][4] = {{0, 1, 2, 3}, {7, 6, 5, 4}, {0, 4, 5, 1},
                                  {1, 5, 6, 2}, {2, 6, 7, 3}, {3, 7, 4, 0}};
    for (const auto& f : faces) {
        LwoPolygon polygon;
        polygon.corners.assign(f, f + 4);
        polygon.surface = 0;
        layer.polygons.push_back(polygon);
    }
    return layer;
}
