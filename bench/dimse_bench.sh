#!/bin/sh
# Times retrieving a 50-image CT series (tests/pacs/make_series.py) over
# C-GET from an Orthanc on loopback: `velmor-dump retrieve` against DCMTK's
# getscu, whole process, same server, same series, each into a new temporary
# folder. The commands run RUNS times, interleaved so that a change in the
# machine's load touches both alike; the table gives the median and the
# spread (min-max) in milliseconds and the ratio Velmor / getscu (target
# <= 1.20). Both must have written the 50 files before any timing.
#
# usage: bench/dimse_bench.sh [BUILD_DIR] [RUNS]
set -eu

BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
RUNS=${2:-15}
HERE=$(cd "$(dirname "$0")" && pwd)

exec /usr/bin/python3 - "$BUILD/bin/velmor-dump" "$RUNS" "$HERE/../tests/pacs" <<'EOF'
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

dump, runs, harness = sys.argv[1], int(sys.argv[2]), sys.argv[3]
sys.path.insert(0, harness)
from make_series import make_series  # noqa: E402
from orthanc_server import OrthancServer  # noqa: E402

with tempfile.TemporaryDirectory(prefix="velmor-dimse-bench-") as work:
    os.makedirs(os.path.join(work, "series"))
    paths, study, series = make_series(os.path.join(work, "series"))
    with OrthancServer() as pacs:
        pacs.upload(paths)
        commands = {
            "velmor-dump retrieve": lambda out: [dump, "retrieve", pacs.dimse_address, study, series, out],
            "getscu": lambda out: ["getscu", "-aet", "VELMOR", "-aec", "ORTHANC", "-od", out,
                                   "-k", "QueryRetrieveLevel=SERIES", "-k", f"StudyInstanceUID={study}",
                                   "-k", f"SeriesInstanceUID={series}", "127.0.0.1", str(pacs.dicom_port)],
        }
        times = {name: [] for name in commands}
        for run in range(runs + 1):
            for name, command in commands.items():
                out = os.path.join(work, "out")
                os.makedirs(out)
                start = time.perf_counter()
                subprocess.run(command(out), check=True, capture_output=True)
                elapsed = (time.perf_counter() - start) * 1000
                count = len(os.listdir(out))
                shutil.rmtree(out)
                if count != 50:
                    sys.exit(f"{name} wrote {count} files, not 50")
                if run > 0:  # the first round warms the server's cache
                    times[name].append(elapsed)
        print(f"50-image CT series over C-GET, {runs} runs each (ms)")
        print(f"{'command':24} {'median':>8} {'min-max':>16}")
        for name, values in times.items():
            print(f"{name:24} {statistics.median(values):8.1f} {min(values):7.1f}-{max(values):<8.1f}")
        ratio = statistics.median(times["velmor-dump retrieve"]) / statistics.median(times["getscu"])
        print(f"ratio velmor / getscu: {ratio:.2f} (target <= 1.20)")
EOF
