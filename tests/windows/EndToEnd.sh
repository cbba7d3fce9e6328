#!/usr/bin/env bash
# The end-to-end run of the Windows build: the real Forgeway.exe under Wine,
# with the windows platform on a private virtual X server (Xvfb, openbox),
# played as a user would with xdotool (keys to the Wine windows; the text of
# a message box read through the clipboard, where Wine hands Windows'
# clipboard to X).
#
#   EndToEnd.sh --build DIR --compiler DCC32.EXE --lumio LUMIO.BIN --work DIR
#               [--wine LOADER] [--pictures DIR]
#
#   --build     the Windows build folder: Forgeway.exe, Qt's DLLs and plugins,
#               Demo\, Delphi-3\, Delphi-4\
#   --compiler  the stand-in DCC32.EXE (tests/windows/StandInDcc32.cpp)
#   --lumio     the Windows Lumio it copies as Lumio.EXE
#   --work      a folder of the run's own: the Wine prefix (made once, about
#               700 MB), its drives and the pictures
#   --pictures  where the pictures of the windows go (default <work>/pictures)
#
# The prefix's drives are C: (Wine's own Windows) and three small trees; there
# is no Z:, so the walk does not cover the Linux root:
#   D:\Users\<a Chinese name>\   a profile with three links back to itself, as
#                                the old "Application Data" junction: a walk
#                                that entered them would never end
#   E:\<Chinese> Tools\Borland Delphi 4\Bin\DCC32.EXE
#                                the stand-in, padded to 430080 bytes ("Delphi 3")
#   F:\Lumio Kit\                Forgeway.exe, its DLLs and the kit
# Wine 8 makes no junctions (CreateSymbolicLinkW does nothing, "mklink /J"
# neither, FSCTL_SET_REPARSE_POINT is not supported); it lists a Unix symbolic
# link to a folder as a reparse point, which is what the links are.
#
# First run: the kit's Lumio.DPR does not compile; the failure box must hold,
# in its details, what the compiler wrote to standard output and error.
# Second run: Forgeway finds the compiler by itself, picks "Delphi 3" by its
# size (the window offers "Delphi 4" first), runs the seven compiles with the
# Windows command lines, counts in the wait dialog, asks both questions and
# starts Lumio.EXE.  Exit status 0 only if all of it happened.
set -euo pipefail

build= compiler= lumio= work= pictures= wine=/usr/lib/wine/wine64
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --compiler) compiler=$2; shift 2 ;;
        --lumio) lumio=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --wine) wine=$2; shift 2 ;;
        --pictures) pictures=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "EndToEnd.sh: unknown argument '$1' (try --help)" >&2; exit 2 ;;
    esac
done
[ -n "$build" ] && [ -n "$compiler" ] && [ -n "$lumio" ] && [ -n "$work" ] ||
    { echo "EndToEnd.sh: --build, --compiler, --lumio and --work are needed" >&2; exit 2; }
. "$(dirname "$0")/../../tools/packages.sh"
forgeway_need windows
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
build=$(absolute "$build") compiler=$(absolute "$compiler") lumio=$(absolute "$lumio")
work=$(absolute "$work")
pictures=$(absolute "${pictures:-$work/pictures}")
mkdir -p "$work" "$pictures"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
prefix=$WINEPREFIX
wineserver=$(dirname "$wine")/wineserver
for f in "$build/Forgeway.exe" "$compiler" "$lumio"; do
    [ -f "$f" ] || { echo "EndToEnd.sh: $f is missing; build first" >&2; exit 1; }
done

# --- what the run prints ------------------------------------------------------
start=$SECONDS
say() { echo "[$(printf '%3d' $((SECONDS - start))) s] $*"; }
pids=()
forgeway=
cleanup() {
    set +e
    [ -n "$forgeway" ] && kill "$forgeway" 2>/dev/null
    # Ends whatever still runs in the run's prefix (Lumio, Wine's own services).
    timeout 20 "$wineserver" -k 2>/dev/null
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT
fail() {
    say "FAILED: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        import -silent -window root "$pictures/failure.png" 2>/dev/null &&
            echo "    the whole screen then: $pictures/failure.png" >&2
        echo "    windows on the screen:" >&2
        for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
            echo "      \"$(xdotool getwindowname "$w" 2>/dev/null)\"" >&2
        done
    fi
    [ -s "$work/forgeway.log" ] && tail -n 15 "$work/forgeway.log" | sed 's/^/    | /' >&2
    exit 1
}

# --- the Wine prefix and its drives -------------------------------------------
# Wine reads the Unix names as UTF-8 in a UTF-8 locale, and gives Windows
# programs a Western ANSI code page (1252) in this one: Chinese is beyond it.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset WAYLAND_DISPLAY
# Nothing of an earlier run may stay in the prefix: Wine's desktop process
# keeps the display it was started with.
"$wineserver" -k 2>/dev/null || true
if [ ! -f "$prefix/system.reg" ]; then
    say "making the Wine prefix $prefix (once)"
    DISPLAY= "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot: $(tail -n 3 "$work/wineboot.log")"
    "$wineserver" -w
fi
drives=$work/drives
user=$'\xe6\x9d\x8e\xe9\x9b\xb7'        # a user named in Chinese
tools=$'\xe5\xbc\x80\xe5\x8f\x91 Tools' # "Development Tools", half in Chinese
bin="$drives/e/$tools/Borland Delphi 4/Bin"
kit="$drives/f/Lumio Kit"
rm -rf "$drives"
mkdir -p "$drives/d/Users/$user/AppData/Roaming" "$bin" "$kit"
for link in "Application Data" "Local Settings" "My Documents"; do
    ln -s . "$drives/d/Users/$user/$link"
done
cp "$compiler" "$bin/DCC32.EXE"
size=$(stat -c %s "$bin/DCC32.EXE")
[ "$size" -le 430080 ] || fail "the stand-in is $size bytes, more than the 430080 of Delphi 3's"
truncate -s 430080 "$bin/DCC32.EXE" # padding after the program; Windows runs it as it is
cp "$lumio" "$bin/LUMIO.BIN"
cp -r "$build"/Forgeway.exe "$build"/*.dll "$build/platforms" "$build/Demo" "$build/Delphi-3" \
    "$build/Delphi-4" "$kit/"
[ -d "$build/styles" ] && cp -r "$build/styles" "$kit/"
rm -f "$kit"/Demo/*.DCU "$kit"/Demo/Lumio.EXE
set_drives() {
    find "$prefix/dosdevices" -maxdepth 1 -name '?:' ! -name 'c:' -exec rm -f {} +
    ln -s "$drives/d" "$prefix/dosdevices/d:"
    ln -s "$drives/e" "$prefix/dosdevices/e:"
    ln -s "$drives/f" "$prefix/dosdevices/f:"
}
set_drives
drive_letters() { (cd "$prefix/dosdevices" && ls -d ?: | tr -d ':' | tr '\n' ' '); }
say "drives: $(drive_letters)(no Z:); the compiler is E:\\$tools\\Borland Delphi 4\\Bin\\DCC32.EXE"

# --- the screen ------------------------------------------------------------------
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 150); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb gave no display: $(tail -n 3 "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
for _ in $(seq 150); do xprop -root >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 150); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true; }
title() { xdotool getwindowname "$1" 2>/dev/null || true; }
visible() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
forgeway_runs() { [ -n "$forgeway" ] && kill -0 "$forgeway" 2>/dev/null; }
# await SECONDS WHAT COMMAND...: until the command succeeds.
await() {
    local seconds=$1 what=$2 until=$((SECONDS + $1))
    shift 2
    until "$@"; do
        [ $SECONDS -lt $until ] || fail "$what did not come within $seconds s"
        sleep 0.2
    done
}
# shot WINDOW NAME: the window with its frame.
shot() {
    local info x y w h l r t b frame
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    eval "$(awk '/Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}
                 /Width:/ {print "w=" $2} /Height:/ {print "h=" $2}' <<<"$info")"
    frame=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' || true)
    if [ -n "$frame" ]; then
        IFS=', ' read -r l r t b <<<"$frame"
        x=$((x - l)) y=$((y - t)) w=$((w + l + r)) h=$((h + t + b))
    fi
    import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage -strip "$pictures/$2" || true
}
# press WINDOW KEY...: the keys, as typed into that window.
press() {
    local w=$1
    shift
    xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers "$@"
}
# box_text WINDOW: the message box's text, details included, as Ctrl+C copies it.
box_text() {
    printf '' | xclip -selection clipboard
    press "$1" ctrl+c
    local text=
    for _ in $(seq 25); do
        text=$(xclip -o -selection clipboard 2>/dev/null || true)
        [ -n "$text" ] && break
        sleep 0.2
    done
    printf '%s' "$text" | tr -d '\r'
}

start_forgeway() {
    set_drives
    (cd "$kit" && exec "$wine" 'F:\Lumio Kit\Forgeway.exe') >"$work/forgeway.log" 2>&1 &
    forgeway=$!
}
ended() { ! forgeway_runs; }

main_title='This application create the Lumio.EXE file'
expected_line() { # the command line the compiler must have been given for a source
    printf '"E:\\%s\\Borland Delphi 4\\Bin\\DCC32.EXE" "F:\\Lumio Kit\\Demo\\%s" "-UF:\\Lumio Kit\\Delphi-3"' \
        "$tools" "$1"
}

# --- first run: the project does not compile ------------------------------------
cp "$kit/Demo/Lumio.DPR" "$work/Lumio.DPR.good"
printf '\nthis is not Pascal\n' >>"$kit/Demo/Lumio.DPR"
bad_line=$(grep -n 'this is not Pascal' "$kit/Demo/Lumio.DPR" | cut -d: -f1)
say "first run: Lumio.DPR has a line that is not Pascal"
start_forgeway
main=
main_up() { main=$(window "^$main_title\$"); [ -n "$main" ]; }
await 60 "Forgeway's main window" main_up
say "Forgeway.exe is up: \"$main_title\""
# The picture of the main window: once the status bar shows the search, before
# the build's first window comes up over it.
status_bar() {
    local w h
    eval "$(xwininfo -id "$main" 2>/dev/null | awk '/Width:/ {print "w=" $2} /Height:/ {print "h=" $2}')"
    { import -silent -window "$main" -crop "${w}x18+0+$((h - 18))" rgb:- 2>/dev/null || true; } | md5sum
}
searching_shot() {
    local first now
    first=$(status_bar)
    for _ in $(seq 60); do
        sleep 0.05
        [ -n "$(window '^Wait')" ] && return 1
        now=$(status_bar)
        if [ "$now" != "$first" ]; then
            shot "$main" windows-main-window.png
            [ -z "$(window '^Wait')" ] && return 0
        fi
    done
    return 1
}
searching_shot && say "the search runs  [windows-main-window.png]" ||
    say "(the build began before a picture of the search: none taken)"
box=
box_up() { box=$(window '^Forgeway$'); [ -n "$box" ] || { forgeway_runs || fail "Forgeway ended"; false; }; }
await 120 "the \"*.Pas compile\" box (after the search and the wait dialog)" box_up
text=$(box_text "$box")
[[ $text == *"*.Pas compile. Click OK to continue and compile Lumio.DPR!"* ]] ||
    fail "the first box says: $text"
say "the units compiled: \"*.Pas compile...\"; OK"
press "$box" Return
gone() { ! visible "$1"; }
await 20 "the box's closing" gone "$box"
failure_up() { box_up && [ "$box" != "$1" ]; }
first_box=$box
await 30 "the \"Could not compile Lumio.DPR!\" box" failure_up "$first_box"
text=$(box_text "$box")
printf '%s\n' "$text" >"$work/failure-box.txt"
for want in "Could not compile Lumio.DPR!" \
    "> E:\\$tools\\Borland Delphi 4\\Bin\\DCC32.EXE F:\\Lumio Kit\\Demo\\Lumio.DPR -UF:\\Lumio Kit\\Delphi-3" \
    "Forgeway stand-in for DCC32.EXE (Windows)" \
    "stand-in: no Delphi here, the output is made up" \
    "Lumio.DPR($bad_line) Error: Statement expected but identifier 'this' found" \
    "1 error."; do
    [[ $text == *"$want"* ]] || fail "the failure box's details lack \"$want\"; they say:
$text"
done
say "the failure box holds the command line and what the compiler wrote to its output and error"
press "$box" Return
await 20 "the failure box's closing" gone "$box"
press "$main" alt+F4
await 30 "Forgeway's end after its window closed" ended
wait "$forgeway" || true
forgeway=

# --- second run: the whole build --------------------------------------------------
rm -rf "$kit"/Demo/*.DCU "$kit"/Demo/Lumio.* "$bin/runs"
cp "$work/Lumio.DPR.good" "$kit/Demo/Lumio.DPR"
say "second run: the kit as it came"
start_forgeway
await 60 "Forgeway's main window" main_up
say "Forgeway.exe is up and searches"
wait_dialog=
wait_up() { wait_dialog=$(window '^Wait'); [ -n "$wait_dialog" ] || { forgeway_runs || fail "Forgeway ended"; false; }; }
await 120 "the wait dialog (the search finding the compiler)" wait_up
counts=()
caption=$(title "$wait_dialog")
while visible "$wait_dialog"; do
    now=$(title "$wait_dialog")
    if [ -n "$now" ] && [ "$now" != "$caption" ]; then
        caption=$now
        counts+=("$now")
        [ ${#counts[@]} -eq 1 ] && shot "$wait_dialog" windows-wait-dialog.png
    fi
    sleep 0.1
done
[ ${#counts[@]} -ge 1 ] || fail "the wait dialog closed without counting"
say "the wait dialog counted: ${counts[*]}  [windows-wait-dialog.png]"
await 60 "the \"*.Pas compile\" box" box_up
text=$(box_text "$box")
[[ $text == *"*.Pas compile."* ]] || fail "the first box says: $text"
say "first question: \"*.Pas compile...\"; OK"
press "$box" Return
await 20 "the box's closing" gone "$box"
question=
question_up() { question=$(window '^Information$'); [ -n "$question" ] || { forgeway_runs || fail "Forgeway ended"; false; }; }
await 40 "the question before Lumio starts" question_up
text=$(box_text "$question")
[[ $text == *"OK. Compile successfully completed! Now run the Lumio.EXE"* ]] ||
    fail "the question says: $text"
say "second question: \"OK. Compile successfully completed! Now run the Lumio.EXE\"; OK"
press "$question" Return
lumio_window=
lumio_up() { lumio_window=$(window '^Lumio - '); [ -n "$lumio_window" ]; }
await 60 "Lumio's window" lumio_up
sleep 0.5
shot "$lumio_window" windows-lumio.png
say "Lumio runs: \"$(title "$lumio_window")\"  [windows-lumio.png]"
[ "$(title "$lumio_window")" = "Lumio - Delphi-3" ] ||
    fail "Lumio was built with other units: \"$(title "$lumio_window")\" (Delphi-3 goes with 430080 bytes)"
[ -f "$kit/Demo/Lumio.RAN" ] || fail "Lumio did not write Lumio.RAN"
await 30 "Forgeway's end once Lumio started" ended
status=0
wait "$forgeway" || status=$?
forgeway=
[ $status -eq 0 ] || fail "Forgeway ended with status $status"

# The seven compiles, as Windows handed them to the compiler.
runs=("$bin"/runs/*.txt)
[ ${#runs[@]} -eq 7 ] || fail "${#runs[@]} compiles ran, not 7"
expected=()
for source in Cove.Pas Fable.Pas Mint.Pas Orb.Pas Quillset.Pas Brook.Pas Lumio.DPR; do
    expected+=("$(expected_line "$source")")
done
got=$(for r in "${runs[@]}"; do head -n1 "$r"; done | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
[ "$got" = "$want" ] || fail "the compilers' command lines differ:
$(diff <(echo "$want") <(echo "$got") || true)"
say "seven compiles, each with: $(expected_line Cove.Pas)"
code_page=$(sed -n 's/^ANSI code page //p' "${runs[0]}")
[ "$code_page" = 1252 ] || fail "the compiler ran with the ANSI code page '$code_page', not 1252"
[ "$(drive_letters)" = "c d e f " ] || fail "the prefix's drives changed: $(drive_letters)"
say "done: Lumio ran, built by the stand-in found on E: with the units of Delphi-3"
