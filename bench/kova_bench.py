"""The kova module's and kova2csv's speed on the 20000-node, 50-step sample,
against the yardsticks their goals name, all in one run:
  series     kova.open(...).series(nodes=[5 nodes]) against a whole kovainfo
             run on the same file (goal: at most 1.5x);
  head(k)    every head array read with head(k) against the numpy reader a user
             would write (the whole file read, the length fields walked,
             np.frombuffer with a structured dtype per record), both in this
             process (goal: no slower);
  kova2csv   a whole kova2csv run with 10 --at points (goal: under 0.1 s).
Medians of REPS runs (default 11) of wall time; the file is read once before,
so every run finds it in the page cache.

Usage: /usr/bin/python3 bench/kova_bench.py [BUILD_DIR]   (default: build)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(build, "tools", "python"))
import kova  # noqa: E402

REPS = int(os.environ.get("REPS", "11"))


def median_seconds(action):
    times = []
    for _ in range(REPS):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def program(*args):
    return lambda: subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def numpy_heads(path):
    """The plain numpy reader: every step's heads as arrays over the file's bytes."""
    with open(path, "rb") as f:
        data = f.read()
    pos = 0

    def record(dtype):
        nonlocal pos
        length = int.from_bytes(data[pos:pos + 4], "little", signed=True)
        items = np.frombuffer(data, dtype=dtype, count=length // np.dtype(dtype).itemsize, offset=pos + 4)
        pos += length + 8
        return items

    record("S80")
    record("<i4")
    record([("x", "<f8"), ("y", "<f8"), ("npar1", "<f8"), ("npar2", "<f8"), ("code", "<i4")])
    record("<i4")
    record([("ix", "<i4", 5), ("epar", "<f8")])
    heads = []
    while pos < len(data):
        record([("step", "<i4"), ("time", "<f8")])
        heads.append(record([("flag", "<i4"), ("h", "<f8"), ("q", "<f8")])["h"])
        record([("vx", "<f8"), ("vy", "<f8")])
    return heads


def kova_heads(path):
    r = kova.open(path)
    return [r.head(k) for k in range(len(r.steps))]


with tempfile.TemporaryDirectory() as work:
    subprocess.run([f"{build}/kovagen", "--nodes", "20000", "--steps", "50", "--dir", work], check=True,
                   stdout=subprocess.DEVNULL)
    path = os.path.join(work, "result.bin")
    assert all(np.array_equal(a, b) for a, b in zip(numpy_heads(path), kova_heads(path)))
    nodes = [1, 5000, 10000, 15000, 19881]  # kovagen makes a 141 x 141 grid
    points = [f"--at={x},{y}" for x, y in [(0, 0), (100, 50), (-300, 20), (750, -750), (1500, 1200),
                                           (-1999, -1999), (10.5, 10.5), (400, 0), (0, -900), (-1234, 567)]]

    info = median_seconds(program(f"{build}/kovainfo", path))
    series = median_seconds(lambda: kova.open(path).series(nodes=nodes))
    plain = median_seconds(lambda: numpy_heads(path))
    ours = median_seconds(lambda: kova_heads(path))
    csv = median_seconds(program(f"{build}/kova2csv", *points, path))

print(f"20000 nodes, 50 steps, medians of {REPS} runs:")
print(f"  series(5 nodes)      {series * 1e3:7.1f} ms   kovainfo run {info * 1e3:7.1f} ms   "
      f"ratio {series / info:.2f} (goal <= 1.5)")
print(f"  head(k), every step  {ours * 1e3:7.1f} ms   numpy reader {plain * 1e3:7.1f} ms   "
      f"ratio {ours / plain:.2f} (goal <= 1)")
print(f"  kova2csv, 10 points  {csv * 1e3:7.1f} ms   (goal < 100 ms)")
