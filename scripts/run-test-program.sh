#!/usr/bin/env bash
# Builds the system and starts the test program, Kavrel_New, on the simulated
# machine: by default two cards, a model-A card with ID 0 and a model-B card with
# ID 1 (set RM7X0_MACHINE to a machine file for others; see docs/machine-file.md).
#
#   scripts/run-test-program.sh           run it on the current X display
#   scripts/run-test-program.sh --xvfb    run it on a virtual display (no window
#                                         to see; it runs until it is ended)
#
# It builds in build/ (or $RM7X0_BUILD_DIR). Wine keeps its files in
# build/wineprefix; the program's INI files are in its drive_c/windows/system32.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

xvfb=0
case "${1:-}" in
  --xvfb) xvfb=1 ;;
  "") ;;
  *) echo "usage: $0 [--xvfb]" >&2; exit 2 ;;
esac

if [ $xvfb -eq 0 ] && [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<MSG
There is no X display (DISPLAY is not set). Run the program on a virtual one:
  $0 --xvfb
or start it yourself under Xvfb once built:
  xvfb-run -a $0
MSG
  exit 1
fi

scripts/install-deps.sh
build=${RM7X0_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DRM7X0_BUILD_APP=ON >/dev/null
cmake --build "$build" --target app_winelib

runner=(app/run-in-wine.sh)
[ $xvfb -eq 1 ] && runner+=(--xvfb)
build=$(cd "$build" && pwd)
exec "${runner[@]}" "$build/wineprefix" "$build/bin/Kavrel_New.exe.so"
