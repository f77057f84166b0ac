#!/usr/bin/env bash
# Cross-builds the stand-in host, the modules, the toolbox's private helper
# and their tests for 64-bit ARM Linux, with GCC and with Clang (Apple
# silicon's compiler family), and runs each build's tests with CTest under
# qemu-aarch64 (the toolchain file's CMAKE_CROSSCOMPILING_EMULATOR): the
# kernel tests (unit_tests), and every module_driver case, whose records
# must match the x86-64 Linux build's bit for bit.
#
#   test-arm64.sh [<folder of the x86-64 build's records (<Name>.rec)>]
#       Without it an x86-64 build makes them. Build trees go to
#       $ARM64_BUILD_DIR (default build-arm64/): aarch64-gcc/, aarch64-clang/
#       and x86_64/. Installs nothing (scripts/test.sh does); exits 3 with
#       the reason if this machine cannot run aarch64 programs, 1 on any
#       failed test or difference.
#   test-arm64.sh --probe
#       Exits 0 if qemu-aarch64 runs a static aarch64 program here and the
#       cross build has what it needs, else prints the reason on one line
#       and exits 3. LANTREL_FORCE_NO_ARM64=1 makes it fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Prints why aarch64 programs cannot run here, or nothing.
probe() {
  if [ "${LANTREL_FORCE_NO_ARM64:-}" = 1 ]; then
    echo "forced by LANTREL_FORCE_NO_ARM64"; return
  fi
  [ "$(uname -m)" = x86_64 ] || { echo "the host is $(uname -m), not x86-64"; return; }
  qemu=$(command -v qemu-aarch64 || command -v qemu-aarch64-static || true)
  [ -n "$qemu" ] || { echo "qemu-aarch64 is not installed (Debian package qemu-user)"; return; }
  command -v aarch64-linux-gnu-g++ >/dev/null ||
    { echo "aarch64-linux-gnu-g++ is not installed (Debian package g++-aarch64-linux-gnu)"; return; }
  [ -f /usr/src/googletest/CMakeLists.txt ] ||
    { echo "GoogleTest's sources are not installed (Debian package googletest)"; return; }
  local dir out
  dir=$(mktemp -d)
  printf '#include <stdio.h>\nint main(void) { puts("aarch64 runs"); return 0; }\n' >"$dir/probe.c"
  if ! aarch64-linux-gnu-gcc -static -o "$dir/probe" "$dir/probe.c" 2>"$dir/log"; then
    echo "aarch64-linux-gnu-gcc cannot link a static program: $(head -n1 "$dir/log")"
  elif ! out=$("$qemu" "$dir/probe" 2>&1) || [ "$out" != "aarch64 runs" ]; then
    echo "$qemu cannot run a static aarch64 program: $(echo "$out" | head -n1)"
  fi
  rm -rf "$dir"
}

if [ "${1:-}" = --probe ]; then
  why=$(probe)
  [ -z "$why" ] || { echo "$why"; exit 3; }
  exit 0
fi
[ $# -le 1 ] || { echo "usage: $0 [--probe | <folder of x86-64 records>]" >&2; exit 2; }

started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

why=$(probe)
[ -z "$why" ] || { echo "aarch64 tests skipped: $why"; exit 3; }

out=${ARM64_BUILD_DIR:-$root/build-arm64}
configure() { # <dir> <cmake arguments>...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON "$@" >/dev/null
}
if [ $# = 1 ]; then
  records=$(cd "$1" && pwd)
else
  echo "-- x86-64 build in $out/x86_64"
  configure "$out/x86_64"
  # module_driver, the faulty module its own test runs, and the modules and
  # the private helper against the stand-in host
  targets=(module_driver faulty_module $(awk '/^[A-Za-z]/ { print tolower($1) "_standin" }' "$root/cmake/sources.txt" | sort -u))
  cmake --build "$out/x86_64" --target "${targets[@]}" >/dev/null
  ctest --test-dir "$out/x86_64" -R '^module_driver_' --output-on-failure >/dev/null
  records=$out/x86_64/tests
fi

compilers="gcc clang"
command -v clang++ >/dev/null || { compilers=gcc; echo "-- no clang++: the GCC build only"; }
fail=0 cases=0
for cc in $compilers; do
  dir=$out/aarch64-$cc
  echo "-- aarch64 cross build with $cc in $dir"
  configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux.cmake" -DAARCH64_COMPILER=$cc \
    -DLANTREL_REFERENCE_RECORDS="$records"
  # Whatever builds is tested: a test that did not build fails in CTest.
  if ! cmake --build "$dir" -- -k 0 >"$dir/build.log" 2>&1; then
    fail=1
    grep -E 'error|FAILED' "$dir/build.log" | head -n 20
  fi
  echo "-- its tests under qemu-aarch64 ($(elapsed) s so far)"
  ctest --test-dir "$dir" --output-on-failure || fail=1
  compared=$(sed -n 's/^\([0-9]*\) cases compared bit for bit, 0 differ$/\1/p' "$dir/Testing/Temporary/LastTest.log" |
             awk '{ n += $1 } END { print n + 0 }')
  [ "$compared" -gt 0 ] || fail=1
  cases=$((cases + compared))
done

echo "-- done in $(elapsed) s"
echo "aarch64: $cases cases compared bit for bit with x86-64 Linux," \
  "$([ $fail = 0 ] && echo "all identical, kernel tests passed" || echo FAILED)"
exit $fail
