#!/usr/bin/env python3
"""Deflated files through velmor-dump, against dcmdump, pydicom and each
file's uncompressed twin (dcmconv +te of it).

The files: pydicom's image_dfl.dcm and what dcmconv +td makes of real samples
(16-bit CT, a big-endian MR, odd-sized RGB, a plan full of sequences, a
32-bit dose).

- elements: the reader's walk lists the tags dcmdump lists.
- report: the viewer's report equals the twin's, apart from what must differ.
  The meta group is the writer's (the transfer syntax, the group length and,
  for image_dfl.dcm, the implementation that wrote it and a source title
  that dcmconv drops): its rows are not compared, but its dumped bytes must
  be the file's own. The data set must be the same: every row alike except
  the pixel data position, which moves with the meta group's size, and the
  dumped bytes from the meta group's end to the pixel data alike.
- pixels: the same bytes as the twin's and as pydicom's reading (an odd-sized
  value keeps its padding byte, as for any file).
- a data set inflating past 1024 times its size is refused with one clear
  error: the report lists the meta group alone, elements and pixels fail.

usage: deflated_files_test.py VELMOR_DUMP SAMPLE_DIR
"""
import os
import re
import struct
import sys
import tempfile
import zlib

import pydicom

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, run, summary  # noqa: E402

SOURCES = ("CT_small.dcm", "MR_small_bigendian.dcm", "SC_rgb_small_odd.dcm", "rtplan.dcm", "rtdose_1frame.dcm")


def meta_end(path):
    """End of the meta group from its group length (0002,0000)."""
    with open(path, "rb") as f:
        head = f.read(144)
    assert head[128:132] == b"DICM" and head[132:136] == b"\x02\x00\x00\x00", path
    return 144 + struct.unpack("<I", head[140:144])[0]


def dcmdump_tags(path):
    out = run("dcmdump", "+L", "-q", path).stdout.decode("latin-1")
    tags = []
    for line in out.splitlines():
        text = line.strip()
        if len(text) >= 11 and text[0] == "(" and text[5] == "," and text[10] == ")" \
                and "for re-encod" not in text:
            tags.append(text[:11].upper())
    return tags


def our_tags(dump, path):
    p = run(dump, "elements", path)
    return p.returncode, [line.split("\t")[1] for line in p.stdout.decode("latin-1").splitlines()]


def parse_report(text):
    """(dumped bytes, table lines)."""
    dump_part, _, table = text.partition("\r\n\r\n")
    data = bytearray()
    for line in dump_part.split("\r\n")[2:]:
        count = (len(line) - 9) // 4
        data += bytes(int(line[9 + 3 * i:11 + 3 * i], 16) for i in range(count))
    return bytes(data), [line for line in table.split("\r\n")[1:] if line]


PIXEL_POSITION = re.compile(r"\[ \[ (\d+) (\d+) \] \]$")


def data_set_row(line, meta_size):
    """A table line with the pixel data position taken from the data set's start."""
    found = PIXEL_POSITION.search(line)
    if line.startswith("(7FE0:0010)") and found:
        return line[:found.start()] + f"[ [ {int(found.group(1)) - meta_size} {found.group(2)} ] ]"
    return line


def compare_reports(dump, deflated, twin):
    name = os.path.basename(deflated)
    reports = [run(dump, "report", path) for path in (deflated, twin)]
    check(all(r.returncode == 0 for r in reports), f"{name}: report runs")
    (ours, our_rows), (theirs, their_rows) = (parse_report(r.stdout.decode("latin-1")) for r in reports)
    m_ours, m_theirs = meta_end(deflated), meta_end(twin)
    # The dump runs up to the pixel data, or over the whole file (the
    # inflated view) when there is none.
    with open(deflated, "rb") as f:
        check(ours[:m_ours] == f.read(m_ours), f"{name}: the dump's meta group is the file's own")
    check(len(ours) - m_ours == len(theirs) - m_theirs and ours[m_ours:] == theirs[m_theirs:],
          f"{name}: the dumped data set equals the twin's")
    if not their_rows[-1].startswith("(7FE0:0010)"):
        with open(twin, "rb") as f:
            check(theirs == f.read(), f"{name}: without pixel data the twin's dump is the whole file")
    check(our_rows[0] == their_rows[0], f"{name}: same header row")
    check(any(r.startswith("(0002:0010)") and "[ 1.2.840.10008.1.2.1.99 :" in r for r in our_rows),
          f"{name}: the transfer syntax row shows the deflated syntax")
    our_data = [data_set_row(r, m_ours) for r in our_rows[1:] if not r.startswith("(0002:")]
    their_data = [data_set_row(r, m_theirs) for r in their_rows[1:] if not r.startswith("(0002:")]
    check(len(our_data) > 10 and our_data == their_data, f"{name}: same data set rows")


def compare_pixels(dump, deflated, twin, work):
    name = os.path.basename(deflated)
    ds = pydicom.dcmread(deflated)
    if "PixelData" not in ds:
        return
    outs = [os.path.join(work, f"{name}.{i}.raw") for i in range(2)]
    runs = [run(dump, "pixels", path, out) for path, out in zip((deflated, twin), outs)]
    check(all(r.returncode == 0 for r in runs), f"{name}: pixels run")
    ours, theirs = (open(out, "rb").read() for out in outs)
    size = ds.Rows * ds.Columns * int(ds.get("NumberOfFrames", 1) or 1) * ds.SamplesPerPixel * (ds.BitsAllocated // 8)
    check(len(ours) >= size and ours == theirs, f"{name}: pixels equal the twin's")
    check(ours[:size] == ds.PixelData[:size], f"{name}: pixels equal pydicom's")


def refused_bomb(dump, samples, work):
    """A deflated file whose data set is 32 MB of zeros (about 1030:1)."""
    with open(os.path.join(samples, "image_dfl.dcm"), "rb") as f:
        head = f.read(meta_end(os.path.join(samples, "image_dfl.dcm")))
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = b"\xe0\x7f\x10\x00OB\x00\x00" + struct.pack("<I", 32 << 20)
    bomb = os.path.join(work, "bomb.dcm")
    with open(bomb, "wb") as f:
        f.write(head + packer.compress(body + bytes(32 << 20)) + packer.flush())
    error = "error: Deflated data set inflates to more than 1024 times its size"
    report = run(dump, "report", bomb)
    _, rows = parse_report(report.stdout.decode("latin-1"))
    check(report.returncode == 0 and error in report.stderr.decode() and
          all(r.startswith("(0002:") for r in rows[1:]) and len(rows) == 9, "bomb: report of the meta group alone")
    for command in ("elements", "pixels"):
        p = run(dump, command, bomb)
        check(p.returncode == 1 and p.stderr.decode().count(error) == 1, f"bomb: {command} refused")


def main(dump, samples):
    with tempfile.TemporaryDirectory() as work:
        deflated = [os.path.join(samples, "image_dfl.dcm")]
        for source in SOURCES:
            out = os.path.join(work, source.replace(".dcm", ".dfl.dcm"))
            check(run("dcmconv", "+td", os.path.join(samples, source), out).returncode == 0, f"dcmconv +td {source}")
            deflated.append(out)
        for path in deflated:
            name = os.path.basename(path)
            twin = os.path.join(work, name + ".twin.dcm")
            check(run("dcmconv", "+te", path, twin).returncode == 0, f"dcmconv +te {name}")
            status, tags = our_tags(dump, path)
            expected = dcmdump_tags(path)
            check(status == 0 and tags == expected and len(tags) > 20, f"{name}: elements equal dcmdump's")
            compare_reports(dump, path, twin)
            compare_pixels(dump, path, twin, work)
        refused_bomb(dump, samples, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
