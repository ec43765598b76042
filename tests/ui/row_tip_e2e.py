#!/usr/bin/env python3
"""The failed row's tooltip of marrowby.exe, with the real pointer.

    row_tip_e2e.py --bin DIR --work DIR --screenshots DIR

Starts marrowby.exe (of the --bin folder) on a virtual Wine desktop of the
current X display with automatic start on and two rows: a download that the
scripted server answers with 404, and a finished one. Once the first has
failed, xdotool rests the pointer on the finished row (no tooltip may come),
then on the failed row: a tooltip of marrowby's must appear below the
pointer with exactly the text of the row's status column, and go when the
pointer leaves the window; a quick right click on the row opens its menu
with no tooltip over it. row_probe.exe (on the same desktop) reads the
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

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import scripted_server  # noqa: E402
import servers  # noqa: E402
from desktop import Failure, wait_for, xdotool  # noqa: E402
from program_desktop import Desktop  # noqa: E402

DESKTOP_SIZE = "900x600"
FAILED_ROW, FINISHED_ROW = 0, 1


def log(text):
    print("row_tip_e2e: " + text, flush=True)


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

    # A right click as people make it, without resting first: the menu opens
    # where the pointer is, and no tooltip may come up over the menu once the
    # hover time has passed.
    xdotool("mousemove", "--window", desktop.desktop, str(failed_x), str(failed_y + 2), "click", "3")
    if not desktop.probe("menu", "5000").startswith("menu"):
        raise Failure("no context menu on the failed row")
    answer = desktop.probe("tip", "2000")
    xdotool("key", "Escape")
    if answer != "none\n":
        raise Failure("a tooltip over the open context menu: %r" % answer)


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
    desktop = Desktop(args.bin, args.work, "marrowby-tip-%d" % os.getpid(), DESKTOP_SIZE)
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
