#!/usr/bin/env bash
# Every test: installs what the tests need when missing, builds, runs the
# suite (C++ tests, the Octave tests and those again under valgrind, and the
# Windows modules: cross-built, their tables checked, run under Wine and
# compared bit for bit), then the C++ tests once more under AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer, and last the fuzz targets for
# a bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build make libgtest-dev libpng-dev liblapack-dev octave liboctave-dev \
  valgrind g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386 clang libclang-rt-14-dev \
  gnuplot-nox fonts-freefont-otf ghostscript zip unzip

"$root/scripts/build.sh" -DBUILD_TESTING=ON -DLANTREL_WINDOWS_TESTS=ON
(cd "$root/build" && ctest --output-on-failure)

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DLANTREL_SANITIZE=ON
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure)

echo "== Fuzz targets (libFuzzer, ${FUZZ_SECONDS:-30} s each) =="
"$root/scripts/fuzz.sh"
