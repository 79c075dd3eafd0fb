#!/usr/bin/env bash
# Runs a Winelib program of the build in a Wine prefix of the build.
#   run-in-wine.sh --prepare [--unmanaged] [--dpi N] <prefix>     create the prefix only
#   run-in-wine.sh [--xvfb] <prefix> <program.exe.so> [args...]
# The prefix is created once, under a lock so that parallel callers wait for it,
# without Wine's downloads and messages. --unmanaged makes its windows bypass the
# window manager: on Xvfb there is none, and Wine would wait for it at every window
# it shows or hides. --dpi gives the prefix's screen that many dots per inch. --xvfb
# runs the program on a virtual X server of its own, of RM7X0_XVFB_SCREEN (default
# 1024x768x24).
set -euo pipefail

wine_dir=/usr/lib/wine
prepare_only=0 unmanaged=0 xvfb=0 dpi=
while [ $# -gt 0 ]; do
  case "$1" in
    --prepare) prepare_only=1 ;;
    --unmanaged) unmanaged=1 ;;
    --xvfb) xvfb=1 ;;
    --dpi) dpi=$2; shift ;;
    *) break ;;
  esac
  shift
done
[ $# -ge 1 ] || { echo "usage: $0 [--prepare [--unmanaged]] [--xvfb] <prefix> [program.exe.so args...]" >&2; exit 2; }

export WINEPREFIX=$1; shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINESERVER=$wine_dir/wineserver
export WINEDLLOVERRIDES="mscoree=;mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

create_prefix() {
  rm -rf "$WINEPREFIX"
  "$wine_dir/wine64" wineboot --init >/dev/null 2>&1
  if [ $unmanaged -eq 1 ]; then
    "$wine_dir/wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  fi
  if [ -n "$dpi" ]; then
    "$wine_dir/wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  fi
  # The registry is written when the server ends.
  "$WINESERVER" -w
}

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  [ -f "$WINEPREFIX/system.reg" ] || create_prefix
) 9>"$WINEPREFIX.lock"
[ -f "$WINEPREFIX/system.reg" ] || { echo "run-in-wine: could not create the Wine prefix $WINEPREFIX" >&2; exit 1; }
[ $prepare_only -eq 1 ] && exit 0

[ $# -ge 1 ] || { echo "run-in-wine: no program given" >&2; exit 2; }
if [ -n "${RM7X0_ARTIFACT_DIR:-}" ]; then mkdir -p "$RM7X0_ARTIFACT_DIR"; fi
if [ $xvfb -eq 1 ]; then
  # Wine's processes of the prefix end with the virtual display, not after it.
  exec xvfb-run -a -s "-screen 0 ${RM7X0_XVFB_SCREEN:-1024x768x24}" bash -c \
    '"$0" "$@"; status=$?; "$WINESERVER" -k 2>/dev/null; exit $status' "$wine_dir/wine64" "$@"
fi
exec "$wine_dir/wine64" "$@"
