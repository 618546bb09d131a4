#!/usr/bin/env bash
# velmor-dump pixels on every case of the fixture manifest: the pixel buffer it
# writes equals the peer's bytes, and the refused files end with status 1, the
# viewer's message and the rule's log line.
set -u
dump=$1
dir=$2
failures=0
cases=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
while IFS=$'\t' read -r _ kind file expected; do
  cases=$((cases + 1))
  rm -f "$out"
  "$dump" pixels "$file" "$out" >/dev/null 2>"$err"
  status=$?
  if [ "$kind" = match ]; then
    if [ $status -ne 0 ] || ! cmp -s "$out" "$expected"; then
      echo "MISMATCH (status $status): $file"
      failures=$((failures + 1))
    fi
  else
    if [ $status -ne 1 ] || ! grep -qF "DICOM Image Load Failed.!" "$err" ||
       ! grep -qF "$expected" "$err"; then
      echo "NOT REFUSED AS EXPECTED (status $status): $file"
      failures=$((failures + 1))
    fi
  fi
done <"$dir/manifest.txt"
echo "$cases cases, $failures failures"
[ "$cases" -gt 0 ] && [ "$failures" -eq 0 ]
