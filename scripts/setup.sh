#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build and test RuvoSearch. Safe to re-run.
#   MinGW-w64 (i686, posix threads), zlib for MinGW, 32-bit Wine, Xvfb, ImageMagick,
#   clang with libFuzzer (the core's fuzz targets),
#   and libpng + libjpeg-turbo cross-built into a cache that later runs reuse.
set -euo pipefail

DEPS_PREFIX=${RUVO_DEPS:-/var/cache/ruvosearch/deps}
SRC_CACHE=${RUVO_SRC_CACHE:-/var/cache/ruvosearch/src}
STAMP="$DEPS_PREFIX/.complete-v1"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

log() { printf '[setup] %s\n' "$*"; }

have_all_packages() {
  command -v i686-w64-mingw32-g++-posix >/dev/null &&
  [ -f /usr/i686-w64-mingw32/include/zlib.h ] &&
  command -v wine >/dev/null && dpkg -s wine32:i386 >/dev/null 2>&1 && dpkg -s wine64 >/dev/null 2>&1 &&
  command -v Xvfb >/dev/null && command -v import >/dev/null &&
  command -v cmake >/dev/null && [ -d /usr/src/googletest ] &&
  command -v dpkg-source >/dev/null && [ -d /usr/share/fonts/truetype/wqy ] &&
  command -v clang++-14 >/dev/null && dpkg -s libclang-rt-14-dev >/dev/null 2>&1
}

apt_update() {
  # A mirror in mid-sync can make one index (seen: the i386 security index) fail to download;
  # the other indexes are still usable, so that is not fatal here.
  $SUDO apt-get update -q || log "apt-get update reported errors; continuing with the indexes it got"
}

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    $SUDO tee /etc/apt/sources.list.d/ruvo-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  apt_update
  local pkgs=(g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
              cmake ninja-build make pkg-config googletest libgtest-dev libbenchmark-dev
              xvfb xauth imagemagick dpkg-dev fonts-wqy-microhei
              clang-14 libclang-rt-14-dev)  # libFuzzer for scripts/fuzz.sh
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y -q --no-install-recommends "${pkgs[@]}"
  # With the i386 security index missing, the plain install of wine32 can fail on unmet
  # dependencies; pinning the release suite resolves it from bookworm itself.
  # wine64 beside wine32 lets a test run the 32-bit program in a 64-bit prefix.
  if ! $SUDO apt-get install -y -q --no-install-recommends wine wine32:i386 wine64; then
    $SUDO apt-get install -y -q --no-install-recommends -t bookworm wine wine32:i386 wine64
  fi
}

fetch_source() { # $1 = source package; prints the unpacked directory
  local pkg=$1 dir
  mkdir -p "$SRC_CACHE"
  dir=$(find "$SRC_CACHE" -mindepth 1 -maxdepth 1 -type d -name "${pkg}-*" | head -n1)
  if [ -z "$dir" ]; then
    (cd "$SRC_CACHE" && apt-get source -q "$pkg" >/dev/null 2>&1) || {
      apt_update
      (cd "$SRC_CACHE" && apt-get source -q "$pkg" >/dev/null)
    }
    dir=$(find "$SRC_CACHE" -mindepth 1 -maxdepth 1 -type d -name "${pkg}-*" | head -n1)
  fi
  echo "$dir"
}

build_deps() {
  local tc work
  tc="$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-i686.cmake"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  mkdir -p "$DEPS_PREFIX"

  local png jpeg
  png=$(fetch_source libpng1.6)
  jpeg=$(fetch_source libjpeg-turbo)
  log "building libpng from $png"
  cmake -S "$png" -B "$work/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_TOOLS=OFF -DSKIP_INSTALL_PROGRAMS=ON >/dev/null
  cmake --build "$work/png" >/dev/null
  cmake --install "$work/png" >/dev/null
  log "building libjpeg-turbo from $jpeg"
  cmake -S "$jpeg" -B "$work/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS_PREFIX" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=0 -DWITH_TURBOJPEG=OFF >/dev/null
  cmake --build "$work/jpeg" >/dev/null
  cmake --install "$work/jpeg" >/dev/null
  touch "$STAMP"
}

if have_all_packages; then
  log "system packages present"
else
  install_packages
fi
if [ -f "$STAMP" ]; then
  log "libpng and libjpeg-turbo cached in $DEPS_PREFIX"
else
  build_deps
fi
log "ready (deps: $DEPS_PREFIX)"
