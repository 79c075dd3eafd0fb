#!/usr/bin/env bash
# Checks the kernel driver's image: NT-native subsystem, an entry point, and
# imports from the kernel and nothing from user mode.
#   check-driver.sh <objdump> <driver.sys>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <objdump> <driver.sys>" >&2; exit 2; }
dump=$("$1" -p "$2")
fail() { echo "$2: $1" >&2; exit 1; }
echo "$dump" | grep -Eq '^Subsystem[[:space:]]+00000001' || fail "not an NT-native image" "$2"
echo "$dump" | grep -Eq '^AddressOfEntryPoint[[:space:]]+0*[1-9a-f]' || fail "no entry point" "$2"
dlls=$(echo "$dump" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case "$dll" in
    ntoskrnl.exe|hal.dll) ;;
    *) fail "imports $dll, not a kernel module" "$2" ;;
  esac
done
case " $dlls" in *" ntoskrnl.exe "*) ;; *) fail "does not import ntoskrnl.exe" "$2" ;; esac
echo "$2: NT-native driver importing $dlls"
