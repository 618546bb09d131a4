#!/usr/bin/python3
"""Writes the multi-frame fixtures of the frame tests into OUT_DIR.

A 5-frame native file is built from the real CT_small.dcm (each frame the
image shifted by a different number of rows, so that no two frames are
equal), then encoded by the peers: lossless JPEG (dcmcjpeg +el) and RLE
(dcmcrle), with and without a Basic Offset Table, one fragment per frame and
1 KB fragments (several per frame). The single-frame CT_small.dcm is also
encoded with 1 KB fragments.

manifest.txt has one tab-separated line per file: FILE NATIVE_TWIN
"""
import os
import subprocess
import sys
import warnings

import numpy
import pydicom

warnings.simplefilter("ignore")

TEST_FILES = "/usr/lib/python3/dist-packages/pydicom/data/test_files"
FRAMES = 5


def multi_frame(path):
    ds = pydicom.dcmread(os.path.join(TEST_FILES, "CT_small.dcm"))
    image = ds.pixel_array
    frames = numpy.stack([numpy.roll(image, 7 * k, axis=0) for k in range(FRAMES)])
    ds.PixelData = frames.astype(image.dtype).tobytes()
    ds.NumberOfFrames = FRAMES
    ds.save_as(path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    native = os.path.join(out, "multi.dcm")
    multi_frame(native)
    single = os.path.join(TEST_FILES, "CT_small.dcm")
    lines = [(native, native)]
    variants = {
        "ljpeg": ["dcmcjpeg", "+el"],
        "ljpeg_no_table": ["dcmcjpeg", "+el", "-ot"],
        "ljpeg_fragments": ["dcmcjpeg", "+el", "+fs", "1"],
        "ljpeg_fragments_no_table": ["dcmcjpeg", "+el", "+fs", "1", "-ot"],
        "ljpeg_sv1_fragments_no_table": ["dcmcjpeg", "+e1", "+fs", "1", "-ot"],
        "rle": ["dcmcrle"],
        "rle_no_table": ["dcmcrle", "-ot"],
    }
    for name, command in variants.items():
        encoded = os.path.join(out, name + ".dcm")
        subprocess.run(command + [native, encoded], check=True)
        lines.append((encoded, native))
    encoded = os.path.join(out, "single_fragments.dcm")
    subprocess.run(["dcmcjpeg", "+el", "+fs", "1", single, encoded], check=True)
    lines.append((encoded, single))
    with open(os.path.join(out, "manifest.txt"), "w") as f:
        for line in lines:
            f.write("\t".join(line) + "\n")


if __name__ == "__main__":
    main()
