"""Map of the kirva-syn example: uplift with horizontal displacement arrows, the line-of-sight
displacement, and the Coulomb stress change; the fault's surface projection outlined."""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

src, png = sys.argv[1], sys.argv[2]
with open(src) as f:
    names = [l for l in f if l.startswith("#")][-1][1:].split()
data = np.loadtxt(src)
col = {n: data[:, i] for i, n in enumerate(names)}
xs, ys = np.unique(col["x"]), np.unique(col["y"])
grid = {n: v.reshape(len(ys), len(xs)) for n, v in col.items()}

# Surface projection of the fault of thrust.inp: top edge (-14, -8) -> (14, 8), dipping 40
# degrees to its right from 2 to 17 km.
top = np.array([[-14.0, -8.0], [14.0, 8.0]])
along = (top[1] - top[0]) / np.linalg.norm(top[1] - top[0])
right = np.array([along[1], -along[0]])
reach = (17.0 - 2.0) / np.tan(np.radians(40.0))
outline = np.array([top[0], top[1], top[1] + reach * right, top[0] + reach * right, top[0]])

fig, axes = plt.subplots(1, 3, figsize=(15, 4.8), constrained_layout=True)
panels = [("uz", "uplift uz (m)", 1.0), ("los", "line of sight, ascending track (m)", 1.0),
          ("cfs", "Coulomb stress change on N60E/40/108 (MPa)", 1e-6)]
for ax, (name, title, scale) in zip(axes, panels):
    v = grid[name] * scale
    lim = np.nanpercentile(np.abs(v), 99)
    im = ax.pcolormesh(xs, ys, v, cmap="RdBu_r", vmin=-lim, vmax=lim, shading="auto")
    fig.colorbar(im, ax=ax, shrink=0.85)
    ax.plot(outline[:, 0], outline[:, 1], "k-", lw=1)
    ax.plot(top[:, 0], top[:, 1], "k-", lw=2.5)
    ax.set_title(title)
    ax.set_aspect("equal")
    ax.set_xlabel("x east (km)")
axes[0].set_ylabel("y north (km)")
step = 5
q = axes[0].quiver(xs[::step], ys[::step], grid["ux"][::step, ::step], grid["uy"][::step, ::step],
                   scale=5, width=0.004)
axes[0].quiverkey(q, 0.8, 1.06, 0.5, "0.5 m", labelpos="E")
fig.suptitle("kirva-syn: oblique thrust, M 6.9, in a layered crust (reverse 1.8 m, right-lateral 0.6 m)")
fig.savefig(png, dpi=90)
