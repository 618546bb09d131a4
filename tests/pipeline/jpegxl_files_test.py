#!/usr/bin/env python3
"""JPEG XL files through velmor-dump, against the sources and djxl.

Each source's pixels (8-bit gray, 12- and 16-bit gray, 8-bit RGB from real
samples) are written as PGM/PPM, compressed by cjxl (lossless, lossy; a real
JPEG frame recompressed) and wrapped by pydicom in a DICOM file, one
codestream per frame.

- pixels: lossless frames give the source's samples exactly, lossy and
  recompressed ones djxl's decoding of the same codestream exactly; two
  frames of two fragments each are found by their start signatures.
- picture: a lossless file shows the picture of its uncompressed source.
- refusals: a codestream unlike Rows or Bits Allocated, or an image past
  what its data can hold, is refused with a clear message and status 1.

usage: jpegxl_files_test.py VELMOR_DUMP SAMPLE_DIR
"""
import copy
import os
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.encaps import encapsulate
from pydicom._uid_dict import UID_dictionary
from pydicom.uid import UID

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402

LOSSLESS, RECOMPRESSED, LOSSY = "1.2.840.10008.1.2.4.110", "1.2.840.10008.1.2.4.111", "1.2.840.10008.1.2.4.112"
# The JPEG XL syntaxes, for a pydicom that does not know them yet.
for uid, name in ((LOSSLESS, "JPEGXLLossless"), (RECOMPRESSED, "JPEGXLJPEGRecompression"), (LOSSY, "JPEGXL")):
    UID_dictionary.setdefault(uid, (name, "Transfer Syntax", "", "", name))


def write_pnm(path, pixels, maxval):
    """PGM or PPM (big-endian samples above 8 bits) of a rows x columns (x 3)
    array. cjxl (0.7) reads samples above 8 bits over the whole 16-bit range
    whatever the maxval, and keeps maxval's precision: 12-bit samples are
    given to it scaled up so that the codestream holds them as they are."""
    kind = b"P6" if pixels.ndim == 3 else b"P5"
    if 255 < maxval < 65535:
        pixels = np.rint(pixels.astype(np.float64) * 65535 / maxval)
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%d\n" % (kind, pixels.shape[1], pixels.shape[0], maxval))
        f.write(pixels.astype(">u2" if maxval > 255 else "u1").tobytes())


def read_pnm(path):
    """The samples of a PGM/PPM as djxl writes them, in host (little-endian) order."""
    with open(path, "rb") as f:
        kind, size, maxval, body = f.read().split(b"\n", 3)
    return np.frombuffer(body, ">u2").astype("<u2").tobytes() if int(maxval) > 255 else body


def sources(sample_dir):
    """(name, template data set, samples as stored, PNM maxval)."""
    def read(name):
        return pydicom.dcmread(os.path.join(sample_dir, name))

    made = [(name, read(name), maxval) for name, maxval in
            (("MR_small.dcm", 65535), ("CT_small.dcm", 65535), ("image_dfl.dcm", 255), ("SC_rgb_small_odd.dcm", 255))]
    twelve = read("MR_small.dcm")  # its samples (127..2145) fit in 12 unsigned bits
    twelve.PixelRepresentation, twelve.BitsStored, twelve.HighBit = 0, 12, 11
    made.append(("MR_small-12bit", twelve, 4095))
    return [(name, ds, ds.pixel_array.view(np.uint16 if maxval > 255 else np.uint8), maxval)
            for name, ds, maxval in made]


def wrap(template, codestreams, syntax, path, fragments=1, **changes):
    """The template with these codestreams as its frames (each cut into
    `fragments` items, no offset table) under `syntax`."""
    ds = copy.deepcopy(template)
    items = []
    for stream in codestreams:
        step = (len(stream) + 2 * fragments - 1) // (2 * fragments) * 2  # only the last item padded
        items += [stream[k:k + step] for k in range(0, len(stream), step)]
    ds.PixelData = encapsulate(items, has_bot=False)
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    ds.NumberOfFrames = len(codestreams)
    if ds.SamplesPerPixel == 3:
        ds.PlanarConfiguration = 0
    for keyword, value in changes.items():
        setattr(ds, keyword, value)
    ds.file_meta.TransferSyntaxUID = UID(syntax)
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)
    return path


def velmor_pixels(dump, path, work):
    out = os.path.join(work, "velmor.raw")
    if os.path.exists(out):
        os.remove(out)
    p = run(dump, "pixels", path, out)
    if p.returncode != 0:
        print(p.stderr.decode(errors="replace"))
        return None
    with open(out, "rb") as f:
        return f.read()


def compress(pnm, codestream, *options):
    p = run("cjxl", pnm, codestream, *options)
    if p.returncode != 0:
        sys.exit(f"cjxl cannot compress {pnm}: {p.stderr.decode(errors='replace')}")
    with open(codestream, "rb") as f:
        return f.read()


def bare_codestream(data):
    """The codestream inside a JPEG XL container (its jxlc box, or its jxlp
    boxes joined), or the data when it is one already."""
    if data[:2] == b"\xff\x0a":
        return data
    at, parts = 0, []
    while at + 8 <= len(data):
        size, kind = int.from_bytes(data[at:at + 4], "big"), data[at + 4:at + 8]
        header = 8
        if size == 1:
            size, header = int.from_bytes(data[at + 8:at + 16], "big"), 16
        end = len(data) if size == 0 else at + size
        if kind == b"jxlc":
            parts.append(data[at + header:end])
        elif kind == b"jxlp":
            parts.append(data[at + header + 4:end])
        at = end
    return b"".join(parts)


def peer_decoding(codestream, work, colour):
    out = os.path.join(work, "djxl.ppm" if colour else "djxl.pgm")
    p = run("djxl", codestream, out)
    return read_pnm(out) if p.returncode == 0 else None


def pictures_alike(dump, a, b, work):
    """velmor-dump picture of both files gives the same bytes."""
    shots = []
    for k, path in enumerate((a, b)):
        out = os.path.join(work, f"picture{k}.png")
        if run(dump, "picture", path, out).returncode != 0:
            return False
        with open(out, "rb") as f:
            shots.append(f.read())
    return shots[0] == shots[1]


def refused(dump, path, message, work):
    p = run(dump, "pixels", path, os.path.join(work, "refused.raw"))
    return p.returncode == 1 and message in p.stderr.decode(errors="replace")


def main():
    dump, sample_dir = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        for name, template, pixels, maxval in sources(sample_dir):
            colour = pixels.ndim == 3
            pnm = os.path.join(work, "source.ppm" if colour else "source.pgm")
            write_pnm(pnm, pixels, maxval)
            stored = pixels.astype("<u2" if maxval > 255 else "u1").tobytes()
            lossless = compress(pnm, os.path.join(work, "lossless.jxl"), "-d", "0")
            path = wrap(template, [lossless], LOSSLESS, os.path.join(work, "lossless.dcm"))
            check(velmor_pixels(dump, path, work) == stored, f"{name}: lossless pixels")
            if 255 < maxval < 65535:
                continue  # djxl (0.7) writes such samples over the 16-bit range: no peer to compare with
            lossy_stream = os.path.join(work, "lossy.jxl")
            lossy = compress(pnm, lossy_stream, "-d", "1.5")
            path = wrap(template, [lossy], LOSSY, os.path.join(work, "lossy.dcm"))
            expected = peer_decoding(lossy_stream, work, colour)
            check(expected is not None and velmor_pixels(dump, path, work) == expected, f"{name}: lossy pixels")
        check_the_rest(dump, sample_dir, work)
    return summary()


def check_the_rest(dump, sample_dir, work):
    mr = pydicom.dcmread(os.path.join(sample_dir, "MR_small.dcm"))
    pixels = mr.pixel_array.view(np.uint16)
    streams = []
    for k, frame in enumerate((pixels, pixels[::-1, ::-1].copy())):
        pnm = os.path.join(work, f"frame{k}.pgm")
        write_pnm(pnm, frame, 65535)
        boxed = compress(pnm, os.path.join(work, f"frame{k}.jxl"), "-d", "0")
        streams.append(boxed if k else bare_codestream(boxed))
    check(streams[0][:2] == b"\xff\x0a" and streams[1][4:8] == b"JXL ", "a bare and a boxed codestream")
    stored = pixels.astype("<u2").tobytes() + pixels[::-1, ::-1].astype("<u2").tobytes()
    frames = wrap(mr, streams, LOSSLESS, os.path.join(work, "frames.dcm"), fragments=2)
    check(velmor_pixels(dump, frames, work) == stored, "two frames of two fragments each (bare and boxed)")

    single = wrap(mr, streams[:1], LOSSLESS, os.path.join(work, "single.dcm"))
    check(pictures_alike(dump, single, os.path.join(sample_dir, "MR_small.dcm"), work),
          "picture of a lossless file equals its source's")

    # A real JPEG frame recompressed: its pixels as djxl decodes them.
    jpeg = pydicom.dcmread(os.path.join(sample_dir, "SC_rgb_jpeg_dcmtk.dcm"))
    jpeg_path = os.path.join(work, "frame.jpg")
    with open(jpeg_path, "wb") as f:
        f.write(pydicom.encaps.decode_data_sequence(jpeg.PixelData)[0])
    recompressed_stream = os.path.join(work, "recompressed.jxl")
    recompressed = compress(jpeg_path, recompressed_stream, "--lossless_jpeg=1")
    path = wrap(jpeg, [recompressed], RECOMPRESSED, os.path.join(work, "recompressed.dcm"))
    expected = peer_decoding(recompressed_stream, work, True)
    check(expected is not None and velmor_pixels(dump, path, work) == expected, "recompressed JPEG pixels")

    taller = wrap(mr, streams[:1], LOSSLESS, os.path.join(work, "taller.dcm"), Rows=65)
    check(refused(dump, taller, "The frame's codestream holds 64 x 64 x 1 samples, the data set 64 x 65 x 1", work),
          "a codestream unlike Rows is refused")
    narrow = wrap(mr, streams[:1], LOSSLESS, os.path.join(work, "narrow.dcm"), BitsAllocated=8, BitsStored=8,
                  HighBit=7)
    check(refused(dump, narrow, "JPEG XL - Sample precision does not fit Bits Allocated", work),
          "16-bit samples in an 8-bit frame are refused")
    huge = wrap(mr, streams[:1], LOSSLESS, os.path.join(work, "huge.dcm"), NumberOfFrames=60000)
    check(refused(dump, huge, "Encapsulated PixelData too short for the announced frames", work) and
          not os.path.exists(os.path.join(work, "refused.raw")),
          "an image past what its data can hold is refused")


if __name__ == "__main__":
    sys.exit(main())
