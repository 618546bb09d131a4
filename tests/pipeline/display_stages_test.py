#!/usr/bin/env python3
"""The grayscale display stages through velmor-dump picture, against
pydicom's pipeline on files made from its real CT_small.dcm and MR_small.dcm:
apply_modality_lut, apply_voi_lut and Dataset.overlay_array, the result
resampled as the viewer resamples (the 256 x 256 picture's bilinear rule, or
area / bilinear / nearest taps at any other size). Each gray level must match
within 2; overlay pixels must be the overlay colour exactly where the planes
are.

usage: display_stages_test.py VELMOR_DUMP SAMPLE_DIR
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import Dataset
from pydicom.pixel_data_handlers.util import apply_modality_lut, apply_voi_lut
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402
from picture_model import axis, linear_window, placement  # noqa: E402

f32 = np.float32
YELLOW = np.array([255, 255, 0])


# ---- the viewer's resampling and window


def picture_resample(src):
    """The 256 x 256 picture's resampling into its placement: (256, 256)
    with NaN in the bands."""
    sh, sw = src.shape
    x, y, w, h = placement(sw, sh)
    src = src.astype(np.float64)
    x0, x1, dx = axis(sw, w)
    y0, _, dy = axis(sh, h)
    y1 = np.minimum(y0 + 1, sh - 1)
    dx, dy = dx[None, :], dy[:, None]
    v = (src[y0][:, x0] * (1 - dx) * (1 - dy) + src[y0][:, x1] * dx * (1 - dy)
         + src[y1][:, x0] * (1 - dx) * dy + src[y1][:, x1] * dx * dy)
    out = np.full((256, 256), np.nan)
    out[y:y + h, x:x + w] = np.trunc(v.astype(f32).astype(np.float64) + 0.5)
    return out


def axis_weights(origin, scale, outputs, sources):
    """The taps of one axis as a matrix (outputs x sources); a row of NaN
    for an output pixel in a band."""
    weights = np.zeros((outputs, sources))
    for x in range(outputs):
        centre = origin + (x + 0.5) / scale
        if not 0 <= centre < sources:
            weights[x] = np.nan
        elif scale > 4:
            weights[x, min(int(np.floor(centre)), sources - 1)] = 1
        elif scale >= 1:
            t = centre - 0.5
            c = int(np.floor(t))
            if c < 0 or c >= sources - 1:
                weights[x, min(max(c, 0), sources - 1)] = 1
            else:
                weights[x, c], weights[x, c + 1] = 1 - (t - c), t - c
        else:
            a, b = max(origin + x / scale, 0), min(origin + (x + 1) / scale, sources)
            for c in range(int(np.floor(a)), min(int(np.ceil(b)), sources)):
                weights[x, c] = (min(b, c + 1) - max(a, c)) / (b - a)
    return weights


def fit_view(columns, rows, width, height):
    scale = min(width / columns, height / rows)
    return (columns - width / scale) / 2, (rows - height / scale) / 2, scale


def view_resample(src, width, height):
    """Any other size: the frame fitted, square pixels, taps per axis."""
    rows, columns = src.shape
    left, top, scale = fit_view(columns, rows, width, height)
    across = axis_weights(left, scale, width, columns)
    down = axis_weights(top, scale, height, rows)
    return np.floor(down @ src.astype(np.float64) @ across.T + 0.5)


# ---- pydicom's pipeline


def output_range(ds):
    """The range apply_windowing maps onto, as pydicom derives it."""
    if "ModalityLUTSequence" in ds:
        return 0, 2 ** ds.ModalityLUTSequence[0].LUTDescriptor[2] - 1
    if ds.PixelRepresentation == 0:
        low, high = 0, 2 ** ds.BitsStored - 1
    else:
        low, high = -2 ** (ds.BitsStored - 1), 2 ** (ds.BitsStored - 1) - 1
    if "RescaleSlope" in ds and "RescaleIntercept" in ds:
        low, high = (v * float(ds.RescaleSlope) + float(ds.RescaleIntercept) for v in (low, high))
    return low, high


def peer_levels(ds, values, index=0, use_lut=None):
    """pydicom's VOI stage on modality values, as display levels 0 to 255."""
    if use_lut is None:
        use_lut = "VOILUTSequence" in ds and "WindowCenter" not in ds
    if use_lut:
        bits = ds.VOILUTSequence[index].LUTDescriptor[2]
        levels = apply_voi_lut(values, ds, index) * 255.0 / (2 ** bits - 1)
    else:
        low, high = output_range(ds)
        levels = (apply_voi_lut(values, ds, index, prefer_lut=False) - low) * 255.0 / (high - low)
    if (ds.PhotometricInterpretation == "MONOCHROME1") != (ds.get("PresentationLUTShape") == "INVERSE"):
        levels = 255 - levels
    return levels


def modality_values(ds, frame=0):
    arr = ds.pixel_array
    if int(ds.get("NumberOfFrames", 1) or 1) > 1:
        arr = arr[frame]
    stored_bits = ds.BitsStored
    if ds.PixelRepresentation == 0 and stored_bits < ds.BitsAllocated:
        arr = arr & ((1 << stored_bits) - 1)
    return apply_modality_lut(arr, ds)


# ---- velmor-dump


def picture(dump, path, work, *options):
    out = os.path.join(work, "picture.ppm")
    if os.path.exists(out):
        os.remove(out)
    run = subprocess.run([dump, "picture", path, out, *options], capture_output=True, text=True)
    if run.returncode != 0:
        return None, run
    with open(out, "rb") as f:
        data = f.read()
    magic, width, height, _, pixels = data.split(maxsplit=4)
    got = np.frombuffer(pixels, np.uint8).reshape(int(height), int(width), 3).astype(np.float64)
    return got, run


def compare(dump, path, work, what, expected, *options, overlay=None):
    """`expected`: gray levels (NaN in bands, which must be black);
    `overlay`: where the overlay colour must be."""
    got, run = picture(dump, path, work, *options)
    if got is None:
        check(False, f"{what}: {run.stderr.strip()}")
        return None
    if got.shape[:2] != expected.shape:
        check(False, f"{what}: {got.shape[1]} x {got.shape[0]}, not {expected.shape[1]} x {expected.shape[0]}")
        return got
    gray = np.ones(expected.shape, bool) if overlay is None else ~overlay
    bands = np.isnan(expected)
    worst = np.abs(got[gray & ~bands] - expected[gray & ~bands][:, None]).max(initial=0)
    check(worst <= 2 and not got[bands].any(), f"{what} within 2 of pydicom's (worst {worst})")
    if overlay is not None:
        check(overlay.any() and (got[overlay] == YELLOW).all() and not (got[~overlay] == YELLOW).all(axis=-1).any(),
              f"{what}: the overlay colour exactly where the planes are")
    return got


def derived(source, work, name, change):
    ds = pydicom.dcmread(source)
    change(ds)
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    path = os.path.join(work, name)
    ds.save_as(path, write_like_original=False)
    return path


def lut_item(descriptor, data, signed=False, explanation=None):
    item = Dataset()
    item.add_new(0x00283002, "SS" if signed else "US", descriptor)
    item.add_new(0x00283006, "OW", np.asarray(data, "<u2").tobytes())
    if explanation:
        item.LUTExplanation = explanation
    return item


def without_windows(ds):
    for keyword in ("WindowCenter", "WindowWidth", "WindowCenterWidthExplanation", "RescaleSlope",
                    "RescaleIntercept", "RescaleType"):
        if keyword in ds:
            delattr(ds, keyword)


# ---- the stages


def sizes(dump, samples, work):
    ct = os.path.join(samples, "CT_small.dcm")
    ds = pydicom.dcmread(ct)
    stored = ds.pixel_array
    hu = lambda v: v * float(ds.RescaleSlope) + float(ds.RescaleIntercept)
    compare(dump, ct, work, "CT_small at 256 x 256", linear_window(hu(picture_resample(stored)), 50, 1024))
    for width, height, kernel in ((64, 64, "area"), (300, 200, "bilinear"), (700, 700, "nearest")):
        compare(dump, ct, work, f"CT_small at {width} x {height} ({kernel})",
                linear_window(hu(view_resample(stored, width, height)), 50, 1024), "--size", f"{width}x{height}")
    compare(dump, ct, work, "CT_small at full size", linear_window(hu(stored.astype(np.float64)), 50, 1024),
            "--size", "full")


def modality_luts(dump, samples, work):
    ct, mr = os.path.join(samples, "CT_small.dcm"), os.path.join(samples, "MR_small.dcm")
    ramp = np.arange(4096)

    def lut16(ds):
        without_windows(ds)
        # Signed pixels: the first value mapped is signed (-100).
        ds.ModalityLUTSequence = Sequence([lut_item([4096, -100, 16], (ramp * ramp) // 257, signed=True)])
        ds.ModalityLUTSequence[0].ModalityLUTType = "OD"
        ds.WindowCenter, ds.WindowWidth = 9000, 16000

    def lut8(ds):
        without_windows(ds)
        ds.PixelRepresentation = 0
        ds.ModalityLUTSequence = Sequence([lut_item([3000, 0, 8], np.sqrt(np.arange(3000) * 21).astype(int))])
        ds.WindowCenter, ds.WindowWidth = 128, 300

    def lut65536(ds):
        without_windows(ds)
        ds.PixelRepresentation = 0
        ds.ModalityLUTSequence = Sequence([lut_item([0, 0, 16], (np.arange(65536) * 7) % 65536)])
        ds.WindowCenter, ds.WindowWidth = 8000, 16000

    for name, source, change in (("16-bit Modality LUT", ct, lut16), ("8-bit Modality LUT", mr, lut8),
                                 ("65536-entry Modality LUT", mr, lut65536)):
        path = derived(source, work, "modality_lut.dcm", change)
        ds = pydicom.dcmread(path)
        values = modality_values(ds)
        compare(dump, path, work, f"{name} at full size", peer_levels(ds, values), "--size", "full")
        low, high = output_range(ds)
        resampled = picture_resample(values)
        expected = np.full(resampled.shape, np.nan)
        inside = ~np.isnan(resampled)
        expected[inside] = (apply_voi_lut(resampled[inside], ds, prefer_lut=False) - low) * 255.0 / (high - low)
        compare(dump, path, work, f"{name} at 256 x 256", expected)


def voi_stage(dump, samples, work):
    ct, mr = os.path.join(samples, "CT_small.dcm"), os.path.join(samples, "MR_small.dcm")

    def voi_lut_only(ds):
        without_windows(ds)
        ds.VOILUTSequence = Sequence([lut_item([2048, 100, 16], np.minimum(np.arange(2048) * 40, 65535),
                                               explanation="RAMP")])

    path = derived(mr, work, "voi_lut.dcm", voi_lut_only)
    ds = pydicom.dcmread(path)
    compare(dump, path, work, "a VOI LUT as the only window", peer_levels(ds, modality_values(ds)),
            "--size", "full")

    def several(ds):
        ds.WindowCenter, ds.WindowWidth = [40, -600, 400], [400, 1500, 1800]
        ds.WindowCenterWidthExplanation = ["SOFT", "LUNG", "BONE"]
        ds.VOILUTSequence = Sequence([lut_item([4096, 0, 12], np.arange(4096) // 2 + 1000)])

    path = derived(ct, work, "windows.dcm", several)
    ds = pydicom.dcmread(path)
    values = modality_values(ds)
    plain, _ = picture(dump, path, work, "--size", "full")
    first, _ = picture(dump, path, work, "--size", "full", "--window", "1")
    check(plain is not None and first is not None and np.array_equal(plain, first),
          "an Open applies the file's first window")
    for index in range(3):
        compare(dump, path, work, f"window {index + 1} of 3", peer_levels(ds, values, index, use_lut=False),
                "--size", "full", "--window", str(index + 1))
    compare(dump, path, work, "the VOI LUT after the windows", peer_levels(ds, values, 0, use_lut=True),
            "--size", "full", "--window", "4")
    # Then the eight CT presets and the two automatic windows.
    bone, _ = picture(dump, path, work, "--size", "full", "--window", "12")
    check(bone is not None and np.array_equal(bone, picture(dump, path, work, "--size", "full", "--window", "3")[0]),
          "the bone preset is 400 / 1800, as the file's third window")
    got, run = picture(dump, path, work, "--window", "15")
    check(got is None and "offers 14" in run.stderr, f"a window past the list is refused ({run.stderr.strip()})")

    for function in ("SIGMOID", "LINEAR_EXACT"):
        def shaped(ds):
            ds.WindowCenter, ds.WindowWidth, ds.VOILUTFunction = 60, 120, function
        path = derived(ct, work, f"{function}.dcm", shaped)
        ds = pydicom.dcmread(path)
        compare(dump, path, work, function, peer_levels(ds, modality_values(ds)), "--size", "full")


def presentation(dump, samples, work):
    mr = os.path.join(samples, "MR_small.dcm")
    plain, _ = picture(dump, mr, work)
    for photometric, inverted in (("MONOCHROME2", True), ("MONOCHROME1", False)):
        def shape(ds):
            ds.PhotometricInterpretation = photometric
            ds.PresentationLUTShape = "INVERSE"
        got, run = picture(dump, derived(mr, work, "inverse.dcm", shape), work)
        expected = 255 - plain if inverted else plain
        check(got is not None and np.array_equal(got, expected),
              f"INVERSE on {photometric}: {'inverted' if inverted else 'the two cancel'}")
    got, _ = picture(dump, mr, work, "--invert")
    check(got is not None and np.array_equal(got, 255 - plain), "--invert inverts")


def overlay_plane(ds, group, rows, columns, bits, origin=(1, 1), frames=None, first_frame=None):
    ds.add_new((group, 0x0010), "US", rows)
    ds.add_new((group, 0x0011), "US", columns)
    ds.add_new((group, 0x0040), "CS", "G")
    ds.add_new((group, 0x0050), "SS", list(origin))
    ds.add_new((group, 0x0100), "US", 1)
    ds.add_new((group, 0x0102), "US", 0)
    if frames is not None:
        ds.add_new((group, 0x0015), "IS", frames)
    if first_frame is not None:
        ds.add_new((group, 0x0051), "US", first_frame)
    ds.add_new((group, 0x3000), "OW", np.packbits(bits.astype(np.uint8).ravel(), bitorder="little").tobytes())


def placed(mask, rows, columns, origin):
    out = np.zeros((rows, columns), bool)
    r, c = origin[0] - 1, origin[1] - 1
    out[r:r + mask.shape[0], c:c + mask.shape[1]] = mask
    return out


def overlays(dump, samples, work):
    mr = os.path.join(samples, "MR_small.dcm")
    yy, xx = np.mgrid[0:64, 0:64]
    ring = np.abs(np.hypot(yy - 32, xx - 32) - 20) < 1.5
    box = np.zeros((16, 24), bool)
    box[[0, -1], :] = box[:, [0, -1]] = True

    def two_planes(ds):
        overlay_plane(ds, 0x6000, 64, 64, ring)
        overlay_plane(ds, 0x6002, 16, 24, box, origin=(41, 51))  # runs past the right edge

    path = derived(mr, work, "overlays.dcm", two_planes)
    ds = pydicom.dcmread(path)
    levels = peer_levels(ds, modality_values(ds))
    shown = ds.overlay_array(0x6000).astype(bool) | placed(ds.overlay_array(0x6002)[:, :14], 64, 64, (41, 51))
    compare(dump, path, work, "overlays in (60xx,3000)", levels, "--size", "full", "--overlays", overlay=shown)
    mask = picture_resample(shown * 255.0) >= 128
    compare(dump, path, work, "overlays at 256 x 256",
            linear_window(picture_resample(modality_values(ds)), 600, 1600), "--overlays", overlay=mask)
    plain, _ = picture(dump, path, work)
    check(plain is not None and not (plain == YELLOW).all(axis=-1).any(), "no overlays without --overlays")
    run = subprocess.run([dump, "picture", path, os.path.join(work, "gray.pgm"), "--overlays"],
                         capture_output=True, text=True)
    check(run.returncode == 1 and ".png or .ppm, not .pgm" in run.stderr, "--overlays refuses a .pgm")

    def high_bits(ds):
        arr = ds.pixel_array.astype(np.uint16)
        ds.PixelRepresentation, ds.BitsStored, ds.HighBit = 0, 12, 11
        ds.PixelData = (arr | (ring.astype(np.uint16) << 13)).astype("<u2").tobytes()
        ds.add_new(0x60000010, "US", 64)
        ds.add_new(0x60000011, "US", 64)
        ds.add_new(0x60000050, "SS", [1, 1])
        ds.add_new(0x60000100, "US", 16)
        ds.add_new(0x60000102, "US", 13)

    path = derived(mr, work, "high_bits.dcm", high_bits)
    ds = pydicom.dcmread(path)
    compare(dump, path, work, "an overlay in bit 13 of 12-bit samples", peer_levels(ds, modality_values(ds)),
            "--size", "full", "--overlays", overlay=ring)

    def multi_frame(ds):
        arr = ds.pixel_array
        ds.PixelData = np.stack([arr, arr[::-1], arr[:, ::-1]]).astype("<i2").tobytes()
        ds.NumberOfFrames = 3
        bits = np.stack([ring, ring[:, ::-1] & (xx < 32)])
        overlay_plane(ds, 0x6000, 64, 64, bits, frames=2, first_frame=2)

    path = derived(mr, work, "multi_frame.dcm", multi_frame)
    ds = pydicom.dcmread(path)
    planes = ds.overlay_array(0x6000).astype(bool)
    got, _ = picture(dump, path, work, "--size", "full", "--overlays", "--frame", "1")
    check(got is not None and not (got == YELLOW).all(axis=-1).any(), "frame 1 precedes the multi-frame overlay")
    for frame in (2, 3):
        compare(dump, path, work, f"frame {frame} of a multi-frame overlay",
                peer_levels(ds, modality_values(ds, frame - 1)), "--size", "full", "--overlays", "--frame",
                str(frame), overlay=planes[frame - 2])

    def cut_short(ds):
        overlay_plane(ds, 0x6000, 64, 64, ring)
        ds[0x60003000].value = ds[0x60003000].value[:300]

    path = derived(mr, work, "cut_short.dcm", cut_short)
    got, run = picture(dump, path, work, "--size", "full", "--overlays")
    expected_line = (f"velmor-dump: {path}: Overlay 6000 is not shown: its Overlay Data holds 300 bytes, "
                     "64 x 64 x 1 pixels need 512.")
    check(got is not None and expected_line in run.stderr.splitlines() and not (got == YELLOW).all(axis=-1).any(),
          f"overlay data cut short: refused with a message, the image shown ({run.stderr.strip()})")


def main():
    dump, samples = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as work:
        sizes(dump, samples, work)
        modality_luts(dump, samples, work)
        voi_stage(dump, samples, work)
        presentation(dump, samples, work)
        overlays(dump, samples, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
