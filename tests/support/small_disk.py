#!/usr/bin/env python3
"""Runs a command with a small disk of its own as a drive of the Wine prefix.

    small_disk.py --mount DIR --size MIB -- COMMAND...

Usable as a CTest wrapper (in front of servers.py). It mounts a tmpfs of
MIB MiB at DIR and links a free drive letter of the prefix (WINEPREFIX, else
the project's build/wineprefix, as cmake/wine-run) to it, then runs the
command with

  MW_SMALL_DISK       the drive's root, as "R:\\"
  MW_SMALL_DISK_DIR   DIR, as a Unix path

and on the way out (also on SIGTERM, SIGINT, SIGHUP) removes the link and
unmounts the disk. Where mounting is not permitted (not root, no
CAP_SYS_ADMIN, no tmpfs) the command runs without those variables, and the
tests that need the disk skip.
"""

import argparse
import atexit
import os
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LETTERS = "rstuvwxy"


def on_signal(signum, _frame):
    raise SystemExit(128 + signum)


def prefix_folder():
    return os.environ.get("WINEPREFIX") or os.path.join(ROOT, "build", "wineprefix")


def mount(folder, size_mib):
    os.makedirs(folder, exist_ok=True)
    if os.path.ismount(folder):
        subprocess.run(["umount", folder], stderr=subprocess.DEVNULL)
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm,mode=0777" % size_mib, "tmpfs", folder],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.stderr.write("small_disk.py: cannot mount a tmpfs (%s); the tests that need it skip\n"
                         % done.stderr.decode("latin-1").strip())
        return False
    return True


def unmount(folder):
    if not os.path.ismount(folder):
        return
    if subprocess.run(["umount", folder], stderr=subprocess.DEVNULL).returncode != 0:
        # A process that still holds a file there: detach now, free later.
        subprocess.run(["umount", "-l", folder], stderr=subprocess.DEVNULL)


def link_drive(folder):
    """A free letter of the prefix's dosdevices linked to folder; None when
    every candidate is taken."""
    devices = os.path.join(prefix_folder(), "dosdevices")
    if not os.path.isdir(devices):
        return None
    for name in os.listdir(devices):  # left by a run that was killed
        link = os.path.join(devices, name)
        if os.path.islink(link) and os.readlink(link) == folder:
            os.remove(link)
    for letter in LETTERS:
        link = os.path.join(devices, letter + ":")
        try:
            os.symlink(folder, link)
            return link
        except FileExistsError:
            continue  # taken, maybe by another run beside this one
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mount", required=True)
    parser.add_argument("--size", type=int, required=True, help="MiB")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, on_signal)

    folder = os.path.abspath(args.mount)
    env = dict(os.environ)
    link = None
    if mount(folder, args.size):
        atexit.register(unmount, folder)
        link = link_drive(folder)
        if link:
            atexit.register(os.remove, link)
            env["MW_SMALL_DISK"] = os.path.basename(link).upper() + "\\"
            env["MW_SMALL_DISK_DIR"] = folder
        else:
            sys.stderr.write("small_disk.py: no free drive letter in %s\n" % prefix_folder())
    proc = subprocess.Popen(command, env=env)
    try:
        return proc.wait()
    finally:
        if proc.poll() is None:
            proc.terminate()
            proc.wait()


if __name__ == "__main__":
    sys.exit(main())
