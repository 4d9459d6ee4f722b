"""Slip inversion in the layered crust of the kirva-syn example: a buried thrust of known slip,
synthetic GNSS and InSAR data from kirva.synthesize, and the slip recovered from them with the
Green's matrices of kirva.greens_matrix, Laplacian smoothing and non-negative least squares.

Run from the top of the repository, after examples/synthesis.sh (or just
./build/kirva examples/synthesis/crust-library.inp) has written the tables:

    PYTHONPATH=build/python /usr/bin/python3 examples/inversion.py [grnfun.all] [figure.png]

The options --along, --down, --gnss and --insar make a smaller, faster problem; --docs also
writes the figure of the README, docs/inversion.png.
"""

import argparse
import os
import time

import numpy as np
from scipy.optimize import nnls

import kirva

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = os.path.join("examples", "output", "synthesis", "grnfun.all")
FIGURE = os.path.join("examples", "output", "inversion.png")
DOCS_FIGURE = os.path.join(TOP, "docs", "inversion.png")

# The thrust: 40 km along strike (east), 20 km down a 30 degree dip to the south, top edge at
# 2 km, so that it reaches 12 km, well inside the tabulated source depths (0.5 to 20.5 km).
FAULT = dict(length=40.0, width=20.0, strike=90.0, dip=30.0, top=2.0)

# Ground-to-satellite unit vector (east, north, up) of a descending track: heading about 190
# degrees, right-looking (towards 280 degrees), incidence 39 degrees, so the satellite sits to the
# east-southeast: (sin 39 sin 100, sin 39 cos 100, cos 39).
LOS = np.array([0.62, -0.11, 0.78])
LOS = LOS / np.linalg.norm(LOS)

SIGMA_GNSS = 2e-3   # m, each of the three components
SIGMA_INSAR = 5e-3  # m, line of sight
REACH = 79.0        # km: no receiver farther from any part of the fault (the tables end at 80)


def fault_patches(along, down, length=FAULT["length"], width=FAULT["width"],
                  strike=FAULT["strike"], dip=FAULT["dip"], top=FAULT["top"]):
    """The fault centred on the origin (at the surface projection of its mid-point) cut into
    along x down patches, in kirva.subdivide's order: rows down dip from the top, along strike
    within a row."""
    depth = top + 0.5 * width * np.sin(np.radians(dip))
    rect = {"x": [0.0], "y": [0.0], "depth": [depth], "strike": [strike], "dip": [dip],
            "length": [length], "width": [width]}
    return kirva.subdivide(rect, along, down)


def plane_coordinates(along, down, length=FAULT["length"], width=FAULT["width"]):
    """Distance along strike from the fault's middle and down dip from its top edge (km) of the
    patch centres, as (down, along) grids."""
    a = ((np.arange(along) + 0.5) / along - 0.5) * length
    w = (np.arange(down) + 0.5) / down * width
    return np.meshgrid(a, w)


def true_slip(along, down, length=FAULT["length"], width=FAULT["width"]):
    """The slip to recover, (M, 2) m, columns strike and dip in greens_matrix's order: a 2-D
    Gaussian of reverse slip peaking at 4 m west of the middle, and a smaller, offset patch of
    left-lateral slip (1.2 m) to the east, so that the rake turns from 90 to about 45 degrees
    along strike. Both components are non-negative, which the inversion's bounds assume."""
    a, w = plane_coordinates(along, down, length, width)
    dip = 4.0 * np.exp(-0.5 * (((a + 0.12 * length) / (0.2 * length)) ** 2
                               + ((w - 0.45 * width) / (0.22 * width)) ** 2))
    strike = 1.2 * np.exp(-0.5 * (((a - 0.2 * length) / (0.15 * length)) ** 2
                                  + ((w - 0.4 * width) / (0.2 * width)) ** 2))
    return np.column_stack([strike.ravel(), dip.ravel()])


def receivers(rng, n, patches, half=60.0, reach=REACH):
    """n random points of the square +-half km, each within reach (km, horizontally) of every
    corner of every patch, so that the tables cover all that greens_matrix integrates."""
    f, d = np.radians(patches["strike"]), np.radians(patches["dip"])
    s = np.stack([np.sin(f), np.cos(f)], axis=1)                       # along strike
    w = np.stack([np.cos(f), -np.sin(f)], axis=1) * np.cos(d)[:, None]  # down dip, horizontal
    centre = np.stack([patches["x"], patches["y"]], axis=1)
    hl, hw = 0.5 * patches["length"][:, None], 0.5 * patches["width"][:, None]
    corners = np.concatenate([centre + i * hl * s + j * hw * w for i in (-1, 1) for j in (-1, 1)])
    out = np.empty((0, 2))
    while len(out) < n:
        p = rng.uniform(-half, half, (4 * n, 2))
        far = np.max(np.hypot(p[:, None, 0] - corners[None, :, 0],
                              p[:, None, 1] - corners[None, :, 1]), axis=1)
        out = np.concatenate([out, p[far < reach]])
    return out[:n]


def synthetic_data(library, patches, slip, n_gnss, n_insar, seed):
    """Stations, pixels and their noisy data for the true slip, from kirva.synthesize rather
    than from the Green's matrices the inversion uses, and with a finer integration of each
    patch (0.5 km pieces, 3 x 3 points), so that the data are not made by the inversion's own
    operator."""
    rng = np.random.default_rng(seed)
    gnss = receivers(rng, n_gnss, patches)
    insar = receivers(rng, n_insar, patches)
    src = dict(patches, rake=np.degrees(np.arctan2(slip[:, 1], slip[:, 0])),
               slip=np.hypot(slip[:, 0], slip[:, 1]))
    fine = dict(patch_size=0.5, gauss=3)
    u = kirva.synthesize(library, gnss, ("ux", "uy", "uz"), patches=src, **fine)
    los = kirva.synthesize(library, insar, "los", patches=src, los=LOS, **fine)[:, 0]
    return {"gnss": gnss, "insar": insar,
            "d_gnss": u + SIGMA_GNSS * rng.standard_normal(u.shape),
            "d_insar": los + SIGMA_INSAR * rng.standard_normal(los.shape)}


def laplacian(along, down, length=FAULT["length"], width=FAULT["width"]):
    """The five-point finite-difference Laplacian (1/km^2) over the patch grid, for one slip
    component. The fault is buried on every side, so slip beyond its edges is taken as zero:
    the smoothing also tapers the slip towards the edges (as in Jonsson et al., 2002, BSSA)."""
    ha, hw = length / along, width / down
    m = along * down
    lap = np.zeros((m, m))
    for i in range(down):
        for j in range(along):
            k = i * along + j
            lap[k, k] = -2.0 / ha ** 2 - 2.0 / hw ** 2
            for di, dj, h in ((0, -1, ha), (0, 1, ha), (-1, 0, hw), (1, 0, hw)):
                if 0 <= i + di < down and 0 <= j + dj < along:
                    lap[k, (i + di) * along + j + dj] = 1.0 / h ** 2
    return lap


def solve(g, d, lap, weight):
    """Non-negative slip minimising |G s - d|^2 + weight^2 |L s|^2, with G and d already divided
    by the noise (the active-set method of Lawson and Hanson, 1974). Both components are held
    non-negative: reverse slip, as on a thrust, and left-lateral strike slip, the sense of the
    true slip, so that the rake stays within 0 to 90 degrees, as when the focal mechanism tells
    the sense of slip. Slip of either lateral sense would need a free strike component."""
    a = np.vstack([g, weight * lap])
    b = np.concatenate([d, np.zeros(len(lap))])
    return nnls(a, b)[0]


def choose_weight(g, d, lap, weights):
    """The smoothest slip that fits the data to their noise (Morozov's discrepancy principle):
    the largest weight whose chi^2 stays within two standard deviations of its expected value,
    the number of data N (chi^2 with N degrees of freedom has variance 2N)."""
    n = len(d)
    best = None
    for wt in sorted(weights):
        s = solve(g, d, lap, wt)
        chi2 = float(np.sum((g @ s - d) ** 2))
        if best is None or chi2 <= n + 2.0 * np.sqrt(2.0 * n):
            best = (wt, s, chi2)
    return best


def shear_modulus(lib, depth_km):
    """rho vs^2 (Pa) of the library's layer at each depth (km)."""
    rows = [lib.source_row(1e3 * z) for z in depth_km]
    return np.array([lib.layers[r, 3] * lib.layers[r, 2] ** 2 for r in rows])


def moment(lib, patches, slip):
    """Seismic moment, sum of mu A |s| over the patches (N m; Aki and Richards, 2002)."""
    area = 1e6 * patches["length"] * patches["width"]
    return float(np.sum(shear_modulus(lib, patches["depth"]) * area * np.hypot(*slip.T)))


def invert(library, along=20, down=10, n_gnss=40, n_insar=2000, seed=1, weights=None):
    """The whole experiment: the fault, the true slip and its data, the Green's matrices, the
    choice of smoothing and the non-negative solution; a dict of all of it."""
    lib = kirva.read_library(library)
    patches = fault_patches(along, down)
    truth = true_slip(along, down)
    data = synthetic_data(lib, patches, truth, n_gnss, n_insar, seed)
    m = along * down

    t0 = time.perf_counter()
    g_gnss = kirva.greens_matrix(lib, patches, data["gnss"]).reshape(3 * n_gnss, 2 * m)
    t1 = time.perf_counter()
    g_insar = kirva.greens_matrix(lib, patches, data["insar"], "los", los=LOS)
    g_insar = g_insar.reshape(n_insar, 2 * m)
    t2 = time.perf_counter()

    # Each datum divided by its standard deviation: the misfit is chi^2.
    g = np.vstack([g_gnss / SIGMA_GNSS, g_insar / SIGMA_INSAR])
    d = np.concatenate([data["d_gnss"].ravel() / SIGMA_GNSS, data["d_insar"] / SIGMA_INSAR])
    # The same Laplacian for both slip components (unknowns patch by patch, strike then dip).
    lap = np.kron(laplacian(along, down), np.eye(2))
    if weights is None:
        weights = np.logspace(0, 3, 13)
    weight, s, chi2 = choose_weight(g, d, lap, weights)
    t3 = time.perf_counter()
    slip = s.reshape(m, 2)

    res_gnss = data["d_gnss"] - (g_gnss @ s).reshape(n_gnss, 3)
    res_insar = data["d_insar"] - g_insar @ s
    return {"patches": patches, "along": along, "down": down, "truth": truth, "slip": slip,
            "data": data, "res_gnss": res_gnss, "res_insar": res_insar, "weight": weight,
            "chi2": chi2, "n_data": len(d),
            "correlation": float(np.corrcoef(slip.ravel(), truth.ravel())[0, 1]),
            "moment_true": moment(lib, patches, truth), "moment": moment(lib, patches, slip),
            "time_gnss": t1 - t0, "time_insar": t2 - t1, "time_solve": t3 - t2}


def mw(m0):
    """Moment magnitude (Hanks and Kanamori, 1979)."""
    return 2.0 / 3.0 * (np.log10(m0) - 9.1)


def rms_mm(v):
    return 1e3 * float(np.sqrt(np.mean(v ** 2)))


def summary(r):
    n_gnss, n_insar = len(r["data"]["gnss"]), len(r["data"]["insar"])
    lines = [
        "patches: %d (%d along strike x %d down dip), 2 slip components each"
        % (r["along"] * r["down"], r["along"], r["down"]),
        "data: %d GNSS stations (%d components), %d InSAR pixels" % (n_gnss, 3 * n_gnss, n_insar),
        "greens_matrix: GNSS %.2f s, InSAR %.2f s; weight choice and solutions %.2f s"
        % (r["time_gnss"], r["time_insar"], r["time_solve"]),
        "smoothing weight %.3g: chi^2 / N = %.3f" % (r["weight"], r["chi2"] / r["n_data"]),
        "correlation of recovered with true slip (both components): %.3f" % r["correlation"],
        "moment (mu of the layer at each patch): true %.3e N m (Mw %.2f), recovered %.3e N m, "
        "ratio %.3f" % (r["moment_true"], mw(r["moment_true"]), r["moment"],
                        r["moment"] / r["moment_true"]),
        "residual RMS: GNSS %.2f mm (noise %.0f), InSAR %.2f mm (noise %.0f)"
        % (rms_mm(r["res_gnss"]), 1e3 * SIGMA_GNSS, rms_mm(r["res_insar"]), 1e3 * SIGMA_INSAR),
    ]
    return "\n".join(lines)


def figure(r, paths, dpi=80):
    """True and recovered slip on the fault plane, and the residuals of the data."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    along, down = r["along"], r["down"]
    length, width = FAULT["length"], FAULT["width"]
    a, w = plane_coordinates(along, down)
    vmax = max(np.hypot(*r["truth"].T).max(), np.hypot(*r["slip"].T).max())
    fig, axes = plt.subplots(2, 2, figsize=(12, 8.4), constrained_layout=True)
    for ax, key, title in ((axes[0, 0], "truth", "true slip"),
                           (axes[0, 1], "slip", "recovered slip")):
        s = r[key]
        im = ax.imshow(np.hypot(*s.T).reshape(down, along), cmap="viridis", vmin=0, vmax=vmax,
                       extent=(-length / 2, length / 2, width, 0), aspect="equal")
        # Hanging-wall slip: along strike to the right, up dip upwards.
        step = max(1, along // 10)
        ax.quiver(a[:, ::step], w[:, ::step], s[:, 0].reshape(down, along)[:, ::step],
                  s[:, 1].reshape(down, along)[:, ::step], color="w", scale=vmax * 14,
                  width=0.004)
        ax.set_title(title)
        ax.set_xlabel("along strike, east (km)")
        ax.set_ylabel("down dip (km)")
        fig.colorbar(im, ax=ax, shrink=0.8, label="slip (m)")

    # The fault's surface projection.
    p = r["patches"]
    ys = p["y"].reshape(down, along)[:, 0]
    hw = 0.5 * width / down * np.cos(np.radians(FAULT["dip"]))
    y0, y1 = ys[0] + hw, ys[-1] - hw
    outline = np.array([[-length / 2, y0], [length / 2, y0], [length / 2, y1],
                        [-length / 2, y1], [-length / 2, y0]])
    data = r["data"]
    ax = axes[1, 0]
    res = 1e3 * r["res_gnss"]
    lim = max(3 * 1e3 * SIGMA_GNSS, np.abs(res[:, 2]).max())
    sc = ax.scatter(data["gnss"][:, 0], data["gnss"][:, 1], c=res[:, 2], cmap="RdBu_r",
                    vmin=-lim, vmax=lim, s=30, edgecolors="k", linewidths=0.5, zorder=2)
    q = ax.quiver(data["gnss"][:, 0], data["gnss"][:, 1], res[:, 0], res[:, 1], scale=60,
                  width=0.004, zorder=3)
    ax.quiverkey(q, 0.06, 0.04, 5, "5 mm", labelpos="E")
    fig.colorbar(sc, ax=ax, shrink=0.8, label="vertical residual (mm)")
    ax.set_title("GNSS residuals (horizontal arrows)")
    ax = axes[1, 1]
    res = 1e3 * r["res_insar"]
    lim = 3 * 1e3 * SIGMA_INSAR
    sc = ax.scatter(data["insar"][:, 0], data["insar"][:, 1], c=res, cmap="RdBu_r", vmin=-lim,
                    vmax=lim, s=6, linewidths=0)
    fig.colorbar(sc, ax=ax, shrink=0.8, label="line-of-sight residual (mm)")
    ax.set_title("InSAR residuals (descending track)")
    for ax in axes[1]:
        ax.plot(outline[:, 0], outline[:, 1], "k-", lw=1)
        ax.plot(outline[:2, 0], outline[:2, 1], "k-", lw=2.5)
        ax.set_xlim(-62, 62)
        ax.set_ylim(-62, 62)
        ax.set_aspect("equal")
        ax.set_xlabel("x east (km)")
        ax.set_ylabel("y north (km)")
    fig.suptitle("Slip inversion of a 30-degree thrust in a layered crust: %d GNSS stations, "
                 "%d InSAR pixels; correlation %.3f, moment ratio %.3f"
                 % (len(data["gnss"]), len(data["insar"]), r["correlation"],
                    r["moment"] / r["moment_true"]))
    for path in paths:
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        fig.savefig(path, dpi=dpi)
    plt.close(fig)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("library", nargs="?", default=LIBRARY, help="grnfun.all (default %(default)s)")
    ap.add_argument("figure", nargs="?", default=FIGURE, help="PNG (default %(default)s)")
    ap.add_argument("--along", type=int, default=20, help="patches along strike (20)")
    ap.add_argument("--down", type=int, default=10, help="patches down dip (10)")
    ap.add_argument("--gnss", type=int, default=40, help="GNSS stations (40)")
    ap.add_argument("--insar", type=int, default=2000, help="InSAR pixels (2000)")
    ap.add_argument("--seed", type=int, default=1, help="seed of positions and noise (1)")
    ap.add_argument("--docs", action="store_true", help="also write " + DOCS_FIGURE)
    args = ap.parse_args(argv)
    t = time.perf_counter()
    r = invert(args.library, args.along, args.down, args.gnss, args.insar, args.seed)
    figure(r, [args.figure] + ([DOCS_FIGURE] if args.docs else []))
    print(summary(r))
    print("figure: %s; %.1f s in all" % (args.figure, time.perf_counter() - t))
    return r


if __name__ == "__main__":
    main()
