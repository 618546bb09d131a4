#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# SECONDS (default 60). Seeds come from pydicom's sample files and from
# peer-encoded fixtures. Exits non-zero on any finding; crash inputs are left
# in build-fuzz/findings/<target>/, logs in build-fuzz/<target>.log.
# FUZZ_JOBS=2 runs two targets at a time; FUZZ_TARGETS picks targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
jobs=${FUZZ_JOBS:-1}
targets=${FUZZ_TARGETS:-"reader_walk_fuzz single_fuzz frames_fuzz rle_fuzz ljpeg_fuzz dct_fuzz header_walk_fuzz
  inflate_view_fuzz jpeg_codec_fuzz jpegls_codec_fuzz jpeg2000_codec_fuzz jpegxl_codec_fuzz charset_fuzz picture_fuzz series_fuzz dicomdir_fuzz
  view_attributes_fuzz display_fuzz browser_fuzz model_fuzz document_fuzz frame_syntax_codec_fuzz video_stream_fuzz"}
build="$root/build-fuzz"
VELMOR_PRESET=fuzz BUILD_DIR="$build" BUILD_TARGETS="$targets" "$root/scripts/build.sh"

corpus="$build/corpus"
/usr/bin/python3 "$root/fuzz/make_seeds.py" "$corpus" 2>/dev/null

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# One target: its own growing corpus in work/, the seeds read-only. An input
# whose single allocation passes 512 MB counts as a finding: no input of at
# most 256 KB justifies that much.
run_target() {
  local target=$1
  local seeds="$corpus/${target%_fuzz}" work="$build/work/$target" findings="$build/findings/$target"
  mkdir -p "$work" "$findings" "$seeds"
  if "$build/bin/$target" "$work" "$seeds" -dict="$root/fuzz/dicom.dict" -max_total_time="$seconds" \
      -rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 -max_len=262144 -print_final_stats=1 \
      -artifact_prefix="$findings/" >"$build/$target.log" 2>&1; then
    local result=ok
  else
    local result="FOUND A PROBLEM (see $build/$target.log and $findings/)"
  fi
  local done_line execs
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$target.log" | tail -n 1 || true)
  execs=$(grep -E '^stat::number_of_executed_units' "$build/$target.log" | awk '{print $2}' || true)
  echo "== $target ${seconds}s: $result; executions ${execs:-?}; ${done_line:-no final stats}"
  [ "$result" = ok ]
}

echo "fuzzing ${seconds}s per target, $jobs at a time"
status=0
pids=()
for target in $targets; do
  [ -x "$build/bin/$target" ] || { echo "!! $target was not built"; status=1; continue; }
  run_target "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
exit $status
