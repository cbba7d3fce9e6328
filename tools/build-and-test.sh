#!/usr/bin/env bash
# Builds Forgeway and runs every test, headless: the Qt Test suite, the
# Windows build under Wine (tools/test-windows.sh: the host layer always; the
# programs, their Qt Test suite and the end-to-end run when Qt for Windows is
# in its cache, and otherwise one line that says they did not run), the whole
# suite again under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer, a short fuzz run, and the file finder's tests
# and fuzz target under ThreadSanitizer (the scan reads folders ahead on
# helper threads).  Installs the Debian packages they need first (apt-get, as
# root or through sudo); each build has its preset in CMakePresets.json.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh build test windows
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

echo "== Windows (mingw-w64, Wine)"
bash tools/test-windows.sh --if-qt-cached
echo "== Sanitizers"
bash tools/test-sanitizers.sh
echo "== Fuzzing"
bash tools/fuzz.sh 15
echo "== ThreadSanitizer (the file finder)"
bash tools/test-tsan.sh 15
