#!/usr/bin/env bash
# Builds the Debian package of Velmor into dist/ (git-ignored) from a Release
# build in build-release/ (or $BUILD_DIR), building only what the package holds.
# VELMOR_PACKAGE_BUILD=DIR packages the programs already built in DIR instead
# (scripts/test.sh reuses its normal build so). Prints the package's path last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
dist=$root/dist

build_dir=${VELMOR_PACKAGE_BUILD:-}
if [ -z "$build_dir" ]; then
  build_dir=${BUILD_DIR:-$root/build-release}
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build_dir" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release -DVELMOR_BENCH=OFF >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target velmor velmor-dump velmor_data
fi

mkdir -p "$dist"
rm -f "$dist"/velmor_*.deb
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$dist" >/dev/null
rm -rf "$dist/_CPack_Packages"
ls "$dist"/velmor_*.deb
