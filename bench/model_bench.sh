#!/bin/sh
# Times `velmor-dump json` and `velmor-dump xml` against dcm2json and
# `dcm2xml --native-format +Eb` (whole process, output to /dev/null) on a
# 240,000-element RT Structure Set (make_structure_set.py, pydicom) and on the
# 300-frame 512 x 512 CT of make_bench_data.py, every value inline as the
# peers write it (--bulk-threshold past any value, --pixel-data). Each command
# runs RUNS times, interleaved so that a change of load touches all alike; the
# table gives the median and the spread (min-max) in milliseconds and the ratio
# Velmor / peer (target <= 0.30). Before timing, each output must parse.
#
# usage: bench/model_bench.sh [BUILD_DIR] [RUNS]
set -eu

BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
RUNS=${2:-5}
PY=/usr/bin/python3
HERE=$(cd "$(dirname "$0")" && pwd)
DUMP=$BUILD/bin/velmor-dump
DATA=${VELMOR_BENCH_DATA:-$BUILD/bench-data}
INLINE="--bulk-threshold 1099511627776 --pixel-data"

[ -x "$DUMP" ] || { echo "no $DUMP: build velmor-dump first" >&2; exit 1; }
$PY "$HERE/make_bench_data.py" "$DATA"
$PY "$HERE/make_structure_set.py" "$DATA"

# Milliseconds of one run of the command, output thrown away.
ms() {
    $PY -c 'import subprocess, sys, time
t = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(round((time.perf_counter() - t) * 1000))' "$@"
}

# median (min-max) of the numbers on standard input
summary() {
    $PY -c 'import statistics, sys
v = [int(x) for x in sys.stdin.read().split()]
print(f"{statistics.median(v):.0f} ({min(v)}-{max(v)})")'
}

echo "uptime: $(uptime)"
printf '%-22s %-5s %-18s %-18s %s\n' file model velmor peer ratio
for file in rtstruct_240k.dcm ct12_512x300.dcm; do
    path=$DATA/$file
    $DUMP json $INLINE "$path" | $PY -c 'import json, sys; json.load(sys.stdin)'
    $DUMP xml $INLINE "$path" | $PY -c 'import sys, xml.etree.ElementTree as ET; ET.parse(sys.stdin)'
    for model in json xml; do
        ours="" theirs=""
        i=0
        while [ $i -lt "$RUNS" ]; do
            ours="$ours $(ms "$DUMP" $model $INLINE "$path")"
            if [ $model = json ]; then
                theirs="$theirs $(ms dcm2json "$path")"
            else
                theirs="$theirs $(ms dcm2xml --native-format +Eb "$path")"
            fi
            i=$((i + 1))
        done
        a=$(echo "$ours" | summary)
        b=$(echo "$theirs" | summary)
        ratio=$($PY -c "print(f'{${a%% *} / ${b%% *}:.3f}')")
        printf '%-22s %-5s %-18s %-18s %s\n' "$file" $model "$a" "$b" "$ratio"
    done
done
