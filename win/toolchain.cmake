# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, for std::thread). Libraries and pkg-config files are looked
# for only in DUNRAVEL_WIN_SYSROOT, where scripts/win.sh installs them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib CACHE FILEPATH "")

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DUNRAVEL_WIN_SYSROOT)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${DUNRAVEL_WIN_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(DUNRAVEL_WIN_SYSROOT)
  set(ENV{PKG_CONFIG_LIBDIR} "${DUNRAVEL_WIN_SYSROOT}/lib/pkgconfig:${DUNRAVEL_WIN_SYSROOT}/share/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# Programs run under Wine when CMake or the tests need to run one.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
