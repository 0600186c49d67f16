"""Shared pieces of the kova module tests: the built programs (paths from
ctest's environment) and a writer of small result files laid out by hand."""
import os
import struct
import subprocess

import pytest

KOVAGEN = os.environ.get("KOVAGEN", "kovagen")
KOVA2CSV = os.environ.get("KOVA2CSV", "kova2csv")


def record(data):
    """One unformatted record: its length before and after its bytes."""
    return struct.pack("<i", len(data)) + data + struct.pack("<i", len(data))


def result_file(title, nodes, elements, steps):
    """The bytes of a result file.

    nodes: (x, y, code); elements: (c1, c2, c3, c4, attribute);
    steps: (step, time, [(flag, head, flux)] per node, [(vx, vy)] per element).
    """
    out = record(title.encode("cp932").ljust(80))
    out += record(struct.pack("<i", len(nodes)))
    out += record(b"".join(struct.pack("<4di", x, y, 0.0, 0.0, code) for x, y, code in nodes))
    out += record(struct.pack("<i", len(elements)))
    out += record(b"".join(struct.pack("<5id", *e, 0.0) for e in elements))
    for step, time, node_results, element_results in steps:
        out += record(struct.pack("<id", step, time))
        out += record(b"".join(struct.pack("<idd", *r) for r in node_results))
        out += record(b"".join(struct.pack("<dd", *v) for v in element_results))
    return out


def run(*args, cwd=None):
    return subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True)


@pytest.fixture(scope="session")
def sample(tmp_path_factory):
    """The bundled pumping-test sample: 400 nodes, 5 steps."""
    folder = tmp_path_factory.mktemp("sample")
    assert run(KOVAGEN, "--nodes", 400, "--steps", 5, "--dir", folder).returncode == 0
    return folder / "result.bin"
