#!/usr/bin/env bash
# Makes the release archive from the built modules and checks what a user
# unpacks: one versioned folder with the four modules (the very files of
# the dist folder), every .m file of matlab/ but build_mex, README, licence
# and the sample photo.
# Usage: check_release.sh <source root> <dist folder of the modules> <scratch folder>
set -euo pipefail
root=$1
dist=$2
work=$3
rm -rf "$work" && mkdir -p "$work"
archive=$(WINDOWS_DIST_DIR=$dist "$root/scripts/release.sh" --no-build "$work")
name=lantrel-$(tr -d ' \n' <"$root/VERSION")
[ "$(basename "$archive")" = "$name-windows.zip" ] || { echo "unexpected archive name $archive"; exit 1; }
(cd "$work" && unzip -q "$archive")
expected=(README.md LICENSE.txt data/ladybird.png data/README.md)
for m in Lantrel Ostrave; do
  for ext in mexw64 mexw32; do
    cmp "$dist/$m.$ext" "$work/$name/$m.$ext"
  done
done
for ext in mexw64 mexw32; do
  cmp "$dist/private/lantrelops.$ext" "$work/$name/private/lantrelops.$ext"
done
for f in "$root"/matlab/private/*.m; do
  expected+=("private/$(basename "$f")")
done
for f in "$root"/matlab/*.m; do
  [ "$(basename "$f")" = build_mex.m ] || expected+=("$(basename "$f")")
done
status=0
for f in "${expected[@]}"; do
  [ -s "$work/$name/$f" ] || { echo "missing from the archive: $f"; status=1; }
done
[ ! -e "$work/$name/build_mex.m" ] || { echo "build_mex.m is in the archive but cannot work there"; status=1; }
echo "release archive: $(unzip -l "$archive" | tail -1)"
exit $status
