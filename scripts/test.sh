#!/usr/bin/env bash
# Every test: installs what the tests need when missing, builds, runs the
# suite (C++ tests and the Octave tests), then the C++ tests once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build libgtest-dev liblapack-dev octave liboctave-dev valgrind

"$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure)

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DLANTREL_SANITIZE=ON
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure)
