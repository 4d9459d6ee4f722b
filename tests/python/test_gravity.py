"""kirva --gravity: the buoyancy of an earth in hydrostatic pre-stress, against values from the
literature and an independent relaxed state."""

import os
import subprocess

import numpy as np
import pytest

import kirva

# Half-space of mu = 30 GPa, rho = 2700, nu = 0.25.
HALF_SPACE = "1\n1 0.0 5.7735027 3.3333333 2700.0\n"


def run(exe, d, model, depths, options, distances="201 0 200"):
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "in.inp"), "w") as f:
        f.write("0 0 1\n%s\n%s\n0\n'./' 'ss.grn' 'ds.grn' 'cl.grn'\n%s" % (distances, depths, model))
    p = subprocess.run([exe] + options + ["in.inp"], cwd=d, capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return kirva.read_library(os.path.join(d, "grnfun.all"))


@pytest.mark.parametrize("mode", [[], ["--accurate"]])
def test_buoyancy_of_a_half_space(kirva_exe, tmp_path, mode):
    d = str(tmp_path)
    none = run(kirva_exe, d + "/none", HALF_SPACE, "19 2 20", mode + ["--isotropic"])
    zero = run(kirva_exe, d + "/zero", HALF_SPACE, "19 2 20", mode + ["--isotropic", "--gravity", "0"])
    g = run(kirva_exe, d + "/g", HALF_SPACE, "19 2 20", mode + ["--isotropic", "--gravity", "9.82"])
    # G = 0 is today's earth, file for file; the libraries tell their gravity.
    for name in ("grnfun.all", "grnfun.ext", "ss.grn"):
        with open(os.path.join(d, "none", name), "rb") as a, open(os.path.join(d, "zero", name),
                                                                   "rb") as b:
            assert a.read() == b.read(), name
    assert (none.gravity, zero.gravity, g.gravity) == (None, 0.0, 9.82)
    # A Mogi source 10 km deep (Mogi's volume change is the explosion's): uz with gravity over uz
    # without, directly above and at 30 and 100 km, as the gravitating half-space gives them (in
    # the accurate mode: the plain one smooths over half the 8 km depth step here).
    j = int(np.argmin(np.abs(g.zs - 10000)))
    for r, want in ((0, 0.9936), (30, 0.939), (100, 0.46)) if mode else ():
        i = int(np.argmin(np.abs(g.r - r * 1000)))
        assert g.table("ex")[0, j, 0, i] / none.table("ex")[0, j, 0, i] == pytest.approx(
            want, abs=0.005 if r == 100 else 0.002), r
    # The change is of the order of rho g d / mu of each peak, below twice that.
    for j, depth in enumerate(g.zs):
        scale = 2700 * 9.82 * depth / 3e10
        for t in ("ss", "ds", "cl", "ex"):
            for c in range(2):
                a, b = none.table(t)[0, j, c], g.table(t)[0, j, c]
                change = np.abs(b - a).max() / np.abs(a).max() / scale
                assert 0.02 < change < 2, (t, c, depth)


def test_relaxed_maxwell_half_space_under_an_elastic_plate(kirva_exe, tmp_path):
    """Late after a step of slip, the tables of an elastic plate over a Maxwell half-space (4.7
    years) reach the relaxed state, which buoyancy bounds: that of the elastic run whose
    half-space keeps its bulk modulus and has all but lost its shear modulus."""
    plate = "1 0 6.0 3.46 2800\n2 30 6.0 3.46 2800\n"
    d = str(tmp_path)
    mx = run(kirva_exe, d + "/maxwell", "3\n" + plate + "3 30 8.0 4.5 3300 1e19\n", "2 10 11",
             ["--accurate", "--gravity", "9.82", "--times", "1e4,1e5"], "101 0 200")
    relaxed = run(kirva_exe, d + "/relaxed", "3\n" + plate + "3 30 6.0827626 0.001 3300\n",
                  "2 10 11", ["--accurate", "--gravity", "9.82"], "101 0 200")
    for t in ("ss", "ds", "cl"):
        peak = np.abs(mx.table(t)[:, :, :2]).max()
        late = np.abs(mx.table(t, 2)[:, :, :2] - relaxed.table(t)[:, :, :2]).max() / peak
        assert late < 1e-3, t
