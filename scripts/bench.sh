#!/usr/bin/env bash
# Throughput table of the smoother and the path walk against the literal
# reference, LAPACK dptsv and a streaming pass, plus a whole Octave call.
# A few minutes; run it on an otherwise idle machine. --quick: two sizes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" g++ cmake ninja-build libgtest-dev liblapack-dev octave liboctave-dev
"$root/scripts/build.sh"
lscpu | sed -n 's/^Model name: *//p' | head -1 | sed 's/^/CPU: /'
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
# Three Octave processes of ten calls each: a process whose memory is
# fragmented pays for compacting huge pages on every call, another does not.
octave_runs=()
for run in 1 2 3; do
    octave_runs+=("$(octave-cli -q -f -H --no-window-system "$root/bench/octave_call.m" "$root/build/octave" | tail -1)")
done
echo "Whole Octave call, best of ten calls in each of three processes: ${octave_runs[*]} s"
octave_seconds=$(printf '%s\n' "${octave_runs[@]}" | sort -g | head -1)
"$root/build/bench/bench" --octave-seconds "$octave_seconds" "$@"
