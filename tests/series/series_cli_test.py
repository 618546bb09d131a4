#!/usr/bin/env python3
"""velmor-dump series --files on a real folder tree agrees with pydicom: the
same series with the same fields and image counts, each with the same files,
in slice order (along the normal) or else by Instance Number.

usage: series_cli_test.py VELMOR_DUMP FOLDER
       series_cli_test.py VELMOR_DUMP --made   (a folder make_series_folder.py writes)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import warnings

import pydicom
from pydicom.errors import InvalidDicomError

velmor_dump, folder = sys.argv[1:3]
if folder == "--made":
    scratch = tempfile.mkdtemp(prefix="velmor_series_")
    folder = os.path.join(scratch, "study")
    maker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_series_folder.py")
    subprocess.run([sys.executable, maker, folder, os.path.join(scratch, "manifest.tsv")], check=True)
    import atexit
    atexit.register(shutil.rmtree, scratch)
warnings.simplefilter("ignore")  # pydicom on the DICOMDIR files of the folder


def text(value):
    return "" if value is None else str(value).rstrip(" \0")


expected = {}
for top, _, names in os.walk(folder):
    for name in names:
        path = os.path.join(top, name)
        try:
            ds = pydicom.dcmread(path, stop_before_pixels=True)
        except (InvalidDicomError, EOFError):
            continue
        if "SeriesInstanceUID" not in ds:
            continue
        key = (text(ds.get("PatientID")), text(ds.StudyInstanceUID), text(ds.SeriesInstanceUID),
               text(ds.get("SeriesNumber")), text(ds.get("Modality")), text(ds.get("SeriesDescription")))
        expected.setdefault(key, []).append(ds)


def order(datasets):
    def normal(ds):
        r, c = ds.ImageOrientationPatient[:3], ds.ImageOrientationPatient[3:]
        return [r[1] * c[2] - r[2] * c[1], r[2] * c[0] - r[0] * c[2], r[0] * c[1] - r[1] * c[0]]

    instance = [int(ds.get("InstanceNumber") or 0) for ds in datasets]
    positioned = all("ImagePositionPatient" in ds and "ImageOrientationPatient" in ds for ds in datasets)
    if positioned and all(
        max(abs(float(a) - float(b)) for a, b in zip(ds.ImageOrientationPatient, datasets[0].ImageOrientationPatient))
        <= 1e-4 for ds in datasets
    ):
        keys = [(sum(float(p) * n for p, n in zip(ds.ImagePositionPatient, normal(ds))), i)
                for ds, i in zip(datasets, instance)]
    else:
        keys = [(i, 0) for i in instance]
    ordered = [ds for _, ds in sorted(zip(keys, datasets), key=lambda pair: pair[0])]
    return [ds.filename for ds in ordered for _ in range(int(ds.get("NumberOfFrames") or 1))]


run = subprocess.run([velmor_dump, "series", "--files", folder], capture_output=True, text=True)
failures = []
if run.returncode != 0:
    failures.append(f"exit status {run.returncode}: {run.stderr}")
found = {}
current = None
for line in run.stdout.splitlines():
    if line.startswith("\t"):
        found[current][1].append(line[1:].split("\t")[0])
    else:
        *fields, count = line.split("\t")
        current = tuple(fields)
        found[current] = (int(count), [])

if set(found) != set(expected):
    failures.append(f"series differ: only velmor-dump {set(found) - set(expected)}, "
                    f"only pydicom {set(expected) - set(found)}")
for key in set(found) & set(expected):
    count, files = found[key]
    frames = sum(int(ds.get("NumberOfFrames") or 1) for ds in expected[key])
    if count != frames or len(files) != frames:
        failures.append(f"{key[2]}: {count} images, {len(files)} lines, pydicom {frames}")
    elif files != order(expected[key]):
        failures.append(f"{key[2]}: order {files}, pydicom {order(expected[key])}")
if not found:
    failures.append("no series")
# Every skipped file has its line on standard error.
for line in run.stderr.splitlines():
    if not line.startswith("velmor-dump: "):
        failures.append(f"stray standard error line: {line}")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(found)} series, {len(failures)} failed")
sys.exit(1 if failures else 0)
