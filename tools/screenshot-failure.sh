#!/usr/bin/env bash
# Takes docs/failure-details.png: a kit whose unit Orb does not compile, run
# on a virtual X server and driven with xdotool as a user would; the wait
# dialog runs out, the project fails too, and the failure box is shown with
# its details open over Free Pascal's own messages (about a minute).  Needs the
# packages of "tools/install-deps.sh build tour" and the build of the preset
# "default".
#
#   bash tools/screenshot-failure.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build tour
repo=$(pwd)
build=build
cmake --preset default >/dev/null
cmake --build --preset default

work=$(mktemp -d /tmp/forgeway-shots.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# A virtual screen on a free display number.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# wait_window <title regex> [seconds]: prints the id of the first visible
# window whose title matches.
wait_window() {
    local id
    for _ in $(seq $((${2:-20} * 10))); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window titled '$1' appeared; open windows:" >&2
    xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do
        echo "    $(xdotool getwindowname "$w" 2>/dev/null)" >&2
    done
    return 1
}

# shot <window id> <docs/name.png>: the window with its frame, as a small PNG.
shot() {
    local x y w h
    eval "$(xwininfo -id "$1" | awk '
        /Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}
        /Width:/ {print "w=" $2} /Height:/ {print "h=" $2}')"
    local frame
    frame=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' || true)
    if [ -n "$frame" ]; then # left, right, top, bottom
        IFS=', ' read -r l r t b <<<"$frame"
        x=$((x - l)) y=$((y - t)) w=$((w + l + r)) h=$((h + t + b))
    fi
    import -silent -window root "$work/shot.png"
    convert "$work/shot.png" -crop "${w}x${h}+${x}+${y}" +repage -strip "$repo/$2"
    echo "$2: $(identify -format '%wx%h' "$repo/$2")"
}

# click <window id> <x> <y>: a left click at client coordinates.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

main_title='This application create the Lumio.EXE file'

# browse <main window id> <scale>: the browse button, which also stops the
# automatic search; the path typed into the file dialog; the main button.
browse() {
    local main=$1 k=$2 dialog
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    click "$main" $((432 * k)) $((47 * k))
    if ! dialog=$(wait_window '^(Open|Find File)' 10); then
        echo "The automatic search found a DCC32.EXE before the browse button was pressed;" >&2
        echo "the screenshots follow the typed path only.  Run the script again." >&2
        return 1
    fi
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    sleep 0.5
    xdotool key ctrl+a
    xdotool type --delay 5 "$compiler"
    xdotool key Return
    sleep 0.5
    click "$main" $((287 * k)) $((95 * k))
}

# A kit whose unit Orb does not compile: the wait dialog runs out, the
# project fails too, and the failure box offers Free Pascal's messages.
broken="$work/broken"
cmake --install "$build" --prefix "$broken" >/dev/null
sed -i '0,/^implementation/s//implementation\n  this is not Pascal at all;/' "$broken/Demo/Orb.Pas"
compiler="$broken/Bin/DCC32.EXE"
(cd "$broken" && exec ./Forgeway) &
pids+=($!)
main=$(wait_window "$main_title")
sleep 1 # the search has started: the browse button stops it
browse "$main" 1
pas_box=$(wait_window '^Forgeway$' 60) # after the dialog's 31 seconds
sleep 0.5
xdotool windowactivate --sync "$pas_box" 2>/dev/null || true
xdotool key Return
sleep 1
failure=$(wait_window '^Forgeway$' 30) # ten seconds later
sleep 0.5
xdotool windowactivate --sync "$failure" 2>/dev/null || true
xdotool key Tab space # from OK to "Show Details..."
sleep 1
shot "$failure" docs/failure-details.png
xdotool key Return
sleep 0.5
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
echo "done: docs/*.png"
