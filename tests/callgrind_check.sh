#!/usr/bin/env bash
# Instructions per pixel per iteration of the one-thread smoother, counted by
# callgrind inside the kernel smoothPlane only (no timing noise): the path the CPU
# takes, then the SSE2 baseline. Fails above the limit for the path.
#   callgrind_check.sh <callgrind_probe> [avx2 limit] [sse2 limit]
set -euo pipefail
probe=$1
avx2_limit=${2:-25}
sse2_limit=${3:-50}
iterations=4
pixels=$((256 * 256))
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for mode in auto sse2; do
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect='smoothPlane*' \
    "$probe" "$iterations" "$mode" >"$out/stdout" 2>"$out/stderr" || { cat "$out/stderr"; exit 1; }
  path=$(sed -n 's/^path \([A-Z0-9]*\).*/\1/p' "$out/stdout")
  collected=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out/stderr")
  limit=$avx2_limit
  [ "$path" = AVX2 ] || limit=$sse2_limit
  awk -v c="$collected" -v p="$pixels" -v it="$iterations" -v lim="$limit" -v path="$path" 'BEGIN {
    per = c / (p * it)
    printf "%s path: %d instructions, %.1f per pixel per iteration (limit %d)\n", path, c, per, lim
    # Fewer than one instruction per pixel: the count missed the kernel.
    exit per > lim || per < 1 ? 1 : 0
  }' || status=1
done
exit $status
