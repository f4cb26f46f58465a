// A texture owned by a test: freed with texture_free when it goes out of scope.
#pragma once

#include "image/texture.h"

#include <memory>

struct TextureDeleter {
    void operator()(Texture* t) const { texture_free(t); }
};
using TexturePtr = std::unique_ptr<Texture, TextureDeleter>;
