#!/usr/bin/env bash
# Makes the Windows release archive dist/lantrel-<version>-windows.zip (or in
# the folder given): the four Windows modules, the private helper (both
# architectures) in private/, every .m file a user calls,
# the sample photo, README, pictures and licence, in one folder
# lantrel-<version>/. Cross-builds the modules first (scripts/build-windows.sh)
# unless --no-build is given, in which case dist/windows/ (or
# $WINDOWS_DIST_DIR, which the build then writes too) must hold them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=1
if [ "${1:-}" = --no-build ]; then build=0; shift; fi
out=${1:-$root/dist}
dist=${WINDOWS_DIST_DIR:-$root/dist/windows}
version=$(tr -d ' \n' <"$root/VERSION")
name=lantrel-$version

[ $build -eq 0 ] || "$root/scripts/build-windows.sh" >/dev/null
command -v zip >/dev/null || "$root/scripts/install-deps.sh" zip

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/$name
mkdir -p "$top/data" "$top/docs"
for m in Lantrel Ostrave; do
  for ext in mexw64 mexw32; do
    [ -f "$dist/$m.$ext" ] || { echo "release.sh: $dist/$m.$ext is missing" >&2; exit 1; }
    cp "$dist/$m.$ext" "$top/"
  done
done
# The toolbox's private helper and private functions.
mkdir -p "$top/private"
for ext in mexw64 mexw32; do
  [ -f "$dist/private/lantrelops.$ext" ] || { echo "release.sh: $dist/private/lantrelops.$ext is missing" >&2; exit 1; }
  cp "$dist/private/lantrelops.$ext" "$top/private/"
done
cp "$root"/matlab/private/*.m "$top/private/"
# build_mex stays out: it needs the C++ sources, which the archive does not hold.
for f in "$root"/matlab/*.m; do
  [ "$(basename "$f")" = build_mex.m ] || cp "$f" "$top/"
done
cp "$root/README.md" "$top/"
cp "$root/LICENSE" "$top/LICENSE.txt"
cp "$root/data/ladybird.png" "$root/data/README.md" "$top/data/"
cp "$root"/docs/*.png "$top/docs/"

mkdir -p "$out"
archive=$(cd "$out" && pwd)/$name-windows.zip
rm -f "$archive.part"
(cd "$stage" && zip -q -r -X "$archive.part" "$name")
mv "$archive.part" "$archive"
echo "$archive"
