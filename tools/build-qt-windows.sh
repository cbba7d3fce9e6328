#!/usr/bin/env bash
# Build Qt 6.4.2 (qtbase only) for 64-bit Windows with Debian's mingw-w64 and
# cache the result, so that Forgeway can be cross-built against Qt DLLs.
#
# Usage: tools/build-qt-windows.sh [--keep] [--check] [--help]
#
#   --keep   keep the scratch folder (unpacked source and build tree, about
#            1 GB) after a successful build; it is deleted otherwise.
#   --check  build nothing: exit 0 when the cache is there and current, 1
#            when it would be built.
#   --help   print this text.
#
# Environment:
#   FORGEWAY_QT_WINDOWS     install prefix of the cached Qt
#                           (default: $HOME/.cache/forgeway/qt-6.4.2-mingw64)
#   FORGEWAY_DEBIAN_MIRROR  Debian archive to fetch the source from
#                           (default: the first Debian mirror in /etc/apt)
#
# The source is Debian's qt6-base 6.4.2+dfsg-10 (checked against pinned
# SHA-256 sums, Debian's patches applied by dpkg-source).  The host tools (moc,
# rcc, uic) come from Debian's own Qt 6.4.2 (qt6-base-dev, qt6-base-dev-tools).
# Result: shared Release DLLs of Qt Core, Gui, Widgets and Test, the windows,
# offscreen and minimal platform plugins, and the MinGW runtime DLLs
# (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) in <prefix>/bin.
#
# Configure a program against it with
#   <prefix>/bin/qt-cmake -G Ninja -S src -B build \
#       -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64
#
# When <prefix>/bin/qt-cmake exists and <prefix>/.forgeway-stamp matches the
# build options of this script, the cache is reused and nothing is built.
# Otherwise the build (about 20 minutes on 2 cores) installs into
# <prefix>.tmp, which is renamed to <prefix> only once it is complete.
# For CMake the prefix is relocatable (it may be moved or copied elsewhere);
# the qmake and pkg-config files name <prefix> by its absolute path.
#
# This script installs no packages; it stops and names any that are missing.

set -euo pipefail

usage() { sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; }

keep=0
check=0
for arg in "$@"; do
    case $arg in
        --keep) keep=1 ;;
        --check) check=1 ;;
        -h|--help) usage; exit 0 ;;
        *) echo "build-qt-windows.sh: unknown argument '$arg' (try --help)" >&2; exit 2 ;;
    esac
done

start=$SECONDS
prefix=${FORGEWAY_QT_WINDOWS:-$HOME/.cache/forgeway/qt-6.4.2-mingw64}
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
prefix=${prefix%/}
tmp_prefix=$prefix.tmp
work=$prefix.work
stamp_name=.forgeway-stamp

triplet=x86_64-w64-mingw32
deb_version=6.4.2+dfsg-10
dsc=qt6-base_$deb_version.dsc
declare -A sha256=(
    [$dsc]=1b4b5c8610a553d4211fa81e268b1a3b0a6339ae5444fdb7e60d7616da651970
    [qt6-base_6.4.2+dfsg.orig.tar.xz]=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e
    [qt6-base_$deb_version.debian.tar.xz]=d1a2621b1acb1606db7274ccdb96654564cea04af836c5b86da94e150714d16c
)
# Used when the mirror no longer carries this exact version.
snapshot_mirror=https://snapshot.debian.org/archive/debian/20250520T000000Z
toolchain_name=forgeway-mingw-w64-x86_64.cmake

# Qt's build gets its own toolchain file rather than the project's
# cmake/mingw-w64-x86_64.cmake: that one links programs with -static (libstdc++
# inside the .exe), which must not leak into programs that share Qt's DLLs, and
# its path is not stable.  It is copied into the prefix and chain-loaded by
# Qt's qt.toolchain.cmake from there.
toolchain_text="# Written by Forgeway's tools/build-qt-windows.sh; chain-loaded by qt.toolchain.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
"

qt_options=(
    -G Ninja
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
    -DWARNINGS_ARE_ERRORS=OFF
    -DFEATURE_gui=ON
    -DFEATURE_widgets=ON
    -DFEATURE_testlib=ON
    -DFEATURE_freetype=ON # the offscreen platform plugin needs it
    -DFEATURE_network=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DINPUT_opengl=no
    -DFEATURE_vulkan=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_androiddeployqt=OFF
    -DFEATURE_zstd=OFF
    # Debian's source drops src/3rdparty/wintab, which tablet input needs.
    -DFEATURE_tabletevent=OFF
    # qwindows.dll does not link in 6.4 with direct2d off; direct2d1_1 is not needed.
    -DFEATURE_direct2d=ON
    -DFEATURE_direct2d1_1=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF
)
runtime_dlls=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)

stamp=$( { echo "qt6-base $deb_version"; printf '%s\n' "${qt_options[@]}" "${runtime_dlls[@]}"
           echo "$toolchain_text"; } | sha256sum | cut -d' ' -f1)

cache_is_current() {
    [[ -x $prefix/bin/qt-cmake && -f $prefix/$stamp_name ]] &&
        [[ $(<"$prefix/$stamp_name") == "$stamp" ]]
}

if ((check)); then
    cache_is_current
    exit
fi
if cache_is_current; then
    echo "== reusing cached Qt for Windows in $prefix"
    exit 0
fi

# --- needed tools -----------------------------------------------------------
missing=()
need() { # need PACKAGE PATH-OR-COMMAND...
    local pkg=$1 item; shift
    for item in "$@"; do
        if [[ $item == /* ]] && [[ -e $item ]]; then continue; fi
        if [[ $item != /* ]] && command -v "$item" >/dev/null; then continue; fi
        missing+=("$pkg"); return
    done
}
need g++-mingw-w64-x86-64-posix $triplet-g++-posix
need gcc-mingw-w64-x86-64-posix $triplet-gcc-posix
need binutils-mingw-w64-x86-64 $triplet-windres $triplet-strip
need wine64 /usr/lib/wine/wine64
need dpkg-dev dpkg-source
need ninja-build ninja
need cmake cmake
need qt6-base-dev /usr/lib/x86_64-linux-gnu/cmake/Qt6/Qt6Config.cmake
need qt6-base-dev-tools /usr/lib/qt6/libexec/moc /usr/lib/qt6/libexec/rcc /usr/lib/qt6/libexec/uic
need xz-utils xz
need curl curl
need perl perl
need util-linux flock
if ((${#missing[@]})); then
    echo "build-qt-windows.sh: missing package(s): ${missing[*]}" >&2
    sudo=; ((EUID == 0)) || sudo="sudo "
    echo "Install them with:  ${sudo}apt-get install ${missing[*]}" >&2
    exit 1
fi
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
if [[ $host_qt != 6.4.2+* ]]; then
    echo "build-qt-windows.sh: the host Qt (qt6-base-dev) is '$host_qt'; its tools must be Qt 6.4.2." >&2
    exit 1
fi

# --- one build at a time ----------------------------------------------------
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -n 9; then
    echo "== another build of this cache is running; waiting for it"
    flock 9
    if cache_is_current; then
        echo "== reusing cached Qt for Windows in $prefix"
        exit 0
    fi
fi

step_start=0
step_log=
begin() { # begin MESSAGE [LOG]
    echo "== $1"
    step_start=$SECONDS
    step_log=${2:-}
}
took() { echo "   took $(( SECONDS - step_start )) s"; }
on_error() {
    local rc=$?
    if [[ -n $step_log && -f $step_log ]]; then
        echo "---- last lines of $step_log" >&2
        tail -n 40 "$step_log" >&2
    fi
    echo "build-qt-windows.sh: failed (exit $rc); the scratch folder $work is kept" >&2
}
trap on_error ERR

# Qt's build must not pick up flags (for instance -Werror) meant for Forgeway.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS CMAKE_PREFIX_PATH CMAKE_TOOLCHAIN_FILE

mkdir -p "$work/downloads"

# --- source -------------------------------------------------------------------
begin "fetching source (qt6-base $deb_version)"
if [[ ! -d $work/src ]]; then
    mirror=${FORGEWAY_DEBIAN_MIRROR:-}
    if [[ -z $mirror ]]; then
        mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
                     /etc/apt/sources.list.d/*.sources 2>/dev/null |
                 grep -v '^[[:space:]]*#' | grep -oE 'https?://[^[:space:]]+' |
                 grep -E '/debian/?$' | head -n 1 || true)
        mirror=${mirror:-http://deb.debian.org/debian}
    fi
    for file in "${!sha256[@]}"; do
        dest=$work/downloads/$file
        if [[ -f $dest ]] && echo "${sha256[$file]}  $dest" | sha256sum -c --status; then
            continue
        fi
        fetched=0
        for base in "${mirror%/}" "$snapshot_mirror"; do
            url=$base/pool/main/q/qt6-base/$file
            echo "   $url"
            if curl -fsSL --retry 3 -o "$dest.download" "$url" &&
                echo "${sha256[$file]}  $dest.download" | sha256sum -c --status; then
                mv "$dest.download" "$dest"
                fetched=1
                break
            fi
            echo "   (not available or wrong checksum there)"
        done
        rm -f "$dest.download"
        if ((!fetched)); then
            echo "build-qt-windows.sh: could not download $file" >&2
            exit 1
        fi
    done
    rm -rf "$work/src.new"
    # Applies Debian's patches; the pinned checksums stand in for the signature.
    (cd "$work" && dpkg-source -x "downloads/$dsc" src.new) >"$work/unpack.log" 2>&1 ||
        { cat "$work/unpack.log" >&2; exit 1; }
    mv "$work/src.new" "$work/src"
else
    echo "   reusing unpacked source in $work/src"
fi
took

# --- configure ----------------------------------------------------------------
build=$work/build
# A build tree made with other options is not reused.
if [[ -d $build && $(cat "$build/.forgeway-options" 2>/dev/null) != "$stamp" ]]; then
    rm -rf "$build"
fi
mkdir -p "$build"
echo "$stamp" >"$build/.forgeway-options"
printf '%s' "$toolchain_text" >"$work/$toolchain_name"

begin "configuring (log: $work/configure.log)" "$work/configure.log"
cmake -S "$work/src" -B "$build" "${qt_options[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$work/$toolchain_name" \
    -DCMAKE_INSTALL_PREFIX="$tmp_prefix" >"$work/configure.log" 2>&1
t_configure=$(( SECONDS - step_start )); took

begin "building (this takes about 20 minutes on 2 cores; log: $work/build.log)" "$work/build.log"
cmake --build "$build" --parallel "$(nproc)" >"$work/build.log" 2>&1
t_build=$(( SECONDS - step_start )); took

# --- install --------------------------------------------------------------------
begin "installing" "$work/install.log"
rm -rf "$tmp_prefix"
cmake --install "$build" --strip >"$work/install.log" 2>&1

# Make the chain-loaded toolchain file relative to qt.toolchain.cmake, so that
# the prefix keeps working after the rename below (or any later move).
qt_cmake_dir=$tmp_prefix/lib/cmake/Qt6
printf '%s' "$toolchain_text" >"$qt_cmake_dir/$toolchain_name"
sed -i "s|^set(__qt_initially_configured_toolchain_file \".*\")\$|set(__qt_initially_configured_toolchain_file \"\${CMAKE_CURRENT_LIST_DIR}/$toolchain_name\")|" \
    "$qt_cmake_dir/qt.toolchain.cmake"
grep -q "CMAKE_CURRENT_LIST_DIR}/$toolchain_name" "$qt_cmake_dir/qt.toolchain.cmake" || {
    echo "build-qt-windows.sh: could not point qt.toolchain.cmake at $toolchain_name" >&2
    exit 1
}

# The MinGW runtime that Qt's DLLs (and programs built against them) need.
for dll in "${runtime_dlls[@]}"; do
    src=$(realpath -e "$($triplet-g++-posix -print-file-name="$dll")" 2>/dev/null) || {
        echo "build-qt-windows.sh: $triplet-g++-posix does not know $dll" >&2
        exit 1
    }
    $triplet-strip --strip-unneeded -o "$tmp_prefix/bin/$dll" "$src"
done

# The CMake files and qt-cmake find everything relative to themselves.  The
# qmake and pkg-config files (.pri, .prl, .pc, target_qt.conf) hold absolute
# paths: point those at the final prefix, and drop the build folder from the
# .prl files as Debian's own packaging does.
{ grep -rlIZF -e "$tmp_prefix" "$tmp_prefix" || true; } | xargs -0 -r sed -i "s|$tmp_prefix|$prefix|g"
sed -i '/^QMAKE_PRL_BUILD_DIR/d' "$tmp_prefix"/lib/*.prl
# Left: qt_ext_{freetype,libjpeg,libpng}.pri, which name the bundled sources'
# include folders for qmake (private use only).  Nothing else may still point
# at the scratch folder or the temporary prefix.
if leftovers=$(grep -rlIF -e "$work" -e "$tmp_prefix" "$tmp_prefix" |
                   grep -v '/qt_ext_[a-z]*\.pri$'); then
    echo "build-qt-windows.sh: these installed files name build-time paths:" >&2
    echo "$leftovers" >&2
    exit 1
fi

echo "$stamp" >"$tmp_prefix/$stamp_name"
if [[ -e $prefix ]]; then
    rm -rf "$prefix.old"
    mv "$prefix" "$prefix.old"
fi
mv "$tmp_prefix" "$prefix"
rm -rf "$prefix.old"
t_install=$(( SECONDS - step_start )); took

trap - ERR
if ((keep)); then
    echo "== keeping the scratch folder $work"
else
    begin "removing the scratch folder $work"
    rm -rf "$work"
    took
fi

total=$(( SECONDS - start ))
echo "== Qt for Windows installed in $prefix ($(du -sh "$prefix" | cut -f1))"
echo "== configure ${t_configure} s, build ${t_build} s, install ${t_install} s;" \
     "total $((total / 60)) min $((total % 60)) s"
