#!/usr/bin/env python3
"""The English translation covers the window's texts: every message of the .ts
file is translated (none unfinished, none vanished) with the placeholders of
its source, and lupdate, run on the sources into a file of its own, finds
exactly the messages the .ts file holds, so a new text cannot slip through
untranslated nor a removed one linger.

usage: translations_test.py LUPDATE TS_FILE SOURCE_ROOT FOLDER...
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

lupdate, ts_file, root, *folders = sys.argv[1:]
failures = []
passed = 0

PLACEHOLDER = re.compile(r"%\d+")


def messages(path):
    """(context, source) -> the <translation> element, for every message of a .ts file."""
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            found[(name, message.findtext("source"))] = message.find("translation")
    return found


def check(ok, failure):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(failure)


translated = messages(ts_file)
check(translated, f"{ts_file} holds no message")
for (context, source), translation in sorted(translated.items()):
    where = f"{context}: {source!r}"
    text = translation.text if translation is not None else None
    check(translation is not None and translation.get("type") is None and text,
          f"{where} is not translated")
    if text:
        check(sorted(PLACEHOLDER.findall(source)) == sorted(PLACEHOLDER.findall(text)),
              f"{where} and its translation {text!r} differ in placeholders")

with tempfile.TemporaryDirectory() as temp:
    scanned = os.path.join(temp, "scanned.ts")
    run = subprocess.run([lupdate, "-silent", "-locations", "none", "-I", root,
                          *[os.path.join(root, f) for f in folders], "-ts", scanned],
                         capture_output=True, text=True)
    check(run.returncode == 0, f"lupdate failed: {run.stderr}")
    in_sources = set(messages(scanned)) if run.returncode == 0 else set()
for context, source in sorted(in_sources - set(translated)):
    failures.append(f"{context}: {source!r} is in the sources but not in {ts_file}")
for context, source in sorted(set(translated) - in_sources):
    failures.append(f"{context}: {source!r} is in {ts_file} but no longer in the sources")
check(in_sources, "lupdate found no message in the sources")

for failure in failures:
    print("FAIL:", failure)
print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
