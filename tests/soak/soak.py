#!/usr/bin/env python3
"""Soak run of marrowby.exe: a long list, many real downloads, figures.

    soak.py [--items 1000] [--downloads 200] [--parallel 20] [--waves 2]
            [--bin DIR] [--work DIR] [--figures-only]

Starts the win64 marrowby.exe on a virtual Wine desktop of the current X
display with a list of --items entries: all but --downloads of them are
finished or paused downloads that stay as they are. The --downloads real
downloads are added while the program runs, in --waves waves, each wave in
the three ways a person adds them: a URL list imported through the file menu
and its file dialog, links dropped on the window by OLE drag and drop from
another program (soak_probe.exe), and the new-download sheet typed into with
xdotool. Automatic start is on and --parallel downloads run at a time.

The downloads come from nginx and the scripted server: plain files of many
sizes, 404s and cut-off bodies (which must fail), redirect chains and
redirects to nginx, and slow bodies. At the end every added row must show
the right state, every finished file must be byte for byte what was served,
and the list file saved at exit must hold every entry as expected.

While it runs, soak_probe.exe samples the process (handles, threads, working
set) and this script its Linux side (resident and anonymous memory, file
descriptors); the samples taken when each wave has finished, with no
download running, are compared: handles and threads must not grow, memory
only by what the added list entries need. With --figures-only (the short run
of the test suite) the growth is printed but not judged.

Exit status 0 passed, 1 failed, 77 skipped (no display, xdotool or nginx).
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
from desktop import Failure, settings_record, visible_window, wait_for, xdotool  # noqa: E402

WINE_RUN = os.path.join(ROOT, "cmake", "wine-run")
NEW_DOWNLOAD = "ダウンロードのプロパティ"
ENTRY_KB = 4        # what a list entry costs (DownloadItem and row), measured
ALLOWED_KB = 32     # an added entry may take; a download that left its job
                    # behind would leave 64 KB or more
ICON_WAITING, ICON_COMPLETED, ICON_PAUSED, ICON_STARTED, ICON_RECEIVING, ICON_FAILED = range(6)
# The fields of a soak_probe watch line.
SAMPLE_FIELDS = ("ms", "handles", "threads", "workers", "workingset", "pagefile", "rows")
ROWS = SAMPLE_FIELDS.index("rows")
ICONS = len(SAMPLE_FIELDS)


def log(text):
    print("soak: " + text, flush=True)


class Download:
    """One added download and what it must come to."""

    def __init__(self, url, name, size, completes, partial=0):
        self.url = url
        self.name = name          # saved file name ("" when none is saved)
        self.size = size          # bytes of the finished file
        self.completes = completes
        self.partial = partial    # bytes left by a failed one


def plan_downloads(count, scripted, nginx, www):
    """count downloads of ten kinds in turn; nginx's files are written."""
    downloads = []
    for i in range(count):
        kind = i % 10
        if kind < 5:
            size = (1 << (8 + (i * 7) % 13)) + i  # 257 B to 1 MB
            name = "n%03d.bin" % i
            servers.write_pattern_file(os.path.join(www, name), size)
            url = "%s/%s" % (nginx, name)
            if kind == 4:  # the scripted server redirects there
                url = "%s/soak%d/r.bin?status=302&loc=%s" % (scripted, i, url)
            downloads.append(Download(url, name, size, True))
        elif kind == 5:
            downloads.append(Download("%s/soak%d/missing%d.bin?status=404" % (scripted, i, i),
                                      "", 0, False))
        elif kind == 6:
            downloads.append(Download("%s/soak%d/cut%d.bin?size=300000&cut=100000&slow=20"
                                      % (scripted, i, i), "cut%d.bin" % i, 300000, False, 100000))
        elif kind == 7:
            downloads.append(Download("%s/soak%d/hop%d.bin?size=50000&hops=2&slow=20"
                                      % (scripted, i, i), "hop%d.bin" % i, 50000, True))
        else:
            downloads.append(Download("%s/soak%d/slow%d.bin?size=200000&slow=50" % (scripted, i, i),
                                      "slow%d.bin" % i, 200000, True))
    return downloads


def idle_records(count, store_in):
    """The entries that stay as they are: finished and paused ones."""
    lines = ["; Created by soak.py"]
    for i in range(count):
        state = 1 if i % 2 == 0 else 2
        lines += [";", "RefererStr=", "StoreIn=" + store_in, "_RemoteFileSize=%d" % (1000 + i),
                  "_State=%d" % state, "Url=http://127.0.0.1:9/idle/i%04d.bin" % i]
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def read_list(path):
    """The records of a list file: dicts of key -> value, in order."""
    records, current = [], {}
    with open(path, encoding="cp932") as f:
        for line in f.read().split("\n"):
            key, sep, value = line.rstrip("\r").partition("=")
            if not sep:
                continue
            current[key] = value
            if key == "Url":
                records.append(current)
                current = {}
    return records


def process_figures(pid):
    """Linux's view of the wine process: resident and anonymous KB, fds, threads."""
    figures = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "RssAnon", "Threads"):
                    figures[key] = int(value.split()[0])
        figures["fds"] = len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        pass
    return figures


class Soak:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.program = os.path.join(self.work, "program")
        self.downloads_dir = os.path.join(self.program, "downloads")
        self.name = "marrowby-soak-%d" % os.getpid()
        self.env = dict(os.environ)
        self.env.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        self.env.pop("MW_GUI", None)
        self.explorer = None
        self.watch_file = os.path.join(self.work, "watch.txt")
        self.idle = args.items - args.downloads
        self.samples = []
        self.wine_pid = None

    # --- Windows-side helpers on the soak's desktop ---

    def on_desktop(self, exe, *args):
        """Starts a program on the soak's desktop; explorer returns at once."""
        with open(os.path.join(self.work, "wine.log"), "a") as wine_log:
            return subprocess.Popen([WINE_RUN, "explorer", "/desktop=" + self.name, exe] + list(args),
                                    cwd=self.program, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=wine_log, stderr=wine_log)

    def probe(self, *args):
        self.on_desktop(servers.windows_path(os.path.join(self.args.bin, "soak_probe.exe")), *args)

    def probe_result(self, command, *args, timeout=120):
        out = os.path.join(self.work, "%s-%d.txt" % (command, time.time() * 1000))
        self.probe(command, *(list(args) + [servers.windows_path(out)]))
        wait_for("soak_probe " + command, lambda: os.path.exists(out), timeout)
        with open(out, "rb") as f:
            return f.read().decode("cp932", errors="replace")

    def watch_lines(self):
        if not os.path.exists(self.watch_file):
            return []
        with open(self.watch_file) as f:
            lines = [line.split() for line in f if line.endswith("\n")]
        return [[int(v) for v in line] for line in lines if len(line) == ICONS + 6]

    # --- the run ---

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.downloads_dir)
        shutil.copy2(os.path.join(self.args.bin, "marrowby.exe"), self.program)
        www = os.path.join(self.work, "www")
        os.makedirs(www)
        port = servers.free_port()
        servers.scripted.append(scripted_server.start(port, os.path.join(self.work, "server")))
        nginx_port = servers.free_port()
        servers.start_nginx(self.work, nginx_port)
        if not servers.wait_accepting(nginx_port):
            raise Failure("nginx did not start")
        self.planned = plan_downloads(self.args.downloads, "http://127.0.0.1:%d" % port,
                                      "http://127.0.0.1:%d" % nginx_port, www)
        store_in = servers.windows_path(self.downloads_dir) + "\\"
        list_path = servers.windows_path(os.path.join(self.program, "default.wrg"))
        with open(os.path.join(self.program, "vorn.cfg"), "wb") as f:
            f.write(settings_record(list_path, store_in, self.args.parallel))
        with open(os.path.join(self.program, "default.wrg"), "wb") as f:
            f.write(idle_records(self.idle, store_in))

    def start_marrowby(self):
        exe = servers.windows_path(os.path.join(self.program, "marrowby.exe"))
        with open(os.path.join(self.work, "wine.log"), "a") as wine_log:
            self.explorer = subprocess.Popen(
                [WINE_RUN, "explorer", "/desktop=%s,1024x700" % self.name, exe], cwd=self.program,
                env=self.env, stdin=subprocess.DEVNULL, stdout=wine_log, stderr=wine_log)
        desktop = wait_for("the virtual desktop", lambda: (xdotool(
            "search", "--name", "^" + re.escape(self.name) + " - ") or [None])[0], 60)
        main = wait_for("the main window", lambda: visible_window("Marrowby"), 60)
        self.wine_pid = self.find_wine_pid()
        info = subprocess.run(["xwininfo", "-id", main], capture_output=True, text=True).stdout
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        xdotool("mousemove", str(x + 200), str(y + 8))
        xdotool("click", "1")
        time.sleep(0.5)
        self.probe("watch", servers.windows_path(self.watch_file), "250", str(self.idle))
        wait_for("the first sample", lambda: self.watch_lines(), 30)
        self.desktop = desktop

    def find_wine_pid(self):
        marker = servers.windows_path(os.path.join(self.program, "marrowby.exe")).lower()
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        line = f.read().decode(errors="replace").lower()
                except OSError:
                    continue
                if marker in line and "explorer" not in line:
                    return int(pid)
        return None

    def keys(self, *keys):
        for key in keys:
            xdotool("key", key)
            time.sleep(0.25)

    def added_rows(self):
        lines = self.watch_lines()
        return lines[-1][ROWS] - self.idle if lines else 0

    def import_list(self, downloads, wave):
        path = os.path.join(self.work, "wave%d.lst" % wave)
        with open(path, "wb") as f:
            f.write("".join(d.url + "\r\n" for d in downloads).encode("cp932"))
        before = self.added_rows()
        for attempt in range(3):
            self.keys("alt+f", "Down", "Down", "Return")
            try:
                wait_for("the import dialog", self.file_dialog, 10)
                break
            except Failure:
                if attempt == 2:
                    raise
                self.keys("Escape", "Escape")
        time.sleep(0.5)
        xdotool("type", "--delay", "10", servers.windows_path(path))
        self.keys("Return")
        wait_for("the dialog to close", lambda: not self.file_dialog(), 20)
        wait_for("the imported rows", lambda: self.added_rows() >= before + len(downloads), 60)

    def file_dialog(self):
        for caption in ("開く", "ファイルを開く", "Open"):
            window = visible_window(caption)
            if window:
                return window
        return None

    def drop(self, downloads, wave):
        path = os.path.join(self.work, "drop%d.txt" % wave)
        with open(path, "w") as f:
            f.write("".join(d.url + "\n" for d in downloads))
        before = self.added_rows()
        result = self.probe_result("drop", servers.windows_path(path))
        if result.strip() != "dropped %d failed 0" % len(downloads):
            raise Failure("drops: " + result.strip())
        wait_for("the dropped rows", lambda: self.added_rows() >= before + len(downloads), 30)

    def type_into_sheet(self, downloads):
        for d in downloads:
            before = self.added_rows()
            for attempt in range(3):
                self.keys("alt+n")
                try:
                    wait_for("the new-download sheet", lambda: visible_window(NEW_DOWNLOAD), 10)
                    break
                except Failure:
                    if attempt == 2:
                        raise
                    self.keys("Escape", "Escape")
            xdotool("type", "--delay", "5", d.url)  # replaces the selected "http://"
            self.keys("Return")
            wait_for("the sheet to close", lambda: not visible_window(NEW_DOWNLOAD), 20)
            wait_for("the typed row", lambda: self.added_rows() >= before + 1, 20)

    def wave_done(self, added):
        lines = self.watch_lines()
        if not lines:
            return False
        last = lines[-1]
        icons = last[ICONS:]
        return (last[ROWS] - self.idle == added and icons[ICON_WAITING] == 0 and
                icons[ICON_STARTED] == 0 and icons[ICON_RECEIVING] == 0)

    def run_wave(self, wave, downloads, added_before):
        start = time.time()
        first_line = len(self.watch_lines())
        n = len(downloads)
        n_import = max(1, n * 65 // 100)
        n_sheet = max(1, n // 20)
        self.import_list(downloads[:n_import], wave)
        self.drop(downloads[n_import:n - n_sheet], wave)
        self.type_into_sheet(downloads[n - n_sheet:])
        try:
            # Downloads that stop receiving time out after 30 s: a wave that
            # takes far longer has one stuck.
            wait_for("wave %d to finish" % wave, lambda: self.wave_done(added_before + n), 180)
        except Failure as failure:
            rows = self.probe_result("rows", str(self.idle)).splitlines()
            stuck = [row for row in rows if row.split("\t")[0] not in ("1", "5")]
            raise Failure("%s; rows still waiting or running:\n  %s" % (failure, "\n  ".join(stuck)))
        time.sleep(2.5)  # the workers of the last jobs end, a sample follows
        lines = self.watch_lines()
        during = lines[first_line:]
        sample = dict(zip(SAMPLE_FIELDS, lines[-1]))
        sample.update(process_figures(self.wine_pid) if self.wine_pid else {})
        sample["workers_max"] = max(l[SAMPLE_FIELDS.index("workers")] for l in during)
        sample["handles_max"] = max(l[SAMPLE_FIELDS.index("handles")] for l in during)
        sample["threads_max"] = max(l[SAMPLE_FIELDS.index("threads")] for l in during)
        sample["seconds"] = time.time() - start
        sample["added"] = n
        self.samples.append(sample)
        log("wave %d: %d downloads (%d imported, %d dropped, %d typed) in %.1f s, at most %d "
            "running at once (download threads)" % (wave, n, n_import, n - n_import - n_sheet,
                                                    n_sheet, sample["seconds"], sample["workers_max"]))
        if sample["workers_max"] > self.args.parallel:  # never: a pass starts no more
            raise Failure("more than %d downloads ran at once" % self.args.parallel)

    def check_rows(self):
        text = self.probe_result("rows", str(self.idle))
        rows = [line.split("\t") for line in text.splitlines()]
        by_url = {row[6]: row for row in rows if len(row) == 7}
        if len(rows) != len(self.planned):
            raise Failure("%d added rows, %d expected" % (len(rows), len(self.planned)))
        wrong = []
        for d in self.planned:
            row = by_url.get(d.url)
            icon = ICON_COMPLETED if d.completes else ICON_FAILED
            if not row or int(row[0]) != icon or (d.completes and (row[1] != d.name or
                                                                   row[3] != str(d.size))):
                wrong.append("%s: %s" % (d.url, row))
        if wrong:
            raise Failure("rows in the wrong state:\n  " + "\n  ".join(wrong[:10]))
        log("every added row shows its state: %d completed, %d failed" % (
            sum(d.completes for d in self.planned), sum(not d.completes for d in self.planned)))

    def check_files(self):
        bad = []
        for d in self.planned:
            if not d.name:
                continue
            path = os.path.join(self.downloads_dir, d.name)
            want = scripted_server.pattern(0, d.size if d.completes else d.partial)
            with open(path, "rb") as f:
                if f.read() != want:
                    bad.append(d.name)
        if bad:
            raise Failure("files differ from what was served: " + ", ".join(bad[:10]))
        log("every saved file is byte for byte what was served")

    def close_and_check_list(self):
        if self.wine_pid and not os.path.exists("/proc/%d" % self.wine_pid):
            raise Failure("marrowby ended before it was asked to close")
        self.on_desktop(servers.windows_path(os.path.join(self.args.bin, "wm_close.exe")))
        try:
            self.explorer.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("marrowby did not close")
        records = read_list(os.path.join(self.program, "default.wrg"))
        if len(records) != self.args.items:
            raise Failure("saved list: %d entries, %d expected" % (len(records), self.args.items))
        store_in = servers.windows_path(self.downloads_dir) + "\\"
        for i, record in enumerate(records[: self.idle]):
            if (record["Url"] != "http://127.0.0.1:9/idle/i%04d.bin" % i or
                    record["_State"] != ("1" if i % 2 == 0 else "2")):
                raise Failure("saved list: idle entry %d changed: %s" % (i, record))
        by_url = {record["Url"]: record for record in records[self.idle:]}
        for d in self.planned:
            record = by_url.get(d.url)
            real = record and record.get("_RealFileName")
            expected_real = store_in + d.name if d.name else None
            if (not record or record["_State"] != ("1" if d.completes else "0") or
                    real != expected_real or
                    (d.completes and record["_RemoteFileSize"] != str(d.size))):
                raise Failure("saved list: %s: %s" % (d.url, record))
        log("the saved list holds all %d entries as expected" % len(records))

    def report(self):
        log("samples when each wave had finished (no download running):")
        keys = ("handles", "threads", "workers", "workingset", "VmRSS", "RssAnon", "fds",
                "handles_max", "threads_max", "workers_max")
        print("  %-8s %s" % ("wave", " ".join("%12s" % k for k in keys)))
        for i, s in enumerate(self.samples):
            print("  %-8d %s" % (i + 1, " ".join("%12s" % s.get(k, "-") for k in keys)))
        if len(self.samples) < 2:
            return True
        first, last = self.samples[0], self.samples[-1]
        added = sum(s["added"] for s in self.samples[1:])
        grown_kb = last.get("RssAnon", 0) - first.get("RssAnon", 0)
        allowed_kb = added * ALLOWED_KB
        # Wine's file dialog leaves one registry key (ComDlg32\LastVisitedMRU)
        # open for each file chosen in it: one handle per wave's import.
        verdicts = [
            ("handles", last["handles"] - first["handles"], len(self.samples) + 4),
            ("threads", last["threads"] - first["threads"], 0),
            ("file descriptors", last.get("fds", 0) - first.get("fds", 0), 5),
        ]
        ok = True
        for name, growth, allowed in verdicts:
            good = growth <= allowed
            ok &= good
            log("%s from the first wave to the last: %+d (%s)" % (name, growth,
                                                                 "ok" if good else "GROWTH"))
        good = grown_kb <= allowed_kb
        ok &= good
        log("anonymous memory from the first wave to the last: %+d KB for %d more entries, "
            "%.1f KB each (an idle entry takes about %d KB; %s)" % (
                grown_kb, added, grown_kb / max(added, 1), ENTRY_KB, "ok" if good else "GROWTH"))
        return ok or self.args.figures_only

    def run(self):
        self.prepare()
        self.start_marrowby()
        base = process_figures(self.wine_pid) if self.wine_pid else {}
        log("started with %d entries; %s" % (self.idle, base))
        per_wave = len(self.planned) // self.args.waves
        added = 0
        for wave in range(self.args.waves):
            chunk = self.planned[wave * per_wave:(wave + 1) * per_wave
                                 if wave + 1 < self.args.waves else len(self.planned)]
            self.run_wave(wave + 1, chunk, added)
            added += len(chunk)
        self.check_rows()
        self.check_files()
        self.close_and_check_list()
        if not self.report():
            raise Failure("handles, threads or memory grew")

    def stop(self):
        if os.path.isdir(self.work):
            open(self.watch_file + ".stop", "w").close()
        if self.explorer is not None and self.explorer.poll() is None:
            self.on_desktop(servers.windows_path(os.path.join(self.args.bin, "wm_close.exe")))
            try:
                self.explorer.wait(timeout=30)
            except subprocess.TimeoutExpired:
                if self.wine_pid:
                    try:
                        os.kill(self.wine_pid, 9)
                    except OSError:
                        pass
                self.explorer.kill()
                self.explorer.wait()
        servers.stop_all()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--items", type=int, default=1000)
    parser.add_argument("--downloads", type=int, default=200)
    parser.add_argument("--parallel", type=int, default=20)
    parser.add_argument("--waves", type=int, default=2)
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "win64", "bin"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "soak"))
    parser.add_argument("--figures-only", action="store_true",
                        help="print the growth of handles and memory without judging it")
    args = parser.parse_args()
    if args.downloads > args.items or args.downloads < 3 * args.waves or args.waves < 1:
        parser.error("needs --items >= --downloads >= 3 * --waves")
    missing = [tool for tool in ("xdotool", "xwininfo") if not shutil.which(tool)]
    if not os.environ.get("DISPLAY") or missing or not servers.find_program("nginx"):
        log("skipped: needs a display, xdotool, xwininfo and nginx")
        return 77
    servers.exit_on_signals()
    soak = Soak(args)
    try:
        soak.run()
        log("passed")
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as error:
        sys.stderr.write("soak: FAILED: %s (logs in %s)\n" % (error, args.work))
        return 1
    finally:
        soak.stop()


if __name__ == "__main__":
    sys.exit(main())
