// The image module's public face: textures and loaders, the shared texture
// table, text images, the full-screen 2D operations, lines and the lens.
#pragma once

#include "image/lens.h"
#include "image/line.h"
#include "image/ops2d.h"
#include "image/text.h"
#include "image/texture.h"
#include "image/texture_table.h"
