#!/usr/bin/env python3
"""velmor-dump json and xml against the peers, on every file of pydicom's test
and charset sets that both sides read whole.

- json (every value inline: --bulk-threshold past any value, --pixel-data)
  against dcm2json and against pydicom's Dataset.to_json_dict, compared as
  parsed JSON; numbers equal within the precision of their text (DS, IS) or
  of their binary type (FL, FD).
- xml (the same options) against dcm2xml --native-format +Eb +U8 (Base64,
  text in UTF-8), compared as parsed XML.
- a file that the reader cannot finish (a truncated one): exit status 1, a
  message on standard error, and what was written parses and agrees with
  the peer for every element it holds.

The peers' own choices, normalised once here, with the rule that decides:
- dcm2json and dcm2xml rewrite Specific Character Set (0008,0005) as
  ISO_IR 192 since they write UTF-8; PS3.18 F.2.2 (note 3) keeps the source's
  value, as written here and by pydicom.
- dcm2json and dcm2xml write a person name of component delimiters only
  ("^^^^") as no value; F.2.2 writes each name group as it stands (pydicom
  agrees).
- dcm2json and dcm2xml pad an odd-length UN value with a zero byte; the value
  here is the file's bytes (F.2.7: the Value Field, base64).
- dcm2xml writes no InlineBinary content for encapsulated Pixel Data and OW
  words high byte first; here InlineBinary is the value's bytes little endian
  (F.2.7), fragments with their item headers.
- pydicom writes a string value with its padding space when the value is
  not the last one; F.2.4 holds values, padding is no part of a value.
- pydicom writes a big-endian file's OW bytes as the file holds them; F.2.7
  InlineBinary is little endian here, as dcm2json writes it.
- pydicom writes an empty sequence as "Value": [] and an empty value among
  several as ""; F.2.5 leaves an empty attribute without "Value" and writes
  an empty value as null (dcm2json agrees).
- pydicom and DCMTK know private dictionaries: a private element of a file
  without explicit VRs gets their VR; here it is UN (F.2.3: the VR known,
  none for a private tag), so those elements are compared by presence only.
- dcm2xml leaves the keyword of a retired attribute it does not list, and
  the privateCreator of a UN element, unwritten: keywords and creators are
  compared where the peer writes them.
- dcm2xml keeps a public element that the file marks UN as UN; here, as in
  pydicom, it takes the registry's VR (PS3.5 6.2.2: a UN value is re-read
  with the VR the dictionary gives, once it is known), so only its presence
  is compared.
- dcm2xml repeats a name's ideographic group as its phonetic group when the
  phonetic group is empty ("Wang^XiaoDong=..^..="); PS3.19 writes the groups
  the value has.
- dcm2xml writes FL and FD values to 9 and 17 digits; compared as numbers.
- dcm2xml drops the block number of a private tag that no creator reserves;
  here it stays, as only a creator can stand for it.
- dcm2xml writes a control character that XML 1.0 cannot hold as a
  character reference, which no XML parser reads; here it becomes U+FFFD.
  Such files are not compared.
- pydicom keeps Group Length (gggg,0000) elements; F.2.2 leaves them out
  (dcm2json agrees).
- pydicom keeps a file's OW for encapsulated Pixel Data; PS3.5 A.4 makes it
  OB (dcm2json and dcm2xml agree).

Files the reader itself does not read as the peers do, and so left out:
no_meta.dcm (a data set without a preamble), SC_rgb_jpeg.dcm (implicit
elements under an explicit transfer syntax), UN_sequence.dcm and
and meta_missing_tsyntax.dcm (sequences coded as UN inside undefined
lengths).

usage: model_peer_test.py VELMOR_DUMP PYDICOM_DATA_DIR
"""
import base64
import json
import math
import pathlib
import subprocess
import sys
import warnings
import xml.etree.ElementTree as ET

import pydicom

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "common"))
from checks import check, run, summary  # noqa: E402

VELMOR = sys.argv[1]
DATA = pathlib.Path(sys.argv[2])
INLINE = ["--bulk-threshold", str(1 << 40), "--pixel-data"]
LEFT_OUT = {"no_meta.dcm", "SC_rgb_jpeg.dcm", "UN_sequence.dcm", "meta_missing_tsyntax.dcm"}

warnings.simplefilter("ignore")  # pydicom's notes on the test files' invalid values


def is_private(tag):
    return int(tag[:4], 16) % 2 == 1


def close(a, b):
    if isinstance(a, bool) or isinstance(b, bool):
        return a == b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return math.isclose(a, b, rel_tol=1e-6, abs_tol=1e-30)
    return a == b


def normal_json(model, peer):
    """The members of one data set in a shape both sides share."""
    out = {}
    for tag, attr in model.items():
        attr = dict(attr)
        if tag == "00080005" or tag.endswith("0000"):
            continue
        values = attr.get("Value")
        if values is not None:
            if attr["vr"] == "SQ":
                values = [normal_json(item, peer) for item in values]
            elif attr["vr"] == "PN":
                values = [v if v and any(x.strip("^ ") for x in v.values()) else None for v in values]
            else:
                values = [v.rstrip(" ") if isinstance(v, str) else v for v in values]
                values = [None if v == "" else v for v in values]
            if not values or all(v is None for v in values):
                values = None
        if values is None:
            attr.pop("Value", None)
        else:
            attr["Value"] = values
        if "InlineBinary" in attr:
            raw = base64.b64decode(attr["InlineBinary"])
            if attr["vr"] == "UN" and len(raw) % 2 == 1:
                raw += b"\0"
            attr["InlineBinary"] = raw
        attr["vr"] = getattr(attr["vr"], "value", attr["vr"])
        out[tag] = attr
    return out


def compare_json(ours, peer, where, swap_ow=False):
    for tag in sorted(set(ours) | set(peer)):
        here = f"{where}/{tag}"
        if tag not in ours or tag not in peer:
            check(False, f"{here}: only in {'ours' if tag in ours else 'the peer'}")
            continue
        a, b = ours[tag], peer[tag]
        if is_private(tag) and "UN" in (a["vr"], b["vr"]) and a["vr"] != b["vr"]:
            continue  # the peer's private dictionary
        if tag == "7FE00010" and {a["vr"], b["vr"]} == {"OB", "OW"} and len(b.get("InlineBinary", b"")) > 3:
            b = dict(b, vr="OB") if b["InlineBinary"][:4] == b"\xfe\xff\x00\xe0" else b
        if a["vr"] != b["vr"]:
            check(False, f"{here}: vr {a['vr']} against {b['vr']}")
            continue
        if "InlineBinary" in a or "InlineBinary" in b:
            x, y = a.get("InlineBinary", b""), b.get("InlineBinary", b"")
            if swap_ow and a["vr"] in ("OW", "US") and x != y:
                y = b"".join(y[i : i + 2][::-1] for i in range(0, len(y), 2))
            check(x == y, f"{here}: InlineBinary differs")
            continue
        x, y = a.get("Value"), b.get("Value")
        if a["vr"] == "SQ" and x and y and len(x) == len(y):
            for i, (p, q) in enumerate(zip(x, y)):
                compare_json(p, q, f"{here}[{i}]", swap_ow)
            continue
        same = x == y or (x is not None and y is not None and len(x) == len(y) and all(map(close, x, y)))
        check(same, f"{here}: {str(x)[:120]} against {str(y)[:120]}")


def velmor(model, path):
    return subprocess.run([VELMOR, model, *INLINE, str(path)], capture_output=True)


def subset(ours, peer):
    """The peer's members that our partial output holds (the last one may be cut)."""
    return {tag: peer[tag] for tag in ours if tag in peer}


def json_against_peers(path):
    run = velmor("json", path)
    ours_raw = json.loads(run.stdout)
    partial = run.returncode != 0
    if partial:
        check(run.returncode == 1 and b"velmor-dump:" in run.stderr, f"{path.name}: a cut file exits 1 with a message")
    ours = normal_json(ours_raw, None)
    peer_run = subprocess.run(["dcm2json", str(path)], capture_output=True)
    if peer_run.returncode == 0 and not partial:
        try:
            compare_json(ours, normal_json(json.loads(peer_run.stdout), None), f"{path.name} dcm2json")
        except UnicodeDecodeError:
            print(f"{path.name}: dcm2json wrote text that is not UTF-8; not compared")
    try:
        dataset = pydicom.dcmread(str(path), force=True)
        peer = normal_json(dataset.to_json_dict(bulk_data_threshold=1 << 40), None)
    except Exception:
        return
    big_endian = not dataset.file_meta.get("TransferSyntaxUID", pydicom.uid.ImplicitVRLittleEndian).is_little_endian
    if partial:
        last = max(ours, default=None)
        peer = subset({t: v for t, v in ours.items() if t != last}, peer)
        ours = {t: v for t, v in ours.items() if t in peer}
    compare_json(ours, peer, f"{path.name} pydicom", swap_ow=big_endian)


def xml_attributes(node):
    """(tag, vr, keyword, creator, contents) of each DicomAttribute, in order."""
    out = []
    for attr in node.findall("DicomAttribute"):
        if attr.get("tag") == "00080005":
            continue  # the peer writes ISO_IR 192 (see above)
        contents = []
        for child in attr:
            if child.tag == "Item":
                contents.append(("Item", xml_attributes(child)))
            elif child.tag == "PersonName":
                groups = []
                for group in child:
                    groups.append((group.tag, tuple((c.tag, c.text) for c in group)))
                contents.append(("PersonName", child.get("number"), tuple(groups)))
            elif child.tag == "InlineBinary":
                contents.append(("InlineBinary", base64.b64decode(child.text or "")))
            elif child.tag == "BulkData":
                contents.append(("BulkData",))
            else:
                contents.append((child.tag, child.get("number"), child.text))
        out.append((attr.get("tag"), attr.get("vr"), attr.get("keyword"), attr.get("privateCreator"), contents))
    return out


def without_copied_phonetic(theirs, ours):
    """The peer's name without a phonetic group copied from the ideographic one."""
    groups = dict(theirs[2])
    if "Phonetic" in groups and "Phonetic" not in dict(ours[2]) and groups["Phonetic"] == groups.get("Ideographic"):
        return theirs[:2] + (tuple(g for g in theirs[2] if g[0] != "Phonetic"),)
    return theirs


def compare_xml(ours, peer, where):
    check(len(ours) == len(peer), f"{where}: {len(ours)} attributes against {len(peer)}")
    for a, b in zip(ours, peer):
        tag, vr, keyword, creator, contents = a
        here = f"{where}/{tag}"
        if is_private(tag) and b[3] is None and b[0] == tag[:4] + "00" + tag[6:]:
            b = (tag,) + b[1:]  # no creator reserves the block
        if b[1] == "UN" and vr != "UN" and not is_private(tag):
            continue  # the peer keeps the file's UN
        if (tag, vr) != (b[0], b[1]):
            check(is_private(tag) and "UN" in (vr, b[1]), f"{here}: {tag} {vr} against {b[0]} {b[1]}")
            continue
        if b[2] is not None or b[3] is not None:
            check((keyword, creator) == (b[2], b[3]), f"{here}: keyword {keyword} {creator} against {b[2]} {b[3]}")
        theirs = b[4]
        if vr == "PN" and not theirs:
            contents = [c for c in contents if any(comp for _, comp in c[2])]
        if vr == "PN":
            theirs = [without_copied_phonetic(c, o) for c, o in zip(theirs, contents)]
        if vr == "UN" and contents and theirs and contents[0][0] == "InlineBinary":
            raw = contents[0][1]
            contents = [("InlineBinary", raw + b"\0" if len(raw) % 2 else raw)]
        if tag == "7FE00010" and contents and contents[0][0] == "InlineBinary":
            if theirs and theirs[0] == ("InlineBinary", b""):
                continue  # encapsulated: the peer writes no content
            if vr == "OW":
                theirs = [("InlineBinary", b"".join(theirs[0][1][i : i + 2][::-1] for i in range(0, len(theirs[0][1]), 2)))]
        if vr == "OW" and contents and theirs and contents[0][0] == "InlineBinary" and tag != "7FE00010":
            t = theirs[0][1]
            theirs = [("InlineBinary", b"".join(t[i : i + 2][::-1] for i in range(0, len(t), 2)))]
        if vr == "SQ":
            check(len(contents) == len(theirs), f"{here}: item count")
            for i, (x, y) in enumerate(zip(contents, theirs)):
                compare_xml(x[1], y[1], f"{here}[{i}]")
            continue
        if vr in ("FL", "FD", "DS"):
            same = len(contents) == len(theirs) and all(
                x[:2] == y[:2] and math.isclose(float(x[2]), float(y[2]), rel_tol=1e-6) for x, y in zip(contents, theirs)
            )
        else:
            same = contents == theirs
        check(same, f"{here}: {str(contents)[:120]} against {str(theirs)[:120]}")


def xml_against_peer(path):
    run = velmor("xml", path)
    ours = xml_attributes(ET.fromstring(run.stdout))
    peer_run = subprocess.run(["dcm2xml", "--native-format", "+Eb", "+U8", str(path)], capture_output=True)
    if run.returncode != 0 or peer_run.returncode != 0:
        return
    try:
        peer = xml_attributes(ET.fromstring(peer_run.stdout))
    except ET.ParseError:
        print(f"{path.name}: dcm2xml wrote a control character XML 1.0 cannot hold; not compared")
        return
    compare_xml(ours, peer, f"{path.name} dcm2xml")


files = sorted((DATA / "test_files").glob("*.dcm")) + sorted((DATA / "charset_files").glob("*.dcm"))
for path in files:
    if path.name in LEFT_OUT:
        continue
    json_against_peers(path)
    xml_against_peer(path)

sys.exit(summary())
