#!/usr/bin/env python3
"""marrowby.exe used from start to end from outside, with the keyboard and
the close boxes.

    keyboard_e2e.py --bin DIR --work DIR --screenshots DIR

Starts marrowby.exe (of the --bin folder) in a fresh program folder on a virtual Wine
desktop of the current X display and drives it with xdotool only: the
options sheet turns automatic start on, Alt+N opens the new-download sheet,
the URL of a file on a local scripted server is typed and Enter confirms it;
the download must arrive byte for byte. Then the properties, default
properties and options sheets and the updater's failure message are opened
and photographed, Ctrl+S saves; Esc and the close box close the about box
and cancel a sheet, and the main window's close box ends the program, which
saves the list: it must hold the one download. Screenshots go to the
screenshots folder (keyboard-*.png).

Exit status 0 passed, 1 failed, 77 skipped (no display, xdotool or import).
Everything started here is stopped on the way out, also on failure.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import scripted_server  # noqa: E402
import servers  # noqa: E402
from desktop import Failure, visible_window, wait_for, xdotool  # noqa: E402

# MW_WINE_RUN names another runner (cmake/wine32-run for the 32-bit programs).
WINE_RUN = os.environ.get("MW_WINE_RUN") or os.path.join(ROOT, "cmake", "wine-run")
SAMPLE_SIZE = 300000
DESKTOP_SIZE = "800x600"

# Window captions (string table texts and Wine's message box caption).
NEW_OR_PROPERTIES = "ダウンロードのプロパティ"
ABOUT = "Marrowbyについて"
DEFAULTS = "標準のダウンロードプロパティ"
OPTIONS = "プログラムオプション"
MESSAGE_BOX = "エラー"
SETTINGS_SIZE = 2320
AUTO_START_OFFSET = 12


def log(text):
    print("keyboard_e2e: " + text, flush=True)


class Run:
    def __init__(self, args):
        self.args = args
        self.name = "marrowby-keys-%d" % os.getpid()
        self.program = os.path.join(args.work, "program")
        self.explorer = None
        self.desktop = None
        self.env = dict(os.environ)
        self.env.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        self.env.pop("MW_GUI", None)
        self.shots = []

    # --- pieces ---

    def start_server(self):
        folder = os.path.join(self.args.work, "server")
        os.makedirs(folder)
        port = servers.free_port()
        servers.scripted.append(scripted_server.start(port, folder))
        return "http://127.0.0.1:%d/keys/sample.bin?size=%d" % (port, SAMPLE_SIZE)

    def start_marrowby(self):
        exe = servers.windows_path(os.path.join(self.program, "marrowby.exe"))
        with open(os.path.join(self.args.work, "wine.log"), "w") as wine_log:
            self.explorer = subprocess.Popen(
                [WINE_RUN, "explorer", "/desktop=%s,%s" % (self.name, DESKTOP_SIZE), exe],
                cwd=self.program, env=self.env, stdin=subprocess.DEVNULL,
                stdout=wine_log, stderr=wine_log)
        self.desktop = wait_for("the virtual desktop", lambda: (xdotool(
            "search", "--name", "^" + re.escape(self.name) + " - ") or [None])[0], 60)
        geometry = wait_for("the main window", self.main_window_geometry, 30)
        # Activate the main window with a click on its title bar; keys then
        # go to the desktop under the pointer and on to that window.
        x, y, width = geometry
        xdotool("mousemove", "--window", self.desktop, str(x + width // 2), str(y + 8))
        xdotool("click", "1")
        time.sleep(0.5)

    def main_window_geometry(self):
        tree = subprocess.run(["xwininfo", "-tree", "-id", self.desktop], capture_output=True,
                              text=True, timeout=30).stdout
        match = re.search(r'"Marrowby": \(.*\)\s+(\d+)x\d+\+(-?\d+)\+(-?\d+)', tree)
        return match and (int(match.group(2)), int(match.group(3)), int(match.group(1)))

    def keys(self, *keys):
        for key in keys:
            xdotool("key", key)
            time.sleep(0.3)

    def shoot(self, name):
        time.sleep(0.6)  # let the window finish drawing
        os.makedirs(self.args.screenshots, exist_ok=True)
        path = os.path.join(self.args.screenshots, "keyboard-%s.png" % name)
        subprocess.run(["import", "-window", self.desktop, path], check=True, timeout=60,
                       capture_output=True)
        self.shots.append(path)

    def open_window(self, keys, caption, shot):
        # A busy machine may swallow the first try (a menu not yet open):
        # Escape closes whatever half-opened, and the keys go again.
        for attempt in range(3):
            self.keys(*keys)
            try:
                wait_for(caption, lambda: visible_window(caption), 10)
                break
            except Failure:
                if attempt == 2:
                    raise
                self.keys("Escape", "Escape")
        self.shoot(shot)

    def close_window(self, key, caption):
        self.keys(key)
        wait_for(caption + " to close", lambda: not visible_window(caption))

    def click_close_box(self, caption):
        """Clicks the close box at the right end of the window's title bar."""
        window = wait_for(caption, lambda: visible_window(caption))
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True,
                              timeout=30).stdout
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        width = int(re.search(r"Width:\s+(\d+)", info).group(1))
        xdotool("mousemove", str(x + width - 12), str(y + 11))
        xdotool("click", "1")
        wait_for(caption + " to close", lambda: not visible_window(caption))

    # --- the run ---

    def run(self):
        shutil.rmtree(self.args.work, ignore_errors=True)
        os.makedirs(self.program)
        shutil.copy2(os.path.join(self.args.bin, "marrowby.exe"), self.program)
        url = self.start_server()
        self.start_marrowby()
        self.shoot("main-empty")

        # Automatic start on: Tab to the check box, Space, Enter for OK.
        self.open_window(["alt+o", "i"], OPTIONS, "options")
        self.keys("Tab", "Tab", "space", "Return")
        wait_for("the options sheet to close", lambda: not visible_window(OPTIONS))

        self.open_window(["alt+n"], NEW_OR_PROPERTIES, "new-download")
        xdotool("type", "--delay", "15", url)  # replaces the selected "http://"
        self.shoot("new-download-filled")
        self.close_window("Return", NEW_OR_PROPERTIES)
        target = os.path.join(self.program, "sample.bin")
        expected = scripted_server.pattern(0, SAMPLE_SIZE)

        def arrived():
            return os.path.exists(target) and os.path.getsize(target) == SAMPLE_SIZE
        wait_for("the download", arrived, 30)
        with open(target, "rb") as f:
            if f.read() != expected:
                raise Failure("sample.bin differs from what the server sent")
        log("download complete, byte for byte")

        self.open_window(["ctrl+a", "alt+Return"], NEW_OR_PROPERTIES, "properties")
        self.close_window("Escape", NEW_OR_PROPERTIES)
        self.open_window(["alt+o", "w"], DEFAULTS, "default-properties")
        self.keys("ctrl+Tab")
        self.shoot("default-properties-proxy")
        self.close_window("Escape", DEFAULTS)
        self.open_window(["alt+h", "u"], MESSAGE_BOX, "update-failed")
        self.close_window("Return", MESSAGE_BOX)
        # Esc and the close box: the about box closes, a sheet is cancelled.
        self.open_window(["alt+h", "a"], ABOUT, "about")
        self.close_window("Escape", ABOUT)
        self.open_window(["alt+h", "a"], ABOUT, "about")
        self.click_close_box(ABOUT)
        self.open_window(["alt+n"], NEW_OR_PROPERTIES, "new-download-again")
        xdotool("type", "--delay", "15", url + "&cancelled=1")
        self.click_close_box(NEW_OR_PROPERTIES)
        self.shoot("main-with-download")

        list_path = os.path.join(self.program, "default.wrg")
        settings_path = os.path.join(self.program, "vorn.cfg")
        self.keys("ctrl+s")
        wait_for("the saved list", lambda: os.path.exists(list_path)
                 and ("Url=" + url) in open(list_path, encoding="cp932").read())
        with open(settings_path, "rb") as f:
            settings = f.read()
        if len(settings) <= SETTINGS_SIZE or struct.unpack_from("<i", settings,
                                                                AUTO_START_OFFSET)[0] != 1:
            raise Failure("vorn.cfg does not hold automatic start")

        # The main window's close box exits and saves, as Alt+F4 and Exit do.
        self.click_close_box("Marrowby")
        try:
            self.explorer.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("marrowby did not close on its close box")
        saved = open(list_path, encoding="cp932").read()
        # No default folder: the file went to the working folder, and the list
        # names it without a folder.
        record = "StoreIn=\n_RemoteFileSize=%d\n_State=1\n_RealFileName=sample.bin\nUrl=%s\n" % (
            SAMPLE_SIZE, url)
        if record not in saved.replace("\r\n", "\n") or saved.count("Url=") != 1:
            raise Failure("the list saved at exit is not the one download:\n" + saved)
        log("saved list holds the download; screenshots: " + ", ".join(self.shots))

    def stop(self):
        if self.explorer is not None and self.explorer.poll() is None:
            self.close_leftovers()
        servers.stop_all()

    def close_leftovers(self):
        """Closes marrowby through its window, then ends what is left of the
        processes started for this run (found by this run's program path)."""
        close = os.path.join(self.args.bin, "wm_close.exe")
        subprocess.run([WINE_RUN, "explorer", "/desktop=" + self.name,
                        servers.windows_path(close)], env=self.env, cwd=self.program,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshots", required=True)
    args = parser.parse_args()
    missing = [tool for tool in ("xdotool", "import", "xwininfo") if not shutil.which(tool)]
    if not os.environ.get("DISPLAY") or missing:
        log("skipped: needs a display and " + ", ".join(missing or ["DISPLAY"]))
        return 77
    servers.exit_on_signals()
    run = Run(args)
    try:
        run.run()
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as error:
        sys.stderr.write("keyboard_e2e: FAILED: %s (logs in %s)\n" % (error, args.work))
        return 1
    finally:
        run.stop()


if __name__ == "__main__":
    sys.exit(main())
