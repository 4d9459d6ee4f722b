"""Tables at times after the source (tests/tools/time_tables.py: every type's elastic table
times 1 + SLOPE[type] t): the reader finds them by descriptor, interpolates them by the rule of
the C++ reader and refuses incomplete sets with its line; the synthesis at a time agrees with
kirva-syn; the command line shows and extracts them."""

import json
import os
import subprocess
import sys

import numpy as np
import pytest

import kirva
from conftest import TOP, kirva_cli

sys.path.insert(0, os.path.join(TOP, "tests", "tools"))
import time_tables  # noqa: E402

# A homogeneous half-space, at the surface, to 20 km and from 2 to 10 km depth.
HALF_SPACE = """0.0  0.0  1.0
41  0.0  20.0
9  2.0  10.0
0
'./'  'ss.grn'  'ds.grn'  'cl.grn'
1
1  0.0  6.0  3.464  2700.0
"""
TIMES = (0.0, 1.0, 10.0, 100.0)
TYPES = ("ss", "ds", "cl", "ex")


@pytest.fixture(scope="module")
def elastic(kirva_exe, tmp_path_factory):
    d = str(tmp_path_factory.mktemp("elastic"))
    with open(os.path.join(d, "in.inp"), "w") as f:
        f.write(HALF_SPACE)
    p = subprocess.run([kirva_exe, "--isotropic", "in.inp"], cwd=d, capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return d


@pytest.fixture(scope="module")
def timed(elastic, tmp_path_factory):
    return time_tables.write(elastic, str(tmp_path_factory.mktemp("timed")), TIMES[1:])


def test_tables_found_by_descriptor_in_any_order(elastic, tmp_path):
    e = kirva.read_library(os.path.join(elastic, "grnfun.all"))
    assert list(e.times) == [0.0]
    for reverse in (False, True):
        lib = kirva.read_library(time_tables.write(elastic, str(tmp_path / str(reverse)),
                                                   TIMES[1:], reverse=reverse))
        assert isinstance(lib.times, np.ndarray) and list(lib.times) == list(TIMES)
        for n, t in enumerate(TIMES):
            for s in TYPES:
                want = e.table(s) * time_tables.factor(s, t)
                np.testing.assert_array_equal(lib.table(s, n), want)
        with pytest.raises(kirva.LibraryError, match="no time index 4 \\(0 to 3\\)"):
            lib.table("ss", 4)


@pytest.mark.parametrize("t", [0.0, 10.0, 100.0, 0.5, 3.0, 99.0])
def test_tables_at_and_between_the_times(timed, elastic, t):
    lib = kirva.read_library(timed)
    e = kirva.read_library(os.path.join(elastic, "grnfun.all"))
    for s in TYPES:
        f = time_tables.interpolated_factor(s, t, TIMES)
        got, change = lib.table_at(s, t), lib.table_at(s, t, postseismic=True)
        if t in TIMES:
            np.testing.assert_array_equal(got, e.table(s) * f)
        else:
            np.testing.assert_allclose(got, e.table(s) * f, rtol=1e-14, atol=0)
        np.testing.assert_array_equal(change, got - e.table(s))


def test_times_outside_and_libraries_without_times_refused(timed, elastic):
    lib = kirva.read_library(timed)
    e = kirva.read_library(os.path.join(elastic, "grnfun.all"))
    cases = [
        (lib, 100.5, False, "no tables at 100.5 years: the library holds 0 to 100 years; kirva "
                            "--times makes tables at other times"),
        (lib, -1.0, True, "no tables at -1 years: the library holds 0 to 100 years; kirva "
                          "--times makes tables at other times"),
        (lib, float("inf"), False, "the time after the source must be a finite number of years"),
        (e, 2.0, False, "holds the elastic tables only (time 0), none at 2 years: kirva --times "
                        "makes tables at times after the source"),
        (e, 0.0, True, "holds the elastic tables only (time 0): the change since the source "
                       "(postseismic) needs tables after it, which kirva --times makes")]
    for library, t, post, message in cases:
        with pytest.raises(kirva.LibraryError) as err:
            library.table_at("ss", t, postseismic=post)
        assert str(err.value) == "%s: %s" % (library.path, message)
        # The synthesis refuses the same time with the same line.
        with pytest.raises(kirva.KirvaError) as err:
            kirva.synthesize(library.path, [[1.0, 1.0]], points=[[0, 0, 6, 0, 90, 0, 1e16]],
                             time=t, postseismic=post)
        assert str(err.value) == "%s: %s" % (library.path, message)


def test_incomplete_times_refused_with_the_cpp_readers_line(elastic, dump_exe, tmp_path):
    shear = tmp_path / "shear"
    shear.mkdir()
    os.symlink(os.path.join(elastic, "grnfun.all"), str(shear / "grnfun.all"))
    cases = [(elastic, dict(drop=[("cl", 10.0)])), (str(shear), dict(drop=[("ds", 1.0)])),
             (elastic, dict(drop=[("ex", 1.0)])), (str(shear), dict(add=[("ex", 10.0)])),
             (elastic, dict(add=[("ss", 0.0)]))]
    for n, (src, damage) in enumerate(cases):
        path = time_tables.write(src, str(tmp_path / str(n)), (1.0, 10.0), **damage)
        c = subprocess.run([dump_exe, path], capture_output=True, text=True)
        with pytest.raises(kirva.LibraryError) as e:
            kirva.read_library(path)
        if "ss" in str(damage):  # the readers word this one differently since before
            assert c.returncode != 0 and "at time 0" in c.stderr
            assert "source type 4 (ex) in descriptor 10, found 1" in str(e.value)
        else:
            assert str(e.value) + "\n" == c.stderr


def test_to_xarray_has_a_time_dimension(timed, elastic):
    lib = kirva.read_library(timed)
    ds = lib.to_xarray()
    np.testing.assert_array_equal(ds["time"].values, TIMES)
    assert ds["time"].attrs["units"] == "years"
    for s in TYPES:
        for i, c in enumerate(lib.components[s]):
            assert ds["%s_%s" % (s, c)].dims == ("time", "zrec", "zs", "r")
            for n in range(len(TIMES)):
                np.testing.assert_array_equal(ds["%s_%s" % (s, c)].values[n],
                                              lib.table(s, n)[:, :, i, :])
    plain = kirva.read_library(os.path.join(elastic, "grnfun.all")).to_xarray()
    assert "time" not in plain.dims and plain["ss_uz"].dims == ("zrec", "zs", "r")


def test_synthesis_at_a_time_agrees_with_kirva_syn(timed, syn_exe):
    """One case at an interpolated time: the same numbers from kirva-syn and Python; and a
    vertical strike-slip patch's Green's matrix scaled by the strike-slip factor."""
    args = [timed, "--point=1/2/6/30/60/45/1e16", "--grid=-5/5/2.5/-5/5/2.5", "--time=3",
            "--postseismic", "--quantities=ux,uy,uz,exx,exy,tx"]
    p = subprocess.run([syn_exe] + args, capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    rows = np.array([[float(v) for v in line.split()] for line in p.stdout.splitlines()
                     if line and not line.startswith("#")])
    g = kirva.grid(-5, 5, 2.5, -5, 5, 2.5)
    py = kirva.synthesize(timed, g, quantities=("ux", "uy", "uz", "exx", "exy", "tx"),
                          points=[[1, 2, 6, 30, 60, 45, 1e16]], time=3, postseismic=True)
    np.testing.assert_allclose(py, rows[:, 3:], rtol=2e-9, atol=1e-25)
    ds = kirva.synthesize(timed, g, points=[[1, 2, 6, 30, 60, 45, 1e16]], time=3,
                          postseismic=True, as_xarray=True)
    assert "postseismic: the change from the time of the slip to 3 years after it" in (
        ds.attrs["comment"])

    patch = {"x": [0.0], "y": [0.0], "depth": [5.0], "strike": [0.0], "dip": [90.0],
             "length": [4.0], "width": [2.0]}
    r = [[3.0, 1.0], [-2.0, 4.0]]
    g0 = kirva.greens_matrix(timed, patch, r, slip="strike")
    g3 = kirva.greens_matrix(timed, patch, r, slip="strike", time=3)
    f = time_tables.interpolated_factor("ss", 3.0, TIMES)
    np.testing.assert_allclose(g3, f * g0, rtol=1e-12)
    with pytest.raises(kirva.KirvaError, match="time must be a number of years"):
        kirva.greens_matrix(timed, patch, r, time="soon")


def test_info_lists_times_and_rheology_extract_and_plot_at_a_time(timed, elastic, tmp_path):
    d = os.path.dirname(timed)
    with open(os.path.join(elastic, "grnfun.json")) as f:
        prov = json.load(f)
    prov["viscoelastic"] = {
        "times_years": list(TIMES), "rheology": "Burgers body, test rows",
        "rows": [{"row": 1, "top_km": 0, "eta_M": 1e19, "eta_K": 0, "mu_K_over_mu": 0,
                  "maxwell_time_years": 31.7, "kelvin_time_years": None}],
        "method": "synthetic tables"}
    with open(os.path.join(d, "grnfun.json"), "w") as f:
        json.dump(prov, f)
    p = kirva_cli("info", timed)
    assert p.returncode == 0, p.stderr
    lines = p.stdout.splitlines()
    assert "times after the source: 4, 0, 1, 10, 100 years" in lines
    assert "rheology: Burgers body, test rows" in lines
    assert lines[lines.index("rheology: Burgers body, test rows") + 3].split() == [
        "1", "0", "1e+19", "0", "0", "31.7", "-"]
    assert "(+ explosion)" in lines[0]

    lib = kirva.read_library(timed)
    p = kirva_cli("extract", timed, "--type", "ds", "--zs", "6", "--time", "30", "--postseismic")
    assert p.returncode == 0, p.stderr
    assert "change from 0 to 30 years after the source" in p.stdout.splitlines()[0]
    values = np.loadtxt(p.stdout.splitlines())
    j = int(np.argmin(abs(lib.zs - 6000)))
    np.testing.assert_array_equal(values[:, 1:].T, lib.table_at("ds", 30, True)[0, j])
    for args in (("extract", timed, "--type", "ss", "--zs", "6", "--time", "101"),
                 ("plot", timed, "--zs", "6", "--time", "-1", "-o", str(tmp_path / "p.png")),
                 ("extract", os.path.join(elastic, "grnfun.all"), "--type", "ss", "--zs", "6",
                  "--postseismic")):
        p = kirva_cli(*args)
        assert p.returncode == 1 and p.stdout == "" and len(p.stderr.splitlines()) == 1, p.stderr
    p = kirva_cli("plot", timed, "--zs", "6", "--time", "3", "-o", str(tmp_path / "t.png"))
    assert p.returncode == 0 and os.path.getsize(str(tmp_path / "t.png")) > 0, p.stderr
