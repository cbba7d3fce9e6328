#!/usr/bin/env bash
# Takes the README's screenshots (docs/*.png): the tour of Forgeway
# (tools/tour.sh) at the normal size, and again at QT_SCALE_FACTOR=2 for the
# main window and the wait dialog at twice the size.  Needs the packages of
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

tools/tour.sh --build build --shots "$work/1x"
QT_SCALE_FACTOR=2 tools/tour.sh --build build --shots "$work/2x"

# The tour names its pictures <step>-<name>.png.
for name in main-window-start main-window-searching wait-dialog message-box run-question lumio; do
    cp "$work"/1x/[0-9][0-9]-"$name".png "docs/$name.png"
done
cp "$work"/2x/[0-9][0-9]-main-window-searching.png docs/main-window-2x.png
cp "$work"/2x/[0-9][0-9]-wait-dialog.png docs/wait-dialog-2x.png
for f in docs/*.png; do echo "$f: $(identify -format '%wx%h' "$f")"; done
