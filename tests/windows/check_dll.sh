#!/usr/bin/env bash
# Reads each module's PE tables with objdump and checks what a host relies
# on, and what Wine would only notice when a call is made: the machine type,
# mexFunction as the one (undecorated) export, imports only from KERNEL32,
# msvcrt, libmx and libmex, and every libmx/libmex name on our .def lists.
#
#   check_dll.sh <objdump> <x86_64|i686> <libmx.def>[,<more libmx .def>...] <libmex.def> <module>...
set -euo pipefail
objdump=$1 arch=$2 mxdef=$3 mexdef=$4
shift 4
case $arch in
  x86_64) format=pei-x86-64 magic=PE32+ ;;
  i686) format=pei-i386 magic=PE32 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

defNames() {
  local def
  for def in ${1//,/ }; do
    awk '/^EXPORTS/ { on = 1; next } on && NF && $1 !~ /^;/ { print $1 }' "$def"
  done
}
mxNames=" $(defNames "$mxdef" | tr '\n' ' ') "
mexNames=" $(defNames "$mexdef" | tr '\n' ' ') "

fail=0
used=" "
for f in "$@"; do
  if [ ! -f "$f" ]; then
    echo "$f: missing"
    fail=1
    continue
  fi
  dump=$("$objdump" -p "$f")
  problems=()

  machine=$(sed -n 's/.*file format //p' <<<"$dump" | head -n1)
  [ "$machine" = "$format" ] || problems+=("file format $machine, not $format")
  got=$(awk '$1 == "Magic" { print $3 }' <<<"$dump")
  [ "$got" = "($magic)" ] || problems+=("optional header $got, not ($magic)")

  exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && !NF { on = 0 } on { print $NF }' <<<"$dump" |
    tr '\n' ' ' | sed 's/ $//')
  [ "$exports" = mexFunction ] || problems+=("exports '$exports', not just mexFunction")

  # "DLL Name: X" heads each import table; its entries are "vma hint name".
  imports=$(awk '/DLL Name:/ { dll = $3; print dll; next }
                 !NF { dll = "" }
                 dll != "" && /^\t[0-9a-f]+\t/ && NF == 3 { print dll, $3 }' <<<"$dump")
  dlls=""
  while read -r dll name; do
    lower=$(tr 'A-Z' 'a-z' <<<"$dll")
    if [ -z "$name" ]; then
      dlls+=" $dll"
      case $lower in
        kernel32.dll | msvcrt.dll | libmx.dll | libmex.dll) ;;
        *) problems+=("imports from $dll") ;;
      esac
      continue
    fi
    used+="$name "
    if [ "$lower" = libmx.dll ] && [[ $mxNames != *" $name "* ]]; then
      problems+=("imports $name from libmx.dll, which is not in $(basename "${mxdef%%,*}")")
    elif [ "$lower" = libmex.dll ] && [[ $mexNames != *" $name "* ]]; then
      problems+=("imports $name from libmex.dll, which is not in $(basename "$mexdef")")
    fi
  done <<<"$imports"

  counts=""
  for dll in libmx.dll libmex.dll; do
    counts+=" $dll:$(awk -v d="$dll" 'tolower($1) == d && NF == 2' <<<"$imports" | wc -l)"
  done
  if [ ${#problems[@]} -eq 0 ]; then
    echo "$(basename "$f"): $machine $magic, export $exports, DLLs$dlls; names from$counts all listed: ok"
  else
    fail=1
    for p in "${problems[@]}"; do
      echo "$(basename "$f"): $p"
    done
  fi
done
unused=""
for name in $mxNames $mexNames; do
  [[ $used == *" $name "* ]] || unused+=" $name"
done
[ -z "$unused" ] || echo "listed but imported by none of these modules:$unused"
exit $fail
