#!/usr/bin/env bash
# Cross-builds the host layer and its tests for 64-bit Windows with mingw-w64
# and runs them under Wine, console only (preset "windows", in
# build-windows/).  Needs the packages of "tools/install-deps.sh test".
#
#   bash tools/test-windows-host.sh [ctest arguments...]
#
# Exits non-zero when the build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows "$@"
