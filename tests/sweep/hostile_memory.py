#!/usr/bin/python3
"""Peak memory of velmor-dump on hostile files.

Each file is about SIZE_MB (default 100) megabytes and announces far more than
it holds: native pixel data under a header of 65535 x 65535 x 2^31-1 frames,
encapsulated RLE and lossless JPEG frames with the same header, and a
fragment whose item length runs past the end of the file. `pixels` and
`picture` must each end with the expected status (0 where the file holds
what it needs, 1 with a message where it is refused) and a peak resident size
of at most three times the file plus a fixed allowance for the program.

usage: hostile_memory.py VELMOR_DUMP WORK_DIR [SIZE_MB] [--limit-address-space]

With --limit-address-space (builds without sanitizers) each run also gets an
address-space limit of the same bound plus 256 MB for code and libraries.
"""
import os
import resource
import struct
import subprocess
import sys
import time

ALLOWANCE_MB = 96  # the program, its libraries and the sanitizer runtime


def element(group, number, vr, value):
    if vr in (b"OB", b"OW", b"SQ", b"UN", b"UT"):
        return struct.pack("<HH2sHI", group, number, vr, 0, len(value)) + value
    return struct.pack("<HH2sH", group, number, vr, len(value)) + value


def header(syntax, frames=b"2147483647 ", rows=65535, columns=65535, bits=16):
    uid = syntax.encode() + (b"\0" if len(syntax) % 2 else b"")
    meta = element(0x0002, 0x0010, b"UI", uid)
    out = b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, b"UL", struct.pack("<I", len(meta))) + meta
    out += element(0x0028, 0x0002, b"US", struct.pack("<H", 1))
    out += element(0x0028, 0x0004, b"CS", b"MONOCHROME2 ")
    out += element(0x0028, 0x0008, b"IS", frames)
    out += element(0x0028, 0x0010, b"US", struct.pack("<H", rows))
    out += element(0x0028, 0x0011, b"US", struct.pack("<H", columns))
    out += element(0x0028, 0x0100, b"US", struct.pack("<H", bits))
    return out


def item(value):
    return struct.pack("<HHI", 0xFFFE, 0xE000, len(value)) + value


def encapsulated(syntax, fragment, size, **kw):
    """Items of `fragment` repeated to about `size` bytes, no delimiter."""
    head = header(syntax, **kw) + struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + item(b"")
    one = item(fragment)
    return head + one * max(1, (size - len(head)) // len(one))


def rle_fragment():
    # One segment of replicate runs that never fills a 65535 x 65535 frame.
    segment = bytes([0x81, 0x11]) * 32
    return struct.pack("<16I", 1, 64, *([0] * 14)) + segment


def ljpeg_fragment(rows, columns):
    # SOI, a 16-bit frame, one Huffman table whose one 1-bit code means
    # "no difference", a scan of zero bits, EOI.
    soi = b"\xff\xd8"
    sof = b"\xff\xc3" + struct.pack(">HBHHB", 11, 16, rows, columns, 1) + bytes([1, 0x11, 0])
    dht = b"\xff\xc4" + struct.pack(">H", 2 + 17 + 1) + bytes([0, 1] + [0] * 15) + bytes([0])
    sos = b"\xff\xda" + struct.pack(">HB", 8, 1) + bytes([1, 0, 1, 0, 0])
    return soi + sof + dht + sos + b"\x00" * 512 + b"\xff\xd9"


def files(size):
    """(name, bytes, the status velmor-dump must end with (or one per command),
    text it must say when it fails)."""
    native = header("1.2.840.10008.1.2.1")
    length = size - len(native) - 12
    native += struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OW", 0, length)
    yield "native-announces-more", native + bytes(length), 0, ""
    yield "rle-frames-beyond-file", encapsulated("1.2.840.10008.1.2.5", rle_fragment(), size), 1, ""
    yield "ljpeg-frames-beyond-file", encapsulated("1.2.840.10008.1.2.4.70",
                                                   ljpeg_fragment(65535, 65535), size), 1, ""
    # 900 frames of 2048 x 2048 bytes (3.8 GB, below the largest buffer)
    # from 1 MB of fragments: the whole image is refused before anything is
    # allocated; the picture decodes frame 1 alone.
    small = encapsulated("1.2.840.10008.1.2.5", rle_fragment(), 1024 * 1024, frames=b"900 ",
                         rows=2048, columns=2048, bits=8)
    yield "rle-3.8gb-from-1mb", small, {"pixels": 1, "picture": 0}, "too short for the announced frames"
    # A frame count the file can hold, and one lossless JPEG fragment whose
    # item length claims 2 GB: the rest of the file is all there is to read;
    # the whole image loads the frame cut off as zeros, the picture refuses it.
    head = header("1.2.840.10008.1.2.4.70", frames=b"1 ", rows=64, columns=64)
    head += struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 0xFFFFFFFF) + item(b"")
    long_item = struct.pack("<HHI", 0xFFFE, 0xE000, 0x7FFFFFF0) + ljpeg_fragment(64, 64)
    yield "ljpeg-item-past-end", head + long_item + bytes(size - len(head) - len(long_item)), \
        {"pixels": 0, "picture": 1}, "Frame 1 lies past the end of the file: the pixel data ends before its first frame."


def limit_address_space(megabytes):
    """For the child: no mapping beyond `megabytes`, so that an allocation
    the file cannot justify fails even where it would never be touched.
    (Not under the sanitizers, which reserve terabytes of shadow memory.)"""
    def apply():
        if megabytes:
            limit = megabytes * 1024 * 1024
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    return apply


def peak_rss(args, work, virtual_mb=0):
    """Runs args under /usr/bin/time, whose small process is the one that
    forks velmor-dump (a child of this process would start from this
    process's peak). Returns (status, stderr, peak resident kB, seconds)."""
    report = os.path.join(work, "time.txt")
    start = time.monotonic()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, *args],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       preexec_fn=limit_address_space(virtual_mb))
    took = time.monotonic() - start
    with open(report) as f:
        lines = f.read().split()
    peak = int(lines[-1]) if lines and lines[-1].isdigit() else 0
    return p.returncode, p.stderr.decode("utf-8", "replace"), peak, took


def main():
    dump, work = sys.argv[1], sys.argv[2]
    size = int(sys.argv[3] if len(sys.argv) > 3 else 100) * 1024 * 1024
    limit_virtual = "--limit-address-space" in sys.argv[4:]
    os.makedirs(work, exist_ok=True)
    failures = 0
    for name, body, expected, says in files(size):
        path = os.path.join(work, name + ".dcm")
        with open(path, "wb") as f:
            f.write(body)
        file_size = len(body)
        del body
        limit_kb = (3 * file_size) // 1024 + ALLOWANCE_MB * 1024
        for args in (["pixels", path], ["picture", path, os.path.join(work, name + ".pgm")]):
            virtual_mb = limit_kb // 1024 + 256 if limit_virtual else 0
            code, err, rss, took = peak_rss([dump, *args], work, virtual_mb)
            status = expected[args[0]] if isinstance(expected, dict) else expected
            verdict = "ok"
            if "Sanitizer" in err or "runtime error" in err:
                verdict = "sanitizer report"
            elif code != status:
                verdict = f"exit status {code}, expected {status}"
            elif code != 0 and not err.strip():
                verdict = "failed without a message"
            elif code != 0 and says not in err:
                verdict = f"no message '{says}'"
            elif rss > limit_kb:
                verdict = f"peak {rss // 1024} MB over the bound {limit_kb // 1024} MB"
            print(f"{args[0]:8} {name:26} {file_size / 1048576:5.1f} MB file  status {code}  "
                  f"peak {rss // 1024:5} MB  {took:5.1f} s  {verdict}")
            if verdict != "ok":
                failures += 1
                print(err[-2000:])
        os.remove(path)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
