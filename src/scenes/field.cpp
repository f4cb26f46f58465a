// The metaball field: storage and layout, scaling, ball accumulation bounded
// by each ball's reach, and the marching-cubes surface. Relies on scene/
// (matrices, camera) and raster/ (clip_and_draw_triangles); the tables are
// the classic ones (edge corners as in field.h).
#include "scenes/field.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

const uint8_t field_edge_corners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                           {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// clang-format off
const uint16_t field_edge_table[256] = {
    0x0, 0x109, 0x203, 0x30a, 0x406, 0x50f, 0x605, 0x70c,
    0x80c, 0x905, 0xa0f, 0xb06, 0xc0a, 0xd03, 0xe09, 0xf00,
    0x190, 0x99, 0x393, 0x29a, 0x596, 0x49f, 0x795, 0x69c,
    0x99c, 0x895, 0xb9f, 0xa96, 0xd9a, 0xc93, 0xf99, 0xe90,
    0x230, 0x339, 0x33, 0x13a, 0x636, 0x73f, 0x435, 0x53c,
    0xa3c, 0xb35, 0x83f, 0x936, 0xe3a, 0xf33, 0xc39, 0xd30,
    0x3a0, 0x2a9, 0x1a3, 0xaa, 0x7a6, 0x6af, 0x5a5, 0x4ac,
    0xbac, 0xaa5, 0x9af, 0x8a6, 0xfaa, 0xea3, 0xda9, 0xca0,
    0x460, 0x569, 0x663, 0x76a, 0x66, 0x16f, 0x265, 0x36c,
    0xc6c, 0xd65, 0xe6f, 0xf66, 0x86a, 0x963, 0xa69, 0xb60,
    0x5f0, 0x4f9, 0x7f3, 0x6fa, 0x1f6, 0xff, 0x3f5, 0x2fc,
    0xdfc, 0xcf5, 0xfff, 0xef6, 0x9fa, 0x8f3, 0xbf9, 0xaf0,
    0x650, 0x759, 0x453, 0x55a, 0x256, 0x35f, 0x55, 0x15c,
    0xe5c, 0xf55, 0xc5f, 0xd56, 0xa5a, 0xb53, 0x859, 0x950,
    0x7c0, 0x6c9, 0x5c3, 0x4ca, 0x3c6, 0x2cf, 0x1c5, 0xcc,
    0xfcc, 0xec5, 0xdcf, 0xcc6, 0xbca, 0xac3, 0x9c9, 0x8c0,
    0x8c0, 0x9c9, 0xac3, 0xbca, 0xcc6, 0xdcf, 0xec5, 0xfcc,
    0xcc, 0x1c5, 0x2cf, 0x3c6, 0x4ca, 0x5c3, 0x6c9, 0x7c0,
    0x950, 0x859, 0xb53, 0xa5a, 0xd56, 0xc5f, 0xf55, 0xe5c,
    0x15c, 0x55, 0x35f, 0x256, 0x55a, 0x453, 0x759, 0x650,
    0xaf0, 0xbf9, 0x8f3, 0x9fa, 0xef6, 0xfff, 0xcf5, 0xdfc,
    0x2fc, 0x3f5, 0xff, 0x1f6, 0x6fa, 0x7f3, 0x4f9, 0x5f0,
    0xb60, 0xa69, 0x963, 0x86a, 0xf66, 0xe6f, 0xd65, 0xc6c,
    0x36c, 0x265, 0x16f, 0x66, 0x76a, 0x663, 0x569, 0x460,
    0xca0, 0xda9, 0xea3, 0xfaa, 0x8a6, 0x9af, 0xaa5, 0xbac,
    0x4ac, 0x5a5, 0x6af, 0x7a6, 0xaa, 0x1a3, 0x2a9, 0x3a0,
    0xd30, 0xc39, 0xf33, 0xe3a, 0x936, 0x83f, 0xb35, 0xa3c,
    0x53c, 0x435, 0x73f, 0x636, 0x13a, 0x33, 0x339, 0x230,
    0xe90, 0xf99, 0xc93, 0xd9a, 0xa96, 0xb9f, 0x895, 0x99c,
    0x69c, 0x795, 0x49f, 0x596, 0x29a, 0x393, 0x99, 0x190,
    0xf00, 0xe09, 0xd03, 0xc0a, 0xb06, 0xa0f, 0x905, 0x80c,
    0x70c, 0x605, 0x50f, 0x406, 0x30a, 0x203, 0x109, 0x0,
};

const int8_t field_triangle_table[256][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 8, 3, 9, 8, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 2, 10, 0, 2, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 8, 3, 2, 10, 8, 10, 9, 8, -1, -1, -1, -1, -1, -1, -1},
    {3, 11, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 11, 2, 8, 11, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 11, 2, 1, 9, 11, 9, 8, 11, -1, -1, -1, -1, -1, -1, -1},
    {3, 10, 1, 11, 10, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 10, 1, 0, 8, 10, 8, 11, 10, -1, -1, -1, -1, -1, -1, -1},
    {3, 9, 0, 3, 11, 9, 11, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 8, 10, 10, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 3, 0, 7, 3, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 1, 9, 4, 7, 1, 7, 3, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 4, 7, 3, 0, 4, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1},
    {9, 2, 10, 9, 0, 2, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 7, 2, 7, 3, 7, 9, 4, -1, -1, -1, -1},
    {8, 4, 7, 3, 11, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 4, 7, 11, 2, 4, 2, 0, 4, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 1, 8, 4, 7, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 11, 9, 4, 11, 9, 11, 2, 9, 2, 1, -1, -1, -1, -1},
    {3, 10, 1, 3, 11, 10, 7, 8, 4, -1, -1, -1, -1, -1, -1, -1},
    {1, 11, 10, 1, 4, 11, 1, 0, 4, 7, 11, 4, -1, -1, -1, -1},
    {4, 7, 8, 9, 0, 11, 9, 11, 10, 11, 0, 3, -1, -1, -1, -1},
    {4, 7, 11, 4, 11, 9, 9, 11, 10, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, 0, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 5, 4, 1, 5, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 5, 4, 8, 3, 5, 3, 1, 5, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 9, 5, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 1, 2, 10, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {5, 2, 10, 5, 4, 2, 4, 0, 2, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 5, 3, 2, 5, 3, 5, 4, 3, 4, 8, -1, -1, -1, -1},
    {9, 5, 4, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 11, 2, 0, 8, 11, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 5, 4, 0, 1, 5, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1},
    {2, 1, 5, 2, 5, 8, 2, 8, 11, 4, 8, 5, -1, -1, -1, -1},
    {10, 3, 11, 10, 1, 3, 9, 5, 4, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, 0, 8, 1, 8, 10, 1, 8, 11, 10, -1, -1, -1, -1},
    {5, 4, 0, 5, 0, 11, 5, 11, 10, 11, 0, 3, -1, -1, -1, -1},
    {5, 4, 8, 5, 8, 10, 10, 8, 11, -1, -1, -1, -1, -1, -1, -1},
    {9, 7, 8, 5, 7, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 3, 0, 9, 5, 3, 5, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 7, 8, 0, 1, 7, 1, 5, 7, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 3, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 7, 8, 9, 5, 7, 10, 1, 2, -1, -1, -1, -1, -1, -1, -1},
    {10, 1, 2, 9, 5, 0, 5, 3, 0, 5, 7, 3, -1, -1, -1, -1},
    {8, 0, 2, 8, 2, 5, 8, 5, 7, 10, 5, 2, -1, -1, -1, -1},
    {2, 10, 5, 2, 5, 3, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1},
    {7, 9, 5, 7, 8, 9, 3, 11, 2, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 7, 9, 7, 2, 9, 2, 0, 2, 7, 11, -1, -1, -1, -1},
    {2, 3, 11, 0, 1, 8, 1, 7, 8, 1, 5, 7, -1, -1, -1, -1},
    {11, 2, 1, 11, 1, 7, 7, 1, 5, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 8, 8, 5, 7, 10, 1, 3, 10, 3, 11, -1, -1, -1, -1},
    {5, 7, 0, 5, 0, 9, 7, 11, 0, 1, 0, 10, 11, 10, 0, -1},
    {11, 10, 0, 11, 0, 3, 10, 5, 0, 8, 0, 7, 5, 7, 0, -1},
    {11, 10, 5, 7, 11, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {10, 6, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 1, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 8, 3, 1, 9, 8, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 5, 2, 6, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 5, 1, 2, 6, 3, 0, 8, -1, -1, -1, -1, -1, -1, -1},
    {9, 6, 5, 9, 0, 6, 0, 2, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 9, 8, 5, 8, 2, 5, 2, 6, 3, 2, 8, -1, -1, -1, -1},
    {2, 3, 11, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 0, 8, 11, 2, 0, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 1, 9, 2, 9, 11, 2, 9, 8, 11, -1, -1, -1, -1},
    {6, 3, 11, 6, 5, 3, 5, 1, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 5, 0, 5, 1, 5, 11, 6, -1, -1, -1, -1},
    {3, 11, 6, 0, 3, 6, 0, 6, 5, 0, 5, 9, -1, -1, -1, -1},
    {6, 5, 9, 6, 9, 11, 11, 9, 8, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 3, 0, 4, 7, 3, 6, 5, 10, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 5, 10, 6, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1},
    {10, 6, 5, 1, 9, 7, 1, 7, 3, 7, 9, 4, -1, -1, -1, -1},
    {6, 1, 2, 6, 5, 1, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 5, 5, 2, 6, 3, 0, 4, 3, 4, 7, -1, -1, -1, -1},
    {8, 4, 7, 9, 0, 5, 0, 6, 5, 0, 2, 6, -1, -1, -1, -1},
    {7, 3, 9, 7, 9, 4, 3, 2, 9, 5, 9, 6, 2, 6, 9, -1},
    {3, 11, 2, 7, 8, 4, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 4, 7, 2, 4, 2, 0, 2, 7, 11, -1, -1, -1, -1},
    {0, 1, 9, 4, 7, 8, 2, 3, 11, 5, 10, 6, -1, -1, -1, -1},
    {9, 2, 1, 9, 11, 2, 9, 4, 11, 7, 11, 4, 5, 10, 6, -1},
    {8, 4, 7, 3, 11, 5, 3, 5, 1, 5, 11, 6, -1, -1, -1, -1},
    {5, 1, 11, 5, 11, 6, 1, 0, 11, 7, 11, 4, 0, 4, 11, -1},
    {0, 5, 9, 0, 6, 5, 0, 3, 6, 11, 6, 3, 8, 4, 7, -1},
    {6, 5, 9, 6, 9, 11, 4, 7, 9, 7, 11, 9, -1, -1, -1, -1},
    {10, 4, 9, 6, 4, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 10, 6, 4, 9, 10, 0, 8, 3, -1, -1, -1, -1, -1, -1, -1},
    {10, 0, 1, 10, 6, 0, 6, 4, 0, -1, -1, -1, -1, -1, -1, -1},
    {8, 3, 1, 8, 1, 6, 8, 6, 4, 6, 1, 10, -1, -1, -1, -1},
    {1, 4, 9, 1, 2, 4, 2, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 1, 2, 9, 2, 4, 9, 2, 6, 4, -1, -1, -1, -1},
    {0, 2, 4, 4, 2, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 3, 2, 8, 2, 4, 4, 2, 6, -1, -1, -1, -1, -1, -1, -1},
    {10, 4, 9, 10, 6, 4, 11, 2, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 2, 2, 8, 11, 4, 9, 10, 4, 10, 6, -1, -1, -1, -1},
    {3, 11, 2, 0, 1, 6, 0, 6, 4, 6, 1, 10, -1, -1, -1, -1},
    {6, 4, 1, 6, 1, 10, 4, 8, 1, 2, 1, 11, 8, 11, 1, -1},
    {9, 6, 4, 9, 3, 6, 9, 1, 3, 11, 6, 3, -1, -1, -1, -1},
    {8, 11, 1, 8, 1, 0, 11, 6, 1, 9, 1, 4, 6, 4, 1, -1},
    {3, 11, 6, 3, 6, 0, 0, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {6, 4, 8, 11, 6, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 10, 6, 7, 8, 10, 8, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 7, 3, 0, 10, 7, 0, 9, 10, 6, 7, 10, -1, -1, -1, -1},
    {10, 6, 7, 1, 10, 7, 1, 7, 8, 1, 8, 0, -1, -1, -1, -1},
    {10, 6, 7, 10, 7, 1, 1, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 8, 1, 8, 9, 8, 6, 7, -1, -1, -1, -1},
    {2, 6, 9, 2, 9, 1, 6, 7, 9, 0, 9, 3, 7, 3, 9, -1},
    {7, 8, 0, 7, 0, 6, 6, 0, 2, -1, -1, -1, -1, -1, -1, -1},
    {7, 3, 2, 6, 7, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, 10, 6, 8, 10, 8, 9, 8, 6, 7, -1, -1, -1, -1},
    {2, 0, 7, 2, 7, 11, 0, 9, 7, 6, 7, 10, 9, 10, 7, -1},
    {1, 8, 0, 1, 7, 8, 1, 10, 7, 6, 7, 10, 2, 3, 11, -1},
    {11, 2, 1, 11, 1, 7, 10, 6, 1, 6, 7, 1, -1, -1, -1, -1},
    {8, 9, 6, 8, 6, 7, 9, 1, 6, 11, 6, 3, 1, 3, 6, -1},
    {0, 9, 1, 11, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 8, 0, 7, 0, 6, 3, 11, 0, 11, 6, 0, -1, -1, -1, -1},
    {7, 11, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 6, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 1, 9, 8, 3, 1, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1},
    {10, 1, 2, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 3, 0, 8, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {2, 9, 0, 2, 10, 9, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {6, 11, 7, 2, 10, 3, 10, 8, 3, 10, 9, 8, -1, -1, -1, -1},
    {7, 2, 3, 6, 2, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 0, 8, 7, 6, 0, 6, 2, 0, -1, -1, -1, -1, -1, -1, -1},
    {2, 7, 6, 2, 3, 7, 0, 1, 9, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 2, 1, 8, 6, 1, 9, 8, 8, 7, 6, -1, -1, -1, -1},
    {10, 7, 6, 10, 1, 7, 1, 3, 7, -1, -1, -1, -1, -1, -1, -1},
    {10, 7, 6, 1, 7, 10, 1, 8, 7, 1, 0, 8, -1, -1, -1, -1},
    {0, 3, 7, 0, 7, 10, 0, 10, 9, 6, 10, 7, -1, -1, -1, -1},
    {7, 6, 10, 7, 10, 8, 8, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {6, 8, 4, 11, 8, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 6, 11, 3, 0, 6, 0, 4, 6, -1, -1, -1, -1, -1, -1, -1},
    {8, 6, 11, 8, 4, 6, 9, 0, 1, -1, -1, -1, -1, -1, -1, -1},
    {9, 4, 6, 9, 6, 3, 9, 3, 1, 11, 3, 6, -1, -1, -1, -1},
    {6, 8, 4, 6, 11, 8, 2, 10, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 3, 0, 11, 0, 6, 11, 0, 4, 6, -1, -1, -1, -1},
    {4, 11, 8, 4, 6, 11, 0, 2, 9, 2, 10, 9, -1, -1, -1, -1},
    {10, 9, 3, 10, 3, 2, 9, 4, 3, 11, 3, 6, 4, 6, 3, -1},
    {8, 2, 3, 8, 4, 2, 4, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 2, 4, 6, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 2, 3, 4, 2, 4, 6, 4, 3, 8, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 2, 2, 4, 6, -1, -1, -1, -1, -1, -1, -1},
    {8, 1, 3, 8, 6, 1, 8, 4, 6, 6, 10, 1, -1, -1, -1, -1},
    {10, 1, 0, 10, 0, 6, 6, 0, 4, -1, -1, -1, -1, -1, -1, -1},
    {4, 6, 3, 4, 3, 8, 6, 10, 3, 0, 3, 9, 10, 9, 3, -1},
    {10, 9, 4, 6, 10, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 5, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 0, 1, 5, 4, 0, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1},
    {11, 7, 6, 8, 3, 4, 3, 5, 4, 3, 1, 5, -1, -1, -1, -1},
    {9, 5, 4, 10, 1, 2, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1},
    {6, 11, 7, 1, 2, 10, 0, 8, 3, 4, 9, 5, -1, -1, -1, -1},
    {7, 6, 11, 5, 4, 10, 4, 2, 10, 4, 0, 2, -1, -1, -1, -1},
    {3, 4, 8, 3, 5, 4, 3, 2, 5, 10, 5, 2, 11, 7, 6, -1},
    {7, 2, 3, 7, 6, 2, 5, 4, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, 0, 8, 6, 0, 6, 2, 6, 8, 7, -1, -1, -1, -1},
    {3, 6, 2, 3, 7, 6, 1, 5, 0, 5, 4, 0, -1, -1, -1, -1},
    {6, 2, 8, 6, 8, 7, 2, 1, 8, 4, 8, 5, 1, 5, 8, -1},
    {9, 5, 4, 10, 1, 6, 1, 7, 6, 1, 3, 7, -1, -1, -1, -1},
    {1, 6, 10, 1, 7, 6, 1, 0, 7, 8, 7, 0, 9, 5, 4, -1},
    {4, 0, 10, 4, 10, 5, 0, 3, 10, 6, 10, 7, 3, 7, 10, -1},
    {7, 6, 10, 7, 10, 8, 5, 4, 10, 4, 8, 10, -1, -1, -1, -1},
    {6, 9, 5, 6, 11, 9, 11, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {3, 6, 11, 0, 6, 3, 0, 5, 6, 0, 9, 5, -1, -1, -1, -1},
    {0, 11, 8, 0, 5, 11, 0, 1, 5, 5, 6, 11, -1, -1, -1, -1},
    {6, 11, 3, 6, 3, 5, 5, 3, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 9, 5, 11, 9, 11, 8, 11, 5, 6, -1, -1, -1, -1},
    {0, 11, 3, 0, 6, 11, 0, 9, 6, 5, 6, 9, 1, 2, 10, -1},
    {11, 8, 5, 11, 5, 6, 8, 0, 5, 10, 5, 2, 0, 2, 5, -1},
    {6, 11, 3, 6, 3, 5, 2, 10, 3, 10, 5, 3, -1, -1, -1, -1},
    {5, 8, 9, 5, 2, 8, 5, 6, 2, 3, 8, 2, -1, -1, -1, -1},
    {9, 5, 6, 9, 6, 0, 0, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 8, 1, 8, 0, 5, 6, 8, 3, 8, 2, 6, 2, 8, -1},
    {1, 5, 6, 2, 1, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 6, 1, 6, 10, 3, 8, 6, 5, 6, 9, 8, 9, 6, -1},
    {10, 1, 0, 10, 0, 6, 9, 5, 0, 5, 6, 0, -1, -1, -1, -1},
    {0, 3, 8, 5, 6, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {10, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 5, 10, 7, 5, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 5, 10, 11, 7, 5, 8, 3, 0, -1, -1, -1, -1, -1, -1, -1},
    {5, 11, 7, 5, 10, 11, 1, 9, 0, -1, -1, -1, -1, -1, -1, -1},
    {10, 7, 5, 10, 11, 7, 9, 8, 1, 8, 3, 1, -1, -1, -1, -1},
    {11, 1, 2, 11, 7, 1, 7, 5, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 7, 1, 7, 5, 7, 2, 11, -1, -1, -1, -1},
    {9, 7, 5, 9, 2, 7, 9, 0, 2, 2, 11, 7, -1, -1, -1, -1},
    {7, 5, 2, 7, 2, 11, 5, 9, 2, 3, 2, 8, 9, 8, 2, -1},
    {2, 5, 10, 2, 3, 5, 3, 7, 5, -1, -1, -1, -1, -1, -1, -1},
    {8, 2, 0, 8, 5, 2, 8, 7, 5, 10, 2, 5, -1, -1, -1, -1},
    {9, 0, 1, 5, 10, 3, 5, 3, 7, 3, 10, 2, -1, -1, -1, -1},
    {9, 8, 2, 9, 2, 1, 8, 7, 2, 10, 2, 5, 7, 5, 2, -1},
    {1, 3, 5, 3, 7, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 1, 1, 7, 5, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 3, 9, 3, 5, 5, 3, 7, -1, -1, -1, -1, -1, -1, -1},
    {9, 8, 7, 5, 9, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {5, 8, 4, 5, 10, 8, 10, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {5, 0, 4, 5, 11, 0, 5, 10, 11, 11, 3, 0, -1, -1, -1, -1},
    {0, 1, 9, 8, 4, 10, 8, 10, 11, 10, 4, 5, -1, -1, -1, -1},
    {10, 11, 4, 10, 4, 5, 11, 3, 4, 9, 4, 1, 3, 1, 4, -1},
    {2, 5, 1, 2, 8, 5, 2, 11, 8, 4, 5, 8, -1, -1, -1, -1},
    {0, 4, 11, 0, 11, 3, 4, 5, 11, 2, 11, 1, 5, 1, 11, -1},
    {0, 2, 5, 0, 5, 9, 2, 11, 5, 4, 5, 8, 11, 8, 5, -1},
    {9, 4, 5, 2, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 5, 10, 3, 5, 2, 3, 4, 5, 3, 8, 4, -1, -1, -1, -1},
    {5, 10, 2, 5, 2, 4, 4, 2, 0, -1, -1, -1, -1, -1, -1, -1},
    {3, 10, 2, 3, 5, 10, 3, 8, 5, 4, 5, 8, 0, 1, 9, -1},
    {5, 10, 2, 5, 2, 4, 1, 9, 2, 9, 4, 2, -1, -1, -1, -1},
    {8, 4, 5, 8, 5, 3, 3, 5, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 5, 1, 0, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 4, 5, 8, 5, 3, 9, 0, 5, 0, 3, 5, -1, -1, -1, -1},
    {9, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 11, 7, 4, 9, 11, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 7, 9, 11, 7, 9, 10, 11, -1, -1, -1, -1},
    {1, 10, 11, 1, 11, 4, 1, 4, 0, 7, 4, 11, -1, -1, -1, -1},
    {3, 1, 4, 3, 4, 8, 1, 10, 4, 7, 4, 11, 10, 11, 4, -1},
    {4, 11, 7, 9, 11, 4, 9, 2, 11, 9, 1, 2, -1, -1, -1, -1},
    {9, 7, 4, 9, 11, 7, 9, 1, 11, 2, 11, 1, 0, 8, 3, -1},
    {11, 7, 4, 11, 4, 2, 2, 4, 0, -1, -1, -1, -1, -1, -1, -1},
    {11, 7, 4, 11, 4, 2, 8, 3, 4, 3, 2, 4, -1, -1, -1, -1},
    {2, 9, 10, 2, 7, 9, 2, 3, 7, 7, 4, 9, -1, -1, -1, -1},
    {9, 10, 7, 9, 7, 4, 10, 2, 7, 8, 7, 0, 2, 0, 7, -1},
    {3, 7, 10, 3, 10, 2, 7, 4, 10, 1, 10, 0, 4, 0, 10, -1},
    {1, 10, 2, 8, 7, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 1, 4, 1, 7, 7, 1, 3, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 1, 4, 1, 7, 0, 8, 1, 8, 7, 1, -1, -1, -1, -1},
    {4, 0, 3, 7, 4, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 8, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 10, 8, 10, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 9, 3, 9, 11, 11, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 8, 8, 10, 11, -1, -1, -1, -1, -1, -1, -1},
    {3, 1, 10, 11, 3, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 11, 1, 11, 9, 9, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 9, 3, 9, 11, 1, 2, 9, 2, 11, 9, -1, -1, -1, -1},
    {0, 2, 11, 8, 0, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 2, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 10, 10, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 10, 2, 0, 9, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 10, 0, 1, 8, 1, 10, 8, -1, -1, -1, -1},
    {1, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 8, 9, 1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
};
// clang-format on

// Scratch of the surface walk. Edge vertices are kept per directed edge (the
// vertex of A -> B is a function of A and B alone, so every cube that names
// the edge in the same direction gets the same record): for the two planes of
// points x = i and x = i + 1 of the layer of cubes being walked, the edges
// along +k, -k, +j and -j, and for the layer the edges along +i. A slot holds
// a vertex of this walk when its stamp equals its set's current stamp.
struct EdgeSet {
    MeshVertex* vertices;
    uint32_t* stamps;
    uint32_t stamp;
};

struct FieldScratch {
    uint8_t* below;       // one below-iso flag per point
    EdgeSet planes[2][4]; // [plane][K_PLUS..J_MINUS]: k edges at b N + k, j edges at j (N + 1) + c
    EdgeSet across;       // +i edges at b (N + 1) + c
    size_t plane_slots;   // (N + 1) N
    size_t across_slots;  // (N + 1)^2
    uint32_t generation;  // the last stamp handed out
};

namespace
{

enum { K_PLUS = 0, K_MINUS = 1, J_PLUS = 2, J_MINUS = 3 };

bool edge_set_create(EdgeSet* set, size_t slots)
{
    set->vertices = static_cast<MeshVertex*>(std::calloc(slots, sizeof(MeshVertex)));
    set->stamps = static_cast<uint32_t*>(std::calloc(slots, sizeof(uint32_t)));
    set->stamp = 0;
    return set->vertices && set->stamps;
}

void scratch_free(FieldScratch* scratch)
{
    if (!scratch)
        return;
    std::free(scratch->below);
    for (auto& plane : scratch->planes)
        for (EdgeSet& set : plane) {
            std::free(set.vertices);
            std::free(set.stamps);
        }
    std::free(scratch->across.vertices);
    std::free(scratch->across.stamps);
    std::free(scratch);
}

FieldScratch* scratch_create(int32_t cells, int32_t point_count)
{
    FieldScratch* scratch = static_cast<FieldScratch*>(std::calloc(1, sizeof(FieldScratch)));
    if (!scratch)
        return nullptr;
    const size_t side = static_cast<size_t>(cells) + 1;
    scratch->plane_slots = side * static_cast<size_t>(cells);
    scratch->across_slots = side * side;
    scratch->below = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(point_count), 1));
    bool ok = scratch->below != nullptr;
    for (auto& plane : scratch->planes)
        for (EdgeSet& set : plane)
            ok = edge_set_create(&set, scratch->plane_slots) && ok;
    ok = edge_set_create(&scratch->across, scratch->across_slots) && ok;
    if (!ok) {
        scratch_free(scratch);
        return nullptr;
    }
    return scratch;
}

// A fresh stamp for a set: larger than every stamp in any slot. Before the
// counter would wrap, every slot is emptied and every set given stamp 1 (its
// slots, at 0, then hold nothing; a vertex lost that way is simply made again).
uint32_t next_stamp(FieldScratch* scratch)
{
    if (scratch->generation == UINT32_MAX) {
        for (auto& plane : scratch->planes)
            for (EdgeSet& set : plane) {
                std::memset(set.stamps, 0, scratch->plane_slots * sizeof(uint32_t));
                set.stamp = 1;
            }
        std::memset(scratch->across.stamps, 0, scratch->across_slots * sizeof(uint32_t));
        scratch->across.stamp = 1;
        scratch->generation = 1;
    }
    return ++scratch->generation;
}

} // namespace

MetaField* field_create(int32_t cells)
{
    if (cells < 1 || cells > FIELD_MAX_CELLS)
        return nullptr;
    MetaField* field = static_cast<MetaField*>(std::calloc(1, sizeof(MetaField)));
    if (!field)
        return nullptr;
    const int64_t side = static_cast<int64_t>(cells) + 1;
    field->cells = cells;
    field->point_count = static_cast<int32_t>(side * side * side);
    field->cube_count = cells * cells * cells;
    field->grid_points =
        static_cast<FieldPoint*>(std::calloc(static_cast<size_t>(field->point_count), sizeof(FieldPoint)));
    field->cubes =
        static_cast<FieldCube*>(std::calloc(static_cast<size_t>(field->cube_count), sizeof(FieldCube)));
    field->cube_flags =
        static_cast<uint32_t*>(std::calloc(static_cast<size_t>(field->cube_count), sizeof(uint32_t)));
    field->scratch = scratch_create(cells, field->point_count);
    if (!field->grid_points || !field->cubes || !field->cube_flags || !field->scratch) {
        field_destroy(field);
        return nullptr;
    }
    field->light = {0.0f, 0.0f, 1.0f};
    matrix_identity(&field->model);
    return field;
}

void field_destroy(MetaField* field)
{
    if (!field)
        return;
    std::free(field->grid_points);
    std::free(field->cubes);
    std::free(field->cube_flags);
    scratch_free(field->scratch);
    std::free(field);
}

void field_layout(MetaField* field, float size)
{
    if (!field)
        return;
    const int32_t n = field->cells, side = n + 1;
    const float fn = static_cast<float>(n);
    const float half = size / 2.0f;
    FieldPoint* p = field->grid_points;
    for (int32_t i = 0; i <= n; i++)
        for (int32_t j = 0; j <= n; j++)
            for (int32_t k = 0; k <= n; k++, p++) {
                p->x = size * static_cast<float>(i) / fn - half;
                p->y = size * static_cast<float>(j) / fn - half;
                p->z = size * static_cast<float>(k) / fn - half;
                p->gx = p->gy = p->gz = 0.0f;
                p->value = 0.0f;
            }
    FieldCube* c = field->cubes;
    for (int32_t i = 0; i < n; i++)
        for (int32_t j = 0; j < n; j++)
            for (int32_t k = 0; k < n; k++, c++) {
                auto at = [side](int32_t a, int32_t b, int32_t d) { return (a * side + b) * side + d; };
                c->corners[0] = at(i, j, k);
                c->corners[1] = at(i, j, k + 1);
                c->corners[2] = at(i, j + 1, k + 1);
                c->corners[3] = at(i, j + 1, k);
                c->corners[4] = at(i + 1, j, k);
                c->corners[5] = at(i + 1, j, k + 1);
                c->corners[6] = at(i + 1, j + 1, k + 1);
                c->corners[7] = at(i + 1, j + 1, k);
            }
    // Only a finite, positive edge gives a grid that field_add_ball may bound by.
    field->size = std::isfinite(size) && size > 0.0f ? size : 0.0f;
}

void field_scale(MetaField* field, float factor)
{
    if (!field)
        return;
    FieldPoint* p = field->grid_points;
    for (int32_t i = 0; i < field->point_count; i++) {
        p[i].gx *= factor;
        p[i].gy *= factor;
        p[i].gz *= factor;
        p[i].value *= factor;
    }
    std::memset(field->cube_flags, 0, sizeof(uint32_t) * static_cast<size_t>(field->cube_count));
}

namespace
{

// Index range [*first, *last] along one axis of the points whose coordinate
// can lie within `reach` of c, one index of margin on each side for rounding.
// False when the axis holds none.
bool axis_range(const MetaField* field, float c, double reach, int32_t* first, int32_t* last)
{
    const double n = field->cells, size = field->size;
    const double lo = (static_cast<double>(c) - reach + size / 2.0) * n / size - 1.0;
    const double hi = (static_cast<double>(c) + reach + size / 2.0) * n / size + 1.0;
    if (hi < 0.0 || lo > n)
        return false;
    *first = lo <= 0.0 ? 0 : static_cast<int32_t>(std::floor(lo));
    *last = hi >= n ? field->cells : static_cast<int32_t>(std::ceil(hi));
    return true;
}

inline void add_ball_at(FieldPoint* p, const Vec3* centre, float r, float r2, float r3)
{
    Vec3 d = {p->x - centre->x, p->y - centre->y, p->z - centre->z};
    float d2 = vec3_dot(&d, &d);
    if (!(d2 <= r3))
        return;
    if (d2 == 0.0f)
        d2 = 0.0001f;
    const float value = p->value + r2 / d2;
    if (std::isfinite(value))
        p->value = value;
    const float k = r / (d2 * d2);
    const float gx = p->gx + d.x * k, gy = p->gy + d.y * k, gz = p->gz + d.z * k;
    if (std::isfinite(gx) && std::isfinite(gy) && std::isfinite(gz)) {
        p->gx = gx;
        p->gy = gy;
        p->gz = gz;
    }
}

} // namespace

void field_add_ball(MetaField* field, const Vec3* centre, float r)
{
    if (!field || !centre)
        return;
    const float r2 = r * r, r3 = r2 * r;
    const int32_t side = field->cells + 1;
    // d2 <= r^3 needs every offset within sqrt(r^3): a box around the centre.
    int32_t i0 = 0, i1 = field->cells, j0 = 0, j1 = field->cells, k0 = 0, k1 = field->cells;
    const double reach = std::sqrt(static_cast<double>(r3));
    const bool bounded = field->size > 0.0f && std::isfinite(reach) && std::isfinite(centre->x) &&
                         std::isfinite(centre->y) && std::isfinite(centre->z);
    if (!(r3 >= 0.0f))
        return; // no squared distance is at most a negative or NaN reach
    if (bounded &&
        (!axis_range(field, centre->x, reach, &i0, &i1) || !axis_range(field, centre->y, reach, &j0, &j1) ||
         !axis_range(field, centre->z, reach, &k0, &k1)))
        return;
    for (int32_t i = i0; i <= i1; i++)
        for (int32_t j = j0; j <= j1; j++) {
            FieldPoint* row = field->grid_points + (static_cast<int64_t>(i) * side + j) * side;
            for (int32_t k = k0; k <= k1; k++)
                add_ball_at(row + k, centre, r, r2, r3);
        }
}

namespace
{

struct SurfaceFrame {
    Matrix model_view;
    Matrix normal_matrix;
    Vec3 light;
    float iso;
};

// vec3_normalize's arithmetic, inlined: the float square root is the
// correctly rounded one that core_sqrt reaches through double.
inline Vec3 unit(float x, float y, float z)
{
    const float q = x * x + y * y + z * z;
    const float f = q != 0.0f ? 1.0f / std::sqrt(q) : 0.0f;
    return {x * f, y * f, z * f};
}

// The vertex where edge A -> B crosses iso, in camera space, lit and mapped.
void edge_vertex(const SurfaceFrame& f, const FieldPoint& a, const FieldPoint& b, MeshVertex* out)
{
    const float t = (f.iso - a.value) / (b.value - a.value);
    const float x = a.x + t * (b.x - a.x), y = a.y + t * (b.y - a.y), z = a.z + t * (b.z - a.z);
    const Vec3 normal = unit(a.gx + t * (b.gx - a.gx), a.gy + t * (b.gy - a.gy), a.gz + t * (b.gz - a.gz));
    const float* m = f.model_view.m;
    out->x = x;
    out->y = y;
    out->z = z;
    out->tx = x * m[0] + y * m[4] + z * m[8] + m[12];
    out->ty = x * m[1] + y * m[5] + z * m[9] + m[13];
    out->tz = x * m[2] + y * m[6] + z * m[10] + m[14];
    out->tw = x * m[3] + y * m[7] + z * m[11] + m[15];
    const float* r = f.normal_matrix.m;
    const Vec3 n = unit(normal.x * r[0] + normal.y * r[4] + normal.z * r[8],
                        normal.x * r[1] + normal.y * r[5] + normal.z * r[9],
                        normal.x * r[2] + normal.y * r[6] + normal.z * r[10]);
    out->u = out->u2 = (n.x + 1.0f) * 0.5f;
    out->v = out->v2 = (1.0f - n.y) * 0.5f;
    float lit = n.x * f.light.x + n.y * f.light.y + n.z * f.light.z;
    lit = lit < 0.0f ? 0.0f : (lit > 1.0f ? 1.0f : lit);
    out->colour = grey(float_to_int(lit * 255.0f));
}

// The cached vertex of edge A -> B in slot `slot` of the set, made on first use.
inline const MeshVertex* edge_at(const SurfaceFrame& f, EdgeSet& set, size_t slot, const FieldPoint& a,
                                 const FieldPoint& b)
{
    if (set.stamps[slot] != set.stamp) {
        edge_vertex(f, a, b, &set.vertices[slot]);
        set.stamps[slot] = set.stamp;
    }
    return &set.vertices[slot];
}

// The triangles of cube (i, j, k) with the given index, in the reversed
// winding; returns their count. corners as in FieldCube; near and far are
// the edge sets of the planes x = i and x = i + 1, across those of the layer.
int32_t cube_triangles(const SurfaceFrame& f, const FieldPoint* const c[8], int32_t index, int32_t j,
                       int32_t k, int32_t n, EdgeSet* near, EdgeSet* far, EdgeSet& across, MeshVertex* out)
{
    const size_t side = static_cast<size_t>(n) + 1;
    const size_t kj = static_cast<size_t>(j) * n + k, kj1 = kj + n; // k edges at (j, k) and (j + 1, k)
    const size_t jk = static_cast<size_t>(j) * side + k,
                 jk1 = jk + side; // j and i edges at (j, k), (j + 1, k)
    const MeshVertex* edge[12];
    const uint32_t mask = field_edge_table[index];
    if (mask & 0x001u)
        edge[0] = edge_at(f, near[K_PLUS], kj, *c[0], *c[1]);
    if (mask & 0x002u)
        edge[1] = edge_at(f, near[J_PLUS], jk + 1, *c[1], *c[2]);
    if (mask & 0x004u)
        edge[2] = edge_at(f, near[K_MINUS], kj1, *c[2], *c[3]);
    if (mask & 0x008u)
        edge[3] = edge_at(f, near[J_MINUS], jk, *c[3], *c[0]);
    if (mask & 0x010u)
        edge[4] = edge_at(f, far[K_PLUS], kj, *c[4], *c[5]);
    if (mask & 0x020u)
        edge[5] = edge_at(f, far[J_PLUS], jk + 1, *c[5], *c[6]);
    if (mask & 0x040u)
        edge[6] = edge_at(f, far[K_MINUS], kj1, *c[6], *c[7]);
    if (mask & 0x080u)
        edge[7] = edge_at(f, far[J_MINUS], jk, *c[7], *c[4]);
    if (mask & 0x100u)
        edge[8] = edge_at(f, across, jk, *c[0], *c[4]);
    if (mask & 0x200u)
        edge[9] = edge_at(f, across, jk + 1, *c[1], *c[5]);
    if (mask & 0x400u)
        edge[10] = edge_at(f, across, jk1 + 1, *c[2], *c[6]);
    if (mask & 0x800u)
        edge[11] = edge_at(f, across, jk1, *c[3], *c[7]);
    const int8_t* row = field_triangle_table[index];
    int32_t count = 0;
    for (int32_t t = 0; t < 15 && row[t] >= 0; t += 3, count++) {
        out[3 * count + 0] = *edge[row[t]];
        out[3 * count + 1] = *edge[row[t + 2]];
        out[3 * count + 2] = *edge[row[t + 1]];
    }
    return count;
}

} // namespace

void field_surface(MetaField* field, float iso, const Camera* camera, FieldSurfaceSink sink, void* context)
{
    if (!field || !camera || !sink)
        return;
    SurfaceFrame f;
    Matrix full;
    mesh_frame_matrices(camera, &field->model, &full, &f.normal_matrix);
    matrix_multiply(&field->model, &camera->view, &f.model_view);
    vec3_normalize(&field->light, &field->light);
    f.light = field->light;
    f.iso = iso;

    // One below-iso flag per point, and per row of points along k whether
    // it is wholly below or wholly not below: a row of cubes whose four
    // corner rows agree has index 0 or 255 throughout and is skipped.
    const int32_t n = field->cells, side = n + 1, count = field->point_count;
    const FieldPoint* points = field->grid_points;
    FieldScratch* scratch = field->scratch;
    uint8_t* below = scratch->below;
    for (int32_t p = 0; p < count; p++)
        below[p] = points[p].value < iso ? 1 : 0;

    // Plane x = i + 1 of one layer is plane x = i of the next: its edge
    // sets carry over, the new far plane and the layer's +i edges start empty.
    EdgeSet* near = scratch->planes[0];
    EdgeSet* far = scratch->planes[1];
    for (EdgeSet* set = near; set != near + 4; set++)
        set->stamp = next_stamp(scratch);
    MeshVertex out[15];
    const FieldPoint* corners[8];
    for (int32_t i = 0; i < n; i++) {
        for (EdgeSet* set = far; set != far + 4; set++)
            set->stamp = next_stamp(scratch);
        scratch->across.stamp = next_stamp(scratch);
        for (int32_t j = 0; j < n; j++) {
            const int32_t r00 = (i * side + j) * side, r01 = r00 + side;
            const int32_t r10 = r00 + side * side, r11 = r10 + side;
            int32_t sum = 0;
            for (int32_t k = 0; k <= n; k++)
                sum += below[r00 + k] + below[r01 + k] + below[r10 + k] + below[r11 + k];
            if (sum == 0 || sum == 4 * side)
                continue;
            for (int32_t k = 0; k < n; k++) {
                const int32_t index = below[r00 + k] | below[r00 + k + 1] << 1 | below[r01 + k + 1] << 2 |
                                      below[r01 + k] << 3 | below[r10 + k] << 4 | below[r10 + k + 1] << 5 |
                                      below[r11 + k + 1] << 6 | below[r11 + k] << 7;
                if (index == 0 || index == 255)
                    continue;
                corners[0] = points + r00 + k;
                corners[1] = points + r00 + k + 1;
                corners[2] = points + r01 + k + 1;
                corners[3] = points + r01 + k;
                corners[4] = points + r10 + k;
                corners[5] = points + r10 + k + 1;
                corners[6] = points + r11 + k + 1;
                corners[7] = points + r11 + k;
                const int32_t triangles =
                    cube_triangles(f, corners, index, j, k, n, near, far, scratch->across, out);
                if (triangles > 0)
                    sink(out, triangles, context);
            }
        }
        EdgeSet* next = near;
        near = far;
        far = next;
    }
}

namespace
{

// Cubes' triangles gathered for the clipper; a full batch is drawn before
// the next cube is added, so the triangles reach the fill dispatch in the
// same order as cube by cube.
enum { DRAW_BATCH_TRIANGLES = 160 };

struct DrawBatch {
    const Camera* camera;
    const Texture* texture;
    FillMode mode;
    int32_t count;
    MeshVertex vertices[3 * DRAW_BATCH_TRIANGLES];
};

void batch_flush(DrawBatch* batch)
{
    if (batch->count > 0)
        clip_and_draw_triangles(batch->vertices, 3 * batch->count, batch->camera, batch->texture,
                                batch->mode);
    batch->count = 0;
}

void batch_add(const MeshVertex* vertices, int32_t triangle_count, void* context)
{
    DrawBatch* batch = static_cast<DrawBatch*>(context);
    if (batch->count + triangle_count > DRAW_BATCH_TRIANGLES)
        batch_flush(batch);
    std::memcpy(batch->vertices + 3 * batch->count, vertices, sizeof(MeshVertex) * 3 * triangle_count);
    batch->count += triangle_count;
}

DrawBatch draw_batch;

} // namespace

void field_polygonise(MetaField* field, float iso, const Camera* camera, const Texture* texture,
                      FillMode fill_mode)
{
    if (!field || !camera)
        return;
    draw_batch.camera = camera;
    draw_batch.texture = texture;
    draw_batch.mode = fill_mode;
    draw_batch.count = 0;
    field_surface(field, iso, camera, batch_add, &draw_batch);
    batch_flush(&draw_batch);
}
