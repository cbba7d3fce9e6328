#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one briefly (CI:
# under a minute in all), or for as long as you ask.
#
#   tools/fuzz.sh                 short run: 15 s per target, three targets
#   tools/fuzz.sh 3600            one hour per target
#
# The build is the preset "fuzz", in build-fuzz/.  A crash is written to
# build-fuzz/fuzz/artifacts; rerun it with
#   build-fuzz/fuzz/fuzz_finder build-fuzz/fuzz/artifacts/crash-...
# The corpora grow in build-fuzz/fuzz/corpus/<target> and are reused by later
# runs.  Needs the packages of "tools/install-deps.sh build test" (clang and
# its compiler-rt bring the fuzzer runtime and the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test
seconds=${1:-15}
# Absolute: a target may change its working folder.
build=$PWD/build-fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
targets=(fuzz_text fuzz_path_exists fuzz_finder)

out="$build/fuzz"
mkdir -p "$out/artifacts"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for t in "${targets[@]}"; do
    mkdir -p "$out/corpus/$t"
    echo "== $t: $seconds s"
    if ! "$out/$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$out/corpus/$t" \
        >"$out/$t.log" 2>&1; then
        tail -n 60 "$out/$t.log"
        echo "$t FAILED (log: $out/$t.log)"
        exit 1
    fi
    grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units' "$out/$t.log" || true
done
