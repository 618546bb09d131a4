#!/usr/bin/python3
"""Sequential DCT JPEG fixtures for jpeg_tests, each decoded by the peer.

Three kinds of stream, all decoded by dcmdjpeg (no colour conversion, +cn)
for the expected samples:
  - the 12-bit files of pydicom's test set, as they are;
  - streams dcmcjpeg writes from real images (+ee 12-bit from CT and MR,
    +eb 8-bit colour with and without 4:2:2 subsampling);
  - streams written here by a small baseline/extended encoder, for what the
    peer encoder does not write: 12-bit colour with 4:2:0, 4:2:2, 4:1:1 and
    1:2 sampling, restart intervals, one scan per component, odd sizes,
    four components, codes longer than 10 bits.
Written into OUTDIR:
  NAME.jpg      the stream (the first fragment of the frame)
  NAME.raw      the peer's samples, interleaved, little endian 16-bit for
                12-bit streams, bytes for 8-bit ones
  manifest.txt  lines "NAME PRECISION COMPONENTS WIDTH HEIGHT"

Usage: make_dct_fixtures.py PYDICOM_TEST_FILES OUTDIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.encaps import encapsulate, generate_pixel_data_frame
from pydicom.uid import SecondaryCaptureImageStorage, generate_uid

EXTENDED = "1.2.840.10008.1.2.4.51"
BASELINE = "1.2.840.10008.1.2.4.50"

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
          13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59,
          52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]


def dct_matrix():
    c = np.zeros((8, 8))
    for k in range(8):
        for n in range(8):
            c[k, n] = (np.sqrt(0.125) if k == 0 else 0.5) * np.cos((2 * n + 1) * k * np.pi / 16)
    return c


def huffman_table(groups):
    """groups: [(length, [symbols])] -> (bits[1..16], values, {symbol: (code, length)})."""
    bits = [0] * 17
    values = []
    for length, symbols in groups:
        bits[length] += len(symbols)
    for length in range(1, 17):
        for l2, symbols in groups:
            if l2 == length:
                values.extend(symbols)
    codes = {}
    code = 0
    p = 0
    for length in range(1, 17):
        for _ in range(bits[length]):
            codes[values[p]] = (code, length)
            code += 1
            p += 1
        code <<= 1
    return bits[1:], values, codes


# DC categories 0..15; category 15 has a 16-bit code.
DC_TABLE = huffman_table([(2, [0]), (3, [1, 2, 3]), (5, list(range(4, 12))), (7, [12, 13, 14]),
                          (16, [15])])
_AC_ALL = [r << 4 | s for r in range(16) for s in range(1, 15)]
_AC_SHORT = [0x01, 0x02, 0x03, 0x11, 0x04, 0x21]
_AC_REST = [s for s in _AC_ALL if s not in _AC_SHORT] + [0xF0]
# EOB in 2 bits, a few common symbols in 3 and 4, most in 10, some in 12:
# codes longer than the decoder's 10-bit look-ahead.
AC_TABLE = huffman_table([(2, [0x00]), (3, _AC_SHORT[:2]), (4, _AC_SHORT[2:]), (10, _AC_REST[:180]),
                          (12, _AC_REST[180:])])


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, count):
        for i in range(count - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = 0
                self.n = 0

    def flush(self):
        while self.n:
            self.put(1, 1)


def category(v):
    v = abs(int(v))
    return v.bit_length()


def put_value(w, v, size):
    w.put(v if v >= 0 else v + (1 << size) - 1, size)


def encode_block(w, coefs, last_dc):
    """coefs: 64 quantized values in natural order. Returns the DC value."""
    dc = int(coefs[0])
    diff = dc - last_dc
    s = category(diff)
    code, length = DC_TABLE[2][s]
    w.put(code, length)
    if s:
        put_value(w, diff, s)
    run = 0
    zz = [int(coefs[ZIGZAG[k]]) for k in range(64)]
    for k in range(1, 64):
        if zz[k] == 0:
            run += 1
            continue
        while run > 15:
            w.put(*AC_TABLE[2][0xF0])
            run -= 16
        s = category(zz[k])
        w.put(*AC_TABLE[2][run << 4 | s])
        put_value(w, zz[k], s)
        run = 0
    if run:
        w.put(*AC_TABLE[2][0x00])
    return dc


def segment(marker, payload):
    return bytes([0xFF, marker]) + (len(payload) + 2).to_bytes(2, "big") + bytes(payload)


def encode(planes, sampling, precision, quality_step, restart=0, separate_scans=False):
    """planes: full-size arrays of samples; sampling: [(h, v)] per component."""
    height, width = planes[0].shape
    hmax = max(h for h, _ in sampling)
    vmax = max(v for _, v in sampling)
    mcux = -(-width // (8 * hmax))
    mcuy = -(-height // (8 * vmax))
    c = dct_matrix()
    center = 1 << (precision - 1)
    top = (1 << (precision + 2)) - 1 if precision == 12 else 1023
    quant = np.array([[quality_step + (i + j) for j in range(8)] for i in range(8)])
    blocks = []  # per component: 2-D array of quantized blocks
    for plane, (h, v) in zip(planes, sampling):
        fy, fx = vmax // v, hmax // h
        dh, dw = -(-height * v // vmax), -(-width * h // hmax)
        small = np.zeros((dh, dw))
        for y in range(dh):
            for x in range(dw):
                small[y, x] = plane[y * fy:(y + 1) * fy, x * fx:(x + 1) * fx].mean()
        by, bx = mcuy * v, mcux * h
        padded = np.pad(small, ((0, by * 8 - dh), (0, bx * 8 - dw)), mode="edge")
        q = np.zeros((by, bx, 8, 8), dtype=int)
        for y in range(by):
            for x in range(bx):
                f = c @ (padded[y * 8:y * 8 + 8, x * 8:x * 8 + 8] - center) @ c.T
                q[y, x] = np.clip(np.round(f / quant), -top, top)
        blocks.append((q, dh, dw))

    out = bytearray(b"\xFF\xD8")
    qt = [0x10 if precision == 12 else 0x00]
    for k in range(64):
        value = int(quant.flat[ZIGZAG[k]])
        qt += [value >> 8, value & 255] if precision == 12 else [value]
    out += segment(0xDB, qt)
    out += segment(0xC4, [0x00] + DC_TABLE[0] + DC_TABLE[1] + [0x10] + AC_TABLE[0] + AC_TABLE[1])
    if restart:
        out += segment(0xDD, restart.to_bytes(2, "big"))
    sof = [precision, height >> 8, height & 255, width >> 8, width & 255, len(planes)]
    for i, (h, v) in enumerate(sampling):
        sof += [i + 1, h << 4 | v, 0]
    out += segment(0xC1 if precision == 12 else 0xC0, sof)

    def scan(components, units):
        """units: list of MCUs, each a list of (component, block)."""
        data = bytearray()
        out_scan = segment(0xDA, [len(components)] + sum([[i + 1, 0x00] for i in components], []) + [0, 63, 0])
        w = BitWriter()
        last = {i: 0 for i in components}
        for n, unit in enumerate(units):
            if restart and n and n % restart == 0:
                w.flush()
                w.out += bytes([0xFF, 0xD0 + (n // restart - 1) % 8])
                last = {i: 0 for i in components}
            for comp, block in unit:
                last[comp] = encode_block(w, block.reshape(64), last[comp])
        w.flush()
        data += w.out
        return out_scan + data

    if separate_scans:
        for i, (q, dh, dw) in enumerate(blocks):
            units = [[(i, q[y, x])] for y in range(-(-dh // 8)) for x in range(-(-dw // 8))]
            out += scan([i], units)
    else:
        units = []
        for my in range(mcuy):
            for mx in range(mcux):
                unit = []
                for i, (h, v) in enumerate(sampling):
                    q = blocks[i][0]
                    for y in range(v):
                        for x in range(h):
                            unit.append((i, q[my * v + y, mx * h + x]))
                units.append(unit)
        if len(planes) == 1:  # a one-component scan codes its blocks one by one
            q, dh, dw = blocks[0]
            units = [[(0, q[y, x])] for y in range(-(-dh // 8)) for x in range(-(-dw // 8))]
        out += scan(list(range(len(planes))), units)
    out += b"\xFF\xD9"
    return bytes(out)


def synthetic_planes(width, height, components, precision, seed):
    rng = np.random.default_rng(seed)
    top = (1 << precision) - 1
    y, x = np.mgrid[0:height, 0:width]
    planes = []
    for c in range(components):
        base = (np.sin(x / (3.0 + c) + c) + np.cos(y / (4.0 + c)) + 2.0) / 4.0 * top
        base += rng.integers(-top // 40, top // 40 + 1, size=(height, width))
        base[height // 3, :] = top  # a bright line and a dark column: ringing near the range ends
        base[:, width // 2] = 0
        planes.append(np.clip(base, 0, top))
    return planes


def wrap(path, stream, width, height, components, precision):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = SecondaryCaptureImageStorage
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = EXTENDED if precision == 12 else BASELINE
    ds = FileDataset(path, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.SamplesPerPixel = components
    ds.PhotometricInterpretation = {1: "MONOCHROME2", 3: "YBR_FULL", 4: "CMYK"}[components]
    if components > 1:
        ds.PlanarConfiguration = 0
    ds.Rows, ds.Columns = height, width
    ds.BitsAllocated = 16 if precision == 12 else 8
    ds.BitsStored = precision
    ds.HighBit = precision - 1
    ds.PixelRepresentation = 0
    ds.PixelData = encapsulate([stream])
    ds["PixelData"].VR = "OB"
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(path, write_like_original=False)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def main():
    test_files, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    work = tempfile.mkdtemp(prefix="velmor_dct_")
    try:
        manifest = []

        def add(name, encoded):
            """Takes the first fragment of `encoded` and dcmdjpeg's decoding of it."""
            decoded = os.path.join(work, name + "_dec.dcm")
            run("dcmdjpeg", "+cn", encoded, decoded)
            ds = pydicom.dcmread(encoded)
            frames = int(ds.get("NumberOfFrames", 1) or 1)
            fragment = next(generate_pixel_data_frame(ds.PixelData, frames))
            out = pydicom.dcmread(decoded)
            spp, rows, cols = int(out.SamplesPerPixel), int(out.Rows), int(out.Columns)
            bytes_per = int(out.BitsAllocated) // 8
            samples = np.frombuffer(out.PixelData[:rows * cols * spp * bytes_per],
                                    np.uint16 if bytes_per == 2 else np.uint8)
            if spp > 1 and out.get("PlanarConfiguration", 0) == 1:
                samples = samples.reshape(spp, rows * cols).T.reshape(-1)
            precision = 12 if bytes_per == 2 else 8
            with open(os.path.join(outdir, name + ".jpg"), "wb") as f:
                f.write(fragment)
            with open(os.path.join(outdir, name + ".raw"), "wb") as f:
                f.write(samples.astype("<u2" if bytes_per == 2 else np.uint8).tobytes())
            manifest.append(f"{name} {precision} {spp} {cols} {rows}")

        for name in ("JPGExtended", "JPEG-lossy"):
            add(name.replace("-", "_"), os.path.join(test_files, name + ".dcm"))

        for name in ("SC_rgb_dcmtk_+eb+cy+s2", "SC_rgb_dcmtk_+eb+cy+n2"):
            add(name.replace("+", "_"), os.path.join(test_files, name + ".dcm"))

        # The RGB source is RLE-coded in the test set: made native first.
        rgb = os.path.join(work, "rgb.dcm")
        run("dcmdrle", os.path.join(test_files, "SC_rgb_rle.dcm"), rgb)
        peer = [("ct_ee", os.path.join(test_files, "CT_small.dcm"), ["+ee"]),
                ("mr_ee", os.path.join(test_files, "MR_small.dcm"), ["+ee"]),
                ("mr_ee_q40", os.path.join(test_files, "MR_small.dcm"), ["+ee", "+q", "40"]),
                ("rgb_eb_s2", rgb, ["+eb", "+cy", "+s2"]),
                ("rgb_ee_s4", rgb, ["+ee", "+cy", "+s4"]),
                ("rgbodd_eb_s2", os.path.join(test_files, "SC_rgb_small_odd.dcm"), ["+eb", "+cy", "+s2"])]
        for name, source, options in peer:
            encoded = os.path.join(work, name + ".dcm")
            run("dcmcjpeg", *options, source, encoded)
            add(name, encoded)

        # name, width, height, sampling, precision, restart interval, one scan per component
        made = [("gray12_odd_dri3", 37, 29, [(1, 1)], 12, 3, False),
                ("ycc12_420_dri2", 45, 33, [(2, 2), (1, 1), (1, 1)], 12, 2, False),
                ("ycc12_422", 50, 20, [(2, 1), (1, 1), (1, 1)], 12, 0, False),
                ("ycc12_411", 40, 16, [(4, 1), (1, 1), (1, 1)], 12, 0, False),
                ("ycc12_12", 24, 31, [(1, 2), (1, 1), (1, 1)], 12, 0, False),
                ("ycc12_420_narrow", 4, 5, [(2, 2), (1, 1), (1, 1)], 12, 0, False),
                ("ycc12_420_scans_dri5", 41, 27, [(2, 2), (1, 1), (1, 1)], 12, 5, True),
                ("ycc8_420_dri1", 35, 19, [(2, 2), (1, 1), (1, 1)], 8, 1, False),
                ("cmyk12", 19, 21, [(1, 1)] * 4, 12, 0, False)]
        for seed, (name, width, height, sampling, precision, restart, separate) in enumerate(made):
            planes = synthetic_planes(width, height, len(sampling), precision, seed)
            stream = encode(planes, sampling, precision, 2 if precision == 12 else 1, restart, separate)
            encoded = os.path.join(work, name + ".dcm")
            wrap(encoded, stream, width, height, len(sampling), precision)
            add(name, encoded)

        with open(os.path.join(outdir, "dct_manifest.txt"), "w") as f:
            f.write("\n".join(manifest) + "\n")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
