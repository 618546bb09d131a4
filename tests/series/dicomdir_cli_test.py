#!/usr/bin/env python3
"""velmor-dump series on a medium with a DICOMDIR made by DCMTK's dcmmkdir
(CT/MR profile: positions in the image records) from CT and MR copies that
pydicom writes with new UIDs, one referenced file then removed: the DICOMDIR
given, and the folder holding it, list what pydicom reads from the records,
the removed file as missing.

usage: dicomdir_cli_test.py VELMOR_DUMP
"""
import os
import subprocess
import sys
import tempfile

import pydicom
from pydicom.uid import generate_uid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import series_cli_test  # noqa: E402

SAMPLES = os.path.join(os.environ.get("VELMOR_PYDICOM_DATA", "/usr/lib/python3/dist-packages/pydicom/data"),
                       "test_files")


def write_copy(source, path, patient, study, series, number, instance, z):
    ds = pydicom.dcmread(os.path.join(SAMPLES, source))
    ds.PatientID, ds.PatientName = patient, "Doe^" + patient
    ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.SeriesNumber = study, series, number
    # dcmmkdir wants the study's fields alike in all its files.
    ds.StudyDate, ds.StudyTime, ds.StudyID, ds.AccessionNumber = "20240102", "101010", "1", "7"
    ds.StudyDescription = "Study of " + patient
    ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID = generate_uid()
    ds.InstanceNumber = instance
    ds.ImagePositionPatient = [0, 0, z]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    ds.save_as(path, write_like_original=False)


def make_medium(root):
    """Two patients: a CT series whose positions run against its instance
    numbers and an MR series in one study, an MR series in another."""
    study, ct, mr = generate_uid(), generate_uid(), generate_uid()
    for i in range(4):
        write_copy("CT_small.dcm", os.path.join(root, "A", "CT", f"IM{i + 1}"), "PA", study, ct, 1, i + 1, 10 - 2.5 * i)
    for i in range(3):
        write_copy("MR_small.dcm", os.path.join(root, "A", "MR", f"IM{i + 1}"), "PA", study, mr, 2, 3 - i, 5 * i)
    study, mr = generate_uid(), generate_uid()
    for i in range(2):
        write_copy("MR_small.dcm", os.path.join(root, "B", "MR", f"IM{i + 1}"), "PB", study, mr, 1, i + 1, i)
    subprocess.run(["dcmmkdir", "-q", "-Pcm", "+r", "+I", "-Nrc", "-Nec", "+D", "DICOMDIR", "A", "B"], cwd=root,
                   check=True)
    os.remove(os.path.join(root, "A", "CT", "IM3"))


def main(velmor_dump):
    failures = []
    with tempfile.TemporaryDirectory() as root:
        make_medium(root)
        for paths in ([os.path.join(root, "DICOMDIR")], [root]):
            found, failed = series_cli_test.check(velmor_dump, paths)
            failures += [f"{paths[0]}: {f}" for f in failed]
            if len(found) != 3:
                failures.append(f"{paths[0]}: {len(found)} series, not 3")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
