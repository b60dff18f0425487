#!/usr/bin/env python3
"""The vendor's web server, bundled for the demo and the tests: it serves the agreement
page and the files under <root>/update on 127.0.0.1 only, and appends every request to a
log file ("METHOD PATH" per line) so tests can tell what reached the server.

  vendor_server.py start --port N --root DIR --log FILE --pidfile FILE
  vendor_server.py stop --pidfile FILE
  vendor_server.py serve --port N --root DIR --log FILE        (in the foreground)

With --tls-cert CERT.pem --tls-key KEY.pem (for start and serve) it speaks HTTPS instead.

The files are read from disk on every request, so a test changes what is served by
changing <root>/update.
"""
import argparse
import http.server
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
AGREEMENT_PATH = "/Orlo_venta/install_agree.asp"
UPDATE_PREFIX = "/update/"


class VendorHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillonVendor/1.0"
    log_lock = threading.Lock()

    def log_request_line(self):
        with self.log_lock, open(self.server.request_log, "a", encoding="utf-8") as log:
            log.write("%s %s\n" % (self.command, self.path))

    def log_message(self, format, *args):  # keep stderr quiet
        pass

    def send_body(self, status, content_type, body, head_only=False):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def send_file(self, path, head_only):
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        if head_only:
            return
        with open(path, "rb") as f:
            while True:
                block = f.read(256 * 1024)
                if not block:
                    break
                self.wfile.write(block)

    def answer(self, head_only):
        self.log_request_line()
        path = self.path.split("?", 1)[0]
        if path == AGREEMENT_PATH:
            with open(os.path.join(HERE, "install_agree.html"), "rb") as f:
                self.send_body(200, "text/html; charset=utf-8", f.read(), head_only)
            return
        if path.startswith(UPDATE_PREFIX):
            name = path[len(UPDATE_PREFIX):]
            # Only plain file names of the update folder are served.
            if name and "/" not in name and "\\" not in name and not name.startswith("."):
                file_path = os.path.join(self.server.root, "update", name)
                if os.path.isfile(file_path):
                    self.send_file(file_path, head_only)
                    return
        self.send_body(404, "text/plain", b"not found\n", head_only)

    def do_GET(self):
        self.answer(head_only=False)

    def do_HEAD(self):
        self.answer(head_only=True)


class VendorServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, root, request_log):
        self.root = root
        self.request_log = request_log
        super().__init__(("127.0.0.1", port), VendorHandler)


def serve(args):
    os.makedirs(os.path.join(args.root, "update"), exist_ok=True)
    open(args.log, "a").close()
    server = VendorServer(args.port, args.root, args.log)
    if args.tls_cert:
        # HTTPS: each accepted connection does its TLS handshake in its own handler thread
        # (on its first read), so a client that refuses the certificate holds up nobody.
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    server.serve_forever()


def port_open(port):
    with socket.socket() as s:
        s.settimeout(0.2)
        return s.connect_ex(("127.0.0.1", port)) == 0


def tls_options(args):
    """The HTTPS options of args, to hand on to the server process."""
    if not args.tls_cert:
        return []
    return ["--tls-cert", args.tls_cert, "--tls-key", args.tls_key]


def start(args):
    stop(args)
    os.makedirs(os.path.join(args.root, "update"), exist_ok=True)
    if port_open(args.port):
        sys.exit("vendor_server: port %d on 127.0.0.1 is taken by another program" % args.port)
    process = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", "--port", str(args.port),
         "--root", args.root, "--log", args.log] + tls_options(args),
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(process.pid))
    for _ in range(100):
        if port_open(args.port):
            return
        if process.poll() is not None:
            sys.exit("vendor_server: the server ended at start-up")
        time.sleep(0.05)
    sys.exit("vendor_server: the server did not start listening")


def stop(args):
    try:
        with open(args.pidfile) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.05)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    os.unlink(args.pidfile)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--port", type=int, default=47311)
    parser.add_argument("--root", default=os.path.join(HERE, "..", "build", "vendor-root"))
    parser.add_argument("--log", default=None)
    parser.add_argument("--pidfile", default=None)
    parser.add_argument("--tls-cert", default=None, help="PEM certificate: serve HTTPS")
    parser.add_argument("--tls-key", default=None, help="PEM private key of --tls-cert")
    args = parser.parse_args()
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if args.tls_cert:
        args.tls_cert, args.tls_key = os.path.abspath(args.tls_cert), os.path.abspath(args.tls_key)
    args.root = os.path.abspath(args.root)
    args.log = os.path.abspath(args.log or os.path.join(args.root, "requests.log"))
    args.pidfile = os.path.abspath(args.pidfile or os.path.join(args.root, "server.pid"))
    {"start": start, "stop": stop, "serve": serve}[args.action](args)


if __name__ == "__main__":
    main()
