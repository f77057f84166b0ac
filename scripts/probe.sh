#!/usr/bin/env bash
# Finds out whether this machine has a capability that some tests need.
# Machines of one kind differ here: some cannot execute 32-bit programs at
# all, and on some CPUs valgrind cannot run octave-cli (it stops on an
# instruction the CPU runs but does not announce).
#
#   probe.sh exec32            32-bit x86 programs run (needed by wine32)
#   probe.sh valgrind-octave   valgrind can run octave-cli
#   probe.sh arm64             qemu-aarch64 runs a static aarch64 program
#
# Exits 0 when the capability is there; otherwise prints the reason on one
# line and exits 1. LANTREL_FORCE_NO_EXEC32=1,
# LANTREL_FORCE_NO_VALGRIND_OCTAVE=1 or LANTREL_FORCE_NO_ARM64=1 makes the
# probe fail, so that the skip paths can be tested on a machine that has
# everything.
set -uo pipefail

fail() { echo "$*"; exit 1; }

case ${1:-} in
  exec32)
    [ "${LANTREL_FORCE_NO_EXEC32:-0}" = 1 ] && fail "no 32-bit programs: forced by LANTREL_FORCE_NO_EXEC32"
    command -v as >/dev/null && command -v ld >/dev/null || fail "no 32-bit programs: cannot tell (as or ld missing)"
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
    # exit(0) by the i386 system call: no libraries, no i386 packages.
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/p.s"
    as --32 -o "$dir/p.o" "$dir/p.s" && ld -m elf_i386 -o "$dir/p" "$dir/p.o" ||
      fail "no 32-bit programs: cannot tell (as --32 / ld -m elf_i386 failed)"
    out=$("$dir/p" 2>&1) || fail "this machine cannot execute 32-bit programs (${out##*: })"
    exit 0 ;;
  valgrind-octave)
    [ "${LANTREL_FORCE_NO_VALGRIND_OCTAVE:-0}" = 1 ] &&
      fail "valgrind cannot run octave-cli: forced by LANTREL_FORCE_NO_VALGRIND_OCTAVE"
    command -v valgrind >/dev/null || fail "valgrind is not installed"
    command -v octave-cli >/dev/null || fail "octave-cli is not installed"
    out=$(valgrind -q --error-exitcode=0 octave-cli -q -f -H --eval 'exit(0)' 2>&1)
    status=$?
    if [ $status -ne 0 ]; then
      why=$(echo "$out" | grep -m1 -iE 'illegal opcode|unrecognised instruction|SIGILL' |
            sed 's/^==[0-9]*== *//')
      fail "valgrind cannot run octave-cli (exit $status${why:+: $why})"
    fi
    exit 0 ;;
  arm64)
    why=$("$(dirname "$0")/test-arm64.sh" --probe) || fail "no aarch64 programs: $why"
    exit 0 ;;
  *)
    echo "usage: probe.sh exec32|valgrind-octave|arm64" >&2
    exit 2 ;;
esac
