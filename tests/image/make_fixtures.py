#!/usr/bin/python3
"""Writes the peer-made fixtures of the image tests into OUT_DIR.

For every real file with pixel data that the image path reads (uncompressed
and RLE) it writes the pixel bytes that extraction must deliver, taken from
the peers: pydicom's raw Pixel Data for uncompressed files (OW words put in
host order, as the reader loads them) and dcmdrle's decoded Pixel Data for RLE
files. RLE fixtures are also made from real uncompressed files with dcmcrle.

manifest.txt has one tab-separated line per case:
  match  DICOM_FILE  EXPECTED_PIXELS_FILE
  fail   DICOM_FILE  MESSAGE_EXPECTED_IN_THE_LOG
"""
import os
import subprocess
import sys
import warnings

import numpy as np
import pydicom
from pydicom.encaps import encapsulate, generate_pixel_data_frame

warnings.simplefilter("ignore")

TEST_FILES = os.path.join(os.environ.get("VELMOR_PYDICOM_DATA", "/usr/lib/python3/dist-packages/pydicom/data"),
                          "test_files")
UNCOMPRESSED = {"1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2", None}
RLE = "1.2.840.10008.1.2.5"
# Real uncompressed files re-encoded with dcmcrle for the round trip.
ROUND_TRIP = ["MR_small.dcm", "CT_small.dcm", "SC_rgb_small_odd.dcm", "rtdose.dcm",
              "rtdose_1frame.dcm", "MR_small_bigendian.dcm",
              "SC_rgb_jpeg_dcmd.dcm"]
# Deflated data sets are not read by the image path.
SKIP = {"image_dfl.dcm"}
# Real files that the image path refuses by its rules, with the log message.
REFUSED = {
    # Pixel Data runs past the end of the file: the reader refuses the value.
    "MR_truncated.dcm": "Unexpected end of file",
    # No Transfer Syntax UID: the implicit data set is read in the explicit
    # encoding of the meta group and the walk runs off the end of the file.
    "meta_missing_tsyntax.dcm": "Unexpected end of file",
}


def transfer_syntax(ds):
    meta = getattr(ds, "file_meta", None)
    if meta is None or "TransferSyntaxUID" not in meta:
        return None
    return str(meta.TransferSyntaxUID)


def native_pixels(ds):
    """Pixel Data as the reader loads it: OW words in host (little-endian) order."""
    raw = bytes(ds.PixelData)
    bits = int(ds.get("BitsAllocated", 0) or 0)
    if ds.is_implicit_VR:
        vr = "OW" if bits in (12, 16) else "OB"
    else:
        vr = str(ds["PixelData"].VR)
        if vr == "OB" and bits == 16:
            vr = "OW"
        elif vr == "OW" and bits == 8 and ds.is_little_endian:
            vr = "OB"
    if vr == "OW" and not ds.is_little_endian:
        # Big-endian words (of two 8-bit samples, one 16-bit sample or half of
        # a 32-bit one) put in host order: 32-bit samples whole.
        unit = 4 if bits == 32 else 2
        whole = len(raw) // unit * unit
        raw = bytes(np.frombuffer(raw[:whole], dtype=f">u{unit}").astype(f"<u{unit}").tobytes()) + raw[whole:]
    return raw


def segments_per_frame(ds):
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    counts = set()
    for frame in generate_pixel_data_frame(ds.PixelData, frames):
        counts.add(int.from_bytes(frame[0:4], "little"))
    return max(counts)


def rle_case(path, out_dir, name):
    """A 'match' line with dcmdrle's pixels, or a 'fail' line by the 15-segment rule."""
    ds = pydicom.dcmread(path)
    if segments_per_frame(ds) > 15:
        return ["fail", path, "RLE - Maximum of 32 bits images supported"]
    decoded = os.path.join(out_dir, name + ".dcmdrle.dcm")
    subprocess.run(["dcmdrle", path, decoded], check=True)
    ds = pydicom.dcmread(decoded)
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    frame_bytes = ds.Rows * ds.Columns * (ds.SamplesPerPixel * ds.BitsAllocated // 8)
    expected = os.path.join(out_dir, name + ".pixels")
    with open(expected, "wb") as f:
        # Decoded frames only, without the padding byte of an odd length.
        f.write(native_pixels(ds)[:frames * frame_bytes])
    return ["match", path, expected]


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    lines = []
    for name in sorted(os.listdir(TEST_FILES)):
        path = os.path.join(TEST_FILES, name)
        if not name.endswith(".dcm") or name in SKIP:
            continue
        try:
            ds = pydicom.dcmread(path, force=True)
            if "PixelData" not in ds:
                continue
        except Exception:
            continue
        syntax = transfer_syntax(ds)
        if name in REFUSED:
            lines.append(["real-native", "fail", path, REFUSED[name]])
        elif syntax == RLE:
            lines.append(["real-rle"] + rle_case(path, out_dir, name))
        elif syntax in UNCOMPRESSED and not ds["PixelData"].is_undefined_length:
            expected = os.path.join(out_dir, name + ".pixels")
            with open(expected, "wb") as f:
                f.write(native_pixels(ds))
            lines.append(["real-native", "match", path, expected])

    for name in ROUND_TRIP:
        source = os.path.join(TEST_FILES, name)
        encoded = os.path.join(out_dir, name + ".dcmcrle.dcm")
        subprocess.run(["dcmcrle", source, encoded], check=True)
        case = rle_case(encoded, out_dir, name + ".dcmcrle")
        if case[0] == "match":
            # The round trip must give back the uncompressed original.
            original = native_pixels(pydicom.dcmread(source))
            with open(case[2], "rb") as f:
                if not original.startswith(f.read()):
                    sys.exit(f"dcmcrle/dcmdrle do not round-trip {name}")
        lines.append(["round-trip"] + case)

    # Every frame sound but the last, whose segment count breaks the rule:
    # the frames before it are written and the output removed again.
    encoded = os.path.join(out_dir, "rtdose.dcm.dcmcrle.dcm")
    ds = pydicom.dcmread(encoded)
    frames = list(generate_pixel_data_frame(ds.PixelData, int(ds.NumberOfFrames)))
    frames[-1] = (16).to_bytes(4, "little") + frames[-1][4:]
    ds.PixelData = encapsulate(frames)
    broken = os.path.join(out_dir, "rtdose_last_frame_broken.dcm")
    ds.save_as(broken)
    lines.append(["last-frame-broken", "fail", broken, "RLE - Maximum of 32 bits images supported"])

    with open(os.path.join(out_dir, "manifest.txt"), "w") as f:
        for line in lines:
            f.write("\t".join(line) + "\n")


if __name__ == "__main__":
    main()
