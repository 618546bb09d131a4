#!/usr/bin/env python3
"""The manual pages describe what the programs' --help describes: every
command and every option that `velmor-dump --help` (and each
`velmor-dump COMMAND --help`) names appears in velmor-dump(1), and every
option of `velmor --help` in velmor(1).

usage: man_pages_test.py VELMOR VELMOR_DUMP MAN_DIR
"""
import os
import re
import subprocess
import sys

velmor, velmor_dump, man_dir = sys.argv[1:4]
failures = []
passed = 0

OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z0-9-]*)")
COMMAND = re.compile(r"^  ([a-z]+) ", re.M)


def man_text(name):
    with open(os.path.join(man_dir, name), encoding="utf-8") as f:
        # Roff writes a hyphen as \- and switches fonts with \fB, \fI, \fR.
        return re.sub(r"\\f[BIRP]", "", f.read()).replace("\\-", "-")


def help_text(program, *args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    run = subprocess.run([program, *args], capture_output=True, text=True, env=env, check=True)
    return run.stdout


def check_all_named(names, man, page, what):
    global passed
    for name in sorted(names):
        if re.search(r"(?<![\w-])" + re.escape(name) + r"(?![\w-])", man):
            passed += 1
        else:
            failures.append(f"{page} lacks the {what} {name}")


dump_help = help_text(velmor_dump, "--help")
commands = set(COMMAND.findall(dump_help))
if not commands:
    failures.append("velmor-dump --help names no command")
dump_options = set(OPTION.findall(dump_help))
for command in commands:
    dump_options |= set(OPTION.findall(help_text(velmor_dump, command, "--help")))
dump_man = man_text("velmor-dump.1")
check_all_named(commands, dump_man, "velmor-dump(1)", "command")
check_all_named(dump_options, dump_man, "velmor-dump(1)", "option")

viewer_options = set(OPTION.findall(help_text(velmor, "--help")))
check_all_named(viewer_options, man_text("velmor.1"), "velmor(1)", "option")

for failure in failures:
    print("FAIL:", failure)
print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
