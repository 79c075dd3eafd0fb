#!/usr/bin/env bash
# Checks that a user-mode binary needs no DLL beyond the given ones (Windows'
# own and the motion libraries): the C and C++ runtimes are linked in.
#   check-dependencies.sh <objdump> <binary> <dll>...
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 <objdump> <binary> <dll>..." >&2; exit 2; }
objdump=$1 binary=$2; shift 2
allowed=" $(echo "$@" | tr '[:upper:]' '[:lower:]') "
needed=$("$objdump" -p "$binary" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
status=0
for dll in $needed; do
  case "$allowed" in
    *" $dll "*) ;;
    *) echo "$binary needs $dll" >&2; status=1 ;;
  esac
done
[ $status -eq 0 ] && echo "$binary needs only: $(echo $needed)"
exit $status
