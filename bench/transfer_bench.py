#!/usr/bin/env python3
"""Throughput of tessaline-get (win64, under Wine) against curl, both
downloading one large file from nginx on 127.0.0.1. Prints figures only.

    bench/transfer_bench.py [--mb 200] [--runs 3] [--build build/win64]

It starts the servers itself through tests/support/servers.py.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SERVERS = os.path.join(ROOT, "tests", "support", "servers.py")
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run")


def run_tessaline(tool, url, folder):
    started = time.monotonic()
    out = subprocess.run([WINE_RUN, tool, url, "--folder", "Z:" + folder.replace("/", "\\")],
                         capture_output=True, text=True)
    wall = time.monotonic() - started
    last = out.stdout.strip().splitlines()[-1] if out.stdout.strip() else ""
    fields = dict(part.split("=", 1) for part in last.split() if "=" in part)
    if out.returncode != 0:
        raise RuntimeError("tessaline-get failed (%d): %s" % (out.returncode, out.stdout))
    return float(fields["seconds"]), wall


def run_curl(url, folder):
    target = os.path.join(folder, "curl.bin")
    started = time.monotonic()
    out = subprocess.run(["curl", "-s", "-o", target, "-w", "%{time_total}", url],
                         capture_output=True, text=True, check=True)
    wall = time.monotonic() - started
    return float(out.stdout), wall


def inner(args):
    port = os.environ["MW_NGINX_PORT"]
    url = "http://127.0.0.1:%s/big.bin" % port
    size = args.mb << 20
    tool = os.path.join(os.path.abspath(args.build), "bin", "tessaline-get.exe")
    folder = os.path.join(os.path.abspath(args.build), "transfer-bench")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    # One warm-up so Wine's start-up and the page cache do not count.
    run_tessaline(tool, url, folder)
    results = {"tessaline-get": [], "tessaline-get (wall, incl. Wine start)": [], "curl": []}
    for _ in range(args.runs):
        os.remove(os.path.join(folder, "big.bin"))
        inside, wall = run_tessaline(tool, url, folder)
        if os.path.getsize(os.path.join(folder, "big.bin")) != size:
            raise RuntimeError("tessaline-get saved a file of the wrong size")
        results["tessaline-get"].append(inside)
        results["tessaline-get (wall, incl. Wine start)"].append(wall)
        seconds, _ = run_curl(url, folder)
        results["curl"].append(seconds)
    shutil.rmtree(folder, ignore_errors=True)

    print("file: %d MB from nginx on 127.0.0.1, %d runs, median" % (args.mb, args.runs))
    rates = {}
    for name, times in results.items():
        seconds = statistics.median(times)
        rates[name] = size / 1e6 / seconds
        print("  %-40s %8.3f s  %9.1f MB/s" % (name, seconds, rates[name]))
    print("  ratio tessaline-get / curl: %.2f" % (rates["tessaline-get"] / rates["curl"]))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mb", type=int, default=200)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "win64"))
    args = parser.parse_args()
    if "MW_NGINX_PORT" in os.environ:
        return inner(args)
    work = os.path.join(os.path.abspath(args.build), "transfer-bench-servers")
    command = [sys.executable, SERVERS, "--work", work, "--nginx-file-mb", str(args.mb),
               "--no-proxy", "--", sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
    return subprocess.call(command)


if __name__ == "__main__":
    sys.exit(main())
