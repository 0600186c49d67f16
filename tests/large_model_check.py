"""Models past the number fields, read back by independent readers.

A generated model of about 150000 nodes and 3 steps is converted to TECPLOT,
whose node numbers then take 7 columns. Each block, split off and given its
element type, is read by VTK's Tecplot reader: every node with its
coordinates and head as written, every counted element with its corners.
kovainfo and kova2vtk are run on a model of about 200000 nodes: the report
gives its counts, and VTK's XML reader reads every node and element back.

usage: large_model_check.py KOVAGEN KOVACONV KOVAINFO KOVA2VTK   (exit 77: readers missing)
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from vtkmodules.util.numpy_support import vtk_to_numpy
    from vtkmodules.vtkIOGeometry import vtkTecplotReader
    from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
except ImportError as missing:
    print(f"skipped: {missing} (apt-get install python3-vtk9)")
    sys.exit(77)

KOVAGEN, KOVACONV, KOVAINFO, KOVA2VTK = sys.argv[1:5]


def decode(path):
    """Coordinates, element table and per step the heads, by the documented layout."""
    data = open(path, "rb").read()
    records, at = [], 0
    while at < len(data):
        (length,) = struct.unpack_from("<i", data, at)
        records.append(data[at + 4:at + 4 + length])
        at += 8 + length
    node = np.dtype([("x", "<f8"), ("y", "<f8"), ("p1", "<f8"), ("p2", "<f8"), ("code", "<i4")])
    element = np.dtype([("ix", "<i4", 5), ("epar", "<f8")])
    result = np.dtype([("flag", "<i4"), ("h", "<f8"), ("q", "<f8")])
    nodes = np.frombuffer(records[2], node)
    ix = np.frombuffer(records[4], element)["ix"]
    heads = [np.frombuffer(records[k + 1], result)["h"] for k in range(5, len(records), 3)]
    return nodes, ix, heads


def as_written(values):
    """1PE12.4: five significant digits, as the reader keeps them."""
    return np.array([float(f"{v:.4e}") for v in values], dtype=np.float32)


def generate(folder, nodes, steps):
    subprocess.run([KOVAGEN, "--nodes", str(nodes), "--steps", str(steps), "--dir", folder],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(folder, "result.bin")


def check_tecplot(folder):
    nodes, ix, heads = decode(generate(folder, 150000, 3))
    run = subprocess.run([KOVACONV], input=b"0\n0\n2\ntec.plt\n-1\n", cwd=folder, capture_output=True)
    assert run.returncode == 0, run.stderr
    assert run.stderr.decode() == (f"kovaconv: warning: NUMNP={len(nodes)} does not fit the 5-digit "
                                   "fields of tec.plt; they are written 7 wide\n"), run.stderr
    counted = ix[ix[:, 4] > 0]
    blocks = open(os.path.join(folder, "tec.plt"), "rb").read().split(b"TITLE = ")[1:]
    assert len(blocks) == len(heads) == 3
    for step, block in enumerate(blocks):
        # One block a file, its zone line naming the element type.
        lines = (b"TITLE = " + block).split(b"\r\n", 3)
        assert lines[2] == b"ZONE N= %7d, E= %7d, F=FEPOINT" % (len(nodes), len(counted)), lines[2]
        lines[2] += b", ET=QUADRILATERAL"
        path = os.path.join(folder, f"block{step + 1}.plt")
        open(path, "wb").write(b"\r\n".join(lines))
        reader = vtkTecplotReader()
        reader.SetFileName(path)
        reader.Update()
        grid = reader.GetOutput().GetBlock(0)
        assert grid.GetNumberOfPoints() == len(nodes)
        assert grid.GetNumberOfCells() == len(counted)
        points = vtk_to_numpy(grid.GetPoints().GetData())
        assert np.array_equal(points[:, 0], as_written(nodes["x"])), "x"
        assert np.array_equal(points[:, 1], as_written(nodes["y"])), "y"
        head = vtk_to_numpy(grid.GetPointData().GetArray("H"))
        assert np.array_equal(head, as_written(heads[step])), f"H of step {step + 1}"
        # Corners as stored, from 0: an absent corner (0) reads as -1.
        corners = vtk_to_numpy(grid.GetCells().GetConnectivityArray())
        assert np.array_equal(corners, (counted[:, :4] - 1).ravel()), "corners"


def check_tools(folder):
    result = generate(folder, 200000, 1)
    nodes, ix, heads = decode(result)
    assert len(nodes) > 199000 and len(ix) > 199000
    run = subprocess.run([KOVAINFO, "--json", result], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    info = json.loads(run.stdout)
    assert (info["nodes"], info["elements"], len(info["steps"])) == (len(nodes), len(ix), 1)
    out = os.path.join(folder, "vtk")
    run = subprocess.run([KOVA2VTK, "--out", out, result], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(os.path.join(out, "result_0001.vtu"))
    reader.Update()
    grid = reader.GetOutput()
    assert grid.GetNumberOfPoints() == len(nodes)
    assert grid.GetNumberOfCells() == len(ix)  # every corner of the sample names a node
    assert np.array_equal(vtk_to_numpy(grid.GetPointData().GetArray("head")), heads[0])
    triangle = (ix[:, 3] == 0) | (ix[:, 3] == ix[:, 2])
    want = np.concatenate([row[:3] if tri else row[:4] for row, tri in zip(ix - 1, triangle)])
    assert np.array_equal(vtk_to_numpy(grid.GetCells().GetConnectivityArray()), want), "cells"


with tempfile.TemporaryDirectory() as tmp:
    os.mkdir(os.path.join(tmp, "tecplot"))
    os.mkdir(os.path.join(tmp, "tools"))
    check_tecplot(os.path.join(tmp, "tecplot"))
    check_tools(os.path.join(tmp, "tools"))
print("VTK reads every node and element of the widened TECPLOT blocks; kovainfo and kova2vtk take 200000 nodes")
