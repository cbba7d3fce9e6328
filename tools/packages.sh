# The Debian 12 packages Forgeway needs, by what they are for.  Sourced by
# tools/install-deps.sh, which installs them, and by the scripts that use
# them, which only check (forgeway_need) and name what is missing.

# Building Forgeway and the sample kit (Free Pascal behind the stand-in
# compiler; Lumio draws with Xlib), running it, and the faces its windows
# name: Liberation Sans and Serif stand in for MS Sans Serif, Arial and
# Times New Roman.
forgeway_packages_build=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-base-dev-tools libgl-dev
    fp-compiler fp-units-base libx11-dev
    fontconfig fonts-liberation
)
# The tour: a private virtual screen, a small window manager for the title
# bars, a stand-in user (xdotool) and a camera (ImageMagick, xwininfo, xprop).
forgeway_packages_tour=(xvfb xauth x11-utils xdotool openbox imagemagick)
# The whole test run: the suite (Lumio's window on a virtual screen; a btrfs
# volume for the scan's volume check), the Windows host layer under Wine, the
# fuzzers' clang and its runtime, and llvm-symbolizer, without which the
# sanitizers' reports name no function and ThreadSanitizer's suppressions,
# which go by name, cannot match.
forgeway_packages_test=(
    xvfb xauth btrfs-progs
    g++-mingw-w64-x86-64-posix wine64
    clang libclang-rt-14-dev llvm
)
# The Windows build and its tests: mingw-w64 and Wine; Debian's source of Qt
# for tools/build-qt-windows.sh (dpkg-source, curl, xz); the end-to-end run
# of Forgeway.exe under Wine on a virtual screen, with the clipboard (xclip)
# to read a message box's text.
forgeway_packages_windows=(
    g++-mingw-w64-x86-64-posix wine64
    dpkg-dev curl xz-utils
    xvfb xauth openbox xdotool x11-utils imagemagick xclip
)
# Continuous integration: the format check.
forgeway_packages_ci=(clang-format)

# forgeway_packages SET... : prints the packages of the named sets.
forgeway_packages() {
    local set
    for set in "$@"; do
        case $set in
            build) printf '%s\n' "${forgeway_packages_build[@]}" ;;
            tour) printf '%s\n' "${forgeway_packages_tour[@]}" ;;
            test) printf '%s\n' "${forgeway_packages_test[@]}" ;;
            windows) printf '%s\n' "${forgeway_packages_windows[@]}" ;;
            ci) printf '%s\n' "${forgeway_packages_ci[@]}" ;;
            *) echo "unknown package set '$set' (build, tour, test, windows, ci)" >&2; return 2 ;;
        esac
    done | awk '!seen[$0]++'
}

# forgeway_missing PACKAGE... : prints those that are not installed.
forgeway_missing() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" ||
            echo "$p"
    done
}

# forgeway_need SET... : stops the calling script, naming each missing
# package and the command that installs it.  Machines without dpkg are not
# checked.
forgeway_need() {
    command -v dpkg-query >/dev/null || return 0
    local list missing
    list=$(forgeway_packages "$@") || exit 2
    # shellcheck disable=SC2086 # one package a word
    missing=$(forgeway_missing $list | tr '\n' ' ')
    missing=${missing% }
    [ -z "$missing" ] && return 0
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo="sudo "
    {
        echo "$(basename "$0"): missing Debian package(s): $missing"
        echo "Install them with:"
        echo "    ${sudo}apt-get install --no-install-recommends $missing"
        echo "or everything this needs:  bash tools/install-deps.sh $*"
    } >&2
    exit 1
}
