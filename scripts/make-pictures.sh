#!/usr/bin/env bash
# Redraws the README's parameter pictures, docs/parameters.png,
# docs/variation.png and docs/halflength.png, from data/ladybird.png with
# lantrelSmooth and ostraveVariation (or into the folder given). Builds the
# Octave modules first; the labels need gnuplot (headless) and its fonts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build}
out=${1:-$root/docs}
command -v gnuplot >/dev/null || "$root/scripts/install-deps.sh" gnuplot-nox
"$root/scripts/install-deps.sh" fonts-freefont-otf ghostscript
[ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" --target lantrel_octave ostrave_octave octave_helpers >/dev/null
mkdir -p "$out"
# The modules in the build folder take precedence over the help stubs in matlab/.
octave-cli -q -f -H --no-window-system -p "$dir/octave" -p "$root/matlab" \
  "$root/scripts/make_pictures.m" "$root/data/ladybird.png" "$out"
