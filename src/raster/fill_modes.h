// The one list of drawable fill modes: number, flag spelling, short name and
// the source file family that implements the filler. The dispatch table, the
// mode names and the filler specialisations are all generated from it.
#pragma once

#include "raster/raster.h"

// X(mode, flags, name, family)   family: COLOUR (fill_colour.cpp),
// TEXTURE (fill_texture.cpp), MULTI (fill_multi.cpp)
#define FILL_MODE_LIST(X)                                                                                    \
    X(1, FILL_FLAT, "flat", COLOUR)                                                                          \
    X(2, FILL_GOURAUD, "gouraud", COLOUR)                                                                    \
    X(16, FILL_DEPTH, "depth_grey", COLOUR)                                                                  \
    X(17, FILL_FLAT | FILL_DEPTH, "flat_depth", COLOUR)                                                      \
    X(18, FILL_GOURAUD | FILL_DEPTH, "gouraud_depth", COLOUR)                                                \
    X(33, FILL_ADD | FILL_FLAT, "add_flat", COLOUR)                                                          \
    X(34, FILL_ADD | FILL_GOURAUD, "add_gouraud", COLOUR)                                                    \
    X(65, FILL_MULTIPLY | FILL_FLAT, "multiply_flat", COLOUR)                                                \
    X(81, FILL_MULTIPLY | FILL_DEPTH | FILL_FLAT, "multiply_flat_depth", COLOUR)                             \
    X(4, FILL_TEXTURE, "texture", TEXTURE)                                                                   \
    X(5, FILL_TEXTURE | FILL_FLAT, "texture_flat", TEXTURE)                                                  \
    X(6, FILL_TEXTURE | FILL_GOURAUD, "texture_gouraud", TEXTURE)                                            \
    X(8, FILL_PERSPECTIVE, "perspective", TEXTURE)                                                           \
    X(20, FILL_TEXTURE | FILL_DEPTH, "texture_depth", TEXTURE)                                               \
    X(21, FILL_TEXTURE | FILL_FLAT | FILL_DEPTH, "texture_flat_depth", TEXTURE)                              \
    X(22, FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH, "texture_gouraud_depth", TEXTURE)                        \
    X(24, FILL_PERSPECTIVE | FILL_DEPTH, "perspective_depth", TEXTURE)                                       \
    X(36, FILL_ADD | FILL_TEXTURE, "add_texture", TEXTURE)                                                   \
    X(37, FILL_ADD | FILL_TEXTURE | FILL_FLAT, "add_texture_flat", TEXTURE)                                  \
    X(38, FILL_ADD | FILL_TEXTURE | FILL_GOURAUD, "add_texture_gouraud", TEXTURE)                            \
    X(52, FILL_ADD | FILL_DEPTH | FILL_TEXTURE, "add_texture_depth", TEXTURE)                                \
    X(53, FILL_ADD | FILL_DEPTH | FILL_TEXTURE | FILL_FLAT, "add_texture_flat_depth", TEXTURE)               \
    X(148, FILL_BILINEAR | FILL_DEPTH | FILL_TEXTURE, "bilinear_depth", TEXTURE)                             \
    X(152, FILL_BILINEAR | FILL_DEPTH | FILL_PERSPECTIVE, "bilinear_perspective_depth", TEXTURE)             \
    X(260, FILL_MIPMAP | FILL_TEXTURE, "mipmap", TEXTURE)                                                    \
    X(276, FILL_MIPMAP | FILL_DEPTH | FILL_TEXTURE, "mipmap_depth", TEXTURE)                                 \
    X(532, FILL_COLORKEY | FILL_DEPTH | FILL_TEXTURE, "colorkey_depth", TEXTURE)                             \
    X(8196, FILL_ALPHA | FILL_TEXTURE, "alpha", TEXTURE)                                                     \
    X(8212, FILL_ALPHA | FILL_DEPTH | FILL_TEXTURE, "alpha_depth", TEXTURE)                                  \
    X(1044, FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE, "environment_depth", MULTI)                     \
    X(3088, FILL_OFFSET | FILL_SECOND_TEXTURE | FILL_DEPTH, "offset_environment_depth", MULTI)               \
    X(3092, FILL_OFFSET | FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE, "offset_texture_depth", MULTI)    \
    X(4116, FILL_DOT3 | FILL_DEPTH | FILL_TEXTURE, "dot3_depth", MULTI)                                      \
    X(5140, FILL_DOT3 | FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE, "dot3_specular_depth", MULTI)

#define FILL_MODE_CHECK(mode, flags, name, family)                                                           \
    static_assert((mode) == (flags), "fill mode " #mode " is spelled by its flags");
FILL_MODE_LIST(FILL_MODE_CHECK)
#undef FILL_MODE_CHECK
