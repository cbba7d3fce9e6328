#!/usr/bin/env bash
# Builds Forgeway, lays out the sample kit beside it in the build folder
# (Demo/, Delphi-3/, Delphi-4/, and the stand-in compiler in Bin/) and starts
# it there.  Installs the Debian packages it needs first (apt-get, as root or
# through sudo).
#
# Without a display (or with --tour) it takes the tour instead
# (tools/tour.sh): the real program on a private virtual screen, driven
# through a whole build as a user would, each step printed and pictured.
#
#   bash tools/build-and-start.sh [--tour]
set -euo pipefail
cd "$(dirname "$0")/.."

tour=0
case ${1:-} in
    --tour) tour=1 ;;
    "") ;;
    *) echo "build-and-start.sh: unknown argument '$1' (--tour)" >&2; exit 2 ;;
esac
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && tour=1

if [ $tour -eq 1 ]; then
    tools/install-deps.sh build tour
else
    tools/install-deps.sh build
fi
cmake --preset default >/dev/null
cmake --build --preset program # the programs and the kit, not the tests

if [ $tour -eq 1 ]; then
    [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
        echo "No display here: Forgeway takes its tour on a private virtual screen."
    exec tools/tour.sh --build build
fi
echo "The stand-in compiler: $(pwd)/build/Bin/DCC32.EXE"
echo "(type or browse this path if you do not want to wait for the automatic search)"
exec build/Forgeway
