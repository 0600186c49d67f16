#!/usr/bin/env bash
# Builds kovaconv, the sample generator and the result tools kovainfo and
# kova2vtk, makes the bundled sample (a pumping test, 400 nodes, 5 time steps)
# in examples/out/ and converts it four times,
# the answers piped from the answer files beside this script:
#   answers-restart.txt  restart data of the final step   -> restart.dat
#   answers-tecplot.txt  TECPLOT, every step              -> theis.plt
#   answers-atlas.txt    ATLAS, every step                -> atlas.msh, atlas.pst
#   answers-femap.txt    FEMAP neutral file, every step   -> theis.neu
# What the converter shows on the console goes to <kind>.log beside the outputs.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

cmake -S "$root" -B "$root/build"
cmake --build "$root/build" -j2 --target kovaconv kovagen kovainfo kova2vtk

out="$here/out"
mkdir -p "$out"
"$root/build/kovagen" --nodes 400 --steps 5 --dir "$out"

# The converter reads WORK.LST from, and writes into, the current directory.
cd "$out"
for kind in restart tecplot atlas femap; do
  "$root/build/kovaconv" < "$here/answers-$kind.txt" > "$kind.log" || {
    status=$?
    echo "$kind: kovaconv ended with status $status; see examples/out/$kind.log" >&2
    exit 1
  }
  echo "$kind: done (console output in examples/out/$kind.log)"
done

echo
echo "Outputs in $out:"
ls -l restart.dat theis.plt atlas.msh atlas.pst theis.neu
