#!/usr/bin/env bash
# Builds everything and runs every test: the native build (with the test
# program's GUI tests under Xvfb), the same tests again with kernel timers on
# Windows' 15.6 ms tick, under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows build (MinGW-w64) with its checks.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh

jobs=$(nproc)
build_and_test() {  # folder, cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

echo "== native build and tests"
build_and_test build -DRM7X0_BUILD_APP=ON
scripts/check-install.sh build  # installs it, then builds and runs the examples against it
echo "== native tests again on Windows' default 15.6 ms timer tick"
(cd build && RM7X0_TIMER_RESOLUTION_US=15625 ctest --output-on-failure -j "$jobs" --timeout 300)
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
ASAN_OPTIONS=detect_leaks=1 build_and_test build-asan -DRM7X0_SANITIZE=ON -DRM7X0_BUILD_BENCH=OFF
echo "== Windows build (MinGW-w64) and its checks"
(cd windows && build_and_test ../build-windows -DCMAKE_TOOLCHAIN_FILE="$top/windows/mingw-w64.cmake")
