#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build and test RuvoSearch. Safe to re-run.
#   MinGW-w64 for i686 and x86_64 (posix threads), zlib for MinGW, NSIS, 64-bit Wine (and 32-bit Wine
#   where the kernel runs 32-bit programs), Xvfb, ImageMagick, clang with libFuzzer (the core's
#   fuzz targets), and libpng + libjpeg-turbo cross-built per architecture into a cache that
#   later runs reuse.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
DEPS_ROOT=${RUVO_DEPS:-/var/cache/ruvosearch/deps}
SRC_CACHE=${RUVO_SRC_CACHE:-/var/cache/ruvosearch/src}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

log() { printf '[setup] %s\n' "$*"; }

# Some kernels refuse 32-bit programs ("Exec format error"), and then every i386 package's
# install script fails too. Nothing but trying tells, so run a minimal 32-bit program made
# with the native binutils before any i386 package goes near dpkg.
can_run_i386() {
  local dir ok=1
  dir=$(mktemp -d)
  if printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' |
       as --32 -o "$dir/probe.o" - 2>/dev/null &&
     ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null &&
     "$dir/probe" 2>/dev/null; then
    ok=0
  fi
  rm -rf "$dir"
  return $ok
}

I386=0
if can_run_i386; then I386=1; else log "this machine cannot run 32-bit programs: 32-bit Wine is not installed"; fi

have_all_packages() {
  command -v i686-w64-mingw32-g++-posix >/dev/null &&
  command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
  [ -f /usr/i686-w64-mingw32/include/zlib.h ] && [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] &&
  [ -x /usr/lib/wine/wine64 ] && { [ "$I386" = 0 ] || dpkg -s wine32:i386 >/dev/null 2>&1; } &&
  command -v Xvfb >/dev/null && command -v import >/dev/null && command -v xdpyinfo >/dev/null && command -v python3 >/dev/null &&
  command -v cmake >/dev/null && command -v ninja >/dev/null && [ -d /usr/src/googletest ] &&
  command -v dpkg-source >/dev/null && [ -d /usr/share/fonts/truetype/wqy ] &&
  command -v makensis >/dev/null && command -v clang++-14 >/dev/null && dpkg -s libclang-rt-14-dev >/dev/null 2>&1
}

apt_update() {
  # A mirror in mid-sync can make one index (seen: the i386 security index) fail to download;
  # the other indexes are still usable, so that is not fatal here.
  $SUDO apt-get update -q || log "apt-get update reported errors; continuing with the indexes it got"
}

install_packages() {
  if [ "$I386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
  local pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
              cmake ninja-build googletest libgtest-dev libbenchmark-dev
              xvfb xauth x11-utils imagemagick python3 dpkg-dev fonts-wqy-microhei
              nsis clang-14 libclang-rt-14-dev)  # nsis: the installers; clang: libFuzzer for scripts/fuzz.sh
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y -q --no-install-recommends "${pkgs[@]}"
  local wine=(wine wine64)
  [ "$I386" = 1 ] && wine+=(wine32:i386)
  # With the i386 security index missing, the plain install of wine32 can fail on unmet
  # dependencies; pinning the release suite resolves it from bookworm itself.
  if ! $SUDO apt-get install -y -q --no-install-recommends "${wine[@]}"; then
    $SUDO apt-get install -y -q --no-install-recommends -t bookworm "${wine[@]}"
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

build_deps() { # $1 = i686 | x86_64
  local arch=$1 tc work prefix
  tc="$root/cmake/mingw-$arch.cmake"
  prefix="$DEPS_ROOT/$arch"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  mkdir -p "$prefix"

  local png jpeg
  png=$(fetch_source libpng1.6)
  jpeg=$(fetch_source libjpeg-turbo)
  log "building libpng for $arch from $png"
  cmake -S "$png" -B "$work/png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_TOOLS=OFF -DSKIP_INSTALL_PROGRAMS=ON >/dev/null
  cmake --build "$work/png" >/dev/null
  cmake --install "$work/png" >/dev/null
  log "building libjpeg-turbo for $arch from $jpeg"
  cmake -S "$jpeg" -B "$work/jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=0 -DWITH_TURBOJPEG=OFF >/dev/null
  cmake --build "$work/jpeg" >/dev/null
  cmake --install "$work/jpeg" >/dev/null
  touch "$prefix/.complete-v1"
}

if have_all_packages; then
  log "system packages present"
else
  install_packages
fi
for arch in i686 x86_64; do
  if [ -f "$DEPS_ROOT/$arch/.complete-v1" ]; then
    log "libpng and libjpeg-turbo for $arch cached in $DEPS_ROOT/$arch"
  else
    build_deps "$arch"
  fi
done
log "ready (deps: $DEPS_ROOT)"
