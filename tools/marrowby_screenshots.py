#!/usr/bin/env python3
"""Screenshots of marrowby.exe's list: the status columns, a failed row's
tooltip and the rows' context menu.

    tools/marrowby_screenshots.py [--bin DIR] [--out DIR] [--copy-to DIR]

Starts a private Xvfb, the scripted test server (127.0.0.1) and the win64
marrowby.exe (of --bin, default build/win64/bin, as built; builds nothing)
on a virtual Wine desktop, with automatic start on and a list of finished,
paused, running (slow) and failing (404, refused) downloads. The main window
is sized so that every column shows. Writes into --out (default
build/screenshots):

  list-columns.png    the rows a few seconds in: state, progress, speed and
                      time left of each
  list-row-tip.png    the pointer resting on the 404 row, its tooltip shown
  list-row-menu.png   the context menu of a finished row (right click)

and copies them to --copy-to when given. Not part of the test suite: it
judges nothing beyond finding the windows it photographs. Everything it
starts is stopped on the way out.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import scripted_server  # noqa: E402
import servers  # noqa: E402
from desktop import Failure, wait_for, xdotool  # noqa: E402
from program_desktop import Desktop  # noqa: E402

DESKTOP_SIZE = "1200x420"
WINDOW_SIZE = ("1190", "400")
FINISHED_ROW, FAILED_ROW = 0, 4


def log(text):
    print("marrowby_screenshots: " + text, flush=True)


def start_xvfb():
    for n in range(160, 200):
        if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
            xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-nolisten", "tcp", "-screen", "0",
                                     "1280x1024x24"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            os.environ["DISPLAY"] = ":%d" % n
            wait_for("Xvfb", lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0)
            return xvfb
    raise Failure("no free X display number")


def records(base, store_in):
    """A finished, a paused, two slow running and two failing downloads."""
    return [
        [("_RemoteFileSize", "5120"), ("_State", "1"), ("_RealFileName", store_in + "readme.txt"),
         ("Url", base + "shot1/readme.txt?size=5120")],
        [("_RemoteFileSize", "90000"), ("_State", "2"), ("_RealFileName", store_in + "album.zip"),
         ("Url", base + "shot2/album.zip?size=90000")],
        [("_RemoteFileSize", "-1"), ("_State", "0"), ("Url", base + "shot3/movie.mpg?size=8000000&slow=50")],
        [("_RemoteFileSize", "-1"), ("_State", "0"), ("Url", base + "shot4/setup.exe?size=3000000&slow=100")],
        [("_RemoteFileSize", "-1"), ("_State", "0"), ("Url", base + "shot5/missing.lzh?status=404")],
        [("_RemoteFileSize", "-1"), ("_State", "0"), ("Url", "http://127.0.0.1:1/driver.lzh")],
    ]


def run(args, desktop):
    port = servers.free_port()
    servers.scripted.append(scripted_server.start(port, os.path.join(args.work, "server")))
    downloads = os.path.join(desktop.program, "downloads")
    desktop.prepare(records("http://127.0.0.1:%d/" % port, servers.windows_path(downloads) + "\\"))
    # The finished file whole, the paused one's first 31,000 bytes.
    for name, size in (("readme.txt", 5120), ("album.zip", 31000)):
        with open(os.path.join(downloads, name), "wb") as f:
            f.write(scripted_server.pattern(0, size))
    desktop.start()
    desktop.probe("size", *WINDOW_SIZE)

    def failed():
        found = desktop.rows()
        return found if len(found) == 6 and "404" in found[FAILED_ROW][2] else None
    rows = wait_for("the 404 row to fail", failed, 60)
    time.sleep(5)  # the running rows' speed settles
    xdotool("mousemove", "--window", desktop.desktop, "1190", "410")
    shots = [desktop.shoot(args.out, "list-columns")]

    x, y, status = rows[FAILED_ROW]
    desktop.point_at(x, y)
    if not desktop.probe("tip", "5000").startswith("tip "):
        raise Failure("no tooltip over the failed row")
    shots.append(desktop.shoot(args.out, "list-row-tip"))
    log("tooltip over %r" % status)

    x, y, _ = rows[FINISHED_ROW]
    desktop.point_at(x, y)
    xdotool("click", "3")
    if not desktop.probe("menu", "5000").startswith("menu"):
        raise Failure("no context menu")
    shots.append(desktop.shoot(args.out, "list-row-menu"))
    xdotool("key", "Escape")
    return shots


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "win64", "bin"))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "screenshots"))
    parser.add_argument("--copy-to")
    args = parser.parse_args()
    args.work = os.path.join(ROOT, "build", "screenshots-work")
    missing = [tool for tool in ("Xvfb", "xdotool", "import", "xdpyinfo") if not shutil.which(tool)]
    if missing:
        log("needs " + ", ".join(missing))
        return 1
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    servers.exit_on_signals()
    xvfb = start_xvfb()
    desktop = Desktop(args.bin, args.work, "marrowby-shots-%d" % os.getpid(), DESKTOP_SIZE)
    try:
        shots = run(args, desktop)
        for shot in shots:
            log("wrote " + shot)
            if args.copy_to:
                os.makedirs(args.copy_to, exist_ok=True)
                shutil.copy2(shot, args.copy_to)
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as error:
        sys.stderr.write("marrowby_screenshots: FAILED: %s (logs in %s)\n" % (error, args.work))
        return 1
    finally:
        desktop.stop()
        servers.stop_all()
        xvfb.kill()
        xvfb.wait()


if __name__ == "__main__":
    sys.exit(main())
