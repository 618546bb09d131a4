"""Video elementary streams wrapped in DICOM files, for the video tests and
the benchmark: the stream split into fragments of even length (the last one
padded with a zero byte), after an empty Basic Offset Table."""
import struct

import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import UID, generate_uid

MPEG2, H264, HEVC = "1.2.840.10008.1.2.4.100", "1.2.840.10008.1.2.4.102", "1.2.840.10008.1.2.4.107"
HEVC_MAIN_10 = "1.2.840.10008.1.2.4.108"


def item(value):
    return b"\xfe\xff\x00\xe0" + struct.pack("<I", len(value)) + value


def encapsulate_stream(stream, fragment_size=None):
    """The Pixel Data value: an empty offset table, then the stream in one
    fragment or in fragments of `fragment_size` (even) bytes."""
    if len(stream) % 2:
        stream += b"\0"
    size = fragment_size or len(stream)
    fragments = [stream[at:at + size] for at in range(0, len(stream), size)]
    return item(b"") + b"".join(item(f) for f in fragments) + b"\xfe\xff\xdd\xe0\0\0\0\0"


def write_video_file(path, stream, syntax, columns, rows, frames=None, fragment_size=None, frame_time=None):
    """A multi-frame secondary capture image holding `stream`; `frames` None
    leaves Number of Frames out."""
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7.4"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = UID(syntax)
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.PatientName = "Video^Fixture"
    ds.SamplesPerPixel = 3
    ds.PhotometricInterpretation = "YBR_PARTIAL_420"
    ds.PlanarConfiguration = 0
    ds.Rows, ds.Columns = rows, columns
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 8, 8, 7, 0
    if frames is not None:
        ds.NumberOfFrames = frames
    if frame_time is not None:
        ds.FrameTime = frame_time
    ds.PixelData = encapsulate_stream(stream, fragment_size)
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    ds.is_little_endian, ds.is_implicit_VR = True, False
    pydicom.dcmwrite(path, ds, write_like_original=False)
