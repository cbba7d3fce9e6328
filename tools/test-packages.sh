#!/usr/bin/env bash
# Packs the kit as a user receives it and starts both programs from the
# unpacked package, with nothing of the build on their search path (the smoke
# test, tests/smoke, with FORGEWAY_SMOKE_DIR):
#
#   - the Linux .tar.gz of build/ (the default preset), unpacked into an
#     empty folder; Qt comes from the system's packages;
#   - the Windows .zip of build-windows-qt/ (the windows-qt preset), unpacked
#     into an empty folder and run under Wine on a new prefix; Qt's DLLs and
#     plugins come from the package.  Without that build, one line says that
#     it did not run.
#
# Both builds must be there already (tools/build-and-test.sh makes them).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
forgeway_need build test

work=$(mktemp -d /tmp/forgeway-packages.XXXXXX)
trap 'rm -rf "$work"' EXIT

# unpack BUILD GENERATOR: packs BUILD's kit and unpacks it into an empty
# folder; prints the package's top folder.
unpack() {
    local build=$1 generator=$2 out=$work/$1-out dest=$work/$1-unpacked package
    cpack --config "$build/CPackConfig.cmake" -G "$generator" -B "$out" >/dev/null
    package=$(find "$out" -maxdepth 1 -name 'Forgeway-*' -type f | head -n1)
    mkdir "$dest"
    (cd "$dest" && cmake -E tar xf "$package")
    echo "   $(basename "$package"): $(find "$dest" -type f | wc -l) files" >&2
    find "$dest" -mindepth 1 -maxdepth 1 -type d
}

echo "== The Linux package, unpacked and started"
top=$(unpack build TGZ)
for name in Forgeway Forgeway3 forgeway-drain Bin/DCC32.EXE Demo Delphi-3 Delphi-4; do
    [ -e "$top/$name" ] || { echo "the Linux package has no $name" >&2; exit 1; }
done
FORGEWAY_SMOKE_DIR=$top QT_QPA_PLATFORM=offscreen build/tests/SmokeTest

if [ ! -f build-windows-qt/CPackConfig.cmake ]; then
    echo "== NOT RUN: the Windows package (no build-windows-qt/; tools/test-windows.sh makes it)"
    exit 0
fi
echo "== The Windows package, unpacked and started under Wine on a new prefix"
top=$(unpack build-windows-qt ZIP)
for name in Forgeway.exe Forgeway3.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    platforms/qwindows.dll Demo Delphi-3 Delphi-4; do
    [ -e "$top/$name" ] || { echo "the Windows package has no $name" >&2; exit 1; }
done
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
qt_bin=${FORGEWAY_QT_WINDOWS:-$HOME/.cache/forgeway/qt-6.4.2-mingw64}/bin
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY= \
    LC_ALL=C.UTF-8
"$wine" wineboot -i >/dev/null 2>&1
# The smoke test itself takes Qt from the build's cache; the programs it
# starts see only the package and the system folders.
WINEPATH="Z:$qt_bin" WINEQT_FORCE_STDERR_LOGGING=1 FORGEWAY_SMOKE_DIR="Z:$top" \
    "$wine" build-windows-qt/tests/SmokeTest.exe
