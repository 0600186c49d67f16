"""kova2vtk and kovainfo against independent readers.

A generated sample, a copy with a stray corner and a cut copy are written.
Every .vtu listed in each .pvd is read back with VTK's XML reader and meshio
reads one; every value must equal the one decoded here from the result file,
heads bit for bit, node velocities as the TECPLOT rule averages them.
kovainfo's JSON must parse and agree with the decoded file.

usage: vtk_roundtrip.py KOVAGEN KOVA2VTK KOVAINFO   (exit 77: readers missing)
"""
import json
import math
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

try:
    import numpy as np
    import meshio
    from vtkmodules.util.numpy_support import vtk_to_numpy
    from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
except ImportError as missing:
    print(f"skipped: {missing} (apt-get install python3-vtk9 python3-meshio)")
    sys.exit(77)

KOVAGEN, KOVA2VTK, KOVAINFO = sys.argv[1:4]


def records(data):
    at = 0
    while at < len(data):
        (length,) = struct.unpack_from("<i", data, at)
        if at + 8 + length > len(data):
            return  # a record cut off: the file's end
        yield data[at + 4:at + 4 + length]
        at += 8 + length


def decode(path):
    """The result file's records, by the documented layout."""
    r = list(records(open(path, "rb").read()))
    numnp, numel = struct.unpack("<i", r[1])[0], struct.unpack("<i", r[3])[0]
    nodes = [struct.unpack_from("<ddddi", r[2], 36 * i) for i in range(numnp)]
    elements = [struct.unpack_from("<iiiiid", r[4], 28 * e) for e in range(numel)]
    steps = []
    for k in range(5, len(r) - 2, 3):
        istep, time = struct.unpack("<id", r[k])
        results = [struct.unpack_from("<idd", r[k + 1], 20 * i) for i in range(numnp)]
        velocities = [struct.unpack_from("<dd", r[k + 2], 16 * e) for e in range(numel)]
        steps.append((istep, time, results, velocities))
    return r[0], nodes, elements, steps


def node_average(numnp, elements, velocities):
    """Counted elements (attribute above 0); three corners when the fourth
    repeats the third; corners outside 1..NUMNP take no share."""
    sx, sy, n = [0.0] * numnp, [0.0] * numnp, [0] * numnp
    for ix, (vx, vy) in zip(elements, velocities):
        if ix[4] <= 0:
            continue
        for c in ix[:3 if ix[2] == ix[3] else 4]:
            if 1 <= c <= numnp:
                sx[c - 1] += vx
                sy[c - 1] += vy
                n[c - 1] += 1
    return [(x / k, y / k) if k else (0.0, 0.0) for x, y, k in zip(sx, sy, n)]


def same(got, want, what):
    got, want = np.asarray(got), np.asarray(want, dtype=got.dtype).reshape(got.shape)
    assert got.tobytes() == want.tobytes(), what


def check_vtu(path, decoded, index):
    _, nodes, elements, steps = decoded
    istep, time, results, velocities = steps[index - 1]
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(path)
    reader.Update()
    grid = reader.GetOutput()
    point = lambda name: vtk_to_numpy(grid.GetPointData().GetArray(name))
    cell = lambda name: vtk_to_numpy(grid.GetCellData().GetArray(name))
    field = lambda name: vtk_to_numpy(grid.GetFieldData().GetArray(name))

    same(vtk_to_numpy(grid.GetPoints().GetData()), [(x, y, 0.0) for x, y, *_ in nodes], "points")
    same(field("TIME"), [time], "TIME")
    same(field("STEP"), [istep], "STEP")
    same(point("head"), [h for _, h, _ in results], "head")
    same(point("flux"), [q for _, _, q in results], "flux")
    same(point("flag"), [f for f, _, _ in results], "flag")
    same(point("code"), [n[4] for n in nodes], "code")
    average = node_average(len(nodes), elements, velocities)
    same(point("velocity"), [(x, y, 0.0) for x, y in average], "node velocity")
    same(point("speed"), [math.sqrt(x * x + y * y) for x, y in average], "node speed")

    # Cells: elements whose corners all name nodes, in file order.
    kept = []
    for e, ix in enumerate(elements):
        triangle = ix[3] == 0 or ix[3] == ix[2]
        corners = ix[:3] if triangle else ix[:4]
        if all(1 <= c <= len(nodes) for c in corners):
            kept.append((e, triangle, corners))
    assert grid.GetNumberOfCells() == len(kept), "cell count"
    for c, (e, triangle, corners) in enumerate(kept):
        assert grid.GetCellType(c) == (5 if triangle else 9), f"cell {c} type"
        ids = grid.GetCell(c).GetPointIds()
        assert [ids.GetId(k) + 1 for k in range(ids.GetNumberOfIds())] == list(corners), f"cell {c}"
    vel = [velocities[e] for e, _, _ in kept]
    same(cell("velocity"), [(x, y, 0.0) for x, y in vel], "cell velocity")
    same(cell("speed"), [math.sqrt(x * x + y * y) for x, y in vel], "cell speed")
    same(cell("attribute"), [elements[e][4] for e, _, _ in kept], "attribute")
    same(cell("EPAR"), [elements[e][5] for e, _, _ in kept], "EPAR")


def convert(result, out, expect_status):
    run = subprocess.run([KOVA2VTK, "--out", out, result], capture_output=True, text=True)
    assert run.returncode == expect_status, (result, run.returncode, run.stderr)
    base = os.path.splitext(os.path.basename(result))[0]
    sets = ET.parse(os.path.join(out, base + ".pvd")).getroot().iter("DataSet")
    return [(float(d.get("timestep")), os.path.join(out, d.get("file"))) for d in sets]


def check_info(result, decoded, clean):
    title, nodes, elements, steps = decoded
    run = subprocess.run([KOVAINFO, "--json", result], capture_output=True, text=True)
    assert run.returncode == (0 if clean else 1), run.stderr
    info = json.loads(run.stdout)
    triangles = sum(1 for ix in elements if ix[3] == 0 or ix[3] == ix[2])
    assert info["title"] == title.decode("cp932").rstrip(" ")
    assert (info["nodes"], info["elements"]) == (len(nodes), len(elements))
    assert (info["triangles"], info["quadrilaterals"]) == (triangles, len(elements) - triangles)
    assert info["not_counted"] == sum(1 for ix in elements if ix[4] <= 0)
    assert info["stray_corners"] == sum(1 for ix in elements for c in ix[:4] if c < 0 or c > len(nodes))
    xs, ys = [n[0] for n in nodes], [n[1] for n in nodes]
    assert info["extent"] == [min(xs), max(xs), min(ys), max(ys)]
    assert len(info["steps"]) == len(steps)
    for k, (s, (istep, time, results, velocities)) in enumerate(zip(info["steps"], steps), 1):
        heads = [h for _, h, _ in results]
        speed = max(math.sqrt(x * x + y * y) for x, y in velocities)
        assert (s["index"], s["step"], s["time"]) == (k, istep, time)
        assert (s["head_min"], s["head_max"], s["speed_max"]) == (min(heads), max(heads), speed)
    assert info["end"]["clean"] is clean


with tempfile.TemporaryDirectory() as tmp:
    subprocess.run([KOVAGEN, "--nodes", "400", "--steps", "3", "--dir", tmp], check=True,
                   stdout=subprocess.DEVNULL)
    sample = os.path.join(tmp, "result.bin")
    data = open(sample, "rb").read()
    # Element 1's second corner beyond the nodes: the element is no cell and
    # its other corners still average its velocity.
    stray = bytearray(data)
    struct.pack_into("<i", stray, 88 + 12 + (36 * 400 + 8) + 12 + 4 + 4, 99999)
    open(os.path.join(tmp, "stray.bin"), "wb").write(stray)
    # Cut inside the last step: its two predecessors are the whole steps.
    open(os.path.join(tmp, "cut.bin"), "wb").write(data[:-100])

    for name, status in ("result", 0), ("stray", 0), ("cut", 1):
        result = os.path.join(tmp, name + ".bin")
        decoded = decode(result)
        sets = convert(result, os.path.join(tmp, "vtk"), status)
        assert [t for t, _ in sets] == [s[1] for s in decoded[3]], name
        for index, (_, path) in enumerate(sets, 1):
            check_vtu(path, decoded, index)
        check_info(result, decoded, status == 0)

    mesh = meshio.read(os.path.join(tmp, "vtk", "result_0003.vtu"))
    _, nodes, _, steps = decode(sample)
    same(mesh.points[:, :2], [(x, y) for x, y, *_ in nodes], "meshio points")
    same(mesh.point_data["head"], [h for _, h, _ in steps[2][2]], "meshio head")
    same(mesh.field_data["TIME"], [steps[2][1]], "meshio TIME")
print("VTK and meshio read back every value; kovainfo agrees")
