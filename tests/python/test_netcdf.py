"""kirva-syn's NetCDF grids as others read them: xarray (netCDF4 engine) finds the coordinates,
attributes and values of the text output of the same run, and GMT finds the same grid and range."""

import os
import subprocess

import numpy as np
import pytest
import xarray as xr

QUANTITIES = ("ux", "uy", "uz", "exx")
UNITS = {"ux": "m", "uy": "m", "uz": "m", "exx": "1"}  # displacement in m, strain dimensionless

# name: (options, coordinate names and units, nodes along x and y, receiver depth in km)
CASES = {
    "km": (["--point=0/0/10/30/60/90/1e17", "--grid=-5/5/1/-4/4/1"],
           (("x", "km"), ("y", "km")), (11, 9), 0.0),
    "degrees": (["--geographic", "10/45", "--point=10/45/10/30/60/90/1e17",
                 "--grid=9.94/10.06/0.02/44.96/45.04/0.02", "--depth", "2"],
                (("lon", "degrees_east"), ("lat", "degrees_north")), (7, 5), 2.0),
}


@pytest.fixture(scope="module", params=sorted(CASES))
def run(request, syn_exe, okada_library, tmp_path_factory):
    """The same run written as NetCDF and as text: (case, directory)."""
    d = tmp_path_factory.mktemp(request.param)
    for out in ("out.nc", "out.txt"):
        p = subprocess.run([syn_exe, okada_library] + CASES[request.param][0] +
                           ["--quantities", ",".join(QUANTITIES), "--output", out],
                           cwd=str(d), capture_output=True, text=True)
        assert p.returncode == 0, p.stderr
    return CASES[request.param], str(d)


def printed(fmt, values):
    return np.array([fmt % v for v in values.ravel()]).reshape(values.shape)


def test_xarray_reads_what_the_text_says(run):
    (_, axes, (nx, ny), depth), d = run
    (xn, xu), (yn, yu) = axes
    lines = [line.split() for line in open(os.path.join(d, "out.txt")) if line[0] != "#"]
    assert len(lines) == nx * ny
    text = np.array(lines).reshape(ny, nx, 3 + len(QUANTITIES))  # x varies fastest
    with xr.open_dataset(os.path.join(d, "out.nc"), engine="netcdf4") as ds:
        assert dict(ds.sizes) == {xn: nx, yn: ny} and set(ds.coords) == {xn, yn}
        assert (ds[xn].attrs["units"], ds[yn].attrs["units"]) == (xu, yu)
        assert ds.attrs["depth_km"] == depth
        assert {float(v) for v in text[:, :, 2].ravel()} == {depth}
        # Compared at the text's precision, digit for digit.
        assert (printed("%.10g", ds[xn].values) == text[0, :, 0]).all()
        assert (printed("%.10g", ds[yn].values) == text[:, 0, 1]).all()
        assert set(ds.data_vars) == set(QUANTITIES)
        for k, q in enumerate(QUANTITIES):
            v = ds[q]
            assert v.dims == (yn, xn) and v.dtype == np.float64
            assert v.attrs["units"] == UNITS[q] and v.attrs["long_name"]
            assert (printed("%.9e", v.values) == text[:, :, 3 + k]).all(), q


def gmt(d, *args):
    """A GMT module on the run's out.nc, every float printed in full; GMT keeps its settings and
    temporary files in d."""
    env = dict(os.environ, HOME=d, GMT_USERDIR=d, GMT_TMPDIR=d)
    p = subprocess.run(["gmt"] + list(args) + ["--FORMAT_FLOAT_OUT=%.17g"], cwd=d, env=env,
                       capture_output=True, text=True)
    assert p.returncode == 0 and "WARNING" not in p.stderr, p.stderr
    return p.stdout


def test_gmt_reads_the_grid_that_xarray_reads(run):
    (_, axes, (nx, ny), _), d = run
    (xn, _), (yn, _) = axes
    with xr.open_dataset(os.path.join(d, "out.nc"), engine="netcdf4") as ds:
        xs, ys, uz = ds[xn].values, ds[yn].values, ds["uz"].values
        name = "name: %(long_name)s [%(units)s]" % ds["uz"].attrs

    # -C: name w e s n z_min z_max dx dy n_columns n_rows registration grid-type.
    info = gmt(d, "grdinfo", "-C", "out.nc?uz").split()
    assert info[0] == "out.nc" and [int(v) for v in info[9:]] == [nx, ny, 0, xn == "lon"]
    w, e, s, n, zmin, zmax, dx, dy = (float(v) for v in info[1:9])
    # GMT places the nodes by its own arithmetic, a few units of 1e-14 off ours.
    np.testing.assert_allclose([w, e, s, n, dx, dy],
                               [xs[0], xs[-1], ys[0], ys[-1], xs[1] - xs[0], ys[1] - ys[0]],
                               rtol=1e-12)
    assert (zmin, zmax) == (uz.min(), uz.max())
    long = gmt(d, "grdinfo", "out.nc?uz")
    assert "Gridline node registration used [%s grid]" % (
        "Geographic" if xn == "lon" else "Cartesian") in long
    assert name in long  # the variable's long_name and units

    # Every node, where GMT puts it: GMT holds grids in single precision.
    xyz = np.loadtxt(gmt(d, "grd2xyz", "out.nc?uz").splitlines())
    assert xyz.shape == (nx * ny, 3)
    i = np.rint((xyz[:, 0] - xs[0]) / (xs[1] - xs[0])).astype(int)
    j = np.rint((xyz[:, 1] - ys[0]) / (ys[1] - ys[0])).astype(int)
    assert sorted(zip(j, i)) == [(b, a) for b in range(ny) for a in range(nx)]
    np.testing.assert_allclose(xyz[:, 0], xs[i], rtol=1e-12)
    np.testing.assert_allclose(xyz[:, 1], ys[j], rtol=1e-12)
    np.testing.assert_array_equal(xyz[:, 2], uz[j, i].astype(np.float32))
