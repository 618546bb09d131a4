#!/usr/bin/env python3
"""velmor-dump echo, query, retrieve and send over DIMSE against a real
Orthanc on loopback holding pydicom's samples (varied patients, dates,
modalities and encodings) and a 50-image CT series.

- echo answers; a wrong called AE title is rejected with the reason named;
  a silent peer times out; a stopped server cannot be connected to. Each
  failure exits 1 with one message naming the server.
- query by patient name wildcard, date range and modality lists the studies
  the uploaded files make (patient, date, modalities, counts), and a study's
  series.
- retrieve over C-GET and over C-MOVE writes one file per instance named by
  its SOP Instance UID whose data set equals the uploaded one element for
  element (the file meta group is the receiver's); a compressed instance
  comes back in its own encoding.
- an archive that will not serve C-GET is retrieved from with C-MOVE when
  the move port is known, else the message says that the port is needed.
- Ctrl+C during a retrieve cancels it and leaves the folder empty.
- send stores files with C-STORE: the archive then holds them.

usage: dimse_test.py VELMOR_DUMP SAMPLE_DIR
"""
import fcntl
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pydicom
from pydicom.uid import generate_uid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from checks import check, summary  # noqa: E402
from make_series import make_series  # noqa: E402
from orthanc_server import OrthancServer, free_port  # noqa: E402

SAMPLES = ("CT_small.dcm", "MR_small.dcm", "JPEG2000.dcm", "rtplan.dcm", "rtdose.dcm", "SC_rgb_rle.dcm")


def run(*args):
    """The exit status and the output as text."""
    p = subprocess.run([str(a) for a in args], capture_output=True, timeout=300)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def studies_of(paths):
    """Study rows as the uploaded files make them: uid -> (id, name, date, modalities, series, instances)."""
    studies = {}
    for path in paths:
        ds = pydicom.dcmread(path, stop_before_pixels=True)
        entry = studies.setdefault(ds.StudyInstanceUID, [ds.get("PatientID", ""), str(ds.get("PatientName", "")),
                                                         ds.get("StudyDate", ""), set(), set(), 0])
        entry[3].add(ds.Modality)
        entry[4].add(ds.SeriesInstanceUID)
        entry[5] += 1
    return {uid: (e[0], e[1], e[2], sorted(e[3]), str(len(e[4])), str(e[5])) for uid, e in studies.items()}


def query(dump, address, *options):
    status, out, err = run(dump, "query", address, *options)
    rows = {}
    for line in out.splitlines():
        f = line.split("\t")
        rows[f[2]] = (f[0], f[1], f[3], sorted(f[4].split("\\")), f[7], f[8])
    return status, rows, err


def check_queries(dump, address, uploaded):
    expected = studies_of(uploaded)
    cases = [
        (("--patient", "Compressed*"), lambda s: s[1].startswith("CompressedSamples")),
        (("--date", "20040101-20041231"), lambda s: "20040101" <= s[2] <= "20041231"),
        (("--date", "20170101-"), lambda s: s[2] >= "20170101"),
        (("--modality", "MR"), lambda s: "MR" in s[3]),
        (("--patient", "SERIES^FIFTY", "--modality", "CT"), lambda s: s[1] == "SERIES^FIFTY"),
    ]
    for options, wanted in cases:
        status, rows, err = query(dump, address, *options)
        want = {uid: s for uid, s in expected.items() if wanted(s)}
        check(status == 0 and rows == want and want, f"query {' '.join(options)}: {rows} != {want} {err}")


def same_data_sets(folder, originals, what):
    """Files named by SOP Instance UID whose data sets equal the originals'."""
    names = sorted(n for n in os.listdir(folder))
    check(names == sorted(uid + ".dcm" for uid in originals), f"{what}: one file per instance, named by its UID")
    for uid, source in originals.items():
        path = os.path.join(folder, uid + ".dcm")
        if not os.path.exists(path):
            continue
        got, want = pydicom.dcmread(path), pydicom.dcmread(source)
        # The archive's sending side drops trailing padding (getscu receives it without, too).
        want.pop((0xFFFC, 0xFFFC), None)
        check(got.file_meta.MediaStorageSOPInstanceUID == uid and
              got.file_meta.TransferSyntaxUID == want.file_meta.TransferSyntaxUID,
              f"{what}: {uid} meta group names the instance and its encoding")
        check(got == want, f"{what}: {uid} data set equals the uploaded one")


def check_retrieves(dump, pacs, work, series_paths, study, series):
    originals = {pydicom.dcmread(p, stop_before_pixels=True).SOPInstanceUID: p for p in series_paths}
    for name, options in (("C-GET", ()), ("C-MOVE", ("--move", "--move-port", pacs.move_port))):
        folder = os.path.join(work, name)
        status, out, err = run(dump, "retrieve", pacs.dimse_address, *options, study, series, folder)
        check(status == 0 and len(out.splitlines()) == 50 and "50 instances retrieved" in err,
              f"{name}: retrieve of the series ({status}, {err})")
        same_data_sets(folder, originals, name)
    # A JPEG 2000 instance keeps its encoding.
    source = os.path.join(work, "upload", "JPEG2000.dcm")
    ds = pydicom.dcmread(source, stop_before_pixels=True)
    folder = os.path.join(work, "compressed")
    status, _, err = run(dump, "retrieve", pacs.dimse_address, ds.StudyInstanceUID, folder)
    check(status == 0, f"C-GET of a JPEG 2000 study ({err})")
    same_data_sets(folder, {ds.SOPInstanceUID: source}, "C-GET JPEG 2000")


def check_cancel(dump, pacs, work, study):
    """The paths printed fill a one-page pipe nobody reads, so the retrieve
    is held inside it when Ctrl+C comes."""
    folder = os.path.join(work, "cancel-" + "x" * 150)
    os.makedirs(folder)
    with open(os.path.join(work, "cancel.err"), "w+") as err:
        p = subprocess.Popen([dump, "retrieve", pacs.dimse_address, study, folder], stdout=subprocess.PIPE,
                             stderr=err)
        fcntl.fcntl(p.stdout.fileno(), fcntl.F_SETPIPE_SZ, 4096)
        deadline = time.monotonic() + 120
        while not any(n.endswith(".dcm") for n in os.listdir(folder)) and time.monotonic() < deadline:
            time.sleep(0.05)
        p.send_signal(signal.SIGINT)
        p.stdout.read()
        status = p.wait(120)
        err.seek(0)
        message = err.read()
    check(status == 1 and "cancelled" in message, f"Ctrl+C cancels the retrieve ({status}, {message})")
    check(os.listdir(folder) == [], "a cancelled retrieve leaves the folder empty")


def check_send(dump, pacs, work, samples):
    sources = []
    for n, name in enumerate(("MR_small.dcm", "MR_small_jp2klossless.dcm", "rtplan.dcm")):
        ds = pydicom.dcmread(os.path.join(samples, name))
        ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID = generate_uid()
        ds.PatientID = "SENT"
        path = os.path.join(work, f"send_{n}.dcm")
        ds.save_as(path, write_like_original=False)
        sources.append((ds.SOPInstanceUID, path))
    before = set(pacs.sop_instance_uids())
    status, _, err = run(dump, "send", pacs.dimse_address, *(p for _, p in sources))
    check(status == 0 and "3 files sent" in err, f"send over C-STORE ({err})")
    check(set(pacs.sop_instance_uids()) - before == {uid for uid, _ in sources}, "the archive holds the sent files")
    status, rows, _ = query(dump, pacs.dimse_address, "--id", "SENT")
    check(status == 0 and len(rows) == 2, "the sent studies are found")


def check_failures(dump, pacs):
    address = pacs.dimse_address.replace("ORTHANC@", "WRONG@")
    status, out, err = run(dump, "echo", address)
    check(status == 1 and out == "" and "association rejected: called AE title not recognised" in err and
          "WRONG@127.0.0.1" in err, f"wrong called AE title: {err}")
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen(1)
        port = silent.getsockname()[1]
        status, _, err = run(dump, "echo", "--timeout", 2, f"dimse://ORTHANC@127.0.0.1:{port}")
        check(status == 1 and "timed out after 2 s" in err, f"silent peer: {err}")


def check_without_get(dump, work):
    os.makedirs(os.path.join(work, "upload-no-get"))
    paths, study, _ = make_series(os.path.join(work, "upload-no-get"), count=3, patient="NO^GET")
    with OrthancServer(move_port=free_port(), allow_get=False) as pacs:
        pacs.upload(paths)
        folder = os.path.join(work, "no-get")
        status, out, err = run(dump, "retrieve", pacs.dimse_address, study, folder)
        check(status == 1 and "C-GET" in err and "move port" in err and os.listdir(folder) == [],
              f"no C-GET and no move port: {err}")
        status, out, err = run(dump, "retrieve", pacs.dimse_address, "--move-port", pacs.move_port, study, folder)
        check(status == 0 and len(os.listdir(folder)) == 3 and "3 instances retrieved" in err,
              f"no C-GET: retrieved with C-MOVE ({err})")


def main(dump, samples):
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "upload"))
        series_paths, study, series = make_series(os.path.join(work, "upload"))
        sample_paths = [os.path.join(samples, name) for name in SAMPLES]
        with OrthancServer(move_port=free_port()) as pacs:
            for path in sample_paths:
                shutil.copy(path, os.path.join(work, "upload"))
            pacs.upload(sample_paths + series_paths)

            status, out, err = run(dump, "echo", pacs.dimse_address)
            check(status == 0 and out.strip().endswith(": ok"), f"echo ({err})")
            check_queries(dump, pacs.dimse_address, sample_paths + series_paths)
            status, out, err = run(dump, "query", pacs.dimse_address, "--series", study)
            fields = out.strip().split("\t")
            check(status == 0 and fields[:2] == [study, series] and fields[3] == "CT" and fields[5] == "50",
                  f"query --series: {out} {err}")
            check_retrieves(dump, pacs, work, series_paths, study, series)
            check_cancel(dump, pacs, work, study)
            check_send(dump, pacs, work, samples)
            check_failures(dump, pacs)

            pacs.stop()
            status, out, err = run(dump, "echo", pacs.dimse_address)
            check(status == 1 and "cannot connect" in err and pacs.dimse_address[8:] in err,
                  f"stopped server: {err}")
        check_without_get(dump, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
