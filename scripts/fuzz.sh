#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# SECONDS (default 60). Seeds come from pydicom's sample files and from
# peer-encoded fixtures. Exits non-zero on any finding; crash inputs are left
# in build-fuzz/findings/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/deps.sh"
build="$root/build-fuzz"
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVELMOR_FUZZ=ON -DVELMOR_GUI=OFF -DVELMOR_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

corpus="$build/corpus"
/usr/bin/python3 "$root/fuzz/make_seeds.py" "$corpus"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for target in reader_walk_fuzz single_fuzz rle_fuzz ljpeg_fuzz header_walk_fuzz; do
  [ -x "$build/bin/$target" ] || continue
  seeds="$corpus/${target%_fuzz}"
  work="$build/work/$target"
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings" "$seeds"
  echo "== $target for ${seconds}s"
  if ! "$build/bin/$target" "$work" "$seeds" -dict="$root/fuzz/dicom.dict" -max_total_time="$seconds" \
      -rss_limit_mb=2048 -timeout=10 -max_len=1048576 -print_final_stats=1 \
      -artifact_prefix="$findings/" >"$build/$target.log" 2>&1; then
    echo "!! $target found a problem: see $build/$target.log and $findings/"
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' "$build/$target.log" | tail -n 3 || true
done
exit $status
