#!/usr/bin/python3
"""Writes the benchmark files into DIR (made once; a stamp file marks them done).

Every image starts from a real sample file (pydicom's CT_small.dcm, the 8-bit
image_dfl.dcm and the RGB SC_rgb_jpeg_dcmd.dcm), scaled up bilinearly and given
Gaussian noise of about a CT scanner's, so the encoded sizes are those of real
pictures rather than of flat test patterns. The CT files keep CT_small's whole
header (some 250 elements). The compressed twins are made by the peers'
encoders: dcmcjpeg (lossless, selection value 1 or 7) and dcmcrle. The
multi-frame files hold 1, 100 and 300 frames of 512 x 512 12-bit CT.

usage: make_bench_data.py DIR
"""
import os
import subprocess
import sys

import numpy as np
import pydicom
from pydicom.uid import ExplicitVRLittleEndian

SAMPLES = "/usr/lib/python3/dist-packages/pydicom/data/test_files"
STAMP = "complete-v2"


def upscale(image, size):
    """Bilinear resize of a 2-D (or 2-D x channels) array to size x size."""
    rows, cols = image.shape[:2]
    y = np.linspace(0, rows - 1, size)
    x = np.linspace(0, cols - 1, size)
    y0 = np.floor(y).astype(int)
    x0 = np.floor(x).astype(int)
    y1 = np.minimum(y0 + 1, rows - 1)
    x1 = np.minimum(x0 + 1, cols - 1)
    fy = (y - y0)[:, None]
    fx = (x - x0)[None, :]
    if image.ndim == 3:
        fy = fy[..., None]
        fx = fx[..., None]
    img = image.astype(np.float64)
    top = img[y0][:, x0] * (1 - fx) + img[y0][:, x1] * fx
    bottom = img[y1][:, x0] * (1 - fx) + img[y1][:, x1] * fx
    return top * (1 - fy) + bottom * fy


def noisy(image, sigma, top, seed):
    rng = np.random.default_rng(seed)
    return np.clip(np.rint(image + rng.normal(0.0, sigma, image.shape)), 0, top)


def native(template, pixels, bits_stored, path):
    """Saves template's header with new pixels as explicit VR little endian."""
    ds = pydicom.dcmread(os.path.join(SAMPLES, template))
    rows, cols = pixels.shape[:2]
    spp = 1 if pixels.ndim == 2 else pixels.shape[2]
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.Rows, ds.Columns = rows, cols
    ds.SamplesPerPixel = spp
    if spp == 3:
        ds.PlanarConfiguration = 0
        ds.PhotometricInterpretation = "RGB"
    ds.BitsAllocated = 8 if bits_stored <= 8 else 16
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 0
    dtype = np.uint8 if bits_stored <= 8 else np.uint16
    ds.PixelData = pixels.astype(dtype).tobytes()
    ds["PixelData"].VR = "OB" if bits_stored <= 8 else "OW"
    ds.save_as(path, write_like_original=False)


def native_frames(template, frames, bits_stored, path):
    """Like native(), several frames of one size back to back."""
    native(template, frames[0], bits_stored, path)
    ds = pydicom.dcmread(path)
    ds.NumberOfFrames = len(frames)
    ds.PixelData = np.stack(frames).astype(np.uint16).tobytes()
    ds.save_as(path, write_like_original=False)


def run(*command):
    subprocess.run(command, check=True)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    stamp = os.path.join(out, STAMP)
    if os.path.exists(stamp):
        return
    p = lambda name: os.path.join(out, name)

    ct = pydicom.dcmread(os.path.join(SAMPLES, "CT_small.dcm")).pixel_array  # 128..2191
    ct12 = lambda size, seed: noisy(upscale(ct, size), 6.0, 4095, seed)
    native("CT_small.dcm", ct12(512, 1), 12, p("ct12_512.dcm"))
    native("CT_small.dcm", ct12(2048, 2), 12, p("ct12_2048.dcm"))
    native("CT_small.dcm", noisy(upscale(ct, 4096) * 16.0, 96.0, 65535, 3), 16, p("ct16_4096.dcm"))

    gray8 = pydicom.dcmread(os.path.join(SAMPLES, "image_dfl.dcm")).pixel_array
    native("image_dfl.dcm", noisy(upscale(gray8, 2048), 1.0, 255, 4), 8, p("gray8_2048.dcm"))

    rgb = pydicom.dcmread(os.path.join(SAMPLES, "SC_rgb_jpeg_dcmd.dcm")).pixel_array
    native("SC_rgb_jpeg_dcmd.dcm", noisy(upscale(rgb, 1024), 1.0, 255, 5), 8, p("rgb8_1024.dcm"))

    run("dcmcjpeg", "+el", "+sv", "1", p("ct12_2048.dcm"), p("ljpeg_ct12_2048_sv1.dcm"))
    run("dcmcjpeg", "+el", "+sv", "7", p("ct12_2048.dcm"), p("ljpeg_ct12_2048_sv7.dcm"))
    run("dcmcjpeg", "+el", "+sv", "1", p("ct16_4096.dcm"), p("ljpeg_ct16_4096_sv1.dcm"))
    run("dcmcjpeg", "+el", "+sv", "1", p("gray8_2048.dcm"), p("ljpeg_gray8_2048_sv1.dcm"))
    run("dcmcjpeg", "+el", "+sv", "1", p("rgb8_1024.dcm"), p("ljpeg_rgb8_1024_sv1.dcm"))
    run("dcmcrle", p("ct12_2048.dcm"), p("rle_ct12_2048.dcm"))
    run("dcmcrle", p("rgb8_1024.dcm"), p("rle_rgb8_1024.dcm"))

    # Multi-frame 512 x 512 12-bit files: one upscaled CT, fresh noise per frame.
    base = upscale(ct, 512)
    for count in (1, 100, 300):
        frames = [noisy(base, 6.0, 4095, 100 + k) for k in range(count)]
        name = f"ct12_512x{count}"
        native_frames("CT_small.dcm", frames, 12, p(name + ".dcm"))
        run("dcmcjpeg", "+el", "+sv", "1", p(name + ".dcm"), p(f"ljpeg_{name}_sv1.dcm"))
        run("dcmcrle", p(name + ".dcm"), p(f"rle_{name}.dcm"))
    open(stamp, "w").close()


if __name__ == "__main__":
    main()
