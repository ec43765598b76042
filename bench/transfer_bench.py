#!/usr/bin/env python3
"""Transfer throughput and memory of the engine, against nginx on 127.0.0.1.
Prints figures only; it is not a test.

    bench/transfer_bench.py [--runs 1] [--big-mb 1024] [--jobs 50] [--job-mb 20]
                            [--build build/win64] [--only big|https|multi|resume]

Single download of one large file, three ways, in the same run:
  tessaline-get   the engine's console tool, under Wine
  curl            native, -o file
  recv_ceiling    the bare loop of one outstanding 64,000-byte overlapped
                  receive plus WriteFile, under Wine: the ceiling of the
                  engine's design on this platform
The RSS of the Wine process running tessaline-get is sampled every 100 ms:
at the first body byte, the peak while data arrives, and the last sample.

The same file over TLS (https run), from nginx on 127.0.0.1 with a
certificate for localhost whose test authority (tests/support/test_certs.py)
is made a trusted root of the benchmark's Wine prefix only:
  tessaline-get   over TLS, and once more over plain HTTP in the same run
                  (its own plain figure, for the ratio)
  wininet_get     the plainest WinInet loop (InternetReadFile into a
                  64,000-byte buffer), the platform's own client, under Wine
  curl            native, trusting the test authority by --cacert, and
                  over plain HTTP: its own ratio shows what TLS costs on
                  this machine (nginx encrypts on the same cores)
with the RSS of tessaline-get over TLS sampled as above.

Many downloads at once: multi_get runs --jobs DownloadJobs of --job-mb each
in one process; total MB/s and peak memory (sampled RSS and VmHWM).

Resuming beyond 4 GiB (resume run): tessaline-get resumes a 5 GiB file
(sparse, with real data in its last 512 MiB) from a sparse local partial
file of 4.5 GiB, so 512 MiB travel with a Range from byte 4,831,838,208;
in the same run it downloads big.bin over plain HTTP for the ratio. Both
5 GiB files are deleted afterwards.

Everything lives in build/bench/: the served files, nginx's generated
configuration and logs, the downloaded files and a private Wine prefix (so
the Wine processes started here can be ended without touching anybody
else's). nginx, Wine and curl are all stopped on the way out, also on
failure or a signal.
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import servers  # noqa: E402

WINE_RUN = os.path.join(ROOT, "cmake", "wine-run")
SAMPLE_SECONDS = 0.1
MB = 1e6
MIB = 1 << 20
LOG_DIR = None  # set once the work folder is known
WINESERVER_PID = None  # the private prefix's persistent server
VERBOSE = False  # --verbose: which process is sampled, and every sample


# ---------------------------------------------------------------- processes

def find_wine_process(popen, exe_name):
    """The launched pid once it runs exe_name: wine-run execs Wine, which
    runs the program in that same process."""
    try:
        with open("/proc/%d/cmdline" % popen.pid, "rb") as f:
            cmdline = f.read().decode("latin-1").lower()
    except OSError:
        return None
    return popen.pid if exe_name.lower() in cmdline and "wine-run" not in cmdline else None


def read_memory_kb(pid):
    """(VmRSS, VmHWM) in KiB, or None once the process is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])
    except (OSError, KeyError, ValueError):
        return None


class Sampler(threading.Thread):
    """Samples the RSS of one program every 100 ms together with the size of
    the files it writes, until the program ends."""

    def __init__(self, popen, exe_name, output_paths):
        super().__init__(daemon=True)
        self.popen = popen
        self.exe_name = exe_name
        self.output_paths = output_paths
        self.samples = []  # (seconds, rss_kb, hwm_kb, bytes on disk)
        self.pid = None
        self.done = threading.Event()

    def bytes_written(self):
        total = 0
        for path in self.output_paths:
            try:
                total += os.path.getsize(path)
            except OSError:
                pass
        return total

    def run(self):
        started = time.monotonic()
        while not self.done.is_set():
            if self.pid is None:
                self.pid = find_wine_process(self.popen, self.exe_name)
                if self.pid and VERBOSE:
                    print("    sampling pid %d: %s" % (self.pid, os.readlink("/proc/%d/exe" % self.pid)))
            memory = read_memory_kb(self.pid) if self.pid else None
            if memory:
                self.samples.append((time.monotonic() - started, memory[0], memory[1],
                                     self.bytes_written()))
            time.sleep(SAMPLE_SECONDS)

    def summary(self):
        """RSS (KiB) at the first body byte, peak and last while data
        arrived; the process's high-water mark; sample count."""
        during = [s for s in self.samples if s[3] > 0]
        if not during:
            return None
        return {"start": during[0][1], "peak": max(s[1] for s in during), "end": during[-1][1],
                "hwm": self.samples[-1][2], "count": len(during),
                "before": self.samples[0][1]}


def cpu_seconds(pid):
    """User plus system CPU time of a live process."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


def run_sampled(argv, exe_name, output_paths, env=None):
    """Runs one program to its end while sampling it; also returns the CPU
    time it used and what Wine's server used meanwhile, a measure that the
    other load on the machine disturbs far less than elapsed time. Output
    goes to files, not pipes: Wine's helper processes inherit the handles
    and would keep a pipe open after the program has ended."""
    log_base = os.path.join(LOG_DIR, exe_name)
    server_before = cpu_seconds(WINESERVER_PID) if WINESERVER_PID else 0.0
    with open(log_base + ".out", "w+") as out, open(log_base + ".err", "w+") as err:
        popen = subprocess.Popen(argv, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                 env=env, preexec_fn=servers.die_with_parent)
        servers.children.append(popen)
        sampler = Sampler(popen, exe_name, output_paths)
        started = time.monotonic()
        sampler.start()
        _, status, usage = os.wait4(popen.pid, 0)
        wall = time.monotonic() - started
        popen.returncode = os.waitstatus_to_exitcode(status)
        sampler.done.set()
        sampler.join()
        servers.children.remove(popen)
        print_samples(sampler)
        out.seek(0)
        err.seek(0)
        sampler.cpu = usage.ru_utime + usage.ru_stime
        sampler.server_cpu = (cpu_seconds(WINESERVER_PID) - server_before
                              if WINESERVER_PID else 0.0)
        return popen.returncode, out.read(), err.read(), wall, sampler


def last_fields(text):
    """key=value pairs of the program's last output line."""
    lines = text.strip().splitlines()
    if not lines:
        return {}
    return dict(part.split("=", 1) for part in lines[-1].split() if "=" in part)


def wine_tool_result(out, wall, sampler):
    """The figures a Wine tool prints on its last line, with the samples."""
    fields = last_fields(out)
    return {"rate": float(fields["MB/s"]), "seconds": float(fields["seconds"]), "wall": wall,
            "rss": sampler.summary(), "cpu": sampler.cpu, "server_cpu": sampler.server_cpu}


# ---------------------------------------------------------------- the three peers

def fetch_with_wine_tool(ctx, label, exe, args, path, size):
    """Runs the Wine tool exe, which must write size bytes to path, and
    returns the figures it prints."""
    remove(path)
    argv = [WINE_RUN, ctx.exe(exe)] + args
    code, out, err, wall, sampler = run_sampled(argv, exe, [path], ctx.env)
    check(code == 0 and os.path.getsize(path) == size,
          "%s failed (%d): %s %s" % (label, code, out[-500:], err[-500:]))
    remove(path)
    return wine_tool_result(out, wall, sampler)


def fetch_with_curl(ctx, label, url, size, options=()):
    """curl fetching url, timed by curl itself."""
    path = os.path.join(ctx.out, "curl.bin")
    remove(path)
    argv = ["curl", "-s", "-S", "--noproxy", "*"] + list(options) + \
           ["-o", path, "-w", "%{time_total}", url]
    code, out, err, wall, sampler = run_sampled(argv, "curl", [path])
    check(code == 0 and os.path.getsize(path) == size, "%s failed (%d): %s" % (label, code, err))
    remove(path)
    seconds = float(out.strip())
    return {"rate": size / MB / seconds, "seconds": seconds, "wall": wall, "rss": None,
            "cpu": sampler.cpu, "server_cpu": 0.0}


def plain_url(ctx, name):
    return "http://127.0.0.1:%d/%s" % (ctx.port, name)


def run_tessaline(ctx, name, size):
    return fetch_with_wine_tool(ctx, "tessaline-get", "tessaline-get.exe",
                                [plain_url(ctx, name), "--folder", servers.windows_path(ctx.out)],
                                os.path.join(ctx.out, name), size)


def run_ceiling(ctx, name, size):
    path = os.path.join(ctx.out, "ceiling.bin")
    return fetch_with_wine_tool(ctx, "recv_ceiling", "recv_ceiling.exe",
                                ["127.0.0.1", str(ctx.port), "/" + name, servers.windows_path(path)],
                                path, size)


def run_curl(ctx, name, size):
    return fetch_with_curl(ctx, "curl", plain_url(ctx, name), size)


RESUME_SIZE = 5 << 30
RESUME_HAVE = 9 << 29  # 4.5 GiB


def prepare_resume_file(ctx):
    """www/resume.bin: 5 GiB, sparse up to 4.5 GiB, then 512 MiB of the
    pattern (real data, so the transfer is not of holes)."""
    path = os.path.join(ctx.www, "resume.bin")
    if os.path.exists(path) and os.path.getsize(path) == RESUME_SIZE:
        return path
    block = servers.scripted_server.pattern(0, MIB + 251)
    with open(path, "wb") as f:
        f.truncate(RESUME_SIZE)
        f.seek(RESUME_HAVE)
        for offset in range(RESUME_HAVE, RESUME_SIZE, MIB):
            start = offset % 251
            f.write(block[start : start + MIB])
    return path


def run_tessaline_resume(ctx, name, size, have):
    """tessaline-get resuming name at have from a sparse partial file."""
    path = os.path.join(ctx.out, name)
    remove(path)
    with open(path, "wb") as f:
        f.truncate(have)
    argv = [WINE_RUN, ctx.exe("tessaline-get.exe"), plain_url(ctx, name),
            "--folder", servers.windows_path(ctx.out),
            "--offset", str(have), "--last-name", name]
    code, out, err, wall, sampler = run_sampled(argv, "tessaline-get.exe", [], ctx.env)
    ok = code == 0 and os.path.getsize(path) == size
    if ok:
        # The first and the last MiB that travelled are the served bytes.
        with open(path, "rb") as f:
            for offset in (have, size - MIB):
                f.seek(offset)
                ok = ok and f.read(MIB) == servers.scripted_server.pattern(offset, MIB)
    remove(path)
    check(ok, "tessaline-get (resume) failed (%d): %s %s" % (code, out[-500:], err[-500:]))
    check("first=%d " % have in out, "tessaline-get did not resume at %d: %s" % (have, out[-500:]))
    return wine_tool_result(out, wall, sampler)


def https_url(ctx, name):
    return "https://localhost:%d/%s" % (ctx.tls_port, name)


def run_tessaline_tls(ctx, name, size):
    return fetch_with_wine_tool(ctx, "tessaline-get (https)", "tessaline-get.exe",
                                [https_url(ctx, name), "--folder", servers.windows_path(ctx.out)],
                                os.path.join(ctx.out, name), size)


def run_wininet(ctx, name, size):
    path = os.path.join(ctx.out, "wininet.bin")
    return fetch_with_wine_tool(ctx, "wininet_get", "wininet_get.exe",
                                [https_url(ctx, name), servers.windows_path(path)], path, size)


def run_curl_tls(ctx, name, size):
    return fetch_with_curl(ctx, "curl (https)", https_url(ctx, name), size,
                           ["--cacert", os.path.join(ctx.certs, "ca.pem")])


def run_multi(ctx, count, size):
    folder = os.path.join(ctx.out, "multi")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    prefix = "http://127.0.0.1:%d/multi/" % ctx.port
    paths = [os.path.join(folder, "%02d.bin" % i) for i in range(count)]
    argv = [WINE_RUN, ctx.exe("multi_get.exe"), prefix, str(count), str(size),
            servers.windows_path(folder)]
    code, out, err, wall, sampler = run_sampled(argv, "multi_get.exe", paths, ctx.env)
    check(code == 0, "multi_get failed (%d): %s %s" % (code, out[-2000:], err[-500:]))
    for path in paths:
        check(os.path.getsize(path) == size, "multi_get: %s has the wrong size" % path)
    shutil.rmtree(folder, ignore_errors=True)
    return wine_tool_result(out, wall, sampler)


# ---------------------------------------------------------------- set-up

class Context:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.work = os.path.join(os.path.dirname(self.build), "bench")
        self.www = os.path.join(self.work, "www")
        self.out = os.path.join(self.work, "out")
        self.prefix = os.path.join(self.work, "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix)
        self.certs = os.path.join(self.work, "certs")
        self.port = 0
        self.tls_port = 0

    def exe(self, name):
        path = os.path.join(self.build, "bin", name)
        check(os.path.exists(path), "%s is missing: build the target first" % path)
        return path


def check(condition, message):
    if not condition:
        raise RuntimeError(message)


def remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def prepare_files(ctx, big_mb, jobs, job_mb):
    """The served files: big.bin, small.bin and multi/NN.bin, all links to
    one job-sized file so the jobs differ only by name."""
    os.makedirs(os.path.join(ctx.www, "multi"), exist_ok=True)
    servers.write_pattern_file(os.path.join(ctx.www, "big.bin"), big_mb * MIB)
    servers.write_pattern_file(os.path.join(ctx.www, "job.bin"), job_mb * MIB)
    for i in range(jobs):
        link = os.path.join(ctx.www, "multi", "%02d.bin" % i)
        if not os.path.islink(link):
            remove(link)
            os.symlink("../job.bin", link)


def prefix_processes(ctx):
    """Pids of the processes running in the private prefix; nobody else
    uses it, so all of them were started by this benchmark."""
    marker = ("WINEPREFIX=" + ctx.prefix).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if marker in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass
    return found


def stop_wine(ctx):
    """Ends the Wine processes of the private prefix: through its
    wineserver, then by pid for any that outlived it."""
    if not os.path.isdir(ctx.prefix):
        return
    subprocess.run(["wineserver", "-k"], env=ctx.env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    time.sleep(0.5)
    for pid in prefix_processes(ctx):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


def start_wine(ctx):
    """Creates the private prefix when missing and runs its wineserver
    persistently for the whole benchmark, so no run pays for its start."""
    if not os.path.isfile(os.path.join(ctx.prefix, "system.reg")):
        subprocess.run([WINE_RUN, "cmd", "/c", "exit"], env=ctx.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    stop_wine(ctx)
    subprocess.run(["wineserver", "-w"], env=ctx.env, timeout=30)
    server = subprocess.Popen(["wineserver", "-p", "-f"], env=ctx.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=servers.die_with_parent)
    servers.children.append(server)
    global WINESERVER_PID
    WINESERVER_PID = server.pid


# ---------------------------------------------------------------- report

def kib(value):
    return "%.1f MiB" % (value / 1024.0)


def print_samples(sampler):
    if VERBOSE:
        for t, rss, hwm, written in sampler.samples:
            print("    %6.2f s  RSS %7d KiB  HWM %7d KiB  %6.0f MB written"
                  % (t, rss, hwm, written / MB))


def print_rss(label, rss):
    if rss is None:
        print("  %-16s RSS: no samples" % label)
        return
    print("  %-16s RSS start %s, peak %s, end %s (%d samples; VmHWM %s)"
          % (label, kib(rss["start"]), kib(rss["peak"]), kib(rss["end"]), rss["count"],
             kib(rss["hwm"])))


def bench_big(ctx, args):
    size = args.big_mb * MIB
    runners = [("recv_ceiling", run_ceiling), ("tessaline-get", run_tessaline),
               ("curl", run_curl)]
    # Warm-up: Wine's start, and the served file into the page cache.
    run_tessaline(ctx, "job.bin", args.job_mb * MIB)
    run_ceiling(ctx, "job.bin", args.job_mb * MIB)
    run_curl(ctx, "big.bin", size)
    results = {name: [] for name, _ in runners}
    for run in range(args.runs):
        print("run %d: %d MiB from nginx on 127.0.0.1" % (run + 1, args.big_mb))
        # Each run starts with another program so that none always meets
        # the write-back of the one before it.
        shift = run % len(runners)
        for name, runner in runners[shift:] + runners[:shift]:
            # No transfer pays for flushing the previous one's file.
            os.sync()
            r = runner(ctx, "big.bin", size)
            results[name].append(r)
            print("  %-16s %8.3f s  %8.1f MB/s   (wall %.2f s; CPU %.2f s + wineserver %.2f s)"
                  % (name, r["seconds"], r["rate"], r["wall"], r["cpu"], r["server_cpu"]))
        ratio_c = results["tessaline-get"][-1]["rate"] / results["recv_ceiling"][-1]["rate"]
        ratio_k = results["tessaline-get"][-1]["rate"] / results["curl"][-1]["rate"]
        print("  tessaline/ceiling %.3f   tessaline/curl %.3f" % (ratio_c, ratio_k))
        print_rss("tessaline-get", results["tessaline-get"][-1]["rss"])
        print_rss("recv_ceiling", results["recv_ceiling"][-1]["rss"])
        sys.stdout.flush()
    if args.runs > 1:
        rates = {name: statistics.median(r["rate"] for r in rs) for name, rs in results.items()}
        print("median of %d runs: ceiling %.1f, tessaline %.1f, curl %.1f MB/s; "
              "tessaline/ceiling %.3f, tessaline/curl %.3f"
              % (args.runs, rates["recv_ceiling"], rates["tessaline-get"], rates["curl"],
                 rates["tessaline-get"] / rates["recv_ceiling"],
                 rates["tessaline-get"] / rates["curl"]))


def bench_https(ctx, args):
    size = args.big_mb * MIB
    runners = [("tessaline-tls", run_tessaline_tls), ("wininet", run_wininet),
               ("curl-tls", run_curl_tls), ("tessaline-http", run_tessaline), ("curl-http", run_curl)]
    # Warm-up: Wine's start and the first handshakes.
    run_tessaline_tls(ctx, "job.bin", args.job_mb * MIB)
    run_wininet(ctx, "job.bin", args.job_mb * MIB)
    results = {name: [] for name, _ in runners}
    for run in range(args.runs):
        print("https run %d: %d MiB from nginx over TLS on 127.0.0.1" % (run + 1, args.big_mb))
        shift = run % len(runners)
        for name, runner in runners[shift:] + runners[:shift]:
            os.sync()
            r = runner(ctx, "big.bin", size)
            results[name].append(r)
            print("  %-16s %8.3f s  %8.1f MB/s   (wall %.2f s; CPU %.2f s + wineserver %.2f s)"
                  % (name, r["seconds"], r["rate"], r["wall"], r["cpu"], r["server_cpu"]))
        last = {name: rs[-1]["rate"] for name, rs in results.items()}
        print("  tessaline-tls/wininet %.3f   tessaline-tls/tessaline-http %.3f   "
              "tessaline-tls/curl-tls %.3f   curl-tls/curl-http %.3f"
              % (last["tessaline-tls"] / last["wininet"], last["tessaline-tls"] / last["tessaline-http"],
                 last["tessaline-tls"] / last["curl-tls"], last["curl-tls"] / last["curl-http"]))
        print_rss("tessaline-tls", results["tessaline-tls"][-1]["rss"])
        print_rss("wininet", results["wininet"][-1]["rss"])
        sys.stdout.flush()
    if args.runs > 1:
        rates = {name: statistics.median(r["rate"] for r in rs) for name, rs in results.items()}
        print("median of %d runs: tessaline-tls %.1f, wininet %.1f, curl-tls %.1f, tessaline-http %.1f, "
              "curl-http %.1f MB/s; tessaline tls/wininet %.3f, tessaline tls/http %.3f, curl tls/http %.3f"
              % (args.runs, rates["tessaline-tls"], rates["wininet"], rates["curl-tls"],
                 rates["tessaline-http"], rates["curl-http"], rates["tessaline-tls"] / rates["wininet"],
                 rates["tessaline-tls"] / rates["tessaline-http"], rates["curl-tls"] / rates["curl-http"]))


def bench_resume(ctx, args):
    size = args.big_mb * MIB
    served = prepare_resume_file(ctx)
    try:
        # Warm-up: Wine's start, and the served tail into the page cache.
        run_tessaline(ctx, "job.bin", args.job_mb * MIB)
        run_tessaline_resume(ctx, "resume.bin", RESUME_SIZE, RESUME_HAVE)
        resumed, plain = [], []
        for run in range(args.runs):
            print("resume run %d: 512 MiB of a 5 GiB file from 4.5 GiB on, and %d MiB plain, "
                  "from nginx on 127.0.0.1" % (run + 1, args.big_mb))
            order = [("resume", lambda: run_tessaline_resume(ctx, "resume.bin", RESUME_SIZE, RESUME_HAVE)),
                     ("plain", lambda: run_tessaline(ctx, "big.bin", size))]
            if run % 2:
                order.reverse()  # neither always meets the other's write-back
            for name, runner in order:
                os.sync()
                r = runner()
                (resumed if name == "resume" else plain).append(r)
                print("  tessaline-%-7s %8.3f s  %8.1f MB/s   (wall %.2f s; CPU %.2f s + wineserver %.2f s)"
                      % (name, r["seconds"], r["rate"], r["wall"], r["cpu"], r["server_cpu"]))
            print("  resume/plain %.3f" % (resumed[-1]["rate"] / plain[-1]["rate"]))
            sys.stdout.flush()
        if args.runs > 1:
            rate_r = statistics.median(r["rate"] for r in resumed)
            rate_p = statistics.median(r["rate"] for r in plain)
            print("median of %d runs: resume %.1f MB/s, plain %.1f MB/s; resume/plain %.3f"
                  % (args.runs, rate_r, rate_p, rate_r / rate_p))
    finally:
        remove(served)


def bench_multi(ctx, args):
    size = args.job_mb * MIB
    for run in range(args.runs):
        os.sync()
        r = run_multi(ctx, args.jobs, size)
        print("multi run %d: %d jobs x %d MiB in one process: %.3f s, %.1f MB/s total "
              "(wall %.2f s; CPU %.2f s + wineserver %.2f s)"
              % (run + 1, args.jobs, args.job_mb, r["seconds"], r["rate"], r["wall"], r["cpu"],
                 r["server_cpu"]))
        rss = r["rss"]
        if rss:
            print("  multi_get        RSS before data %s, first data %s, peak %s, end %s; "
                  "VmHWM %s" % (kib(rss["before"]), kib(rss["start"]), kib(rss["peak"]),
                                kib(rss["end"]), kib(rss["hwm"])))
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--big-mb", type=int, default=1024)
    parser.add_argument("--jobs", type=int, default=50)
    parser.add_argument("--job-mb", type=int, default=20)
    parser.add_argument("--only", choices=("big", "https", "multi", "resume"))
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "win64"))
    args = parser.parse_args()

    ctx = Context(args)
    global LOG_DIR, VERBOSE
    VERBOSE = args.verbose
    LOG_DIR = os.path.join(ctx.work, "logs")
    servers.exit_on_signals()
    try:
        os.makedirs(ctx.out, exist_ok=True)
        os.makedirs(LOG_DIR, exist_ok=True)
        prepare_files(ctx, args.big_mb, args.jobs, args.job_mb)
        ctx.port = servers.free_port()
        ctx.tls_port = servers.free_port()
        servers.test_certs.make_all(ctx.certs)
        servers.start_nginx(ctx.work, ctx.port, [(ctx.tls_port, ctx.certs, "localhost")])
        check(servers.wait_accepting(ctx.port) and servers.wait_accepting(ctx.tls_port),
              "nginx did not start; see %s" % ctx.work)
        start_wine(ctx)
        check(servers.trust_test_ca(ctx.certs, ctx.exe("trust_test_root.exe"), ctx.env),
              "the test authority could not be trusted in %s" % ctx.prefix)
        if args.only in (None, "big"):
            bench_big(ctx, args)
        if args.only in (None, "https"):
            bench_https(ctx, args)
        if args.only in (None, "multi"):
            bench_multi(ctx, args)
        if args.only in (None, "resume"):
            bench_resume(ctx, args)
        return 0
    except RuntimeError as error:
        sys.stderr.write("transfer_bench: %s\n" % error)
        return 1
    finally:
        # Wine first, nginx last: on every way out, signals included.
        stop_wine(ctx)
        servers.stop_all()


if __name__ == "__main__":
    sys.exit(main())
