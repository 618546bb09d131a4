#!/usr/bin/env python3
"""The whole image path against the peers, through velmor-dump.

- pixels: lossless JPEG files made by the peer encoder (every predictor,
  point transforms 0 and 2) decode to exactly the bytes the peer decoder
  gives; RLE files made by the peer encoder likewise.
- picture: a file and its twins in every transfer syntax we read (implicit,
  explicit little and big endian, RLE, lossless JPEG) give the same picture.

usage: peer_pipeline_test.py VELMOR_DUMP SAMPLE_DIR WORK_DIR
"""
import os
import sys

import numpy as np
import pydicom
from pydicom.uid import ExplicitVRLittleEndian

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402


def peer_pixels(path, work):
    """Pixel bytes as the peers decode them, in little-endian sample order."""
    plain = os.path.join(work, os.path.basename(path) + ".plain.dcm")
    ts = str(pydicom.dcmread(path, stop_before_pixels=True).file_meta.TransferSyntaxUID)
    tool = "dcmdrle" if ts == "1.2.840.10008.1.2.5" else "dcmdjpeg"
    if run(tool, path, plain).returncode != 0:
        return None
    ds = pydicom.dcmread(plain)
    # Without the padding byte that makes an odd-length value even.
    size = ds.Rows * ds.Columns * ds.get("NumberOfFrames", 1) * ds.SamplesPerPixel * (ds.BitsAllocated // 8)
    return ds.PixelData[:size]


def velmor_pixels(dump, path, work):
    out = os.path.join(work, os.path.basename(path) + ".velmor.raw")
    p = run(dump, "pixels", path, out)
    if p.returncode != 0:
        return None
    with open(out, "rb") as f:
        return f.read()


def make_unsigned_16bit(sample_dir, work):
    """A 16-bit unsigned image with samples at and above 32768."""
    ds = pydicom.dcmread(os.path.join(sample_dir, "MR_small.dcm"))
    pixels = ds.pixel_array.astype(np.uint32) * 37 + 30000
    ds.PixelRepresentation = 0
    ds.BitsStored = 16
    ds.HighBit = 15
    ds.PixelData = np.clip(pixels, 0, 65535).astype("<u2").tobytes()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    path = os.path.join(work, "unsigned16.dcm")
    ds.save_as(path, write_like_original=False)
    return path


def pixels_against_peers(dump, sample_dir, work):
    sources = [os.path.join(sample_dir, n) for n in ("CT_small.dcm", "MR_small.dcm", "SC_rgb_small_odd.dcm")]
    sources.append(make_unsigned_16bit(sample_dir, work))
    for src in sources:
        base = os.path.splitext(os.path.basename(src))[0]
        variants = [(f"sv{sv}pt0", ["+el", "+sv", str(sv)]) for sv in range(1, 8)]
        variants.append(("sv1pt2", ["+el", "+sv", "1", "+pt", "2"]))
        variants.append(("sv7pt2", ["+el", "+sv", "7", "+pt", "2"]))
        for label, options in variants:
            jpeg = os.path.join(work, f"{base}.{label}.dcm")
            if run("dcmcjpeg", *options, src, jpeg).returncode != 0:
                check(False, f"dcmcjpeg {options} {src}")
                continue
            expected = peer_pixels(jpeg, work)
            got = velmor_pixels(dump, jpeg, work)
            check(expected is not None and got == expected, f"pixels of {base} {label} against dcmdjpeg")
        rle = os.path.join(work, f"{base}.rle.dcm")
        if run("dcmcrle", src, rle).returncode == 0:
            expected = peer_pixels(rle, work)
            got = velmor_pixels(dump, rle, work)
            check(expected is not None and got == expected, f"pixels of {base} rle against dcmdrle")


def picture(dump, path, work, label, window):
    out = os.path.join(work, label + ".pgm")
    p = run(dump, "picture", path, out, "--level", str(window[0]), "--width", str(window[1]))
    if p.returncode != 0:
        return None
    with open(out, "rb") as f:
        return f.read()


def pictures_of_twins(dump, sample_dir, work):
    for base, twins in (
        ("MR_small.dcm", ["MR_small_implicit.dcm", "MR_small_bigendian.dcm", "MR_small_expb.dcm", "MR_small_RLE.dcm"]),
        ("CT_small.dcm", []),
    ):
        src = os.path.join(sample_dir, base)
        # Give every twin the window the file states, so that the pictures
        # compare whatever window each twin's header holds.
        ds = pydicom.dcmread(src, stop_before_pixels=True)
        window = (int(float(ds.get("WindowCenter", 50))), int(float(ds.get("WindowWidth", 1024))))
        reference = picture(dump, src, work, base, window)
        check(reference is not None and len(reference) > 65536, f"picture of {base}")
        if reference is None:
            continue
        paths = [os.path.join(sample_dir, t) for t in twins]
        for syntax, options in (("jpeg", ["+el", "+sv", "1"]), ("jpeg7", ["+el", "+sv", "7"])):
            made = os.path.join(work, f"{base}.twin.{syntax}.dcm")
            if run("dcmcjpeg", *options, src, made).returncode == 0:
                paths.append(made)
        made = os.path.join(work, f"{base}.twin.rle.dcm")
        if run("dcmcrle", src, made).returncode == 0:
            paths.append(made)
        for twin in paths:
            got = picture(dump, twin, work, os.path.basename(twin), window)
            check(got == reference, f"picture of {os.path.basename(twin)} equals that of {base}")


def main():
    dump, sample_dir, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    pixels_against_peers(dump, sample_dir, work)
    pictures_of_twins(dump, sample_dir, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
