"""Runs the window's archive test (pacs_window_tests) against a real archive:
Orthanc started on loopback (tests/pacs/orthanc_server.py) holding a
50-image series (tests/pacs/make_series.py), its addresses given to the test
in VELMOR_TEST_* variables. Exits with the test's status.

    pacs_window_run.py TEST_BINARY [test arguments...]"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pacs"))
from make_series import make_series  # noqa: E402
from orthanc_server import AE_TITLE, PASSWORD, USER, OrthancServer  # noqa: E402


def main():
    with tempfile.TemporaryDirectory(prefix="velmor-pacs-window-") as folder, OrthancServer() as pacs:
        paths, study, _ = make_series(folder)
        pacs.upload(paths)
        env = dict(os.environ,
                   QT_QPA_PLATFORM="offscreen",
                   VELMOR_TEST_DICOMWEB=pacs.dicomweb_url,
                   VELMOR_TEST_USER=USER,
                   VELMOR_TEST_PASSWORD=PASSWORD,
                   VELMOR_TEST_DIMSE_PORT=str(pacs.dicom_port),
                   VELMOR_TEST_AE=AE_TITLE,
                   VELMOR_TEST_MOVE_PORT=str(pacs.move_port),
                   VELMOR_TEST_STUDY=study)
        return subprocess.run([sys.argv[1]] + sys.argv[2:], env=env).returncode


if __name__ == "__main__":
    sys.exit(main())
