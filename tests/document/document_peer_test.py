#!/usr/bin/env python3
"""velmor-dump extract and sr against DCMTK.

- extract: PDFs of odd and even length made here, encapsulated by pdf2dcm,
  come back byte for byte, as dcm2pdf writes them; an odd PDF whose
  Encapsulated Document Length was removed loses its pad byte all the same;
  an STL encapsulated by stl2dcm comes back byte for byte; a length that
  disagrees with the value is named and the whole value written; a file
  without a document, or cut inside it, is refused and leaves no OUT.
- sr: the content trees of pydicom's test-SR.dcm and reportsi.dcm, and of a
  report made here (tests/document/make_report.py) in ISO 2022 IR 87, against
  dsrdump's of the same files (the made report in UTF-8 for dsrdump, which
  cannot decode ISO 2022 IR 87): positions, relationships, value types,
  concept names and values compared item by item, not dsrdump's text format.

usage: document_peer_test.py VELMOR_DUMP PYDICOM_DATA_DIR
"""
import pathlib
import re
import struct
import subprocess
import sys
import tempfile

import pydicom

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "common"))
from checks import check, run, summary  # noqa: E402

VELMOR = sys.argv[1]
DATA = pathlib.Path(sys.argv[2]) / "test_files"
HERE = pathlib.Path(__file__).resolve().parent


def pdf(body_padding):
    """A one-page-tree PDF; body_padding spaces set its length's parity."""
    return (b"%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
            b"2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n" + b" " * body_padding +
            b"trailer<</Root 1 0 R>>\n%%EOF\n")


def extract_tests(tmp):
    for padding in (0, 1):
        source = tmp / f"doc{padding}.pdf"
        source.write_bytes(pdf(padding))
        dcm, ours, peers = tmp / f"doc{padding}.dcm", tmp / f"ours{padding}.pdf", tmp / f"peer{padding}.pdf"
        run("pdf2dcm", source, dcm).check_returncode()
        result = run(VELMOR, "extract", dcm, ours)
        check(result.returncode == 0 and ours.read_bytes() == source.read_bytes(),
              f"PDF of {len(pdf(padding))} bytes: {result}")
        check(result.stdout == f"PDF {len(pdf(padding))} bytes\n".encode(), f"extract printed {result.stdout}")
        run("dcm2pdf", dcm, peers).check_returncode()
        check(peers.read_bytes() == ours.read_bytes(), f"dcm2pdf disagrees on {dcm.name}")

    # The odd PDF without Encapsulated Document Length: the pad after %%EOF goes.
    ds = pydicom.dcmread(tmp / "doc0.dcm")
    check(len(ds.EncapsulatedDocument) == len(pdf(0)) + 1, "pdf2dcm no longer pads the odd PDF")
    del ds.EncapsulatedDocumentLength
    ds.save_as(tmp / "no-length.dcm")
    result = run(VELMOR, "extract", tmp / "no-length.dcm", tmp / "no-length.pdf")
    check(result.returncode == 0 and (tmp / "no-length.pdf").read_bytes() == pdf(0), f"no length: {result}")

    # A length that disagrees by more than the pad: named, the whole value written.
    ds.EncapsulatedDocumentLength = 10
    ds.save_as(tmp / "bad-length.dcm")
    result = run(VELMOR, "extract", tmp / "bad-length.dcm", tmp / "bad-length.pdf")
    check(result.returncode == 0 and b"(0042,0015) is 10 bytes" in result.stderr and
          (tmp / "bad-length.pdf").read_bytes() == ds.EncapsulatedDocument, f"bad length: {result}")

    stl = tmp / "model.stl"
    # Binary STL (stl2dcm takes no other): header, count, one triangle.
    stl.write_bytes(b"velmor".ljust(80, b" ") + struct.pack("<I12fH", 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0))
    run("stl2dcm", "--manufacturer", "M", "--manufacturer-model", "M", "--device-serial", "1",
        "--software-versions", "1", stl, tmp / "stl.dcm").check_returncode()
    result = run(VELMOR, "extract", tmp / "stl.dcm", tmp / "back.stl")
    check(result.returncode == 0 and result.stdout.startswith(b"STL ") and
          (tmp / "back.stl").read_bytes() == stl.read_bytes(), f"STL: {result}")

    out = tmp / "none.pdf"
    result = run(VELMOR, "extract", DATA / "test-SR.dcm", out)
    check(result.returncode == 1 and b"holds no encapsulated document" in result.stderr and not out.exists(),
          f"no document: {result}")
    whole = (tmp / "doc0.dcm").read_bytes()
    (tmp / "cut.dcm").write_bytes(whole[:-40])
    result = run(VELMOR, "extract", tmp / "cut.dcm", out)
    check(result.returncode == 1 and result.stderr != b"" and not out.exists(), f"cut file: {result}")


# dsrdump: "POSITION  <[relationship ]TYPE:[(value,scheme,"meaning")]=VALUE>" or
# "POSITION  <relationship POSITION>", then " {observed}".
PEER_LINE = re.compile(r'^(\S+)  <(.*)>(?: \{(.*)\})?$')
PEER_ITEM = re.compile(r'^(?:([a-z ]+) )?([A-Z0-9]+):(?:\(([^,]*),([^,]*),"(.*?)"\))?=(.*)$')
PEER_REFERENCE = re.compile(r'^([a-z ]+) ([0-9.]+)$')
# velmor-dump sr: "POSITION [RELATIONSHIP ]TYPE[ (value, scheme, "meaning")][ = VALUE| [CONTINUITY]][ {observed}]".
VALUE_TYPES = ("CONTAINER|TEXT|CODE|NUM|DATETIME|DATE|TIME|UIDREF|PNAME|COMPOSITE|IMAGE|WAVEFORM|SCOORD3D|SCOORD|"
               "TCOORD")
OUR_LINE = re.compile(r'^ *(\S+) (?:([A-Z ]+?) )?(' + VALUE_TYPES +
                      r')(?: \(([^,]*), ([^,]*), "(.*?)"\))?(.*?)(?: \{(.*)\})?$')
OUR_REFERENCE = re.compile(r'^ *(\S+) ([A-Z ]+) -> ([0-9.]+)$')
NUMBER = re.compile(r'-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?')
TEXT_TYPES = {"TEXT", "DATE", "TIME", "DATETIME", "UIDREF", "PNAME"}


def value_key(value_type, value, ours):
    """What both sides say of a value, in one form."""
    if value_type in TEXT_TYPES:
        text = value[1:-1] if value.startswith('"') else value
        return text.replace('\\"', '"') if ours else text
    if value_type == "CONTAINER":
        return value.strip("[]")
    if value_type == "CODE":
        return value.replace(", ", ",")
    if value_type == "NUM":
        return tuple(float(n) for n in NUMBER.findall(value.split("(")[0])), value.count("(")
    if value_type in ("SCOORD", "SCOORD3D", "TCOORD"):
        kind = re.match(r'\(?([A-Z_]+)', value).group(1)
        uids = re.findall(r'\d+(?:\.\d+){3,}', value)
        rest = re.sub(r'\d+(?:\.\d+){3,}', '', value)
        return kind, uids, [round(float(n), 4) for n in NUMBER.findall(rest)]
    # COMPOSITE, IMAGE, WAVEFORM: UIDs, frames, channels in order.
    return re.findall(r'[0-9][0-9./]*', value)


def peer_tree(path):
    out = run("dsrdump", "-Ph", "+Pn", "+Pl", "+Pc", "+Psu", "+Pu", "+U8", "-Ec", "-Ee", "-Ev", path)
    tree = []
    for line in out.stdout.decode().splitlines():
        m = PEER_LINE.match(line)
        if not m:
            continue
        position, body, observed = m.groups()
        ref = PEER_REFERENCE.match(body)
        if ref:
            tree.append((position, ref.group(1), "->", ref.group(2)))
            continue
        item = PEER_ITEM.match(body)
        relationship, value_type, *concept, value = item.groups()
        tree.append((position, relationship or "", value_type, tuple(c or "" for c in concept),
                     value_key(value_type, value, False), re.sub(r'\D', '', observed or "")))
    return tree


def our_tree(path):
    out = run(VELMOR, "sr", path)
    tree = []
    for line in out.stdout.decode().splitlines():
        ref = OUR_REFERENCE.match(line)
        if ref:
            tree.append((ref.group(1), ref.group(2).lower(), "->", ref.group(3)))
            continue
        m = OUR_LINE.match(line)
        position, relationship, value_type, *concept, value, observed = m.groups()
        value = value[3:] if value.startswith(" = ") else value.strip()
        tree.append((position, (relationship or "").lower(), value_type, tuple(c or "" for c in concept),
                     value_key(value_type, value, True), re.sub(r'\D', '', observed or "")))
    return out.returncode, tree


def sr_tests(tmp):
    made, made_utf8 = tmp / "made.dcm", tmp / "made-utf8.dcm"
    for path, charset in ((made, "jis"), (made_utf8, "utf-8")):
        subprocess.run(["/usr/bin/python3", HERE / "make_report.py", path, charset], check=True)
    for ours, peers in ((DATA / "test-SR.dcm",) * 2, (DATA / "reportsi.dcm",) * 2, (made, made_utf8)):
        status, tree = our_tree(ours)
        expected = peer_tree(peers)
        check(status == 0 and len(tree) >= 8, f"sr {ours.name}: status {status}, {len(tree)} items")
        check(len(tree) == len(expected), f"sr {ours.name}: {len(tree)} items, dsrdump {len(expected)}")
        for a, b in zip(tree, expected):
            check(a == b, f"sr {ours.name}: {a} != dsrdump's {b}")
    result = run(VELMOR, "sr", DATA / "CT_small.dcm")
    check(result.returncode == 1 and b"holds no structured report" in result.stderr, f"not SR: {result}")


with tempfile.TemporaryDirectory() as folder:
    extract_tests(pathlib.Path(folder))
    sr_tests(pathlib.Path(folder))
sys.exit(summary())
