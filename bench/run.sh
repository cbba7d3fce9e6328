#!/usr/bin/env bash
# Builds Forgeway and its scan benchmark (RelWithDebInfo) if needed, starts a
# private X server, and runs the benchmark: with a cold cache first (as root;
# it drops the page cache before each run), then warm, under the X server and
# offscreen.  The trees are generated once under /tmp/forgeway-bench and reused.
#
#   bash bench/run.sh [--rounds N] [--mode both|warm|cold] [--against BUILD_FOLDER|GIT_REF]
#
# --against runs another build's scan process in the same rounds: a build
# folder (built here if needed), or a git ref, whose files are exported into
# /tmp/forgeway-against-<commit>/src and built beside it (no git worktree).
#
# FORGEWAY_BENCH_BUILD names the build folder (default /tmp/forgeway-bench/build).
set -euo pipefail

src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FORGEWAY_BENCH_BUILD:-/tmp/forgeway-bench/build}"
rounds=3
mode=both
against=""
while [[ $# -ge 2 ]]; do
    case "$1" in
    --rounds) rounds="$2" ;;
    --mode) mode="$2" ;;
    --against) against="$2" ;;
    *) echo "usage: bash bench/run.sh [--rounds N] [--mode both|warm|cold] [--against BUILD|REF]" >&2; exit 2 ;;
    esac
    shift 2
done

mkdir -p /tmp/forgeway-bench
if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" forgeway_bench Forgeway >/dev/null

other=""
if [[ -n "$against" ]]; then
    if [[ -d "$against" ]]; then
        other="$against"
    else
        commit="$(git -C "$src" rev-parse --verify "$against^{commit}")"
        other="/tmp/forgeway-against-$commit/build"
        if [[ ! -f "$other/build.ninja" ]]; then
            rm -rf "/tmp/forgeway-against-$commit/src"
            mkdir -p "/tmp/forgeway-against-$commit/src"
            git -C "$src" archive "$commit" | tar -x -C "/tmp/forgeway-against-$commit/src"
            cmake -S "/tmp/forgeway-against-$commit/src" -B "$other" -G Ninja \
                -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        fi
    fi
    ninja -C "$other" forgeway_bench Forgeway >/dev/null
fi

# A private X server on the first free display from :91 on.
display=""
xvfb_pid=""
if command -v Xvfb >/dev/null; then
    for n in $(seq 91 120); do
        if [[ ! -e "/tmp/.X$n-lock" && ! -e "/tmp/.X11-unix/X$n" ]]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            display=":$n"
            for _ in $(seq 50); do
                [[ -e "/tmp/.X11-unix/X$n" ]] && break
                sleep 0.1
            done
            break
        fi
    done
else
    echo "Xvfb not found: measuring offscreen only" >&2
fi
cleanup() { if [[ -n "$xvfb_pid" ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/forgeway-bench/runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
args=(run --rounds "$rounds" --mode "$mode" --base /tmp/forgeway-bench)
if [[ -n "$display" ]]; then args+=(--display "$display"); fi
if [[ -n "$other" ]]; then args+=(--against "$other/bench/forgeway_bench"); fi
"$build/bench/forgeway_bench" "${args[@]}"
