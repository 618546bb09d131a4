"""A real archive for the network tests: Orthanc (Debian's package, with its
DICOMweb plugin) started on free loopback ports with a temporary
configuration and storage, stopped and removed on exit.

    with OrthancServer() as pacs:
        pacs.upload(paths)
        pacs.dicomweb_url   # http://127.0.0.1:PORT/dicom-web
        pacs.dimse_address  # dimse://ORTHANC@127.0.0.1:PORT

Basic authentication is on (user "velmor", password "secret"); the called
AE title is checked. The modality "VELMOR" (calling AE of velmor-dump) is
registered with `move_port` as its storage port, for C-MOVE; with
allow_get=False it may not retrieve with C-GET (Orthanc then aborts the
association on a C-GET request)."""
import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

ORTHANC = "/usr/sbin/Orthanc"
DICOMWEB_PLUGIN = "/usr/share/orthanc/plugins/libOrthancDicomWeb.so"
USER, PASSWORD = "velmor", "secret"
AE_TITLE = "ORTHANC"
CALLING_AE = "VELMOR"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class OrthancServer:
    def __init__(self, move_port=None, allow_get=True):
        self.http_port = free_port()
        self.dicom_port = free_port()
        self.move_port = move_port or free_port()
        self.allow_get = allow_get
        self.folder = tempfile.mkdtemp(prefix="velmor-orthanc-")
        self.process = None

    @property
    def http_url(self):
        return f"http://127.0.0.1:{self.http_port}"

    @property
    def dicomweb_url(self):
        return f"{self.http_url}/dicom-web"

    @property
    def dimse_address(self):
        return f"dimse://{AE_TITLE}@127.0.0.1:{self.dicom_port}"

    def __enter__(self):
        config = {
            "Name": "velmor-test",
            "StorageDirectory": os.path.join(self.folder, "storage"),
            "IndexDirectory": os.path.join(self.folder, "storage"),
            "HttpPort": self.http_port,
            "DicomPort": self.dicom_port,
            "DicomAet": AE_TITLE,
            "DicomCheckCalledAet": True,
            "DicomCheckModalityHost": False,
            "DicomAlwaysAllowEcho": True,
            "DicomAlwaysAllowStore": True,
            "DicomModalities": {"velmor": {"AET": CALLING_AE, "Host": "127.0.0.1", "Port": self.move_port,
                                           "AllowGet": self.allow_get}},
            "RemoteAccessAllowed": False,
            "AuthenticationEnabled": True,
            "RegisteredUsers": {USER: PASSWORD},
            "HttpTimeout": 60,
            "StableAge": 1,
            "Plugins": [DICOMWEB_PLUGIN],
            "DicomWeb": {"Enable": True, "Root": "/dicom-web/", "EnableWado": False,
                         "Host": f"127.0.0.1:{self.http_port}", "Ssl": False},
        }
        path = os.path.join(self.folder, "orthanc.json")
        with open(path, "w") as f:
            json.dump(config, f)
        self.log = open(os.path.join(self.folder, "orthanc.log"), "w")
        self.process = subprocess.Popen([ORTHANC, path], stdout=self.log, stderr=subprocess.STDOUT,
                                        cwd=self.folder)
        deadline = time.monotonic() + 60
        while True:
            try:
                self.get("/system")
                return self
            except (urllib.error.URLError, ConnectionError, OSError):
                if self.process.poll() is not None or time.monotonic() > deadline:
                    self.__exit__(None, None, None)
                    raise RuntimeError("Orthanc did not start")
                time.sleep(0.2)

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)

    def stop(self):
        """Stops the server early (the folder goes on exit)."""
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(30)

    def request(self, method, path, body=None, content_type=None):
        request = urllib.request.Request(self.http_url + path, data=body, method=method)
        token = base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()
        request.add_header("Authorization", "Basic " + token)
        if content_type:
            request.add_header("Content-Type", content_type)
        with urllib.request.urlopen(request, timeout=60) as response:
            return response.read()

    def get(self, path):
        return json.loads(self.request("GET", path))

    def upload(self, paths):
        """Stores each file through Orthanc's REST API; returns the instance ids."""
        ids = []
        for path in paths:
            with open(path, "rb") as f:
                answer = json.loads(self.request("POST", "/instances", f.read(), "application/dicom"))
            ids.append(answer["ID"])
        return ids

    def instance_file(self, instance_id):
        """The file as Orthanc holds it."""
        return self.request("GET", f"/instances/{instance_id}/file")

    def sop_instance_uids(self):
        """Every SOP Instance UID the archive holds."""
        uids = []
        for instance_id in self.get("/instances"):
            uids.append(self.get(f"/instances/{instance_id}/simplified-tags")["SOPInstanceUID"])
        return sorted(uids)
