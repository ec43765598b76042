#!/usr/bin/env python3
"""Runs a command under the fault conditions of the fault tests, then undoes
them.

    fault_env.py --work DIR [--disk-kb N] -- COMMAND...

Usable as a CTest wrapper (in front of servers.py). It provides:

  MW_VICTIM_PORT     a scripted server in a process of its own that honours
                     die=N: it kills itself (SIGKILL) after N body bytes of a
                     request without a Range header. Whenever it has died it
                     is started again on the same port. Its requests are
                     recorded in DIR/requests.
  MW_VICTIM_DIR_WIN  DIR as Z:\... for the Windows programs
  MW_DROP_PROXY_PORT a CONNECT proxy (dropping_proxy.py) that drops the
                     first tunnel to each target after MW_DROP_PROXY_BYTES
                     bytes from the server; its log is DIR/tunnels.log
  MW_SMALL_DRIVE     a drive letter ("M:") of the Wine prefix mapped to a
                     tmpfs of N KB (default 512), empty at the start
  MW_READONLY_DRIVE  a drive letter mapped to a read-only tmpfs holding one
                     empty folder, "downloads"

Mounting needs root (or CAP_SYS_ADMIN). Without it the two drive variables
are not set, a line on stderr says so, and the tests that need them skip.
The exit status is the command's. On the way out, also on failure or a
signal, the victim is stopped, the drive letters removed and the tmpfs
unmounted.
"""

import argparse
import os
import shutil
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import dropping_proxy  # noqa: E402
import servers  # noqa: E402

DRIVE_LETTERS = "mnopqrstuvwxy"
DROP_AFTER = 600000


class Victim:
    """The scripted server that may kill itself, kept running."""

    def __init__(self, work, port):
        self.argv = [sys.executable, os.path.join(HERE, "scripted_server.py"), "--port", str(port),
                     "--dir", work, "--allow-die"]
        self.log = os.path.join(work, "victim.log")
        self.port = port
        self.stopping = threading.Event()
        self.proc = self.start()
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def start(self):
        return servers.spawn(self.argv, self.log)

    def watch(self):
        while not self.stopping.wait(0.05):
            if self.proc.poll() is not None:
                self.proc = self.start()

    def stop(self):
        self.stopping.set()
        self.thread.join()
        # servers.stop_all() ends every process spawn() started.


class Disks:
    """The small and the read-only tmpfs with their drive letters."""

    def __init__(self, work, prefix):
        self.dosdevices = os.path.join(prefix, "dosdevices")
        self.mounts = []
        self.links = []
        self.small = os.path.join(work, "small-disk")
        self.readonly = os.path.join(work, "readonly-disk")

    def mount(self, kb):
        for point in (self.small, self.readonly):
            os.makedirs(point, exist_ok=True)
            if os.path.ismount(point):  # left from a run that was killed
                subprocess.run(["umount", point], capture_output=True)
        for point, size in ((self.small, kb), (self.readonly, 64)):
            done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk,mode=0755" % size,
                                   "tmpfs", point], capture_output=True, text=True)
            if done.returncode != 0:
                sys.stderr.write("fault_env.py: cannot mount a tmpfs (%s): the disk-full and "
                                 "read-only folder tests skip\n" % done.stderr.strip())
                return False
            self.mounts.append(point)
        os.makedirs(os.path.join(self.readonly, "downloads"))
        done = subprocess.run(["mount", "-o", "remount,ro", self.readonly], capture_output=True)
        return done.returncode == 0

    def drive(self, target):
        """Maps a free drive letter to target; returns "X:" or None."""
        if not os.path.isdir(self.dosdevices):
            return None
        for letter in DRIVE_LETTERS:
            link = os.path.join(self.dosdevices, letter + ":")
            if os.path.lexists(link):
                continue
            os.symlink(target, link)
            self.links.append(link)
            return letter.upper() + ":"
        return None

    def undo(self):
        for link in self.links:
            try:
                os.remove(link)
            except OSError:
                pass
        for point in reversed(self.mounts):
            subprocess.run(["umount", "-l", point], capture_output=True)
        self.links.clear()
        self.mounts.clear()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--work", required=True)
    parser.add_argument("--disk-kb", type=int, default=512)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    servers.exit_on_signals()

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    shutil.rmtree(os.path.join(work, "requests"), ignore_errors=True)
    prefix = os.environ.get("WINEPREFIX") or os.path.join(ROOT, "build", "wineprefix")
    env = dict(os.environ)
    disks = Disks(work, prefix)
    victim = None
    proxy = None
    try:
        port = servers.free_port()
        victim = Victim(work, port)
        if not servers.wait_accepting(port):
            sys.stderr.write("fault_env.py: the victim server did not start; see %s\n" % victim.log)
            return 1
        env["MW_VICTIM_PORT"] = str(port)
        env["MW_VICTIM_DIR_WIN"] = servers.windows_path(work)
        tunnel_log = os.path.join(work, "tunnels.log")
        if os.path.exists(tunnel_log):
            os.remove(tunnel_log)
        proxy_port = servers.free_port()
        proxy = dropping_proxy.start(proxy_port, tunnel_log, DROP_AFTER)
        env["MW_DROP_PROXY_PORT"] = str(proxy_port)
        env["MW_DROP_PROXY_BYTES"] = str(DROP_AFTER)
        if disks.mount(args.disk_kb):
            small, readonly = disks.drive(disks.small), disks.drive(disks.readonly)
            if small and readonly:
                env["MW_SMALL_DRIVE"] = small
                env["MW_READONLY_DRIVE"] = readonly
        proc = subprocess.Popen(command, env=env, preexec_fn=servers.die_with_parent)
        servers.children.append(proc)
        return proc.wait()
    finally:
        if victim is not None:
            victim.stop()
        if proxy is not None:
            proxy.shutdown()
            proxy.server_close()
        servers.stop_all()
        disks.undo()


if __name__ == "__main__":
    sys.exit(main())
