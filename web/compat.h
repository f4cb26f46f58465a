// Included before every file of the page build: what the C++ library that
// comes with emscripten here lacks and the native one has.
#pragma once

#ifdef __cplusplus
#include <version>
#ifndef __cpp_lib_bit_cast
namespace std
{
template <class To, class From> constexpr To bit_cast(const From& from) noexcept
{
    return __builtin_bit_cast(To, from);
}
} // namespace std
#endif
#endif
