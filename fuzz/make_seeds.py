#!/usr/bin/env python3
"""Seed corpora for the fuzz targets from pydicom's sample files.

Whole files seed the reader, extraction and header-walk targets; the RLE and
lossless JPEG targets get single fragments with the small prefix their
harness reads (slot size, depth).
"""
import os
import shutil
import subprocess
import sys
import tempfile

import pydicom
from pydicom.encaps import generate_pixel_data_frame

SAMPLES = "/usr/lib/python3/dist-packages/pydicom/data/test_files"
RLE = "1.2.840.10008.1.2.5"
LOSSLESS = ("1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70")


def frame_bytes(ds):
    return ds.Rows * ds.Columns * ((ds.get("SamplesPerPixel", 1) * ds.BitsAllocated) // 8)


def main(out):
    for sub in ("reader_walk", "single", "header_walk", "rle", "ljpeg"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)
    files = sorted(f for f in os.listdir(SAMPLES) if f.endswith(".dcm"))
    for name in files:
        path = os.path.join(SAMPLES, name)
        if os.path.getsize(path) > 512 * 1024:
            continue
        for sub in ("reader_walk", "single", "header_walk"):
            shutil.copy(path, os.path.join(out, sub, name))
    # Lossless JPEG fragments made by the peer encoder from a few real files.
    with tempfile.TemporaryDirectory() as tmp:
        for name in ("CT_small.dcm", "MR_small.dcm", "SC_rgb.dcm", "OBXXXX1A.dcm"):
            src = os.path.join(SAMPLES, name)
            if not os.path.exists(src):
                continue
            for sv in (1, 7):
                dst = os.path.join(tmp, f"{name}.{sv}.dcm")
                if subprocess.run(["dcmcjpeg", "+el", "+sv", str(sv), src, dst],
                                  capture_output=True).returncode == 0:
                    files.append(dst)
        for path in [os.path.join(SAMPLES, f) for f in files if not os.path.isabs(f)] + \
                [f for f in files if os.path.isabs(f)]:
            try:
                ds = pydicom.dcmread(path)
                ts = str(ds.file_meta.TransferSyntaxUID)
            except Exception:
                continue
            if ts != RLE and ts not in LOSSLESS:
                continue
            try:
                frame = next(generate_pixel_data_frame(ds.PixelData, 1))
            except Exception:
                continue
            if len(frame) > 256 * 1024:
                continue
            size = frame_bytes(ds)
            base = os.path.basename(path)
            if ts == RLE:
                prefix = bytes([min(size // 64, 255), size % 64])
                target = os.path.join(out, "rle", base)
            else:
                depth = {8: 0, 16: 1, 24: 2}.get(ds.get("SamplesPerPixel", 1) * ds.BitsAllocated, 0)
                size = min(size, 65535)
                prefix = bytes([depth, size >> 8, size & 255])
                target = os.path.join(out, "ljpeg", base)
            with open(target, "wb") as f:
                f.write(prefix + frame)


if __name__ == "__main__":
    main(sys.argv[1])
