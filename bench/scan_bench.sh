#!/bin/sh
# Times the folder scan, whole process and warm page cache, against the peers
# that read the same folder: `velmor-dump series DIR`, gdcmscanner, dcmdump
# +sd +r, a pydicom loop (dcmread up to the pixel data, file by file), and the
# floor of reading every file's first 8 KiB (find | xargs -P2 head -c 8192).
# The folder (make_scan_data.py: SERIES series of 250 512 x 512 CT images,
# 20 by default: 5,000 files, 2.6 GB) is written once under DATA_DIR. Each
# command runs once to warm the cache, then RUNS times interleaved with the
# others; the table gives the median (min-max) wall seconds, the ratio to the
# fastest peer (target for velmor-dump: <= 0.3) and to the floor (<= 2), and
# the peak resident memory of one run.
#
# usage: bench/scan_bench.sh [-n SERIES] [-i IMAGES] [-r RUNS] [-d DATA_DIR] [BUILD_DIR]
set -eu

SERIES=20 IMAGES=250 RUNS=5 DATA=
while getopts n:i:r:d: option; do
    case $option in
    n) SERIES=$OPTARG ;;
    i) IMAGES=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    d) DATA=$OPTARG ;;
    *) sed -n 's/^# usage: /usage: /p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
DATA=${DATA:-${VELMOR_BENCH_DATA:-$BUILD/bench-data}}
case $DATA in /*) ;; *) DATA=$PWD/$DATA ;; esac
PY=/usr/bin/python3
HERE=$(cd "$(dirname "$0")" && pwd)
DUMP=$BUILD/bin/velmor-dump
DIR=$DATA/scan-${SERIES}x$IMAGES
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmor_scan.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -x "$DUMP" ] || { echo "no $DUMP: build velmor-dump first" >&2; exit 1; }
mkdir -p "$DATA"
$PY "$HERE/make_scan_data.py" "$DIR" "$SERIES" "$IMAGES"
files=$(find "$DIR" -type f | wc -l)

cat > "$WORK/pydicom_loop.py" <<'PYEOF'
import os, sys
from pydicom import dcmread
for top, _, names in os.walk(sys.argv[1]):
    for name in names:
        dcmread(os.path.join(top, name), stop_before_pixels=True)
PYEOF

# name|command (the folder is $DIR)
COMMANDS="velmor-dump|$DUMP series $DIR
gdcmscanner|gdcmscanner -d $DIR -r -t 0020,000e -t 0020,0013 -t 0020,0032
dcmdump|dcmdump +sd +r -q +P 0020,000e +P 0020,0032 $DIR
pydicom|$PY $WORK/pydicom_loop.py $DIR
floor|sh -c 'find $DIR -type f -print0 | xargs -0 -P2 -n500 head -c 8192 >/dev/null'"

now_us() { echo $(( $(date +%s%N) / 1000 )); }

# The command lines are the benchmark's own, without quoting to undo but the
# floor's: eval runs them as written above.
run_once() {
    start=$(now_us)
    eval "$2" > /dev/null 2>&1 || true
    end=$(now_us)
    echo $((end - start)) >> "$WORK/t_$1"
}

echo "$COMMANDS" | while IFS='|' read -r name command; do
    : > "$WORK/t_$name"
    eval "$command" > /dev/null 2>&1 || true # warms the page cache
done
i=0
while [ $i -lt "$RUNS" ]; do
    echo "$COMMANDS" | while IFS='|' read -r name command; do
        run_once "$name" "$command"
    done
    i=$((i + 1))
done

# "median min max" in seconds of one command's times.
summary() {
    sort -n "$WORK/t_$1" | awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.3f %.3f %.3f\n", m / 1e6, t[1] / 1e6, t[NR] / 1e6 }'
}
peak_kib() {
    eval "/usr/bin/time -f %M -o $WORK/peak $1" > /dev/null 2>&1 || true
    tail -n 1 "$WORK/peak"
}

fastest_peer=$( (summary gdcmscanner; summary dcmdump; summary pydicom) | sort -n | head -n 1 | cut -d' ' -f1)
floor=$(summary floor | cut -d' ' -f1)
echo "scan of $DIR: $files files, $RUNS runs each, interleaved, warm page cache"
printf '%-12s %-24s %8s %8s %10s\n' command "wall s, median (min-max)" "/ peer" "/ floor" "peak KiB"
echo "$COMMANDS" | while IFS='|' read -r name command; do
    set -- $(summary "$name")
    printf '%-12s %-24s %8s %8s %10s\n' "$name" "$1 ($2-$3)" \
        "$(awk -v t="$1" -v p="$fastest_peer" 'BEGIN { printf "%.2f", t / p }')" \
        "$(awk -v t="$1" -v f="$floor" 'BEGIN { printf "%.2f", t / f }')" \
        "$(peak_kib "$command")"
done
echo "targets: velmor-dump / fastest peer <= 0.30, / floor <= 2.00;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
