#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Forgeway
# need, plus any package named on the command line.  Runs apt-get as root, or
# through sudo, and only when something is missing.
#
#   tools/install-deps.sh [extra-package...]
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev
    fp-compiler fp-units-base libx11-dev
    xvfb xauth x11-utils fonts-liberation
    btrfs-progs
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
