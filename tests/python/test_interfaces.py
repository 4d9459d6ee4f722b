"""Sources and receivers on either side of the jumps of a four-layer crust (1, 10, 20, 30 km), in
accurate libraries, against references made here from tables at tabulated depths only, where no
interpolation in depth takes place: a dike whose top is on the 1 km jump and a 30-degree thrust
that crosses the jumps at 1 and 10 km, as patches and as triangles of three sizes; and a profile
of receivers through the 1 km jump between observation depths tabulated every 0.25 km."""

import os
import subprocess

import numpy as np
import pytest

import kirva

CRUST = [(0.0, 3.5, 2.0, 2300), (1.0, 3.5, 2.0, 2300), (1.0, 5.5, 3.2, 2600), (10.0, 5.5, 3.2, 2600),
         (10.0, 6.2, 3.6, 2800), (20.0, 6.2, 3.6, 2800), (20.0, 6.6, 3.8, 2900),
         (30.0, 6.6, 3.8, 2900), (30.0, 8.0, 4.6, 3300)]
JUMPS = (1.0, 10.0)


def library(exe, root, name, zrec, distances, depths, lower=0.0):
    """An accurate library with the explosion; `lower` (km) moves the jumps at 1 and 10 km down,
    so that the tables on those depths are the limits from above."""
    d = os.path.join(root, name)
    os.makedirs(d)
    lines = ["%d %.7f %.2f %.2f %.1f" % (i + 1, z + (lower if z in JUMPS else 0.0), vp, vs, rho)
             for i, (z, vp, vs, rho) in enumerate(CRUST)]
    text = "\n".join([zrec, distances, depths, "0", "'./' 'ss.grn' 'ds.grn' 'cl.grn'",
                      str(len(CRUST))] + lines) + "\n"
    with open(os.path.join(d, "in.inp"), "w") as f:
        f.write(text)
    p = subprocess.run([exe, "--accurate", "--isotropic", "in.inp"], cwd=d, capture_output=True,
                       text=True)
    assert p.returncode == 0, p.stderr
    return kirva.read_library(os.path.join(d, "grnfun.all"))


@pytest.fixture(scope="module")
def libs(kirva_exe, tmp_path_factory):
    root = str(tmp_path_factory.mktemp("interfaces"))
    test = library(kirva_exe, root, "test", "0 0 1", "401 0 40", "111 0.5 11.5")
    # The reference's: twice as fine in source depth, with the limits from above on the jumps.
    fine = [library(kirva_exe, root, n, "0 0 1", "401 0 40", "221 0.5 11.5", lower)
            for n, lower in (("below", 0.0), ("above", 1e-6))]
    return test, fine


def reference(fine, rect, kind, receivers, quantities):
    """Point sources on the fine libraries' tabulated depths (0.05 km): composite Simpson (3/8 on
    an odd end) in depth per segment between the fault's ends and the jumps, a segment's bottom
    on a jump read as the limit from above; 3 Gauss points on 0.05 km panels along strike."""
    x0, zt, zb, dip, length, amount = rect
    h = 0.05
    t, tw = np.polynomial.legendre.leggauss(3)
    edges = np.linspace(-length / 2, length / 2, int(round(length / 0.05)) + 1)
    along = (edges[:-1, None] + 0.025 * (t + 1)).ravel()
    aw = np.repeat(0.025 * tw[None, :], len(edges) - 1, axis=0).ravel()
    rows = ([], [])
    cuts = [zt] + [z for z in JUMPS if zt < z < zb] + [zb]
    for a, b in zip(cuts[:-1], cuts[1:]):
        n = int(round((b - a) / h))
        w, odd = np.zeros(n + 1), n % 2
        for i in range(0, n - 3 * odd, 2):
            w[i:i + 3] += np.array([1, 4, 1]) * h / 3
        w[n - 3:] += odd * np.array([1, 3, 3, 1]) * 3 * h / 8
        for i in range(n + 1):
            z, side = a + i * h, int(i == n and b in JUMPS)
            layer = fine[side].layers[fine[side].source_row(z * 1000)]
            x = x0 + (z - zt) / np.tan(np.radians(dip))
            for y, s in zip(along, aw * w[i] / np.sin(np.radians(dip)) * 1e6):
                rows[side].append((x, y, z, 0, dip, amount * s) if kind == "opening" else
                                  (x, y, z, 0, dip, 90, layer[3] * layer[2] ** 2 * amount * s))
    key = "tensile" if kind == "opening" else "points"
    return sum(kirva.synthesize(fine[side], receivers, quantities, **{key: np.array(r)})
               for side, r in enumerate(rows) if r)


def test_faults_across_jumps_match_point_sources_at_tabulated_depths(libs):
    test, fine = libs
    x, y = np.meshgrid(np.arange(-12.0, 25.0, 1.5), np.arange(-12.0, 12.5, 1.5))
    rec = np.column_stack([x.ravel(), y.ravel()])
    q = ("ux", "uy", "uz", "exx", "exy", "eyy")
    for kind, rect in (("opening", (0.0, 1.0, 6.0, 90.0, 10.0, 1.0)),
                       ("slip", (0.0, 0.7, 10.6, 30.0, 10.0, 1.0))):
        x0, zt, zb, dip, length, amount = rect
        dx = (zb - zt) / np.tan(np.radians(dip))
        ref = reference(fine, rect, kind, rec, q)
        patch = dict(x=[x0 + dx / 2], y=[0.0], depth=[(zt + zb) / 2], strike=[0.0], dip=[dip],
                     length=[length], width=[(zb - zt) / np.sin(np.radians(dip))],
                     rake=[90.0], slip=[amount if kind == "slip" else 0.0],
                     opening=[amount if kind == "opening" else 0.0])
        corners = np.array([[x0, -length / 2, zt], [x0, length / 2, zt], [x0 + dx, length / 2, zb],
                            [x0 + dx, -length / 2, zb]])
        tri = corners[[[0, 1, 2], [0, 2, 3]]]
        tslip = np.tile([0.0, 0.0, amount] if kind == "opening" else [0.0, amount], (2, 1))
        far = (rec[:, 0] < x0 - 2) | (rec[:, 0] > x0 + dx + 2) | (np.abs(rec[:, 1]) > length / 2 + 2)
        upeak = np.linalg.norm(ref[:, :3], axis=1).max()
        epeak = np.abs(ref[:, 3:]).max()
        # The thrust's 0.5 km patches with 2 x 2 Gauss points resolve its top edge 0.7 km below
        # the receivers to 7e-4 in any model; 3 x 3 points do.
        for size, gauss in ((0.5, 2 if kind == "opening" else 3), (0.2, 2), (0.1, 2)):
            for what, src in (("patches", dict(patches=patch)),
                              ("triangles", dict(triangles=tri, triangle_slip=tslip))):
                v = kirva.synthesize(test, rec, q, patch_size=size, gauss=gauss, **src)
                du = np.linalg.norm(v[:, :3] - ref[:, :3], axis=1) / upeak
                de = np.abs(v[:, 3:] - ref[:, 3:]).max(axis=1) / epeak
                case = "%s %s of %.1f km" % (kind, what, size)
                assert du.max() < 3e-4, case
                assert de[far].max() < 1e-3, case


def test_receivers_between_tabulated_depths_through_a_jump(libs, kirva_exe, tmp_path):
    """Strain and stress on either side of the 1 km jump, from observation depths every 0.25 km,
    against a library that tabulates every receiver's depth (0.51 to 2.99 km by 0.04: 0.99 and
    1.03 km among them)."""
    root = str(tmp_path)
    grid = library(kirva_exe, root, "grid", "0 3 0.25", "201 0 10", "2 4 4.1")
    exact = library(kirva_exe, root, "exact", "0.51 2.99 0.04", "201 0 10", "2 4 4.1")
    z = np.round(exact.zrec / 1000, 6)
    rec = np.column_stack([np.full(len(z), 2.0), np.full(len(z), 0.5), z])
    q = ("exx", "exy", "exz", "eyy", "eyz", "ezz", "sxx", "sxy", "sxz", "syy", "syz", "szz")
    src = dict(points=[[0, 0, 4.0, 30, 40, 70, 1e16]], mogi=[[0.5, -0.2, 4.0, 1e6]])
    a, b = kirva.synthesize(grid, rec, q, **src), kirva.synthesize(exact, rec, q, **src)
    assert list(grid.interfaces) == [1000, 10000, 20000, 30000]
    for side in (z < 1.0, z > 1.0):
        for part in (slice(0, 6), slice(6, 12)):
            err = np.abs(a[side, part] - b[side, part]).max() / np.abs(b[side, part]).max()
            assert err < 1e-3, (z[side][0], part)
