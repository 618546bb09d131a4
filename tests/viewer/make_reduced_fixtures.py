#!/usr/bin/python3
"""Writes large compressed frames for the reduced-resolution tests into OUT_DIR.

A real CT (pydicom's CT_small.dcm, 128 x 128) is enlarged by bilinear
interpolation and compressed by the peers:
  j2k_lossless.dcm   2048 x 2048, 16-bit, gdcmconv --j2k
  j2k_lossy.dcm      2048 x 2048, 16-bit, gdcmconv --j2k --lossy -q 40
  jpeg_baseline.dcm  2048 x 2048, 8-bit, dcmcjpeg +eb
  jpeg_wide.dcm      2000 x 1200, 8-bit, dcmcjpeg +eb (sides not powers of 2)

usage: make_reduced_fixtures.py OUT_DIR
"""
import os
import subprocess
import sys
import warnings

import numpy as np
import pydicom
from pydicom.uid import ExplicitVRLittleEndian

warnings.simplefilter("ignore")

TEST_FILES = os.path.join(os.environ.get("VELMOR_PYDICOM_DATA", "/usr/lib/python3/dist-packages/pydicom/data"),
                          "test_files")


def enlarged(image, rows, columns):
    """Bilinear interpolation of `image` onto rows x columns points."""
    sh, sw = image.shape
    y = np.linspace(0, sh - 1, rows)
    x = np.linspace(0, sw - 1, columns)
    y0 = np.floor(y).astype(int)
    x0 = np.floor(x).astype(int)
    y1 = np.minimum(y0 + 1, sh - 1)
    x1 = np.minimum(x0 + 1, sw - 1)
    fy = (y - y0)[:, None]
    fx = (x - x0)[None, :]
    a = image.astype(np.float64)
    return (a[y0][:, x0] * (1 - fx) * (1 - fy) + a[y0][:, x1] * fx * (1 - fy) + a[y1][:, x0] * (1 - fx) * fy +
            a[y1][:, x1] * fx * fy)


def write_raw(path, pixels, bits):
    ds = pydicom.dcmread(os.path.join(TEST_FILES, "CT_small.dcm"))
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    for keyword in ("WindowCenter", "WindowWidth"):
        if keyword in ds:
            delattr(ds, keyword)
    ds.Rows, ds.Columns = pixels.shape
    ds.BitsAllocated = bits
    ds.BitsStored = bits if bits == 8 else 16
    ds.HighBit = ds.BitsStored - 1
    ds.PixelRepresentation = 0
    ds.RescaleIntercept = 0
    ds.RescaleSlope = 1
    ds.PixelData = pixels.astype(np.uint8 if bits == 8 else np.uint16).tobytes()
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    ct = pydicom.dcmread(os.path.join(TEST_FILES, "CT_small.dcm")).pixel_array.astype(np.float64)
    ct -= ct.min()
    big = enlarged(ct, 2048, 2048)
    raw16 = os.path.join(out, "raw16.dcm")
    write_raw(raw16, np.rint(big), 16)
    raw8 = os.path.join(out, "raw8.dcm")
    write_raw(raw8, np.rint(big * 255 / big.max()), 8)
    wide = enlarged(ct, 1200, 2000)
    raw8_wide = os.path.join(out, "raw8_wide.dcm")
    write_raw(raw8_wide, np.rint(wide * 255 / wide.max()), 8)
    runs = [
        (["gdcmconv", "--j2k", raw16], "j2k_lossless.dcm"),
        (["gdcmconv", "--j2k", "--lossy", "-q", "40", raw16], "j2k_lossy.dcm"),
        (["dcmcjpeg", "+eb", raw8], "jpeg_baseline.dcm"),
        (["dcmcjpeg", "+eb", raw8_wide], "jpeg_wide.dcm"),
    ]
    for command, name in runs:
        subprocess.run(command + [os.path.join(out, name)], check=True, capture_output=True)
    for path in (raw16, raw8, raw8_wide):
        os.remove(path)


if __name__ == "__main__":
    main()
