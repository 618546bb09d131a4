#!/usr/bin/env bash
# velmor-dump pixels on every case of the fixture manifest: the pixel buffer it
# writes equals the peer's bytes, and the refused files end with status 1, the
# reason on the velmor-dump line and the rule's log line.
set -u
dump=$1
dir=$2
samples=${VELMOR_PYDICOM_DATA:-/usr/lib/python3/dist-packages/pydicom/data}/test_files
failures=0
cases=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
while IFS=$'\t' read -r _ kind file expected; do
  cases=$((cases + 1))
  rm -f "$out"
  if [ "$kind" = match ] && [ $((cases % 2)) -eq 0 ]; then
    # Every other file over a longer one: overwritten, then cut to length.
    head -c $(( $(stat -c %s "$expected") + 4099 )) /dev/urandom >"$out"
  fi
  "$dump" pixels "$file" "$out" >/dev/null 2>"$err"
  status=$?
  if [ "$kind" = match ]; then
    if [ $status -ne 0 ] || ! cmp -s "$out" "$expected"; then
      echo "MISMATCH (status $status): $file"
      failures=$((failures + 1))
    fi
  else
    if [ $status -ne 1 ] || ! grep -qF "velmor-dump: $file: " "$err" ||
       ! grep -qF "$expected" "$err" || [ -e "$out" ]; then
      echo "NOT REFUSED AS EXPECTED, OR OUTPUT LEFT (status $status): $file"
      failures=$((failures + 1))
    fi
  fi
done <"$dir/manifest.txt"

# Deflated and encapsulated uncompressed frames: every frame as the source has it.
while IFS=$'\t' read -r group _ file expected _; do
  [ "$group" = frame-syntax ] || continue
  cases=$((cases + 1))
  rm -f "$out"
  if ! "$dump" pixels "$file" "$out" >/dev/null 2>"$err" || ! cmp -s "$out" "$expected"; then
    echo "MISMATCH: $file"; failures=$((failures + 1))
  fi
done <"$dir/codec_manifest.txt"

# OUT a link to a file not there yet: the file is made through the link.
link_dir=$(mktemp -d)
ln -s "$link_dir/target.raw" "$link_dir/link.raw"
"$dump" pixels "$samples/MR_small_RLE.dcm" "$link_dir/link.raw" >/dev/null 2>&1
if [ ! -L "$link_dir/link.raw" ] || [ "$(stat -c %s "$link_dir/target.raw" 2>/dev/null)" != 8192 ]; then
  echo "OUT THROUGH A DANGLING LINK NOT WRITTEN"; failures=$((failures + 1))
fi
# OUT standard output sent to a file: the pixels, never mixed with the record.
"$dump" pixels "$samples/MR_small_RLE.dcm" /dev/stdout >"$link_dir/stdout.raw" 2>/dev/null
if [ "$(stat -c %s "$link_dir/stdout.raw")" != 8192 ] || grep -qa "pixel_bytes=" "$link_dir/stdout.raw"; then
  echo "OUT ON STANDARD OUTPUT MIXED WITH THE RECORD"; failures=$((failures + 1))
fi
rm -rf "$link_dir"

# The record's fields, one per line in record order, then pixel_bytes.
fields=$("$dump" pixels "$samples/MR_small_RLE.dcm")
expected_fields='photometric=0
frames=1
columns=64
rows=64
samples_per_pixel=1
bits_allocated=16
bits_stored=16
high_bit=15
pixel_representation=1
planar_configuration=0
pixel_spacing=0.3125
slice_thickness=0.8
slice_location=0
pixel_bytes=8192'
if [ "$fields" != "$expected_fields" ]; then
  echo "FIELDS DIFFER:"; echo "$fields"
  failures=$((failures + 1))
fi

# A transfer syntax no codec reads is named.
"$dump" pixels "$dir/jpeg2000_multicomponent.dcm" >/dev/null 2>"$err"
if [ $? -ne 1 ] ||
   ! grep -qF "error: Unsupported transfer syntax 1.2.840.10008.1.2.4.92 (JPEG 2000 Part 2 Multi-component Image Compression (Lossless Only))" "$err"; then
  echo "UNSUPPORTED SYNTAX NOT NAMED"; cat "$err"; failures=$((failures + 1))
fi

# Failures: the file's name, the reason and status 1.
"$dump" pixels /nonexistent/file.dcm >/dev/null 2>"$err"
if [ $? -ne 1 ] ||
   ! grep -qxF "velmor-dump: /nonexistent/file.dcm: The file cannot be read: No such file or directory." "$err"; then
  echo "NO OPEN FAILURE MESSAGE"; failures=$((failures + 1))
fi
"$dump" pixels "$samples/rtplan.dcm" >/dev/null 2>"$err"
if [ $? -ne 1 ] || ! grep -qxF "velmor-dump: $samples/rtplan.dcm: The file holds no pixel data." "$err"; then
  echo "NO LOAD FAILURE MESSAGE"; failures=$((failures + 1))
fi

echo "$cases cases, $failures failures"
[ "$cases" -gt 0 ] && [ "$failures" -eq 0 ]
