"""Fixtures of the Python tests: real runs of the kirva program on small inputs, and the C++
reader's dump of a file (tests/tools/kirva_dump.cpp), kirva-syn and the homogeneous half-space
library of the Okada reference. ctest passes their paths in KIRVA_EXE, KIRVA_DUMP, KIRVA_SYN_EXE
and KIRVA_OKADA_LIBRARY."""

import os
import shutil
import struct
import subprocess
import sys

import numpy as np
import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
# The package as the environment gives it (ctest's PYTHONPATH=build/python: pure files and the
# compiled engine); otherwise the build tree's when there is one, else the source tree's.
if not any(os.path.isfile(os.path.join(p, "kirva", "__init__.py"))
           for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p):
    built = os.path.join(TOP, "build", "python")
    sys.path.insert(0, built if os.path.isdir(built) else os.path.join(TOP, "python"))

# Evenly spaced distances from the axis and three observation depths.
EVEN = """0.0  4.0  2.0
9  0.0  8.0
3  1.0  4.0
0
'./'  'ss.grn'  'ds.grn'  'cl.grn'
3
1  0.0  5.0  2.9  2600.0
2  2.0  6.0  3.5  2800.0
3  2.0  6.5  3.7  2900.0
"""

# Geometric distances from 300 m and a gradient layer.
GEOMETRIC = """1.0  3.0  2.0
7  0.3  -1.6
2  2.0  5.0
0
'./'  'ss.grn'  'ds.grn'  'cl.grn'
2
1  0.0  5.0  2.9  2600.0
2  6.0  6.5  3.7  2900.0
"""


def pytest_configure(config):
    # numpy ignores this notice of Cython modules (netCDF4) built against another numpy; pytest's
    # own warning filters would show it again.
    config.addinivalue_line("filterwarnings", "ignore:numpy.ndarray size changed:RuntimeWarning")


def _program(var, name):
    path = os.environ.get(var)
    if not path:
        guess = os.path.join(TOP, "build", name)
        if os.path.exists(guess):
            return guess
        pytest.skip("%s not set (run the tests through ctest)" % var)
    return path


@pytest.fixture(scope="session")
def kirva_exe():
    return _program("KIRVA_EXE", "kirva")


@pytest.fixture(scope="session")
def dump_exe():
    return _program("KIRVA_DUMP", "kirva_dump")


@pytest.fixture(scope="session")
def syn_exe():
    return _program("KIRVA_SYN_EXE", "kirva-syn")


@pytest.fixture(scope="session")
def okada_library():
    """The grnfun.all of okada-reference/homogeneous.inp, made by ctest's okada_library fixture."""
    return _program("KIRVA_OKADA_LIBRARY", os.path.join("okada-library", "grnfun.all"))


def run_kirva(exe, directory, text):
    with open(os.path.join(directory, "in.inp"), "w") as f:
        f.write(text)
    p = subprocess.run([exe, "in.inp"], cwd=directory, capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return directory


@pytest.fixture(scope="session", params=["even", "geometric"])
def run_dir(request, kirva_exe, tmp_path_factory):
    d = tmp_path_factory.mktemp(request.param)
    return str(run_kirva(kirva_exe, str(d), EVEN if request.param == "even" else GEOMETRIC))


@pytest.fixture(scope="session")
def even_dir(kirva_exe, tmp_path_factory):
    return str(run_kirva(kirva_exe, str(tmp_path_factory.mktemp("even1")), EVEN))


def kirva_cli(*args):
    """python3 -m kirva ARGS, from the repository's package."""
    env = dict(os.environ, PYTHONPATH=os.path.join(TOP, "python"))
    return subprocess.run([sys.executable, "-m", "kirva"] + list(args), capture_output=True,
                          text=True, env=env)


def with_explosion(src_dir, dest, times=(0.0,)):
    """A copy of src_dir's grnfun.all in dest and beside it a grnfun.ext of explosion tables at
    the given times (years) of random values, in the layout of src/tables/extension.h.
    Returns (path of the copy, the grnfun.ext bytes, values (ntables, nzrec, nzs, 7, nr))."""
    path = shutil.copy(os.path.join(src_dir, "grnfun.all"), os.path.join(str(dest), "grnfun.all"))
    with open(path, "rb") as f:
        head = f.read()
    nlayer, nr, nzs, nzrec = (struct.unpack_from("<i", head, o)[0] for o in (0, 4, 24, 44))
    values = np.random.default_rng(1).normal(size=(len(times), nzrec, nzs, 7, nr))
    ext = (b"KIRVAEXT" + struct.pack("<ii", 1, len(times)) + head[:64 + 32 * nlayer]
           + b"".join(struct.pack("<iid", 4, 0, t) for t in times)
           + b"".join(values[:, k].astype("<f8").tobytes() for k in range(nzrec)))
    with open(os.path.join(str(dest), "grnfun.ext"), "wb") as f:
        f.write(ext)
    return path, ext, values
