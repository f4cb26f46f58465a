// The colour-only fillers (flat, Gouraud, depth grey, add, multiply): one
// specialisation per mode of the COLOUR family, all from fill_standard.h.
#include "raster/fill_standard.h"

#define FILL_DEFINE(mode, flags, name, family) FILL_DEFINE_##family(mode)
#define FILL_DEFINE_COLOUR(mode)                                                                             \
    template <> void fill_triangles<mode>(RasterTriangle * triangles, int32_t count, const Texture* texture) \
    {                                                                                                        \
        fill_detail::fill_standard<mode>(triangles, count, texture);                                         \
    }
#define FILL_DEFINE_TEXTURE(mode)
#define FILL_DEFINE_MULTI(mode)
FILL_MODE_LIST(FILL_DEFINE)
