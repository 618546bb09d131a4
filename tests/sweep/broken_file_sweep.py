#!/usr/bin/env python3
"""Broken-file sweep: every real sample file, cut short at many lengths and
with bytes flipped at seeded random positions, through five velmor-dump
commands (report, elements, pixels, json with every value inline, xml), run
in process by sweep_runner (one process per core, so a sanitizer build
starts a few times, not once a run).
Each run must end inside the time cap with status 0, 1 or 2, say something
on standard error when it fails, and never trip a sanitizer.

Cuts: every 64 bytes through the header (up to the Pixel Data tag; a file
without pixel data counts its first 8 KB as header and the rest as bulk
data), then a spread through the pixel or bulk data. Flips: seeded, 1 to 4
bytes set to random values per variant. Deflated files (image_dfl.dcm and
dcmconv +td of two samples) show no Pixel Data tag, so their cuts and flips
fall in the compressed stream.

usage: broken_file_sweep.py SWEEP_RUNNER SAMPLE_DIR WORK_DIR
"""
import concurrent.futures
import os
import random
import shutil
import subprocess
import sys
import time

TIME_CAP = 20  # seconds per run, generous for sanitizer builds
HEADER_STEP = 64
MAX_HEADER_CUTS = 128  # 8 KB: more than any real header here
PIXEL_CUTS = 6
FLIP_VARIANTS = 6
COMMANDS = ("report", "elements", "pixels", "json", "xml")
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


def run_chunk(runner, jobs):
    """Runs jobs (path, command) through sweep_runner processes, one after
    another: a process that dies on a job is reported with that job and a
    fresh one takes the jobs after it."""
    problems = []
    pending = list(jobs)
    while pending:
        feed = "".join(f"{command}\t{path}\n" for path, command in pending)
        p = subprocess.run([runner, str(TIME_CAP)], input=feed.encode(), capture_output=True)
        begun, done = None, set()
        for line in p.stdout.decode("utf-8", "replace").splitlines():
            word, _, rest = line.partition(" ")
            n, _, reason = rest.partition(" ")
            if word == "begin":
                begun = int(n)
            elif word == "ok":
                done.add(int(n))
            elif word == "fail":
                done.add(int(n))
                path, command = pending[int(n)]
                problems.append(f"{command} {path}: {reason}")
            elif word == "timeout":
                done.add(int(n))
                path, command = pending[int(n)]
                problems.append(f"{command} {path}: no answer within {TIME_CAP}s")
        err = p.stderr.decode("utf-8", "replace")
        if begun is not None and begun not in done:
            path, command = pending[begun]
            problems.append(f"{command} {path}: sanitizer report or signal {p.returncode}\n{err[-2000:]}")
            done.add(begun)
        elif p.returncode != 0 and len(done) == len(pending):
            problems.append(f"sweep_runner ended with status {p.returncode} after its jobs\n{err[-2000:]}")
        elif "Sanitizer" in err or "runtime error" in err:
            problems.append(f"sanitizer report\n{err[-2000:]}")
        if not done:
            problems.append(f"sweep_runner ran no job: status {p.returncode}\n{err[-2000:]}")
            break
        pending = pending[max(done) + 1 :]
    return problems


def deflated_sources(samples, work):
    """Deflated files beside image_dfl.dcm: dcmconv +td of a few samples."""
    made = []
    for name in DEFLATE_SOURCES:
        out = os.path.join(work, name.replace(".dcm", ".dfl.dcm"))
        if subprocess.run(["dcmconv", "+td", os.path.join(samples, name), out], capture_output=True).returncode == 0:
            made.append(out)
    return made


def main():
    runner, samples, work = sys.argv[1:4]
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
            jobs += [(path, command) for command in COMMANDS]
    start = time.monotonic()
    failures = []
    workers = os.cpu_count() or 2
    chunks = [jobs[k::workers] for k in range(workers)]
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        for problems in pool.map(lambda chunk: run_chunk(runner, chunk), chunks):
            failures += problems
    wall = time.monotonic() - start
    shutil.rmtree(work, ignore_errors=True)
    variants_count = len(jobs) // len(COMMANDS)
    print(f"sweep: {variants_count} variants, {len(jobs)} runs, {wall:.1f} s")
    for problem in failures:
        print("FAIL:", problem)
    print(f"{len(jobs) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
