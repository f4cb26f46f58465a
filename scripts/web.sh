#!/bin/sh
# Builds the demo as a web page: build-web/ gets index.html, index.js,
# index.wasm, index.data (the font) and demo.data with its loader demo.js
# (the data set). "serve [PORT]" then serves those files on 127.0.0.1 and
# prints the address. The libraries come from Debian's source packages,
# checked against apt's signed index and compiled once with emcc into a cache
# outside the clone, named after the Debian release, the source and compiler
# versions and this script (/var/cache/dunravel/web-deps-KEY, or
# ~/.cache/dunravel/web-deps-KEY when /var/cache is not writable; delete it to
# rebuild them).
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# ---- Packages: the native tools (the data generator), emscripten, chromium.
./scripts/setup.sh
WEB_PACKAGES="emscripten chromium dpkg-dev python3 python3-websocket python3-pil fonts-liberation"
missing=""
for p in $WEB_PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "web: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -q --no-install-recommends $missing
fi

# emcc runs on node 20 only with Debian's node modules on its path, and the
# programs it makes must not see node's own fetch.
export NODE_PATH=/usr/share/nodejs
emulator="node;--no-experimental-fetch"

# ---- Library sources: apt-get source needs a deb-src entry for bookworm.
SOURCE_PACKAGES="zlib libpng1.6 libjpeg-turbo mpg123 freetype kissfft"
add_source_list() {
  if ! apt-get source --print-uris zlib/bookworm >/dev/null 2>&1; then
    echo "web: adding the bookworm source list"
    $SUDO sh -c 'cat > /etc/apt/sources.list.d/dunravel-web-src.sources' <<'LIST'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LIST
    $SUDO apt-get update -q
  fi
}

# The cache's name: the Debian release, every source version, the
# compiler's, and this script (its build options).
add_source_list
versions="$(cat /etc/debian_version) $(dpkg-query -W -f='${Version}' emscripten)"
for p in $SOURCE_PACKAGES; do
  v="$(apt-get source --print-uris -q "$p/bookworm" 2>/dev/null |
    sed -n "s/^Selected version '\([^']*\)'.*/\1/p")"
  [ -n "$v" ] || { echo "web: no source package $p for bookworm" >&2; exit 1; }
  versions="$versions $p=$v"
done
key="$(printf '%s %s' "$versions" "$(sha256sum <"$0")" | sha256sum | cut -c1-16)"
if [ -w /var/cache ] || [ -w /var/cache/dunravel ]; then
  deps="/var/cache/dunravel/web-deps-$key"
else
  deps="${XDG_CACHE_HOME:-$HOME/.cache}/dunravel/web-deps-$key"
fi
sysroot="$deps/sysroot"

# Every file of source package $1 that apt's signed index lists, checked
# by size and SHA-256 as apt checks what it fetches; the upstream
# signatures (*.asc), which some mirrors do not serve, may be missing.
# Fails naming the first file that is missing or does not match.
# The list comes first, from an empty folder (apt leaves out the files it
# finds already there).
list_source_files() { # PACKAGE
  mkdir -p "$1.list"
  (cd "$1.list" && apt-get source --print-uris -q "$1/bookworm") | grep "^'" >"$1.uris"
  rmdir "$1.list"
  [ -s "$1.uris" ] || { echo "web: apt lists no files for the source of $1" >&2; return 1; }
}
check_source_files() { # PACKAGE
  while read -r uri name size hash; do
    case "$name" in *.asc) [ -f "$name" ] || continue ;; esac
    want="${hash#SHA256:}"
    [ "$want" != "$hash" ] || { echo "web: no SHA-256 for $name in apt's index" >&2; return 1; }
    [ -f "$name" ] || { echo "web: $name was not downloaded (from $uri)" >&2; return 1; }
    [ "$(stat -c %s "$name")" = "$size" ] || { echo "web: $name has the wrong size" >&2; return 1; }
    echo "$want  $name" | sha256sum -c --quiet - >/dev/null 2>&1 ||
      { echo "web: $name does not match apt's index" >&2; return 1; }
  done <"$1.uris"
}

fetch_sources() {
  mkdir -p "$deps/src"
  for p in $SOURCE_PACKAGES; do
    if [ -f "$deps/src/$p.unpacked" ]; then
      continue
    fi
    (cd "$deps/src" &&
      list_source_files "$p" &&
      # A failed download stops here unless only upstream signatures were
      # missing: every other file is checked against the index below.
      { apt-get source -q -d "$p/bookworm" ||
        echo "web: apt-get source $p reported a failure; checking what it fetched"; } &&
      check_source_files "$p" &&
      dsc="$(ls "$p"_*.dsc | head -n 1)" &&
      # The files were checked above against the signed index; the .dsc's
      # own signature cannot be (no Debian keyring), nor absent .asc files.
      dpkg-source -q -x --no-check "$dsc" &&
      ls -d "$p"-*/ >/dev/null 2>&1 &&
      touch "$p.unpacked") ||
      { echo "web: the source of $p could not be fetched and checked" >&2; exit 1; }
  done
}

src_dir() {
  ls -d "$deps/src/$1"-*/ | head -n 1
}

# Each library once: its stamp in the cache's build/ says it is installed.
emcmake_build() { # NAME SOURCE-DIR [CMAKE OPTIONS...]
  name="$1"; dir="$2"; shift 2
  [ -f "$deps/build/$name.done" ] && return 0
  rm -rf "$deps/build/$name"
  emcmake cmake -S "$dir" -B "$deps/build/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$sysroot" -DCMAKE_PREFIX_PATH="$sysroot" \
    -DCMAKE_FIND_ROOT_PATH="$sysroot" -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$deps/build/$name.log" 2>&1 ||
    { tail -n 30 "$deps/build/$name.log"; exit 1; }
  cmake --build "$deps/build/$name" -j "$jobs" >>"$deps/build/$name.log" 2>&1 &&
    cmake --install "$deps/build/$name" >>"$deps/build/$name.log" 2>&1 ||
    { tail -n 30 "$deps/build/$name.log"; exit 1; }
  touch "$deps/build/$name.done"
}

build_deps() {
  stamp="$sysroot/.built"
  if [ -f "$stamp" ]; then
    return
  fi
  fetch_sources
  mkdir -p "$sysroot" "$deps/build"
  echo "web: building the libraries into $sysroot (once)"
  # zlib: its own configure (the Debian source leaves out what its CMake
  # file wants for Windows).
  if [ ! -f "$deps/build/zlib.done" ]; then
    rm -rf "$deps/build/zlib"
    cp -r "$(src_dir zlib)" "$deps/build/zlib"
    (cd "$deps/build/zlib" &&
      emconfigure ./configure --static --prefix="$sysroot" >"$deps/build/zlib.log" 2>&1 &&
      emmake make -j "$jobs" libz.a >>"$deps/build/zlib.log" 2>&1 &&
      emmake make install >>"$deps/build/zlib.log" 2>&1) ||
      { tail -n 30 "$deps/build/zlib.log"; exit 1; }
    touch "$deps/build/zlib.done"
  fi
  emcmake_build libpng "$(src_dir libpng1.6)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DZLIB_ROOT="$sysroot"
  emcmake_build libjpeg-turbo "$(src_dir libjpeg-turbo)" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF \
    -DWITH_TURBOJPEG=OFF
  emcmake_build freetype "$(src_dir freetype)" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
    -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON -DZLIB_ROOT="$sysroot"
  emcmake_build kissfft "$(src_dir kissfft)" -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF \
    -DKISSFFT_TOOLS=OFF -DKISSFFT_DATATYPE=float
  # mpg123: the library alone through its CMake port (which uses
  # check_type_size without including it); on WebAssembly it picks the
  # portable C decoder.
  echo "include(CheckTypeSize)" >"$deps/build/mpg123-project.cmake"
  emcmake_build mpg123 "$(src_dir mpg123)ports/cmake" \
    -DCMAKE_PROJECT_INCLUDE="$deps/build/mpg123-project.cmake" \
    -DBUILD_LIBOUT123=OFF -DBUILD_PROGRAMS=OFF -DNETWORK=OFF
  touch "$stamp"
}

build_page() {
  ./scripts/data.sh
  emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DDUNRAVEL_WEB_SYSROOT="$sysroot" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >/dev/null
  cmake --build build-web --target dunravel -j "$jobs"
}

build_deps
build_page
echo "web: the page is in build-web/ (index.html)"
if [ "${1:-}" = "serve" ]; then
  exec /usr/bin/python3 "$root/scripts/web_serve.py" "$root/build-web" "${2:-8080}"
fi
