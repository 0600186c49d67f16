#!/usr/bin/env python3
"""The threads of large outputs, measured on whole conversions.

An every-step conversion of a 19881-node, 50-step sample (kovagen), for each
output type and each thread count (--threads), REPS times in turn:
  wall      seconds from start to exit;
  main      CPU seconds of the main thread alone (its scheduler run time,
            read from /proc while the finished process is not yet reaped);
  total     user + system CPU seconds of the whole process;
  floor     the same bytes written from memory in 1 MiB blocks to a new file
            beside the output (the bulk-write floor of bench/run_bench.sh).
Medians of the same run, and their ratios: main and total against one thread,
wall against the floor. The machine is shared: compare ratios, not seconds.

Usage: python3 bench/threads_bench.py [BUILD_DIR]   (default: build)
Environment: REPS (default 5); THREADS (default "1 2 4"); TYPES (default
"restart tecplot atlas femap"); CPUS (default "0,1": the runs and the floor
under taskset -c CPUS; empty: as they come).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
kovaconv = os.path.realpath(os.path.join(build, "kovaconv"))
kovagen = os.path.realpath(os.path.join(build, "kovagen"))
reps = int(os.environ.get("REPS", "5"))
threads = [int(t) for t in os.environ.get("THREADS", "1 2 4").split()]
types = os.environ.get("TYPES", "restart tecplot atlas femap").split()
cpus = os.environ.get("CPUS", "0,1")
if cpus:
    os.sched_setaffinity(0, [int(c) for c in cpus.split(",")])  # children inherit it


def convert(work, kind, n):
    """One conversion: (wall, main-thread CPU, total CPU, output bytes)."""
    out = os.path.join(work, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.mkdir(out)
    target = out if kind == "atlas" else os.path.join(out, "out")
    start = time.perf_counter()
    child = subprocess.Popen([kovaconv, "--to", kind, "--threads", str(n), "--output", target,
                              os.path.join(work, "result.bin")])
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    wall = time.perf_counter() - start
    with open("/proc/%d/task/%d/schedstat" % (child.pid, child.pid)) as f:
        main = int(f.read().split()[0]) / 1e9
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("threads_bench: kovaconv ended with status %d" % child.returncode)
    size = sum(os.path.getsize(os.path.join(out, f)) for f in os.listdir(out))
    return wall, main, usage.ru_utime + usage.ru_stime, size


def floor(work, size):
    """Seconds to write SIZE bytes from memory in 1 MiB blocks to a new file."""
    block = memoryview(bytes(range(256)) * 4096)
    path = os.path.join(work, "floor")
    start = time.perf_counter()
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    left = size
    while left > 0:
        left -= os.write(fd, block[: min(left, len(block))])
    os.close(fd)
    seconds = time.perf_counter() - start
    os.remove(path)
    return seconds


def main():
    work = tempfile.mkdtemp(prefix="kova-threads-")
    try:
        subprocess.run([kovagen, "--nodes", "19881", "--steps", "50", "--dir", work], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        runs = {}
        floors = {}
        for _ in range(reps):
            for kind in types:
                for n in threads:
                    runs.setdefault((kind, n), []).append(convert(work, kind, n))
                floors.setdefault(kind, []).append(floor(work, runs[(kind, threads[0])][-1][3]))
        med = lambda values: statistics.median(values)
        print("CPUs allowed: %d; %d runs each, medians" % (len(os.sched_getaffinity(0)), reps))
        print("%-8s %7s %7s %7s %7s %7s | %7s %7s %7s" % ("type", "threads", "wall", "main", "total",
                                                       "floor", "main x1", "tot x1", "wall/fl"))
        for kind in types:
            one = runs[(kind, threads[0])]
            for n in threads:
                r = runs[(kind, n)]
                wall, main_cpu, total = (med([x[k] for x in r]) for k in range(3))
                fl = med(floors[kind])
                print("%-8s %7d %7.3f %7.3f %7.3f %7.3f | %7.2f %7.2f %7.2f" % (
                    kind, n, wall, main_cpu, total, fl, main_cpu / med([x[1] for x in one]),
                    total / med([x[2] for x in one]), wall / fl))
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
