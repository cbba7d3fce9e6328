#!/usr/bin/env bash
# Builds every test under AddressSanitizer (with its LeakSanitizer) and
# UndefinedBehaviorSanitizer (preset "sanitizers", in build-sanitizers/), then
# runs them all.  Any report fails the run.  Needs the packages of
# "tools/install-deps.sh build test".
#
#   tools/test-sanitizers.sh [ctest arguments...]
#
# The preset's test environment: intercept_strndup=0 because
# libxkbcommon-x11 (under the xcb platform) calls strndup with a bound past
# the end of an X reply, while the string itself ends in time; LeakSanitizer
# reads its suppressions from tools/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test

cmake --preset sanitizers >/dev/null
cmake --build --preset sanitizers
ctest --preset sanitizers "$@"
