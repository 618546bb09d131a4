#!/usr/bin/env python3
"""Writes a Comprehensive 3D SR with pydicom whose content tree reaches every
value type, a by-reference relationship, a NUM without a value and text in
Japanese, for velmor-dump sr against dsrdump. The text is written in
ISO 2022 IR 87 (jis) or in UTF-8 (utf-8): the same tree for a reader that
decodes the first and a peer that decodes only the second.

usage: make_report.py OUT jis|utf-8
"""
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

SOP_CLASS = "1.2.840.10008.5.1.4.1.1.88.34"


def code(value, meaning, scheme="99TEST"):
    c = Dataset()
    c.CodeValue, c.CodingSchemeDesignator, c.CodeMeaning = value, scheme, meaning
    return c


def item(relationship, value_type, name, **values):
    d = Dataset()
    d.RelationshipType = relationship
    d.ValueType = value_type
    if name:
        d.ConceptNameCodeSequence = [code(*name)]
    for keyword, value in values.items():
        setattr(d, keyword, value)
    return d


def reference(sop_class, instance, **values):
    d = Dataset()
    d.ReferencedSOPClassUID, d.ReferencedSOPInstanceUID = sop_class, instance
    for keyword, value in values.items():
        setattr(d, keyword, value)
    return d


def measured(number, unit):
    m = Dataset()
    m.NumericValue = number
    m.MeasurementUnitsCodeSequence = [code(unit, unit, "UCUM")]
    return m


def build(path, charset):
    ds = Dataset()
    ds.SpecificCharacterSet = ["", "ISO 2022 IR 87"] if charset == "jis" else "ISO_IR 192"
    ds.SOPClassUID, ds.SOPInstanceUID = SOP_CLASS, "1.2.3.4.5.6.7"
    ds.StudyInstanceUID, ds.SeriesInstanceUID = "1.2.3.4.5.6", "1.2.3.4.5.6.8"
    ds.Modality, ds.PatientName, ds.PatientID = "SR", "ヤマダ^タロウ", "SR1"
    ds.CompletionFlag, ds.VerificationFlag = "COMPLETE", "UNVERIFIED"
    ds.ContentDate, ds.ContentTime = "20260101", "120000"
    ds.ValueType, ds.ContinuityOfContent = "CONTAINER", "SEPARATE"
    ds.ConceptNameCodeSequence = [code("R1", "所見報告")]
    finding = item("CONTAINS", "TEXT", ("T1", "所見"), TextValue="肺に結節あり。\r\n経過観察")
    size = item("CONTAINS", "NUM", ("N1", "Diameter"), MeasuredValueSequence=[measured("12.5", "mm")])
    size.ContentSequence = [item("INFERRED FROM", "SCOORD", ("S1", "Outline"), GraphicType="POLYLINE",
                                 GraphicData=[1.5, 2.0, 10.25, 20.0, 30.0, 2.0])]
    missing = item("CONTAINS", "NUM", ("N2", "Volume"), MeasuredValueSequence=[],
                   NumericValueQualifierCodeSequence=[code("114006", "Measurement failure", "DCM")])
    image = item("CONTAINS", "IMAGE", ("I1", "Key image"),
                 ReferencedSOPSequence=[reference("1.2.840.10008.5.1.4.1.1.2", "1.2.3.9", ReferencedFrameNumber=[3, 7])])
    by_reference = Dataset()
    by_reference.RelationshipType = "INFERRED FROM"
    by_reference.ReferencedContentItemIdentifier = [1, 3]
    image.ContentSequence = [by_reference]
    ds.ContentSequence = [
        item("HAS OBS CONTEXT", "PNAME", ("P1", "Observer"), PersonName="ヤマダ^タロウ"),
        finding,
        size,
        missing,
        item("CONTAINS", "CODE", ("C1", "Site"), ConceptCodeSequence=[code("39607008", "Lung", "SCT")]),
        item("CONTAINS", "DATE", ("D1", "Date"), Date="20260102"),
        item("CONTAINS", "TIME", ("D2", "Time"), Time="101010"),
        item("CONTAINS", "DATETIME", ("D3", "DateTime"), DateTime="20260102101010"),
        item("CONTAINS", "UIDREF", ("U1", "Study"), UID="1.2.3.4.5.6"),
        image,
        item("CONTAINS", "SCOORD3D", ("S3", "Point"), GraphicType="POINT", GraphicData=[1.0, 2.0, 3.5],
             ReferencedFrameOfReferenceUID="1.2.3.4.5.6.9"),
        item("CONTAINS", "TCOORD", ("T2", "When"), TemporalRangeType="POINT", ReferencedSamplePositions=[42]),
        item("CONTAINS", "WAVEFORM", ("W1", "ECG"),
             ReferencedSOPSequence=[reference("1.2.840.10008.5.1.4.1.1.9.1.1", "1.2.3.10",
                                              ReferencedWaveformChannels=[1, 2])]),
        item("CONTAINS", "COMPOSITE", ("X1", "Prior"),
             ReferencedSOPSequence=[reference("1.2.840.10008.5.1.4.1.1.88.11", "1.2.3.11")]),
    ]
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = SOP_CLASS
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)


if __name__ == "__main__":
    build(sys.argv[1], sys.argv[2])
