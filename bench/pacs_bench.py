#!/usr/bin/python3
"""Times a WADO-RS retrieve of one series from a local Orthanc (the test
harness, started here): `velmor-dump retrieve` (a QIDO-RS count, then the
multipart answer split into one file per instance under its UID) against
`curl` saving the same answer, same Accept header, into one file. The series
is COUNT images made from CT_small.dcm (50 by default, 39 KB each). Each
command runs once to warm up, then RUNS times interleaved; the table gives
the median (min-max) wall seconds and velmor-dump's ratio to curl (target:
at most 1.2).

usage: bench/pacs_bench.py [-n COUNT] [-r RUNS] [BUILD_DIR]"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "pacs"))
from make_series import make_series  # noqa: E402
from orthanc_server import PASSWORD, USER, OrthancServer  # noqa: E402

ACCEPT = 'Accept: multipart/related; type="application/dicom"; transfer-syntax=*'


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-n", type=int, default=50, dest="count")
    parser.add_argument("-r", type=int, default=9, dest="runs")
    parser.add_argument("build", nargs="?", default="build")
    args = parser.parse_args()
    dump = os.path.join(os.path.abspath(args.build), "bin", "velmor-dump")
    if not os.access(dump, os.X_OK):
        sys.exit(f"no {dump}: build velmor-dump first")
    with tempfile.TemporaryDirectory(prefix="velmor-pacs-bench-") as work, OrthancServer() as pacs:
        series_dir = os.path.join(work, "series")
        os.makedirs(series_dir)
        paths, study, series = make_series(series_dir, args.count)
        pacs.upload(paths)
        size = sum(os.path.getsize(p) for p in paths)
        url = pacs.dicomweb_url.replace("http://", f"http://{USER}:{PASSWORD}@")
        out = os.path.join(work, "out")

        def velmor():
            shutil.rmtree(out, ignore_errors=True)
            subprocess.run([dump, "retrieve", url, study, series, out], check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

        def curl():
            subprocess.run(["curl", "-sf", "-u", f"{USER}:{PASSWORD}", "-H", ACCEPT, "-o",
                            os.path.join(work, "answer"), f"{pacs.dicomweb_url}/studies/{study}/series/{series}"],
                           check=True)

        commands = {"velmor-dump retrieve": velmor, "curl -o": curl}
        times = {name: [] for name in commands}
        for command in commands.values():
            command()
        for _ in range(args.runs):
            for name, command in commands.items():
                start = time.perf_counter()
                command()
                times[name].append(time.perf_counter() - start)
        print(f"{args.count} images, {size / 1e6:.1f} MB, {args.runs} runs; load {os.getloadavg()[0]:.2f}")
        for name, seconds in times.items():
            print(f"  {name:22} {statistics.median(seconds):.3f} s ({min(seconds):.3f}-{max(seconds):.3f})")
        ratio = statistics.median(times["velmor-dump retrieve"]) / statistics.median(times["curl -o"])
        print(f"  velmor-dump / curl     {ratio:.2f} (target <= 1.2)")


if __name__ == "__main__":
    main()
