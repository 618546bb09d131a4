#!/usr/bin/env bash
# Builds Velmor and runs every test: once in the normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== normal build"
BUILD_DIR="$root/build" "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "${VELMOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== sanitizer build (ASan + UBSan)"
  export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
  BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DVELMOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"
fi
