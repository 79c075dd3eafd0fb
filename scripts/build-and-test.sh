#!/usr/bin/env bash
# Builds everything and runs every test: the native build (with the test
# program's GUI tests under Xvfb), the same tests again with kernel timers on
# Windows' 15.6 ms tick, under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows build (MinGW-w64) with its checks. Every pass runs even when
# an earlier one failed; a summary of all of them ends the output, and the
# script fails if any pass did.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh || exit 1

jobs=$(nproc)
build_and_test() {  # folder, cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" &&
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

# The passes, in order; each is a function named pass_<name>. A pass that
# needs another's build (the 15.6 ms tick needs the native one) builds it.
passes=(native install windows_tick sanitizers windows)

pass_native() {  # the native build and tests, the test program's among them
  build_and_test build -DRM7X0_BUILD_APP=ON
}
pass_install() {  # installs the native build, then builds and runs the examples against it
  [ -f build/CTestTestfile.cmake ] || return 1
  scripts/check-install.sh build
}
pass_windows_tick() {  # the native tests again on Windows' default 15.6 ms timer tick
  [ -f build/CTestTestfile.cmake ] || return 1
  (cd build && RM7X0_TIMER_RESOLUTION_US=15625 ctest --output-on-failure -j "$jobs" --timeout 300)
}
pass_sanitizers() {  # AddressSanitizer + UndefinedBehaviorSanitizer build and tests
  ASAN_OPTIONS=detect_leaks=1 build_and_test build-asan -DRM7X0_SANITIZE=ON -DRM7X0_BUILD_BENCH=OFF
}
pass_windows() {  # the Windows build (MinGW-w64) and its checks
  (cd windows && build_and_test ../build-windows -DCMAKE_TOOLCHAIN_FILE="$top/windows/mingw-w64.cmake")
}

declare -A outcome
failed=0
for pass in "${passes[@]}"; do
  echo "== $pass"
  start=$SECONDS
  if "pass_$pass"; then result=passed; else result=FAILED; failed=1; fi
  outcome[$pass]="$result in $((SECONDS - start)) s"
done

echo "== summary"
for pass in "${passes[@]}"; do printf '%-14s %s\n' "$pass" "${outcome[$pass]}"; done
exit "$failed"
