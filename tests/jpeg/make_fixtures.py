#!/usr/bin/python3
"""Peer-made lossless JPEG fixtures for jpeg_tests.

For each source image and each selection value (and a few point transforms)
the peer encoder dcmcjpeg writes a lossless JPEG file and the peer decoder
dcmdjpeg decodes it again. Written into OUTDIR:
  NAME.jpg   the single fragment of the encoded pixel data
  NAME.raw   the pixel data that dcmdjpeg produced (little endian)
  manifest.txt  lines "NAME DEPTH GROUP"

Usage: make_fixtures.py PYDICOM_TEST_FILES OUTDIR
"""
import atexit
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, SecondaryCaptureImageStorage, generate_uid


def synthetic(path, bits_stored, low, high, rows=48, cols=64):
    """An unsigned monochrome image with smooth structure, edges and noise."""
    rng = np.random.default_rng(bits_stored)
    y, x = np.mgrid[0:rows, 0:cols]
    base = (np.sin(x / 7.0) + np.cos(y / 5.0) + 2.0) / 4.0
    image = low + base * (high - low) + rng.integers(-300, 300, size=(rows, cols))
    image[rows // 3: rows // 2, :] = high  # a bright band up to the top value
    image[:, cols // 2] = low              # and a dark column
    image = np.clip(image, low, high).astype(np.uint16)

    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(path, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.PatientName = "Synthetic"
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.Rows, ds.Columns = rows, cols
    ds.BitsAllocated = 16
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 0
    ds.PixelData = image.tobytes()
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(path, write_like_original=False)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def main():
    test_files, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="velmor_jpeg_")
    atexit.register(shutil.rmtree, work, True)

    u16 = os.path.join(work, "u16.dcm")
    synthetic(u16, 16, 20000, 65535)
    u12 = os.path.join(work, "u12.dcm")
    synthetic(u12, 12, 0, 4095)

    sources = {
        "ct": os.path.join(test_files, "CT_small.dcm"),         # 16 bits, signed
        "mr": os.path.join(test_files, "MR_small.dcm"),         # 16 bits, signed
        "gray8": os.path.join(test_files, "image_dfl.dcm"),     # 8 bits (deflated source)
        "rgb": os.path.join(test_files, "SC_rgb_jpeg_dcmd.dcm"),  # 8 bits x 3
        "rgbodd": os.path.join(test_files, "SC_rgb_small_odd.dcm"),  # 3 x 3 RGB
        "u16": u16,                                             # values up to 65535
        "u12": u12,                                             # 12-bit precision
    }
    variants = [(sv, 0) for sv in range(1, 8)] + [(1, 2), (6, 2), (7, 2)]

    manifest = []
    for group, source in sources.items():
        for sv, pt in variants:
            name = f"{group}_sv{sv}_pt{pt}"
            encoded = os.path.join(work, name + ".dcm")
            decoded = os.path.join(work, name + "_dec.dcm")
            run("dcmcjpeg", "+el", "+sv", str(sv), "+pt", str(pt), source, encoded)
            run("dcmdjpeg", encoded, decoded)

            ds = pydicom.dcmread(encoded)
            # One frame, one fragment: skip the empty offset table item.
            fragment = _first_fragment(ds.PixelData)
            out = pydicom.dcmread(decoded)
            if out.get("PlanarConfiguration", 0) != 0:
                raise SystemExit(f"{name}: peer output is planar")
            depth = int(out.SamplesPerPixel) * int(out.BitsAllocated)
            with open(os.path.join(outdir, name + ".jpg"), "wb") as f:
                f.write(fragment)
            with open(os.path.join(outdir, name + ".raw"), "wb") as f:
                # Without the padding byte of odd-length pixel data.
                f.write(out.PixelData[:int(out.Rows) * int(out.Columns) * depth // 8])
            manifest.append(f"{name} {depth} {group}")

    with open(os.path.join(outdir, "manifest.txt"), "w") as f:
        f.write("\n".join(manifest) + "\n")


def _first_fragment(pixel_data):
    """The value of the first item after the basic offset table."""
    pos = 0
    items = []
    while pos + 8 <= len(pixel_data):
        group, element, length = struct.unpack_from("<HHI", pixel_data, pos)
        pos += 8
        if (group, element) != (0xFFFE, 0xE000):
            break
        items.append(pixel_data[pos:pos + length])
        pos += length
    if len(items) != 2:
        raise SystemExit(f"expected an offset table and one fragment, got {len(items)} items")
    return items[1]


if __name__ == "__main__":
    main()
