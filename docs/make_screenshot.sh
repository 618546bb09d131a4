#!/usr/bin/env bash
# Takes docs/screenshot.png: the real window, offscreen, with the demo study
# (scripts/make_demo_study.py) open through File > Open folder, or with the
# file or folder given. Needs a build in build/ (target velmor_screenshot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$root/build/demo-study
/usr/bin/python3 "$root/scripts/make_demo_study.py" "$demo"
input=${1:-$demo}
out=$root/docs/screenshot.png
QT_QPA_PLATFORM=offscreen "$root/build/bin/velmor_screenshot" "$input" 2 "$out" 2>/dev/null
echo "wrote $out"
