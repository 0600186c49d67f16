"""ParaView opens kova2vtk's collection: every step at its time, every array.

Run with python3 as: paraview_check.py KOVAGEN KOVA2VTK. It makes a sample,
converts it and runs itself under pvbatch, which does the check. Exit 77 (a
skip) where ParaView's pvbatch is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

POINT_ARRAYS = {"head", "flux", "flag", "code", "velocity", "speed"}
CELL_ARRAYS = {"velocity", "speed", "attribute", "EPAR"}


def check_in_paraview(pvd, times):
    from paraview import servermanager
    from paraview.simple import PVDReader

    reader = PVDReader(FileName=pvd)
    assert list(reader.TimestepValues) == times, (list(reader.TimestepValues), times)
    assert set(reader.PointData.keys()) == POINT_ARRAYS, reader.PointData.keys()
    assert set(reader.CellData.keys()) == CELL_ARRAYS, reader.CellData.keys()
    for time in times:
        reader.UpdatePipeline(time)
        grid = servermanager.Fetch(reader)
        assert grid.GetFieldData().GetArray("TIME").GetValue(0) == time, time
    print(f"ParaView read {len(times)} steps at their times with every array")


if len(sys.argv) == 4 and sys.argv[1] == "--inside":
    check_in_paraview(sys.argv[2], [float(t) for t in sys.argv[3].split(",")])
    sys.exit(0)

KOVAGEN, KOVA2VTK = sys.argv[1:3]
pvbatch = shutil.which("pvbatch")
if pvbatch is None:
    print("skipped: ParaView's pvbatch is not installed (apt-get install paraview python3-paraview)")
    sys.exit(77)
# pvbatch runs Python scripts only with ParaView's Python modules installed.
if subprocess.run([pvbatch, "-c", "import paraview.simple"], stdout=subprocess.DEVNULL,
                  stderr=subprocess.DEVNULL).returncode != 0:
    print("skipped: ParaView's Python modules are not installed (apt-get install python3-paraview)")
    sys.exit(77)
with tempfile.TemporaryDirectory() as tmp:
    subprocess.run([KOVAGEN, "--nodes", "100", "--steps", "4", "--dir", tmp], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([KOVA2VTK, "--out", tmp, os.path.join(tmp, "result.bin")], check=True)
    # The sample's times: one minute to one day in geometric steps, whole seconds.
    times = ",".join(str(round(60 * (86400 / 60) ** (k / 3))) for k in range(4))
    sys.exit(subprocess.run([pvbatch, os.path.abspath(__file__), "--inside",
                             os.path.join(tmp, "result.pvd"), times]).returncode)
