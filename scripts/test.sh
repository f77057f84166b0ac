#!/usr/bin/env bash
# Every test: installs what the tests need when missing, then runs three
# stages, each even when an earlier one failed:
#   main       the C++ suites, the tools, the Octave tests (also under
#              valgrind, and in the package), the Windows modules
#              (cross-built, their tables checked, run under Wine and
#              compared bit for bit), the aarch64 builds under qemu
#              (compared bit for bit) and the instruction count;
#   sanitized  the C++ suites under AddressSanitizer, LeakSanitizer and
#              UndefinedBehaviorSanitizer, and the Octave tests against
#              sanitized modules;
#   fuzz       the libFuzzer targets for FUZZ_SECONDS each.
# A summary closes the run: every stage's passed / failed / skipped counts
# and every skipped test with its reason. Tests that need what some machines
# lack (32-bit programs, valgrind running Octave, qemu running aarch64
# programs) are probed for first and
# skipped where it is missing (docs/testing.md). Exits non-zero when any
# stage failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(g++ cmake ninja-build make libgtest-dev libpng-dev liblapack-dev octave liboctave-dev octave-image
  valgrind g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 clang libclang-rt-14-dev
  gnuplot-nox fonts-freefont-otf ghostscript zip unzip g++-aarch64-linux-gnu)
# qemu-user-static serves as well where it is already there.
command -v qemu-aarch64 >/dev/null || command -v qemu-aarch64-static >/dev/null || packages+=(qemu-user)
# wine32 is worth its ~1 GB only where 32-bit programs can run at all; its
# i386 install scripts fail elsewhere.
if exec32=$("$root/scripts/probe.sh" exec32); then
  packages+=(wine32:i386)
else
  echo "Not installing wine32:i386: $exec32"
fi
"$root/scripts/install-deps.sh" "${packages[@]}" || exit 1

stages=() results=()
# record <stage> <passed> <failed> <skipped> [note]
record() { stages+=("$1"); results+=("$2 $3 $4 ${5:-}"); }

# Runs ctest in a build folder and records its counts from the JUnit report.
ctestStage() {
  local stage=$1 dir=$2
  shift 2
  rm -rf "$dir/skipped" "$dir/ctest.xml"
  (cd "$dir" && "$@" ctest --output-on-failure --output-junit "$dir/ctest.xml")
  local status=$?
  if [ ! -f "$dir/ctest.xml" ]; then
    record "$stage" 0 1 0 "ctest did not run (exit $status)"
    return
  fi
  attr() { sed -n "s/^[[:space:]]*$1=\"\([0-9]*\)\".*/\1/p" "$dir/ctest.xml" | head -n1; }
  local total failed skipped
  total=$(attr tests) failed=$(attr failures) skipped=$(attr skipped)
  # A non-zero exit with no failed test (a test that could not start, say)
  # still fails the stage.
  [ "$status" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1
  record "$stage" $((total - failed - skipped)) "$failed" "$skipped"
  for f in "$dir"/skipped/*; do
    [ -f "$f" ] && skips+=("$(basename "$f"): $(cat "$f")")
  done
}
skips=()

echo "== Main suite =="
if "$root/scripts/build.sh" -DBUILD_TESTING=ON -DLANTREL_WINDOWS_TESTS=ON -DLANTREL_ARM64_TESTS=ON; then
  ctestStage main "$root/build"
else
  record main 0 1 0 "build failed"
fi

echo "== C++ and Octave tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
if BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DBUILD_TESTING=ON -DLANTREL_SANITIZE=ON; then
  ctestStage sanitized "$root/build-asan" env ASAN_OPTIONS=detect_leaks=1
else
  record sanitized 0 1 0 "build failed"
fi

echo "== Fuzz targets (libFuzzer, ${FUZZ_SECONDS:-30} s each) =="
fuzzlog=$(mktemp)
"$root/scripts/fuzz.sh" | tee "$fuzzlog"
fuzzStatus=${PIPESTATUS[0]}
fuzzPassed=$(grep -c '^fuzz .*no finding$' "$fuzzlog")
fuzzFailed=$(grep -c '^fuzz .*FINDING' "$fuzzlog")
[ "$fuzzStatus" -ne 0 ] && [ "$fuzzFailed" -eq 0 ] && fuzzFailed=1
record fuzz "$fuzzPassed" "$fuzzFailed" 0 "$([ "$fuzzStatus" -ne 0 ] && echo "exit $fuzzStatus")"
rm -f "$fuzzlog"

echo
echo "== Summary =="
printf '%-10s %7s %7s %7s  %s\n' stage passed failed skipped note
tp=0 tf=0 ts=0
for k in "${!stages[@]}"; do
  read -r p f s note <<<"${results[$k]}"
  printf '%-10s %7d %7d %7d  %s\n' "${stages[$k]}" "$p" "$f" "$s" "$note"
  tp=$((tp + p)) tf=$((tf + f)) ts=$((ts + s))
done
if [ ${#skips[@]} -gt 0 ]; then
  echo "Skipped (this machine lacks what they need; see docs/testing.md):"
  printf '  %s\n' "${skips[@]}"
fi
echo "total: $tp passed, $tf failed, $ts skipped"
[ "$tf" -eq 0 ]
