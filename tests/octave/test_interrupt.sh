#!/usr/bin/env bash
# Ctrl-C in Octave during a long module call: SIGINT goes to octave-cli
# while Lantrel runs, then while Ostrave runs (one thread, half-length 79),
# then during lantrelSmooth's and ostraveVariation's one-call roads.
# Each call must end within a second with its own identifier, hold no
# memory afterwards, and leave the session able to make the same call again.
#
#   test_interrupt.sh <octave-cli> <folder with the modules> <work folder> [side]
#
# side: Lantrel's image is side x side, Ostrave's as tall and three times as
# wide below 8000 (default 2500; the figures of record are taken at 8000).
# Prints each call's answer time in seconds. INTERRUPT_DELAY: seconds from
# the start of a call to the signal (default 0.5).
set -euo pipefail
octave=$1 modules=$2 work=$3 side=${4:-2500}
limit=1.0 delay=${INTERRUPT_DELAY:-0.5}
mkdir -p "$work"
rm -f "$work"/ready-* "$work"/session.log

cat >"$work/session.m" <<'EOF'
1;
function mark(work, name)
  fid = fopen(fullfile(work, name), 'w');
  fclose(fid);
end
function mb = residentMB()
  s = fileread('/proc/self/status');
  mb = sscanf(s(strfind(s, 'VmRSS:') + 6:end), '%f', 1) / 1024;
end
% Runs call() after telling the shell, which then sends SIGINT; reports
% what was raised, when (seconds since the epoch), and the memory held
% afterwards beyond what was held before.
function interrupted(work, name, call)
  before = residentMB();
  mark(work, ['ready-' name]);
  try
    call();
    printf('%s: finished without an interrupt\n', name);
  catch err
    t = time();
    printf('%s: %s at %.6f, held %.1f MB more\n', name, err.identifier, t, residentMB() - before);
  end
end

args = argv();
addpath(args{1});
work = args{2};
side = str2double(args{3});
rand('seed', 3);
img = rand(side);
w = rand(side);
% Long enough that SIGINT always comes during the call.
iterations = 50 * ceil((8000 / side)^2);
small = {img(1:40, 1:30), [], w(1:40, 1:30), [], 20, 3, 2};
want = Lantrel(small{:});
interrupted(work, 'Lantrel', @() Lantrel(img, [], w, [], 20, iterations, 1));
printf('Lantrel again: %d\n', isequal(Lantrel(small{:}), want));

T = zeros(80, 722);
for d = 0:360
  T(:, d + 1) = round((1:80)' * cosd(d));
  T(:, 362 + d) = round((1:80)' * sind(d));
end
% Three times as wide below 8000 x 8000, where one thread takes seconds.
wide = side * (1 + 2 * (side < 8000));
img = rand(side, wide);
map = floor(rand(side, wide) * 361);
[n0, t0] = Ostrave(img(1:40, 1:30), map(1:40, 1:30), T, 5);
interrupted(work, 'Ostrave', @() Ostrave(img, map, T, 79, 1));
[n1, t1] = Ostrave(img(1:40, 1:30), map(1:40, 1:30), T, 5);
printf('Ostrave again: %d\n', isequal(n1, n0) && isequal(t1, t0));

% The friendly functions' one-call roads, through the private helper.
photo = uint8(255 * img(:, 1:side));
want = lantrelSmooth(photo(1:40, 1:30));
interrupted(work, 'lantrelSmooth', @() lantrelSmooth(photo, 'Iterations', iterations));
printf('lantrelSmooth again: %d\n', isequal(lantrelSmooth(photo(1:40, 1:30)), want));
want = ostraveVariation(photo(1:40, 1:30));
img = uint8(255 * img);
interrupted(work, 'ostraveVariation', @() ostraveVariation(img, 'HalfLength', 79, 'Threads', 1));
printf('ostraveVariation again: %d\n', isequal(ostraveVariation(photo(1:40, 1:30)), want));
printf('plane %.1f MB\n', side^2 * 8 / 2^20);
EOF

"$octave" -q -f -H --no-window-system "$work/session.m" "$modules" "$work" "$side" >"$work/session.log" 2>&1 &
pid=$!
sent=()
for name in Lantrel Ostrave lantrelSmooth ostraveVariation; do
  for ((k = 0; k < 1200; ++k)); do
    [ -f "$work/ready-$name" ] || ! kill -0 "$pid" 2>/dev/null && break
    sleep 0.1
  done
  sleep "$delay"
  sent+=("$(date +%s.%N)")
  kill -INT "$pid" 2>/dev/null || true
done
status=0
wait "$pid" || status=$?
cat "$work/session.log"

fail=0
[ "$status" -eq 0 ] || { echo "octave-cli exited with $status"; fail=1; }
plane=$(sed -n 's/^plane \([0-9.]*\) MB$/\1/p' "$work/session.log")
k=0
for name in Lantrel Ostrave lantrelSmooth ostraveVariation; do
  line=$(grep "^$name: " "$work/session.log" || true)
  if [[ $line != "$name: $name:interrupted at "* ]]; then
    echo "FAIL $name: not answered with $name:interrupted"
    fail=1
  else
    at=$(awk '{ print $4 }' <<<"$line")
    held=$(awk '{ print $6 }' <<<"$line")
    latency=$(awk -v a="$at" -v s="${sent[$k]}" 'BEGIN { printf "%.3f", a - s }')
    echo "$name: answered $latency s after SIGINT"
    awk -v l="$latency" -v m="$limit" 'BEGIN { exit !(l <= m) }' || { echo "FAIL $name: later than $limit s"; fail=1; }
    # What a call holds is at least one plane (its working copies); Octave's
    # own allocations are far smaller.
    awk -v h="$held" -v p="${plane:-0}" 'BEGIN { exit !(h < p / 4) }' ||
      { echo "FAIL $name: $held MB still held after the interrupt"; fail=1; }
  fi
  grep -q "^$name again: 1$" "$work/session.log" || { echo "FAIL $name: the session could not repeat a call"; fail=1; }
  k=$((k + 1))
done
exit $fail
