"""The synthesis from Python: Green's matrices against Okada's rectangles in the half-space of the
reference data, synthesize against kirva-syn's text to every printed digit for every source kind,
the matrix against synthesize, the helpers (grid, subdivide, read_coulomb) and the refusals."""

import os
import subprocess

import numpy as np
import pytest
import xarray as xr

import kirva
import okada85

MU = 2700.0 * 3464.0 ** 2          # the half-space of the reference library
LAM = 2700.0 * 6000.0 ** 2 - 2 * MU
STRAIN = ("exx", "exy", "exz", "eyy", "eyz", "ezz")

# The 30-degree thrust of the reference set (top edge y = 0 at 2 km, bottom at 15 km), by its
# centre, cut into 6 x 4 patches.
THRUST = {"x": [0.0], "y": [-6.5 / np.tan(np.radians(30))], "depth": [8.5], "strike": [90.0],
          "dip": [30.0], "length": [30.0], "width": [26.0]}


def box_distance(x, y, x0, x1, y0, y1):
    return np.hypot(np.maximum(0, np.maximum(x0 - x, x - x1)),
                    np.maximum(0, np.maximum(y0 - y, y - y1)))


def test_matrix_times_slip_is_okada(okada_library):
    patches = kirva.subdivide(THRUST, 6, 4)
    rec = kirva.grid(-30, 30, 1, -30, 30, 1)
    G = kirva.greens_matrix(okada_library, patches, rec, quantities=("ux", "uy", "uz") + STRAIN,
                            slip=("strike", "dip", "opening"))
    n, q, m, s = G.shape
    assert (n, q, m, s) == (3721, 9, 24, 3)
    # Okada's fields of each patch for unit strike slip, dip slip and opening, side by side as
    # G is.
    ref = np.empty_like(G)
    for j in range(m):
        one = {k: patches[k][j] for k in ("depth", "strike", "dip", "length", "width")}
        for k, slip in enumerate(({"strike_slip": 1.0}, {"dip_slip": 1.0}, {"opening": 1.0})):
            u, e = okada85.patch(rec[:, 0], rec[:, 1], cx=patches["x"][j], cy=patches["y"][j],
                                 lam=LAM, mu=MU, **one, **slip)
            ref[:, :3, j, k], ref[:, 3:, j, k] = u, e
    far = box_distance(rec[:, 0], rec[:, 1], -15, 15, -13 / np.tan(np.radians(30)), 0) > 2
    rng = np.random.default_rng(7)
    for _ in range(3):
        slip = rng.uniform(-1, 2, m * s)
        got = G.reshape(n * q, m * s) @ slip
        want = ref.reshape(n * q, m * s) @ slip
        dev = np.abs(got - want).reshape(n, q)
        u_peak = np.linalg.norm(want.reshape(n, q)[:, :3], axis=1).max()
        e_peak = np.abs(want.reshape(n, q)[:, 3:]).max()
        assert dev[:, :3].max() < 0.01 * u_peak and dev[far, :3].max() < 0.002 * u_peak
        assert dev[:, 3:].max() < 0.03 * e_peak and dev[far, 3:].max() < 0.003 * e_peak


COULOMB = """kirva-syn test: a thrust and a point potency
second header line
#reg1=  0  #reg2=  0   #fixed=  2  sym=  1
 PR1=       .250     PR2=       .250   DEPTH=      0.0
FRIC=       .600

  #   X-start    Y-start     X-fin      Y-fin   Kode  rt.lat    reverse   dip angle     top      bot
xxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx
  1    -6.0000    -3.0000     6.0000     3.0000 100     0.4000     1.2000    35.0000     1.0000     9.0000    thrust
  2     3.0000    -4.0000     5.0000    -4.0000 400     2.0e6     -1.0e6    70.0000     5.0000     7.0000    point
"""
# Opening rows: a dike (Kode 300), a sill (Kode 200) and a Kode 500 point.
OPENING = COULOMB.replace("#fixed=  2", "#fixed=  3").replace(
    "  1    -6.0000    -3.0000     6.0000     3.0000 100     0.4000     1.2000    35.0000",
    "  1    -6.0000    -3.0000     6.0000     3.0000 300     0.4000     1.2000    85.0000").replace(
    "  2     3.0000    -4.0000     5.0000    -4.0000 400     2.0e6     -1.0e6    70.0000",
    "  2     3.0000    -4.0000     5.0000    -4.0000 500     2.0e6     -1.0e6    70.0000") + (
    "  3    -2.0000     4.0000     2.0000     4.0000 200     0.3000     0.8000    10.0000"
    "     3.0000     3.5000    sill\n")

PATCHES = {"x": [1.0, -3.0, 0.5], "y": [2.0, 1.0, -2.0], "depth": [6.0, 3.0, 8.0],
           "strike": [20.0, 110.0, 200.0], "dip": [60.0, 80.0, 15.0], "rake": [-30.0, 170.0, 95.0],
           "slip": [0.8, 0.5, 1.1], "length": [4.0, 2.5, 3.0], "width": [3.0, 1.2, 2.0],
           "opening": [0.0, 0.3, -0.2]}
POINT = [2.0, -1.0, 5.0, 30.0, 60.0, 90.0, 3e16]
TENSOR = [-1.0, 1.0, 7.0, 1e16, -2e16, 3e16, 0.5e16, -1e16, 2e16]
STATIONS = [("S1", 4, -3, 0, None), ("S2", 1, 2, 4, (0.6, 0, 0.8)), ("S3", -5, 6, 2.5, None),
            ("S4", 7, 7, 0, (-0.6, -0.1, 0.78))]
ALL = ("ux,uy,uz,exx,exy,exz,eyy,eyz,ezz,tx,ty,wz,sxx,sxy,sxz,syy,syz,szz,cfs,los").split(",")


@pytest.fixture(scope="module")
def inputs(tmp_path_factory):
    d = tmp_path_factory.mktemp("syn")
    (d / "faults.inp").write_text(COULOMB)
    (d / "opening.inp").write_text(OPENING)
    (d / "patches.txt").write_text("\n".join(
        " ".join(str(PATCHES[k][j]) for k in ("x", "y", "depth", "strike", "dip", "rake",
                                              "slip", "length", "width", "opening"))
        for j in range(3)))
    (d / "points.txt").write_text("\n".join(
        "%s %g %g %g" % s[:4] + ("" if s[4] is None else " %g %g %g" % s[4]) for s in STATIONS))
    return d


# name: (kirva-syn options, synthesize keywords)
SOURCES = {
    "faults": (["--faults", "faults.inp"], {"faults": "faults.inp"}),
    "patches": (["--patches", "patches.txt"], {"patches": PATCHES}),
    "point": (["--point=" + "/".join("%.17g" % v for v in POINT)], {"points": [POINT]}),
    "tensor": (["--tensor=" + "/".join("%.17g" % v for v in TENSOR)], {"tensors": [TENSOR]}),
    "opening": (["--faults", "opening.inp"], {"faults": "opening.inp"}),
    "tensile": (["--tensile=2/-1/5/30/70/1e6"], {"tensile": [[2, -1, 5, 30, 70, 1e6]]}),
    "mogi": (["--mogi=1/1/4/-1e6"], {"mogi": [[1, 1, 4, -1e6]]}),
}


@pytest.mark.parametrize("kind", sorted(SOURCES))
def test_synthesize_prints_as_kirva_syn(kind, inputs, syn_exe, okada_library, recwarn):
    options, keywords = SOURCES[kind]
    p = subprocess.run([syn_exe, okada_library] + options +
                       ["--points", "points.txt", "--quantities", ",".join(ALL),
                        "--los=0/-0.6/0.8", "--receiver", "10/50/90", "--friction", "0.3"],
                       cwd=str(inputs), capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    rows = [line.split() for line in p.stdout.splitlines() if not line.startswith("#")]
    rec = np.array([s[1:4] for s in STATIONS], dtype=float)
    los = np.array([s[4] if s[4] else (0, -0.6, 0.8) for s in STATIONS], dtype=float)
    cwd = os.getcwd()
    os.chdir(str(inputs))
    try:
        out = kirva.synthesize(okada_library, rec, ALL, receiver_fault=(10, 50, 90),
                               friction=0.3, los=los, **keywords)
    finally:
        os.chdir(cwd)
    assert out.shape == (len(STATIONS), len(ALL))
    assert [r[4:] for r in rows] == [["%.9e" % v for v in row] for row in out]
    # The library holds the explosion: a tensor keeps its isotropic part.
    assert not any("isotropic part" in str(w.message) for w in recwarn)


def test_matrix_and_synthesize_agree(okada_library):
    rec = np.column_stack([np.linspace(-20, 20, 50), np.linspace(15, -12, 50),
                           np.linspace(0, 4, 50)])
    quantities = ("ux", "uy", "uz", "los", "exx", "eyz", "tx", "wz")
    los = (-0.6, -0.1, 0.78)
    G = kirva.greens_matrix(okada_library, PATCHES, rec, quantities, los=los, threads=1,
                            slip=("strike", "dip", "opening"))
    rake = np.radians(PATCHES["rake"])
    slip = np.column_stack([np.cos(rake) * PATCHES["slip"], np.sin(rake) * PATCHES["slip"],
                            PATCHES["opening"]])
    out = kirva.synthesize(okada_library, rec, quantities, patches=PATCHES, los=los, threads=2)
    np.testing.assert_allclose(G.reshape(-1, G.shape[2] * 3) @ slip.ravel(), out.ravel(),
                               rtol=0, atol=1e-12 * np.abs(out).max(axis=0).max())
    # One or two directions alone are the same columns, and the workers change nothing.
    for names, cols in ((("dip",), [1]), (("opening", "strike"), [2, 0])):
        part = kirva.greens_matrix(okada_library, PATCHES, rec, quantities, slip=names, los=los)
        assert np.array_equal(part, G[..., cols])


def test_point_opening_sources_match_closed_forms(okada_library):
    """A point tensile dislocation against Okada's rectangle shrunk to 50 m, and a Mogi source
    against its surface displacement (1 - nu) dV (d, r) / (pi R^3), to the shear faults' bars."""
    rec = kirva.grid(-30, 30, 1, -30, 30, 1)
    nu = LAM / (2 * (LAM + MU))
    for kind, row in (("tensile", [2, -1, 6, 30, 70, 1e6]), ("mogi", [-3, 4, 5, 2e6])):
        got = kirva.synthesize(okada_library, rec, ("ux", "uy", "uz") + STRAIN, **{kind: [row]})
        x, y = rec[:, 0] - row[0], rec[:, 1] - row[1]
        if kind == "tensile":
            u, e = okada85.patch(rec[:, 0], rec[:, 1], cx=row[0], cy=row[1], depth=row[2],
                                 strike=row[3], dip=row[4], length=0.05, width=0.05,
                                 opening=row[5] / 50.0 ** 2, lam=LAM, mu=MU)
            want = np.column_stack([u, e])
        else:
            big_r3 = (np.hypot(x, y) ** 2 + row[2] ** 2) ** 1.5 * 1e9  # m^3
            f = (1 - nu) * row[3] / (np.pi * big_r3)
            want = np.column_stack([f * x * 1e3, f * y * 1e3, f * row[2] * 1e3])
        far = np.hypot(x, y) > 2
        dev = np.abs(got[:, :want.shape[1]] - want)
        u_peak = np.linalg.norm(want[:, :3], axis=1).max()
        assert dev[:, :3].max() < 0.01 * u_peak and dev[far, :3].max() < 0.002 * u_peak, kind
        if want.shape[1] > 3:
            e_peak = np.abs(want[:, 3:]).max()
            assert dev[:, 3:].max() < 0.03 * e_peak and dev[far, 3:].max() < 0.003 * e_peak


def test_helpers(inputs, syn_exe, okada_library):
    # A rectangle cut into pieces is the same set of points when both are cut to 0.5 km.
    whole = kirva.greens_matrix(okada_library, THRUST, [[3, -7], [-20, 5]], patch_size=0.5)
    parts = kirva.subdivide(dict(THRUST, rake=[90.0]), 3, 2)
    assert parts["rake"].tolist() == [90.0] * 6 and np.allclose(parts["length"], 10)
    pieces = kirva.greens_matrix(okada_library, parts, [[3, -7], [-20, 5]], patch_size=0.5)
    np.testing.assert_allclose(pieces.sum(axis=2), whole[:, :, 0], rtol=1e-12)
    # read_coulomb gives the rectangles kirva-syn makes of the rows.
    f = str(inputs / "one.inp")
    with open(f, "w") as out:
        out.write(COULOMB.replace("#fixed=  2", "#fixed=  1"))
    rec = kirva.grid(-10, 10, 5, -6, 6, 3, depth=1)
    assert rec.shape == (5 * 5, 3) and rec[:5, 0].tolist() == [-10, -5, 0, 5, 10]
    a = kirva.synthesize(okada_library, rec, patches=kirva.read_coulomb(f))
    assert np.array_equal(a, kirva.synthesize(okada_library, rec, faults=[f]))
    # A grid as xarray holds what kirva-syn's NetCDF of the same run holds.
    lib = kirva.read_library(okada_library)
    ds = kirva.synthesize(lib, rec, ("uz", "exx"), faults=f, as_xarray=True)
    p = subprocess.run([syn_exe, okada_library, "--faults", f, "--grid=-10/10/5/-6/6/3",
                        "--depth", "1", "--quantities", "uz,exx", "--output", "g.nc"],
                       cwd=str(inputs), capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    with xr.open_dataset(str(inputs / "g.nc")) as nc:
        xr.testing.assert_identical(ds, nc.load())


def test_refusals_are_one_line(inputs, okada_library):
    rec = [[1.0, 2.0]]
    bad_file = str(inputs / "damaged.inp")
    with open(bad_file, "w") as out:
        out.write(COULOMB.replace("0.4000", "0.4\v00"))
    cases = [
        (dict(library="missing.all"), "missing.all"),
        (dict(receivers=[1.0, 2.0]), "receivers must be an array of shape"),
        (dict(receivers=[[np.nan, 2.0]]), "not a finite number"),
        (dict(quantities="uq"), "unknown quantity 'uq'"),
        (dict(quantities="los"), "los needs a line-of-sight vector"),
        (dict(los=[[0, 0, 1], [0, 0, 1]]), "los must be one vector"),
        (dict(patches={"x": [0]}), "patches has no column 'y'"),
        (dict(patches=dict(PATCHES, dip=[60, 95, 15])), "patches[1]: dip 95 is outside"),
        (dict(patches=dict(PATCHES, depth=[6, 3, 30])), "below the deepest tabulated source"),
        (dict(patches=dict(PATCHES, x=[1, 2])), "differ in length"),
        (dict(slip=("strike", "shear")), "unknown slip direction 'shear' (known: strike dip opening)"),
        (dict(gauss=0), "--gauss must be 1 to 16"),
        (dict(synth=dict(quantities="cfs", points=[POINT])), "cfs needs the receiver fault"),
        (dict(synth=dict(faults=bad_file)), r"'0.4\v00' is not a number"),
        (dict(synth=dict(points=[[0, 0, 5, 0, 90, 0]])), "points must be an array of shape"),
        (dict(synth={}), "no source"),
    ]
    for change, message in cases:
        args = dict(library=okada_library, receivers=rec, quantities=("ux",))
        synth = change.pop("synth", None)
        args.update(change)
        with pytest.raises(kirva.KirvaError) as e:
            if synth is None:
                kirva.greens_matrix(**dict({"patches": PATCHES}, **args))
            else:
                kirva.synthesize(**dict(args, **synth))
        assert message in str(e.value) and "\n" not in str(e.value), (message, str(e.value))
    assert issubclass(kirva.KirvaError, ValueError)


def test_a_library_without_the_explosion(even_dir):
    """Drops a tensor's isotropic part with a warning, and refuses opening and volume sources."""
    lib = os.path.join(even_dir, "grnfun.all")
    with pytest.warns(UserWarning, match="isotropic part"):
        kirva.synthesize(lib, [[1, 1]], tensors=[[0, 0, 2, 1e15, -2e15, 3e15, 0, 0, 0]])
    for kind, row in (("mogi", [0, 0, 2, 1e6]), ("tensile", [0, 0, 2, 0, 90, 1e5])):
        with pytest.raises(kirva.KirvaError, match="make the library with kirva --isotropic"):
            kirva.synthesize(lib, [[1, 1]], **{kind: [row]})
    patch = {"x": [0], "y": [0], "depth": [2], "strike": [0], "dip": [90], "length": [1],
             "width": [1]}
    with pytest.raises(kirva.KirvaError, match="slip direction 'opening' needs the explosion"):
        kirva.greens_matrix(lib, patch, [[1, 1]], slip=("strike", "opening"))
