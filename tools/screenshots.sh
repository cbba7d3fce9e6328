#!/usr/bin/env bash
# Takes the README's screenshots (docs/*.png) of Forgeway on a virtual X
# server, driving the real program the way a user would: it installs the kit
# into a temporary folder, starts Forgeway there, types the stand-in
# compiler's path while the automatic search runs, presses the main button,
# and answers the message boxes.  A second run at QT_SCALE_FACTOR=2 shows
# both windows at twice the size.  A third builds a kit with a unit that does
# not compile and opens the details of the failure box.
#
#   bash tools/screenshots.sh            # build folder: build
#   bash tools/screenshots.sh failure    # only the failure box (about a minute)
#   BUILD_DIR=build-x bash tools/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${BUILD_DIR:-build}
what=${1:-all}

# What this script needs besides the project's own packages: a window
# manager for the title bars, xdotool to play the user, ImageMagick's import.
tools/install-deps.sh xdotool openbox imagemagick

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"

work=$(mktemp -d /tmp/forgeway-shots.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

kit="$work/kit"
cmake --install "$build" --prefix "$kit" >/dev/null
compiler="$kit/Bin/DCC32.EXE"

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

has_icon() {
    local props
    props=$(xprop -id "$1" _NET_WM_ICON 2>/dev/null || true)
    case "$props" in *"Icon ("*) echo yes ;; *) echo no ;; esac
}

mkdir -p docs
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

if [ "$what" = all ]; then
# 1. A build at the normal size.
(cd "$kit" && LUMIO_TRACE="$work/lumio-trace.txt" exec ./Forgeway) &
pids+=($!)
main=$(wait_window "$main_title")
shot "$main" docs/main-window-start.png # before the search starts, half a second in
sleep 1 # the search has started and shows where it is
shot "$main" docs/main-window-searching.png
echo "main window icon: $(has_icon "$main")"
browse "$main" 1

# The compiles are quick: the dialog is up for a second or two.
wait_dialog=$(wait_window '^Wait' 30)
sleep 0.3
shot "$wait_dialog" docs/wait-dialog.png
echo "wait dialog icon: $(has_icon "$wait_dialog")"

box=$(wait_window '^Forgeway$' 60)
sleep 0.5
shot "$box" docs/message-box.png
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool key Return

question=$(wait_window '^Information$' 30)
sleep 0.5
shot "$question" docs/run-question.png
xdotool windowactivate --sync "$question" 2>/dev/null || true
xdotool key Return

lumio=$(wait_window '^Lumio' 30)
sleep 1
shot "$lumio" docs/lumio.png
echo "Lumio's trace: $(cat "$work/lumio-trace.txt" 2>/dev/null || echo none)"
wait "${pids[2]}" || true # Forgeway ends once Lumio has started

# 2. The same windows at twice the size.  The kit is built now, so the wait
# dialog closes on its first tick.
(cd "$kit" && QT_SCALE_FACTOR=2 exec ./Forgeway) &
pids+=($!)
main=$(wait_window "$main_title")
sleep 1
shot "$main" docs/main-window-2x.png
browse "$main" 2
wait_dialog=$(wait_window '^Wait' 30)
shot "$wait_dialog" docs/wait-dialog-2x.png
question=$(wait_window '^Information$' 30)
xdotool windowactivate --sync "$question" 2>/dev/null || true
xdotool key Escape # Cancel: back to the window
sleep 0.5
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4 # closing the window ends the program
wait "${pids[3]}" || true
fi

# 3. A kit whose unit Orb does not compile: the wait dialog runs out, the
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
