#!/usr/bin/env bash
# Takes docs/screenshot.png: the real window under Xvfb with a sample file open.
# Needs xvfb, imagemagick and a build in build/ (target velmor_screenshot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-/usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm}
out=$root/docs/screenshot.png
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" "$2" 6 > /tmp/velmor_geometry.$$ &
  pid=$!
  sleep 3
  geometry=$(head -n1 /tmp/velmor_geometry.$$)
  import -window root -crop "$geometry" +repage "$3"
  wait $pid
  rm -f /tmp/velmor_geometry.$$
' _ "$root/build/bin/velmor_screenshot" "$file" "$out"
echo "wrote $out"
