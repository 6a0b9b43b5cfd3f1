#!/usr/bin/env python3
"""A branded tovren.exe, run under Wine, fetches its catalogue from the address it was branded
with: the Windows tovren-tool writes the copy, the copy starts, and a server of this test on
127.0.0.1 (a port of the system's choice) must see the catalogue request.

usage: branded_client_test.py WINE_RUN TOVREN_TOOL_EXE TOVREN_EXE SCRATCH_FOLDER"""
import http.server
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time

wine_run, tool, client, scratch = sys.argv[1:5]
scratch = pathlib.Path(scratch)
shutil.rmtree(scratch, ignore_errors=True)
scratch.mkdir(parents=True)
branded = scratch / "branded.exe"
CATALOGUE = "[题目数量]\r\nWord题数量=1\r\n[操作要求]\r\nWord第1题=打开文件\r\n".encode("gbk")

requests = []
seen = threading.Event()


class Server(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        requests.append((self.path, self.headers.get("Host")))
        body = CATALOGUE if self.path == "/Kavrel/config.txt" else b""
        self.send_response(200 if body else 404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        if self.path == "/Kavrel/config.txt":
            seen.set()

    def log_message(self, *args):
        pass


def windows_path(p):
    return "Z:" + str(p)


def fail(message):
    print(f"branded client: {message}", file=sys.stderr)
    sys.exit(1)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Server)
threading.Thread(target=server.serve_forever, daemon=True).start()
base = f"http://127.0.0.1:{server.server_address[1]}"

before = pathlib.Path(client).read_bytes()
made = subprocess.run([wine_run, tool, "brand", windows_path(client), "--server-base", base,
                       windows_path(branded)], capture_output=True, text=True, timeout=120)
if made.returncode != 0:
    fail(f"brand exited {made.returncode}: {made.stderr.strip()}")
if pathlib.Path(client).read_bytes() != before:
    fail("brand changed the input exe")
print(made.stdout.strip())

# The copy runs with the catalogue in the prefix's own c:\Kavrel; it is ended once it has asked.
started = time.monotonic()
program = subprocess.Popen([wine_run, str(branded)], start_new_session=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
try:
    if not seen.wait(timeout=120):
        fail(f"no catalogue request reached {base} within 120 s; requests: {requests}")
finally:
    os.killpg(program.pid, signal.SIGKILL)
    program.wait(timeout=30)
    server.shutdown()

path, host = requests[0]
if (path, host) != ("/Kavrel/config.txt", base[len("http://"):]):
    fail(f"first request was {path} for host {host}, expected /Kavrel/config.txt for {base}")
print(f"branded client: catalogue fetched from {base} after {time.monotonic() - started:.1f} s")
shutil.rmtree(scratch, ignore_errors=True)
