#!/usr/bin/env python3
"""A scripted HTTP server for the transfer tests (standard library only).

Every request is answered according to its query parameters, and its exact
bytes (the header block) are recorded as <dir>/requests/<id>.<n>, where <id>
is the first segment of the request path and n counts the requests of that
id from 1. A request whose target is in absolute form (through a proxy) is
served like the origin form.

Query parameters (all optional):
  size=N        body of N bytes; byte i of a resource is Pattern(i)
  range=206|200 answer a Range header with 206 (default) or ignore it (200);
                with 206, a Range that begins at or beyond the end is
                answered 416 with "Content-Range: bytes */size"
  status=N      status code of the answer (default 200)
  loc=URL       Location header (percent-encoded in the query)
  hops=N        redirect chain: N more redirects (status from hopstatus,
                default 302) to the same resource with hops=N-1, relative
  auth=KIND     demand Basic credentials user/pass (params user, pass;
                default u/p): basic (with realm), norealm, charset (a
                charset parameter before the realm), digest, always (answer
                401 even to correct credentials), none (401 without any
                challenge)
  cd=TEXT       Content-Disposition header value
  cdhex=HEX     Content-Disposition header value as hex bytes (for bytes
                such as Shift-JIS that the query text cannot carry)
  nolen=1       no Content-Length
  extra=N       N bytes beyond Content-Length
  split=a,b,..  send the response head in pieces cut at these byte offsets
  silent=1      read the request and send nothing, keep the connection open
  cut=N         close after N body bytes (Content-Length announces all)
  slow=MS       send the body in 4 KB pieces with MS milliseconds between
  stall=N       send N body bytes, then nothing more, keeping the connection open
                (a body of N bytes or fewer, as a resume may ask for, is whole)
  hold=S        keep the connection open S seconds after the body (or the
                part that cut= leaves) before closing it
  die=N         send N body bytes, then the server process kills itself
                (SIGKILL): only in a server started with --allow-die, and only
                for a request without a Range header, so the resume is served
  etag=TEXT     ETag header (the value as given, quotes included)
  lm=SECONDS    Last-Modified header: that many seconds after 1970
  server=TEXT   Server header
  pad=N         an X-Pad header of N bytes (an overlong header block)
  odd=KIND      an answer to be judged rather than saved (odd_answers.py)
  ranges=1      say "Accept-Ranges: bytes"
  refuse=KIND   a Range that begins after byte 0 (a further segment) while
                another request of the same id is being answered is
                refused: 200 (the whole body instead), 503, 429, or close
                (closed without an answer)
  changed=TEXT  a Range that begins after byte 0 gets this ETag instead
  changeat=N    the file is replaced before the N-th request of this id: that
                request and every later one get the new file, whose ETag is
                newetag=TEXT, whose Last-Modified is newlm=SECONDS (each only
                when given) and whose byte i is Pattern(i + shift) (shift=K,
                default 1)
  trace=1       the body goes out in 16 KB pieces, and after each piece a line
                "SECONDS BYTES" (a monotonic clock, the bytes sent so far of
                every request of this id) is appended to requests/<id>.trace

Over TLS (start_tls) also:
  tlsrec=1      every byte of the answer in a TLS record of its own
  pieces=N      the answer's TLS bytes sent in N-byte pieces, a moment apart
  notify=0      end without close_notify (the TCP connection just closes)

A TLS server also answers plain HTTP on the same port: the first byte of a
connection tells which one it is.
"""

import argparse
import base64
import email.utils
import os
import signal
import socket
import socketserver
import ssl
import threading
import time
import urllib.parse

import odd_answers

HEAD_LIMIT = 65536


def pattern(start, count):
    """Bytes start..start+count-1 of every served resource: i % 251."""
    first = start % 251
    block = bytes(range(251))
    out = bytearray()
    out += block[first:]
    while len(out) < count:
        out += block
    return bytes(out[:count])


class Recorder:
    """Writes each request's bytes to requests/<id>.<n> (n from 1)."""

    def __init__(self, folder):
        self.folder = os.path.join(folder, "requests")
        os.makedirs(self.folder, exist_ok=True)
        self.lock = threading.Lock()

    def record(self, key, data):
        with self.lock:
            n = 1
            while True:
                path = os.path.join(self.folder, "%s.%d" % (key, n))
                try:
                    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
                except FileExistsError:
                    n += 1
                    continue
                with os.fdopen(fd, "wb") as f:
                    f.write(data)
                return n


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < HEAD_LIMIT:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    end = data.find(b"\r\n\r\n")
    return data if end < 0 else data[: end + 4]


def parse_target(head):
    line = head.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    target = parts[1] if len(parts) > 1 else "/"
    if target.startswith("http://"):
        slash = target.find("/", 7)
        target = target[slash:] if slash >= 0 else "/"
    path, _, query = target.partition("?")
    return path, dict(urllib.parse.parse_qsl(query, keep_blank_values=True))


def header_value(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, sep, value = line.partition(b":")
        if sep and key.decode("latin-1").lower() == name.lower():
            return value.strip().decode("latin-1")
    return None


def requested_range(head, size):
    value = header_value(head, "Range")
    if not value or not value.startswith("bytes="):
        return None
    first, _, last = value[6:].partition("-")
    first = int(first) if first else 0
    last = int(last) if last else size - 1
    return first, min(last, size - 1)


REASONS = {200: "OK", 206: "Partial Content", 301: "Moved Permanently", 302: "Found",
           303: "See Other", 307: "Temporary Redirect", 308: "Permanent Redirect",
           401: "Unauthorized", 404: "Not Found", 416: "Range Not Satisfiable", 506: "Variant Also Negotiates"}

CHALLENGES = {
    "basic": 'Basic realm="files"',
    "norealm": 'Basic charset="UTF-8"',
    "charset": 'Basic charset="UTF-8", realm="files"',
    "digest": 'Digest realm="files", nonce="abc", qop="auth"',
    "always": 'Basic realm="files"',
    "none": None,
}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        head = read_head(conn)
        if not head:
            return
        path, params = parse_target(head)
        key = path.strip("/").split("/", 1)[0] or "root"
        self.key = key
        self.number = self.server.recorder.record(key, head)
        with self.server.busy_lock:
            self.server.busy[key] = self.server.busy.get(key, 0) + 1
            self.crowded = self.server.busy[key] > 1
        try:
            self.answer(conn, head, path, params)
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            with self.server.busy_lock:
                self.server.busy[key] -= 1

    def answer(self, conn, head, path, params):
        if hasattr(conn, "configure"):
            conn.configure(params)
        if params.get("silent") == "1":
            conn.settimeout(30)
            try:
                while conn.recv(4096):
                    pass
            except OSError:
                pass
            return
        if "odd" in params:
            odd_answers.answer(conn, params, pattern, requested_range(head, int(params.get("size", "5000"))))
            return
        status = int(params.get("status", "200"))
        headers = []
        auth = params.get("auth")
        if auth and not self.authorised(head, params, auth):
            challenge = CHALLENGES[auth]
            headers = [("WWW-Authenticate", challenge)] if challenge else []
            self.send_plain(conn, 401, headers, params)
            return
        hops = int(params.get("hops", "0"))
        if hops > 0:
            status = int(params.get("hopstatus", "302"))
            name = path.rsplit("/", 1)[-1]
            rest = urllib.parse.urlencode(dict(params, hops=str(hops - 1)))
            headers.append(("Location", "%s?%s" % (name, rest)))
            self.send_plain(conn, status, headers, params)
            return
        if "loc" in params:
            headers.append(("Location", params["loc"]))
        if "cd" in params:
            headers.append(("Content-Disposition", params["cd"]))
        if "cdhex" in params:
            raw = bytes.fromhex(params["cdhex"]).decode("latin-1")
            headers.append(("Content-Disposition", raw))
        if "server" in params:
            headers.append(("Server", params["server"]))
        shift = 0
        if "changeat" in params and self.number >= int(params["changeat"]):
            params = dict(params, **{name: params["new" + name] for name in ("etag", "lm") if "new" + name in params})
            shift = int(params.get("shift", "1"))
        later = requested_range(head, int(params.get("size", "1000")))
        later = later is not None and later[0] > 0
        refuse = params.get("refuse") if later and getattr(self, "crowded", False) else None
        if refuse == "close":
            return
        if refuse in ("503", "429"):
            self.send_plain(conn, int(refuse), [], params)
            return
        if refuse == "200":
            params = dict(params, range="200")
        if later and "changed" in params:
            headers.append(("ETag", params["changed"]))
        elif "etag" in params:
            headers.append(("ETag", params["etag"]))
        if params.get("ranges") == "1":
            headers.append(("Accept-Ranges", "bytes"))
        if "lm" in params:
            headers.append(("Last-Modified", email.utils.formatdate(int(params["lm"]), usegmt=True)))
        if "pad" in params:
            headers.append(("X-Pad", "p" * int(params["pad"])))
        size = int(params.get("size", "1000"))
        first, last = 0, size - 1
        wanted = requested_range(head, size)
        if wanted and params.get("range", "206") == "206" and status == 200 and wanted[0] >= size:
            headers.append(("Content-Range", "bytes */%d" % size))
            self.send_plain(conn, 416, headers, params)
            return
        if wanted and params.get("range", "206") == "206" and status == 200:
            first, last = wanted
            status = 206
            headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, size)))
        count = max(0, last - first + 1)
        if params.get("trace") == "1":
            headers.append(("Content-Length", str(count)))
            self.send_traced(conn, status, headers, first + shift, count)
            return
        body = pattern(first + shift, count)
        if params.get("nolen") != "1":
            headers.append(("Content-Length", str(count)))
        body += b"x" * int(params.get("extra", "0"))
        if "cut" in params:
            body = body[: int(params["cut"])]
        if wanted:
            params = {k: v for k, v in params.items() if k != "die"}  # the resume is served
        self.send(conn, status, headers, body, params)

    def send_traced(self, conn, status, headers, first, count):
        """The answer with its body made and sent piece by piece, each piece
        counted into the id's trace once it is handed to the socket."""
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 65536)  # the rate is the reader's
        self.send(conn, status, headers, b"", {"hold": "0"}, close=False)
        piece = 16384
        for at in range(0, count, piece):
            conn.sendall(pattern(first + at, min(piece, count - at)))
            self.server.trace(self.key, min(piece, count - at))
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def authorised(self, head, params, auth):
        if auth == "always":
            return False
        expected = "%s:%s" % (params.get("user", "u"), params.get("pass", "p"))
        value = header_value(head, "Authorization") or ""
        return value == "Basic " + base64.b64encode(expected.encode("latin-1")).decode()

    def send_plain(self, conn, status, headers, params):
        body = b"<html>status %d</html>" % status
        self.send(conn, status, headers + [("Content-Length", str(len(body)))], body, params)

    def send(self, conn, status, headers, body, params, close=True):
        lines = ["HTTP/1.1 %d %s" % (status, REASONS.get(status, "Status"))]
        lines += ["%s: %s" % pair for pair in headers]
        lines.append("Connection: close")
        response_head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        cuts = [int(c) for c in params.get("split", "").split(",") if c]
        cuts = [c for c in cuts if 0 < c < len(response_head)]
        start = 0
        for cut in cuts + [len(response_head)]:
            conn.sendall(response_head[start:cut])
            start = cut
            if cut < len(response_head):
                time.sleep(0.05)
        slow = int(params.get("slow", "0"))
        if "stall" in params and int(params["stall"]) < len(body):
            conn.sendall(body[: int(params["stall"])])
            time.sleep(30)
            return
        if "die" in params and self.server.allow_die:
            conn.sendall(body[: int(params["die"])])
            os.kill(os.getpid(), signal.SIGKILL)
        if slow:
            for i in range(0, len(body), 4096):
                conn.sendall(body[i : i + 4096])
                time.sleep(slow / 1000.0)
        else:
            conn.sendall(body)
        time.sleep(float(params.get("hold", "0")))
        if not close:
            return
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    allow_die = False

    def __init__(self, port, folder):
        super().__init__(("127.0.0.1", port), Handler)
        self.recorder = Recorder(folder)
        self.busy = {}  # requests being answered, by id
        self.busy_lock = threading.Lock()
        self.traced = {}  # bytes sent of trace=1 answers, by id

    def trace(self, key, count):
        with self.busy_lock:
            self.traced[key] = self.traced.get(key, 0) + count
            with open(os.path.join(self.recorder.folder, key + ".trace"), "a") as f:
                f.write("%.3f %d\n" % (time.monotonic(), self.traced[key]))


def start(port, folder):
    """Starts a server in a daemon thread and returns it (call shutdown())."""
    server = Server(port, folder)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class TlsConnection:
    """The server's side of one TLS connection, driven through memory BIOs so
    that the bytes on the wire can be cut and timed at will. Offers the
    socket calls the Handler uses."""

    PIECE_PAUSE = 0.002

    def __init__(self, sock, context, piece=0):
        self.sock = sock
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        self.piece = piece          # wire bytes per send; 0: all at once
        self.one_byte_records = False
        self.close_notify = True

    def configure(self, params):
        self.one_byte_records = params.get("tlsrec") == "1"
        self.piece = int(params.get("pieces", "0"))
        self.close_notify = params.get("notify") != "0"

    def flush(self):
        data = self.outgoing.read()
        if not self.piece:
            self.sock.sendall(data)
            return
        for i in range(0, len(data), self.piece):
            self.sock.sendall(data[i : i + self.piece])
            time.sleep(self.PIECE_PAUSE)

    def pull(self):
        """More bytes from the client into the TLS object; False at its end."""
        data = self.sock.recv(65536)
        if not data:
            return False
        self.incoming.write(data)
        return True

    def handshake(self, delay=0.0):
        """delay: seconds before the server's first flight."""
        while True:
            try:
                self.tls.do_handshake()
                self.flush()
                return True
            except ssl.SSLWantReadError:
                if delay and self.outgoing.pending:
                    time.sleep(delay)
                    delay = 0.0
                self.flush()
                if not self.pull():
                    return False

    def recv(self, size):
        while True:
            try:
                return self.tls.read(size)
            except ssl.SSLWantReadError:
                self.flush()
                if not self.pull():
                    return b""
            except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
                return b""

    def sendall(self, data):
        step = 1 if self.one_byte_records else 16384
        for i in range(0, len(data), step):
            self.tls.write(data[i : i + step])
            if self.outgoing.pending > (1 << 20):
                self.flush()
        self.flush()

    def shutdown(self, how):
        if self.close_notify:
            try:
                self.tls.unwrap()
            except (ssl.SSLWantReadError, ssl.SSLError):
                pass
            self.flush()
        self.sock.shutdown(how)

    def setsockopt(self, *args):
        self.sock.setsockopt(*args)

    def settimeout(self, seconds):
        self.sock.settimeout(seconds)


TLS_HANDSHAKE_RECORD = 0x16


class TlsServer(Server):
    """The scripted server over TLS, with plain HTTP on the same port."""

    def __init__(self, port, folder, context, handshake_delay=0.0, handshake_piece=0):
        super().__init__(port, folder)
        self.context = context
        self.handshake_delay = handshake_delay
        self.handshake_piece = handshake_piece

    def finish_request(self, request, client_address):
        request.settimeout(30)
        try:
            first = request.recv(1, socket.MSG_PEEK)
            if first and first[0] == TLS_HANDSHAKE_RECORD:
                tls = TlsConnection(request, self.context, self.handshake_piece)
                if not tls.handshake(self.handshake_delay):
                    return
                tls.piece = 0
                request = tls
        except (OSError, ssl.SSLError):
            return
        request.settimeout(None)
        try:
            self.RequestHandlerClass(request, client_address, self)
        except ssl.SSLError:
            pass


def start_tls(port, folder, context, handshake_delay=0.0, handshake_piece=0):
    """A TLS server in a daemon thread. handshake_delay (seconds) holds back
    the server's first flight; handshake_piece sends the handshake in pieces
    of that many bytes."""
    server = TlsServer(port, folder, context, handshake_delay, handshake_piece)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--allow-die", action="store_true",
                        help="honour die=N, which kills this process")
    args = parser.parse_args()
    server = Server(args.port, args.dir)
    server.allow_die = args.allow_die
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
