#!/usr/bin/env bash
# Every Windows test, after building what is missing, all under Wine:
#   1. the host layer alone (preset "windows": no Qt, linked statically) and
#      its tests;
#   2. Qt 6.4.2 for Windows (tools/build-qt-windows.sh: built once into its
#      cache, about 20 minutes on 2 cores, reused afterwards);
#   3. both programs, the Qt Test suite and the end-to-end run of
#      Forgeway.exe on a virtual screen (preset "windows-qt").
# Test programs that work on POSIX processes or trees only are named, with
# their reasons, as not run.
#
#   bash tools/test-windows.sh [--if-qt-cached] [ctest arguments...]
#
#   --if-qt-cached  where the Qt cache is missing (or out of date), run only
#                   step 1 and say in one line what was not run and how to
#                   run it, instead of building Qt (the README's test command
#                   does this).
#
# FORGEWAY_QT_WINDOWS names the Qt cache (default
# ~/.cache/forgeway/qt-6.4.2-mingw64).  Needs the packages of
# "tools/install-deps.sh build test windows"; names any that is missing.
# Exits non-zero when a build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test windows

only_if_cached=0
if [ "${1:-}" = --if-qt-cached ]; then
    only_if_cached=1
    shift
fi
start=$SECONDS
took() { echo "   ($(((SECONDS - $1) / 60)) min $(((SECONDS - $1) % 60)) s)"; }

echo "== Windows: the host layer and its tests (no Qt)"
step=$SECONDS
bash tools/test-windows-host.sh
took $step

if ! bash tools/build-qt-windows.sh --check; then
    if ((only_if_cached)); then
        echo "== NOT RUN: the Windows program suite and end-to-end run (no current Qt for Windows" \
             "in ${FORGEWAY_QT_WINDOWS:-~/.cache/forgeway/qt-6.4.2-mingw64}); run them with:" \
             "bash tools/test-windows.sh"
        exit 0
    fi
    echo "== Windows: Qt for Windows, built once into its cache"
    step=$SECONDS
    bash tools/build-qt-windows.sh
    took $step
fi

echo "== Windows: both programs, the Qt Test suite and the end-to-end run (under Wine)"
step=$SECONDS
cmake --preset windows-qt >/dev/null
cmake --build --preset windows-qt
ctest --preset windows-qt "$@"
while IFS= read -r line; do
    echo "   not run on Windows, POSIX only: $line"
done <build-windows-qt/posix-only-tests.txt
took $step
echo "== Windows tests passed in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
