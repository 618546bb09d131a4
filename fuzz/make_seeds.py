#!/usr/bin/python3
"""Seed corpora for the fuzz targets from pydicom's sample files and from
files the peer encoders make of them.

Whole files seed the reader, extraction and header-walk targets, and
(after a byte that picks a frame) the display target, with files made from
MR_small.dcm that carry each input of the display stages; the RLE,
lossless JPEG and codec targets get single fragments with the small prefix
their harness reads (slot size, depth; for the codecs one byte of Bits
Allocated, Pixel Representation and photometric interpretation); the inflate
view target gets the compressed data sets of deflated files; the JPEG XL
codec target gets codestreams cjxl makes of the samples.

usage: make_seeds.py OUTDIR
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

import pydicom
from pydicom.encaps import generate_pixel_data_frame

SAMPLES = "/usr/lib/python3/dist-packages/pydicom/data/test_files"
CHARSETS = "/usr/lib/python3/dist-packages/pydicom/data/charset_files"
RLE = "1.2.840.10008.1.2.5"
LOSSLESS = ("1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70")
DCT = ("1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51")
DEFLATED = b"1.2.840.10008.1.2.1.99"
WHOLE_FILE_TARGETS = ("reader_walk", "single", "header_walk", "series", "view_attributes", "browser", "model",
                      "document")
CODEC_TARGETS = {
    "1.2.840.10008.1.2.4.50": "jpeg_codec",
    "1.2.840.10008.1.2.4.51": "jpeg_codec",
    "1.2.840.10008.1.2.4.80": "jpegls_codec",
    "1.2.840.10008.1.2.4.81": "jpegls_codec",
    "1.2.840.10008.1.2.4.90": "jpeg2000_codec",
    "1.2.840.10008.1.2.4.91": "jpeg2000_codec",
}
PHOTOMETRIC = ["MONOCHROME2", "MONOCHROME1", "PALETTE COLOR", "RGB", "HSV", "ARGB", "CMYK", "UNKNOWN",
               "YBR_FULL", "YBR_FULL_422", "YBR_PARTIAL_420", "YBR_RCT", "YBR_ICT"]
MAX_SEED = 256 * 1024

# Uncompressed sources the peers re-encode: 16-bit signed, 8-bit gray,
# 8-bit RGB (interleaved and odd-sized), 32-bit dose, several frames.
PEER_SOURCES = ("CT_small.dcm", "MR_small.dcm", "image_dfl.dcm", "SC_rgb_small_odd.dcm",
                "SC_rgb_dcmtk_+eb+cr.dcm", "rtdose_1frame.dcm", "liver_1frame.dcm")


def peer_encoded(tmp):
    """Files written by dcmcjpeg (lossless, two predictors) and dcmcrle."""
    made = []
    for name in PEER_SOURCES:
        src = os.path.join(SAMPLES, name)
        if not os.path.exists(src):
            continue
        commands = [(f"{name}.sv1.dcm", ["dcmcjpeg", "+e1"]),
                    (f"{name}.sv7.dcm", ["dcmcjpeg", "+el", "+sv", "7"]),
                    (f"{name}.rle.dcm", ["dcmcrle"]),
                    (f"{name}.fragments.dcm", ["dcmcjpeg", "+e1", "+fs", "1", "-ot"]),
                    (f"{name}.ee.dcm", ["dcmcjpeg", "+ee"]),
                    (f"{name}.eb.dcm", ["dcmcjpeg", "+eb"]),
                    (f"{name}.eb420.dcm", ["dcmcjpeg", "+eb", "+cy", "+s2"]),
                    (f"{name}.jls.dcm", ["dcmcjpls", "+en"]),
                    (f"{name}.j2k.dcm", ["gdcmconv", "--j2k"]),
                    (f"{name}.j2kq.dcm", ["gdcmconv", "--j2k", "--lossy", "-q", "30"]),
                    (f"{name}.gdcmjls.dcm", ["gdcmconv", "--jpegls"]),
                    (f"{name}.dfl.dcm", ["dcmconv", "+td"])]
        for out_name, command in commands:
            dst = os.path.join(tmp, out_name)
            if subprocess.run(command + [src, dst], capture_output=True).returncode == 0:
                made.append(dst)
    return made


def jpegxl_seeds(out, tmp):
    """cjxl codestreams (lossless, lossy, boxed) of 8- and 16-bit gray and
    8-bit RGB samples, and of a real JPEG frame recompressed, with the codec
    harness's prefix byte."""
    import numpy as np
    target = os.path.join(out, "jpegxl_codec")
    os.makedirs(target, exist_ok=True)
    jpeg = os.path.join(tmp, "frame.jpg")
    with open(jpeg, "wb") as f:
        ds = pydicom.dcmread(os.path.join(SAMPLES, "SC_rgb_jpeg_dcmtk.dcm"))
        f.write(next(generate_pixel_data_frame(ds.PixelData, 1)))
    inputs = [(jpeg, 0 << 6 | PHOTOMETRIC.index("RGB"), [[]])]
    for name, width, photometric in (("MR_small.dcm", 1, "MONOCHROME2"), ("image_dfl.dcm", 0, "MONOCHROME2"),
                                      ("SC_rgb_small_odd.dcm", 0, "RGB")):
        pixels = pydicom.dcmread(os.path.join(SAMPLES, name)).pixel_array
        pnm = os.path.join(tmp, name + (".ppm" if pixels.ndim == 3 else ".pgm"))
        with open(pnm, "wb") as f:
            f.write(b"%s\n%d %d\n%d\n" % (b"P6" if pixels.ndim == 3 else b"P5", pixels.shape[1], pixels.shape[0],
                                           65535 if width else 255))
            f.write(pixels.astype(">u2" if width else "u1").tobytes())
        options = [["-d", "0"], ["-d", "2"], ["-d", "0", "--container", "1"], ["-d", "1", "-e", "3"]]
        inputs.append((pnm, width << 6 | PHOTOMETRIC.index(photometric), options))
    for source, prefix, options in inputs:
        for k, option in enumerate(options):
            stream = os.path.join(tmp, "seed.jxl")
            if subprocess.run(["cjxl", source, stream] + option, capture_output=True).returncode == 0:
                with open(stream, "rb") as f, open(os.path.join(target, f"{os.path.basename(source)}.{k}"), "wb") as g:
                    g.write(bytes([prefix]) + f.read())


def frame_bytes(ds):
    return ds.Rows * ds.Columns * ds.get("SamplesPerPixel", 1) * (ds.BitsAllocated // 8)


def fragment_seed(path, out):
    """The first frame of an RLE, lossless or DCT JPEG file, with the harness prefix."""
    try:
        ds = pydicom.dcmread(path)
        ts = str(ds.file_meta.TransferSyntaxUID)
        if ts != RLE and ts not in LOSSLESS and ts not in CODEC_TARGETS:
            return
        frame = next(generate_pixel_data_frame(ds.PixelData, int(ds.get("NumberOfFrames", 1) or 1)))
    except Exception:
        return
    if len(frame) > MAX_SEED:
        return
    size = frame_bytes(ds)
    base = os.path.basename(path)
    if ts in DCT:
        units = min((size + 15) // 16, 65535)  # the slot in 16-byte units
        with open(os.path.join(out, "dct", base), "wb") as f:
            f.write(bytes([units >> 8, units & 255]) + frame)
    if ts in CODEC_TARGETS:
        width = {8: 0, 16: 1, 32: 2}.get(ds.BitsAllocated, 1)
        name = str(ds.get("PhotometricInterpretation", "MONOCHROME2"))
        photometric = PHOTOMETRIC.index(name) if name in PHOTOMETRIC else 7
        prefix = bytes([width << 6 | (int(ds.get("PixelRepresentation", 0)) & 1) << 5 | photometric])
        target = os.path.join(out, CODEC_TARGETS[ts], base)
    elif ts == RLE:
        prefix = bytes([min(size // 64, 255), size % 64])
        target = os.path.join(out, "rle", base)
    else:
        bits = ds.get("SamplesPerPixel", 1) * ds.BitsAllocated
        depth = {8: 0, 16: 1, 24: 2}.get(bits, 1)
        size = min(size, 65535)
        prefix = bytes([depth, size >> 8, size & 255])
        target = os.path.join(out, "ljpeg", base)
    with open(target, "wb") as f:
        f.write(prefix + frame)


def frame_syntax_seeds(path, out):
    """The first frame of an uncompressed file, deflated and as it is, with the harness prefix."""
    try:
        ds = pydicom.dcmread(path)
        if ds.file_meta.TransferSyntaxUID.is_compressed or ds.BitsAllocated not in (8, 16, 32):
            return
        size = frame_bytes(ds)
        frame = ds.pixel_array.tobytes()[:size]
    except Exception:
        return
    if ds.Rows > 255 or ds.Columns > 255 or len(frame) != size or ds.get("SamplesPerPixel", 1) not in (1, 3):
        return
    width = {8: 0, 16: 1, 32: 2}[ds.BitsAllocated]
    colour = 0x10 if ds.get("SamplesPerPixel", 1) == 3 else 0
    for codec, data in ((0, zlib.compress(frame, 9, -15)), (0x80, frame)):
        prefix = bytes([codec | width << 5 | colour, ds.Rows, ds.Columns])
        with open(os.path.join(out, "frame_syntax_codec", f"{os.path.basename(path)}.{codec}"), "wb") as f:
            f.write(prefix + data)


def deflated_seed(path, out):
    """The compressed data set of a deflated file (after its meta group)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[128:132] != b"DICM" or data[132:136] != b"\x02\x00\x00\x00" or DEFLATED not in data[:1024]:
        return
    body = data[144 + struct.unpack("<I", data[140:144])[0]:]
    if 0 < len(body) <= MAX_SEED:
        with open(os.path.join(out, "inflate_view", os.path.basename(path)), "wb") as f:
            f.write(body)


def charset_seeds(out):
    """The charset target's input for each text value of the charset files:
    the (0008,0005) value, a line feed, a shape byte, the value's bytes."""
    os.makedirs(os.path.join(out, "charset"), exist_ok=True)
    shapes = {"LT": 1, "ST": 1, "UT": 1, "PN": 2}
    for name in sorted(os.listdir(CHARSETS)):
        if not name.endswith(".dcm"):
            continue
        ds = pydicom.dcmread(os.path.join(CHARSETS, name))
        if (0x0008, 0x0005) not in ds:
            continue
        charset = ds.SpecificCharacterSet
        declared = (charset if isinstance(charset, str) else "\\".join(charset)).encode()
        for tag in list(ds.keys()):
            raw = ds.get_item(tag)
            if raw.VR in ("LO", "LT", "PN", "SH", "ST", "UT") and isinstance(raw.value, bytes) and raw.value:
                seed = declared + b"\n" + bytes([shapes.get(raw.VR, 0)]) + raw.value
                with open(os.path.join(out, "charset", f"{name}.{int(tag):08X}"), "wb") as f:
                    f.write(seed)


def dicomdir_seeds(out, tmp):
    """pydicom's DICOMDIRs (explicit, implicit, big endian, reordered, without
    offsets, without patients, empty) and one that dcmmkdir's CT/MR profile
    makes of CT and MR copies, with positions and icon images in its records."""
    target = os.path.join(out, "dicomdir")
    os.makedirs(target, exist_ok=True)
    folder = os.path.join(SAMPLES, "dicomdirtests")
    for name in sorted(os.listdir(folder)):
        if name.startswith("DICOMDIR"):
            shutil.copy(os.path.join(folder, name), os.path.join(target, name))
    shutil.copy(os.path.join(folder, "TINY_ALPHA", "DICOMDIR"), os.path.join(target, "TINY_ALPHA"))
    medium = os.path.join(tmp, "medium")
    for k, (source, series) in enumerate((("CT_small.dcm", "CT"), ("MR_small.dcm", "MR"))):
        for i in range(2):
            ds = pydicom.dcmread(os.path.join(SAMPLES, source))
            ds.StudyInstanceUID, ds.SeriesInstanceUID = "1.2.3", f"1.2.3.{k + 1}"
            ds.StudyDate, ds.StudyTime, ds.StudyID, ds.AccessionNumber = "20240102", "101010", "1", "7"
            ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID = f"1.2.3.{k + 1}.{i + 1}"
            ds.InstanceNumber = i + 1
            path = os.path.join(medium, "A", series, f"IM{i + 1}")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            ds.save_as(path, write_like_original=False)
    subprocess.run(["dcmmkdir", "-q", "-Pcm", "+r", "+I", "-Nrc", "-Nec", "+D", "DICOMDIR", "A"], cwd=medium,
                   capture_output=True)
    if os.path.exists(os.path.join(medium, "DICOMDIR")):
        shutil.copy(os.path.join(medium, "DICOMDIR"), os.path.join(target, "dcmmkdir-ctmr"))


def view_attribute_seeds(out):
    """Headers the sample files lack: ultrasound regions in two byte orders and
    a mammogram (implicit VR) with detector spacing, magnification and a
    Modality LUT."""
    from pydicom.dataset import Dataset, FileMetaDataset
    from pydicom.sequence import Sequence
    from pydicom.uid import ExplicitVRBigEndian, ExplicitVRLittleEndian, ImplicitVRLittleEndian

    def header(modality, syntax):
        ds = Dataset()
        ds.file_meta = FileMetaDataset()
        ds.file_meta.TransferSyntaxUID = syntax
        ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
        ds.file_meta.MediaStorageSOPInstanceUID = "1.2.3.4"
        ds.is_little_endian = syntax != ExplicitVRBigEndian
        ds.is_implicit_VR = syntax == ImplicitVRLittleEndian
        ds.Modality = modality
        ds.Rows = ds.Columns = 4
        return ds

    def region(x0, y0, x1, y1, units, delta):
        r = Dataset()
        r.RegionLocationMinX0, r.RegionLocationMinY0 = x0, y0
        r.RegionLocationMaxX1, r.RegionLocationMaxY1 = x1, y1
        r.PhysicalUnitsXDirection = r.PhysicalUnitsYDirection = units
        r.PhysicalDeltaX, r.PhysicalDeltaY = delta, delta / 2
        return r

    made = []
    for name, syntax in (("ultrasound-regions-explicit-le", ExplicitVRLittleEndian),
                         ("ultrasound-regions-big-endian", ExplicitVRBigEndian)):
        ds = header("US", syntax)
        ds.SequenceOfUltrasoundRegions = Sequence([region(0, 0, 9, 9, 4, 0.5), region(10, 20, 300, 200, 3, 0.02)])
        ds.PixelSpacing = [0.3, 0.3]
        made.append((name, ds))
    ds = header("MG", ImplicitVRLittleEndian)
    ds.EstimatedRadiographicMagnificationFactor = 1.25
    ds.ImagerPixelSpacing = ds.PixelSpacing = [0.05, 0.05]
    lut = Dataset()
    lut.ModalityLUTType = "OD"
    ds.ModalityLUTSequence = Sequence([lut])
    ds.ImagePositionPatient = [1, 2, 3]
    ds.ImageOrientationPatient = [1, 0, 0, 0, 1, 0]
    ds.RescaleIntercept, ds.RescaleSlope, ds.RescaleType = -1024, 1, "HU"
    made.append(("mammogram-detector-spacing-implicit", ds))
    os.makedirs(os.path.join(out, "view_attributes"), exist_ok=True)
    for name, ds in made:
        ds.save_as(os.path.join(out, "view_attributes", name), write_like_original=False)


def display_files(tmp):
    """MR_small with a Modality LUT, a VOI LUT, several windows and a VOI LUT
    Function, Presentation LUT Shape INVERSE, and overlay planes in Overlay
    Data (one cut short, one of two frames) and in the high bits."""
    import numpy as np
    from pydicom.dataset import Dataset
    from pydicom.sequence import Sequence

    def lut(descriptor, data):
        item = Dataset()
        item.add_new(0x00283002, "US", descriptor)
        item.add_new(0x00283006, "OW", np.asarray(data, "<u2").tobytes())
        return item

    def overlay(ds, group, bits, frames=None):
        ds.add_new((group, 0x0010), "US", 64)
        ds.add_new((group, 0x0011), "US", 64)
        ds.add_new((group, 0x0050), "SS", [1, 1])
        ds.add_new((group, 0x0100), "US", 1)
        ds.add_new((group, 0x0102), "US", 0)
        if frames:
            ds.add_new((group, 0x0015), "IS", frames)
            ds.add_new((group, 0x0051), "US", 1)
        ds.add_new((group, 0x3000), "OW", bits)

    ring = np.packbits((np.add.outer(np.arange(64), np.arange(64)) % 9 == 0).ravel(), bitorder="little").tobytes()
    changes = {
        "modality_lut": lambda ds: setattr(ds, "ModalityLUTSequence", Sequence([lut([4096, 0, 16], np.arange(4096) * 9)])),
        "voi_lut": lambda ds: setattr(ds, "VOILUTSequence", Sequence([lut([0, 0, 12], np.arange(65536) % 4096)])),
        "windows": lambda ds: ds.update({"WindowCenter": [40, 600], "WindowWidth": [400, 1600],
                                          "WindowCenterWidthExplanation": ["A", "B"], "VOILUTFunction": "SIGMOID"}),
        "inverse": lambda ds: setattr(ds, "PresentationLUTShape", "INVERSE"),
        "overlay": lambda ds: overlay(ds, 0x6000, ring),
        "overlay_cut": lambda ds: overlay(ds, 0x6002, ring[:100]),
        "overlay_frames": lambda ds: overlay(ds, 0x6004, ring * 2, frames=2),
    }
    made = []
    for name, change in changes.items():
        ds = pydicom.dcmread(os.path.join(SAMPLES, "MR_small.dcm"))
        change(ds)
        path = os.path.join(tmp, f"display_{name}.dcm")
        ds.save_as(path, write_like_original=False)
        made.append(path)
    ds = pydicom.dcmread(os.path.join(SAMPLES, "MR_small.dcm"))
    ds.PixelRepresentation, ds.BitsStored, ds.HighBit = 0, 12, 11
    ds.PixelData = (ds.pixel_array.astype(np.uint16) | 0x8000).astype("<u2").tobytes()
    for element, value in ((0x0010, 64), (0x0011, 64), (0x0100, 16), (0x0102, 15)):
        ds.add_new((0x6000, element), "US", value)
    path = os.path.join(tmp, "display_high_bits.dcm")
    ds.save_as(path, write_like_original=False)
    return made + [path]


def document_seeds(out, tmp):
    """An encapsulated PDF (pdf2dcm) and a report that reaches every value
    type (tests/document/make_report.py) for the document target."""
    pdf = os.path.join(tmp, "seed.pdf")
    with open(pdf, "wb") as f:
        f.write(b"%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                b"2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n")
    subprocess.run(["pdf2dcm", pdf, os.path.join(out, "document", "pdf.dcm")], check=False)
    make_report = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "document", "make_report.py")
    subprocess.run([sys.executable, make_report, os.path.join(out, "document", "report.dcm"), "jis"], check=False)


def video_seeds(out, tmp):
    """Small streams of each video codec (32 x 32, six frames, a clean start
    every third), as Pixel Data values after the codec and size bytes."""
    def item(value):
        return b"\xfe\xff\x00\xe0" + struct.pack("<I", len(value)) + value

    for number, (encoder, extra) in enumerate((("mpeg2video", ["-bf", "1"]), ("libx264", []),
                                               ("libx265", ["-x265-params", "log-level=error:no-open-gop=1"]))):
        stream = os.path.join(tmp, f"seed.{encoder}")
        made = subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                               "testsrc2=size=32x32:rate=25:duration=0.24", "-c:v", encoder, "-g", "3",
                               "-pix_fmt", "yuv420p", *extra, "-f", "rawvideo", stream], check=False)
        if made.returncode != 0:
            continue
        with open(stream, "rb") as f:
            data = f.read()
        data += b"\0" * (len(data) % 2)
        half = len(data) // 4 * 2
        items = item(b"") + item(data[:half]) + item(data[half:]) + b"\xfe\xff\xdd\xe0\0\0\0\0"
        with open(os.path.join(out, "video_stream", encoder), "wb") as f:
            f.write(bytes([number, 0x80 | 3]) + items)


def dicomweb_seeds(out):
    """Answers of an archive: a QIDO-RS study list and a WADO-RS multipart
    body as Orthanc sent them, the JSON model of small samples, and a
    two-part body of samples; multipart seeds are fed whole and in pieces."""
    seeds = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
    json_dir, multipart_dir = os.path.join(out, "dicom_json"), os.path.join(out, "multipart")
    os.makedirs(json_dir, exist_ok=True)
    os.makedirs(multipart_dir, exist_ok=True)
    shutil.copy(os.path.join(seeds, "qido_studies.json"), json_dir)
    for name in ("CT_small.dcm", "MR_small.dcm", "rtplan.dcm", "test-SR.dcm", "nested_priv_SQ.dcm"):
        with open(os.path.join(json_dir, name + ".json"), "w") as f:
            f.write(pydicom.dcmread(os.path.join(SAMPLES, name)).to_json())
    with open(os.path.join(seeds, "wado_study.multipart"), "rb") as f:
        orthanc = f.read()
    parts = b""
    for name in ("rtplan.dcm", "MR_small.dcm"):
        with open(os.path.join(SAMPLES, name), "rb") as f:
            parts += b"--b\r\nContent-Type: application/dicom\r\n\r\n" + f.read() + b"\r\n"
    two = b'multipart/related; type="application/dicom"; boundary=b\n' + parts + b"--b--\r\n"
    for first in (0, 7, 200):
        for name, seed in (("orthanc", orthanc), ("two_parts", two)):
            with open(os.path.join(multipart_dir, f"{name}.{first}"), "wb") as f:
                f.write(bytes([first]) + seed)


def main(out):
    for sub in WHOLE_FILE_TARGETS + ("rle", "ljpeg", "dct", "frames", "inflate_view", "display", "frame_syntax_codec",
                                     "video_stream") + tuple(set(CODEC_TARGETS.values())):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    samples = [os.path.join(d, f) for d in (SAMPLES, CHARSETS) for f in sorted(os.listdir(d)) if f.endswith(".dcm")]
    with tempfile.TemporaryDirectory() as tmp:
        for path in samples + peer_encoded(tmp):
            if os.path.getsize(path) <= MAX_SEED:
                for sub in WHOLE_FILE_TARGETS:
                    shutil.copy(path, os.path.join(out, sub, os.path.basename(path)))
                # The frames target: frame 2 (the third) alone, every frame,
                # every frame into a sink, frames on demand from one source.
                with open(path, "rb") as f:
                    whole = f.read()
                for first in (2, 255, 254, 253):
                    name = f"{os.path.basename(path)}.{first}"
                    with open(os.path.join(out, "frames", name), "wb") as f:
                        f.write(bytes([first]) + whole)
            fragment_seed(path, out)
            deflated_seed(path, out)
            frame_syntax_seeds(path, out)
        for path in samples + display_files(tmp):
            if os.path.getsize(path) <= MAX_SEED:
                with open(path, "rb") as f:
                    whole = f.read()
                with open(os.path.join(out, "display", os.path.basename(path)), "wb") as f:
                    f.write(bytes([1]) + whole)
        dicomdir_seeds(out, tmp)
        document_seeds(out, tmp)
        jpegxl_seeds(out, tmp)
        video_seeds(out, tmp)
    charset_seeds(out)
    view_attribute_seeds(out)
    dicomweb_seeds(out)


if __name__ == "__main__":
    main(sys.argv[1])
