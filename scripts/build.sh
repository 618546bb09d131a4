#!/usr/bin/env bash
# Installs what is missing, then configures and builds Velmor into build/ (or $BUILD_DIR).
# Extra arguments are passed to the CMake configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build_dir=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build_dir" -G Ninja "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
