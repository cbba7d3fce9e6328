#!/usr/bin/env bash
# Cross-builds the host layer and its tests for 64-bit Windows with mingw-w64
# and runs them under Wine, console only.  Installs the compiler and Wine with
# apt-get (as root, or through sudo) when they are missing.
#
#   bash tools/test-windows-host.sh            # build folder: build-win/
#   FORGEWAY_WIN_BUILD=/tmp/bw bash tools/test-windows-host.sh
#
# Exits non-zero when the build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FORGEWAY_WIN_BUILD:-build-win}

tools/install-deps.sh g++-mingw-w64-x86-64-posix wine64

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFORGEWAY_HOST_ONLY=ON \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build"
cd "$build"
# No display: Wine stays on the console.
DISPLAY= WAYLAND_DISPLAY= ctest --output-on-failure --timeout 300
