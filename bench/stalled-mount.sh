#!/usr/bin/env bash
# A scan that meets a folder that does not answer: a FUSE mount (bindfs)
# whose daemon is stopped, so that every access to it blocks until it is
# continued.  Runs the benchmark's scan process three times over a tree of
# 200 small folders with the mount among them:
#
#   reached   the walk reaches the mount, which answers after 5 s;
#   plain     the same, every folder read on the GUI thread (no read-ahead);
#   match     DCC32.EXE lies in the first folder, and the mount answers only
#             after 20 s, while a helper that read ahead is held in it.
#
# and prints each RESULT line with the process's whole run time.  Needs root
# (mount) and bindfs; builds as bench/run.sh does.
#
#   bash bench/stalled-mount.sh
set -euo pipefail

src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FORGEWAY_BENCH_BUILD:-/tmp/forgeway-bench/build}"
if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" forgeway_bench >/dev/null
command -v bindfs >/dev/null || { echo "bindfs not found: apt-get install bindfs" >&2; exit 2; }

base=/tmp/forgeway-stalled
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$base/runtime"
daemon=""
cleanup() {
    if [[ -n "$daemon" ]]; then kill -CONT "$daemon" 2>/dev/null || true; fi
    umount -l "$base/root/m" 2>/dev/null || true
}
trap cleanup EXIT

run() { # name helpers match stall-seconds
    cleanup
    rm -rf "$base" && mkdir -p "$base/source/x" "$base/root/m" "$base/runtime"
    chmod 700 "$base/runtime"
    for i in $(seq 200); do mkdir -p "$base/root/a$i/b/c"; done
    if [[ "$3" == 1 ]]; then touch "$base/root/$(ls -U "$base/root" | head -1)/b/c/DCC32.EXE"; fi
    bindfs "$base/source" "$base/root/m"
    daemon="$(pgrep -n -f "bindfs $base/source")"
    kill -STOP "$daemon"
    (sleep "$4" && kill -CONT "$daemon") &
    local t0=$EPOCHREALTIME
    local line
    line="$("$build/bench/forgeway_bench" scan "$base/root" --helpers "$2" --settle-ms 0 2>/dev/null |
        grep RESULT)"
    printf '%-8s process_s=%.2f %s\n' "$1" "$(awk "BEGIN { print $EPOCHREALTIME - $t0 }")" "${line#RESULT }"
    wait
}

run reached -2 0 5
run plain -1 0 5
run match -2 1 20
