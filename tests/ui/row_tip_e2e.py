#!/usr/bin/env python3
"""The failed row's tooltip of marrowby.exe, with the real pointer.

    row_tip_e2e.py --bin DIR --work DIR --screenshots DIR

Starts marrowby.exe (of the --bin folder) on a virtual Wine desktop of the
current X display with automatic start on and two rows: a download that the
scripted server answers with 404, and a finished one. Once the first has
failed, xdotool rests the pointer on the finished row (no tooltip may come),
then on the failed row: a tooltip of marrowby's must appear below the
pointer with exactly the text of the row's status column, and go when the
pointer leaves the window. row_probe.exe (on the same desktop) reads the
rows and the tooltip. The tooltip is photographed (row-tip.png).

Exit status 0 passed, 1 failed, 77 skipped (no display, xdotool or import).
Everything started here is stopped on the way out, also on failure.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import scripted_server  # noqa: E402
import servers  # noqa: E402
from desktop import Failure, settings_record, wait_for, xdotool  # noqa: E402

WINE_RUN = os.environ.get("MW_WINE_RUN") or os.path.join(ROOT, "cmake", "wine-run")
DESKTOP_SIZE = "900x600"
FAILED_ROW, FINISHED_ROW = 0, 1


def log(text):
    print("row_tip_e2e: " + text, flush=True)


class Desktop:
    """marrowby.exe on a virtual desktop of its own, and the probe beside it."""

    def __init__(self, bin_dir, work, name):
        self.bin = bin_dir
        self.work = work
        self.name = name
        self.program = os.path.join(work, "program")
        self.env = dict(os.environ)
        self.env.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        self.env.pop("MW_GUI", None)
        self.explorer = None
        self.desktop = None

    def prepare(self, records):
        """A fresh program folder: marrowby.exe, settings with automatic
        start and the list of records (key/value pairs, "Url" last)."""
        shutil.rmtree(self.program, ignore_errors=True)
        os.makedirs(os.path.join(self.program, "downloads"))
        shutil.copy2(os.path.join(self.bin, "marrowby.exe"), self.program)
        store_in = servers.windows_path(os.path.join(self.program, "downloads")) + "\\"
        list_path = os.path.join(self.program, "default.wrg")
        with open(os.path.join(self.program, "vorn.cfg"), "wb") as f:
            f.write(settings_record(servers.windows_path(list_path), store_in, 4))
        lines = ["; Created by row_tip_e2e"]
        for record in records:
            lines += [";", "RefererStr=", "StoreIn=" + store_in]
            lines += ["%s=%s" % pair for pair in record]
        with open(list_path, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))
        return store_in

    def start(self):
        exe = servers.windows_path(os.path.join(self.program, "marrowby.exe"))
        with open(os.path.join(self.work, "wine.log"), "a") as wine_log:
            self.explorer = subprocess.Popen(
                [WINE_RUN, "explorer", "/desktop=%s,%s" % (self.name, DESKTOP_SIZE), exe],
                cwd=self.program, env=self.env, stdin=subprocess.DEVNULL,
                stdout=wine_log, stderr=wine_log)
        self.desktop = wait_for("the virtual desktop", lambda: (xdotool(
            "search", "--name", "^" + re.escape(self.name) + " - ") or [None])[0], 60)

    def probe(self, *args, timeout=60):
        """row_probe.exe's answer (its OUTFILE), decoded."""
        out = os.path.join(self.work, "probe-%d.txt" % (time.time() * 1000))
        exe = servers.windows_path(os.path.join(self.bin, "row_probe.exe"))
        with open(os.path.join(self.work, "wine.log"), "a") as wine_log:
            subprocess.Popen([WINE_RUN, "explorer", "/desktop=" + self.name, exe] + list(args)
                             + [servers.windows_path(out)], cwd=self.program, env=self.env,
                             stdin=subprocess.DEVNULL, stdout=wine_log, stderr=wine_log)
        wait_for("row_probe " + args[0], lambda: os.path.exists(out), timeout)
        with open(out, "rb") as f:
            return f.read().decode("cp932")

    def rows(self):
        """Each row's (x, y, status text); x and y are -1 when not in view."""
        found = []
        for line in self.probe("rows").splitlines():
            index, x, y, status = line.split("\t")
            assert int(index) == len(found)
            found.append((int(x), int(y), status))
        return found

    def point_at(self, x, y):
        """Moves the pointer there (desktop coordinates) in two steps, so the
        window under it sees motion even if the pointer was already near."""
        xdotool("mousemove", "--window", self.desktop, str(x + 3), str(y + 1))
        time.sleep(0.2)
        xdotool("mousemove", "--window", self.desktop, str(x), str(y))

    def shoot(self, folder, name):
        time.sleep(0.3)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name + ".png")
        subprocess.run(["import", "-window", self.desktop, path], check=True, timeout=60,
                       capture_output=True)
        return path

    def stop(self):
        if self.explorer is None or self.explorer.poll() is not None:
            return
        close = servers.windows_path(os.path.join(self.bin, "wm_close.exe"))
        subprocess.run([WINE_RUN, "explorer", "/desktop=" + self.name, close], env=self.env,
                       cwd=self.program, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        try:
            self.explorer.wait(timeout=20)
            return
        except subprocess.TimeoutExpired:
            pass
        marker = servers.windows_path(self.program).lower()
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    line = f.read().decode(errors="replace").lower()
            except OSError:
                continue
            if marker in line:
                os.kill(int(pid), 9)
        self.explorer.kill()
        self.explorer.wait()


def tip_of(answer):
    """("text", (left, top, right, bottom)) of a probe's "tip" answer."""
    match = re.match(r"tip (.*)\nrect (-?\d+) (-?\d+) (-?\d+) (-?\d+)\n$", answer, re.S)
    if not match:
        return None, None
    return match.group(1), tuple(int(v) for v in match.group(2, 3, 4, 5))


def run(args, desktop):
    shutil.rmtree(args.work, ignore_errors=True)
    server = os.path.join(args.work, "server")
    os.makedirs(server)
    port = servers.free_port()
    servers.scripted.append(scripted_server.start(port, server))
    missing = "http://127.0.0.1:%d/tip/missing.bin?status=404" % port
    desktop.prepare([
        [("_RemoteFileSize", "-1"), ("_State", "0"), ("Url", missing)],
        [("_RemoteFileSize", "1000"), ("_State", "1"), ("_RealFileName", "done.bin"),
         ("Url", "http://127.0.0.1:%d/tip/done.bin" % port)],
    ])
    desktop.start()

    def failed():
        found = desktop.rows()
        return found if len(found) == 2 and "404 Not Found" in found[FAILED_ROW][2] else None
    rows = wait_for("the row to fail with 404", failed, 60)
    failed_x, failed_y, status = rows[FAILED_ROW]
    finished_x, finished_y, finished_status = rows[FINISHED_ROW]
    log("status column: %r and %r" % (status, finished_status))
    if min(failed_x, failed_y, finished_x, finished_y) < 0:
        raise Failure("the rows are not in view: %r" % rows)

    # A finished row has no reason: resting on it brings no tooltip.
    desktop.point_at(finished_x, finished_y)
    answer = desktop.probe("tip", "2500")
    if answer != "none\n":
        raise Failure("a tooltip over the finished row: %r" % answer)

    desktop.point_at(failed_x, failed_y)
    text, rect = tip_of(desktop.probe("tip", "5000"))
    if text != status:
        raise Failure("tooltip %r, status column %r" % (text, status))
    left, top, right, bottom = rect
    if not (left - 8 <= failed_x <= right and failed_y < top <= failed_y + 40 and bottom > top):
        raise Failure("the tooltip %r is not below the pointer at %d,%d" % (rect, failed_x, failed_y))
    log("tooltip %r at %r" % (text, rect))
    desktop.shoot(args.screenshots, "row-tip")

    # Out of the window (the desktop's far corner): the tooltip goes.
    width, height = (int(v) for v in DESKTOP_SIZE.split("x"))
    desktop.point_at(width - 10, height - 10)
    answer = desktop.probe("gone", "5000")
    if answer != "gone\n":
        raise Failure("the tooltip stayed after the pointer left: %r" % answer)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshots", required=True)
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    missing = [tool for tool in ("xdotool", "import") if not shutil.which(tool)]
    if not os.environ.get("DISPLAY") or missing:
        log("skipped: needs a display and " + ", ".join(missing or ["DISPLAY"]))
        return 77
    servers.exit_on_signals()
    desktop = Desktop(args.bin, args.work, "marrowby-tip-%d" % os.getpid())
    try:
        run(args, desktop)
        log("passed")
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as error:
        sys.stderr.write("row_tip_e2e: FAILED: %s (logs in %s)\n" % (error, args.work))
        return 1
    finally:
        desktop.stop()
        servers.stop_all()


if __name__ == "__main__":
    sys.exit(main())
