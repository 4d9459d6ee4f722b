"""Tables at times after the source (tests/tools/time_tables.py): found by descriptor, served and
interpolated by the C++ reader's rule, incomplete sets refused with its line; the synthesis at a
time equals kirva-syn's; info, extract and plot show them."""

import json
import os
import re
import subprocess
import sys

import numpy as np
import pytest

import kirva
from conftest import TOP, kirva_cli

sys.path.insert(0, os.path.join(TOP, "tests", "tools"))
import time_tables as tt  # noqa: E402

TIMES = (0.0, 1.0, 10.0, 100.0)
TYPES = ("ss", "ds", "cl", "ex")


@pytest.fixture(scope="module")
def elastic(kirva_exe, tmp_path_factory):
    d = str(tmp_path_factory.mktemp("elastic"))
    with open(os.path.join(d, "in.inp"), "w") as f:  # a half-space, 0 to 20 km, 2 to 10 km deep
        f.write("0 0 1\n41 0 20\n9 2 10\n0\n'./' 'ss.grn' 'ds.grn' 'cl.grn'\n1\n1 0 6 3.464 2700\n")
    p = subprocess.run([kirva_exe, "--isotropic", "in.inp"], cwd=d, capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return os.path.join(d, "grnfun.all")


@pytest.fixture(scope="module")
def timed(elastic, tmp_path_factory):
    return tt.write(os.path.dirname(elastic), str(tmp_path_factory.mktemp("t")), TIMES[1:],
                    reverse=True)


def test_tables_at_and_between_the_times_and_refusals(timed, elastic):
    lib, e = kirva.read_library(timed), kirva.read_library(elastic)
    assert list(lib.times) == list(TIMES) and list(e.times) == [0.0]
    for n, t in enumerate(TIMES):  # by descriptor in a file that holds them reversed
        for s in TYPES:
            np.testing.assert_array_equal(lib.table(s, n), e.table(s) * tt.factor(s, t))
    for t in (0.5, 3.0, 99.0):
        for s in TYPES:
            want = e.table(s) * tt.interpolated_factor(s, t, TIMES)
            np.testing.assert_allclose(lib.table_at(s, t), want, rtol=1e-14, atol=0)
            np.testing.assert_array_equal(lib.table_at(s, t, True), lib.table_at(s, t) - e.table(s))
    rng = "years: the library holds 0 to 100 years; kirva --times makes tables at other times"
    for library, t, post, message in [
            (lib, 100.5, False, "no tables at 100.5 " + rng),
            (lib, -1, True, "no tables at -1 " + rng),
            (lib, np.inf, False, "the time after the source must be a finite number of years"),
            (e, 2.0, False, "holds the elastic tables only (time 0), none at 2 years: kirva "
                            "--times makes tables at times after the source"),
            (e, 0.0, True, "holds the elastic tables only (time 0): the change since the source "
                           "(postseismic) needs tables after it, which kirva --times makes")]:
        line = "^%s$" % re.escape("%s: %s" % (library.path, message))
        with pytest.raises(kirva.LibraryError, match=line):
            library.table_at("ss", t, postseismic=post)
        with pytest.raises(kirva.KirvaError, match=line):
            kirva.synthesize(library, [[1.0, 1.0]], points=[[0, 0, 6, 0, 90, 0, 1e16]], time=t,
                             postseismic=post)
    with pytest.raises(kirva.LibraryError, match="no time index 4 \\(0 to 3\\)"):
        lib.table("ss", 4)
    ds = lib.to_xarray()
    assert ds["time"].attrs["units"] == "years" and ds["cl_ezr"].dims == ("time", "zrec", "zs", "r")
    np.testing.assert_array_equal(ds["time"].values, TIMES)
    np.testing.assert_array_equal(ds["cl_ezr"].values[2], lib.table("cl", 2)[:, :, 5, :])
    assert "time" not in e.to_xarray().dims


def test_incomplete_times_refused_with_the_cpp_readers_line(elastic, dump_exe, tmp_path):
    shear = tmp_path / "shear"
    shear.mkdir()
    os.symlink(elastic, str(shear / "grnfun.all"))
    src = os.path.dirname(elastic)
    for n, (d, damage) in enumerate([(src, dict(drop=[("cl", 10.0)])),
                                     (str(shear), dict(drop=[("ds", 0.1)])),
                                     (src, dict(drop=[("ex", 0.1)])),
                                     (str(shear), dict(add=[("ex", 10.0)]))]):
        path = tt.write(d, str(tmp_path / str(n)), (0.1, 10.0), **damage)
        with pytest.raises(kirva.LibraryError) as e:
            kirva.read_library(path)
        assert str(e.value) + "\n" == subprocess.run([dump_exe, path], capture_output=True,
                                                     text=True).stderr
    assert str(e.value).endswith("expected no explosion (source type 4) after the source, as "
                                 "there is none at time 0, found one at 10 years")


def test_synthesis_at_a_time_agrees_with_kirva_syn(timed, syn_exe):
    q = ("ux", "uy", "uz", "exx", "exy", "tx")
    p = subprocess.run([syn_exe, timed, "--point=1/2/6/30/60/45/1e16", "--grid=-5/5/2.5/-5/5/2.5",
                        "--time=3", "--postseismic", "--quantities=" + ",".join(q)],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    ds = kirva.synthesize(timed, kirva.grid(-5, 5, 2.5, -5, 5, 2.5), quantities=q,
                          points=[[1, 2, 6, 30, 60, 45, 1e16]], time=3, postseismic=True,
                          as_xarray=True)
    np.testing.assert_allclose(np.column_stack([ds[v].values.ravel() for v in q]),
                               np.loadtxt(p.stdout.splitlines())[:, 3:], rtol=2e-9, atol=1e-25)
    assert p.stdout.splitlines()[1] == "# " + ds.attrs["comment"].splitlines()[1] == (
        "# postseismic: the change from the time of the slip to 3 years after it")
    for bad in ("--time=101", "--time=soon"):  # one line, status 1, nothing written
        p = subprocess.run([syn_exe, timed, "--point=1/2/6/30/60/45/1e16", "--grid=0/1/1/0/1/1",
                            bad], capture_output=True, text=True)
        assert p.returncode == 1 and p.stdout == "" and len(p.stderr.splitlines()) == 1
    # A vertical strike-slip patch is the strike-slip table alone: scaled by its factor.
    patch = {"x": [0.0], "y": [0.0], "depth": [5.0], "strike": [0.0], "dip": [90.0],
             "length": [4.0], "width": [2.0]}
    g0, g3 = (kirva.greens_matrix(timed, patch, [[3, 1], [-2, 4]], slip="strike", time=t)
              for t in (0, 3))
    np.testing.assert_allclose(g3, tt.interpolated_factor("ss", 3.0, TIMES) * g0, rtol=1e-12)


def test_info_extract_and_plot_at_a_time(timed, tmp_path):
    row = {"row": 1, "top_km": 0, "eta_M": 1e19, "eta_K": 0, "mu_K_over_mu": 0,
           "maxwell_time_years": 31.7, "kelvin_time_years": None}
    with open(os.path.join(os.path.dirname(timed), "grnfun.json"), "w") as f:
        json.dump({"program": "kirva", "viscoelastic": {"times_years": TIMES, "rows": [row],
                                                         "rheology": "Burgers body"}}, f)
    lines = kirva_cli("info", timed).stdout.splitlines()
    assert "(+ explosion)" in lines[0]
    assert lines[1] == "4 times after the source: 0, 1, 10, 100 years"
    at = lines.index("rheology: Burgers body")
    assert lines[at + 2].split() == ["1", "0", "1e+19", "0", "0", "31.7", "-"]
    p = kirva_cli("extract", timed, "--type", "ds", "--zs", "6", "--time", "30", "--postseismic")
    assert "change from 0 to 30 years after the source" in p.stdout.splitlines()[0], p.stderr
    np.testing.assert_array_equal(np.loadtxt(p.stdout.splitlines())[:, 1:].T,
                                  kirva.read_library(timed).table_at("ds", 30, True)[0, 4])
    for args in (("extract", timed, "--type", "ss", "--zs", "6", "--time", "101"),
                 ("plot", timed, "--zs", "6", "--time", "-1", "-o", str(tmp_path / "p.png"))):
        p = kirva_cli(*args)
        assert p.returncode == 1 and p.stdout == "" and len(p.stderr.splitlines()) == 1, p.stderr
    p = kirva_cli("plot", timed, "--zs", "6", "--time", "3", "-o", str(tmp_path / "t.png"))
    assert p.returncode == 0 and os.path.getsize(str(tmp_path / "t.png")) > 0, p.stderr


def test_postseismic_example(kirva_exe, tmp_path):
    """examples/postseismic.py on its own tables: no motion at the coseismic step; the
    hanging-wall station subsides as the viscous layers relax; with gravity it settles into the
    relaxed state, without it it rebounds by a third of its subsidence by 3000 years."""
    import sys
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))), "examples"))
    import postseismic as example
    t, u, ug = example.main([str(tmp_path / "series.png"), "--library",
                             str(tmp_path / "lib" / "grnfun.all"), "--kirva", kirva_exe])
    assert len(t) == 26 and t[0] == 0 and np.all(u[0] == 0) and np.all(ug[0] == 0)
    up, upg = u[:, 0, 2], ug[:, 0, 2]  # HW10, the hanging wall
    early = t <= 100
    assert np.all(np.diff(up[early]) < 0) and up[early][-1] < -0.05
    assert abs(upg[-1] - upg[-3]) < 0.02 * abs(upg[-1])
    assert up[-1] - up.min() > 0.3 * abs(up.min())
    assert (tmp_path / "series.png").stat().st_size > 0
