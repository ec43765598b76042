#!/usr/bin/env python3
"""Segmented downloads and the speed limit, against aria2c in the same run.
Prints figures only; it is not a test.

    bench/segments_bench.py [--throttled-mb 256] [--big-mb 1024] [--runs 3]
                            [--build build/win64] [--only throttled|big|limit]

throttled: nginx on 127.0.0.1 sends each connection at most 4 MB/s
  (limit_rate); tessaline-get fetches --throttled-mb with 1, 4 and 8
  segments, aria2c with -x4 -s4 and -x8 -s8. Ratios: against aria2c at
  the same count, and against N x the per-connection limit.
big: an unthrottled file of --big-mb (1 GiB): tessaline-get with 1, 4 and
  8 segments and aria2c with -x1, -x4 -s4 and -x8 -s8, --runs times in
  turns; the median rate and CPU seconds per GiB of each, and each count's
  ratios to its own one connection (targets for tessaline-get: rate at
  least 0.95 x, CPU per GiB at most 1.10 x). tessaline-get's CPU is the
  Wine process's user+system time (wait4) plus what the benchmark's own
  wineserver (a private prefix, nothing else running in it) used meanwhile,
  shown apart; aria2c's is its own process's.
limit: a 2 MB/s and a 20 MB/s cap over about ten seconds each
  (tessaline-get --limit, over 1 and 4 connections; aria2c
  --max-overall-download-limit), measured rate against the cap.

tessaline-get runs under Wine in the private prefix of
bench/transfer_bench.py; its rate is the one it prints (from the start of
its job), aria2c's is the file's size over its wall time. nginx, Wine and
aria2c are all stopped on the way out.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, BENCH)
import transfer_bench as tb  # noqa: E402
from transfer_bench import servers  # noqa: E402

MB = 1e6
MIB = 1 << 20
PER_CONNECTION = 4 * MB  # nginx limit_rate, in bytes per second


def start_nginx(ctx, port, throttled_port):
    """nginx serving ctx.www on port, and with limit_rate per connection on
    throttled_port."""
    work = ctx.work
    temp = os.path.join(work, "nginx-seg-temp")
    os.makedirs(temp, exist_ok=True)
    conf = os.path.join(work, "nginx-segments.conf")
    with open(conf, "w") as f:
        f.write((
            "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            "pid %(work)s/nginx-segments.pid;\nerror_log %(work)s/nginx-segments-error.log warn;\n"
            "events { worker_connections 128; }\n"
            "http {\n  access_log off;\n  sendfile on;\n  default_type application/octet-stream;\n"
            "  client_body_temp_path %(temp)s/body;\n  proxy_temp_path %(temp)s/proxy;\n"
            "  fastcgi_temp_path %(temp)s/fastcgi;\n  uwsgi_temp_path %(temp)s/uwsgi;\n"
            "  scgi_temp_path %(temp)s/scgi;\n"
            "  server {\n    listen 127.0.0.1:%(port)d;\n    root %(www)s;\n  }\n"
            "  server {\n    listen 127.0.0.1:%(throttled)d;\n    root %(www)s;\n"
            "    limit_rate %(limit)d;\n  }\n"
            "}\n") % {"work": work, "temp": temp, "port": port, "throttled": throttled_port,
                      "www": ctx.www, "limit": int(PER_CONNECTION)})
    servers.spawn([servers.find_program("nginx"), "-p", work + "/", "-e",
                   os.path.join(work, "nginx-segments-error.log"), "-c", conf],
                  os.path.join(work, "nginx-segments.out"))


def tessaline(ctx, port, name, size, options):
    path = os.path.join(ctx.out, name)
    url = "http://127.0.0.1:%d/%s" % (port, name)
    result = tb.fetch_with_wine_tool(ctx, "tessaline-get " + " ".join(options), "tessaline-get.exe",
                                     [url, "--folder", servers.windows_path(ctx.out)] + options, path, size)
    return result


def aria2(ctx, port, name, size, options):
    out = os.path.join(ctx.out, "aria2")
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, name)
    tb.remove(path)
    argv = ["aria2c", "--no-conf", "--allow-overwrite=true", "--auto-file-renaming=false",
            "--file-allocation=none", "--console-log-level=warn", "--summary-interval=0",
            "--download-result=hide", "--min-split-size=1M", "--all-proxy=", "-d", out] + \
        options + ["http://127.0.0.1:%d/%s" % (port, name)]
    code, out_text, err, wall, sampler = tb.run_sampled(argv, "aria2c", [path])
    tb.check(code == 0 and os.path.getsize(path) == size,
             "aria2c %s failed (%d): %s %s" % (" ".join(options), code, out_text[-300:], err[-300:]))
    tb.remove(path)
    return {"rate": size / MB / wall, "seconds": wall, "wall": wall, "cpu": sampler.cpu, "server_cpu": 0.0}


def line(label, result, extra=""):
    print("  %-34s %8.2f MB/s  %7.2f s  CPU %6.2f s%s" % (label, result["rate"], result["seconds"],
                                                          result["cpu"] + result["server_cpu"], extra))


def bench_throttled(ctx, args, port):
    name = "throttled.bin"
    size = args.throttled_mb * MIB
    servers.write_pattern_file(os.path.join(ctx.www, name), size)
    print("throttled: %d MiB, nginx limit_rate %.1f MB/s per connection" % (args.throttled_mb, PER_CONNECTION / MB))
    single = tessaline(ctx, port, name, size, ["--segments", "1"])
    line("tessaline-get 1 connection", single, "  (%.2f x the limit)" % (single["rate"] * MB / PER_CONNECTION))
    for count in (4, 8):
        ours = tessaline(ctx, port, name, size, ["--segments", str(count)])
        peer = aria2(ctx, port, name, size, ["-x%d" % count, "-s%d" % count])
        line("tessaline-get --segments %d" % count, ours)
        line("aria2c -x%d -s%d" % (count, count), peer)
        print("    ratio to aria2c %.2f; to %d x the limit %.2f"
              % (ours["rate"] / peer["rate"], count, ours["rate"] * MB / (count * PER_CONNECTION)))
    tb.remove(os.path.join(ctx.www, name))


def cpu_per_gib(result, size):
    return (result["cpu"] + result["server_cpu"]) / (size / float(1 << 30))


def median_result(results):
    """Each figure's median over the runs."""
    return {key: statistics.median(r[key] for r in results)
            for key in ("rate", "seconds", "cpu", "server_cpu", "wall") if key in results[0]}


def bench_big(ctx, args, port):
    name = "big.bin"
    size = args.big_mb * MIB
    servers.write_pattern_file(os.path.join(ctx.www, name), size)
    print("unthrottled: %d MiB, median of %d runs taken in turns" % (args.big_mb, args.runs))
    tessaline(ctx, port, name, size, ["--segments", "1"])  # warm-up: page cache and Wine
    counts = (1, 4, 8)
    ours = {count: [] for count in counts}
    peers = {count: [] for count in counts}
    for _ in range(args.runs):
        for count in counts:
            ours[count].append(tessaline(ctx, port, name, size, ["--segments", str(count)]))
            peers[count].append(aria2(ctx, port, name, size, ["-x%d" % count, "-s%d" % count]))
    ours = {count: median_result(ours[count]) for count in counts}
    peers = {count: median_result(peers[count]) for count in counts}
    print("  %-11s | %-49s | %s" % ("", "tessaline-get", "aria2c"))
    print("  %-11s | %8s %8s %9s %9s %9s | %8s %9s" % ("connections", "MB/s", "wall", "CPU/GiB", "own",
                                                        "wineserv.", "MB/s", "CPU/GiB"))
    for count in counts:
        r, a = ours[count], peers[count]
        gib = size / float(1 << 30)
        print("  %-11d | %8.1f %8.1f %9.2f %9.2f %9.2f | %8.1f %9.2f"
              % (count, r["rate"], size / MB / r["wall"], cpu_per_gib(r, size), r["cpu"] / gib,
                 r["server_cpu"] / gib, a["rate"], cpu_per_gib(a, size)))
    print("  ratio to one connection  (tessaline-get targets: rate >= 0.95, CPU/GiB <= 1.10)")
    for count in (4, 8):
        rate = ours[count]["rate"] / ours[1]["rate"]
        cpu = cpu_per_gib(ours[count], size) / cpu_per_gib(ours[1], size)
        print("    %d segments: tessaline-get rate %.2f x%s, CPU/GiB %.2f x%s;  aria2c rate %.2f x, CPU/GiB %.2f x"
              % (count, rate, "" if rate >= 0.95 else " (MISSED)", cpu, "" if cpu <= 1.10 else " (MISSED)",
                 peers[count]["rate"] / peers[1]["rate"],
                 cpu_per_gib(peers[count], size) / cpu_per_gib(peers[1], size)))
    print("    tessaline-get against aria2c at the same count: " +
          ", ".join("%d: rate %.2f x, CPU/GiB %.2f x" % (count, ours[count]["rate"] / peers[count]["rate"],
                                                         cpu_per_gib(ours[count], size) / cpu_per_gib(peers[count], size))
                    for count in counts))
    tb.remove(os.path.join(ctx.www, name))


def bench_limit(ctx, args, port):
    for cap in (2 * MB, 20 * MB):
        size = int(cap * 10)
        name = "limit-%d.bin" % int(cap / MB)
        servers.write_pattern_file(os.path.join(ctx.www, name), size)
        print("speed limit %.0f MB/s, %.0f MB (about ten seconds)" % (cap / MB, size / MB))
        for count in (1, 4):
            ours = tessaline(ctx, port, name, size, ["--segments", str(count), "--limit", str(int(cap / 1000))])
            line("tessaline-get --limit, %d conn." % count, ours,
                 "  %.3f x the cap" % (ours["rate"] * MB / cap))
        peer = aria2(ctx, port, name, size, ["-x1", "-s1", "--max-overall-download-limit=%d" % int(cap)])
        line("aria2c --max-overall-download-limit", peer, "  %.3f x the cap" % (peer["rate"] * MB / cap))
        tb.remove(os.path.join(ctx.www, name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--throttled-mb", type=int, default=256)
    parser.add_argument("--big-mb", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=3, help="of the unthrottled part")
    parser.add_argument("--only", choices=("throttled", "big", "limit"))
    parser.add_argument("--build", default=os.path.join(tb.ROOT, "build", "win64"))
    args = parser.parse_args()
    ctx = tb.Context(args)
    tb.LOG_DIR = os.path.join(ctx.work, "logs")
    servers.exit_on_signals()
    try:
        os.makedirs(ctx.out, exist_ok=True)
        os.makedirs(ctx.www, exist_ok=True)
        os.makedirs(tb.LOG_DIR, exist_ok=True)
        tb.check(subprocess.run(["which", "aria2c"], stdout=subprocess.DEVNULL).returncode == 0,
                 "aria2c is missing (apt-get install aria2)")
        port = servers.free_port()
        throttled_port = servers.free_port()
        start_nginx(ctx, port, throttled_port)
        tb.check(servers.wait_accepting(port) and servers.wait_accepting(throttled_port),
                 "nginx did not start; see %s" % ctx.work)
        tb.start_wine(ctx)
        started = time.monotonic()
        if args.only in (None, "throttled"):
            bench_throttled(ctx, args, throttled_port)
        if args.only in (None, "big"):
            bench_big(ctx, args, port)
        if args.only in (None, "limit"):
            bench_limit(ctx, args, port)
        print("(%.0f s)" % (time.monotonic() - started))
        return 0
    except RuntimeError as error:
        sys.stderr.write("segments_bench: %s\n" % error)
        return 1
    finally:
        tb.stop_wine(ctx)
        servers.stop_all()


if __name__ == "__main__":
    sys.exit(main())
