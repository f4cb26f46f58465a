// Whole-span fillers for the most drawn modes, vectorised with SSE2 where that
// gives the same bits as the per-pixel rules. A mode without an entry here uses
// the per-pixel path of fill_standard.h. Included by fill_standard.h only.
#pragma once

#include "raster/raster_internal.h"

namespace fill_spans {

template <uint32_t M>
inline constexpr bool has_span = false;

template <uint32_t M>
inline void span(const Texture*, uint32_t, const Interpolant*, uint32_t*, int32_t*, int32_t, const uint32_t*)
{
}

} // namespace fill_spans
