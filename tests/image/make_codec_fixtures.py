#!/usr/bin/python3
"""Writes the fixtures of the codec tests into OUT_DIR.

The real files of pydicom's test set in a compressed transfer syntax are
decoded by a peer (dcmdjpeg, dcmdjpls, gdcmconv --raw); real uncompressed
files are encoded by the peers (dcmcjpeg, dcmcjpls, gdcmconv) and decoded
again by them; HTJ2K files are made from ojph_compress codestreams wrapped in
a DICOM file here. Each case's expected pixels are the peer's decoded Pixel
Data (the uncompressed original for HTJ2K).

codec_manifest.txt has one tab-separated line per case:
  GROUP  KIND  DICOM_FILE  EXPECTED_PIXELS  BYTES_PER_SAMPLE  PHOTOMETRIC  PLANAR
Deflated and encapsulated uncompressed files are written here from real
multi-frame files, each frame deflated (raw deflate) or put native in its own
fragment; their expected pixels are pydicom's decoding of the source.
KIND is "match" (byte for byte) or "near" (lossy: within 2 on every sample,
within 1 on 99.9 % of them); PHOTOMETRIC and PLANAR are what the peer wrote.
"""
import os
import subprocess
import sys
import warnings
import zlib

import numpy as np
import pydicom
from pydicom.encaps import encapsulate
from pydicom._uid_dict import UID_dictionary
from pydicom.uid import UID

warnings.simplefilter("ignore")

# The HTJ2K syntaxes, for a pydicom that does not know them yet.
UID_dictionary.setdefault("1.2.840.10008.1.2.4.201", ("HTJ2K Lossless", "Transfer Syntax", "", "", "HTJ2KLossless"))
UID_dictionary.setdefault("1.2.840.10008.1.2.4.203", ("HTJ2K", "Transfer Syntax", "", "", "HTJ2K"))
# The frame syntaxes too.
UID_dictionary.setdefault("1.2.840.10008.1.2.8.1", ("Deflated Image Frame Compression", "Transfer Syntax", "", "",
                                                    "DeflatedImageFrameCompression"))
UID_dictionary.setdefault("1.2.840.10008.1.2.1.98", ("Encapsulated Uncompressed Explicit VR Little Endian",
                                                     "Transfer Syntax", "", "", "EncapsulatedUncompressed"))

TEST_FILES = os.path.join(os.environ.get("VELMOR_PYDICOM_DATA", "/usr/lib/python3/dist-packages/pydicom/data"),
                          "test_files")
PEERS = {
    "1.2.840.10008.1.2.4.50": ["dcmdjpeg"],
    "1.2.840.10008.1.2.4.51": ["dcmdjpeg"],
    "1.2.840.10008.1.2.4.80": ["dcmdjpls"],
    "1.2.840.10008.1.2.4.81": ["dcmdjpls"],
    "1.2.840.10008.1.2.4.90": ["gdcmconv", "--raw"],
    "1.2.840.10008.1.2.4.91": ["gdcmconv", "--raw"],
}
LOSSLESS = {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.201"}
# Real uncompressed sources of the peer-encoded files (made in OUT_DIR from
# the test set's files): 8-bit colour and grey, 16-bit unsigned and signed,
# 12-bit unsigned, and a blank frame.
SOURCES = ["rgb8", "grey8", "mr16u", "ct16s", "blank16u", "mr12u"]
ENCODINGS = [
    # (name, command, sources it applies to)
    ("eb_cy_s2", ["dcmcjpeg", "+eb", "+cy", "+s2"], {"rgb8"}),
    ("eb_cy", ["dcmcjpeg", "+eb", "+cy", "+s4"], {"rgb8"}),
    ("eb_cr", ["dcmcjpeg", "+eb", "+cr"], {"rgb8"}),
    ("eb", ["dcmcjpeg", "+eb"], {"grey8"}),
    ("ee", ["dcmcjpeg", "+ee"], {"mr12u"}),
    ("jls_lossless", ["dcmcjpls", "+el"], {"rgb8", "grey8", "mr16u", "blank16u"}),
    ("jls_near", ["dcmcjpls", "+en"], {"rgb8", "grey8", "mr16u"}),
    ("jls_planes", ["dcmcjpls", "+el", "+in"], {"rgb8"}),
    ("gdcm_j2k", ["gdcmconv", "--j2k"], set(SOURCES)),
    ("gdcm_j2k_q", ["gdcmconv", "--j2k", "--lossy", "-q", "40"], set(SOURCES)),
    ("gdcm_jpegls", ["gdcmconv", "--jpegls"], set(SOURCES)),
]


def make_sources(out_dir):
    """The uncompressed sources, explicit VR little endian, by name."""
    made = {}
    for name, source, extra in [
        ("rgb8", "SC_rgb_jpeg_dcmd.dcm", []),
        ("grey8", "image_dfl.dcm", []),
        ("mr16u", "MR_small.dcm", ["PixelRepresentation=0"]),  # its samples are all positive
        ("ct16s", "CT_small.dcm", []),
        ("blank16u", "MR_small.dcm", ["PixelRepresentation=0"]),
        # Its samples (127..2145) fit in 12 unsigned bits.
        ("mr12u", "MR_small.dcm", ["PixelRepresentation=0", "BitsStored=12", "HighBit=11"]),
    ]:
        path = os.path.join(out_dir, name + ".dcm")
        subprocess.run(["dcmconv", "+te", os.path.join(TEST_FILES, source), path], check=True, capture_output=True)
        for change in extra:
            subprocess.run(["dcmodify", "-nb", "-m", change, path], check=True, capture_output=True)
        made[name] = path
    # A blank 512 x 512 frame: the codecs code it in a few dozen bytes.
    blank = pydicom.dcmread(made["blank16u"])
    blank.Rows = blank.Columns = 512
    blank.PixelData = bytes(512 * 512 * 2)
    blank.save_as(made["blank16u"])
    return made


def native_pixels(ds):
    """Native Pixel Data with OW words in host (little-endian) order."""
    raw = bytes(ds.PixelData)
    if not ds.is_little_endian and ds.BitsAllocated > 8:
        width = ds.BitsAllocated // 8
        raw = np.frombuffer(raw[: len(raw) // width * width], dtype=f">u{width}").astype(f"<u{width}").tobytes()
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    return raw[: frames * ds.Rows * ds.Columns * ds.SamplesPerPixel * (ds.BitsAllocated // 8)]


def expected_case(group, path, decoded, out_dir, name, lossless):
    ds = pydicom.dcmread(decoded)
    expected = os.path.join(out_dir, name + ".pixels")
    with open(expected, "wb") as f:
        f.write(native_pixels(ds))
    return [group, "match" if lossless else "near", path, expected, str(ds.BitsAllocated // 8),
            str(ds.PhotometricInterpretation), str(int(ds.get("PlanarConfiguration", 0)))]


def decode_with_peer(path, syntax, out):
    return subprocess.run(PEERS[syntax] + [path, out], capture_output=True).returncode == 0


def real_cases(out_dir):
    lines = []
    for name in sorted(os.listdir(TEST_FILES)):
        path = os.path.join(TEST_FILES, name)
        try:
            ds = pydicom.dcmread(path)
            syntax = str(ds.file_meta.TransferSyntaxUID)
        except Exception:
            continue
        if syntax not in PEERS or "PixelData" not in ds:
            continue
        decoded = os.path.join(out_dir, name + ".peer.dcm")
        if not decode_with_peer(path, syntax, decoded):
            continue  # broken beyond what any peer reads
        twelve_bit = syntax == "1.2.840.10008.1.2.4.51" and ds.BitsAllocated > 8
        group = "real-jpeg12" if twelve_bit else "real-codec"
        lines.append(expected_case(group, path, decoded, out_dir, name, syntax in LOSSLESS))
    return lines


def peer_encoded_cases(out_dir):
    lines = []
    sources = make_sources(out_dir)
    for source in SOURCES:
        path = sources[source]
        for encoding, command, applies in ENCODINGS:
            if source not in applies:
                continue
            name = f"{source}.{encoding}"
            encoded = os.path.join(out_dir, name + ".dcm")
            if subprocess.run(command + [path, encoded], capture_output=True).returncode != 0:
                sys.exit(f"{command[0]} cannot encode {source}")
            syntax = str(pydicom.dcmread(encoded).file_meta.TransferSyntaxUID)
            decoded = os.path.join(out_dir, name + ".peer.dcm")
            if not decode_with_peer(encoded, syntax, decoded):
                sys.exit(f"the peer cannot decode {encoded}")
            group = "peer-jpeg12" if encoding == "ee" else "peer-encoded"
            lines.append(expected_case(group, encoded, decoded, out_dir, name, syntax in LOSSLESS))
    return lines


def htj2k_file(source, out_dir, name, lossless):
    """The source's pixels through ojph_compress, wrapped as an HTJ2K file."""
    ds = pydicom.dcmread(os.path.join(TEST_FILES, source))
    pixels = ds.pixel_array
    raw = os.path.join(out_dir, name + ".yuv")
    pixels.astype(f"<{pixels.dtype.kind}{pixels.dtype.itemsize}").tofile(raw)
    codestream = os.path.join(out_dir, name + ".j2c")
    command = ["ojph_compress", "-i", raw, "-o", codestream, "-dims", f"{{{ds.Columns},{ds.Rows}}}",
               "-num_comps", "1", "-downsamp", "{1,1}", "-signed", "true" if ds.PixelRepresentation else "false",
               "-bit_depth", str(ds.BitsStored)]
    command += ["-reversible", "true"] if lossless else ["-qstep", "0.0001"]
    subprocess.run(command, check=True, capture_output=True)
    with open(codestream, "rb") as f:
        ds.PixelData = encapsulate([f.read()])
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    ds.file_meta.TransferSyntaxUID = UID("1.2.840.10008.1.2.4.201" if lossless else "1.2.840.10008.1.2.4.203")
    ds.is_little_endian, ds.is_implicit_VR = True, False
    encoded = os.path.join(out_dir, name + ".dcm")
    ds.save_as(encoded)
    expected = os.path.join(out_dir, name + ".pixels")
    if lossless:
        with open(expected, "wb") as f:
            f.write(native_pixels(pydicom.dcmread(os.path.join(TEST_FILES, source))))
    else:
        # The peer decoder's samples (16-bit little-endian raw).
        subprocess.run(["ojph_expand", "-i", codestream, "-o", raw], check=True, capture_output=True)
        os.replace(raw, expected)
    for path in (raw, codestream):
        if os.path.exists(path):
            os.remove(path)
    return ["htj2k", "match" if lossless else "near", encoded, expected, str(ds.BitsAllocated // 8),
            "MONOCHROME2", "0"]


# Real files whose frames are written deflated and encapsulated uncompressed:
# 32-bit grey, 8 and 16-bit colour, and an odd frame length (padded fragments).
FRAME_SOURCES = ["rtdose.dcm", "SC_rgb_rle_2frame.dcm", "SC_rgb_rle_16bit_2frame.dcm", "SC_rgb_small_odd.dcm"]
FRAME_SYNTAXES = [
    ("deflated", "1.2.840.10008.1.2.8.1", lambda frame: zlib.compress(frame, 9, -15)),
    ("encapsulated", "1.2.840.10008.1.2.1.98", lambda frame: frame),
]


def frame_syntax_cases(out_dir):
    lines = []
    for source in FRAME_SOURCES:
        pixels = pydicom.dcmread(os.path.join(TEST_FILES, source)).pixel_array
        raw = pixels.astype(pixels.dtype.newbyteorder("<")).tobytes()
        expected = os.path.join(out_dir, source + ".frames.pixels")
        with open(expected, "wb") as f:
            f.write(raw)
        for name, syntax, pack in FRAME_SYNTAXES:
            ds = pydicom.dcmread(os.path.join(TEST_FILES, source))
            count = int(ds.get("NumberOfFrames", 1) or 1)
            size = len(raw) // count
            ds.PixelData = encapsulate([pack(raw[k * size:(k + 1) * size]) for k in range(count)])
            ds["PixelData"].VR = "OB"
            ds["PixelData"].is_undefined_length = True
            if ds.SamplesPerPixel > 1:
                ds.PlanarConfiguration = 0  # pixel_array is colour-by-pixel
            ds.file_meta.TransferSyntaxUID = UID(syntax)
            ds.is_little_endian, ds.is_implicit_VR = True, False
            path = os.path.join(out_dir, f"{source}.{name}.dcm")
            ds.save_as(path)
            lines.append(["frame-syntax", "match", path, expected, str(ds.BitsAllocated // 8),
                          str(ds.PhotometricInterpretation), "0"])
    return lines


def unsupported_file(out_dir):
    """A real JPEG file relabelled as multi-component JPEG 2000: no codec here reads it."""
    ds = pydicom.dcmread(os.path.join(TEST_FILES, "SC_rgb_jpeg_dcmtk.dcm"))
    ds.file_meta.TransferSyntaxUID = UID("1.2.840.10008.1.2.4.92")
    path = os.path.join(out_dir, "jpeg2000_multicomponent.dcm")
    ds.save_as(path)
    return path


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    unsupported_file(out_dir)
    lines = real_cases(out_dir) + peer_encoded_cases(out_dir) + frame_syntax_cases(out_dir)
    for source in ["MR_small.dcm", "CT_small.dcm"]:
        lines.append(htj2k_file(source, out_dir, source + ".htj2k", True))
        lines.append(htj2k_file(source, out_dir, source + ".htj2k_lossy", False))
    with open(os.path.join(out_dir, "codec_manifest.txt"), "w") as f:
        for line in lines:
            f.write("\t".join(line) + "\n")


if __name__ == "__main__":
    main()
