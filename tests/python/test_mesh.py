"""Faults as triangle meshes against Okada's rectangles in the half-space of the reference data:
a planar fault triangulated regularly and irregularly, a kinked fault of two planes, and mesh
files read by kirva-syn and by read_mesh alike."""

import os
import subprocess

import numpy as np
import pytest

import kirva
import okada85

MU = 2700.0 * 3464.0 ** 2
LAM = 2700.0 * 6000.0 ** 2 - 2 * MU
Q = ("ux", "uy", "uz", "exx", "exy", "exz", "eyy", "eyz", "ezz")


def plane(x0, x1, y_top, top, bottom, dip, na, nb, jitter=0.0, seed=0):
    """Triangles (M, 3, 3) of the plane striking east from (x0, y_top) to (x1, y_top) at depth
    top, dipping south at dip degrees to depth bottom: na x nb cells of two triangles, the
    interior nodes moved within the plane by up to jitter of a cell and the diagonals chosen at
    random when jitter > 0."""
    rng = np.random.default_rng(seed)
    width = (bottom - top) / np.sin(np.radians(dip))
    a, b = np.meshgrid(np.linspace(0, 1, na + 1), np.linspace(0, 1, nb + 1), indexing="ij")
    inner = (a > 0) & (a < 1) & (b > 0) & (b < 1)
    a = a + inner * rng.uniform(-jitter, jitter, a.shape) / na
    b = b + inner * rng.uniform(-jitter, jitter, b.shape) / nb
    w = b * width
    nodes = np.stack([x0 + a * (x1 - x0), y_top - w * np.cos(np.radians(dip)),
                      top + w * np.sin(np.radians(dip))], axis=-1)
    tri = []
    for i in range(na):
        for j in range(nb):
            p, q, r, s = nodes[i, j], nodes[i + 1, j], nodes[i + 1, j + 1], nodes[i, j + 1]
            if jitter > 0 and rng.random() < 0.5:
                tri += [(p, q, s), (q, r, s)]
            else:
                tri += [(p, q, r), (p, r, s)]
    return np.array(tri)


def deviations(got, want, far):
    du = np.abs(got[:, :3] - want[:, :3]).max(axis=1)
    de = np.abs(got[:, 3:] - want[:, 3:]).max(axis=1)
    up = np.linalg.norm(want[:, :3], axis=1).max()
    ep = np.abs(want[:, 3:]).max()
    return du.max() / up, du[far].max() / up, de.max() / ep, de[far].max() / ep


def box(x, y, x0, x1, y0, y1):
    return np.hypot(np.maximum(0, np.maximum(x0 - x, x - x1)),
                    np.maximum(0, np.maximum(y0 - y, y - y1)))


def test_meshes_reproduce_okada(okada_library):
    """The 30-degree thrust of the reference set (2 m reverse) triangulated regularly and
    irregularly, and a kinked thrust (30 degrees to 8 km, then 60 to 15 km), to the bars of the
    shear faults; the two triangulations of one plane agree closer still."""
    ref = np.genfromtxt(os.path.join(os.environ.get("KIRVA_SHARED_DIR", "../shared"),
                                     "okada-reference", "thrust-30.csv"),
                        delimiter=",", skip_header=4)
    ref = ref[(ref[:, 0] % 2 == 0) & (ref[:, 1] % 2 == 0)]  # every 2 km, the peaks included
    rec = ref[:, :3]
    south = -13 / np.tan(np.radians(30))
    far = box(rec[:, 0], rec[:, 1], -15, 15, south, 0) > 2
    fields = {}
    for name, jitter in (("regular", 0.0), ("irregular", 0.3)):
        tri = plane(-15, 15, 0, 2, 15, 30, 6, 4, jitter, seed=3)
        G = kirva.greens_matrix(okada_library, tri, rec, Q, slip="dip")
        fields[name] = G[..., 0].sum(axis=2) * 2.0
        u_all, u_far, e_all, e_far = deviations(fields[name], ref[:, 3:], far)
        assert u_all < 0.01 and u_far < 0.002 and e_all < 0.03 and e_far < 0.003, (
            name, u_all, u_far, e_all, e_far)
    u_all, _, e_all, _ = deviations(fields["irregular"], fields["regular"], far)
    assert u_all < 0.002 and e_all < 0.01, (u_all, e_all)

    # The kinked fault: both planes meshed together, their shared edge at 8 km.
    y_kink = -6 / np.tan(np.radians(30))
    tri = np.concatenate([plane(-15, 15, 0, 2, 8, 30, 6, 2, 0.2, seed=5),
                          plane(-15, 15, y_kink, 8, 15, 60, 6, 2, 0.2, seed=6)])
    slip = np.tile([0.5, 1.5], (len(tri), 1))
    grid = kirva.grid(-30, 30, 2, -30, 30, 2)
    got = kirva.synthesize(okada_library, grid, Q, triangles=tri, triangle_slip=slip)
    want = sum(np.column_stack(okada85.rectangle(
        grid[:, 0], grid[:, 1], xs=-15, ys=ys, xf=15, yf=ys, dip=dip, top=top, bottom=bottom,
        strike_slip=0.5, dip_slip=1.5, lam=LAM, mu=MU))
        for ys, dip, top, bottom in ((0, 30, 2, 8), (y_kink, 60, 8, 15)))
    y_bottom = y_kink - 7 / np.tan(np.radians(60))
    far = box(grid[:, 0], grid[:, 1], -15, 15, y_bottom, 0) > 2
    u_all, u_far, e_all, e_far = deviations(got, want, far)
    assert u_all < 0.01 and u_far < 0.002 and e_all < 0.03 and e_far < 0.003, (
        u_all, u_far, e_all, e_far)


TSURF = """GOCAD TSurf 1
HEADER {
name:kink
}
GOCAD_ORIGINAL_COORDINATE_SYSTEM
AXIS_UNIT "m" "m" "m"
ZPOSITIVE Elevation
END_ORIGINAL_COORDINATE_SYSTEM
TFACE
VRTX 1 -4000 0 -2000
VRTX 2 4000 0 -2000
PVRTX 3 4000 -5000 -6000 7
VRTX 4 -4000 -5000 -6000
TRGL 1 2 3
TRGL 1 3 4
END
"""

MSH22 = """$MeshFormat
2.2 0 8
$EndMeshFormat
$Nodes
4
1 -4 0 -2
2 4 0 -2
3 4 -5 -6
4 -4 -5 -6
$EndNodes
$Elements
3
1 15 2 0 1 1
2 2 2 0 1 1 2 3
3 2 2 0 1 1 3 4
$EndElements
"""


def test_mesh_files_in_kirva_syn_and_python(okada_library, syn_exe, tmp_path):
    """The same two triangles as TSurf (m, elevation) and gmsh 2.2 (km, z up): kirva-syn with
    --mesh-slip and --slip, and synthesize with read_mesh's triangles, print the same numbers."""
    (tmp_path / "f.ts").write_text(TSURF)
    (tmp_path / "f.msh").write_text(MSH22)
    (tmp_path / "slip.txt").write_text("# strike-slip dip-slip\n0.3 1.0\n0.3 1.0  # second\n")
    outs = []
    for mesh in ("f.ts", "f.msh"):
        for slip in (["--mesh-slip", "slip.txt"], ["--slip", "73.3007557660064/1.04403065089105"]):
            p = subprocess.run([syn_exe, okada_library, "--mesh", mesh, *slip,
                                "--grid=-10/10/5/-10/10/5", "--quantities", "ux,uy,uz,exx"],
                               cwd=str(tmp_path), capture_output=True, text=True)
            assert p.returncode == 0, p.stderr
            outs.append([line.split()[3:] for line in p.stdout.splitlines()
                         if not line.startswith("#")])
    tri, slip = kirva.read_mesh(tmp_path / "f.ts", slip=tmp_path / "slip.txt")
    assert tri.shape == (2, 3, 3) and slip.tolist() == [[0.3, 1.0, 0.0]] * 2
    assert np.allclose(tri[0], [[-4, 0, 2], [4, 0, 2], [4, -5, 6]])
    py = kirva.synthesize(okada_library, kirva.grid(-10, 10, 5, -10, 10, 5),
                          ("ux", "uy", "uz", "exx"), triangles=tri, triangle_slip=slip[:, :2])
    for out in outs:
        assert np.allclose(np.array(out, dtype=float), py, rtol=1e-8, atol=1e-14)
    assert outs[0] == outs[2]  # the two files, to every digit
    with pytest.raises(kirva.KirvaError, match="shape"):
        kirva.greens_matrix(okada_library, tri[:, :2], [[1, 1]])


def test_example_runs(okada_library, tmp_path):
    """examples/mesh.py on a coarse grid: its TSurf file reads back as the mesh it wrote, and the
    hanging wall of the thrust rises."""
    import sys
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))), "examples"))
    import mesh as example
    out = example.main([okada_library, str(tmp_path / "map.png"), "--tsurf",
                        str(tmp_path / "thrust.ts"), "--step", "5"])
    vertices, triangles = example.mesh()
    assert np.allclose(out["triangles"], vertices[triangles], atol=1e-6)
    assert out["u"][:, 2].max() > 0.3 and (tmp_path / "map.png").stat().st_size > 0
