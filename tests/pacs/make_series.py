"""A series of `count` CT images made from pydicom's CT_small.dcm: one study,
one series, new instance UIDs and instance numbers, the slice moved along z.
Writes FOLDER/image_NNN.dcm and returns the paths."""
import os
import sys

import pydicom
from pydicom.uid import generate_uid

DATA = "/usr/lib/python3/dist-packages/pydicom/data/test_files"


def make_series(folder, count=50, patient="SERIES^FIFTY", study_date="20240315"):
    source = pydicom.dcmread(os.path.join(DATA, "CT_small.dcm"))
    study, series = generate_uid(), generate_uid()
    paths = []
    for n in range(count):
        ds = source.copy()
        uid = generate_uid()
        ds.SOPInstanceUID = uid
        ds.file_meta.MediaStorageSOPInstanceUID = uid
        ds.StudyInstanceUID, ds.SeriesInstanceUID = study, series
        ds.PatientName, ds.PatientID = patient, "VELMOR-50"
        ds.StudyDate = ds.SeriesDate = study_date
        ds.InstanceNumber = n + 1
        ds.ImagePositionPatient = [-158.1, -179.0, -75.7 + 2.5 * n]
        ds.SliceLocation = -75.7 + 2.5 * n
        path = os.path.join(folder, f"image_{n + 1:03d}.dcm")
        ds.save_as(path, write_like_original=False)
        paths.append(path)
    return paths, study, series


if __name__ == "__main__":
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    print("\n".join(make_series(folder)[0]))
