"""The kova module and kova2csv: arrays of a model worked out by hand,
interpolation, damage, the one-step memory bound, and kova2csv's table
against the module's series."""
import csv
import importlib.util
import io
import math
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import kova
from conftest import KOVA2CSV, KOVAGEN, result_file, run

# Six nodes. Element 1 is a distorted quadrilateral, element 2 a triangle
# stored with its third corner repeated; they share the edge from node 2 to
# node 3. Element 3 has attribute 0 (not counted); only it touches node 6.
NODES = [(0.0, 0.0, 1), (2.0, 0.0, 0), (2.5, 2.2, 0), (-0.3, 1.8, 1), (4.0, 1.0, 0), (5.0, 5.0, 0)]
QUAD, TRIANGLE, LEFT_OUT = (1, 2, 3, 4, 1), (2, 5, 3, 3, 2), (3, 5, 6, 0, 0)
TITLE = "地下水 TEST"


def linear(x, y):
    return 10.0 + x - 0.5 * y


# Step 10: the linear head field above; step 20: heads that follow no rule.
STEP_10 = (10, 0.5, [(i % 2, linear(x, y), 0.1 * i) for i, (x, y, _) in enumerate(NODES)],
           [(1.0, 2.0), (3.0, -4.0), (100.0, 100.0)])
STEP_20 = (20, 2.0, [(0, h, -1.0 if i == 0 else 0.0) for i, h in enumerate([20, 21.5, 19, 18, 25, 30])],
           [(-1.0, 0.0), (0.0, 5.0), (7.0, 7.0)])
MODEL = result_file(TITLE, NODES, [QUAD, TRIANGLE, LEFT_OUT], [STEP_10, STEP_20])
# Model part 88 + 12 + 224 + 12 + 92 = 428 bytes, each step 20 + 128 + 56:
# step 20's node record starts at 428 + 204 + 20.
STEP_20_NODES_AT = 652


@pytest.fixture
def hand(tmp_path):
    path = tmp_path / "hand.bin"
    path.write_bytes(MODEL)
    return path


def test_arrays_of_the_model_worked_out_by_hand(hand):
    r = kova.open(hand)
    assert r.title == TITLE
    assert r.nodes.dtype == np.float64 and r.nodes.tolist() == [[x, y] for x, y, _ in NODES]
    assert r.codes.dtype == np.int32 and r.codes.tolist() == [1, 0, 0, 1, 0, 0]
    assert r.elements.dtype == np.int32 and r.elements.tolist() == [[1, 2, 3, 4], [2, 5, 3, 3], [3, 5, 6, 0]]
    assert r.attributes.tolist() == [1, 2, 0]
    assert r.steps == [(10, 0.5), (20, 2.0)] and r.times.tolist() == [0.5, 2.0]
    assert r.damage is None
    assert r.head(0).tolist() == [linear(x, y) for x, y, _ in NODES]
    assert r.flux(0).tolist() == [0.0, 0.1, 0.2, 0.30000000000000004, 0.4, 0.5]
    assert r.flags(0).dtype == np.int32 and r.flags(0).tolist() == [0, 1, 0, 1, 0, 1]
    assert r.velocity(1).tolist() == [[-1, 0], [0, 5], [7, 7]]
    # Counted elements only: nodes 2 and 3 take the mean of elements 1 and 2,
    # node 6 (only in element 3) none.
    assert r.node_velocity(0).tolist() == [[1, 2], [2, -1], [2, -1], [1, 2], [3, -4], [0, 0]]
    assert r.head(-1).tolist() == [20, 21.5, 19, 18, 25, 30]
    assert r.heads().tolist() == [r.head(0).tolist(), r.head(1).tolist()]
    with pytest.raises(IndexError):
        r.head(2)


def test_series_at_nodes_and_points_and_their_velocities(hand):
    r = kova.open(hand)
    times, values = r.series(nodes=[2, 5], what="head")
    assert times.tolist() == [0.5, 2.0] and values.tolist() == [[linear(2, 0), linear(4, 1)], [21.5, 25]]
    # At a node the velocity is the averaged one, at a point its element's own.
    assert r.series(nodes=[2], at=[(3.0, 1.0)], what="vx")[1].tolist() == [[2, 3], [-0.5, 0]]
    assert r.series(nodes=[2], at=[(3.0, 1.0)], what="speed")[1].tolist() == [[math.sqrt(5), 5], [math.sqrt(6.5), 5]]
    with pytest.raises(ValueError):
        r.series(nodes=[1], what="depth")
    with pytest.raises(kova.Error, match="node 7 is not in the model"):
        r.series(nodes=[7])


def test_interpolation(tmp_path, hand):
    r = kova.open(hand)
    # At every node of a counted element: that element, weight 1 there, the
    # nodal value exactly.
    for n, (x, y, _) in enumerate(NODES[:5], start=1):
        element, corners, weights = r.locate(x, y)
        assert weights[list(corners).index(n)] == 1.0 and weights.sum() == 1.0
        assert r.series(at=[(x, y)])[1][:, 0].tolist() == r.series(nodes=[n])[1][:, 0].tolist()

    # A linear field is reproduced on the distorted quadrilateral (points
    # placed by its forward map) and on the triangle.
    corners = np.array([NODES[i][:2] for i in range(4)])
    points = []
    for xi in (-0.9, -0.3, 0.0, 0.5, 1.0):
        for eta in (-1.0, -0.2, 0.4, 0.8):
            shape = 0.25 * np.array([(1 - xi) * (1 - eta), (1 + xi) * (1 - eta), (1 + xi) * (1 + eta),
                                     (1 - xi) * (1 + eta)])
            points.append(tuple(shape @ corners))
    points += [(3.0, 1.0), (2.6, 0.9), (3.9, 1.0)]
    values = r.series(at=points)[1][0]
    assert values == pytest.approx([linear(x, y) for x, y in points], abs=1e-12)
    assert r.locate(3.0, 1.0)[0] == 2 and r.locate(*points[0])[0] == 1

    # A point on the edge shared by elements 1 and 2 gives the same value
    # whichever element it is found in (here with step 20's heads, which no
    # single linear field fits): the files differ in the order of the elements.
    swapped = tmp_path / "swapped.bin"
    swapped.write_bytes(result_file(TITLE, NODES, [TRIANGLE, QUAD, LEFT_OUT], [STEP_10, STEP_20]))
    edge = (0.3 * 2.0 + 0.7 * 2.5, 0.3 * 0.0 + 0.7 * 2.2)
    s = kova.open(swapped)
    assert sorted(r.locate(*edge)[1]) == [1, 2, 3, 4] and sorted(s.locate(*edge)[1]) == [2, 3, 5]
    assert r.series(at=[edge])[1][1, 0] == pytest.approx(s.series(at=[edge])[1][1, 0], abs=1e-12)
    assert r.series(at=[edge])[1][1, 0] == pytest.approx(0.3 * 21.5 + 0.7 * 19, abs=1e-12)

    # Node 6 lies only in the element that is not counted.
    with pytest.raises(kova.Error, match=r"point \(5.0, 5.0\) lies in no counted element"):
        r.locate(5.0, 5.0)
    assert r.series(at=[(5.0, 5.0)], nearest=True)[1][:, 0].tolist() == r.series(nodes=[3])[1][:, 0].tolist()


def test_damaged_files(tmp_path, hand):
    cut = tmp_path / "cut.bin"
    cut.write_bytes(MODEL[:STEP_20_NODES_AT + 8])
    r = kova.open(cut)
    assert r.damage == (STEP_20_NODES_AT, "record length runs past the end of the file")
    assert r.steps == [(10, 0.5)] and r.head(0).tolist() == kova.open(hand).head(0).tolist()

    # A damaged model part, a missing file: kova.Error, an OSError, with the tools' texts.
    cut.write_bytes(MODEL[:300])
    with pytest.raises(kova.Error, match=f"{cut}: damaged at byte 100: record length runs past the end"):
        kova.open(cut)
    with pytest.raises(OSError, match="No such file or directory"):
        kova.open(tmp_path / "absent.bin")

    # A file cut after it was opened was written anew: no step of it reads.
    cut.write_bytes(MODEL)
    r = kova.open(cut)
    with open(cut, "r+b") as f:
        f.truncate(STEP_20_NODES_AT + 8)
    for k in (0, 1):
        with pytest.raises(kova.Error, match=r"shrank while it was read \(the file changed after it was opened\)"):
            r.head(k)


def test_a_series_holds_one_step_at_a_time(tmp_path):
    # 100000 nodes, 30 steps: the results are about 110 MB. The growth of the
    # resident memory over a series of every step must stay within a few
    # steps' arrays (the reader's record and the store's step), far below them.
    assert run(KOVAGEN, "--nodes", 100000, "--steps", 30, "--dir", tmp_path).returncode == 0
    script = textwrap.dedent("""
        import resource, sys, kova
        import numpy  # loaded by the first array made; its own memory is not a step's
        r = kova.open(sys.argv[1])
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        times, values = r.series(nodes=[1, 2, 3, 4, 5])
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        print(len(r.steps), len(r.nodes), len(r.elements), (after - before) * 1024)
    """)
    out = subprocess.run([sys.executable, "-c", script, tmp_path / "result.bin"], capture_output=True, text=True,
                         env=os.environ, check=True)
    steps, nodes, elements, growth = map(int, out.stdout.split())
    step_bytes = 20 * nodes + 16 * elements
    assert steps == 30 and growth < 2 * step_bytes


def test_kova2csv_against_the_module(sample, tmp_path):
    r = kova.open(sample)
    wells = tmp_path / "wells.csv"
    wells.write_bytes(b"W1, 0, 0\r\n\r\nW\"2,-150.5,300\r\n")
    quantities = ["head", "flux", "vx", "vy", "speed"]
    out = run(KOVA2CSV, "--nodes", "1,210", "--at", "100,50", "--at-file", wells, "--what", ",".join(quantities),
              "--output", tmp_path / "t.csv", sample)
    assert out.returncode == 0 and out.stderr == ""
    raw = (tmp_path / "t.csv").read_bytes()
    assert raw.count(b"\r\n") == 6 and raw.count(b"\n") == 6
    rows = list(csv.reader(io.StringIO(raw.decode())))
    names = ["1", "210", "100;50", "W1", 'W"2']
    assert rows[0] == ["step", "time"] + [f"{q}@{n}" for q in quantities for n in names]
    assert [(int(row[0]), float(row[1])) for row in rows[1:]] == r.steps
    table = np.array([[float(v) for v in row[2:]] for row in rows[1:]])
    for k, q in enumerate(quantities):
        times, values = r.series(nodes=[1, 210], at=[(100, 50), (0, 0), (-150.5, 300)], what=q)
        assert table[:, 5 * k:5 * k + 5].tolist() == values.tolist(), q

    # Step choices as kova2vtk's, and a point outside taken at its nearest node.
    out = run(KOVA2CSV, "--nodes", 1, "--steps", "final", sample)
    assert [float(v) for v in out.stdout.splitlines()[1].split(",")] == [5, 86400, r.head(-1)[0]]
    assert len(out.stdout.splitlines()) == 2
    out = run(KOVA2CSV, "--nodes=1", "--steps=3,7", sample)
    assert out.returncode == 0 and len(out.stdout.splitlines()) == 2
    assert out.stderr == "kova2csv: warning: time step 7 is not in the result file\n"
    far = run(KOVA2CSV, "--at", "1e6,0", "--nearest", sample).stdout.splitlines()
    corner = int(np.argmax(r.nodes[:, 0] - np.abs(r.nodes[:, 1])))  # the east node on the axis
    assert [float(row.split(",")[2]) for row in far[1:]] == r.series(nodes=[corner + 1])[1][:, 0].tolist()


def test_to_meshio(sample):
    meshio = pytest.importorskip("meshio")
    r = kova.open(sample)
    mesh = r.to_meshio(2)
    assert isinstance(mesh, meshio.Mesh)
    assert mesh.point_data["head"].tolist() == r.head(2).tolist()
    assert mesh.point_data["velocity"].tolist() == r.node_velocity(2).tolist()
    assert sum(len(block.data) for block in mesh.cells) == len(r.elements)


def test_every_fuzz_seed_opens_or_raises(tmp_path):
    # The fuzz seeds (after the two bytes that steer the converter's answers):
    # damaged models, negative counts, stray corners, NaN and extreme values.
    # Each opens or raises kova.Error; every step of those that open reads.
    seeds = os.path.join(os.path.dirname(__file__), "..", "..", "fuzz", "corpus", "result")
    for name in sorted(os.listdir(seeds)):
        path = tmp_path / name
        with open(os.path.join(seeds, name), "rb") as seed:
            path.write_bytes(seed.read()[2:])
        try:
            r = kova.open(path)
        except kova.Error as e:
            assert str(e).startswith((f"{path}: damaged at byte ", f"{path}: not a result file: ")), name
            continue
        for k in range(len(r.steps)):
            r.head(k), r.flags(k), r.velocity(k), r.node_velocity(k)
        if len(r.nodes) > 0:
            assert r.series(nodes=[len(r.nodes)], what="speed")[1].shape == (len(r.steps), 1)
        if r.steps and importlib.util.find_spec("meshio"):
            r.to_meshio(-1)
