#!/usr/bin/python3
"""Writes the JPEG XL benchmark files into DIR, from the 2048 x 2048 sources
that make_bench_data.py and make_codec_bench_data.py write there: each
cjxl codestream (NAME.jxl, for djxl) and the same codestream as the one
frame of a DICOM file (NAME.dcm, for velmor-dump).

- jxl_ct12_2048: the 12-bit CT, lossless (a 12-bit codestream)
- jxl_rgb8_2048: the RGB image, lossy (distance 1)

usage: make_jpegxl_bench_data.py DIR
"""
import os
import subprocess
import sys

import numpy as np
import pydicom
from pydicom.encaps import encapsulate
from pydicom._uid_dict import UID_dictionary
from pydicom.uid import UID

STAMP = ".jpegxl-files-made"
FILES = (("jxl_ct12_2048", "ct12_2048.dcm", "1.2.840.10008.1.2.4.110", ["-d", "0"]),
         ("jxl_rgb8_2048", "rgb8_2048.dcm", "1.2.840.10008.1.2.4.112", ["-d", "1"]))
# The JPEG XL syntaxes, for a pydicom that does not know them yet.
for uid, keyword in (("1.2.840.10008.1.2.4.110", "JPEGXLLossless"), ("1.2.840.10008.1.2.4.112", "JPEGXL")):
    UID_dictionary.setdefault(uid, (keyword, "Transfer Syntax", "", "", keyword))


def write_pnm(path, ds):
    """PGM/PPM of the samples. cjxl (0.7) reads samples above 8 bits over the
    whole 16-bit range whatever the maxval and keeps maxval's precision:
    12-bit samples are given to it scaled up, so that the codestream holds
    them as they are."""
    pixels = ds.pixel_array
    maxval = (1 << ds.BitsStored) - 1
    if 255 < maxval < 65535:
        pixels = np.rint(pixels.astype(np.float64) * 65535 / maxval)
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%d\n" % (b"P6" if pixels.ndim == 3 else b"P5", ds.Columns, ds.Rows, maxval))
        f.write(pixels.astype(">u2" if maxval > 255 else "u1").tobytes())


def main():
    out = sys.argv[1]
    stamp = os.path.join(out, STAMP)
    if os.path.exists(stamp):
        return
    for name, source, syntax, options in FILES:
        ds = pydicom.dcmread(os.path.join(out, source))
        pnm = os.path.join(out, name + (".ppm" if ds.SamplesPerPixel == 3 else ".pgm"))
        write_pnm(pnm, ds)
        codestream = os.path.join(out, name + ".jxl")
        subprocess.run(["cjxl", pnm, codestream] + options, check=True, capture_output=True)
        os.remove(pnm)
        with open(codestream, "rb") as f:
            ds.PixelData = encapsulate([f.read()])
        ds["PixelData"].VR = "OB"
        ds["PixelData"].is_undefined_length = True
        ds.file_meta.TransferSyntaxUID = UID(syntax)
        ds.save_as(os.path.join(out, name + ".dcm"), write_like_original=False)
    open(stamp, "w").close()


if __name__ == "__main__":
    main()
