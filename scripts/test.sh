#!/usr/bin/env bash
# Checks the formatting of the tracked sources, builds Velmor and runs every
# test: once in the normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the many-files test under ThreadSanitizer.
# Exits non-zero on any failure.
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

  echo "== thread sanitizer build (the libraries and the many-files test)"
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  VELMOR_PRESET=tsan BUILD_DIR="$root/build-tsan" "$root/scripts/build.sh" "${werror[@]}"
  ctest --test-dir "$root/build-tsan" --output-on-failure
fi

# == package: the Debian package made from the normal build above (stripped by
# CPack; a separate Release build would double the compile time), checked with
# lintian, desktop-file-validate and appstreamcli, then unpacked and run.
# VELMOR_PACKAGE_FROM names another built tree to package; without a built
# tree the package gets its own Release build.
(
  set -euo pipefail
  echo "== package"
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  from=${VELMOR_PACKAGE_FROM:-$root/build}
  if [ -f "$from/CPackConfig.cmake" ] && [ -x "$from/bin/velmor" ]; then
    VELMOR_PACKAGE_BUILD="$from" "$root/scripts/package.sh" >/dev/null
  else
    "$root/scripts/package.sh" >/dev/null
  fi
  deb=$(ls "$root"/dist/velmor_*.deb)
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' EXIT
  lintian --fail-on error "$deb"
  dpkg-deb -x "$deb" "$unpacked"
  share=$unpacked/usr/share
  validation=$(desktop-file-validate "$share/applications/org.velmor.Velmor.desktop" 2>&1) || { echo "$validation"; exit 1; }
  if grep -E '(error|warning):' <<<"$validation"; then exit 1; fi
  validation=$(appstreamcli validate --no-net "$share/metainfo/org.velmor.Velmor.metainfo.xml" 2>&1) || { echo "$validation"; exit 1; }
  if grep -E '^[EW]:' <<<"$validation"; then exit 1; fi
  # The desktop database lists Velmor as a handler of DICOM files.
  update-desktop-database "$share/applications"
  grep -qx 'application/dicom=org.velmor.Velmor.desktop;' "$share/applications/mimeinfo.cache"
  "$unpacked/usr/bin/velmor-dump" --version
  # The archive commands run in their own program, found from velmor-dump's folder.
  ! "$unpacked/usr/bin/velmor-dump" echo dimse://NOBODY@127.0.0.1:1 2> "$unpacked/echo.txt"
  grep -q 'cannot connect' "$unpacked/echo.txt"
  "$unpacked/usr/bin/velmor-dump" report /usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm > "$unpacked/report.txt"
  head -c 7 "$unpacked/report.txt" | grep -qx Address
  QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/velmor" --help | grep -q '^Usage:'
  echo "package ok: $deb"
)
