#!/usr/bin/env bash
# Quality benchmark: lantrelSmooth at its defaults and at its best beside the
# image package's Gaussian, bilateral and Perona & Malik smoothing, on the
# photos of data/ with noise of 0 to 30 grey levels; prints one table.
# About four minutes on two cores. --smoke: a few seconds, one photo.
# --figure FILE: also writes the picture of noisy and smoothed crops.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" g++ cmake ninja-build octave liboctave-dev octave-image
[ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" --target lantrel_octave lantrel_octave_help octave_helpers >/dev/null
lscpu | sed -n 's/^Model name: *//p' | head -1 | sed 's/^/CPU: /'
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
octave-cli -q -f -H --no-window-system "$root/bench/quality.m" "$dir/octave" "$root/data" "$@"
