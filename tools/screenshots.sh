#!/usr/bin/env bash
# Takes the README's screenshots (docs/*.png): the tour of Forgeway
# (tools/tour.sh) at the normal size, and again at QT_SCALE_FACTOR=2 for the
# main window and the wait dialog at twice the size; then the failure box with
# its details open (tools/screenshot-failure.sh).  Needs the packages of
# "tools/install-deps.sh build tour" and the build of the preset "default".
#
#   bash tools/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build tour

cmake --preset default >/dev/null
cmake --build --preset default

work=$(mktemp -d /tmp/forgeway-shots.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The pictures need a tour in which the search had not found a DCC32.EXE
# before the tour browsed, and in which the wait dialog stayed up long enough
# for its picture (it closes at its first tick once the units are compiled);
# a few tries are allowed.
tour() { # tour FOLDER SCALE
    local try
    for try in 1 2 3 4; do
        QT_SCALE_FACTOR=$2 tools/tour.sh --build build --shots "$1"
        [ -f "$1/02-main-window-searching.png" ] && [ -f "$1/05-wait-dialog.png" ] && return 0
        echo "(a picture of the search or of the wait dialog is missing; again)"
    done
    echo "screenshots.sh: no tour of four had all the pictures" >&2
    return 1
}
tour "$work/1x" 1
tour "$work/2x" 2

# The tour names its pictures <step>-<name>.png.
for name in main-window-start main-window-searching wait-dialog message-box run-question lumio; do
    cp "$work"/1x/[0-9][0-9]-"$name".png "docs/$name.png"
done
cp "$work"/2x/[0-9][0-9]-main-window-searching.png docs/main-window-2x.png
cp "$work"/2x/[0-9][0-9]-wait-dialog.png docs/wait-dialog-2x.png
for f in docs/*.png; do echo "$f: $(identify -format '%wx%h' "$f")"; done

bash tools/screenshot-failure.sh
