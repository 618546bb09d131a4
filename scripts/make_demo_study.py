#!/usr/bin/python3
"""Writes a small demo study from pydicom's test files into OUT (once):
one patient, one study, four series: a CT, an MR series of twelve slices
with positions, a colour image and a multi-frame dose grid. Files have no
extension and sit in nested folders, as on a CD."""
import os
import sys

import numpy as np
from pydicom import dcmread
from pydicom.data import get_testdata_file
from pydicom.uid import generate_uid

out = sys.argv[1]
if os.path.isdir(out):
    sys.exit(0)
tmp = out + ".partial"
study = generate_uid()


def write(ds, folder, name, description, series_uid):
    ds.PatientName = "Demo^Study"
    ds.PatientID = "DEMO-1"
    ds.StudyInstanceUID = study
    ds.StudyDate = "20260101"
    ds.StudyDescription = "Velmor demo"
    ds.SeriesInstanceUID = series_uid
    ds.SeriesDescription = description
    ds.SOPInstanceUID = generate_uid()
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    os.makedirs(os.path.join(tmp, folder), exist_ok=True)
    ds.save_as(os.path.join(tmp, folder, name), write_like_original=False)


ct = dcmread(get_testdata_file("CT_small.dcm"))
ct.SeriesNumber = 1
write(ct, "DICOM/CT", "IM0001", "Demo CT", generate_uid())

mr_uid = generate_uid()
for i in range(12):
    mr = dcmread(get_testdata_file("MR_small.dcm"))
    pixels = mr.pixel_array
    mr.PixelData = np.roll(pixels, i * 2, axis=1).astype(pixels.dtype).tobytes()
    mr.SeriesNumber = 2
    mr.InstanceNumber = 12 - i  # the positions, not the numbers, give the order
    mr.ImageOrientationPatient = [1, 0, 0, 0, 1, 0]
    mr.ImagePositionPatient = [0, 0, 5.0 * i]
    mr.SliceLocation = 5.0 * i
    write(mr, "DICOM/MR", "IM%04d" % (5 * i % 12 + 1), "Demo MR axial", mr_uid)

rgb = dcmread(get_testdata_file("SC_rgb_jpeg_dcmtk.dcm"))
rgb.SeriesNumber = 3
write(rgb, "DICOM/SC", "IM0001", "Demo colour", generate_uid())

dose = dcmread(get_testdata_file("rtdose.dcm"))
dose.SeriesNumber = 4
write(dose, "DICOM/RTDOSE", "IM0001", "Demo multi-frame dose", generate_uid())

os.rename(tmp, out)
