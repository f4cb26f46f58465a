// The image module's public face: textures and loaders, the shared texture
// table, text images and the full-screen 2D operations.
#pragma once

#include "image/ops2d.h"
#include "image/text.h"
#include "image/texture.h"
#include "image/texture_table.h"
