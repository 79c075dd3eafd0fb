#!/usr/bin/env bash
# Runs a Windows program under Wine, on a virtual X display of its own, where it must show
# one message box and then end by itself: a probe program in the same Wine
# prefix waits for the box, reports its caption and text and answers it with
# OK. The check passes when the box said what was expected and the program
# ended with status 0.
#   run-with-message-box.sh <run-in-wine.sh> <prefix> <program.exe> <caption> <text>
# RM7X0_WINE_VERSION (e.g. nt40) sets the Windows version that Wine reports to
# this program (HKCU\Software\Wine\AppDefaults\<program> Version).
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 <run-in-wine.sh> <prefix> <program.exe> <caption> <text>" >&2; exit 2; }
run_in_wine=$1 prefix=$2 program=$3
expected="caption: $4
text: $5"

"$run_in_wine" --prepare --unmanaged "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINESERVER=/usr/lib/wine/wineserver
export WINEDLLOVERRIDES="mscoree=;mshtml="
report=$(mktemp "${TMPDIR:-/tmp}/rm7x0-message-box.XXXXXX")
display=$(mktemp "${TMPDIR:-/tmp}/rm7x0-display.XXXXXX")
xvfb=
finish() {
  "$WINESERVER" -k 2>/dev/null || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -f "$report" "$display"
}
trap finish EXIT
# A virtual display of its own: the server picks a free display number itself
# and writes it to the file, so parallel runs never race for one.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$display" 2>/dev/null &
xvfb=$!
for _ in $(seq 300); do [ -s "$display" ] && break; sleep 0.1; done
[ -s "$display" ] || { echo "run-with-message-box: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$display")

wine=/usr/lib/wine/wine64
if [ -n "${RM7X0_WINE_VERSION:-}" ]; then
  "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$program")" \
    /v Version /d "$RM7X0_WINE_VERSION" /f >/dev/null 2>&1
fi
# Both bounded, so that a program that hangs fails the check, not the run.
"$wine" "$(dirname "$program")/message_box_probe.exe" 60 >"$report" &
probe=$!
status=0
timeout 90 "$wine" "$program" || status=$?
probe_status=0
wait $probe || probe_status=$?
echo "program ended: $status, probe: $probe_status" >>"$report"

cat "$report"
shown=$(grep -E '^(caption|text): ' "$report" | tr -d '\r')
if [ "$shown" != "$expected" ]; then
  printf 'run-with-message-box: expected the message box\n%s\n' "$expected" >&2
  exit 1
fi
grep -q 'program ended: 0,' "$report" || { echo "run-with-message-box: the program did not end well" >&2; exit 1; }
