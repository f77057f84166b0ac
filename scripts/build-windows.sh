#!/usr/bin/env bash
# Cross-builds the Windows modules with MinGW-w64 (64-bit and 32-bit) into
# build-windows/<arch>/ (or $WINDOWS_BUILD_DIR/<arch>/) and copies them to
# dist/windows/ (or $WINDOWS_DIST_DIR; the tests use folders of their build
# tree), the toolbox's private helper into private/ there. Each build tree
# also holds what the Wine tests run: host/module_driver.exe, libmx.dll,
# libmex.dll.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${WINDOWS_BUILD_DIR:-$root/build-windows}
dist=${WINDOWS_DIST_DIR:-$root/dist/windows}
mkdir -p "$dist"
for arch in x86_64 i686; do
  cmake -S "$root" -B "$out/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
  cmake --build "$out/$arch"
  cp "$out/$arch"/mex/*.mexw* "$dist/"
  mkdir -p "$dist/private"
  cp "$out/$arch"/mex/private/*.mexw* "$dist/private/"
done
ls -l "$dist"
