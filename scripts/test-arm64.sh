#!/usr/bin/env bash
# Cross-builds the stand-in host, the modules and module_driver for 64-bit
# ARM Linux, with GCC and with Clang (Apple silicon's compiler family), runs
# every module_driver case of each build under qemu-aarch64 and requires each
# record to match the x86-64 Linux build's bit for bit.
#
#   test-arm64.sh [<x86-64 module_driver> <dir of x86-64 modules (.so)>]
#       Without them the x86-64 pieces are built too. Build trees go to
#       $ARM64_BUILD_DIR (default build-arm64/): aarch64-gcc/, aarch64-clang/
#       and x86_64/.
#       Installs what is missing (as root), then exits 3 with the reason if
#       this machine cannot run aarch64 programs, 1 on any difference.
#   test-arm64.sh --probe
#       Exits 0 if qemu-aarch64 runs a static aarch64 program here, else
#       prints the reason on one line and exits 3. Installs nothing.
#       LANTREL_FORCE_NO_ARM64=1 makes it fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sysroot=/usr/aarch64-linux-gnu

# Prints why aarch64 programs cannot run here, or nothing.
probe() {
  if [ "${LANTREL_FORCE_NO_ARM64:-}" = 1 ]; then
    echo "forced by LANTREL_FORCE_NO_ARM64"; return
  fi
  [ "$(uname -m)" = x86_64 ] || { echo "the host is $(uname -m), not x86-64"; return; }
  qemu=$(command -v qemu-aarch64 || command -v qemu-aarch64-static || true)
  [ -n "$qemu" ] || { echo "qemu-aarch64 is not installed (Debian package qemu-user)"; return; }
  command -v aarch64-linux-gnu-gcc >/dev/null ||
    { echo "aarch64-linux-gnu-gcc is not installed (Debian package g++-aarch64-linux-gnu)"; return; }
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
[ $# = 0 ] || [ $# = 2 ] || { echo "usage: $0 [--probe | <x86-64 module_driver> <x86-64 modules dir>]" >&2; exit 2; }

started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# A machine that cannot install them (not root) is told by the probe.
if [ "${LANTREL_FORCE_NO_ARM64:-}" != 1 ]; then
  packages=(g++-aarch64-linux-gnu clang cmake ninja-build g++ libpng-dev)
  command -v qemu-aarch64 >/dev/null || command -v qemu-aarch64-static >/dev/null || packages+=(qemu-user)
  "$root/scripts/install-deps.sh" "${packages[@]}" >&2 || true
fi
why=$(probe)
[ -z "$why" ] || { echo "aarch64 tests skipped: $why"; exit 3; }
qemu=$(command -v qemu-aarch64 || command -v qemu-aarch64-static)

out=${ARM64_BUILD_DIR:-$root/build-arm64}
build() { # <dir> <cmake arguments>... -- <targets>...
  local dir=$1 args=() targets=()
  shift
  while [ "$1" != -- ]; do args+=("$1"); shift; done
  shift
  targets=("$@")
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${args[@]}" >/dev/null
  cmake --build "$dir" ${targets[@]:+--target "${targets[@]}"} >/dev/null
}
compilers="gcc clang"
command -v clang++ >/dev/null || { compilers=gcc; echo "-- no clang++: the GCC build only"; }
for cc in $compilers; do
  echo "-- aarch64 cross build with $cc in $out/aarch64-$cc"
  build "$out/aarch64-$cc" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux.cmake" -DAARCH64_COMPILER=$cc --
done
if [ $# = 2 ]; then
  driver=$1 native=$2
else
  echo "-- x86-64 build in $out/x86_64"
  build "$out/x86_64" -DBUILD_TESTING=OFF -- module_driver lantrel_standin ostrave_standin
  driver=$out/x86_64/module_driver native=$out/x86_64/standin
fi
echo "-- built in $(elapsed) s"

records=$out/records
mkdir -p "$records"
fail=0 cases=0 runs=0
for module in "$native"/*.so; do
  name=$(basename "$module" .so)
  linux=$records/$name.x86_64.rec
  rm -f "$linux"
  "$driver" run "$module" "$linux" >/dev/null || fail=1
  for cc in $compilers; do
    arm=$out/aarch64-$cc rec=$records/$name.aarch64-$cc.rec
    rm -f "$rec"
    runs=$((runs + 1))
    echo "-- $name.so ($cc) under qemu-aarch64"
    QEMU_LD_PREFIX=$sysroot "$qemu" "$arm/module_driver" run "$arm/standin/$name.so" "$rec" || fail=1
    if [ -f "$linux" ] && [ -f "$rec" ]; then
      result=$("$driver" compare "$linux" "$rec") || fail=1
    else
      result="no record written" fail=1
    fi
    echo "$result"
    compared=$(echo "$result" | sed -n 's/^\([0-9]*\) cases compared.*/\1/p')
    cases=$((cases + ${compared:-0}))
  done
done
[ "$runs" -gt 0 ] || { echo "no modules in $native" >&2; fail=1; }

echo "-- $runs runs in $(elapsed) s"
echo "aarch64: $cases cases compared bit for bit with x86-64 Linux," \
  "$([ $fail = 0 ] && echo "all identical" || echo FAILED)"
exit $fail
