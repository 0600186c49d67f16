#!/usr/bin/env bash
# Runs the whole-run benchmark: every step of a generated 20000-node, 50-step
# sample converted to each of the four targets (wall time, output MB/s, peak
# memory, and the time of copying the same bytes as the I/O floor), then
# TECPLOT runs of 2 and 200 steps whose peak memory should be the same.
# Usage: bash bench/run_bench.sh [BUILD_DIR]   (default: build; build it first:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j2)
# Further arguments go to the benchmark, e.g. --benchmark_filter=Convert/type:2
set -euo pipefail
build="${1:-build}"
shift || true
exe="$build/bench/wholerun_bench"
if [ ! -x "$exe" ] || [ ! -x "$build/kovaconv" ] || [ ! -x "$build/kovagen" ]; then
  echo "run_bench.sh: build $build first (kovaconv, kovagen, bench/wholerun_bench)" >&2
  exit 2
fi
exec "$exe" --benchmark_counters_tabular=true "$@"
