#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it as an application
# developer would: builds the examples (examples/) against the installed tree
# with pkg-config and with find_package, and runs them on the default
# simulated machine, checking their output against
# examples/<name>/expected-output.txt. The installed tree is moved after the
# install and the build folder is renamed meanwhile, so that nothing can reach
# either of them.
#   scripts/check-install.sh [BUILD_DIR]      (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
examples=(list_cards home_and_move contour)

work=$(mktemp -d)
hidden=$build.out-of-reach
restore() {
  if [ -d "$hidden" ]; then mv "$hidden" "$build"; fi
  rm -rf "$work"
}
trap restore EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

echo "-- installing $build into a temporary prefix"
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
mv "$build" "$hidden"

echo "-- checking the installed tree"
elf_files=$(find "$prefix" -type f -name '*.so*')
for file in $elf_files; do
  if readelf -d "$file" | grep -E 'R(UN)?PATH' | grep -qF -e "$build" -e "$work/staged"; then
    fail "$file: its run path names the build folder or the install folder"
  fi
  if ldd "$file" | grep -q 'not found'; then
    ldd "$file" >&2
    fail "$file: a library it needs is not found"
  fi
done
if grep -rlIF -e "$build" -e "$work/staged" "$prefix"; then
  fail "the files above name the build folder or the install folder"
fi
for library in rm720 rm730; do
  soname=$(readelf -d "$(find "$prefix" -name "lib$library.so")" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
  [[ $soname =~ ^lib$library\.so\.[0-9]+$ ]] || fail "lib$library.so: SONAME '$soname' has no version"
done

echo "-- building the examples with pkg-config and with find_package"
unset LD_LIBRARY_PATH RM7X0_DRIVER_PATH RM7X0_MACHINE RM7X0_DEBUG
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name rm720.pc)")
export PKG_CONFIG_PATH
mkdir "$work/pkg-config"
(cd "$work/pkg-config" && make -s -f "$top/examples/Makefile")
for example in "${examples[@]}"; do
  cmake -S "$top/examples/$example" -B "$work/find_package/$example" -G Ninja \
        -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/find_package/$example" >/dev/null
done

# Runs one example and checks that its output has every expected line.
run_example() {  # program, expected-output file
  local output
  output=$("$1") || { echo "$output"; fail "$1 failed"; }
  echo "$output" | sed 's/^/    /'
  while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$output" || fail "$1: no line '$line'"
  done <"$2"
}

echo "-- running the examples on the default simulated machine"
export RM7X0_TIME_SCALE=10
for example in "${examples[@]}"; do
  for program in "$work/pkg-config/$example" "$work/find_package/$example/$example"; do
    echo "  ${program#"$work"/}"
    run_example "$program" "$top/examples/$example/expected-output.txt"
  done
done
echo "-- install check passed"
