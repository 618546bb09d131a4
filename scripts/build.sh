#!/usr/bin/env bash
# Installs what is missing, then configures and builds Velmor into build/ (or $BUILD_DIR).
# Extra arguments are passed to the CMake configure step. ccache is used when
# it is installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build_dir=${BUILD_DIR:-$root/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build_dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
