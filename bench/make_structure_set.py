#!/usr/bin/python3
"""Writes rtstruct_240k.dcm into DIR with pydicom (made once): an RT Structure
Set whose ROI Contour Sequence holds 24 ROIs of 1,428 contours each, every
contour an item of 7 elements (its image reference sequence, geometric type,
point count, number and 60 points of Contour Data) - some 240,000 elements.

usage: make_structure_set.py DIR
"""
import os
import sys

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

ROIS = 24
CONTOURS = 1428
POINTS = 60
CT_IMAGE = "1.2.840.10008.5.1.4.1.1.2"
RT_STRUCT = "1.2.840.10008.5.1.4.1.1.481.3"


def contour(roi, number, image_uid, rng):
    c = Dataset()
    ref = Dataset()
    ref.ReferencedSOPClassUID = CT_IMAGE
    ref.ReferencedSOPInstanceUID = image_uid
    c.ContourImageSequence = Sequence([ref])
    c.ContourGeometricType = "CLOSED_PLANAR"
    c.NumberOfContourPoints = POINTS
    c.ContourNumber = number
    angle = np.linspace(0, 2 * np.pi, POINTS, endpoint=False)
    radius = 40 + 10 * roi + rng.normal(0, 0.5, POINTS)
    xyz = np.stack([radius * np.cos(angle), radius * np.sin(angle), np.full(POINTS, -200.0 + 2.5 * number)], 1)
    c.ContourData = [f"{v:.4f}" for v in xyz.ravel()]
    return c


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "rtstruct_240k.dcm")
    if os.path.exists(path):
        return
    rng = np.random.default_rng(7)
    images = [generate_uid(prefix="1.2.826.0.1.3680043.8.498.") for _ in range(CONTOURS)]
    ds = Dataset()
    ds.SpecificCharacterSet = "ISO_IR 100"
    ds.SOPClassUID = RT_STRUCT
    ds.SOPInstanceUID = generate_uid()
    ds.Modality = "RTSTRUCT"
    ds.PatientName = "Bench^Structure Set"
    ds.PatientID = "BENCH"
    ds.StructureSetLabel = "Many contours"
    observations, rois, contours = [], [], []
    for r in range(ROIS):
        roi = Dataset()
        roi.ROINumber = r + 1
        roi.ROIName = f"ROI {r + 1}"
        roi.ROIGenerationAlgorithm = "MANUAL"
        rois.append(roi)
        rc = Dataset()
        rc.ReferencedROINumber = r + 1
        rc.ROIDisplayColor = [255, 10 * r, 0]
        rc.ContourSequence = Sequence([contour(r, n + 1, images[n], rng) for n in range(CONTOURS)])
        contours.append(rc)
        obs = Dataset()
        obs.ObservationNumber = r + 1
        obs.ReferencedROINumber = r + 1
        obs.RTROIInterpretedType = "ORGAN"
        observations.append(obs)
    ds.StructureSetROISequence = Sequence(rois)
    ds.ROIContourSequence = Sequence(contours)
    ds.RTROIObservationsSequence = Sequence(observations)
    ds.file_meta = FileMetaDataset()
    ds.file_meta.MediaStorageSOPClassUID = RT_STRUCT
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.save_as(path, write_like_original=False)


if __name__ == "__main__":
    main()
