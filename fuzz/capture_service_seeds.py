#!/usr/bin/python3
"""Writes seeds for the SOAP-envelope and payload-document fuzz targets from real traffic: every
operation is called on the stand-in service through its WSDL, and each request and answer
envelope is saved as it crossed the wire (first byte: the operation's index, which the target
reads), each returned document as a payload seed.

Usage: capture_service_seeds.py STAND_IN_BINARY SERVICE_DATA WSDL CORPUS_ROOT
"""
import os
import socket
import subprocess
import sys
import time

import zeep
import zeep.exceptions
from zeep.plugins import HistoryPlugin
from lxml import etree

CONTRACT = "http://schemas.quorvane.example/2016/IQuorvane"
# The order of the client's operation table: the fuzz target picks an operation by this index.
OPERATIONS = ["CheckForUpdate", "CheckForUpdateEx", "DownloadFirmware", "EnumerateFirmwares",
              "EnumerateBootloaders", "Execute", "ExecuteCRM", "RegisterErrorLogEntry",
              "RegisterUserFeedback", "GetUserFeedbackResponse", "GetQuorvaneMessageToUsers",
              "GetParallelFirmware", "GetParallelFirmwareEx"]
UPDATE_REQUEST = ('<checkForUpdateRequest softwareUpdateType="0" requestType="1" softwareID="Kestrane">'
                  '<version major="1" minor="0" build="0" revision="0" /></checkForUpdateRequest>')
FEEDBACK = ('<userFeedback pk="0" userID="{0F8FAD5B-D9CB-469F-A165-70867728950E}" '
            'title="Brake pedal" createdTimeStamp="2026-12-01T08:00:00">U2luY2UgMy4y</userFeedback>')
CALLS = [
    ("CheckForUpdate", {"payload": UPDATE_REQUEST}),
    ("CheckForUpdateEx", {"payload": UPDATE_REQUEST, "isBeta": False}),
    ("EnumerateFirmwares", {"id": "all-firmwares", "isBeta": True}),
    ("EnumerateBootloaders", {"id": "all-firmwares", "isBeta": False}),
    ("Execute", {"payload": {"string": ["one", "", "three <&>"]}}),
    ("ExecuteCRM", {"payload": "crm"}),
    ("RegisterErrorLogEntry", {"entry": "## Exception Information ##"}),
    ("RegisterUserFeedback", {"userFeedback": FEEDBACK}),
    ("GetUserFeedbackResponse", {"userFeedback": FEEDBACK}),
    ("GetQuorvaneMessageToUsers", {"token": "not the token"}),
    ("GetParallelFirmware", {"type": "Quorvane Single Controller (Single)(brake)|QV-Single,ads-1256"}),
    ("GetParallelFirmwareEx", {"type": "Quorvane Single Controller (Single)(brake)|QV-Single,ads-1256",
                               "isBeta": False}),
]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def main(stand_in, data, wsdl, corpus):
    port = free_port()
    service_process = subprocess.Popen([stand_in, "--data", data, "--port", str(port)])
    try:
        time.sleep(0.5)
        history = HistoryPlugin()
        client = zeep.Client(wsdl, plugins=[history])
        service = client.create_service("{%s}BasicHttpBinding_IQuorvane" % CONTRACT,
                                        "http://127.0.0.1:%d/Services/DefaultService.svc" % port)
        envelopes = os.path.join(corpus, "soap_envelope")
        documents = os.path.join(corpus, "payload_documents")
        for name, arguments in CALLS:
            try:
                result = getattr(service, name)(**arguments)
            except zeep.exceptions.Fault:
                result = None
            # the operation, then the size of the pieces an answer is streamed in (less one)
            index = bytes([OPERATIONS.index(name), 6])
            write(os.path.join(envelopes, name + "-request.bin"),
                  index + etree.tostring(history.last_sent["envelope"]))
            write(os.path.join(envelopes, name + "-answer.bin"),
                  index + etree.tostring(history.last_received["envelope"]))
            texts = result if isinstance(result, list) else [result]
            for number, text in enumerate(t for t in texts if isinstance(t, str) and t.startswith("<")):
                write(os.path.join(documents, "%s-%d.xml" % (name, number)), text.encode("utf-8"))
    finally:
        service_process.terminate()
        service_process.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
