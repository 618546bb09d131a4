#!/usr/bin/env bash
# Checks the formatting of the tracked sources, builds Velmor and runs every
# test: once in the normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
# VELMOR_WERROR=ON builds with warnings as errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
werror=(-DVELMOR_WERROR="${VELMOR_WERROR:-OFF}")

echo "== formatting (clang-format)"
"$root/scripts/deps.sh"
mapfile -t sources < <(git -C "$root" ls-files '*.cpp' '*.h')
(cd "$root" && clang-format --dry-run -Werror "${sources[@]}")

echo "== normal build"
VELMOR_PRESET=normal BUILD_DIR="$root/build" "$root/scripts/build.sh" "${werror[@]}"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

if [ "${VELMOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== sanitizer build (ASan + UBSan)"
  export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
  VELMOR_PRESET=asan BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" "${werror[@]}"
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"
fi
