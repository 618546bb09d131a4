"""What the Python peer tests share: a tally of named checks that go on after
a failure, and running a program with its output captured.

    from checks import check, run, summary
    check(p.returncode == 0, "CT_small: report written")
    sys.exit(summary())"""
import subprocess

passed = 0
failures = []


def check(ok, what):
    """Counts a check; a failed one is printed at once and remembered."""
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)
        print("FAIL:", what)
    return ok


def run(*args):
    """Runs the command (paths or strings), its output captured as bytes."""
    return subprocess.run([str(a) for a in args], capture_output=True)


def summary():
    """Prints the tally; the exit status for the test: 1 when a check failed."""
    print(f"{passed} checks passed, {len(failures)} failed")
    return 1 if failures else 0
