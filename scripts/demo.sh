#!/usr/bin/env bash
# The main job: build, then run the demo. A synthetic scene is smoothed by
# Lantrel and analysed by Ostrave (through the stand-in host, no MATLAB
# needed); the PNGs land in demo-output/ (or the folder given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build libpng-dev
"$root/scripts/build.sh"
"$root/build/tools/demo" "${1:-$root/demo-output}"
