#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for
# FUZZ_SECONDS (default 30), side by side, starting from the committed seed
# corpus. New inputs go to a scratch folder, so the committed corpus only
# changes by hand (scripts/fuzz.sh --merge folds the scratch finds back in).
# A finding leaves its input in build-fuzz/findings/<target>/ and fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANTREL_FUZZ=ON >/dev/null
cmake --build "$dir" --target fuzzers

targets=()
for exe in "$dir"/tests/fuzz/fuzz_*; do
  [ -x "$exe" ] && targets+=("$(basename "$exe" | sed 's/^fuzz_//')")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets were built in $dir/tests/fuzz" >&2
  exit 1
fi

if [ "${1:-}" = "--merge" ]; then
  for t in "${targets[@]}"; do
    mkdir -p "$root/tests/fuzz/corpus/$t" "$dir/found/$t"
    merged=$(mktemp -d)
    "$dir/tests/fuzz/fuzz_$t" -set_cover_merge=1 "$merged" "$root/tests/fuzz/corpus/$t" "$dir/found/$t" 2>/dev/null
    rm -f "$root/tests/fuzz/corpus/$t"/*
    cp "$merged"/* "$root/tests/fuzz/corpus/$t/"
    rm -rf "$merged"
    echo "$t: $(ls "$root/tests/fuzz/corpus/$t" | wc -l) seed inputs"
  done
  exit 0
fi

pids=()
for t in "${targets[@]}"; do
  mkdir -p "$dir/found/$t" "$dir/findings/$t" "$root/tests/fuzz/corpus/$t"
  "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$t/" "$dir/found/$t" "$root/tests/fuzz/corpus/$t" >"$dir/fuzz_$t.log" 2>&1 &
  pids+=($!)
done
status=0
for k in "${!targets[@]}"; do
  t=${targets[$k]}
  if wait "${pids[$k]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/fuzz_$t.log")
    echo "fuzz $t: $runs executions in ${seconds} s, no finding"
  else
    status=1
    echo "fuzz $t: FINDING (log: $dir/fuzz_$t.log, input in $dir/findings/$t/)"
    grep -E 'ERROR|violated|runtime error' "$dir/fuzz_$t.log" | head -5 || true
  fi
done
exit $status
