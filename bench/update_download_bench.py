#!/usr/bin/env python3
"""The updater's download of one package through CheckForUpdateEx from the stand-in service, for
packages of several sizes: wall time and peak memory of the real Tollwick process, beside curl
posting the same request to the same stand-in and saving the raw answer, measured in the same run.

    bench/update_download_bench.py BUILD [MIB ...]      (default sizes: 16 64 256 1024)

Reports per size the throughput ratio (curl's time / Tollwick's time; 1.0 is curl's speed) and
Tollwick's peak resident size above that of a run that downloads nothing. Each figure is the
median of three runs after one warm-up request (the stand-in encodes and signs a file once)."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOAP_ACTION = "http://schemas.quorvane.example/2016/IQuorvane/IQuorvane/CheckForUpdateEx"
RUNS = 3


def request_envelope():
    payload = ('&lt;checkForUpdateRequest softwareUpdateType="0" requestType="1" softwareID="Tollwick"&gt;'
               '&lt;version major="0" minor="0" build="0" revision="0"/&gt;&lt;/checkForUpdateRequest&gt;')
    return ('<?xml version="1.0" encoding="utf-8"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">'
            '<s:Body><CheckForUpdateEx xmlns="http://schemas.quorvane.example/2016/IQuorvane">'
            f'<payload>{payload}</payload><isBeta>false</isBeta></CheckForUpdateEx></s:Body></s:Envelope>')


def write_catalogue(data, version, path):
    with open(os.path.join(data, "packages.xml"), "w") as catalogue:
        catalogue.write(f'<packages><package softwareID="Tollwick" major="{version}" minor="0" build="0" revision="0">'
                        f'<file name="Tollwick-update" mimeType="application/octet-stream" installCommand="%s" '
                        f'path="{path}"/></package></packages>')


def start_service(build, data, key):
    log = open(os.path.join(data, "..", "service.log"), "w")
    service = subprocess.Popen([os.path.join(build, "tools/local-service/quorvane-local-service"), "--data", data,
                                "--sign-with", key], stdout=subprocess.PIPE, stderr=log, text=True)
    port = int(service.stdout.readline())
    return service, f"http://127.0.0.1:{port}/Services/DefaultService.svc"


def run_curl(endpoint, request_file, output):
    start = time.monotonic()
    subprocess.run(["curl", "-sS", "-o", output, "-H", "Content-Type: text/xml; charset=utf-8",
                    "-H", f'SOAPAction: "{SOAP_ACTION}"', "--data-binary", "@" + request_file, endpoint], check=True)
    return time.monotonic() - start


def run_tollwick(root, environment):
    """Wall time and peak resident size (KiB) of one /checkonly:admin run."""
    start = time.monotonic()
    process = subprocess.Popen([os.path.join(root, "Quorvane/Updater/Tollwick"), "/checkonly:admin"], env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"Tollwick failed with status {status}")
    return elapsed, usage.ru_maxrss


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    sizes = [int(size) for size in sys.argv[2:]] or [16, 64, 256, 1024]
    work = tempfile.mkdtemp(prefix="quorvane-download-bench-", dir=os.environ.get("TMPDIR", "/var/tmp"))
    service = None
    try:
        data, root, home = (os.path.join(work, name) for name in ("data", "root", "home"))
        for folder in (data + "/packages", root + "/Quorvane/Updater", home + "/run"):
            os.makedirs(folder)
        os.chmod(home + "/run", 0o700)
        subprocess.run(["minisign", "-G", "-W", "-p", work + "/key.pub", "-s", work + "/key.sec"], check=True,
                       stdout=subprocess.DEVNULL)
        shutil.copy(work + "/key.pub", root + "/Quorvane/Updater/quorvane-update.pub")
        shutil.copy(os.path.join(build, "updater/Tollwick"), root + "/Quorvane/Updater/Tollwick")
        service, endpoint = start_service(build, data, work + "/key.sec")
        with open(root + "/Quorvane/Updater/Tollwick.xml", "w") as configuration:
            configuration.write(
                '<updater xmlns="http://schemas.quorvane.example/Tollwick/2016"><servers>'
                f'<server url="{endpoint}" timeoutMs="0"/></servers><packages><package softwareID="Tollwick" '
                'softwareUpdateType="Application" processName="Tollwick" warningBeforeKill="false" '
                'timeToWaitBeforeKillMs="0" timeToWaitAfterKillMs="0" restart="false"/></packages>'
                '<settings><setting name="HeapSizeMB" value="4096"/></settings></updater>')
        request_file = work + "/request.xml"
        with open(request_file, "w") as request:
            request.write(request_envelope())
        environment = {"PATH": "/usr/bin:/bin", "HOME": home, "XDG_DATA_HOME": home + "/data",
                       "XDG_RUNTIME_DIR": home + "/run", "QUORVANE_SYSLOG_SOCKET": home + "/no-log",
                       "DISPLAY": "", "WAYLAND_DISPLAY": ""}
        downloaded = home + "/data/Quorvane/Updater/Tollwick/Tollwick-update"

        write_catalogue(data, 0, "packages/none")  # nothing newer: the run downloads nothing
        idle = statistics.median(run_tollwick(root, environment)[1] for _ in range(RUNS))
        print(f"idle Tollwick run: peak {idle / 1024:.1f} MiB")
        print(f"{'MiB':>6} {'curl s':>8} {'Tollwick s':>10} {'ratio':>6} {'peak above idle MiB':>20}")
        for size in sizes:
            blob = f"packages/blob-{size}"
            with open(os.path.join(data, blob), "wb") as content:
                for _ in range(size):
                    content.write(os.urandom(1 << 20))
            write_catalogue(data, 9, blob)
            run_curl(endpoint, request_file, work + "/raw.xml")  # warm-up: encoding and signing
            curl_times, tollwick_times, peaks = [], [], []
            for _ in range(RUNS):
                curl_times.append(run_curl(endpoint, request_file, work + "/raw.xml"))
                os.remove(work + "/raw.xml")
                shutil.rmtree(os.path.dirname(downloaded), ignore_errors=True)
                elapsed, peak = run_tollwick(root, environment)
                ready = os.path.join(os.path.dirname(downloaded), "Quorvane.UpdatesReady.xml")
                if not os.path.exists(ready) or os.path.getsize(downloaded) != size << 20:
                    raise SystemExit(f"the {size} MiB download did not complete")
                tollwick_times.append(elapsed)
                peaks.append(peak)
            curl_time, tollwick_time = statistics.median(curl_times), statistics.median(tollwick_times)
            print(f"{size:>6} {curl_time:>8.2f} {tollwick_time:>10.2f} {curl_time / tollwick_time:>6.2f} "
                  f"{(statistics.median(peaks) - idle) / 1024:>20.1f}", flush=True)
            os.remove(os.path.join(data, blob))
    finally:
        if service:
            service.terminate()
            service.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
