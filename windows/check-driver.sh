#!/usr/bin/env bash
# Checks the kernel driver's image: NT-native subsystem, entered at
# DriverEntry, importing from the kernel and nothing from user mode.
#   check-driver.sh <objdump> <nm> <driver.sys>
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <objdump> <nm> <driver.sys>" >&2; exit 2; }
objdump=$1 nm=$2 driver=$3
dump=$("$objdump" -p "$driver")
fail() { echo "$driver: $1" >&2; exit 1; }
# Here-strings, not pipes: grep -q stops reading at its match, and with
# pipefail the writer's broken pipe would fail the check.
grep -Eq '^Subsystem[[:space:]]+00000001' <<<"$dump" || fail "not an NT-native image"
field() { awk -v name="$1" '$1 == name { print $2 }' <<<"$dump"; }
entry=$(( 0x$(field ImageBase) + 0x$(field AddressOfEntryPoint) ))
driver_entry=$("$nm" "$driver" | awk '$3 == "DriverEntry" { print $1 }')
[ -n "$driver_entry" ] || fail "has no DriverEntry"
[ "$entry" -eq $(( 0x$driver_entry )) ] || fail "is not entered at DriverEntry"
dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$dump" | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case "$dll" in
    ntoskrnl.exe|hal.dll) ;;
    *) fail "imports $dll, not a kernel module" ;;
  esac
done
case " $dlls" in *" ntoskrnl.exe "*) ;; *) fail "does not import ntoskrnl.exe" ;; esac
echo "$driver: NT-native driver entered at DriverEntry, importing $dlls"
