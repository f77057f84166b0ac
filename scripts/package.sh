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
mkdir -p "$pkg/inst/lantrel" "$pkg/src"
# The project has no public home page yet, so DESCRIPTION has no Url line;
# LANTREL_URL, where set, adds one.
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u +%Y-%m-%d)/" \
  "$root/packaging/octave/DESCRIPTION.in" >"$pkg/DESCRIPTION"
case ${LANTREL_URL:-} in
  '') ;;
  http://* | https://*) echo "Url: $LANTREL_URL" >>"$pkg/DESCRIPTION" ;;
  *) echo "package.sh: LANTREL_URL is not a web address: $LANTREL_URL" >&2; exit 1 ;;
esac
cp "$root/CHANGELOG.md" "$pkg/NEWS"
cp "$root/packaging/octave/Makefile" "$pkg/src/Makefile"
# The flags and the module sources of every build, which the Makefile reads.
cp "$root/cmake/flags.txt" "$root/cmake/sources.txt" "$pkg/src/"
cp "$root/packaging/octave/post_install.m" "$pkg/"
cp "$root/packaging/octave/PKG_ADD" "$root/packaging/octave/PKG_DEL" "$pkg/inst/"

# Every function a user calls; build_mex is left out (the package compiles
# the modules itself) and Contents.m goes into the folder that "help lantrel"
# finds (PKG_ADD puts it on the path).
helpers=()
for f in "$root"/matlab/*.m; do
  m=$(basename "$f" .m)
  case $m in
    build_mex) ;;
    Contents) cp "$f" "$pkg/inst/lantrel/" ;;
    *) cp "$f" "$pkg/inst/"
       case $m in Lantrel|Ostrave) ;; *) helpers+=("$m") ;; esac ;;
  esac
done
# The private functions of the helpers; post_install.m moves the compiled
# private helper beside them.
mkdir -p "$pkg/inst/private"
cp "$root"/matlab/private/*.m "$pkg/inst/private/"
{
  echo "lantrel >> Lantrel and Ostrave"
  echo "Image filters"
  for m in Lantrel Ostrave; do [ -f "$pkg/inst/$m.m" ] && echo " $m"; done
  if [ ${#helpers[@]} -gt 0 ]; then
    echo "Friendly interface and helpers"
    printf ' %s\n' "${helpers[@]}"
  fi
} >"$pkg/INDEX"

# The sample photo the demos use, under its own licence (noted in COPYING).
photo=$root/data/ladybird.png
if [ -f "$photo" ]; then
  cp "$photo" "$pkg/inst/"
fi
{
  cat "$root/LICENSE"
  if [ -f "$photo" ]; then
    printf '\n\nThe sample photo ladybird.png is not under the licence above:\n\n'
    # Only its own entry: the other photos described there are not shipped.
    sed '/^## /,$d' "$root/data/README.md"
  fi
} >"$pkg/COPYING"

for d in host common smoothing pathvariation imageops; do
  [ -d "$root/$d" ] || continue
  mkdir -p "$pkg/src/$d"
  find "$root/$d" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) -exec cp {} "$pkg/src/$d/" \;
done
tar -C "$stage" -czf "$out/$name.tar.gz.part" "$name"
mv "$out/$name.tar.gz.part" "$out/$name.tar.gz"
echo "$out/$name.tar.gz"
