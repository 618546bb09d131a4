#!/usr/bin/env python3
"""velmor-dump series --files on real folder trees agrees with pydicom: the
same series with the same fields and image counts, each with the same files,
in slice order (along the normal) or else by Instance Number.

A DICOMDIR given, or found at the top of a folder given, stands for its
folder: then pydicom's reading of its directory records is expected, and
each file the records name that the folder lacks is listed on standard error
as missing.

usage: series_cli_test.py VELMOR_DUMP PATH...
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
from pydicom.fileset import FileSet

MEDIA_STORAGE_DIRECTORY = "1.2.840.10008.1.3.10"
warnings.simplefilter("ignore")  # pydicom on DICOMDIRs and on files they name that are gone


def text(value):
    return "" if value is None else str(value).rstrip(" \0")


def series_key(patient, study, series):
    return (text(patient.get("PatientID")), text(study.get("StudyInstanceUID")),
            text(series.get("SeriesInstanceUID")), text(series.get("SeriesNumber")),
            text(series.get("Modality")), text(series.get("SeriesDescription")))


def is_dicomdir(path):
    try:
        meta = pydicom.filereader.read_file_meta_info(path)
    except (InvalidDicomError, OSError):
        return False
    return text(meta.get("MediaStorageSOPClassUID")) == MEDIA_STORAGE_DIRECTORY


def dicomdir_of(path):
    """The DICOMDIR that stands for the path, or None."""
    if os.path.isfile(path):
        return path if is_dicomdir(path) else None
    for name in sorted(os.listdir(path)):
        candidate = os.path.join(path, name)
        if name.upper() == "DICOMDIR" and os.path.isfile(candidate) and is_dicomdir(candidate):
            return candidate
    return None


def expect_files(folder, expected):
    for top, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(top, name)
            try:
                ds = pydicom.dcmread(path, stop_before_pixels=True)
            except (InvalidDicomError, EOFError):
                continue
            if "SeriesInstanceUID" in ds:
                expected.setdefault(series_key(ds, ds, ds), []).append((path, ds))


def expect_records(dicomdir, expected, missing):
    """The records of the DICOMDIR whose files exist, each with its own record
    for the order, and the paths of the files named but absent."""
    ds = pydicom.dcmread(dicomdir)
    folder = os.path.dirname(dicomdir)
    for record in ds.DirectoryRecordSequence:
        if "ReferencedFileID" in record:
            components = record.ReferencedFileID
            components = [components] if isinstance(components, str) else list(components)
            path = os.path.join(folder, *components)
            if not os.path.exists(path):
                missing.add(os.path.realpath(path))
    for instance in FileSet(ds):
        series = instance.node.parent
        study = series.parent
        patient = study.parent
        key = series_key(patient._record, study._record, series._record)
        expected.setdefault(key, []).append((os.fspath(instance.path), instance.node._record))


def order(items):
    """The paths of (path, dataset) pairs in display order."""
    datasets = [ds for _, ds in items]

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
    ordered = [item for _, item in sorted(zip(keys, items), key=lambda pair: pair[0])]
    return [os.path.realpath(path) for path, ds in ordered for _ in range(int(ds.get("NumberOfFrames") or 1))]


def check(velmor_dump, paths):
    """The series velmor-dump series --files lists for the paths, and how it
    departs from pydicom's reading of them."""
    expected = {}
    missing = set()
    for path in paths:
        dicomdir = dicomdir_of(path)
        if dicomdir:
            expect_records(dicomdir, expected, missing)
        else:
            expect_files(path, expected)

    run = subprocess.run([velmor_dump, "series", "--files", *paths], capture_output=True, text=True)
    failures = []
    if run.returncode != 0:
        failures.append(f"exit status {run.returncode}: {run.stderr}")
    found = {}
    current = None
    for line in run.stdout.splitlines():
        if line.startswith("\t"):
            found[current][1].append(os.path.realpath(line[1:].split("\t")[0]))
        else:
            *fields, count = line.split("\t")
            current = tuple(fields)
            found[current] = (int(count), [])

    if set(found) != set(expected):
        failures.append(f"series differ: only velmor-dump {set(found) - set(expected)}, "
                        f"only pydicom {set(expected) - set(found)}")
    for key in set(found) & set(expected):
        count, files = found[key]
        frames = sum(int(ds.get("NumberOfFrames") or 1) for _, ds in expected[key])
        if count != frames or len(files) != frames:
            failures.append(f"{key[2]}: {count} images, {len(files)} lines, pydicom {frames}")
        elif files != order(expected[key]):
            failures.append(f"{key[2]}: order {files}, pydicom {order(expected[key])}")
    if not found:
        failures.append("no series")
    # Every skipped file has its line on standard error; the missing ones say so.
    listed_missing = set()
    for line in run.stderr.splitlines():
        if not line.startswith("velmor-dump: "):
            failures.append(f"stray standard error line: {line}")
        elif line.endswith(": missing: named by DICOMDIR"):
            listed_missing.add(os.path.realpath(line[len("velmor-dump: "):-len(": missing: named by DICOMDIR")]))
    if listed_missing != missing:
        failures.append(f"missing files: velmor-dump {sorted(listed_missing)}, pydicom {sorted(missing)}")
    return found, failures


def main(velmor_dump, paths):
    found, failures = check(velmor_dump, paths)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(found)} series, {len(failures)} failed")
    return 1 if failures else 0


def made_folder():
    scratch = tempfile.mkdtemp(prefix="velmor_series_")
    folder = os.path.join(scratch, "study")
    maker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_series_folder.py")
    subprocess.run([sys.executable, maker, folder, os.path.join(scratch, "manifest.tsv")], check=True)
    return scratch, folder


if __name__ == "__main__":
    if sys.argv[2:] == ["--made"]:
        scratch, folder = made_folder()
        try:
            status = main(sys.argv[1], [folder])
        finally:
            shutil.rmtree(scratch)
        sys.exit(status)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
