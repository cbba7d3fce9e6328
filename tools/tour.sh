#!/usr/bin/env bash
# The tour: runs the real Forgeway on a private virtual screen (Xvfb, with
# openbox for the title bars) and walks through a whole build as a user
# would, with xdotool for the mouse and keyboard.  It waits for what is on
# the screen at each step, prints each step as it happens and saves a
# picture of it.  Exit status 0 only if Lumio ran.
#
#   tools/tour.sh [--build DIR] [--shots DIR]
#
#   --build DIR   the build folder that holds Forgeway (default: build/ of
#                 this source tree)
#   --shots DIR   where the pictures go (default: <build>/tour); its PNGs
#                 are replaced
#
# QT_SCALE_FACTOR=2 tours the windows at twice the size.
#
# The kit is a fresh copy ("cmake --install") in a temporary folder, so the
# six units and the project are compiled every time.  The program searches
# every drive for DCC32.EXE half a second after its window appears; the tour
# waits until the status bar shows the search running and then browses to
# the kit's own compiler, which stops the search.  Should the search find a
# DCC32.EXE in that moment, the build goes on with that one and the tour
# follows it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
. "$here/packages.sh"

build=$repo/build
shots=
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --shots) shots=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "tour.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
done
forgeway_need tour
case $build in /*) ;; *) build=$PWD/$build ;; esac
shots=${shots:-$build/tour}
case $shots in /*) ;; *) shots=$PWD/$shots ;; esac
if [ ! -x "$build/Forgeway" ] || [ ! -f "$build/cmake_install.cmake" ]; then
    echo "tour.sh: no Forgeway build in $build; build it first:" >&2
    echo "    cmake --preset default && cmake --build --preset default" >&2
    exit 1
fi
scale=${QT_SCALE_FACTOR:-1}
case $scale in [1-9]) ;; *) echo "tour.sh: QT_SCALE_FACTOR must be a whole number from 1 to 9" >&2; exit 2 ;; esac

work=$(mktemp -d /tmp/forgeway-tour.XXXXXX)
kit=$work/kit
trace=$work/lumio-trace.txt
log=$work/forgeway.log
forgeway_pid=
pids=()
cleanup() {
    set +e
    [ -n "$forgeway_pid" ] && kill "$forgeway_pid" 2>/dev/null
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work" 2>/dev/null || true
}
trap cleanup EXIT
mkdir -p "$shots"
rm -f "$shots"/*.png

# --- what the tour prints -----------------------------------------------------
# Times in microseconds (EPOCHREALTIME, whatever the locale's decimal sign).
now_us() { echo $((10#${EPOCHREALTIME//[.,]/})); }
start_us=$(now_us)
elapsed() {
    local ds=$((($(now_us) - start_us) / 100000))
    printf '%3d.%d' $((ds / 10)) $((ds % 10))
}
step_no=0
awaiting="the virtual screen"
# say TEXT: prints the next step as it happens.
say() { step_no=$((step_no + 1)); echo "[$(elapsed) s] $step_no. $*"; }
# expect WHAT: what the tour waits for next, named if it does not happen.
expect() { awaiting=$1; expect_us=$(now_us); }
# overdue SECONDS: whether the awaited thing is that late.
overdue() { [ $(($(now_us) - expect_us)) -gt $(($1 * 1000000)) ]; }

fail() {
    echo "[$(elapsed) s] FAILED after step $step_no, waiting for $awaiting: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        import -silent -window root "$shots/failure.png" 2>/dev/null &&
            echo "    the whole screen then: $shots/failure.png" >&2
        local w
        echo "    windows on the screen:" >&2
        for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
            echo "      \"$(xdotool getwindowname "$w" 2>/dev/null)\"" >&2
        done
    fi
    if [ -s "$log" ]; then
        echo "    Forgeway's output (last lines):" >&2
        tail -n 15 "$log" | sed 's/^/      /' >&2
    fi
    exit 1
}

# --- the screen -----------------------------------------------------------------
# window TITLE-REGEX: the id of the first visible window whose title matches.
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true; }
title() { xdotool getwindowname "$1" 2>/dev/null || true; }
visible() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
forgeway_runs() { kill -0 "$forgeway_pid" 2>/dev/null; }

# pixels WINDOW [WxH+X+Y]: a checksum of the window's pixels (or of a part).
pixels() {
    { import -silent -window "$1" ${2:+-crop "$2"} rgb:- 2>/dev/null || true; } | md5sum | cut -c1-32
}
# settled WINDOW: waits until two looks a tenth of a second apart agree
# (the window has painted), at most a second.
settled() {
    local before now
    before=$(pixels "$1")
    for _ in $(seq 10); do
        sleep 0.1
        now=$(pixels "$1")
        [ "$now" = "$before" ] && return 0
        before=$now
    done
}
# shot WINDOW NAME: the window with its frame, saved as <shots>/NAME (and
# named in shot_name); nothing if the window has gone.
shot() {
    local info x y w h l r t b frame
    shot_name=$2
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    eval "$(awk '/Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}
                 /Width:/ {print "w=" $2} /Height:/ {print "h=" $2}' <<<"$info")"
    frame=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' || true)
    if [ -n "$frame" ]; then # left, right, top, bottom
        IFS=', ' read -r l r t b <<<"$frame"
        x=$((x - l)) y=$((y - t)) w=$((w + l + r)) h=$((h + t + b))
    fi
    import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage -strip "$shots/$2" || true
}
# click WINDOW X Y: a left click at a point of the window, in the .ui's units.
click() {
    xdotool mousemove --window "$1" $(($2 * scale)) $(($3 * scale)) click 1
}
activate() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true; }

# ui_rect FILE WIDGET: "x y width height" of the widget in a Qt Designer file.
ui_rect() {
    sed -n "/name=\"$2\"/,/<\/rect>/p" "$repo/forms/$1" |
        grep -o '<\(x\|y\|width\|height\)>[0-9]*' | sed 's/.*>//' | tr '\n' ' '
}
read -r sb_x sb_y sb_w sb_h <<<"$(ui_rect Unit1.ui SB)"
read -r browse_x browse_y browse_w browse_h <<<"$(ui_rect Unit1.ui SpeedButton1)"
read -r build_x build_y build_w build_h <<<"$(ui_rect Unit1.ui BitBtn1)"
[ -n "$build_h" ] && [ -n "$browse_h" ] && [ -n "$sb_h" ] ||
    fail "cannot read where the status bar and the buttons are from forms/Unit1.ui"
status_bar="$((sb_w * scale))x$((sb_h * scale))+$((sb_x * scale))+$((sb_y * scale))"

main_title='This application create the Lumio.EXE file'
box_title='^Forgeway$'
question_title='^Information$'

# await SECONDS COMMAND...: runs the command every tenth of a second until it
# succeeds; fails, naming what the tour waits for, otherwise.  Forgeway's
# ending meanwhile fails it at once.
await() {
    local seconds=$1
    shift
    expect_us=$(now_us)
    while ! "$@"; do
        forgeway_alive
        overdue "$seconds" && fail "it did not come within $seconds s"
        sleep 0.1
    done
}
forgeway_alive() {
    forgeway_runs && return 0
    local status=0
    wait "$forgeway_pid" || status=$?
    forgeway_pid=
    fail "Forgeway ended (status $status)"
}

# --- the private screen ----------------------------------------------------------
echo "== The tour of Forgeway on a private virtual screen"
cmake --install "$build" --prefix "$kit" --component kit >"$work/install.log" ||
    fail "cannot lay out a fresh kit in $kit (see $work/install.log)"
compiler=$kit/Bin/DCC32.EXE
[ -x "$compiler" ] || fail "the kit has no stand-in compiler at $compiler"

# screen_up N: starts Xvfb on a free display and openbox on it; waits until
# both answer.  Says what went wrong otherwise.
screen_up() {
    local n=$1 xvfb wm
    exec 3>"$work/display$n"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb$n.log" 2>&1 &
    xvfb=$!
    pids+=($xvfb)
    exec 3>&-
    for _ in $(seq 150); do [ -s "$work/display$n" ] && break; sleep 0.1; done
    if [ ! -s "$work/display$n" ]; then
        screen_trouble="Xvfb gave no display number within 15 s: $(tail -n 3 "$work/xvfb$n.log")"
        return 1
    fi
    export DISPLAY=":$(head -n1 "$work/display$n")"
    for _ in $(seq 150); do xprop -root >/dev/null 2>&1 && break; sleep 0.1; done
    if ! xprop -root >/dev/null 2>&1; then
        screen_trouble="Xvfb on $DISPLAY does not answer ($(kill -0 $xvfb 2>/dev/null &&
            echo "it runs" || echo "it has ended")): $(tail -n 3 "$work/xvfb$n.log")"
        return 1
    fi
    # openbox, with its title bars in Liberation Sans like the windows (its
    # own choice, sans-serif, may be a typewriter face on a fresh machine).
    openbox "${openbox_config[@]}" >"$work/openbox$n.log" 2>&1 &
    wm=$!
    pids+=($wm)
    for _ in $(seq 150); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        kill -0 $wm 2>/dev/null || break
        sleep 0.1
    done
    screen_trouble="openbox did not start on $DISPLAY: $(tail -n 3 "$work/openbox$n.log")"
    return 1
}
openbox_config=()
if [ -f /etc/xdg/openbox/rc.xml ]; then
    sed 's|<name>sans</name>|<name>Liberation Sans</name>|' /etc/xdg/openbox/rc.xml >"$work/openbox.xml"
    openbox_config=(--config-file "$work/openbox.xml")
fi
awaiting="the virtual screen"
screen_trouble=
for try in 1 2 3; do
    screen_up $try && break
    echo "   ($screen_trouble; trying another display)"
    [ $try -eq 3 ] && fail "$screen_trouble"
done
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
echo "   screen $DISPLAY (1280x800, openbox), kit $kit"

# --- the walk ------------------------------------------------------------------------
(cd "$kit" && LUMIO_TRACE=$trace exec ./Forgeway) >"$log" 2>&1 &
forgeway_pid=$!
main=
main_up() { main=$(window "$main_title"); [ -n "$main" ]; }
awaiting="Forgeway's main window"
await 20 main_up
settled "$main"
shot "$main" 01-main-window-start.png
say "Forgeway is up: its main window \"$main_title\"  [$shot_name]"

# Half a second after the window appears the search starts and shows each
# folder in the status bar.  When it finds a DCC32.EXE it starts the build
# itself: "Please wait..." in the status bar, and the wait dialog at once.
build_window() {
    [ -n "$(window '^Wait')" ] || [ -n "$(window "$box_title")" ] ||
        [ -n "$(window "$question_title")" ]
}
# The search runs once the status bar has changed twice since the window
# settled: once might be the window's first paint.
bar=$(pixels "$main" "$status_bar")
bar_changes=0
search_runs() {
    build_window && return 0
    local now
    now=$(pixels "$main" "$status_bar")
    [ "$now" != "$bar" ] && bar=$now && bar_changes=$((bar_changes + 1))
    [ $bar_changes -ge 2 ]
}
awaiting="the automatic search (changes in the status bar)"
await 20 search_runs
sleep 0.3
if build_window; then
    shot "$main" 02-main-window-search-found.png
    say "the automatic search found a DCC32.EXE and started the build with it  [$shot_name]"
else
    shot "$main" 02-main-window-searching.png
    say "the automatic search runs: the status bar shows where it is  [$shot_name]"

    # "..." stops the search.  Should the search find a DCC32.EXE just now,
    # its build's wait dialog is up and takes the click instead.
    activate "$main"
    click "$main" $((browse_x + browse_w / 2)) $((browse_y + browse_h / 2))
    dialog=
    dialog_up() { dialog=$(window '^(Open|Find File)'); [ -n "$dialog" ] || build_window; }
    awaiting="the file dialog after a click on \"...\""
    await 10 dialog_up
    if [ -z "$dialog" ]; then
        say "the automatic search found a DCC32.EXE just then and started the build with it"
    else
        activate "$dialog"
        settled "$dialog"
        xdotool key ctrl+a
        xdotool type --delay 5 "$compiler"
        settled "$dialog"
        shot "$dialog" 03-open-dialog.png
        say "\"...\" stopped the search; the file dialog takes $compiler  [$shot_name]"
        xdotool key Return
        dialog_gone() { ! visible "$dialog"; }
        awaiting="the file dialog's closing with the typed path"
        await 10 dialog_gone

        settled "$main"
        shot "$main" 04-path-chosen.png
        activate "$main"
        click "$main" $((build_x + build_w / 2)) $((build_y + build_h / 2))
        say "the path is in the edit box; pressing \"Compile and run the Lumio EXE...\"  [$shot_name]"
    fi
fi

# The build, as it comes: the wait dialog, the box after the units, the
# question, Lumio.  A box before the wait dialog, or a second one, says what
# went wrong.
wait_dialog=
caption=
counts=0
answered=() # the boxes answered, by window id
answered() { [[ " ${answered[*]} " == *" $1 "* ]]; }
lumio=
units_compiled() { [ "$(find "$kit/Demo" -maxdepth 1 -iname '*.dcu' | wc -l)" -ge 6 ]; }
expect "the wait dialog"
limit=15
while [ -z "$lumio" ]; do
    case $awaiting in
        "Lumio's window") ;; # Forgeway ends as it starts Lumio
        *) forgeway_alive ;;
    esac
    overdue $limit && fail "it did not come within $limit s"

    if [ -z "$wait_dialog" ] && w=$(window '^Wait') && [ -n "$w" ]; then
        # Up for a second at least (until its first tick): no time to
        # wait for it to settle.  A picture taken as it went is dropped.
        wait_dialog=$w
        caption=$(title "$w")
        sleep 0.1
        shot "$w" 05-wait-dialog.png
        pictured="  [$shot_name]"
        visible "$w" || { rm -f "$shots/$shot_name"; pictured=" (gone before its picture)"; }
        say "the wait dialog is up: \"$caption\"; the six units compile$pictured"
        expect "the wait dialog's closing"
        limit=40 # it closes on its 31st tick at the latest
        continue
    fi
    if [ "$awaiting" = "the wait dialog's closing" ]; then
        # Each tick writes its count into the caption; the tick that
        # closes the dialog writes it once the dialog is gone.
        if visible "$wait_dialog"; then
            now=$(title "$wait_dialog")
            if [ -n "$now" ] && [ "$now" != "$caption" ]; then
                caption=$now
                counts=$((counts + 1))
                shot "$wait_dialog" 05-wait-dialog.png
                echo "           \"$now\""
            fi
            sleep 0.1
            continue
        fi
        if [ $counts -gt 0 ]; then
            say "the wait dialog counted to \"$caption\" and closed at its next tick"
        else
            say "the wait dialog closed at its first tick: the six units were compiled within a second"
        fi
        expect "a message box after the wait dialog"
        limit=15
    fi

    box=$(window "$box_title")
    if [ -n "$box" ] && ! answered "$box"; then
        settled "$box"
        # On a busy machine the wait dialog may come and go between two
        # looks; the compiled units in the kit tell that it was there.
        if [ "$awaiting" = "the wait dialog" ] && units_compiled; then
            say "the wait dialog came and went between two looks: the six units are compiled"
            expect "a message box after the wait dialog"
        fi
        case $awaiting in
            "the wait dialog")
                shot "$box" 05-failure.png
                fail "a message box came up instead: the build did not start ($shots/$shot_name)" ;;
            "a message box after the wait dialog")
                shot "$box" 06-message-box.png
                say "Forgeway says the units compiled and the project compiles next; OK  [$shot_name]"
                answered+=("$box")
                activate "$box"
                xdotool key Return
                expect "the question whether to run Lumio"
                limit=20 # Forgeway waits ten seconds at most for Lumio.EXE
                continue ;;
            "the question whether to run Lumio")
                shot "$box" 07-failure.png
                fail "Lumio.DPR did not compile: Forgeway said so in a message box ($shots/$shot_name)" ;;
            *)
                shot "$box" 08-failure.png
                fail "Forgeway could not start Lumio.EXE ($shots/$shot_name)" ;;
        esac
    fi

    question=$(window "$question_title")
    if [ -n "$question" ] && ! answered "$question"; then
        case $awaiting in
            "the wait dialog") fail "the question came before the wait dialog" ;;
            "the wait dialog's closing") fail "the question came while the wait dialog was up" ;;
        esac
        settled "$question"
        shot "$question" 07-run-question.png
        say "Forgeway asks whether to run Lumio.EXE; OK  [$shot_name]"
        answered+=("$question")
        activate "$question"
        xdotool key Return
        expect "Lumio's window"
        limit=15
        continue
    fi

    if [ "$awaiting" = "Lumio's window" ]; then
        lumio=$(window '^Lumio')
        [ -n "$lumio" ] && break
    fi
    sleep 0.05
done
settled "$lumio"
shot "$lumio" 08-lumio.png
say "Lumio runs: its window \"$(title "$lumio")\"  [$shot_name]"

expect "Forgeway's end"
while forgeway_runs && ! overdue 10; do sleep 0.1; done
forgeway_runs && fail "Forgeway still runs 10 s after starting Lumio"
status=0
wait "$forgeway_pid" || status=$?
forgeway_pid=
[ "$status" -eq 0 ] || fail "Forgeway ended with status $status"
expect "Lumio's closing its window"
while visible "$lumio" && ! overdue 15; do sleep 0.1; done
visible "$lumio" && fail "Lumio's window is still open after 15 s"
folder=$(head -n1 "$trace" 2>/dev/null || true)
[ -n "$folder" ] || fail "Lumio left no trace in $trace"
say "Forgeway ended (status 0); Lumio closed its window after its ten seconds"
echo
echo "Lumio ran, built with the units in $folder."
echo "Pictures of each step: $shots"
