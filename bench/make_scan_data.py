#!/usr/bin/python3
"""Writes the folder of the scan benchmark: SERIES series of IMAGES 512 x 512
CT images each, made from pydicom's CT_small.dcm (its picture tiled 4 x 4):
new study, series and instance UIDs, positions 1 mm apart along z, instance
numbers. The files have no extension and lie in a few nested folders
(patient/study/series, two series per study, two studies per patient), under
names that say nothing of their order. A folder already complete is kept.

usage: make_scan_data.py FOLDER [SERIES] [IMAGES]
"""
import os
import random
import sys

import numpy as np
import pydicom
from pydicom.uid import generate_uid

SOURCE = "/usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm"


def main(folder, series_count, images):
    done = folder.rstrip("/") + ".complete"  # beside the folder, not in it
    if os.path.exists(done):
        return
    ds = pydicom.dcmread(SOURCE)
    ds.PixelData = np.tile(ds.pixel_array, (4, 4)).tobytes()
    ds.Rows = ds.Columns = 512
    names = random.Random(1)
    studies = {}
    for s in range(series_count):
        patient, study = s // 4, s // 2
        ds.PatientID, ds.PatientName = f"SCAN{patient:03d}", f"Scan^Patient{patient}"
        ds.StudyInstanceUID = studies.setdefault(study, generate_uid())
        ds.SeriesInstanceUID = generate_uid()
        ds.SeriesNumber = s + 1
        ds.SeriesDescription = f"Axial {s + 1}"
        where = os.path.join(folder, f"P{patient:03d}", f"ST{study:03d}", f"SE{s:03d}")
        os.makedirs(where, exist_ok=True)
        for i in range(images):
            ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID = generate_uid()
            ds.InstanceNumber = i + 1
            ds.ImagePositionPatient = [-158.135803, -179.035797, -75.7 + i]
            name = f"{names.getrandbits(32):08X}"
            while os.path.exists(os.path.join(where, name)):
                name = f"{names.getrandbits(32):08X}"
            ds.save_as(os.path.join(where, name), write_like_original=False)
    open(done, "w").close()


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 20, int(sys.argv[3]) if len(sys.argv) > 3 else 250)
