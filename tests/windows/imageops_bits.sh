#!/usr/bin/env bash
# Runs the Windows build of the image operations (imageops_bits.exe) under
# Wine and compares its output with the Linux build's (see
# tests/imageops_bits.cpp for what must agree).
#
#   imageops_bits.sh <x86_64|i686> <linux imageops_bits> <Windows build dir> <work dir>
set -euo pipefail
arch=$1 native=$2 cross=$3 work=$4
case $arch in
  x86_64) loader=/usr/lib/wine/wine64 ;;
  i686) loader=/usr/lib/wine/wine ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
[ -x "$loader" ] || { echo "missing $loader" >&2; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '/usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w
fi
rm -f "$work/linux.bin" "$work/windows.bin"
"$native" "$work/linux.bin" >/dev/null
"$loader" "$cross/$arch/host/imageops_bits.exe" "$work/windows.bin" | tr -d '\r' >/dev/null
echo "Windows $arch against Linux:"
"$native" compare "$work/linux.bin" "$work/windows.bin"
