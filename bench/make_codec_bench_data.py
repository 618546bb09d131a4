#!/usr/bin/python3
"""Writes the codec benchmark files into DIR (next to make_bench_data.py's):
2048 x 2048 images of each syntax with a decoder in image/codec_*.cpp, made
by the peers' encoders from the scaled-up real samples.

usage: make_codec_bench_data.py DIR
"""
import os
import sys

import pydicom

from make_bench_data import SAMPLES, native, noisy, run, upscale

STAMP = ".codec-files-made"


def main():
    out = sys.argv[1]
    stamp = os.path.join(out, STAMP)
    p = lambda name: os.path.join(out, name)
    # The lossy gray JPEG 2000 file of the first-picture figures, added to
    # folders made before it.
    if not os.path.exists(p("j2k_ct12_2048_r10.dcm")) and os.path.exists(p("ct12_2048.dcm")):
        run("gdcmconv", "--j2k", "--lossy", "-r", "10", p("ct12_2048.dcm"), p("j2k_ct12_2048_r10.dcm"))
    if os.path.exists(stamp):
        return

    rgb = pydicom.dcmread(os.path.join(SAMPLES, "SC_rgb_jpeg_dcmd.dcm")).pixel_array
    native("SC_rgb_jpeg_dcmd.dcm", noisy(upscale(rgb, 2048), 1.0, 255, 6), 8, p("rgb8_2048.dcm"))

    run("dcmcjpeg", "+eb", p("gray8_2048.dcm"), p("jpeg_gray8_2048.dcm"))
    run("dcmcjpeg", "+eb", p("rgb8_2048.dcm"), p("jpeg_rgb8_2048.dcm"))
    run("dcmcjpls", "+el", p("ct12_2048.dcm"), p("jls_ct12_2048.dcm"))
    run("dcmcjpls", "+en", p("gray8_2048.dcm"), p("jls_gray8_2048_near.dcm"))
    run("gdcmconv", "--j2k", p("ct12_2048.dcm"), p("j2k_ct12_2048.dcm"))
    run("gdcmconv", "--j2k", "--lossy", "-r", "10", p("rgb8_2048.dcm"), p("j2k_rgb8_2048_r10.dcm"))
    if not os.path.exists(p("j2k_ct12_2048_r10.dcm")):
        run("gdcmconv", "--j2k", "--lossy", "-r", "10", p("ct12_2048.dcm"), p("j2k_ct12_2048_r10.dcm"))
    open(stamp, "w").close()


if __name__ == "__main__":
    main()
