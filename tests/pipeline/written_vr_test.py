#!/usr/bin/env python3
"""Data sets written otherwise than their transfer syntax says, through
velmor-dump, against pydicom.

The files: pydicom's SC_rgb_jpeg.dcm (JPEG baseline, whose syntax implies
explicit VR, written implicit) and two made here from real samples: MR_small
declared implicit but written explicit, and MR_small_implicit declared
explicit but written implicit.

- elements lists the data set's elements as pydicom reads them, with a
  warning; the report the same up to the pixel data, where it stops, its
  rows with the real values.
- pixels: SC_rgb_jpeg.dcm within the JPEG tolerance of pydicom's decoding
  (within 2 on every sample, within 1 on 99.9 %), the others equal to the
  source's samples.

usage: written_vr_test.py VELMOR_DUMP SAMPLE_DIR
"""
import os
import sys
import tempfile
import warnings

import numpy as np
import pydicom
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402

WARNING = "Transfer syntax says %s VR but the data set is %s VR"


def pydicom_tags(path):
    """Every element's tag in file order, items' elements included, as (GGGG,EEEE)."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        ds = pydicom.dcmread(path)
    meta = [f"({e.tag.group:04X},{e.tag.element:04X})" for e in ds.file_meta]
    return meta + [f"({e.tag.group:04X},{e.tag.element:04X})" for e in ds.iterall()]


def contradicting(source, declared, out):
    """`source`'s data set written as it is, under the other syntax's UID."""
    ds = pydicom.dcmread(source)
    with open(source, "rb") as f:
        data = f.read()
    start = data.index(b"DICM") + 4
    meta_length = int.from_bytes(data[start + 8:start + 12], "little")
    body = data[start + 12 + meta_length:]
    ds.file_meta.TransferSyntaxUID = declared
    with tempfile.TemporaryDirectory() as tmp:
        meta_only = os.path.join(tmp, "meta.dcm")
        empty = pydicom.Dataset()
        empty.file_meta = ds.file_meta
        empty.preamble = b"\0" * 128
        empty.is_little_endian, empty.is_implicit_VR = True, declared == ImplicitVRLittleEndian
        empty.save_as(meta_only, write_like_original=False)
        with open(meta_only, "rb") as f:
            head = f.read()
    with open(out, "wb") as f:
        f.write(head + body)


def check_file(dump, path, said, written):
    name = os.path.basename(path)
    warning = WARNING % (said, written)
    p = run(dump, "elements", path)
    ours = [line.split("\t")[1] for line in p.stdout.decode("latin-1").splitlines()]
    theirs = pydicom_tags(path)
    ours_without_items = [t for t in ours if not t.startswith("(FFFE,")]
    check(p.returncode == 0 and ours_without_items == theirs, f"{name}: elements lists pydicom's elements")
    check(warning in p.stderr.decode(), f"{name}: elements warns: {warning}")
    p = run(dump, "report", path)
    text = p.stdout.decode("latin-1")
    rows = [line for line in text.split("\r\n") if line[:1] == "(" and line[5:6] == ":"]
    row_tags = [r[:11].replace(":", ",") for r in rows]
    up_to_pixels = theirs[:theirs.index("(7FE0,0010)") + 1] if "(7FE0,0010)" in theirs else theirs
    check(p.returncode == 0 and [t for t in row_tags if not t.startswith("(FFFE,")] == up_to_pixels,
          f"{name}: the report lists pydicom's elements up to the pixel data")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        ds = pydicom.dcmread(path)
    rows_row = next((r for r in rows if r.startswith("(0028:0010)")), "")
    check(rows_row.rstrip().endswith(f"[ {ds.Rows} ]"), f"{name}: the Rows row shows {ds.Rows}: {rows_row}")
    return ds


def pixels(dump, path, tmp):
    out = os.path.join(tmp, "pixels.raw")
    p = run(dump, "pixels", path, out)
    if p.returncode != 0 or not os.path.exists(out):
        return None
    with open(out, "rb") as f:
        data = f.read()
    os.remove(out)
    return data


def main():
    dump, samples = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        jpeg = os.path.join(samples, "SC_rgb_jpeg.dcm")
        ds = check_file(dump, jpeg, "explicit", "implicit")
        expected = ds.pixel_array.astype(np.int16).ravel()
        got = pixels(dump, jpeg, tmp)
        check(got is not None and len(got) == expected.size, "SC_rgb_jpeg.dcm: pixels decoded")
        if got is not None and len(got) == expected.size:
            difference = np.abs(np.frombuffer(got, np.uint8).astype(np.int16) - expected)
            check(difference.max() <= 2 and np.count_nonzero(difference > 1) * 1000 <= expected.size,
                  f"SC_rgb_jpeg.dcm: within the JPEG tolerance of pydicom (largest {difference.max()})")
        for source, declared, said, written in (
                ("MR_small.dcm", ImplicitVRLittleEndian, "implicit", "explicit"),
                ("MR_small_implicit.dcm", ExplicitVRLittleEndian, "explicit", "implicit")):
            path = os.path.join(tmp, source + ".contradicting.dcm")
            contradicting(os.path.join(samples, source), declared, path)
            check_file(dump, path, said, written)
            got = pixels(dump, path, tmp)
            check(got == pydicom.dcmread(os.path.join(samples, source)).pixel_array.astype("<i2").tobytes(),
                  f"{source} declared {said}: pixels equal the source's")
            os.remove(path)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
