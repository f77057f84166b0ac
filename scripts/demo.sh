#!/usr/bin/env bash
# The main job: build, then smooth a generated scene through the stand-in host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build
"$root/scripts/build.sh"
"$root/build/tools/demo"
