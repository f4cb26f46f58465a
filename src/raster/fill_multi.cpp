// Placeholder fillers of the multi-texture modes (environment, offset
// environment, normal-map lighting): they draw nothing until the real ones
// replace this file. Relies on raster_internal.h (see there how a filler is written).
#include "raster/raster_internal.h"

#define FILL_DEFINE(mode, flags, name, family) FILL_DEFINE_##family(mode)
#define FILL_DEFINE_MULTI(mode)                                                     \
    template <>                                                                     \
    void fill_triangles<mode>(RasterTriangle*, int32_t, const Texture*) \
    {                                                                               \
    }
#define FILL_DEFINE_COLOUR(mode)
#define FILL_DEFINE_TEXTURE(mode)
FILL_MODE_LIST(FILL_DEFINE)
