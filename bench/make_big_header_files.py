#!/usr/bin/python3
"""Writes the two big-header files of window_bench into DIR.

big_ut_value.dcm: a Part-10 CT-like header holding a 50 MB UT value before a
2 MiB 16-bit picture (52 MB in all). many_elements.dcm: a structure set whose
ROI Contour Sequence holds 18,462 items of contours, 240,000 element rows in
all, and no pixel data. Both are written byte by byte (explicit VR little
endian), so no toolkit is needed.

usage: make_big_header_files.py DIR
"""
import os
import struct
import sys

LONG_VRS = {b"OB", b"OW", b"OF", b"SQ", b"UT", b"UN", b"UC", b"UR"}


def element(group, elem, vr, value):
    if len(value) % 2:
        value += b" " if vr not in (b"UI", b"OB") else b"\0"
    head = struct.pack("<HH", group, elem) + vr
    if vr in LONG_VRS:
        return head + b"\0\0" + struct.pack("<I", len(value)) + value
    return head + struct.pack("<H", len(value)) + value


def undefined(group, elem, vr):
    return struct.pack("<HH", group, elem) + vr + b"\0\0" + b"\xff\xff\xff\xff"


def item(body):
    return struct.pack("<HHI", 0xFFFE, 0xE000, len(body)) + body


def part10(sop_class, body):
    meta = element(0x0002, 0x0001, b"OB", b"\0\1")
    meta += element(0x0002, 0x0002, b"UI", sop_class)
    meta += element(0x0002, 0x0003, b"UI", b"1.2.826.0.1.3680043.8.498.1")
    meta += element(0x0002, 0x0010, b"UI", b"1.2.840.10008.1.2.1")
    meta = element(0x0002, 0x0000, b"UL", struct.pack("<I", len(meta))) + meta
    return b"\0" * 128 + b"DICM" + meta + body


def big_ut_value():
    body = element(0x0008, 0x0016, b"UI", b"1.2.840.10008.5.1.4.1.1.2")
    body += element(0x0008, 0x0060, b"CS", b"CT")
    body += element(0x0010, 0x0010, b"PN", b"Big^Header")
    body += element(0x0020, 0x4000, b"LT", b"A text value before the long one")
    body += element(0x0028, 0x0002, b"US", struct.pack("<H", 1))
    body += element(0x0028, 0x0004, b"CS", b"MONOCHROME2")
    body += element(0x0028, 0x0010, b"US", struct.pack("<H", 1024))
    body += element(0x0028, 0x0011, b"US", struct.pack("<H", 1024))
    body += element(0x0028, 0x0100, b"US", struct.pack("<H", 16))
    body += element(0x0028, 0x0101, b"US", struct.pack("<H", 12))
    body += element(0x0028, 0x0102, b"US", struct.pack("<H", 11))
    body += element(0x0028, 0x0103, b"US", struct.pack("<H", 0))
    text = (b"The quick brown fox jumps over the lazy dog. " * 1200000)[:50_000_000]
    body += element(0x0040, 0x0280, b"UT", text)
    pixels = bytes(range(256)) * (1024 * 1024 * 2 // 256)
    body += element(0x7FE0, 0x0010, b"OW", pixels)
    return part10(b"1.2.840.10008.5.1.4.1.1.2", body)


def many_elements():
    body = element(0x0008, 0x0005, b"CS", b"ISO_IR 100")
    body += element(0x0008, 0x0016, b"UI", b"1.2.840.10008.5.1.4.1.1.481.3")
    body += element(0x0008, 0x0060, b"CS", b"RTSTRUCT")
    body += element(0x0010, 0x0010, b"PN", b"Many^Contours")
    contour = element(0x3006, 0x0042, b"CS", b"CLOSED_PLANAR")
    contour += element(0x3006, 0x0046, b"IS", b"4")
    contour += element(0x3006, 0x0050, b"DS", b"-10.5\\-20.25\\30\\-10.5\\20.25\\30\\10.5\\20.25\\30\\10.5\\-20.25\\30")
    items = []
    for n in range(18462):
        roi = element(0x3006, 0x002A, b"IS", b"255\\0\\0")
        roi += undefined(0x3006, 0x0040, b"SQ")
        roi += item(contour) * 2
        roi += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
        roi += element(0x3006, 0x0084, b"IS", str(n + 1).encode())
        items.append(item(roi))
    body += undefined(0x3006, 0x0039, b"SQ") + b"".join(items) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
    return part10(b"1.2.840.10008.5.1.4.1.1.481.3", body)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, make in (("big_ut_value.dcm", big_ut_value), ("many_elements.dcm", many_elements)):
        path = os.path.join(out, name)
        if not os.path.exists(path):
            with open(path + ".part", "wb") as f:
                f.write(make())
            os.replace(path + ".part", path)


if __name__ == "__main__":
    main()
