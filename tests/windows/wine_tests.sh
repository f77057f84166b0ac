#!/usr/bin/env bash
# Runs every Windows module of one architecture under Wine (.mexw64 with
# wine64, .mexw32 with wine32) through module_driver.exe and the stand-in
# libmx.dll/libmex.dll, and requires each record to match the Linux build's
# bit for bit.
#
#   wine_tests.sh <x86_64|i686> <linux module_driver> <dir of Linux modules (.so)>
#                 <Windows build dir (x86_64/, i686/ inside)> <dist dir> <work dir> <Name>...
# A name may lie in a subfolder of both module dirs (private/lantrelops).
set -euo pipefail
arch=$1 driver=$2 native=$3 cross=$4 dist=$5 work=$6
shift 6
[ $# -gt 0 ] || { echo "no modules named" >&2; exit 2; }

wineserver=/usr/lib/wine/wineserver64
case $arch in
  x86_64) ext=mexw64 loader=/usr/lib/wine/wine64 package=wine64 ;;
  i686) ext=mexw32 loader=/usr/lib/wine/wine package=wine32:i386 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
for f in "$loader:$package" "$wineserver:wine64"; do
  [ -x "${f%%:*}" ] || { echo "missing ${f%%:*} (Debian package ${f#*:})" >&2; exit 1; }
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# A prefix made before wine32 was installed cannot run 32-bit programs.
if [ "$arch" = i686 ] && [ -d "$WINEPREFIX" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  rm -rf "$WINEPREFIX"
fi

started=$(date +%s.%N)
elapsed() { awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
  "$wineserver" -w
  echo "Wine prefix created in $(elapsed) s"
fi
# Without a persistent server every call waits for the stdout pipe to close.
"$wineserver" -p 60 </dev/null >/dev/null 2>&1

fail=0 runs=0 cases=0
for name in "$@"; do
  linux=$work/${name//\//-}.linux.rec
  "$driver" run "$native/$name.so" "$linux" || fail=1
  first=${first:-$linux}
  rec=$work/${name//\//-}.$ext.rec
  rm -f "$rec"
  echo "-- $name.$ext under $(basename "$loader")"
  if ! "$loader" "$cross/$arch/host/module_driver.exe" run "$dist/$name.$ext" "$rec" | tr -d '\r'; then
    fail=1
  fi
  result="no record written"
  if [ -f "$rec" ] && result=$("$driver" compare "$linux" "$rec"); then
    echo "$result"
    cases=$((cases + $(echo "$result" | head -n1 | cut -d' ' -f1)))
  else
    echo "$result"
    fail=1
  fi
  runs=$((runs + 1))
done

# The comparison itself must see one changed bit. The middle of the first
# module's record lies in the data of its largest output.
flipped=$work/flipped.rec
cp "$first" "$flipped"
at=$(($(stat -c %s "$flipped") / 2))
byte=$(od -An -tu1 -j "$at" -N1 "$flipped" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$flipped" bs=1 seek="$at" conv=notrunc status=none
status=0
"$driver" compare "$first" "$flipped" >/dev/null || status=$?
if [ "$status" != 1 ]; then
  echo "compare missed a flipped bit (exit status $status)" >&2
  fail=1
fi

echo "Wine $arch: $runs runs, $cases cases compared bit for bit with Linux," \
  "$([ $fail = 0 ] && echo "all identical" || echo FAILED) ($(elapsed) s)"
exit $fail
