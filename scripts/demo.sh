#!/usr/bin/env bash
# The main job: build what the demo needs (the demo tool and the stand-in
# builds of the modules), then run it. A synthetic scene is smoothed by
# Lantrel and analysed by Ostrave (through the stand-in host, no MATLAB
# needed); the PNGs land in demo-output/ (or the folder given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build libpng-dev
dir=$root/build
# A first configuration leaves the tests out (they need GoogleTest);
# scripts/test.sh turns them on again.
testing=()
[ -f "$dir/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${testing[@]}" >/dev/null
cmake --build "$dir" --target demo
"$dir/tools/demo" "${1:-$root/demo-output}"
