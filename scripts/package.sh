#!/usr/bin/env bash
# Makes the Octave package lantrel-<version>.tar.gz in the folder given
# (default build/), for "pkg install". The modules are compiled by Octave
# itself during installation (src/Makefile), so the tarball holds sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build}
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(tr -d ' \n' <"$root/VERSION")
name=lantrel-$version

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
pkg=$stage/$name
mkdir -p "$pkg/inst" "$pkg/src"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u +%Y-%m-%d)/" \
  "$root/packaging/octave/DESCRIPTION.in" >"$pkg/DESCRIPTION"
cp "$root/packaging/octave/INDEX" "$pkg/INDEX"
cp "$root/LICENSE" "$pkg/COPYING"
cp "$root/CHANGELOG.md" "$pkg/NEWS"
cp "$root/packaging/octave/Makefile" "$pkg/src/Makefile"
for m in Lantrel Ostrave; do
  [ -f "$root/matlab/$m.m" ] && cp "$root/matlab/$m.m" "$pkg/inst/"
done
for d in host common smoothing pathvariation; do
  [ -d "$root/$d" ] || continue
  mkdir -p "$pkg/src/$d"
  find "$root/$d" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) -exec cp {} "$pkg/src/$d/" \;
done
tar -C "$stage" -czf "$out/$name.tar.gz.part" "$name"
mv "$out/$name.tar.gz.part" "$out/$name.tar.gz"
echo "$out/$name.tar.gz"
