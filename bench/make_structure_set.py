#!/usr/bin/python3
"""Writes structure_set.dcm into DIR with pydicom: an RT Structure Set whose
ROI Contour Sequence holds 19,999 items of two contours each, about 240,000
element rows in the header walk (explicit VR little endian, defined lengths).
Nothing is written when the file is already there.

usage: make_structure_set.py DIR
"""
import os
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

ROIS = 19_999
STRUCTURE_SET = "1.2.840.10008.5.1.4.1.1.481.3"


def contour(roi, number):
    c = Dataset()
    c.ContourGeometricType = "CLOSED_PLANAR"
    c.NumberOfContourPoints = 4
    z = f"{number * 2.5:.1f}"
    c.ContourData = [f"-{roi % 97}.5", "20.25", z, "10.5", f"{roi % 89}.25", z, "10.5", "-20.25", z,
                     "-10.5", "-20.25", z]
    return c


def structure_set():
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = STRUCTURE_SET
    meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.7"
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.SpecificCharacterSet = "ISO_IR 100"
    ds.SOPClassUID = STRUCTURE_SET
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "RTSTRUCT"
    ds.PatientName = "Many^Contours"
    ds.PatientID = "BENCH-240K"
    ds.StructureSetLabel = "bench"
    rois = []
    for n in range(ROIS):
        roi = Dataset()
        roi.ROIDisplayColor = [255, n % 256, 0]
        roi.ContourSequence = Sequence([contour(n, 2 * n), contour(n, 2 * n + 1)])
        roi.ReferencedROINumber = n + 1
        rois.append(roi)
    ds.ROIContourSequence = Sequence(rois)
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    return ds


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "structure_set.dcm")
    if not os.path.exists(path):
        structure_set().save_as(path + ".part", write_like_original=False)
        os.replace(path + ".part", path)


if __name__ == "__main__":
    main()
