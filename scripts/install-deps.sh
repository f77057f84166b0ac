#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet.
# A name of the form pkg:i386 enables the i386 architecture first. As root it
# uses apt-get; otherwise it names what is missing and fails.
set -euo pipefail

missing=()
for p in "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
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
echo "Installing: ${missing[*]}"
# Another apt run holding the lock is waited for, not failed on.
wait=(-o DPkg::Lock::Timeout=600)
apt-get "${wait[@]}" update -q
apt-get "${wait[@]}" install -y -q --no-install-recommends "${missing[@]}"
