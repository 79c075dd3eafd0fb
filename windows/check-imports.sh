#!/usr/bin/env bash
# Checks that a program imports every function of the given DLLs by ordinal.
#   check-imports.sh <objdump> <program.exe> <dll>...
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 <objdump> <program.exe> <dll>..." >&2; exit 2; }
objdump=$1 program=$2; shift 2
dump=$("$objdump" -p "$program")
status=0
for dll in "$@"; do
  # The import entries of one DLL: between its "DLL Name" line and the blank
  # line after them; an entry by ordinal shows <none> as its member name.
  entries=$(echo "$dump" | awk -v dll="$dll" '
    /DLL Name:/ { inside = (tolower($3) == tolower(dll)); next }
    inside && /Hint\/Ord/ { next }
    inside && /^[[:space:]]*$/ { inside = 0 }
    inside { print }')
  total=$(echo "$entries" | grep -c . || true)
  by_name=$(echo "$entries" | grep -vc '<none>' || true)
  if [ "$total" -eq 0 ]; then
    echo "$program imports nothing from $dll" >&2; status=1
  elif [ "$by_name" -ne 0 ]; then
    echo "$program imports $by_name functions of $dll by name:" >&2
    echo "$entries" | grep -v '<none>' >&2; status=1
  else
    echo "$program imports $total functions of $dll, all by ordinal"
  fi
done
exit $status
