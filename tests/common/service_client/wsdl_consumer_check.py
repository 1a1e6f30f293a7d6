#!/usr/bin/python3
"""Calls the stand-in service through the published WSDL with zeep, a SOAP client we did not
write: zeep builds every request from the WSDL and validates every answer against its schema,
so a WSDL that disagrees with what the service sends (names, namespaces, types) fails here.

Usage: wsdl_consumer_check.py WSDL ENDPOINT
Exits 0 when every call answered as expected; prints what went wrong otherwise.
"""
import sys

import zeep
import zeep.exceptions

CONTRACT = "http://schemas.quorvane.example/2016/IQuorvane"
ARRAYS = "http://schemas.microsoft.com/2003/10/Serialization/Arrays"
EXPECTED_OPERATIONS = {
    "CheckForUpdate", "CheckForUpdateEx", "DownloadFirmware", "EnumerateFirmwares",
    "EnumerateBootloaders", "Execute", "ExecuteCRM", "RegisterErrorLogEntry",
    "RegisterUserFeedback", "GetUserFeedbackResponse", "GetQuorvaneMessageToUsers",
    "GetParallelFirmware", "GetParallelFirmwareEx",
}
REQUEST = ('<checkForUpdateRequest softwareUpdateType="0" requestType="1" softwareID="Tollwick">'
           '<version major="0" minor="0" build="0" revision="0" /></checkForUpdateRequest>')


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def main(wsdl, endpoint):
    client = zeep.Client(wsdl, settings=zeep.Settings(strict=True))
    binding = "{%s}BasicHttpBinding_IQuorvane" % CONTRACT
    service = client.create_service(binding, endpoint)

    operations = set(client.wsdl.bindings[binding]._operations)
    check(operations == EXPECTED_OPERATIONS, "operations in the WSDL: %s" % sorted(operations))
    for name, operation in client.wsdl.bindings[binding]._operations.items():
        check(operation.soapaction == CONTRACT + "/IQuorvane/" + name,
              "%s has action %s" % (name, operation.soapaction))

    # A string array answer: the response document, then descriptor and content of one file.
    answer = service.CheckForUpdateEx(payload=REQUEST, isBeta=False)
    check(answer is not None and len(answer) == 3, "CheckForUpdateEx answered %r" % (answer,))
    check(answer[0].startswith("<checkForUpdateResponse"), "response document %r" % answer[0])
    check('fileName="Tollwick"' in answer[1], "file descriptor %r" % answer[1])

    # A string array sent and echoed, an empty item included (zeep reads it back as None).
    echoed = service.Execute(payload={"string": ["one", "", "three <&>"]})
    check([item or "" for item in echoed] == ["one", "", "three <&>"], "Execute echoed %r" % (echoed,))

    # A plain string answer (scrambled Base64 text) and a long.
    firmwares = service.EnumerateFirmwares(id="all-firmwares", isBeta=True)
    check(isinstance(firmwares, str) and len(firmwares) > 0, "EnumerateFirmwares: %r" % (firmwares,))
    parallel = service.GetParallelFirmwareEx(
        type="Quorvane Single Controller (Single)(brake)|QV-Single,ads-1256", isBeta=False)
    check(parallel is not None and "qv-single-2.1" in parallel, "GetParallelFirmwareEx: %r" % (parallel,))
    check(service.ExecuteCRM(payload="crm") == "crm", "ExecuteCRM did not echo")

    # An operation without a result, and one whose request the stand-in refuses as a fault.
    check(service.RegisterErrorLogEntry(entry="") is None, "RegisterErrorLogEntry answered")
    try:
        service.GetQuorvaneMessageToUsers(token="not a token")
        raise AssertionError("a wrong token was accepted")
    except zeep.exceptions.Fault:
        pass
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1], sys.argv[2]))
    except Exception as error:  # report any failure as one line and a non-zero exit
        print("wsdl consumer check failed: %s: %s" % (type(error).__name__, error))
        sys.exit(1)
