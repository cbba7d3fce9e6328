#!/usr/bin/env bash
# Builds Forgeway, lays out the sample kit beside it in the build folder
# (Demo/, Delphi-3/, Delphi-4/, and the stand-in compiler in Bin/) and starts
# it there.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

echo "The stand-in compiler: $(pwd)/build/Bin/DCC32.EXE"
echo "(type or browse this path if you do not want to wait for the automatic search)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display.  Run it under a virtual X server instead:"
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' build/Forgeway"
    exit 1
fi
exec build/Forgeway
