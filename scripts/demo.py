#!/usr/bin/env python3
"""Shows marrowby at work on a machine without a display.

    scripts/demo.py [--size BYTES] [--timeout SECONDS] [--https]
                    [--bin DIR] [--wine-run RUNNER] [--work DIR] [--screenshot PNG]

Serves a sample file from a local HTTP server (127.0.0.1, a free port; with
--https over TLS with a test authority made for the run and trusted in the
run's prefix), writes a settings file with automatic start on and a list
file holding the sample's URL into a fresh program folder (WORK/marrowby),
runs marrowby.exe (of the win64 build unless --bin names another) under Wine
on a private Xvfb display until the download is complete, takes a screenshot
(build/screenshots/marrowby-run.png), closes the program through its main
window and prints the list file it saved. The tests run the shipped 32-bit
programs this way with --wine-run cmake/wine32-run.

Wine runs in a prefix of its own (WORK/wineprefix, WORK being build/run-demo
unless --work names another, kept between runs) whose default desktop is a
virtual one, so the window is drawn with its frame and every Wine process of
the run can be stopped without touching other users of the project's prefix.
Everything started here is stopped on the way out, also on failure or a
signal. Exit status 0 on success, 77 when the runner says Wine is not there.
"""

import argparse
import functools
import http.server
import os
import shutil
import struct
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import servers  # noqa: E402
import test_certs  # noqa: E402

SKIPPED = 77
SAMPLE = "marrowby-sample.bin"
SCREEN = (800, 520)

SETTINGS_SIZE = 2320


class DemoError(Exception):
    pass


class DemoSkipped(Exception):
    pass


def log(message):
    print("demo: " + message, flush=True)


def windows_path(path, folder=False):
    """A Unix path as Wine's Z: drive shows it; folders end in a backslash."""
    text = servers.windows_path(path)
    return text + "\\" if folder and not text.endswith("\\") else text


def text_field(text, size):
    """A NUL-terminated Shift-JIS text in a field of a fixed size."""
    data = text.encode("cp932")
    if len(data) >= size:
        raise DemoError("path too long for the settings file: " + text)
    return data + b"\0" * (size - len(data))


def settings_record(program_folder, download_folder):
    """The 2,320-byte settings file: two downloads at once, automatic start."""
    record = b"VORN" + struct.pack(
        "<iiiiIii",
        10,     # reserved
        2,      # downloads at once
        1,      # automatic start
        0,      # completed items stay in the list
        60000,  # idle time-out, ms
        0,      # reserved
        0)      # no proxy
    record += text_field("", 1153)   # proxy address
    record += text_field("", 49)     # default user
    record += text_field("", 49)     # default password
    record += text_field(download_folder, 264)
    record += text_field(program_folder + "default.wrg", 773)
    assert len(record) == SETTINGS_SIZE
    return record


def list_text(url, store_in):
    lines = ["; Created by scripts/demo.py", ";", "RefererStr=", "StoreIn=" + store_in,
             "_RemoteFileSize=-1", "_State=0", "Url=" + url]
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    log_file = None

    def log_message(self, format, *args):  # noqa: A002 (base class name)
        if self.log_file:
            self.log_file.write("%s %s\n" % (self.log_date_time_string(), format % args))
            self.log_file.flush()


class Demo:
    def __init__(self, args):
        self.args = args
        work = os.path.abspath(args.work)
        self.bin = os.path.abspath(args.bin)
        self.wine_run = args.wine_run
        self.program = os.path.join(work, "marrowby")
        self.downloads = os.path.join(self.program, "downloads")
        self.www = os.path.join(work, "www")
        self.prefix = os.path.join(work, "wineprefix")
        self.logs = os.path.join(work, "logs")
        self.screenshot_path = os.path.abspath(args.screenshot)
        self.server_log = None
        self.display = None
        self.marrowby = None
        self.wine_env = None
        self.trust_root = None

    # --- the pieces, each undone by stop(); the server and Xvfb are in
    # servers.py's lists of what servers.stop_all() ends ---

    def start_server(self):
        os.makedirs(self.www, exist_ok=True)
        # The scripted servers' pattern, so the download can be compared
        # byte for byte.
        servers.write_pattern_file(os.path.join(self.www, SAMPLE), self.args.size)
        self.server_log = open(os.path.join(self.logs, "http.log"), "w")
        QuietHandler.log_file = self.server_log
        handler = functools.partial(QuietHandler, directory=self.www)
        # Port 0: the system picks a free port, bound at once (no race).
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        server.daemon_threads = True
        scheme = "http"
        if self.args.https:
            certs = os.path.join(self.logs, "certs")
            os.makedirs(certs)
            test_certs.make_all(certs)
            server.socket = servers.tls_context(certs, "localhost").wrap_socket(server.socket, server_side=True)
            self.trust_root = os.path.join(certs, "ca.der")
            scheme = "https"
        threading.Thread(target=server.serve_forever, daemon=True).start()
        servers.scripted.append(server)
        port = server.server_address[1]
        # The certificate is for the name localhost.
        url = "%s://%s:%d/%s" % (scheme, "localhost" if self.args.https else "127.0.0.1", port, SAMPLE)
        log("serving %s (%d bytes)" % (url, self.args.size))
        return url

    def start_xvfb(self):
        """A private X server; it reports the free display number it took."""
        read_end, write_end = os.pipe()
        servers.spawn(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                       "-screen", "0", "%dx%dx24" % SCREEN],
                      os.path.join(self.logs, "xvfb.log"), pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as reader:
            number = reader.readline()
        if not number.strip().isdigit():
            raise DemoError("Xvfb did not start; see " + os.path.join(self.logs, "xvfb.log"))
        self.display = ":" + number.strip().decode()
        log("Xvfb display " + self.display)

    def prepare_wine(self):
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=self.display)
        env.pop("MW_GUI", None)
        self.wine_env = env
        first_timeout = 120
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            # cmake/wine-run makes it, with the symbol font Marlett that
            # draws the caption buttons; slow under emulation.
            log("creating the Wine prefix " + self.prefix + " (first run only)")
            first_timeout = 600
        # The default desktop becomes a virtual desktop of the screen's size:
        # windows get their frames drawn, and wm_close finds the main window
        # on the same desktop.
        size = "%dx%d" % SCREEN
        for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", size)):
            if self.wine(["reg", "add", key, "/v", name, "/d", value, "/f"], timeout=first_timeout) == SKIPPED:
                with open(os.path.join(self.logs, "wine.log")) as wlog:
                    raise DemoSkipped(wlog.read().strip())
        if self.trust_root is not None:
            helper = os.path.join(self.bin, "trust_test_root.exe")
            if self.wine([helper, windows_path(self.trust_root)], timeout=120) != 0:
                raise DemoError("trust_test_root could not make the test authority trusted")

    def spawn_wine(self, argv):
        """Starts one Wine program in the program folder, output to wine.log."""
        with open(os.path.join(self.logs, "wine.log"), "a") as wlog:
            return subprocess.Popen([self.wine_run] + argv, cwd=self.program, env=self.wine_env,
                                    stdin=subprocess.DEVNULL, stdout=wlog, stderr=wlog)

    def wine(self, argv, timeout):
        """Runs one Wine program to its end; returns its exit code."""
        proc = self.spawn_wine(argv)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise DemoError("wine %s did not finish in %d s" % (argv[0], timeout))

    def start_marrowby(self):
        self.marrowby = self.spawn_wine([os.path.join(self.program, "marrowby.exe")])
        log("marrowby started (automatic start on)")

    def wait_for_download(self, path, size):
        deadline = time.time() + self.args.timeout
        reported = -1
        while time.time() < deadline:
            if self.marrowby.poll() is not None:
                raise DemoError("marrowby ended early with exit code %d" % self.marrowby.returncode)
            have = os.path.getsize(path) if os.path.exists(path) else 0
            quarter = have * 4 // size  # progress in steps of a quarter
            if quarter != reported:
                log("downloaded %d of %d bytes" % (have, size))
                reported = quarter
            if have == size:
                return
            time.sleep(0.2)
        raise DemoError("the download did not complete within %d s" % self.args.timeout)

    def screenshot(self):
        os.makedirs(os.path.dirname(self.screenshot_path), exist_ok=True)
        result = subprocess.run(["import", "-display", self.display, "-window", "root", self.screenshot_path],
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        if result.returncode != 0 or not os.path.exists(self.screenshot_path):
            raise DemoError("import failed: " + result.stderr.decode(errors="replace"))

    def close_marrowby(self):
        code = self.wine([os.path.join(self.bin, "wm_close.exe")], timeout=60)
        if code != 0:
            raise DemoError("wm_close found no marrowby window (exit code %d)" % code)
        try:
            code = self.marrowby.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise DemoError("marrowby did not close within 60 s")
        if code != 0:
            raise DemoError("marrowby exited with code %d" % code)
        log("marrowby closed")

    def stop(self):
        """Stops whatever is still running; safe to call at any point."""
        if self.wine_env is not None:
            # The prefix is the demo's own: every Wine process in it is ours.
            subprocess.run([self.wine_run, "wineserver", "-k"], env=self.wine_env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        if self.marrowby is not None and self.marrowby.poll() is None:
            self.marrowby.kill()
        if self.marrowby is not None:
            self.marrowby.wait()
        servers.stop_all()
        if self.server_log is not None:
            self.server_log.close()
            self.server_log = None

    # --- the run ---

    def run(self):
        for exe in ("marrowby.exe", "wm_close.exe") + (("trust_test_root.exe",) if self.args.https else ()):
            if not os.path.exists(os.path.join(self.bin, exe)):
                raise DemoError("%s is missing from %s; build it first" % (exe, self.bin))
        # Fresh program and server folders; the Wine prefix is kept.
        for folder in (self.program, self.www, self.logs):
            shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(self.downloads)
        os.makedirs(self.logs)
        shutil.copy2(os.path.join(self.bin, "marrowby.exe"), self.program)

        url = self.start_server()
        store_in = windows_path(self.downloads, folder=True)
        with open(os.path.join(self.program, "vorn.cfg"), "wb") as f:
            f.write(settings_record(windows_path(self.program, folder=True), store_in))
        with open(os.path.join(self.program, "default.wrg"), "wb") as f:
            f.write(list_text(url, store_in))
        log("program folder " + self.program)

        self.start_xvfb()
        self.prepare_wine()
        self.start_marrowby()
        target = os.path.join(self.downloads, SAMPLE)
        self.wait_for_download(target, self.args.size)
        with open(target, "rb") as got, open(os.path.join(self.www, SAMPLE), "rb") as sent:
            if got.read() != sent.read():
                raise DemoError("the downloaded file differs from the one served")
        log("download complete, identical to the served file")
        # The file is whole; let the window show the item as finished.
        time.sleep(2)
        self.screenshot()
        self.close_marrowby()

        with open(os.path.join(self.program, "default.wrg"), "rb") as f:
            saved = f.read().decode("cp932", errors="replace").replace("\r\n", "\n")
        print("\n--- %s ---" % os.path.relpath(os.path.join(self.program, "default.wrg"), ROOT))
        print(saved, end="" if saved.endswith("\n") else "\n")
        print("---\n")
        log("screenshot: " + self.screenshot_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=6 << 20, help="sample file size in bytes")
    parser.add_argument("--timeout", type=int, default=180, help="seconds to wait for the download")
    parser.add_argument("--https", action="store_true", help="serve the sample over TLS")
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "win64", "bin"),
                        help="folder of marrowby.exe and wm_close.exe")
    parser.add_argument("--wine-run", default=os.path.join(ROOT, "cmake", "wine-run"),
                        help="the Wine runner (cmake/wine32-run for the 32-bit programs)")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "run-demo"),
                        help="folder of the program, the served files, the prefix and the logs")
    parser.add_argument("--screenshot", default=os.path.join(ROOT, "build", "screenshots", "marrowby-run.png"))
    args = parser.parse_args()
    if args.size <= 0:
        parser.error("--size must be positive")
    servers.exit_on_signals()

    demo = Demo(args)
    try:
        demo.run()
        return 0
    except DemoSkipped as reason:
        sys.stderr.write("demo: %s\n" % reason)
        return SKIPPED
    except DemoError as error:
        sys.stderr.write("demo: %s (logs in %s)\n" % (error, demo.logs))
        return 1
    finally:
        demo.stop()


if __name__ == "__main__":
    sys.exit(main())
