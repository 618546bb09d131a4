#!/usr/bin/env bash
# Builds Velmor if needed and starts the viewer with the arguments given;
# without any, on a demo study made once from pydicom's test files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
if [ $# -eq 0 ]; then
  demo=$root/build/demo-study
  /usr/bin/python3 "$root/scripts/make_demo_study.py" "$demo"
  set -- "$demo"
fi
exec "$root/build/bin/velmor" "$@"
