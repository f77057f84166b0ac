#!/usr/bin/env bash
# Runs a test that needs a capability of the machine, or skips it.
#   needs.sh <capability> <skip dir> <test name> <command> [args...]
# Where scripts/probe.sh says the capability is missing, prints the reason,
# records it in <skip dir>/<test name> for the test command's summary and
# exits 77, which CTest counts as skipped (SKIP_RETURN_CODE), never as
# passed or failed.
set -uo pipefail
capability=$1 skipdir=$2 name=$3
shift 3
root=$(cd "$(dirname "$0")/.." && pwd)
rm -f "$skipdir/$name"
if ! why=$("$root/scripts/probe.sh" "$capability"); then
  mkdir -p "$skipdir"
  echo "$why" >"$skipdir/$name"
  echo "SKIPPED $name: $why"
  exit 77
fi
exec "$@"
