#!/usr/bin/env bash
# Builds Velmor if needed and starts the viewer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
exec "$root/build/bin/velmor" "$@"
