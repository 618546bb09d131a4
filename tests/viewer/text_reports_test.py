#!/usr/bin/python3
"""Reports through velmor-dump against pydicom and against the reports from
before the character sets and the new dictionary names.

usage: text_reports_test.py VELMOR_DUMP TEST_FILES CHARSET_FILES
       text_reports_test.py VELMOR_DUMP TEST_FILES --write BEFORE_DIR
           (rewrites data/undeclared_reports.txt from BEFORE_DIR, which holds
           the earlier build's report of each file, named by its path under
           TEST_FILES with "/" turned into "@")
       text_reports_test.py VELMOR_DUMP TEST_FILES --bless
           (after a change that alters reports on purpose: takes today's
           reports, with every description of a tag outside the 719-entry
           table back to "Unknown", as the new reference)

1. Every file of pydicom's charset_files: the decoded text values in the
   UTF-8 report equal pydicom's decoding of the same file.
2. Every file of test_files without (0008,0005): its report is byte for byte
   the earlier one once the description cells that gained a name (listed in
   data/undeclared_reports.txt) read "Unknown" again.
3. The UTF-8 report of chrH31.dcm holds the name in kanji; an encoding we
   do not know is refused with status 2.
"""
import hashlib
import pathlib
import re
import subprocess
import sys
import warnings

import pydicom

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data" / "undeclared_reports.txt"
ROW = re.compile(rb"\(([0-9A-F]{4}):([0-9A-F]{4})\)  (\S*)  (\d+)  \t(.*?) \t\[ (.*) \]\Z", re.S)
# VRs whose pydicom value is the decoded text itself (DS and IS are numbers there).
COMPARED_VRS = {"AE", "AS", "CS", "DA", "DT", "LO", "LT", "PN", "SH", "ST", "TM", "UC", "UI", "UR", "UT"}
SINGLE_VALUED = {"LT", "ST", "UT", "UR"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def report(dump, path, *options):
    result = subprocess.run([dump, "report", *options, str(path)], capture_output=True, timeout=60)
    return result.returncode, result.stdout


def element_rows(text):
    """(tag, vr, description, data) of each element row after the separator."""
    parts = text.split(b"-" * 54 + b"\r\n", 1)
    if len(parts) != 2:
        return []
    body = parts[1]
    rows = []
    for chunk in re.split(rb"\r\n(?=\([0-9A-F]{4}:[0-9A-F]{4}\)  )", body)[1:]:
        m = ROW.match(chunk.removesuffix(b"\r\n"))
        if m:
            tag = (int(m.group(1), 16) << 16) | int(m.group(2), 16)
            rows.append((tag, m.group(3).decode(), m.group(5), m.group(6)))
    return rows


def normalized(text, vr):
    values = [text] if vr in SINGLE_VALUED else text.split("\\")
    values = [v.strip(" \0") for v in values]
    if vr == "PN":
        values = [v.rstrip("=") for v in values]
    return "\\".join(values)


def pydicom_text(elem):
    value = elem.value
    if isinstance(value, (list, pydicom.multival.MultiValue)):
        return "\\".join(str(v) for v in value)
    return "" if value is None else str(value)


def check_charset_file(dump, path):
    status, text = report(dump, path, "--encoding", "utf-8")
    check(status == 0, f"{path.name}: status {status}")
    ours = [r for r in element_rows(text) if r[0] >> 16 not in (0x0002, 0xFFFE) and r[0] != 0x7FE00010]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        theirs = [e for e in pydicom.dcmread(path).iterall() if e.tag != 0x7FE00010]
    check([r[0] for r in ours] == [int(e.tag) for e in theirs], f"{path.name}: not the same elements")
    compared = 0
    for (tag, vr, _, data), elem in zip(ours, theirs):
        cell = data.decode("utf-8")
        if vr not in COMPARED_VRS or cell.endswith("..."):
            continue
        compared += 1
        expected = normalized(pydicom_text(elem), vr)
        check(normalized(cell, vr) == expected, f"{path.name} ({tag:08X}): {cell!r} != {expected!r}")
    check(compared > 0, f"{path.name}: no text value compared")


def report_files(test_files):
    return sorted(p for p in test_files.rglob("*") if p.is_file())


def restored(text, names):
    """The report with the listed description cells back to "Unknown"."""
    lines = text.split(b"\r\n")
    for index, tag, name in names:
        head, description, rest = lines[index].split(b" \t", 2)
        check(head.startswith(tag.encode()) and description == name.encode(),
              f"line {index}: {lines[index][:80]!r} does not name {tag} {name}")
        lines[index] = b" \t".join([head, b"Unknown", rest])
    return b"\r\n".join(lines)


def read_expectations():
    hashes, names = {}, {}
    for line in DATA.read_text().splitlines():
        if line.startswith("F "):
            _, rel, digest = line.split(" ", 2)
            hashes[rel] = digest
        elif line.startswith("N "):
            _, rel, index, tag, name = line.split(" ", 4)
            names.setdefault(rel, []).append((int(index), tag, name))
    return hashes, names


def check_undeclared_reports(dump, test_files):
    hashes, names = read_expectations()
    check(len(hashes) > 50, "too few files listed")
    for rel, digest in hashes.items():
        status, text = report(dump, test_files / rel)
        check(b"(0008:0005)" not in text, f"{rel} declares a character set")
        after = hashlib.sha256(restored(text, names.get(rel, []))).hexdigest()
        check(after == digest, f"{rel}: report differs from before beyond the new names")


def write_expectations(dump, test_files, before_dir):
    out = ["# Reports of test_files without (0008,0005): F path sha256-of-the-report-before-the-new-names,",
           "# N path line-index tag name: a description cell that gained a name. Written by",
           "# text_reports_test.py --write."]
    gained = set()
    for path in report_files(test_files):
        rel = str(path.relative_to(test_files))
        before = (before_dir / rel.replace("/", "@")).read_bytes()
        if b"(0008:0005)" in before:
            continue
        _, text = report(dump, path)
        out.append(f"F {rel} {hashlib.sha256(before).hexdigest()}")
        for index, (old, new) in enumerate(zip(before.split(b"\r\n"), text.split(b"\r\n"))):
            if old != new:
                name = new.split(b" \t", 2)[1].decode()
                tag = new[:11].decode()
                out.append(f"N {rel} {index} {tag} {name}")
                gained.add(tag)
    DATA.write_text("\n".join(out) + "\n")
    print(f"{len(gained)} distinct tags gained a name in these reports")


def gained_names(text):
    """(line index, tag, name) of each row whose tag the 719-entry table lacks
    but which has a description."""
    table = (HERE.parent.parent / "reader" / "dictionary_data.cpp").read_text()
    known = {f"({g}:{e})".encode() for g, e in re.findall(r"\{0x([0-9A-F]{4}), 0x([0-9A-F]{4}), VR_", table)}
    found = []
    for index, line in enumerate(text.split(b"\r\n")):
        parts = line.split(b" \t", 2)
        if re.match(rb"\([0-9A-F]{4}:[0-9A-F]{4}\)  ", line) and len(parts) == 3 and line[:11] not in known \
                and parts[1] != b"Unknown":
            found.append((index, line[:11].decode(), parts[1].decode()))
    return found


def bless_expectations(dump, test_files):
    hashes, _ = read_expectations()
    out = [line for line in DATA.read_text().splitlines() if line.startswith("#")]
    for rel in hashes:
        _, text = report(dump, test_files / rel)
        names = gained_names(text)
        out.append(f"F {rel} {hashlib.sha256(restored(text, names)).hexdigest()}")
        out += [f"N {rel} {index} {tag} {name}" for index, tag, name in names]
    DATA.write_text("\n".join(out) + "\n")


def main():
    dump, test_files = sys.argv[1], pathlib.Path(sys.argv[2])
    if sys.argv[3] == "--write":
        write_expectations(dump, test_files, pathlib.Path(sys.argv[4]))
        return 0
    if sys.argv[3] == "--bless":
        bless_expectations(dump, test_files)
        for failure in failures:
            print("FAIL:", failure)
        return 1 if failures else 0
    charset_files = pathlib.Path(sys.argv[3])
    for path in sorted(charset_files.glob("*.dcm")):
        check_charset_file(dump, path)
    check_undeclared_reports(dump, test_files)

    status, text = report(dump, charset_files / "chrH31.dcm", "--encoding", "utf-8")
    check("山田^太郎" in text.decode("utf-8"), "chrH31.dcm: no 山田^太郎 in the UTF-8 report")
    status, text = report(dump, charset_files / "chrH31.dcm", "--encoding", "latin-1")
    check(status == 2 and text == b"", f"an unknown encoding gives status {status}")

    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
