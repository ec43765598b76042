#!/usr/bin/env python3
"""A CONNECT proxy on 127.0.0.1 that drops the first tunnel to each target.

It answers CONNECT to localhost or 127.0.0.1 (any other host is refused, so
nothing beyond this machine is ever reached) with 200 and relays both ways.
On the first tunnel to a host:port, once drop_after bytes have gone from the
server to the client, it closes both connections in the middle of whatever
they carry; every later tunnel to that target is relayed whole.

Each tunnel appends the line "CONNECT host:port" to the log file when it
opens, and a drop appends "dropped after N" before the sockets close, so a
client that sees the end can already read it.
"""

import selectors
import socket
import socketserver
import threading

LOCAL_HOSTS = ("localhost", "127.0.0.1")
HEAD_LIMIT = 8192


def read_head(conn):
    """The request head up to its empty line, and the bytes after it."""
    data = b""
    while b"\r\n\r\n" not in data and len(data) < HEAD_LIMIT:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head, rest


def connect_target(head):
    """(host, port) of a CONNECT to this machine, else None."""
    parts = head.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
    if len(parts) != 3 or parts[0] != "CONNECT":
        return None
    host, _, port = parts[1].rpartition(":")
    if host.lower() not in LOCAL_HOSTS or not port.isdigit() or not 0 < int(port) < 65536:
        return None
    return host, int(port)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        client = self.request
        try:
            head, rest = read_head(client)
            target = connect_target(head)
            if target is None:
                client.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                return
            try:
                server = socket.create_connection(("127.0.0.1", target[1]), timeout=10)
            except OSError:
                client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
                return
            with server:
                server.settimeout(None)
                limit = self.server.open_tunnel(target)
                client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                if rest:
                    server.sendall(rest)
                self.relay(client, server, limit)
        except OSError:
            pass

    def relay(self, client, server, limit):
        """Both ways until both ends closed, or until limit bytes came from
        the server (None: no limit)."""
        sent = 0
        selector = selectors.DefaultSelector()
        selector.register(client, selectors.EVENT_READ, server)
        selector.register(server, selectors.EVENT_READ, client)
        open_ends = 2
        while open_ends:
            for key, _ in selector.select():
                source, peer = key.fileobj, key.data
                data = source.recv(65536)
                if not data:
                    selector.unregister(source)
                    open_ends -= 1
                    peer.shutdown(socket.SHUT_WR)
                    continue
                if source is server and limit is not None:
                    data = data[: limit - sent]
                peer.sendall(data)
                if source is server:
                    sent += len(data)
                if limit is not None and sent >= limit:
                    self.server.log("dropped after %d" % sent)
                    return


class DroppingProxy(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, log_path, drop_after):
        super().__init__(("127.0.0.1", port), Handler)
        self.log_path = log_path
        self.drop_after = drop_after
        self.seen = set()
        self.lock = threading.Lock()

    def open_tunnel(self, target):
        """Logs the tunnel; the byte limit of its server side, or None."""
        host, port = target
        self.log("CONNECT %s:%d" % (host, port))
        with self.lock:
            first = target not in self.seen
            self.seen.add(target)
        return self.drop_after if first else None

    def log(self, line):
        with self.lock, open(self.log_path, "a") as f:
            f.write(line + "\n")


def start(port, log_path, drop_after):
    """The proxy serving in a daemon thread (call shutdown())."""
    proxy = DroppingProxy(port, log_path, drop_after)
    threading.Thread(target=proxy.serve_forever, daemon=True).start()
    return proxy
