#!/usr/bin/env python3
"""velmor-dump picture against pictures made from pydicom's decoded arrays.

The reference runs the same steps as the viewer on the array pydicom decodes
(colour converted to RGB, palettes looked up): bilinear resampling into the
placement that keeps the aspect ratio, the window on gray pictures. Each
channel must match within 2.

usage: picture_peer_test.py VELMOR_DUMP SAMPLE_DIR
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.pixel_data_handlers.util import apply_color_lut, convert_color_space
from pydicom.encaps import encapsulate
from pydicom.uid import ExplicitVRLittleEndian, RLELossless, generate_uid
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402
from picture_model import axis, linear_window, placement  # noqa: E402

f32 = np.float32


SANITIZED = False


def resample(src, dw, dh, lower_row_next=True):
    sh, sw = src.shape
    src = src.astype(np.float64)
    x0, x1, dx = axis(sw, dw)
    y0, _, dy = axis(sh, dh)
    y1 = np.minimum(y0 + 1, sh - 1)
    dx, dy = dx[None, :], dy[:, None]
    v = (src[y0][:, x0] * (1 - dx) * (1 - dy) + src[y0][:, x1] * dx * (1 - dy)
         + src[y1][:, x0] * (1 - dx) * dy + src[y1][:, x1] * dx * dy)
    return np.trunc(v.astype(f32).astype(np.float64) + 0.5)


def reference(ds, frame=0, level=50, width=1024):
    """The expected 256 x 256 picture (H x W x 3) of one frame."""
    arr = ds.pixel_array
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    if frames > 1:
        arr = arr[frame]
    pi = ds.PhotometricInterpretation
    x, y, w, h = placement(ds.Columns, ds.Rows)
    out = np.zeros((256, 256, 3))
    if pi == "PALETTE COLOR":
        rgb = apply_color_lut(arr, ds)
        arr = rgb >> 8 if rgb.dtype == np.uint16 else rgb
        pi = "RGB"
    if pi in ("YBR_FULL", "YBR_FULL_422"):
        arr = convert_color_space(arr, pi, "RGB")
        pi = "RGB"
    if pi == "RGB":
        if ds.BitsStored > 8:
            arr = arr.astype(np.uint64) >> (ds.BitsStored - 8)
        for c in range(3):
            out[y:y + h, x:x + w, c] = resample(arr[..., c], w, h)
        return out
    if ds.BitsAllocated == 1:
        gray = resample(arr.astype(np.float64) * 255, w, h)
    else:
        slope = float(ds.get("RescaleSlope", 1))
        intercept = float(ds.get("RescaleIntercept", 0))
        gray = linear_window(resample(arr, w, h) * slope + intercept, level, width)
    if pi == "MONOCHROME1":
        gray = 255 - gray
    out[y:y + h, x:x + w, :] = gray[..., None]
    return out


def read_picture(path):
    """A binary PPM as an H x W x 3 array."""
    with open(path, "rb") as f:
        data = f.read()
    magic, width, height, _, pixels = data.split(maxsplit=4)
    assert magic == b"P6"
    return np.frombuffer(pixels, np.uint8).reshape(int(height), int(width), 3).astype(np.float64)


def picture(dump, source, work, *options):
    out = os.path.join(work, "picture.ppm")
    p = subprocess.run([dump, "picture", source, out, *options], capture_output=True, text=True)
    return (read_picture(out) if p.returncode == 0 else None), p


def decoded(source, work):
    """The data set as pydicom decodes it; what it cannot decode (JPEG),
    through gdcmconv."""
    ds = pydicom.dcmread(source)
    try:
        ds.pixel_array
        return ds
    except RuntimeError:
        pass
    raw = os.path.join(work, "raw.dcm")
    subprocess.run(["gdcmconv", "--raw", source, raw], check=True, capture_output=True)
    return pydicom.dcmread(raw)


def compare(dump, source, work, what, frame=0, level=50, width=1024, *options):
    got, run = picture(dump, source, work, *options)
    if got is None:
        check(False, f"{what}: {run.stderr.strip()}")
        return None
    expected = reference(decoded(source, work), frame, level, width)
    worst = np.abs(got - expected).max()
    check(worst <= 2, f"{what} within 2 of the reference (worst {worst})")
    return got


def image_file(work, name, pixels, photometric="MONOCHROME2", **fields):
    """A small explicit little endian file around `pixels` (rows x columns)."""
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.SOPClassUID, ds.SOPInstanceUID = meta.MediaStorageSOPClassUID, meta.MediaStorageSOPInstanceUID
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = photometric
    ds.Rows, ds.Columns = pixels.shape
    ds.BitsAllocated = ds.BitsStored = pixels.dtype.itemsize * 8
    ds.HighBit = ds.BitsStored - 1
    ds.PixelRepresentation = 1 if pixels.dtype.kind == "i" else 0
    for key, value in fields.items():
        setattr(ds, key, value)
    ds.PixelData = pixels.astype(pixels.dtype.newbyteorder("<")).tobytes()
    path = os.path.join(work, name)
    ds.save_as(path, write_like_original=False)
    return path


def colour_files(dump, samples, work):
    for name in ("SC_rgb_small_odd.dcm", "SC_ybr_full_422_uncompressed.dcm", "ExplVR_BigEnd.dcm",
                 "SC_rgb_rle.dcm"):
        compare(dump, os.path.join(samples, name), work, name)
    compare(dump, os.path.join(samples, "SC_rgb_rle_2frame.dcm"), work, "frame 2 of SC_rgb_rle_2frame", 1, 50,
            1024, "--frame", "2")
    # Compressed ones that extraction may not decode yet: a refusal is allowed.
    for name in ("SC_rgb_rle_16bit.dcm", "SC_rgb_rle_32bit.dcm", "SC_rgb_jpeg_dcmtk.dcm", "SC_rgb_jpeg_gdcm.dcm",
                 "SC_rgb_dcmtk_+eb+cy+np.dcm"):
        source = os.path.join(samples, name)
        got, run = picture(dump, source, work)
        if got is None:
            check(run.stderr.strip().startswith(f"velmor-dump: {source}: "), f"{name} refused clearly")
            continue
        lossy = "jpeg" in name
        worst = np.abs(got - reference(decoded(source, work))).max()
        check(worst <= (8 if lossy else 2), f"{name} near the reference (worst {worst})")

    # Palette colour, 8- and 16-bit tables.
    ramp = np.arange(64 * 48, dtype=np.uint16).reshape(48, 64) % 256
    for bits in (8, 16):
        entries = np.arange(256)
        red, green, blue = entries, 255 - entries, (entries * 7) % 256
        if bits == 16:
            red, green, blue = red * 257, green * 257, blue * 257 + 128
        dtype = "<u1" if bits == 8 else "<u2"
        path = image_file(work, f"palette{bits}.dcm", ramp.astype(np.uint8), "PALETTE COLOR",
                          RedPaletteColorLookupTableDescriptor=[256, 0, bits],
                          GreenPaletteColorLookupTableDescriptor=[256, 0, bits],
                          BluePaletteColorLookupTableDescriptor=[256, 0, bits],
                          RedPaletteColorLookupTableData=red.astype(dtype).tobytes(),
                          GreenPaletteColorLookupTableData=green.astype(dtype).tobytes(),
                          BluePaletteColorLookupTableData=blue.astype(dtype).tobytes())
        compare(dump, path, work, f"{bits}-bit palette")
    # A real palette colour file, made by the peer from a colour one (in
    # little endian: extraction loads 8-bit OW pixel data of big-endian files
    # as OB, as it always has).
    quantised, little = os.path.join(work, "quantised.dcm"), os.path.join(work, "quantised_le.dcm")
    made = subprocess.run(["dcmquant", os.path.join(samples, "ExplVR_BigEnd.dcm"), quantised], capture_output=True)
    if made.returncode == 0 and subprocess.run(["dcmconv", "+te", quantised, little]).returncode == 0:
        compare(dump, little, work, "dcmquant palette colour")
    else:
        check(False, "dcmquant made a palette colour file")


def gray_files(dump, samples, work):
    ct = os.path.join(samples, "CT_small.dcm")
    plain = compare(dump, ct, work, "CT_small", 0, 50, 1024)
    inverted = os.path.join(work, "mono1.dcm")
    shutil.copyfile(ct, inverted)
    subprocess.run(["dcmodify", "-nb", "-m", "(0028,0004)=MONOCHROME1", inverted], check=True, capture_output=True)
    got, _ = picture(dump, inverted, work)
    check(got is not None and plain is not None and np.array_equal(got, 255 - plain),
          "MONOCHROME1 is the inverted picture")

    mr = pydicom.dcmread(os.path.join(samples, "MR_small.dcm")).pixel_array
    wide = (mr.astype(np.uint32) * 37 + 30000).clip(0, 65535).astype(np.uint16)
    path = image_file(work, "unsigned16.dcm", wide, WindowCenter="50000", WindowWidth="40000")
    got = compare(dump, path, work, "unsigned 16-bit above 32767", 0, 50000, 40000)
    check(got is not None and got.max() > 128, "unsigned 16-bit above 32767 is not black")
    path = image_file(work, "slope.dcm", mr.astype(np.int16), RescaleSlope="0.5", RescaleIntercept="-10.5",
                      WindowCenter="300", WindowWidth="600")
    compare(dump, path, work, "slope 0.5", 0, 300, 600)

    for columns, rows in ((64, 32), (32, 64)):
        ramp = (np.add.outer(np.arange(rows), np.arange(columns)) * 10 + 100).astype(np.uint16)
        path = image_file(work, f"bars{columns}x{rows}.dcm", ramp)
        got = compare(dump, path, work, f"{columns} x {rows}")
        x, y, w, h = placement(columns, rows)
        if got is not None:
            inside = np.zeros((256, 256), bool)
            inside[y:y + h, x:x + w] = True
            check(w * h == 256 * 128 and not got[~inside].any() and got[inside].min() > 0,
                  f"{columns} x {rows}: black bands around the image")

    compare(dump, os.path.join(samples, "liver_1frame.dcm"), work, "1-bit liver_1frame")
    dose = pydicom.dcmread(os.path.join(samples, "rtdose_1frame.dcm")).pixel_array
    compare(dump, os.path.join(samples, "rtdose_1frame.dcm"), work, "32-bit rtdose_1frame",
            0, int(round((int(dose.min()) + int(dose.max())) / 2)), int(dose.max()) - int(dose.min()))
    path = image_file(work, "dose_window.dcm", mr.astype(np.uint32) * 100000, WindowCenter="30000000",
                      WindowWidth="40000000")
    compare(dump, path, work, "32-bit with a window of its own", 0, 30000000, 40000000)
    multi = os.path.join(samples, "rtdose.dcm")
    last = pydicom.dcmread(multi).pixel_array[14]
    compare(dump, multi, work, "frame 15 of rtdose", 14, int(round((int(last.min()) + int(last.max())) / 2)),
            int(last.max()) - int(last.min()), "--frame", "15")
    got, run = picture(dump, multi, work, "--frame", "16")
    check(got is None and "holds 15 frames" in run.stderr, "a frame past the end is refused with the count")


def physical_aspect(dump, work):
    """Pixels that are not square keep the picture's physical aspect."""
    ramp = (np.add.outer(np.arange(128), np.arange(128)) * 10 + 100).astype(np.uint16)
    tall, wide = (64, 0, 128, 256), (0, 64, 256, 128)
    for name, fields, (x, y, w, h) in (
            ("aspect 2:1", {"PixelAspectRatio": [2, 1]}, tall),
            ("spacing 1.0 x 0.5", {"PixelSpacing": ["1.0", "0.5"]}, tall),
            ("imager spacing 0.5 x 1.0", {"ImagerPixelSpacing": ["0.5", "1.0"]}, wide),
            ("spacing before imager spacing", {"PixelSpacing": ["0.5", "1"], "ImagerPixelSpacing": ["1", "1"]},
             wide),
            ("spacing before aspect", {"PixelSpacing": ["1", "1"], "PixelAspectRatio": [2, 1]}, (0, 0, 256, 256))):
        got, run = picture(dump, image_file(work, "aspect.dcm", ramp, **fields), work)
        if got is None:
            check(False, f"{name}: {run.stderr.strip()}")
            continue
        inside = np.zeros((256, 256), bool)
        inside[y:y + h, x:x + w] = True
        check(not got[~inside].any() and got[inside].min() > 0, f"{name}: placed at {x}, {y}, {w} x {h}")


def refusals(dump, samples, work):
    """Each failure of the picture path: status 1 and its reason."""
    ramp = np.arange(9, dtype=np.uint16).reshape(3, 3)
    one_bit = image_file(work, "one_bit.dcm", ramp.astype(np.uint8))
    ds = pydicom.dcmread(one_bit)
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelData = 1, 1, 0, bytes(2)
    ds.save_as(one_bit)
    part2 = image_file(work, "part2.dcm", ramp)
    ds = pydicom.dcmread(part2)
    ds.file_meta.TransferSyntaxUID = "1.2.840.10008.1.2.4.92"
    ds.PixelData = encapsulate([bytes(16)])
    ds["PixelData"].VR, ds["PixelData"].is_undefined_length = "OB", True
    ds.save_as(part2)
    # The JPEG-LS codestream garbled after its header.
    broken = bytearray(open(os.path.join(samples, "MR_small_jpeg_ls_lossless.dcm"), "rb").read())
    start = broken.rfind(b"\xe0\x7f\x10\x00") + 200
    broken[start:-100] = bytes(b ^ 0x5A if i % 3 else 0xFF for i, b in enumerate(broken[start:-100]))
    # A 512 MiB frame from 8 MiB of RLE data, under a 256 MiB address space.
    big = image_file(work, "big.dcm", ramp)
    ds = pydicom.dcmread(big)
    ds.file_meta.TransferSyntaxUID = RLELossless
    ds.Rows = ds.Columns = 16384
    ds.PixelData = encapsulate([bytes(8 << 20)])
    ds["PixelData"].VR, ds["PixelData"].is_undefined_length = "OB", True
    ds.save_as(big)
    # Files cut after frame 7: native and RLE.
    dose = open(os.path.join(samples, "rtdose.dcm"), "rb").read()
    dose_rle = open(os.path.join(samples, "rtdose_rle.dcm"), "rb").read()
    end = dose_rle.rfind(b"\xe0\x7f\x10\x00") + 12
    for _ in range(8):  # the offset table and seven frames
        end += 8 + int.from_bytes(dose_rle[end + 4:end + 8], "little")
    cut = "Frame 15 lies past the end of the file: the pixel data ends in frame 7."
    files = {"broken.dcm": bytes(broken), "cut.dcm": dose[:len(dose) - 8 * 400], "cut_rle.dcm": dose_rle[:end]}
    for name, data in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
    missing = os.path.join(work, "missing.dcm")

    def address_space():
        resource.setrlimit(resource.RLIMIT_AS, (256 << 20, 256 << 20))

    for path, options, reason in (
            (missing, (), "ファイルを開くことができません。 (No such file or directory)"),
            (work, (), f"{work} is a folder"),
            (part2, (), "Unsupported transfer syntax 1.2.840.10008.1.2.4.92 (JPEG 2000 Part 2 Multi-component Image "
                        "Compression (Lossless Only))."),
            (os.path.join(samples, "rtdose.dcm"), ("--frame", "16"), "Frame 16 requested: the file holds 15 frames."),
            (os.path.join(work, "cut.dcm"), ("--frame", "15"), cut),
            (os.path.join(work, "cut_rle.dcm"), ("--frame", "15"), cut),
            (os.path.join(work, "broken.dcm"), (), "The JPEG-LS codestream of frame 1 is broken."),
            (one_bit, (), "Frames of this image do not start on a byte boundary"),
            *(() if SANITIZED else ((big, (), "メモリ確保に失敗しました"),)),
            (image_file(work, "hsv.dcm", ramp, "HSV"), (), "Photometric interpretation HSV is not shown."),
            (image_file(work, "other.dcm", ramp, "XYZ"), (), "Photometric interpretation XYZ is not shown."),
            (os.path.join(samples, "rtplan.dcm"), (), "The file holds no pixel data.")):
        out = os.path.join(work, "failed.ppm")
        run = subprocess.run([dump, "picture", path, out, *options], capture_output=True, text=True,
                             preexec_fn=address_space if path == big else None)
        lines = run.stderr.splitlines()
        check(run.returncode == 1 and lines and lines[-1] == f"velmor-dump: {path}: {reason}"
              and not os.path.exists(out), f"{os.path.basename(path)} {' '.join(options)}: {reason} ({lines})")
    got, _ = picture(dump, os.path.join(work, "cut_rle.dcm"), work, "--frame", "7")
    check(got is not None, "the last frame a cut file holds is shown")


def main():
    global SANITIZED
    dump, samples = sys.argv[1:3]
    # A sanitizer's shadow memory does not fit under an address-space limit.
    SANITIZED = "--sanitized" in sys.argv[3:]
    with tempfile.TemporaryDirectory() as work:
        colour_files(dump, samples, work)
        gray_files(dump, samples, work)
        physical_aspect(dump, work)
        refusals(dump, samples, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
