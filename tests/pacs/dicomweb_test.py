"""velmor-dump echo, query, retrieve and send over DICOMweb against a real
Orthanc on loopback, and against a small HTTP server of our own that answers
with broken JSON or multipart bodies, or stalls to be cancelled.

    dicomweb_test.py VELMOR_DUMP PYDICOM_TEST_FILES"""
import http.server
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

import pydicom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_series import make_series  # noqa: E402
from orthanc_server import PASSWORD, USER, OrthancServer  # noqa: E402

DUMP = sys.argv[1]
DATA = sys.argv[2]
# Different patients, dates and modalities.
UPLOADED = ["CT_small.dcm", "MR_small.dcm", "JPEG2000.dcm"]
SENT = ["rtdose.dcm", "rtplan.dcm"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def dump(*args, env=None):
    run_env = dict(os.environ)
    for name in ("VELMOR_PACS_USER", "VELMOR_PACS_PASSWORD", "VELMOR_PACS_TOKEN"):
        run_env.pop(name, None)
    run_env.update(env or {})
    return subprocess.run([DUMP, *args], capture_output=True, text=True, env=run_env, timeout=120,
                          stdin=subprocess.DEVNULL)


def with_credentials(url, user=USER, password=PASSWORD):
    return url.replace("http://", f"http://{user}:{password}@")


def study_rows(result):
    """velmor-dump query's rows, keyed by Study Instance UID."""
    rows = {}
    for line in result.stdout.splitlines():
        f = line.split("\t")
        rows[f[2]] = {"id": f[0], "name": f[1], "date": f[3], "modalities": f[4], "description": f[6],
                      "series": f[7], "instances": f[8]}
    return rows


def expected_row(ds, series=1, instances=1):
    return {"id": ds.PatientID, "name": str(ds.PatientName), "date": ds.StudyDate,
            "modalities": ds.Modality, "description": ds.get("StudyDescription", ""),
            "series": str(series), "instances": str(instances)}


def test_archive(folder):
    os.makedirs(os.path.join(folder, "series"))
    paths, study_uid, series_uid = make_series(os.path.join(folder, "series"))
    singles = [pydicom.dcmread(os.path.join(DATA, name)) for name in UPLOADED]
    with OrthancServer() as pacs:
        pacs.upload([os.path.join(DATA, name) for name in UPLOADED] + paths)
        url = with_credentials(pacs.dicomweb_url)

        result = dump("echo", url)
        check(result.returncode == 0 and "ok" in result.stdout, f"echo: {result.stderr}")
        result = dump("echo", pacs.dicomweb_url, env={"VELMOR_PACS_USER": USER, "VELMOR_PACS_PASSWORD": PASSWORD})
        check(result.returncode == 0, f"echo with the credentials from the environment: {result.stderr}")

        # Queries: a name wildcard, a date range, a modality; rows as uploaded.
        rows = study_rows(dump("query", url, "--patient", "CompressedSamples*"))
        check(rows == {ds.StudyInstanceUID: expected_row(ds) for ds in singles}, f"query by name: {rows}")
        rows = study_rows(dump("query", url, "--date", "20040101-20040131"))
        check(list(rows) == [singles[0].StudyInstanceUID], f"query by date range: {rows}")
        rows = study_rows(dump("query", url, "--modality", "MR", "--date", "20040801-"))
        check(list(rows) == [singles[1].StudyInstanceUID], f"query by modality: {rows}")
        rows = study_rows(dump("query", url, "--patient", "SERIES^FIFTY"))
        check(rows.get(study_uid, {}).get("instances") == "50", f"the series' study: {rows}")
        result = dump("query", url, "--series", study_uid)
        fields = result.stdout.strip().split("\t")
        check(fields[1:2] == [series_uid] and fields[3] == "CT" and fields[5] == "50",
              f"series query: {result.stdout} {result.stderr}")

        # Retrieve the 50 images: each file as it was uploaded.
        into = os.path.join(folder, "retrieved")
        result = dump("retrieve", url, study_uid, series_uid, into)
        check(result.returncode == 0, f"retrieve: {result.stderr}")
        retrieved = sorted(os.listdir(into))
        check(len(retrieved) == 50, f"retrieved {len(retrieved)} files")
        for path in paths:
            uid = pydicom.dcmread(path, stop_before_pixels=True).SOPInstanceUID
            got = os.path.join(into, uid + ".dcm")
            with open(path, "rb") as a:
                same = os.path.exists(got) and open(got, "rb").read() == a.read()
            check(same, f"{got} is not the uploaded {path}")

        # Send over STOW-RS: the archive then holds the instances.
        sent = [os.path.join(DATA, name) for name in SENT]
        result = dump("send", url, *sent)
        check(result.returncode == 0, f"send: {result.stderr}")
        held = pacs.sop_instance_uids()
        for path in sent:
            check(pydicom.dcmread(path, stop_before_pixels=True).SOPInstanceUID in held, f"{path} not stored")
        result = dump("send", url, os.path.join(DATA, "README.txt"))
        check(result.returncode == 1 and "no DICOM file" in result.stderr, f"send of a text file: {result.stderr}")

        # A wrong password, a series the archive does not have.
        result = dump("query", with_credentials(pacs.dicomweb_url, password="wrong"))
        check(result.returncode == 1 and "401" in result.stderr and "refused" in result.stderr,
              f"wrong password: {result.stderr}")
        empty = os.path.join(folder, "none")
        result = dump("retrieve", url, study_uid, "1.2.3.4", empty)
        check(result.returncode == 1 and "PACS" in result.stderr and os.listdir(empty) == [],
              f"retrieve of an unknown series: {result.stderr}")

        pacs.stop()
        result = dump("echo", url)
        check(result.returncode == 1 and "cannot connect" in result.stderr, f"stopped server: {result.stderr}")


class BrokenArchive(http.server.BaseHTTPRequestHandler):
    """Answers each path with a broken body: /json (QIDO-RS), /cut and
    /text (WADO-RS), /stall (one instance, then nothing until cancelled)."""
    first_file = b""
    stop = threading.Event()

    def log_message(self, *args):
        pass

    def answer(self, content_type, body):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        multipart = 'multipart/related; type="application/dicom"; boundary=XyZ'
        part = b"--XyZ\r\nContent-Type: application/dicom\r\n\r\n" + self.first_file + b"\r\n"
        if self.path.startswith("/json/"):
            self.answer("application/dicom+json", b'[{"00100010": {"vr": "PN", "Value": [{"Alphabetic": "A^B"}]},\n'
                        b' "0020000D": {"vr": "UI" "Value": ["1.2"]}}]')
        elif "?" in self.path:  # how many instances a retrieve brings: not said
            self.answer("application/dicom+json", b"[]")
        elif self.path.startswith("/cut/"):
            self.answer(multipart, part)
        elif self.path.startswith("/text/"):
            self.answer("text/html", b"<html>login</html>")
        elif self.path.startswith("/stall/"):
            self.send_response(200)
            self.send_header("Content-Type", multipart)
            self.end_headers()
            self.wfile.write(part + part[:200])  # the first instance whole, the second begun
            self.wfile.flush()
            self.stop.wait(60)
        else:
            self.send_error(404)


def test_broken_answers(folder):
    with open(os.path.join(DATA, "CT_small.dcm"), "rb") as f:
        BrokenArchive.first_file = f.read()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), BrokenArchive)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        result = dump("query", base + "/json")
        check(result.returncode == 1 and "no DICOM JSON" in result.stderr and "line 2" in result.stderr,
              f"malformed JSON: {result.stderr}")
        for path, message in (("/cut", "without its closing boundary"), ("/text", "not multipart/related")):
            into = os.path.join(folder, path[1:])
            result = dump("retrieve", base + path, "1.2.3", into)
            check(result.returncode == 1 and message in result.stderr and os.listdir(into) == [],
                  f"retrieve from {path}: {result.stderr} {os.listdir(into)}")

        # Cancelled once the first instance is in the folder: the folder is empty again.
        into = os.path.join(folder, "stall")
        process = subprocess.Popen([DUMP, "retrieve", base + "/stall", "1.2.3", into], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        first = process.stdout.readline().strip()
        check(os.path.exists(first), f"the first instance before the cancel: {first!r}")
        process.send_signal(signal.SIGTERM)
        _, errors = process.communicate(timeout=30)
        check(process.returncode == 1 and "cancelled" in errors and os.listdir(into) == [],
              f"cancelled retrieve: {process.returncode} {errors} {os.listdir(into)}")
    finally:
        BrokenArchive.stop.set()
        server.shutdown()
        server.server_close()


def main():
    with tempfile.TemporaryDirectory(prefix="velmor-dicomweb-") as folder:
        test_archive(folder)
        test_broken_answers(folder)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
