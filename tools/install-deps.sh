#!/usr/bin/env bash
# Installs the Debian 12 packages of the named sets (tools/packages.sh) with
# one apt-get run, as root or through sudo, and only when something is
# missing.
#
#   tools/install-deps.sh [build] [tour] [test] [windows] [ci]     (default: build)
#
#   build  building and running Forgeway and the sample kit
#   tour   the tour of the program on a private virtual screen
#   test   the whole test run (Wine and mingw-w64, clang for the fuzzers)
#   windows  the Windows build, its Qt and its end-to-end run under Wine
#   ci     what continuous integration adds (clang-format)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

[ $# -eq 0 ] && set -- build
list=$(forgeway_packages "$@")
# shellcheck disable=SC2086 # one package a word
missing=($(forgeway_missing $list))
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "== Installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
