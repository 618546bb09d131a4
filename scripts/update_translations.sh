#!/usr/bin/env bash
# Brings data/translations/velmor_en.ts up to date with the window's texts in
# the sources (the folders the translations test scans): new texts come in
# unfinished, to be translated; removed ones go.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
/usr/lib/qt6/bin/lupdate -I . -locations none -no-obsolete -source-language ja_JP -target-language en_US \
  viewer view -ts data/translations/velmor_en.ts
