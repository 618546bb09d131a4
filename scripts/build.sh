#!/usr/bin/env bash
# Installs what is missing, then configures and builds Velmor with the CMake
# preset $VELMOR_PRESET (normal, asan, fuzz or bench; default normal) into the
# preset's folder, or into $BUILD_DIR when it is set. Extra arguments are
# passed to the CMake configure step. ccache is used when it is installed.
# BUILD_TARGETS (space-separated) builds those targets alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
preset=${VELMOR_PRESET:-normal}
case $preset in
  normal) default_dir=$root/build ;;
  bench) default_dir=$root/build-rel ;;
  *) default_dir=$root/build-$preset ;;
esac
build_dir=${BUILD_DIR:-$default_dir}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
(cd "$root" && cmake --preset "$preset" -B "$build_dir" "${launcher[@]}" "$@" >/dev/null)
targets=()
for target in ${BUILD_TARGETS:-}; do
  targets+=(--target "$target")
done
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
