#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet,
# and never removes one: a package whose installation would remove another
# (gnuplot-nox on a desktop with gnuplot-qt, say) is left out with a message.
# A name of the form pkg:i386 enables the i386 architecture first. As root it
# uses apt-get; otherwise it names what is missing and fails.
set -euo pipefail

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "$@"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root (apt-get install ${missing[*]}) and run again." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
for p in "${missing[@]}"; do
  case "$p" in
    *:i386)
      dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
done
# Another apt run holding the lock is waited for, not failed on.
wait=(-o DPkg::Lock::Timeout=600)
install=(install -y -q --no-install-recommends)
apt-get "${wait[@]}" update -q

# What apt would remove to install these ("Remv" lines of a simulation).
removals() { apt-get "${wait[@]}" -s "${install[@]}" "$@" 2>/dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p'; }
if [ -n "$(removals "${missing[@]}")" ]; then
  keep=()
  for p in "${missing[@]}"; do
    gone=$(removals "$p" | tr '\n' ' ')
    if [ -n "$gone" ]; then
      echo "Not installing $p: it would remove ${gone% }" >&2
    else
      keep+=("$p")
    fi
  done
  missing=("${keep[@]}")
  # Each alone may be harmless while two of them conflict.
  if [ ${#missing[@]} -gt 0 ] && [ -n "$(removals "${missing[@]}")" ]; then
    echo "Not installing ${missing[*]}: together they would remove $(removals "${missing[@]}" | tr '\n' ' ')" >&2
    exit 1
  fi
  [ ${#missing[@]} -eq 0 ] && exit 0
fi
echo "Installing: ${missing[*]}"
apt-get "${wait[@]}" "${install[@]}" "${missing[@]}"
