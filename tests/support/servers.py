#!/usr/bin/env python3
"""Starts the test servers on 127.0.0.1, runs a command, stops the servers.

    servers.py --work DIR [--nginx-file-mb N] [--no-nginx] [--no-proxy]
               [--tls-helper TRUST_EXE] [--ipv6] [--sparse SIZE]... -- COMMAND...

Usable as a CTest wrapper. It picks free ports and starts two scripted
servers (scripted_server.py), nginx serving DIR/www (with big.bin of N MB)
and tinyproxy, all with their files inside DIR. The command sees:

  MW_HTTP_PORT, MW_HTTP_PORT2   the scripted servers
  MW_NGINX_PORT                 nginx
  MW_PROXY_PORT                 tinyproxy (log: DIR/tinyproxy.log)
  MW_SERVER_DIR, MW_SERVER_DIR_WIN   DIR, as a Unix path and as Z:\\... for
                                Windows programs under Wine; recorded
                                requests are in DIR/requests

With --tls-helper (tests/support/trust_test_root.exe) the run also makes its
certificates (test_certs.py, in DIR/certs), makes the test authority a
trusted root of the Wine prefix with that helper, and starts:

  MW_HTTPS_PORT        a scripted server over TLS (certificate for
                       localhost), plain HTTP on the same port as well
  MW_HTTPS_SLOW_PORT   the same, TLS 1.2 only, each handshake held back a
                       second and sent in small pieces
  MW_NGINX_TLS_PORT    nginx over TLS, the same files as MW_NGINX_PORT
  MW_NGINX_UNTRUSTED_PORT, MW_NGINX_EXPIRED_PORT, MW_NGINX_WRONGNAME_PORT
                       nginx with a certificate of an untrusted authority,
                       an expired one and one for another name
  MW_HTTPS_RENEGOTIATE_PORT   openssl s_server (TLS 1.2), which asks for a
                       new handshake after each request before it answers
                       "renegotiation survived" (RENEGOTIATE_BODY)
  MW_PROXY_AUTH_PORT   tinyproxy demanding the login u/p (log:
                       DIR/tinyproxy-auth.log); both proxies allow CONNECT
                       to MW_NGINX_TLS_PORT and MW_HTTPS_PORT only

nginx logs every request to DIR/nginx-access.log as one line:
client address, "request line", "Range header", status, body bytes sent.

With --sparse SIZE (repeatable) nginx also serves www/sparse-SIZE.bin, a
sparse file of SIZE bytes that holds zeros except for pattern bytes (byte i
is i % 251) in the 64 KiB around every 256 MiB boundary and in its last
MiB (sparse_blocks); the files are deleted on the way out.

With --ipv6, when this machine has the IPv6 loopback, the command also sees
MW_IPV6=1 and:

  nginx                also listening on [::1] at MW_NGINX_PORT
  MW_NGINX6_PORT       nginx, the same files, on [::1] only
  MW_PROXY6_PORT       tinyproxy listening on [::1] only (log:
                       DIR/tinyproxy6.log); CONNECT as for MW_PROXY_PORT
  MW_DUAL_HOST         a name that resolves to ::1 first and 127.0.0.1
                       second (through libnss_wrapper preloaded into the
                       command, with the hosts file DIR/hosts): the scripted
                       servers listen on 127.0.0.1 only, so at
                       MW_HTTP_PORT its first address refuses, and at
                       MW_HTTP_PORT2 its first address does not answer (a
                       listener on [::1] whose backlog is full)
  MW_DUAL_HOST_V4FIRST a name that resolves to 127.0.0.1 first and ::1
                       second: at MW_NGINX6_PORT its first address refuses

Without the IPv6 loopback MW_IPV6 is not set and the IPv6 tests skip.

The exit status is the command's. Every server is stopped on the way out,
also on failure or a signal; the servers are also bound to die with this
process (parent-death signal), so none is ever left running.
"""

import argparse
import atexit
import ctypes
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import scripted_server  # noqa: E402
import test_certs  # noqa: E402

PR_SET_PDEATHSIG = 1
CHUNK = 1 << 20

children = []
scripted = []


def die_with_parent():
    """Runs in each child before exec: SIGKILL it when this launcher dies."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    except OSError:
        pass


def find_program(name):
    """The program's path; /usr/sbin is searched even when not on PATH."""
    return shutil.which(name) or shutil.which(name, path="/usr/sbin:/usr/local/sbin")


def ipv6_loopback():
    """True when a socket can be bound to ::1."""
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def free_port(ipv6=False):
    """A port free on 127.0.0.1 (and on ::1 as well with ipv6)."""
    for _ in range(50):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        if not ipv6:
            return port
        try:
            with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
                s.bind(("::1", port))
            return port
        except OSError:
            continue
    raise OSError("no port free on both 127.0.0.1 and ::1")


def wait_accepting(port, seconds=10.0, host="127.0.0.1"):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with socket.create_connection((host, port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def spawn(argv, log_path, **popen_args):
    """Starts a server process with its output appended to log_path; it is
    stopped by stop_all()."""
    with open(log_path, "ab") as log:
        proc = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, preexec_fn=die_with_parent,
                                **popen_args)
    children.append(proc)
    return proc


def write_pattern_file(path, size):
    """size bytes of the scripted servers' pattern; an existing file of that
    size is kept."""
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    block = scripted_server.pattern(0, CHUNK + 251)
    with open(path, "wb") as f:
        for offset in range(0, size, CHUNK):
            start = offset % 251
            f.write(block[start : start + min(CHUNK, size - offset)])


SPARSE_STEP = 256 << 20
SPARSE_AROUND = 32 << 10
SPARSE_TAIL = 1 << 20


def sparse_blocks(size):
    """(offset, length) of the pattern bytes of a sparse file of size bytes:
    the 64 KiB around every 256 MiB boundary inside it and the last MiB."""
    blocks = []
    for boundary in range(SPARSE_STEP, size, SPARSE_STEP):
        start = boundary - SPARSE_AROUND
        blocks.append((start, min(boundary + SPARSE_AROUND, size) - start))
    blocks.append((max(0, size - SPARSE_TAIL), min(size, SPARSE_TAIL)))
    return blocks


def write_sparse_file(path, size):
    """A file of size bytes that takes only its pattern blocks on disk."""
    with open(path, "wb") as f:
        f.truncate(size)
        for offset, length in sparse_blocks(size):
            f.seek(offset)
            f.write(scripted_server.pattern(offset, length))


def nginx_tls_server(port, certs, name):
    """A server block over TLS with the certificate NAME of certs."""
    return ("  server {\n    listen 127.0.0.1:%(port)d ssl;\n    server_name localhost;\n"
            "    ssl_certificate %(certs)s/%(name)s.pem;\n"
            "    ssl_certificate_key %(certs)s/%(name)s.key;\n"
            "    ssl_protocols TLSv1.2 TLSv1.3;\n    root %%(work)s/www;\n  }\n"
            % {"port": port, "certs": certs, "name": name})


def start_nginx(work, port, tls_servers=(), port6=None):
    """nginx serving work/www on port; with port6 also on [::1] at port and
    on [::1] alone at port6; tls_servers: (port, certs folder, certificate
    name) of further listeners over TLS."""
    extra = "".join(nginx_tls_server(*server) for server in tls_servers)
    listen6 = ""
    if port6:
        listen6 = "    listen [::1]:%d;\n" % port
        extra += "  server {\n    listen [::1]:%d;\n    root %%(work)s/www;\n  }\n" % port6
    for sub in ("www", "nginx-temp"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    temp = os.path.join(work, "nginx-temp")
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write((
            "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            "pid %(work)s/nginx.pid;\nerror_log %(work)s/nginx-error.log warn;\n"
            "events { worker_connections 64; }\n"
            "http {\n  log_format ranged '$remote_addr \"$request\" \"$http_range\" $status $body_bytes_sent';\n"
            "  access_log %(work)s/nginx-access.log ranged;\n  sendfile on;\n"
            "  default_type application/octet-stream;\n"
            "  client_body_temp_path %(temp)s/body;\n  proxy_temp_path %(temp)s/proxy;\n"
            "  fastcgi_temp_path %(temp)s/fastcgi;\n  uwsgi_temp_path %(temp)s/uwsgi;\n"
            "  scgi_temp_path %(temp)s/scgi;\n"
            "  server {\n    listen 127.0.0.1:%(port)d;\n%(listen6)s    root %(work)s/www;\n  }\n"
            + extra + "}\n") % {"work": work, "temp": temp, "port": port, "listen6": listen6})
    spawn([find_program("nginx"), "-p", work + "/", "-e", os.path.join(work, "nginx-error.log"),
           "-c", conf], os.path.join(work, "nginx.out"))


def start_tinyproxy(work, port, name="tinyproxy", connect_ports=(), login=None, address="127.0.0.1"):
    """tinyproxy on address and port with its files work/NAME.*;
    connect_ports: the only ports CONNECT may reach (none: any); login:
    (user, password) it demands."""
    conf = os.path.join(work, name + ".conf")
    log = os.path.join(work, name + ".log")
    if os.path.exists(log):
        os.remove(log)
    with open(conf, "w") as f:
        f.write('Port %d\nListen %s\nTimeout 60\nMaxClients 32\nAllow %s\n'
                'LogFile "%s"\nLogLevel Info\nPidFile "%s"\n'
                % (port, address, address, log, os.path.join(work, name + ".pid")))
        for connect_port in connect_ports:
            f.write("ConnectPort %d\n" % connect_port)
        if login:
            f.write("BasicAuth %s %s\n" % login)
    spawn([find_program("tinyproxy"), "-d", "-c", conf], os.path.join(work, name + ".out"))


def trust_test_ca(certs, helper, env=None):
    """Makes the test authority a trusted root of the Wine prefix (env's
    WINEPREFIX) with the helper program, run by the Wine runner MW_WINE_RUN
    names (cmake/wine-run unless set); False when that failed."""
    runner = (env or os.environ).get("MW_WINE_RUN") or os.path.join(ROOT, "cmake", "wine-run")
    der = windows_path(os.path.join(certs, "ca.der"))
    # Output to a file, not a pipe: Wine's services started on the way
    # inherit it and would keep a pipe open long after the helper ended.
    with tempfile.TemporaryFile() as output:
        done = subprocess.run([runner, helper, der], env=env,
                              stdin=subprocess.DEVNULL, stdout=output, stderr=output, timeout=120)
        if done.returncode != 0:
            output.seek(0)
            sys.stderr.write("servers.py: %s failed: %s\n" % (helper, output.read().decode("latin-1")))
    return done.returncode == 0


def tls_context(certs, name, tls12_only=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certs, name + ".pem"), os.path.join(certs, name + ".key"))
    if tls12_only:
        context.maximum_version = ssl.TLSVersion.TLSv1_2
    return context


RENEGOTIATE_BODY = b"renegotiation survived\r\n"


def start_renegotiating_server(work, certs, port):
    """openssl s_server on port: after the empty line that ends a request it
    sends a HelloRequest ("r"), then the answer, then closes the connection
    with close_notify ("q"); one connection at a time."""
    argv = ["openssl", "s_server", "-accept", "127.0.0.1:%d" % port, "-tls1_2", "-crlf",
            "-cert", os.path.join(certs, "localhost.pem"), "-key", os.path.join(certs, "localhost.key")]
    proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, preexec_fn=die_with_parent, cwd=work)
    children.append(proc)
    # -crlf turns each line end written into CRLF.
    answer = b"HTTP/1.0 200 OK\nContent-Length: %d\n\n%s" % (len(RENEGOTIATE_BODY),
                                                              RENEGOTIATE_BODY.replace(b"\r\n", b"\n"))

    def serve():
        in_request = False
        for line in proc.stdout:
            if line.startswith(b"GET "):
                in_request = True
            elif in_request and line.strip() == b"":
                in_request = False
                try:
                    for step, pause in ((b"r\n", 0.3), (answer, 0.3), (b"q\n", 0.0)):
                        proc.stdin.write(step)
                        proc.stdin.flush()
                        time.sleep(pause)
                except OSError:
                    return

    threading.Thread(target=serve, daemon=True).start()


def start_tls_servers(work, ports):
    """The certificates, the scripted TLS servers and their ports (into
    ports); returns the certificates' folder and nginx's TLS listeners."""
    certs = test_certs.make_all(os.path.join(work, "certs"))
    ports["MW_HTTPS_PORT"] = free_port()
    scripted.append(scripted_server.start_tls(ports["MW_HTTPS_PORT"], work,
                                              tls_context(certs, "localhost")))
    ports["MW_HTTPS_SLOW_PORT"] = free_port()
    scripted.append(scripted_server.start_tls(ports["MW_HTTPS_SLOW_PORT"], work,
                                              tls_context(certs, "localhost", tls12_only=True),
                                              handshake_delay=1.0, handshake_piece=40))
    ports["MW_HTTPS_RENEGOTIATE_PORT"] = free_port()
    start_renegotiating_server(work, certs, ports["MW_HTTPS_RENEGOTIATE_PORT"])
    listeners = []
    for name, cert in (("MW_NGINX_TLS_PORT", "localhost"), ("MW_NGINX_UNTRUSTED_PORT", "untrusted"),
                       ("MW_NGINX_EXPIRED_PORT", "expired"), ("MW_NGINX_WRONGNAME_PORT", "wrongname")):
        ports[name] = free_port()
        listeners.append((ports[name], certs, cert))
    return certs, listeners


DUAL_HOST = "mw-dual.test"
DUAL_HOST_V4FIRST = "mw-dual-v4first.test"
held_sockets = []


def find_nss_wrapper():
    for folder in ("/usr/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib", "/usr/local/lib"):
        path = os.path.join(folder, "libnss_wrapper.so")
        if os.path.exists(path):
            return path
    return None


def silent_listener(port):
    """A listener on [::1]:port whose backlog is kept full, so that a new
    connect to it gets no answer at all."""
    listener = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    listener.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
    listener.bind(("::1", port))
    listener.listen(0)
    held_sockets.append(listener)
    for _ in range(8):
        client = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
        client.settimeout(0.3)
        held_sockets.append(client)
        try:
            client.connect(("::1", port))
        except OSError:
            return  # this one was not answered: the backlog is full


def setup_dual_host(work, env, ports):
    """MW_DUAL_HOST for the command: ::1 first, then 127.0.0.1."""
    wrapper = find_nss_wrapper()
    if not wrapper:
        sys.stderr.write("servers.py: libnss_wrapper.so not found, MW_DUAL_HOST not set\n")
        return
    hosts = os.path.join(work, "hosts")
    with open(hosts, "w") as f:
        f.write("::1 %s\n127.0.0.1 %s\n" % (DUAL_HOST, DUAL_HOST))
        f.write("127.0.0.1 %s\n::1 %s\n" % (DUAL_HOST_V4FIRST, DUAL_HOST_V4FIRST))
    silent_listener(ports["MW_HTTP_PORT2"])
    env["LD_PRELOAD"] = (wrapper + " " + env.get("LD_PRELOAD", "")).strip()
    env["NSS_WRAPPER_HOSTS"] = hosts
    env["MW_DUAL_HOST"] = DUAL_HOST
    env["MW_DUAL_HOST_V4FIRST"] = DUAL_HOST_V4FIRST


def stop_all():
    for server in scripted:
        try:
            server.shutdown()
            server.server_close()
        except OSError:
            pass
    scripted.clear()
    for sock in held_sockets:
        sock.close()
    held_sockets.clear()
    for proc in children:
        if proc.poll() is None:
            proc.terminate()
    for proc in children:
        try:
            proc.wait(timeout=3)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    children.clear()


def on_signal(signum, _frame):
    raise SystemExit(128 + signum)


def exit_on_signals():
    """SIGTERM, SIGINT and SIGHUP end the script through SystemExit, so its
    finally blocks and atexit handlers stop what it started."""
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, on_signal)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--nginx-file-mb", type=int, default=8)
    parser.add_argument("--no-nginx", action="store_true")
    parser.add_argument("--no-proxy", action="store_true")
    parser.add_argument("--tls-helper")
    parser.add_argument("--ipv6", action="store_true")
    parser.add_argument("--sparse", type=int, action="append", default=[])
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")

    atexit.register(stop_all)
    exit_on_signals()

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    shutil.rmtree(os.path.join(work, "requests"), ignore_errors=True)
    env = dict(os.environ)
    env["MW_SERVER_DIR"] = work
    env["MW_SERVER_DIR_WIN"] = windows_path(work)
    ports = {}
    sparse_files = [os.path.join(work, "www", "sparse-%d.bin" % size) for size in args.sparse]
    ipv6 = args.ipv6 and ipv6_loopback()
    if args.ipv6 and not ipv6:
        sys.stderr.write("servers.py: this machine has no IPv6 loopback (::1); IPv6 tests will skip\n")
    try:
        for name in ("MW_HTTP_PORT", "MW_HTTP_PORT2"):
            ports[name] = free_port(ipv6)
            scripted.append(scripted_server.start(ports[name], work))
        # A peer that is not installed is left out; tests needing it skip.
        if not args.no_nginx and not find_program("nginx"):
            sys.stderr.write("servers.py: nginx not found, not started\n")
            args.no_nginx = True
        if not args.no_proxy and not find_program("tinyproxy"):
            sys.stderr.write("servers.py: tinyproxy not found, not started\n")
            args.no_proxy = True
        nginx_tls = []
        tunnel_ports = ()
        if args.tls_helper:
            certs, nginx_tls = start_tls_servers(work, ports)
            if args.no_nginx:
                nginx_tls = []
                for name in ("MW_NGINX_TLS_PORT", "MW_NGINX_UNTRUSTED_PORT", "MW_NGINX_EXPIRED_PORT",
                             "MW_NGINX_WRONGNAME_PORT"):
                    del ports[name]
            tunnel_ports = [ports[name] for name in ("MW_NGINX_TLS_PORT", "MW_HTTPS_PORT") if name in ports]
            if not trust_test_ca(certs, args.tls_helper):
                return 1
        if not args.no_nginx:
            ports["MW_NGINX_PORT"] = free_port(ipv6)
            os.makedirs(os.path.join(work, "www"), exist_ok=True)
            write_pattern_file(os.path.join(work, "www", "big.bin"),
                               args.nginx_file_mb << 20)
            for size, path in zip(args.sparse, sparse_files):
                write_sparse_file(path, size)
            port6 = None
            if ipv6:
                port6 = free_port(ipv6)
                env["MW_NGINX6_PORT"] = str(port6)
            start_nginx(work, ports["MW_NGINX_PORT"], nginx_tls, port6)
            if port6 and not wait_accepting(port6, host="::1"):
                sys.stderr.write("servers.py: nginx on [::1]:%d did not start\n" % port6)
                return 1
        if not args.no_proxy:
            ports["MW_PROXY_PORT"] = free_port()
            start_tinyproxy(work, ports["MW_PROXY_PORT"], connect_ports=tunnel_ports)
            if args.tls_helper:
                ports["MW_PROXY_AUTH_PORT"] = free_port()
                start_tinyproxy(work, ports["MW_PROXY_AUTH_PORT"], "tinyproxy-auth",
                                tunnel_ports, ("u", "p"))
        proxy6 = None
        if ipv6 and not args.no_proxy:
            proxy6 = free_port(ipv6)
            start_tinyproxy(work, proxy6, "tinyproxy6", tunnel_ports, address="::1")
            if not wait_accepting(proxy6, host="::1"):
                sys.stderr.write("servers.py: tinyproxy on [::1]:%d did not start\n" % proxy6)
                return 1
            env["MW_PROXY6_PORT"] = str(proxy6)
        if ipv6:
            env["MW_IPV6"] = "1"
            setup_dual_host(work, env, ports)
        for name, port in ports.items():
            if not wait_accepting(port):
                sys.stderr.write("servers.py: %s (port %d) did not start; see %s\n"
                                 % (name, port, work))
                return 1
            env[name] = str(port)
        proc = subprocess.Popen(command, env=env, preexec_fn=die_with_parent)
        children.append(proc)
        return proc.wait()
    finally:
        stop_all()
        for path in sparse_files:
            if os.path.exists(path):
                os.remove(path)


if __name__ == "__main__":
    sys.exit(main())
