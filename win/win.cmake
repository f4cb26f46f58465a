# The Windows build's differences (included by the top CMakeLists.txt when
# cross-compiling with win/toolchain.cmake): classic SDL 1.2 without its
# SDLmain (the program stays a console program with its own main), no
# fontconfig (font_win.cpp), 64-bit file offsets for mpg123's *_64 names,
# M_PI from <cmath>, the C++ runtime linked in, and WaitOnAddress from
# synchronization.
enable_language(RC)
pkg_check_modules(SDL REQUIRED sdl)
add_library(dunravel_sdl INTERFACE)
target_include_directories(dunravel_sdl INTERFACE ${SDL_INCLUDE_DIRS})
target_link_directories(dunravel_sdl INTERFACE ${SDL_LIBRARY_DIRS})
target_link_libraries(dunravel_sdl INTERFACE SDL)
set(DUNRAVEL_SDL dunravel_sdl)
set(DUNRAVEL_FONTS "")
set(DUNRAVEL_SYSTEM_LIBS synchronization)

add_compile_definitions(_FILE_OFFSET_BITS=64 _USE_MATH_DEFINES _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
add_link_options(-static-libgcc -static-libstdc++)
