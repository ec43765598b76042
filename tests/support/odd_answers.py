"""Answers that a careful client must judge rather than save, for the
scripted server's parameter odd=KIND. Every body is the served pattern of
size=N bytes (default 5000), so a client that decodes the answer right saves
exactly pattern(0, N).

  interim      100 Continue and 103 Early Hints before the 200
  interimonly  100 Continue, then the connection closes
  chunked      Transfer-Encoding: chunked (chunk extensions, uppercase hex,
               a trailer), and a Content-Length that is wrong
  chunkcut     chunked, closed in the middle of the body
  twolengths   two Content-Length headers with different values
  line         the status line given as hex bytes in line=HEX
  norange      a Range request answered 206 with the rest of the body but no
               Content-Range; without Range a plain 200
  lower        every field name in lower case: a chunked body whose
               content-disposition names lower-saved.bin; with to=TARGET a
               302 whose location is TARGET instead
"""

import socket


def _send_and_close(conn, data):
    conn.sendall(data)
    try:
        conn.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def _head(status_line, headers):
    lines = [status_line] + ["%s: %s" % pair for pair in headers] + ["Connection: close"]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")


def _chunked(body, complete):
    out = bytearray()
    sizes = [1000, 7, 4096, 1]
    i = 0
    n = 0
    while i < len(body):
        size = sizes[n % len(sizes)]
        piece = body[i:i + size]
        extension = ';note="x"' if n == 1 else ""
        out += ("%X%s\r\n" % (len(piece), extension)).encode("latin-1") + piece + b"\r\n"
        i += size
        n += 1
        if not complete and i >= len(body) // 2:
            return bytes(out)
    out += b"0\r\nX-Checksum: none\r\n\r\n"
    return bytes(out)


def answer(conn, params, pattern, wanted):
    """Sends the odd answer params["odd"] names. wanted: the (first, last)
    of the request's Range header, or None."""
    kind = params["odd"]
    size = int(params.get("size", "5000"))
    body = pattern(0, size)
    ok = "HTTP/1.1 200 OK"
    if kind == "interim":
        interim = b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n"
        _send_and_close(conn, interim + _head(ok, [("Content-Length", str(size))]) + body)
    elif kind == "interimonly":
        _send_and_close(conn, b"HTTP/1.1 100 Continue\r\n\r\n")
    elif kind in ("chunked", "chunkcut"):
        headers = [("Transfer-Encoding", "chunked"), ("Content-Length", str(size + 77))]
        _send_and_close(conn, _head(ok, headers) + _chunked(body, kind == "chunked"))
    elif kind == "twolengths":
        headers = [("Content-Length", str(size)), ("Content-Length", str(size + 10))]
        _send_and_close(conn, _head(ok, headers) + body + b"x" * 10)
    elif kind == "line":
        line = bytes.fromhex(params.get("line", "")).decode("latin-1")
        _send_and_close(conn, _head(line, [("Content-Length", str(size))]) + body)
    elif kind == "norange" and wanted:
        rest = pattern(wanted[0], size - wanted[0])
        _send_and_close(conn, _head("HTTP/1.1 206 Partial Content", [("Content-Length", str(len(rest)))]) + rest)
    elif kind == "lower":
        target = params.get("to")
        if target:
            head = "HTTP/1.1 302 Found\r\nlocation: %s\r\ncontent-length: 0\r\n\r\n" % target
            _send_and_close(conn, head.encode("latin-1"))
        else:
            head = ('HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n'
                    'content-disposition: attachment; filename="lower-saved.bin"\r\nconnection: close\r\n\r\n')
            _send_and_close(conn, head.encode("latin-1") + _chunked(body, True))
    else:
        _send_and_close(conn, _head(ok, [("Content-Length", str(size))]) + body)
