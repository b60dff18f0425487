#!/usr/bin/env python3
"""The vendor's web server, bundled for the demo, the tests and the benchmarks. It listens on
127.0.0.1 only, serves the agreement page, the files under <root>/update and synthetic
bodies, answers ranges with validators, and fails on purpose where a test asks it to.

  vendor_server.py start --port N --root DIR [--log FILE] [--pidfile FILE] [--watch-pid PID]
      starts the server in the background and returns once it answers. It ends by itself
      when process PID (default: the caller, ctest under the test fixtures) is gone.
  vendor_server.py stop [--root DIR] [--pidfile FILE]
  vendor_server.py serve --port N --root DIR [--log FILE] [--watch-pid PID]   (foreground)

Answers:
  /Orlo_venta/install_agree.asp   the agreement page
  /update/NAME                    the file <root>/update/NAME, read from disk per request;
                                  strong ETag and Last-Modified from its size and time
  /update/NAME.meta, NAME.meta.sig where no such file is on disk and the server was started
                                  with --signing-key KEY.pem: the release record of
                                  <root>/update/NAME and its signature, published with
                                  vendor/publish and that key; the file <root>/release may
                                  say otherwise (see below)
  /ok/N                           a body of N bytes (byte i is (i + 7 g) % 251, g the body's
                                  generation: 0 until a "bump" fault for the same target,
                                  path and query); ETag "g<g>-<N>"
  /nolength/N                     200 without Content-Length; the connection closes after it
  /chunked/N                      200 in chunks of 1000 bytes
  /empty                          200 with Content-Length 0
  /status/C                       status C with a short page
  /auth/401, /auth/401/REALM, /auth/407   credentials asked for (user quillon, password
                                  secret satisfy /auth/401, which then sends 4000 bytes)
  /redirect/N                     302 to /ok/N with the same query string; with "to=URL" in
                                  the query, 302 to URL

Bodies (/update/NAME and /ok/N) honour "Range: bytes=A-" and "bytes=A-B" with 206 and
Content-Range, "If-Range" against the current ETag or Last-Modified, and 416 for a start
at or past the end. Query "v=etag" (the default), "v=lm", "v=weak" or "v=none" chooses the
validators of a synthetic body.

Faults, one per request, in order: from "faults=" in the query string, counted per request
target (path and query), and for /update/NAME also from the file <root>/faults, whose lines
"NAME FAULT,FAULT,..." are consumed one fault per request. A request with no fault left is
answered normally. A fault is one of:
  ok                  answered normally
  C[raS]              status C (503, 404, ...), with "Retry-After: S" when given (503ra2)
  close@P, reset@P    the body cut after P bytes (or P% of what this answer would send)
                      by a clean close or a reset
  stall@P             the body stops after P bytes (or P%) until the client goes
  drip@MS             the body one byte every MS milliseconds
  endless             the body without Content-Length, and more bytes after it without end
                      (until the client goes)
  length+N, length-N  the body with a Content-Length N bytes off (then the connection closes)
  norange             Range and If-Range ignored: 200 with the whole body
  bump                the synthetic body changes (a new generation, a new ETag) first
  bumprange           as bump, and a range is answered from the new body whatever If-Range
                      says (a server or cache that does not check it)
  replace=FILE        <root>/update/FILE replaces the requested file first

Release records: each line of <root>/release (read per request; none when missing) changes
the record published for NAME (version 1.0, 30 days, signed with the signing key):
  version V           the record's version
  expired             it expired a day ago
  file FILE           it names FILE
  of FILE             it is the record of <root>/update/FILE (still naming NAME)
  other-key           signed with another key (made once per server)
  second-key          signed with --second-key
  oversize            the record padded past 4 KiB
  none                no record: 404 for both files
A record is made once per archive content and lines, so the record and its signature that
an installer fetches one after the other belong together.

Log (<root>/requests.log unless --log): one line per request when its answer is chosen,
"GET <target>", then tab-separated "name: value" fields: the request's headers, then
"X-Answer: <status>" and "X-Answer-Bytes: <body bytes this answer sends>" (after a cut).
A stalled answer adds "GONE <target>" once its client has closed the connection.

With --tls-cert CERT.pem --tls-key KEY.pem (for start and serve) it speaks HTTPS instead.
"""
import argparse
import base64
import email.utils
import functools
import hashlib
import http.server
import io
import os
import select
import signal
import socket
import struct
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import datetime
import zipfile
import importlib.machinery
import importlib.util
from urllib.parse import parse_qs, urlsplit

HOST = "127.0.0.1"
HERE = os.path.dirname(os.path.abspath(__file__))
AGREEMENT_PATH = "/Orlo_venta/install_agree.asp"
UPDATE_PREFIX = "/update/"
CREDENTIALS = "Basic " + base64.b64encode(b"quillon:secret").decode()
AUTH_BODY_SIZE = 4000
STALL_LIMIT_S = 300
BLOCK = 256 * 1024
RECORD_SUFFIX = ".meta"
SIGNATURE_SUFFIX = ".meta.sig"


def load_publish():
    """vendor/publish, the vendor's tool, as a module."""
    loader = importlib.machinery.SourceFileLoader("publish", os.path.join(HERE, "publish"))
    found = importlib.util.spec_from_loader("publish", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


publish = load_publish()


class Body:
    """What a body answer sends: size, validators and a reader of a byte range."""

    def __init__(self, size, etag, last_modified, read):
        self.size = size
        self.etag = etag
        self.last_modified = last_modified
        self.read = read  # read(start, end) -> iterator of byte blocks of [start, end)


@functools.lru_cache(maxsize=8)
def pattern_period(generation):
    """251 KiB of the pattern of a generation: whole periods, so blocks join up."""
    return bytes((i + 7 * generation) % 251 for i in range(251 * 1024))


def pattern_body(size, generation, validators):
    period = pattern_period(generation)

    def read(start, end):
        position = start
        while position < end:
            offset = position % 251
            piece = period[offset:offset + min(end - position, len(period) - 251)]
            yield piece
            position += len(piece)

    etag = '"g%d-%d"' % (generation, size)
    if validators == "weak":
        etag = "W/" + etag
    # A fixed time per generation, so Last-Modified changes with the body.
    last_modified = email.utils.formatdate(1700000000 + generation * 3600, usegmt=True)
    return Body(size,
                etag if validators in ("etag", "weak") else None,
                last_modified if validators in ("etag", "lm", "weak") else None,
                read)


def file_body(path):
    info = os.stat(path)
    digest = hashlib.sha1(("%d-%d" % (info.st_size, info.st_mtime_ns)).encode()).hexdigest()

    def read(start, end):
        with open(path, "rb") as f:
            f.seek(start)
            left = end - start
            while left > 0:
                block = f.read(min(BLOCK, left))
                if not block:
                    return
                yield block
                left -= len(block)

    return Body(info.st_size, '"%s"' % digest[:16],
                email.utils.formatdate(info.st_mtime, usegmt=True), read)


def bytes_body(data):
    """A body of fixed bytes, with a strong ETag of its content."""
    digest = hashlib.sha1(data).hexdigest()

    def read(start, end):
        yield data[start:end]

    return Body(len(data), '"%s"' % digest[:16], None, read)


class Publisher:
    """Publishes release records of update files with vendor/publish: with the vendor's key,
    with the second key, or with another key made once. A record and its signature are
    made once per archive content and per the lines of <root>/release."""

    def __init__(self, key, second_key=None):
        self.key = key
        self.second_key = second_key
        self.other_key = None
        self.lock = threading.Lock()
        self.made = {}

    def release(self, path, name, lines):
        """(record, signature) of update file path published as name, as lines ask."""
        with open(path, "rb") as f:
            content = hashlib.sha256(f.read()).hexdigest()
        with self.lock:
            cache = (content, name, tuple(lines))
            if cache not in self.made:
                self.made[cache] = self.make(path, name, lines)
            return self.made[cache]

    def make(self, path, name, lines):
        version, key, file_name = "1.0", self.key, name
        expires = publish.expiry_after("30d")
        pad = False
        for line in lines:
            word, _, argument = line.partition(" ")
            if word == "version":
                version = argument
            elif word == "expired":
                expires = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0) - \
                    datetime.timedelta(days=1)
            elif word == "file":
                file_name = argument
            elif word == "other-key":
                key = self.another_key()
            elif word == "second-key" and self.second_key:
                key = self.second_key
            elif word == "oversize":
                pad = True
        try:
            record = publish.make_record(path, version, expires, file_name)
        except zipfile.BadZipFile:
            # The tests serve files that are no zip: published as holding nothing.
            record = publish.make_record(path, version, expires, file_name, counts=(0, 0))
        if pad:
            record += b"x" * (publish.MAX_RECORD_BYTES + 1 - len(record)) + b"\n"
        return record, publish.sign(record, key)

    def another_key(self):
        if self.other_key is None:
            folder = tempfile.mkdtemp(prefix="quillon-other-key-")
            self.other_key = os.path.join(folder, "other.key")
            subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout",
                            "-out", self.other_key], check=True, capture_output=True)
        return self.other_key


def parse_fault(text):
    """A fault's text as (kind, argument)."""
    text = text.strip()
    if not text or text == "ok":
        return ("ok", None)
    for kind in ("close", "reset", "stall", "drip"):
        if text.startswith(kind + "@"):
            return (kind, text[len(kind) + 1:])
    if text.startswith("length+") or text.startswith("length-"):
        return ("length", int(text[len("length"):]))
    if text.startswith("replace="):
        return ("replace", text[len("replace="):])
    if text in ("norange", "bump", "bumprange", "endless"):
        return (text, None)
    status, _, retry_after = text.partition("ra")
    return ("status", (int(status), retry_after or None))


def cut_bytes(amount, sending):
    """Bytes of a cut amount ("1000" or "50%") for an answer that would send `sending`."""
    if amount.endswith("%"):
        return sending * int(amount[:-1]) // 100
    return min(int(amount), sending)


class VendorHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuillonVendor/1.0"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name; keep stderr quiet
        pass

    def do_GET(self):
        self.answer(head_only=False)

    def do_HEAD(self):
        self.answer(head_only=True)

    # --- choosing the answer ------------------------------------------------------------

    def answer(self, head_only):
        self.head_only = head_only
        target = urlsplit(self.path)
        self.query = parse_qs(target.query)
        fault = self.server.next_fault(self.path, target.path, self.query)
        kind, arg = fault
        if kind == "replace":
            self.server.replace_update_file(target.path, arg)
        elif kind in ("bump", "bumprange"):
            self.server.bump_generation(self.path)
        if kind == "status":
            status, retry_after = arg
            headers = [("Retry-After", retry_after)] if retry_after else []
            return self.send_page(status, headers)

        path = target.path
        parts = path.strip("/").split("/")
        size = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        if path == AGREEMENT_PATH:
            with open(os.path.join(HERE, "install_agree.html"), "rb") as f:
                return self.send_bytes(200, "text/html; charset=utf-8", f.read())
        if path.startswith(UPDATE_PREFIX):
            body = self.server.update_body(path[len(UPDATE_PREFIX):])
            if body is None:
                return self.send_page(404)
            return self.send_range_answer(body, fault)
        if parts[0] == "ok" and len(parts) == 2 and parts[1].isdigit():
            validators = self.query.get("v", ["etag"])[0]
            body = pattern_body(size, self.server.generation(self.path), validators)
            return self.send_range_answer(body, fault)
        if parts[0] == "nolength":
            return self.send_stream(size, [("Connection", "close")], chunked=False)
        if parts[0] == "chunked":
            return self.send_stream(size, [], chunked=True)
        if parts[0] == "empty":
            return self.send_range_answer(pattern_body(0, 0, "etag"), fault)
        if parts[0] == "status" and size:
            return self.send_page(size)
        if parts[0] == "auth" and len(parts) > 1 and parts[1] == "401":
            realm = parts[2] if len(parts) > 2 else None
            if realm is None and self.headers.get("Authorization") == CREDENTIALS:
                return self.send_range_answer(pattern_body(AUTH_BODY_SIZE, 0, "etag"), fault)
            return self.send_page(401, [("WWW-Authenticate", 'Basic realm="%s"' % (realm or "quillon"))])
        if parts[0] == "auth" and len(parts) > 1 and parts[1] == "407":
            return self.send_page(407, [("Proxy-Authenticate", 'Basic realm="quillon"')])
        if parts[0] == "redirect":
            if "to" in self.query:
                return self.send_page(302, [("Location", self.query["to"][0])])
            query = "?" + target.query if target.query else ""
            return self.send_page(302, [("Location", "/ok/%d%s" % (size, query))])
        return self.send_page(404)

    def requested_range(self, body, fault):
        """(start, end) of a range answer, "416", or None for the whole body."""
        if fault[0] == "norange":
            return None
        header = self.headers.get("Range", "")
        if not header.startswith("bytes=") or "," in header:
            return None
        first, _, last = header[len("bytes="):].partition("-")
        if not first.isdigit() or (last and not last.isdigit()):
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and fault[0] != "bumprange":
            # A weak ETag never matches; a date matches only Last-Modified exactly.
            strong = body.etag is not None and not body.etag.startswith("W/")
            if not ((strong and if_range == body.etag) or
                    (body.last_modified is not None and if_range == body.last_modified)):
                return None
        start = int(first)
        end = min(int(last) + 1, body.size) if last else body.size
        if start >= body.size or start >= end:
            return "416"
        return (start, end)

    # --- sending --------------------------------------------------------------------------

    def send_range_answer(self, body, fault):
        headers = [("Accept-Ranges", "bytes")]
        if body.etag:
            headers.append(("ETag", body.etag))
        if body.last_modified:
            headers.append(("Last-Modified", body.last_modified))
        wanted = self.requested_range(body, fault)
        if wanted == "416":
            return self.send_page(416, headers + [("Content-Range", "bytes */%d" % body.size)])
        if wanted is None:
            status, start, end = 200, 0, body.size
        else:
            status, (start, end) = 206, wanted
            headers.append(("Content-Range", "bytes %d-%d/%d" % (start, end - 1, body.size)))
        content_type = "application/zip" if self.path.startswith(UPDATE_PREFIX) else \
            "application/octet-stream"
        headers.append(("Content-Type", content_type))
        kind, arg = fault
        sending = end - start
        if kind == "endless":
            headers.append(("Connection", "close"))
        else:
            announced = end - start + (arg if kind == "length" else 0)
            headers.append(("Content-Length", str(announced)))
        if kind in ("close", "reset", "stall"):
            sending = cut_bytes(arg, end - start)
        self.begin(status, headers, sending)
        if self.head_only:
            return
        for block in body.read(start, start + sending):
            if kind == "drip":
                self.drip(block, int(arg))
            else:
                self.wfile.write(block)
        if kind in ("close", "reset", "stall"):
            self.end_cut(kind)
        elif kind == "endless":
            self.send_without_end()
        elif kind == "length":
            self.close_connection = True

    def drip(self, block, interval_ms):
        for i in range(len(block)):
            time.sleep(interval_ms / 1000.0)
            self.wfile.write(block[i:i + 1])
            self.wfile.flush()

    def send_without_end(self):
        """More bytes after the body, until the client goes (or STALL_LIMIT_S)."""
        self.close_connection = True
        filler = pattern_period(1)[:BLOCK // 4]
        deadline = time.monotonic() + STALL_LIMIT_S
        try:
            while time.monotonic() < deadline:
                self.wfile.write(filler)
        except OSError:
            pass

    def send_page(self, status, headers=()):
        page = ("<html><body>%d</body></html>" % status).encode()
        self.send_bytes(status, "text/html", page, list(headers))

    def send_bytes(self, status, content_type, data, headers=()):
        self.begin(status, [("Content-Type", content_type), ("Content-Length", str(len(data))),
                            ("Cache-Control", "no-cache")] + list(headers), len(data))
        if not self.head_only:
            self.wfile.write(data)

    def send_stream(self, size, headers, chunked):
        body = pattern_body(size, 0, "none")
        extra = [("Transfer-Encoding", "chunked")] if chunked else []
        self.begin(200, [("Content-Type", "application/octet-stream")] + headers + extra, size)
        if self.head_only:
            return
        data = b"".join(body.read(0, size))
        if chunked:
            for start in range(0, size, 1000):
                piece = data[start:start + 1000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.wfile.write(data)
            self.close_connection = True

    def begin(self, status, headers, body_bytes):
        """Logs the request with its answer, then sends the status line and headers."""
        self.server.log_request(self, status, body_bytes)
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()

    def end_cut(self, kind):
        self.close_connection = True
        if kind == "reset":
            # Linger 0: closing sends RST instead of FIN.
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.rfile.close()
            self.wfile.close()
            self.connection.close()
            # What the base class still does with the streams now does nothing.
            self.rfile, self.wfile = io.BytesIO(), io.BytesIO()
        elif kind == "stall":
            self.wfile.flush()
            self.wait_for_client_to_go()
            self.server.log_line("GONE %s" % self.path)

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


class VendorServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, server_address, root, request_log, signing_key=None, second_key=None):
        self.root = root
        self.publisher = Publisher(signing_key, second_key) if signing_key else None
        self.request_log = request_log
        self.lock = threading.Lock()
        self.request_counts = {}
        self.generations = {}
        super().__init__(server_address, VendorHandler)

    def server_bind(self):
        # HTTPServer's own would look the host name up; nothing here needs it.
        http.server.socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def log_request(self, handler, status, body_bytes):
        fields = ["%s %s" % (handler.command, handler.path)]
        fields += ["%s: %s" % (name, value) for name, value in handler.headers.items()]
        fields += ["X-Answer: %d" % status, "X-Answer-Bytes: %d" % body_bytes]
        self.log_line("\t".join(fields))

    def log_line(self, line):
        with self.lock, open(self.request_log, "a", encoding="utf-8") as log:
            log.write(line + "\n")

    def next_fault(self, target, path, query):
        """The fault for this request: the query's list by the target's request count,
        else the next one queued in <root>/faults for an update file."""
        with self.lock:
            count = self.request_counts.get(target, 0)
            self.request_counts[target] = count + 1
            if "faults" in query:
                faults = query["faults"][0].split(",")
                return parse_fault(faults[count]) if count < len(faults) else ("ok", None)
            if path.startswith(UPDATE_PREFIX):
                return parse_fault(self.pop_queued_fault(path[len(UPDATE_PREFIX):]))
        return ("ok", None)

    def pop_queued_fault(self, name):
        path = os.path.join(self.root, "faults")
        try:
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except OSError:
            return "ok"
        fault = "ok"
        for i, line in enumerate(lines):
            file_name, _, faults = line.strip().partition(" ")
            if file_name == name and faults:
                first, _, rest = faults.partition(",")
                fault = first
                lines[i] = "%s %s" % (name, rest) if rest else ""
                break
        with open(path, "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in lines if line))
        return fault

    # Generations are counted per request target (path and query), as faults are, so
    # one test's change of body is no other request's.
    def generation(self, target):
        with self.lock:
            return self.generations.get(target, 0)

    def bump_generation(self, target):
        with self.lock:
            self.generations[target] = self.generations.get(target, 0) + 1

    @staticmethod
    def plain_name(name):
        return bool(name) and "/" not in name and "\\" not in name and not name.startswith(".")

    def update_body(self, name):
        if not self.plain_name(name):
            return None
        path = os.path.join(self.root, "update", name)
        if os.path.isfile(path):
            return file_body(path)
        for suffix, part in ((SIGNATURE_SUFFIX, 1), (RECORD_SUFFIX, 0)):
            if name.endswith(suffix) and self.publisher:
                release = self.release(name[:-len(suffix)])
                return bytes_body(release[part]) if release else None
        return None

    def release(self, name):
        """(record, signature) of update file name as <root>/release asks for, or None."""
        try:
            with open(os.path.join(self.root, "release"), encoding="utf-8") as f:
                lines = [line.strip() for line in f.read().splitlines() if line.strip()]
        except OSError:
            lines = []
        if "none" in lines:
            return None
        source = name
        for line in lines:
            word, _, argument = line.partition(" ")
            if word == "of" and self.plain_name(argument):
                source = argument
        path = os.path.join(self.root, "update", source)
        if not os.path.isfile(path):
            return None
        return self.publisher.release(path, name, lines)

    def replace_update_file(self, path, replacement):
        name = path[len(UPDATE_PREFIX):]
        if self.plain_name(name) and self.plain_name(replacement):
            folder = os.path.join(self.root, "update")
            try:
                os.replace(os.path.join(folder, replacement), os.path.join(folder, name))
            except OSError:
                pass


def make_server(port, root, request_log, tls_cert=None, tls_key=None, signing_key=None,
                second_key=None):
    """The listening server on 127.0.0.1:port; the one place that creates it. With a
    certificate and its key it speaks HTTPS; with a signing key it publishes release
    records of update files."""
    server = VendorServer((HOST, port), root, request_log, signing_key, second_key)
    if tls_cert:
        # Each accepted connection does its TLS handshake in its own handler thread (on its
        # first read), so a client that refuses the certificate holds up nobody.
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(tls_cert, tls_key)
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
    return server


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
    os.makedirs(os.path.join(args.root, "update"), exist_ok=True)
    open(args.log, "a").close()
    server = make_server(args.port, args.root, args.log, args.tls_cert, args.tls_key,
                         args.signing_key, args.second_key)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    # Listening now: start() waits for this word of its own server, not for the port alone
    # (an old server on its way out may still hold the port).
    with open(args.pidfile + ".ready", "w") as ready:
        ready.write(str(os.getpid()))
    if args.watch_pid:
        threading.Thread(target=watch, args=(args.watch_pid,), daemon=True).start()
    server.serve_forever()


def port_open(port):
    with socket.socket() as s:
        s.settimeout(0.2)
        return s.connect_ex((HOST, port)) == 0


def is_our_server(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return b"vendor_server.py" in f.read()
    except OSError:
        return False


def server_options(args):
    """The HTTPS and signing options of args, to hand on to the server process."""
    options = []
    if args.tls_cert:
        options += ["--tls-cert", args.tls_cert, "--tls-key", args.tls_key]
    if args.signing_key:
        options += ["--signing-key", args.signing_key]
    if args.second_key:
        options += ["--second-key", args.second_key]
    return options


def start(args):
    stop(args)
    os.makedirs(os.path.join(args.root, "update"), exist_ok=True)
    if port_open(args.port):
        sys.exit("vendor_server: port %d on %s is taken by another program" % (args.port, HOST))
    command = [sys.executable, os.path.abspath(__file__), "serve", "--port", str(args.port),
               "--root", args.root, "--log", args.log] + server_options(args)
    # It never outlives whoever started it (ctest, a script).
    command += ["--watch-pid", str(args.watch_pid or os.getppid())]
    errors_path = args.pidfile + ".err"
    ready_path = args.pidfile + ".ready"
    if os.path.exists(ready_path):
        os.unlink(ready_path)
    with open(errors_path, "w") as errors:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=errors, start_new_session=True)
    with open(args.pidfile, "w") as f:
        f.write(str(process.pid))
    for _ in range(200):
        if read_pid(ready_path) == process.pid:
            return
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(errors_path) as f:
        message = f.read()
    stop(args)
    sys.exit("vendor_server: the server did not start listening\n" + message)


def read_pid(path):
    """The process id written in path, or None."""
    try:
        with open(path) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def stop(args):
    pid = read_pid(args.pidfile)
    if pid is None:
        return
    if is_our_server(pid):
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            if not is_our_server(pid):
                break
            time.sleep(0.05)
        else:
            os.kill(pid, signal.SIGKILL)
        # A process whose memory is gone still holds its sockets for a moment: the port is
        # free only once nothing answers there.
        for _ in range(100):
            if not port_open(args.port):
                break
            time.sleep(0.05)
    os.unlink(args.pidfile)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--port", type=int, default=47311)
    parser.add_argument("--root", default=os.path.join(HERE, "..", "build", "vendor-root"))
    parser.add_argument("--log", default=None)
    parser.add_argument("--pidfile", default=None)
    parser.add_argument("--watch-pid", type=int, default=0)
    parser.add_argument("--tls-cert", default=None, help="PEM certificate: serve HTTPS")
    parser.add_argument("--tls-key", default=None, help="PEM private key of --tls-cert")
    parser.add_argument("--signing-key", default=None,
                        help="PEM EC private key: publish NAME.meta and NAME.meta.sig beside each update file")
    parser.add_argument("--second-key", default=None,
                        help="PEM EC private key the release line 'second-key' signs with")
    args = parser.parse_args()
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if args.tls_cert:
        args.tls_cert, args.tls_key = os.path.abspath(args.tls_cert), os.path.abspath(args.tls_key)
    if args.signing_key:
        args.signing_key = os.path.abspath(args.signing_key)
    if args.second_key:
        args.second_key = os.path.abspath(args.second_key)
    args.root = os.path.abspath(args.root)
    args.log = os.path.abspath(args.log or os.path.join(args.root, "requests.log"))
    args.pidfile = os.path.abspath(args.pidfile or os.path.join(args.root, "server.pid"))
    {"start": start, "stop": stop, "serve": serve}[args.action](args)


if __name__ == "__main__":
    main()
