#!/usr/bin/env python3
"""Loopback HTTP server for the download tests and the download benchmark (127.0.0.1 only).

  test_server.py start --port N --state DIR [--watch-pid PID]
      starts a server in the background and returns once it answers; its request log is
      DIR/requests.log. It ends by itself when process PID (default: the caller, which is
      ctest under the test fixtures) is gone, so it never outlives the run.
  test_server.py stop --state DIR
      stops the server that start left in DIR.
  test_server.py serve --port N --log FILE [--watch-pid PID]
      runs the server in the foreground.

Answers (N is a byte count; every body is the bytes i % 251 for i = 0, 1, ...; a query
string is ignored, so tests can tell their requests apart in the log):
  /ok/N          200 with Content-Length N
  /nolength/N    200 without Content-Length; the connection closes after the body
  /chunked/N     200 in chunks of 1000 bytes
  /empty         200 with Content-Length 0
  /status/C      status C (404, 500, ...) with a short error page
  /auth/401      401 asking for Basic credentials; with user "quillon", password
                 "secret", 200 and a body of 4000 bytes
  /auth/401/R    401 asking for Basic credentials for realm R, whatever is sent (a client
                 that remembers the credentials above still has to ask)
  /auth/407      407 asking for proxy credentials (never satisfied)
  /redirect/N    302 to /ok/N (with the same query string)
  /truncated/N   Content-Length N, half of the body, then the connection closes
  /reset/N       Content-Length N, half of the body, then the connection is reset
  /stall/N       Content-Length N, half of the body, then nothing until the client goes

The log has one line per request: "GET <target>", then tab-separated "name: value" headers.
"""

import argparse
import base64
import http.server
import io
import os
import select
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time
from urllib.parse import urlsplit

HOST = "127.0.0.1"
PATTERN = bytes(i % 251 for i in range(251 * 256))  # whole periods, so blocks join up
CREDENTIALS = "Basic " + base64.b64encode(b"quillon:secret").decode()
AUTH_BODY_SIZE = 4000
STALL_LIMIT_S = 300


def body_bytes(size):
    """The first size bytes of the body pattern."""
    whole, rest = divmod(size, len(PATTERN))
    return PATTERN * whole + PATTERN[:rest]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillonTestServer"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self.server.log_request_line(self)
        target = urlsplit(self.path)
        parts = target.path.strip("/").split("/")
        kind = parts[0]
        arg = parts[1] if len(parts) > 1 else ""
        size = int(arg) if arg.isdigit() else 0
        if kind == "ok":
            self.send_body(200, size)
        elif kind == "nolength":
            self.send_without_length(size)
        elif kind == "chunked":
            self.send_chunked(size)
        elif kind == "empty":
            self.send_body(200, 0)
        elif kind == "status" and size:
            self.send_page(size)
        elif kind == "auth" and arg == "401":
            realm = parts[2] if len(parts) > 2 else None
            if realm is None and self.headers.get("Authorization") == CREDENTIALS:
                self.send_body(200, AUTH_BODY_SIZE)
            else:
                self.send_page(401, [("WWW-Authenticate",
                                      'Basic realm="%s"' % (realm or "quillon"))])
        elif kind == "auth" and arg == "407":
            self.send_page(407, [("Proxy-Authenticate", 'Basic realm="quillon"')])
        elif kind == "redirect":
            query = "?" + target.query if target.query else ""
            self.send_page(302, [("Location", "/ok/%d%s" % (size, query))])
        elif kind in ("truncated", "reset", "stall"):
            self.send_half(kind, size)
        else:
            self.send_page(404)

    def send_head(self, status, headers):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()

    def write_body(self, size):
        whole, rest = divmod(size, len(PATTERN))
        for _ in range(whole):
            self.wfile.write(PATTERN)
        self.wfile.write(PATTERN[:rest])

    def send_body(self, status, size):
        self.send_head(status, [("Content-Type", "application/octet-stream"),
                                ("Content-Length", str(size))])
        self.write_body(size)

    def send_page(self, status, headers=()):
        page = ("<html><body>%d</body></html>" % status).encode()
        self.send_head(status, [("Content-Type", "text/html"),
                                ("Content-Length", str(len(page)))] + list(headers))
        self.wfile.write(page)

    def send_without_length(self, size):
        self.send_head(200, [("Content-Type", "application/octet-stream"),
                             ("Connection", "close")])
        self.write_body(size)
        self.close_connection = True

    def send_chunked(self, size):
        self.send_head(200, [("Content-Type", "application/octet-stream"),
                             ("Transfer-Encoding", "chunked")])
        body = body_bytes(size)
        for start in range(0, size, 1000):
            piece = body[start:start + 1000]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def send_half(self, kind, size):
        self.send_head(200, [("Content-Type", "application/octet-stream"),
                             ("Content-Length", str(size))])
        self.write_body(size // 2)
        self.close_connection = True
        if kind == "reset":
            # Linger 0: closing sends RST instead of FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.rfile.close()
            self.wfile.close()
            self.connection.close()
            # What the base class still does with the streams now does nothing.
            self.rfile, self.wfile = io.BytesIO(), io.BytesIO()
        elif kind == "stall":
            self.wait_for_client_to_go()

    def wait_for_client_to_go(self):
        deadline = time.monotonic() + STALL_LIMIT_S
        while time.monotonic() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 1.0)
            if readable:
                try:
                    if not self.connection.recv(4096):
                        return
                except OSError:
                    return


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, log_path):
        self.log_lock = threading.Lock()
        self.log_file = open(log_path, "a", encoding="utf-8")
        super().__init__((HOST, port), Handler)

    def server_bind(self):
        # HTTPServer's own would look the host name up; nothing here needs it.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def log_request_line(self, handler):
        fields = ["%s %s" % (handler.command, handler.path)]
        fields += ["%s: %s" % (name, value) for name, value in handler.headers.items()]
        with self.log_lock:
            self.log_file.write("\t".join(fields) + "\n")
            self.log_file.flush()


def watch(pid):
    """Ends this process once process pid is gone."""
    while True:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            os._exit(0)
        except PermissionError:
            pass
        time.sleep(1.0)


def serve(args):
    server = Server(args.port, args.log)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    if args.watch_pid:
        threading.Thread(target=watch, args=(args.watch_pid,), daemon=True).start()
    server.serve_forever()


def pid_file(state):
    return os.path.join(state, "server.pid")


def is_our_server(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return b"test_server.py" in f.read()
    except OSError:
        return False


def stop(args):
    path = pid_file(args.state)
    try:
        with open(path) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return 0
    if is_our_server(pid):
        os.kill(pid, signal.SIGTERM)
        for _ in range(50):
            if not is_our_server(pid):
                break
            time.sleep(0.1)
        else:
            os.kill(pid, signal.SIGKILL)
    os.remove(path)
    return 0


def answers(port):
    try:
        with socket.create_connection((HOST, port), timeout=0.5):
            return True
    except OSError:
        return False


def start(args):
    os.makedirs(args.state, exist_ok=True)
    stop(args)
    log = os.path.join(args.state, "requests.log")
    open(log, "w").close()
    if answers(args.port):
        print("test_server: port %d on %s is taken by another program" % (args.port, HOST),
              file=sys.stderr)
        return 1
    errors_path = os.path.join(args.state, "server.err")
    with open(errors_path, "w") as errors:
        child = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "serve", "--port", str(args.port),
             "--log", log, "--watch-pid", str(args.watch_pid or os.getppid())],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=errors,
            start_new_session=True)
    with open(pid_file(args.state), "w") as f:
        f.write(str(child.pid))
    for _ in range(100):
        if answers(args.port):
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.1)
    with open(errors_path) as f:
        print("test_server: the server did not start\n" + f.read(), file=sys.stderr)
    stop(args)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("start")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--state", required=True)
    p.add_argument("--watch-pid", type=int, default=0)
    p = commands.add_parser("stop")
    p.add_argument("--state", required=True)
    p = commands.add_parser("serve")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--watch-pid", type=int, default=0)
    args = parser.parse_args()
    return {"start": start, "stop": stop, "serve": serve}[args.command](args) or 0


if __name__ == "__main__":
    sys.exit(main())
