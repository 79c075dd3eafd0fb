#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the test program's
# GUI tests under Xvfb, and the Windows build (MinGW-w64) with its checks.
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
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
ASAN_OPTIONS=detect_leaks=1 build_and_test build-asan -DRM7X0_SANITIZE=ON -DRM7X0_BUILD_BENCH=OFF
echo "== Windows build (MinGW-w64) and its checks"
(cd windows && build_and_test ../build-windows -DCMAKE_TOOLCHAIN_FILE="$top/windows/mingw-w64.cmake")
