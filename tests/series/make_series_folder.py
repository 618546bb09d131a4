#!/usr/bin/python3
"""Writes a test folder of series from pydicom's real files, and a manifest
of each series' images in the order a viewer must show them.

usage: make_series_folder.py OUT MANIFEST

Two patients. "Oblique MR": eight slices tilted 30 degrees, their Instance
Numbers against the order along the normal. "Localizer": two axial images
and a sagittal one (Instance Number order). "CT steps": no position on one
file, a three-frame file among them (Instance Number order, frames in place).
Names are shuffled, without extensions, in nested folders shared by the
series; junk, an empty file and a symbolic link loop lie among them."""
import math
import os
import random
import sys

from pydicom import dcmread
from pydicom.data import get_testdata_file
from pydicom.uid import generate_uid

out, manifest_path = sys.argv[1:3]
rng = random.Random(23)
folders = ["d1", "d1/d2", "d3"]
for f in folders:
    os.makedirs(os.path.join(out, f), exist_ok=True)
used = set()


def place():
    while True:
        name = "%08X" % rng.getrandbits(32)
        if name not in used:
            used.add(name)
            return os.path.join(out, rng.choice(folders), name)


def new(source, patient, study, series_uid, description, number):
    ds = dcmread(get_testdata_file(source))
    ds.PatientName, ds.PatientID = patient
    ds.StudyInstanceUID = study
    ds.SeriesInstanceUID = series_uid
    ds.SeriesDescription = description
    ds.SeriesNumber = number
    ds.SOPInstanceUID = generate_uid()
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    for name in ("ImagePositionPatient", "ImageOrientationPatient", "InstanceNumber"):
        if name in ds:
            delattr(ds, name)
    return ds


manifest = []
alpha, beta = ("Alpha^One", "A1"), ("Beta^Two", "B2")
study_a, study_b = generate_uid(), generate_uid()

# Oblique MR: normal (0, 0.5, 0.866); each slice shifted in plane so that z alone misleads.
uid = generate_uid()
c, s = math.cos(math.radians(30)), math.sin(math.radians(30))
orientation = [1, 0, 0, 0, c, -s]
normal = [0, s, c]
rows = []
for i in range(8):
    ds = new("MR_small.dcm", alpha, study_a, uid, "Oblique MR", 1)
    along = 4.0 * i
    shift = -9.0 * i  # along the row direction (0, c, -s)
    ds.ImageOrientationPatient = orientation
    ds.ImagePositionPatient = [round(along * normal[k] + shift * orientation[3 + k], 4) for k in range(3)]
    ds.InstanceNumber = (3 * i) % 8 + 1
    path = place()
    ds.save_as(path, write_like_original=False)
    rows.append(path)
manifest += [("Oblique MR", p, 0, alpha[0]) for p in rows]

# Localizer: three orientations would be one too many; Instance Number rules.
uid = generate_uid()
items = []
for number, orient, pos in ((3, [1, 0, 0, 0, 1, 0], [0, 0, 10]), (1, [0, 1, 0, 0, 0, -1], [0, 0, 0]),
                            (2, [1, 0, 0, 0, 1, 0], [0, 0, -10])):
    ds = new("MR_small.dcm", alpha, study_a, uid, "Localizer", 2)
    ds.ImageOrientationPatient, ds.ImagePositionPatient, ds.InstanceNumber = orient, pos, number
    path = place()
    ds.save_as(path, write_like_original=False)
    items.append((number, path))
manifest += [("Localizer", p, 0, alpha[0]) for _, p in sorted(items)]

# CT steps: one file without a position, one file of three frames.
uid = generate_uid()
items = []
for number in (4, 1, 3, 2):
    ds = new("CT_small.dcm", beta, study_b, uid, "CT steps", 5)
    ds.InstanceNumber = number
    if number != 2:
        ds.ImageOrientationPatient, ds.ImagePositionPatient = [1, 0, 0, 0, 1, 0], [0, 0, number]
    if number == 3:
        ds.NumberOfFrames = 3
        ds.PixelData = ds.PixelData * 3
    path = place()
    ds.save_as(path, write_like_original=False)
    items.append((number, path))
for number, path in sorted(items):
    frames = [1, 2, 3] if number == 3 else [0]
    manifest += [("CT steps", path, f, beta[0]) for f in frames]

with open(os.path.join(out, "d1", "notes.txt"), "w") as f:
    f.write("not a DICOM file\n" * 20)
open(os.path.join(out, "d3", "empty"), "wb").close()
os.symlink(out, os.path.join(out, "d1", "d2", "loop"))

with open(manifest_path, "w") as f:
    for row in manifest:
        f.write("\t".join(str(x) for x in row) + "\n")
