#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the test program need.
# Skips apt when everything is already there.
set -euo pipefail

# Wine is installed with its recommended packages (fonts among them): the GUI
# tests draw captions and check their pixels. MinGW-w64 builds the Windows
# binaries (windows/); clang compiles the Windows driver, whose exception
# guard g++ cannot compile for that target. make and pkg-config build the
# examples against an installed tree (scripts/check-install.sh).
packages=(cmake ninja-build make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          wine64 wine64-tools libwine-dev fonts-wine xvfb xauth xdotool
          g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 clang)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
