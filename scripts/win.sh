#!/bin/sh
# Builds the demo for 64-bit Windows with MinGW-w64 and assembles
# build-win/Dunravel/ (dunravel.exe, the DLLs, data/, the font, licenses/)
# and build-win/Dunravel.zip. The libraries come from Debian's source
# packages, compiled once into a folder outside the clone whose name holds
# their versions (DUNRAVEL_WIN_DEPS overrides it). "test" then checks the
# program under Wine: the whole demo at 1 fps byte for byte against the
# native program, and the unit tests that run there.
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"
jobs=2
host=x86_64-w64-mingw32
cc="$host-gcc-posix"
cxx="$host-g++-posix"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# ---- Packages: the native build (data generator, reference program), the
# cross toolchain, Wine, and what unpacks and zips.
./scripts/setup.sh
WIN_PACKAGES="g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev zip googletest fonts-liberation"
missing=""
for p in $WIN_PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "win: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -q --no-install-recommends $missing
fi

# ---- Library sources: apt-get source needs a deb-src entry for bookworm.
SOURCE_PACKAGES="zlib libpng1.6 libjpeg-turbo freetype kissfft libdeflate libsoxr mpg123 libsdl1.2 lame"
if ! apt-get source --print-uris zlib/bookworm >/dev/null 2>&1; then
  echo "win: adding the bookworm source list"
  $SUDO sh -c 'cat > /etc/apt/sources.list.d/dunravel-web-src.sources' <<'LIST'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LIST
  $SUDO apt-get update -q
fi

# The cache's name: every source version, the compiler's and this script's
# recipe version, so a changed package or recipe builds afresh.
RECIPE=1
versions="recipe=$RECIPE gcc=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)"
versions="$versions googletest=$(dpkg-query -W -f='${Version}' googletest)"
for p in $SOURCE_PACKAGES; do
  v="$(apt-cache showsrc "$p/bookworm" 2>/dev/null | sed -n 's/^Version: //p' | head -n 1)"
  versions="$versions $p=$v"
done
key="$(printf '%s' "$versions" | sha256sum | cut -c1-16)"
if [ -n "${DUNRAVEL_WIN_DEPS:-}" ]; then
  deps="$DUNRAVEL_WIN_DEPS"
elif [ -w /var/cache ] || [ -d /var/cache/dunravel ]; then
  deps="/var/cache/dunravel/win-deps-$key"
else
  deps="${XDG_CACHE_HOME:-$HOME/.cache}/dunravel/win-deps-$key"
fi
sysroot="$deps/sysroot"

fetch_sources() {
  mkdir -p "$deps/src"
  for p in $SOURCE_PACKAGES; do
    if ls -d "$deps/src/$p"-*/ >/dev/null 2>&1; then
      continue
    fi
    (cd "$deps/src" &&
      # Some upstream signature files are not served; apt checks every file
      # it fetches against the signed index, so unpack without them.
      { apt-get source -q -d "$p/bookworm" >/dev/null 2>&1 || true; } &&
      dsc="$(ls "$p"_*.dsc | head -n 1)" &&
      dpkg-source -q -x --no-check "$dsc" >/dev/null 2>&1) ||
      { echo "win: cannot unpack the Debian source of $p" >&2; exit 1; }
  done
}

src_dir() {
  ls -d "$deps/src/$1"-*/ | head -n 1
}

fail_log() { # NAME
  tail -n 30 "$deps/build/$1.log" >&2
  echo "win: building $1 failed (log: $deps/build/$1.log)" >&2
  exit 1
}

# Each library once: its stamp in the cache's build/ says it is installed.
# The install folders are absolute: given relative, some projects (kissfft)
# install at the filesystem root and others (libjpeg-turbo) in the working
# directory.
cross_cmake() { # NAME SOURCE-DIR [CMAKE OPTIONS...]
  name="$1"; dir="$2"; shift 2
  [ -f "$deps/build/$name.done" ] && return 0
  rm -rf "$deps/build/$name"
  cmake -S "$dir" -B "$deps/build/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/win/toolchain.cmake" -DDUNRAVEL_WIN_SYSROOT="$sysroot" \
    -DCMAKE_INSTALL_PREFIX="$sysroot" -DCMAKE_INSTALL_INCLUDEDIR="$sysroot/include" \
    -DCMAKE_INSTALL_LIBDIR="$sysroot/lib" -DCMAKE_INSTALL_BINDIR="$sysroot/bin" "$@" >"$deps/build/$name.log" 2>&1 || fail_log "$name"
  { cmake --build "$deps/build/$name" -j "$jobs" && cmake --install "$deps/build/$name"; } \
    >>"$deps/build/$name.log" 2>&1 || fail_log "$name"
  touch "$deps/build/$name.done"
}

write_pc() { # NAME DESCRIPTION VERSION LIBS
  cat >"$sysroot/lib/pkgconfig/$1.pc" <<PC
prefix=$sysroot
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $2
Version: $3
Libs: -L\${libdir} $4
Cflags: -I\${includedir}
PC
}

build_deps() {
  [ -f "$sysroot/.built" ] && return 0
  fetch_sources
  mkdir -p "$sysroot/lib/pkgconfig" "$sysroot/include" "$sysroot/bin" "$deps/build"
  echo "win: building the libraries into $deps (once)"
  export CC="$cc" CXX="$cxx" AR="$host-ar" RANLIB="$host-ranlib"
  # zlib: its own configure (the Debian source lacks the win32/ folder its
  # CMake file wants).
  if [ ! -f "$deps/build/zlib.done" ]; then
    rm -rf "$deps/build/zlib"
    cp -r "$(src_dir zlib)" "$deps/build/zlib"
    (cd "$deps/build/zlib" &&
      CHOST="$host" ./configure --static --prefix="$sysroot" &&
      make -j "$jobs" libz.a && make install) >"$deps/build/zlib.log" 2>&1 || fail_log zlib
    touch "$deps/build/zlib.done"
  fi
  cross_cmake libpng "$(src_dir libpng1.6)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DZLIB_ROOT="$sysroot"
  cross_cmake libjpeg-turbo "$(src_dir libjpeg-turbo)" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF \
    -DWITH_TURBOJPEG=OFF
  cross_cmake freetype "$(src_dir freetype)" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
    -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON -DZLIB_ROOT="$sysroot"
  cross_cmake kissfft "$(src_dir kissfft)" -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF \
    -DKISSFFT_TOOLS=OFF -DKISSFFT_DATATYPE=float -DKISSFFT_PKGCONFIG=ON
  # libdeflate: a Makefile only; its static library has a Windows name.
  if [ ! -f "$deps/build/libdeflate.done" ]; then
    rm -rf "$deps/build/libdeflate"
    cp -r "$(src_dir libdeflate)" "$deps/build/libdeflate"
    (cd "$deps/build/libdeflate" &&
      make -j "$jobs" CC="$cc" AR="$host-ar" TARGET_MACHINE="$host" libdeflatestatic.lib &&
      cp libdeflatestatic.lib "$sysroot/lib/libdeflate.a" && cp libdeflate.h "$sysroot/include/") \
      >"$deps/build/libdeflate.log" 2>&1 || fail_log libdeflate
    write_pc libdeflate "whole-buffer DEFLATE" 1.14 -ldeflate
    touch "$deps/build/libdeflate.done"
  fi
  # soxr and mpg123 stay DLLs (LGPL).
  cross_cmake libsoxr "$(src_dir libsoxr)" -DBUILD_SHARED_LIBS=ON -DWITH_OPENMP=OFF -DBUILD_TESTS=OFF \
    -DBUILD_EXAMPLES=OFF -DWITH_LSR_BINDINGS=OFF
  write_pc soxr "resampler" 0.1.3 -lsoxr
  # mpg123: the library alone through its CMake port (which uses
  # check_type_size without including it).
  echo "include(CheckTypeSize)" >"$deps/build/mpg123-project.cmake"
  cross_cmake mpg123 "$(src_dir mpg123)ports/cmake" \
    -DCMAKE_PROJECT_INCLUDE="$deps/build/mpg123-project.cmake" -DBUILD_SHARED_LIBS=ON \
    -DBUILD_LIBOUT123=OFF -DBUILD_PROGRAMS=OFF -DNETWORK=OFF
  # SDL 1.2 (classic; sdl12-compat's sources are not served): autotools.
  if [ ! -f "$deps/build/sdl.done" ]; then
    rm -rf "$deps/build/sdl"
    cp -r "$(src_dir libsdl1.2)" "$deps/build/sdl"
    (cd "$deps/build/sdl" &&
      ./configure --host="$host" --prefix="$sysroot" --disable-static --enable-shared \
        --disable-stdio-redirect --disable-nasm &&
      make -j "$jobs" && make install) >"$deps/build/sdl.log" 2>&1 || fail_log sdl
    touch "$deps/build/sdl.done"
  fi
  # lame: static, for the tests that make their own tracks.
  if [ ! -f "$deps/build/lame.done" ]; then
    rm -rf "$deps/build/lame"
    cp -r "$(src_dir lame)" "$deps/build/lame"
    (cd "$deps/build/lame" &&
      ./configure --host="$host" --prefix="$sysroot" --disable-shared --enable-static \
        --disable-frontend --disable-decoder --disable-gtktest &&
      make -j "$jobs" && make install) >"$deps/build/lame.log" 2>&1 || fail_log lame
    write_pc lame "MP3 encoder" 3.100 -lmp3lame
    touch "$deps/build/lame.done"
  fi
  cross_cmake googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
  touch "$sysroot/.built"
}

# ---- The program (and, for "test", the unit tests) for Windows.
build_program() { # TESTS(ON|OFF)
  cmake -S . -B build-win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/win/toolchain.cmake" \
    -DDUNRAVEL_WIN_SYSROOT="$sysroot" -DDUNRAVEL_BENCH=OFF -DDUNRAVEL_TESTS="$1" >/dev/null
  if [ "$1" = ON ]; then
    cmake --build build-win -j "$jobs"
  else
    cmake --build build-win --target dunravel -j "$jobs"
  fi
}

# ---- build-win/Dunravel/ and its .zip.
assemble() {
  out="build-win/Dunravel"
  rm -rf "$out" build-win/Dunravel.zip
  mkdir -p "$out/fonts" "$out/licenses"
  "$host-strip" -o "$out/dunravel.exe" build-win/dunravel.exe
  for dll in "$sysroot"/bin/SDL.dll "$sysroot"/bin/libmpg123*.dll "$sysroot"/bin/libsoxr*.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll; do
    "$host-strip" -o "$out/$(basename "$dll")" "$dll"
  done
  cp -rL data "$out/data"
  rm -f "$out/data/.generated"
  cp /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf "$out/fonts/"
  # Each library's terms as Debian records them (SDL, mpg123 and soxr are
  # LGPL, which is why they stay DLLs beside the program).
  for p in $SOURCE_PACKAGES; do
    [ "$p" = lame ] && continue # only the tests link it
    cp "$(src_dir "$p")debian/copyright" "$out/licenses/$p.txt"
  done
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$out/licenses/gcc-runtime.txt"
  cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$out/licenses/mingw-w64-winpthreads.txt"
  cp /usr/share/doc/fonts-liberation/copyright "$out/licenses/fonts-liberation.txt"
  cp /usr/share/common-licenses/LGPL-2.1 "$out/licenses/LGPL-2.1.txt" # the full text the LGPL ones cite
  (cd build-win && zip -qr Dunravel.zip Dunravel)
}

# ---- Checks under Wine: the whole demo at 1 fps, frame for frame against
# the native program, then the unit tests that run there.
wine_path() { # UNIX-FOLDER: the same folder as Wine names it (drive Z: is /)
  printf 'Z:%s' "$1" | tr / '\\'
}
wine_run() {
  WINEDEBUG=-all SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy WINEPREFIX="$deps/wine" \
    WINEPATH="$(wine_path "$sysroot/bin");$(wine_path /usr/x86_64-w64-mingw32/lib)" "$@"
}

# Every test executable the Windows build made (tests/windows_tests.cmake
# lists the files that stay Linux-only), from the build folder as ctest
# runs them on Linux; standard input is not a console.
check_units() {
  failed=""
  : >build-win/tests/no-input # Wine takes /dev/null for a console
  # The text tests draw with the face the release bundles beside the program.
  mkdir -p build-win/tests/fonts
  cp /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf build-win/tests/fonts/
  for t in build-win/tests/test_*.exe; do
    name="$(basename "$t" .exe)"
    if ! (cd build-win && wine_run timeout 600 wine "tests/$name.exe" --gtest_brief=1 <tests/no-input \
      >"tests/$name.log" 2>&1); then
      failed="$failed $name"
      tail -n 20 "build-win/tests/$name.log" >&2
    fi
  done
  if [ -n "$failed" ]; then
    echo "win: unit tests failed under Wine:$failed (logs in build-win/tests/)" >&2
    exit 1
  fi
  echo "win: the unit tests pass under Wine"
}

check_frames() {
  ./scripts/build.sh release >/dev/null
  native="build-win/frames-native"
  windows="build-win/frames-wine"
  rm -rf "$native" "$windows"
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy build/dunravel --capture "$native" --fps 1 >/dev/null
  (cd build-win/Dunravel && wine_run wine ./dunravel.exe --capture ../frames-wine --fps 1 >/dev/null)
  count=0
  differ=0
  for f in "$native"/*.png; do
    count=$((count + 1))
    if ! cmp -s "$f" "$windows/$(basename "$f")"; then
      differ=$((differ + 1))
      [ "$differ" -le 5 ] && echo "win: $(basename "$f") differs from the native frame" >&2
    fi
  done
  extra="$(ls "$windows" | wc -l)"
  if [ "$count" -eq 0 ] || [ "$differ" -ne 0 ] || [ "$extra" -ne "$count" ]; then
    echo "win: $differ of $count frames differ under Wine ($extra written)" >&2
    exit 1
  fi
  echo "win: all $count frames under Wine are byte-identical to the native ones"
}

build_deps
./scripts/data.sh
case "${1:-}" in
  test)
    build_program ON
    assemble
    check_frames
    check_units
    ;;
  "")
    build_program OFF
    assemble
    ;;
  *) echo "usage: $0 [test]" >&2; exit 2 ;;
esac
echo "win: the release is build-win/Dunravel/ (and build-win/Dunravel.zip)"
