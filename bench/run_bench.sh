#!/usr/bin/env bash
# The converter's benchmarks in one run, summed up in one table per target:
#   instr/real  instructions per real formatted (callgrind, needs valgrind) of an
#               every-step conversion of a 2601-node, 3-step sample;
#   MB/s        output rate of an every-step conversion of a 20000-node, 50-step
#               sample (median of REPS runs), beside the plain stdio converter of
#               the same records (bench/stdio_converter.cpp) and the bulk-write
#               floor (the same bytes written from memory in 1 MiB blocks);
#   peak_MB     peak resident memory of the conversion;
# then TECPLOT runs of 2 and 200 steps, whose peak memory should be the same, and
# the exactness check of every real field kind against snprintf (VALUES per kind).
#
# Usage: bash bench/run_bench.sh [BUILD_DIR]   (default: build; build it first:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j2)
# Environment: BEFORE=path/to/an/earlier/kovaconv adds its figures to the table
# (same samples, same run); REPS (default 3); VALUES (default 10000000, 0 skips).
set -euo pipefail
build="${1:-build}"
bench="$build/bench"
for exe in "$build/kovaconv" "$build/kovagen" "$bench/wholerun_bench" "$bench/stdio_converter" \
  "$bench/exactness_check"; do
  if [ ! -x "$exe" ]; then
    echo "run_bench.sh: build $build first (missing $exe)" >&2
    exit 2
  fi
done
reps="${REPS:-3}"
values="${VALUES:-10000000}"
converters=("$(realpath "$build/kovaconv")")
[ -n "${BEFORE:-}" ] && converters+=("$(realpath "$BEFORE")")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

answers() {  # banner, data OK, menu type, output name (not for ATLAS), every step
  if [ "$1" = 3 ]; then printf '0\n0\n3\n-1\n'; else printf '0\n0\n%s\nout.dat\n-1\n' "$1"; fi
}

# Reals formatted by an every-step conversion of N nodes, E elements, S steps:
# restart and TECPLOT 6 per node and step plus the time; ATLAS the mesh's 3 per
# node, then per step the time, the heads and 2 per element; FEMAP the mesh's 3
# per node, then per step the set's 2 times, 8 x 3 extremes and 8 vectors.
reals() {
  local t=$1 n=$2 e=$3 s=$4
  case $t in
    1 | 2) echo $((6 * n * s + s)) ;;
    3) echo $((3 * n + s * (1 + n + 2 * e))) ;;
    4) echo $((3 * n + s * (2 + 24 + 5 * (n + 1) + 3 * (e + 1)))) ;;
  esac
}

summary="$work/summary.txt"
: >"$summary"
if command -v valgrind >/dev/null; then
  mkdir -p "$work/small"
  "$build/kovagen" --nodes 2601 --steps 3 --dir "$work/small" >/dev/null 2>&1
  for exe in "${converters[@]}"; do
    for t in 1 2 3 4; do
      run="$work/cg$t"
      rm -rf "$run" && mkdir "$run" && cp "$work/small/"* "$run/"
      answers "$t" >"$run/answers"
      (cd "$run" && valgrind --tool=callgrind --callgrind-out-file=cg.out "$exe" <answers >/dev/null 2>&1)
      ir=$(awk '/^summary:/ {print $2}' "$run/cg.out")
      echo "instr $exe $t $ir $(reals "$t" 2601 2600 3)" >>"$summary"
    done
  done
else
  echo "run_bench.sh: valgrind not found, no instruction counts" >&2
fi

for exe in "${converters[@]}"; do
  filter='BM_Convert'
  [ "$exe" = "${converters[0]}" ] && filter='BM_Convert|BM_Stdio|BM_BulkWrite|BM_StepMemory'
  KOVACONV="$exe" "$bench/wholerun_bench" --benchmark_filter="$filter" --benchmark_repetitions="$reps" \
    --benchmark_out="$work/run.json" --benchmark_out_format=json >/dev/null
  python3 - "$work/run.json" "$exe" >>"$summary" <<'EOF'
import json, statistics, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration" or "error_occurred" in b:
        continue
    name = b["run_name"].split("/iterations")[0].split("/manual_time")[0]
    runs.setdefault(name, []).append(b)
for name, bs in runs.items():
    med = lambda key: statistics.median(b.get(key, 0.0) for b in bs)
    print("run", sys.argv[2], name, med("MB/s"), med("peak_MB"), med("MB/cpu_s"))
EOF
done

if [ "$values" != 0 ]; then
  "$bench/exactness_check" "$values" | sed 's/^/exact /' >>"$summary"
fi

python3 - "$summary" "${converters[@]}" <<'EOF'
import sys
lines = [l.split() for l in open(sys.argv[1])]
exes = sys.argv[2:]
label = {exes[0]: "this build"}
if len(exes) > 1:
    label[exes[1]] = "before"
names = {"1": "restart", "2": "TECPLOT", "3": "ATLAS", "4": "FEMAP"}
instr = {(l[1], l[2]): int(l[3]) / int(l[4]) for l in lines if l[0] == "instr"}
rate = {(l[1], l[2]): (float(l[3]), float(l[4]), float(l[5])) for l in lines if l[0] == "run"}
none = (0.0, 0.0, 0.0)
floor = rate.get((exes[0], "BM_BulkWrite/MB:104"), none)[0]
print("MB/s: output bytes per second of wall time; cpu: per second of user + system time;")
print("x stdio: the same against the stdio converter; floor: bulk write %.0f MB/s" % floor)
print("%-8s %-10s %10s %7s %7s %7s %7s %7s %7s %8s" % ("target", "converter", "instr/real", "MB/s", "cpu",
                                                       "stdio", "cpu", "x stdio", "x cpu", "peak_MB"))
ratio = lambda a, b: "%.1f" % (a / b) if b else "-"
for t in "1234":
    s = rate.get((exes[0], "BM_Stdio/type:%s" % t), none)
    for exe in exes:
        i = instr.get((exe, t))
        r = rate.get((exe, "BM_Convert/type:%s" % t), none)
        print("%-8s %-10s %10s %7.0f %7.0f %7.0f %7.0f %7s %7s %8.1f" % (
            names[t], label[exe], "%.1f" % i if i else "-", r[0], r[2], s[0], s[2], ratio(r[0], s[0]),
            ratio(r[2], s[2]), r[1]))
for l in lines:
    if l[0] == "run" and "StepMemory" in l[2]:
        print("%s: peak %.1f MB" % (l[2], float(l[4])))
for l in lines:
    if l[0] == "exact":
        print(" ".join(l[1:]))
EOF
