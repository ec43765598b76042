"""marrowby.exe on a virtual Wine desktop of the current X display, with
row_probe.exe beside it on the same desktop to read its rows, tooltips and
menus, and xdotool for the pointer. Used by the tests and tools that look at
the running program from outside."""

import os
import re
import shutil
import subprocess
import time

import servers
from desktop import settings_record, wait_for, xdotool

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# MW_WINE_RUN names another runner (cmake/wine32-run for the 32-bit programs).
WINE_RUN = os.environ.get("MW_WINE_RUN") or os.path.join(ROOT, "cmake", "wine-run")


class Desktop:
    """marrowby.exe on a virtual desktop of its own, and the probe beside it."""

    def __init__(self, bin_dir, work, name, size="900x600"):
        self.bin = bin_dir
        self.work = work
        self.name = name
        self.size = size
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
                [WINE_RUN, "explorer", "/desktop=%s,%s" % (self.name, self.size), exe],
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
