#!/usr/bin/env python3
"""Broken-file sweep: every real sample file, cut short at many lengths and
with bytes flipped at seeded random positions, through the three velmor-dump
paths (report, elements, pixels). Each run must end inside the time cap with
status 0, 1 or 2, say something on standard error when it fails, and never
trip a sanitizer.

Cuts: every 64 bytes through the header (up to the Pixel Data tag; a file
without pixel data counts its first 8 KB as header and the rest as bulk
data), then a spread through the pixel or bulk data. Flips: seeded, 1 to 4
bytes set to random values per variant. Deflated files (image_dfl.dcm and
dcmconv +td of two samples) show no Pixel Data tag, so their cuts and flips
fall in the compressed stream.

usage: broken_file_sweep.py VELMOR_DUMP SAMPLE_DIR WORK_DIR
"""
import concurrent.futures
import os
import random
import subprocess
import sys
import time

TIME_CAP = 20  # seconds per run, generous for sanitizer builds
HEADER_STEP = 64
MAX_HEADER_CUTS = 128  # 8 KB: more than any real header here
PIXEL_CUTS = 6
FLIP_VARIANTS = 6
PATHS = (["report"], ["elements"], ["pixels"])
# Made deflated at sweep time (image_dfl.dcm is deflated already).
DEFLATE_SOURCES = ("CT_small.dcm", "rtplan.dcm")


def pixel_data_offset(data):
    """Where the first Pixel Data tag starts (either byte order), else len."""
    hits = [i for i in (data.find(b"\xe0\x7f\x10\x00", 132), data.find(b"\x7f\xe0\x00\x10", 132)) if i > 0]
    return min(hits) if hits else len(data)


def variants(name, data, rng):
    header = min(pixel_data_offset(data), HEADER_STEP * MAX_HEADER_CUTS)
    cuts = list(range(0, header + 1, HEADER_STEP))
    if header < len(data):
        span = len(data) - header
        cuts += [header + 1 + span * k // (PIXEL_CUTS + 1) for k in range(PIXEL_CUTS)]
    for cut in cuts:
        yield f"{name}.cut{cut}", data[:cut]
    for k in range(FLIP_VARIANTS):
        flipped = bytearray(data)
        for _ in range(rng.randint(1, 4)):
            pos = rng.randrange(len(flipped))
            flipped[pos] = rng.randrange(256)
        yield f"{name}.flip{k}", bytes(flipped)


def run(dump, path, args):
    try:
        p = subprocess.run([dump, *args, path], capture_output=True, timeout=TIME_CAP)
    except subprocess.TimeoutExpired:
        return f"{args[0]} {path}: no answer within {TIME_CAP}s"
    err = p.stderr.decode("utf-8", "replace")
    if "Sanitizer" in err or "runtime error" in err or p.returncode < 0:
        return f"{args[0]} {path}: sanitizer report or signal {p.returncode}\n{err[-2000:]}"
    if p.returncode not in (0, 1, 2):
        return f"{args[0]} {path}: exit status {p.returncode}\n{err[-2000:]}"
    if p.returncode != 0 and not err.strip():
        return f"{args[0]} {path}: failed (status {p.returncode}) without a message"
    return None


def deflated_sources(samples, work):
    """Deflated files beside image_dfl.dcm: dcmconv +td of a few samples."""
    made = []
    for name in DEFLATE_SOURCES:
        out = os.path.join(work, name.replace(".dcm", ".dfl.dcm"))
        if subprocess.run(["dcmconv", "+td", os.path.join(samples, name), out], capture_output=True).returncode == 0:
            made.append(out)
    return made


def main():
    dump, samples, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    rng = random.Random(20261207)
    jobs = []
    sources = [os.path.join(samples, n) for n in sorted(os.listdir(samples)) if n.endswith(".dcm")]
    for source in sources + deflated_sources(samples, work):
        name = os.path.basename(source)
        with open(source, "rb") as f:
            data = f.read()
        for label, body in variants(name, data, rng):
            path = os.path.join(work, label)
            with open(path, "wb") as f:
                f.write(body)
            jobs += [(path, args) for args in PATHS]
    start = time.monotonic()
    failures = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for problem in pool.map(lambda j: run(dump, *j), jobs):
            if problem:
                failures.append(problem)
    wall = time.monotonic() - start
    variants_count = len(jobs) // len(PATHS)
    print(f"sweep: {variants_count} variants, {len(jobs)} runs, {wall:.1f} s")
    for problem in failures:
        print("FAIL:", problem)
    print(f"{len(jobs) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
