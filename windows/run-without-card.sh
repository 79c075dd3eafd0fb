#!/usr/bin/env bash
# Starts the Windows test program under Wine, on a virtual X display, on a
# machine without a card, with the Windows motion libraries beside it: it must
# show the no-card message and end by itself once the message is answered. A
# probe program in the same Wine prefix answers the box and reports its text.
#   run-without-card.sh <run-in-wine.sh> <prefix> <bin folder>
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <run-in-wine.sh> <prefix> <bin folder>" >&2; exit 2; }
run_in_wine=$1 prefix=$2 bin=$3
expected="caption: Kavrel_New
text: No VEXA-RM720 and VEXA-RM730 is available on your system, please check the system"

"$run_in_wine" --prepare --unmanaged "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver
export WINEDLLOVERRIDES="mscoree=;mshtml="
report=$(mktemp "${TMPDIR:-/tmp}/rm7x0-no-card.XXXXXX")
trap 'rm -f "$report"' EXIT
# Both bounded, so that a program that hangs fails the check, not the run.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wine=/usr/lib/wine/wine64
  "$wine" "$1/message_box_probe.exe" 60 >"$2" &
  probe=$!
  status=0
  timeout 90 "$wine" "$1/Kavrel_New.exe" || status=$?
  probe_status=0
  wait $probe || probe_status=$?
  "$WINESERVER" -k 2>/dev/null || true
  echo "program ended: $status, probe: $probe_status" >>"$2"' _ "$bin" "$report"

cat "$report"
shown=$(grep -E '^(caption|text): ' "$report" | tr -d '\r')
if [ "$shown" != "$expected" ]; then
  echo "run-without-card: expected the message box" >&2
  echo "$expected" >&2
  exit 1
fi
if grep -q 'program ended: 124' "$report"; then
  echo "run-without-card: the program did not end after its message" >&2
  exit 1
fi
