#!/usr/bin/env bash
# Builds the file finder's tests and its fuzz target with clang under
# ThreadSanitizer, in a build folder of its own, and runs them: the host
# layer's tests, FileFindTest and HostileTreeTest (the scan reads folders
# ahead on helper threads), then the finder's fuzz target for a while.  Any
# report fails the run.  Qt is not built with ThreadSanitizer, so only these
# tests run here: their helper threads never touch Qt.
#
#   tools/test-tsan.sh [seconds of fuzzing, default 15]
#
# The build is the preset "tsan", in build-tsan/.  Needs the packages of
# "tools/install-deps.sh build test".
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test
root=$PWD
seconds=${1:-15}
build=$root/build-tsan

cmake --preset tsan >/dev/null
cmake --build --preset tsan

# die_after_fork=0: the unreadable-folder case scans in a forked child (to drop
# root's rights) while Qt Test's watchdog thread runs in the parent; the
# child then starts the lookahead's helpers, which the runtime allows only so.
export TSAN_OPTIONS="halt_on_error=1:die_after_fork=0:second_deadlock_stack=1:suppressions=$root/tools/tsan.supp"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 900 \
    -R '^(HostTest|FileFindTest)$')
# Every hostile tree but the volume cases: those start their probe with
# QProcess, whose clone() the ThreadSanitizer runtime of clang 14 cannot
# follow (it stops at a CHECK in its fork handling, before any of our code
# runs in the child).  The probe's scan is the finder these cases run.
echo "== HostileTreeTest under ThreadSanitizer (all but the volume cases)"
functions=$("$build/tests/HostileTreeTest" -functions | sed 's/()$//' |
    grep -Ev '^(theScanStaysOnItsVolume|aSubvolumeIsPartOfItsMount)$')
# shellcheck disable=SC2086
QT_QPA_PLATFORM=offscreen "$build/tests/HostileTreeTest" $functions

out="$build/fuzz"
mkdir -p "$out/artifacts" "$out/corpus/fuzz_finder"
# The corpus that tools/fuzz.sh grew, when there is one, is run first.
seeds=()
[ -d build-fuzz/fuzz/corpus/fuzz_finder ] && seeds+=(build-fuzz/fuzz/corpus/fuzz_finder)
echo "== fuzz_finder under ThreadSanitizer: $seconds s"
if ! "$out/fuzz_finder" -max_total_time="$seconds" -max_len=4096 -timeout=60 \
    -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$out/corpus/fuzz_finder" \
    "${seeds[@]}" >"$out/fuzz_finder.log" 2>&1; then
    tail -n 60 "$out/fuzz_finder.log"
    echo "fuzz_finder FAILED under ThreadSanitizer (log: $out/fuzz_finder.log)"
    exit 1
fi
grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units' "$out/fuzz_finder.log" || true
