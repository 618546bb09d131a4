#!/usr/bin/env python3
"""Compares what two builds of velmor-dump make of the same files: the
report (both encodings), the reader's elements, the pixels and the picture of
the first frame, with the exit status and the error lines (log lines, which
carry a time and a process number, are left out). Kept for changes that must
leave every output as it was; each difference is listed, one per line.

usage: compare_builds.py OLD_VELMOR_DUMP NEW_VELMOR_DUMP FILE_OR_FOLDER...
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile

LOG_LINE = re.compile(r"^\w{3} \d\d \d\d:\d\d:\d\d \S+\[\d+\]: ")


def files_under(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    yield os.path.join(folder, name)
        else:
            yield path


def outputs(dump, path, work):
    """What one build makes of one file: a list of (what, result)."""
    results = []
    runs = (("report", ["report", path]), ("report utf-8", ["report", "--encoding", "utf-8", path]),
            ("elements", ["elements", path]), ("pixels", ["pixels", path, os.path.join(work, "out.raw")]),
            ("picture", ["picture", path, os.path.join(work, "out.ppm")]))
    for what, args in runs:
        for name in ("out.raw", "out.ppm"):
            if os.path.exists(os.path.join(work, name)):
                os.remove(os.path.join(work, name))
        run = subprocess.run([dump, *args], capture_output=True, timeout=120)
        errors = [line for line in run.stderr.decode("utf-8", "replace").splitlines() if not LOG_LINE.match(line)]
        written = b""
        for name in ("out.raw", "out.ppm"):
            if os.path.exists(os.path.join(work, name)):
                with open(os.path.join(work, name), "rb") as f:
                    written = f.read()
        digest = hashlib.sha256(run.stdout + b"\0" + written).hexdigest()[:16]
        results.append((what, (run.returncode, digest, errors)))
    return results


def main():
    old, new, *paths = sys.argv[1:]
    differences = 0
    compared = 0
    with tempfile.TemporaryDirectory() as work:
        for path in files_under(paths):
            for (what, before), (_, after) in zip(outputs(old, path, work), outputs(new, path, work)):
                compared += 1
                if before != after:
                    differences += 1
                    print(f"{path}\t{what}\tstatus {before[0]} -> {after[0]}\t"
                          f"{'same bytes' if before[1] == after[1] else 'other bytes'}\t"
                          f"{before[2][-1:] } -> {after[2][-1:]}")
    print(f"{compared} outputs compared, {differences} differ")


if __name__ == "__main__":
    main()
