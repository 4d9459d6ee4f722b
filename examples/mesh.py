"""A curved thrust as a triangle mesh in the layered crust of the kirva-syn example: the fault's
trace bends through 60 degrees along its 50 km and its dip steepens from 20 degrees near the
surface to 45 at depth. The mesh is written as a GOCAD TSurf file, read back with kirva.read_mesh,
and its surface displacement computed with kirva.synthesize (kirva-syn --mesh gives the same).

Run from the top of the repository, after examples/synthesis.sh (or just
./build/kirva examples/synthesis/crust-library.inp) has written the tables:

    PYTHONPATH=build/python /usr/bin/python3 examples/mesh.py [grnfun.all] [figure.png]

--docs also writes the figure of the README, docs/mesh-map.png; --step sets the grid's spacing.
"""

import argparse
import os
import time

import numpy as np

import kirva

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = os.path.join("examples", "output", "synthesis", "grnfun.all")
FIGURE = os.path.join("examples", "output", "mesh-map.png")
TSURF = os.path.join("examples", "output", "curved-thrust.ts")
DOCS_FIGURE = os.path.join(TOP, "docs", "mesh-map.png")

# The trace: an arc of radius 48 km through 60 degrees (50 km long), centred north of the
# origin, so that the fault dips to the north, towards the centre.
RADIUS, ARC, CENTRE = 48.0, np.radians(60.0), (0.0, 40.0)
TOP_DEPTH, BOTTOM_DEPTH = 1.0, 14.0


def mesh(along=24, down=8):
    """Vertices (n, 3) in km (x east, y north, depth down) and triangles (m, 3) of the fault: a
    grid of along x down cells, each cut into two triangles. Down dip the dip steepens from 20 to
    45 degrees (a listric fault turned over: steeper with depth, as a ramp onto a detachment
    seen from below)."""
    t = np.linspace(-ARC / 2, ARC / 2, along + 1)
    depth = np.linspace(TOP_DEPTH, BOTTOM_DEPTH, down + 1)
    dip = np.radians(20.0 + 25.0 * (depth - TOP_DEPTH) / (BOTTOM_DEPTH - TOP_DEPTH))
    # Horizontal distance from the trace towards the centre: the integral of dz / tan(dip).
    run = np.concatenate([[0.0], np.cumsum(np.diff(depth) / np.tan(0.5 * (dip[1:] + dip[:-1])))])
    r = RADIUS - run
    x = CENTRE[0] + np.outer(np.sin(t), r)
    y = CENTRE[1] - np.outer(np.cos(t), r)
    z = np.broadcast_to(depth, x.shape)
    vertices = np.column_stack([x.ravel(), y.ravel(), z.ravel()])
    index = np.arange(vertices.shape[0]).reshape(along + 1, down + 1)
    triangles = []
    for i in range(along):
        for j in range(down):
            a, b, c, d = index[i, j], index[i + 1, j], index[i + 1, j + 1], index[i, j + 1]
            triangles += [(a, b, c), (a, c, d)]
    return vertices, np.array(triangles)


def slip_of(vertices, triangles):
    """Reverse slip tapering to zero at the ends and the bottom (m), a little left-lateral."""
    c = vertices[triangles].mean(axis=1)
    angle = np.arctan2(c[:, 0] - CENTRE[0], CENTRE[1] - c[:, 1])
    taper = np.cos(np.pi * angle / ARC) ** 2 * np.clip(1.2 - c[:, 2] / BOTTOM_DEPTH, 0, 1)
    return np.column_stack([0.3 * taper, 2.0 * taper])


def write_tsurf(path, vertices, triangles):
    """A GOCAD TSurf file of the mesh, in m with the vertical as elevation."""
    lines = ["GOCAD TSurf 1", "HEADER {", "name:curved_thrust", "}",
             "GOCAD_ORIGINAL_COORDINATE_SYSTEM", 'AXIS_UNIT "m" "m" "m"', "ZPOSITIVE Elevation",
             "END_ORIGINAL_COORDINATE_SYSTEM", "TFACE"]
    lines += ["VRTX %d %.3f %.3f %.3f" % (i + 1, 1e3 * v[0], 1e3 * v[1], -1e3 * v[2])
              for i, v in enumerate(vertices)]
    lines += ["TRGL %d %d %d" % tuple(t + 1) for t in triangles]
    lines.append("END")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def figure(tri, slip, grid, u, path, dpi=80):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    x, y = grid.x, grid.y
    uz = u[:, 2].reshape(len(y), len(x))
    fig, axes = plt.subplots(1, 2, figsize=(13, 5.6), constrained_layout=True)
    ax = axes[0]
    s = np.hypot(slip[:, 0], slip[:, 1])
    pc = ax.tripcolor(tri[:, :, 0].ravel(), tri[:, :, 1].ravel(),
                      np.arange(3 * len(tri)).reshape(-1, 3), facecolors=s, cmap="viridis",
                      edgecolors="0.4", linewidth=0.3)
    fig.colorbar(pc, ax=ax, shrink=0.85, label="slip (m)")
    ax.set_title("the mesh in map view: %d triangles, 1 to 14 km deep" % len(tri))
    ax = axes[1]
    vmax = np.abs(uz).max()
    im = ax.imshow(uz, origin="lower", extent=(x[0], x[-1], y[0], y[-1]), cmap="RdBu_r",
                   vmin=-vmax, vmax=vmax)
    fig.colorbar(im, ax=ax, shrink=0.85, label="uplift (m)")
    k = max(1, len(x) // 16)
    ux = u[:, 0].reshape(len(y), len(x))[::k, ::k]
    uy = u[:, 1].reshape(len(y), len(x))[::k, ::k]
    ax.quiver(x[::k], y[::k], ux, uy, scale=8 * np.hypot(ux, uy).max(), width=0.003)
    trace = tri[:, :, 2] == tri[:, :, 2].min()
    ax.plot(tri[:, :, 0][trace], tri[:, :, 1][trace], ".", color="k", markersize=2)
    ax.set_title("uplift and horizontal displacement; dots: the top edge")
    for a in axes:
        a.set_xlabel("east (km)")
        a.set_ylabel("north (km)")
        a.set_aspect("equal")
        a.set_xlim(x[0], x[-1])
        a.set_ylim(y[0], y[-1])
    fig.savefig(path, dpi=dpi)
    plt.close(fig)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("library", nargs="?", default=LIBRARY)
    p.add_argument("figure", nargs="?", default=FIGURE)
    p.add_argument("--tsurf", default=TSURF, help="the mesh file written and read back")
    p.add_argument("--step", type=float, default=1.0, help="grid spacing (km)")
    p.add_argument("--docs", action="store_true", help="also write docs/mesh-map.png")
    a = p.parse_args(argv)
    vertices, triangles = mesh()
    os.makedirs(os.path.dirname(os.path.abspath(a.tsurf)), exist_ok=True)
    write_tsurf(a.tsurf, vertices, triangles)
    tri, _ = kirva.read_mesh(a.tsurf)
    slip = slip_of(vertices, triangles)
    grid = kirva.grid(-35, 35, a.step, -25, 35, a.step)
    t0 = time.perf_counter()
    u = kirva.synthesize(a.library, grid, ("ux", "uy", "uz"), triangles=tri, triangle_slip=slip)
    elapsed = time.perf_counter() - t0
    print("%d triangles, %d receivers: %.2f s; largest uplift %.3f m, subsidence %.3f m"
          % (len(tri), len(grid), elapsed, u[:, 2].max(), -u[:, 2].min()))
    os.makedirs(os.path.dirname(os.path.abspath(a.figure)), exist_ok=True)
    figure(tri, slip, grid, u, a.figure)
    if a.docs:
        figure(tri, slip, grid, u, DOCS_FIGURE, dpi=72)
    return {"triangles": tri, "slip": slip, "grid": grid, "u": u}


if __name__ == "__main__":
    main()
