"""Postseismic displacement at GNSS stations after the oblique thrust of the kirva-syn example, in
its layered crust with a lower crust and an upper mantle of 1e19 Pa s (Maxwell bodies), without
and with gravity.

The script makes the tables at 25 times from 0.1 to 3000 years after the earthquake twice (kirva
--times 0.1/3000/25 examples/postseismic/viscous-crust.inp, and the same with --gravity 9.82, a
few seconds each), computes at every tabulated time the displacement since the coseismic step
(kirva.synthesize with postseismic=True, as kirva-syn --time T --postseismic), prints the
stations' motion, and plots the time series of both. Without gravity nothing restores the
vertical motion of relaxed layers; with it the buoyancy of the surface and of the density
contrasts bounds it, and the stations settle into the relaxed state.
Run from the top of the repository after the build:

    PYTHONPATH=build/python /usr/bin/python3 examples/postseismic.py [figure.png]

--docs also writes the figure of the README, docs/postseismic.png.
"""

import argparse
import os
import subprocess
import time

import numpy as np

import kirva

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INPUT = os.path.join("examples", "postseismic", "viscous-crust.inp")
LIBRARY = os.path.join("examples", "output", "postseismic", "grnfun.all")
GRAVITY = 9.82  # m/s^2
FAULTS = os.path.join("examples", "synthesis", "thrust.inp")
FIGURE = os.path.join("examples", "output", "postseismic.png")
DOCS_FIGURE = os.path.join(TOP, "docs", "postseismic.png")
TIMES = "0.1/3000/25"

# GNSS stations (name, x east, y north, km) around the thrust, which strikes N60E through the
# origin and dips to the southeast.
STATIONS = [("HW10", 6.0, -8.0), ("FW12", -6.0, 10.0), ("TIP25", 25.0, 14.0),
            ("SE40", 20.0, -35.0), ("NW60", -30.0, 52.0)]


def make_tables(kirva_exe, library, gravity=None):
    out = os.path.dirname(library)
    os.makedirs(out, exist_ok=True)
    text = open(os.path.join(TOP, INPUT)).read().replace("'examples/output/postseismic/'",
                                                          "'%s/'" % out)
    path = os.path.join(out, "viscous-crust.inp")
    with open(path, "w") as f:
        f.write(text)
    extra = [] if gravity is None else ["--gravity", str(gravity)]
    subprocess.run([kirva_exe, "--times", TIMES] + extra + [path], check=True,
                   stdout=subprocess.DEVNULL)


def gravity_library(library):
    """Where the tables with gravity go: beside those without, in a directory of their own."""
    d = os.path.dirname(library)
    return os.path.join(d + "g", os.path.basename(library))


def series(library):
    """The tabulated times (years) and the postseismic displacement (times, stations, 3) in m."""
    lib = kirva.read_library(library)
    xy = np.array([(x, y) for _, x, y in STATIONS])
    u = np.array([kirva.synthesize(library, xy, ("ux", "uy", "uz"),
                                   faults=os.path.join(TOP, FAULTS), time=t, postseismic=True)
                  for t in lib.times])
    return np.asarray(lib.times), u


def figure(t, u, ug, path, dpi=80):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, 3, figsize=(13, 4.2), constrained_layout=True, sharex=True)
    for ax, c, name in zip(axes, range(3), ("east", "north", "up")):
        for s, (station, _, _) in enumerate(STATIONS):
            line, = ax.plot(t[1:], 1000 * ug[1:, s, c], "o-", markersize=3, label=station)
            ax.plot(t[1:], 1000 * u[1:, s, c], "--", color=line.get_color(), linewidth=1)
        ax.set_xscale("log")
        ax.set_xlabel("years after the earthquake")
        ax.set_title("%s (mm since the coseismic step)" % name)
        ax.grid(True, which="both", alpha=0.3)
    axes[0].legend(fontsize=8, title="with gravity; dashed: without", title_fontsize=8)
    fig.suptitle("relaxation of a lower crust and mantle of 1e19 Pa s after the M 6.9 thrust of "
                 "the kirva-syn example: with gravity, buoyancy bounds the vertical motion")
    fig.savefig(path, dpi=dpi)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("figure", nargs="?", default=FIGURE)
    p.add_argument("--library", default=LIBRARY, help="where the tables go (those with gravity "
                   "in a directory beside it, its name followed by g)")
    p.add_argument("--kirva", default=os.path.join(TOP, "build", "kirva"))
    p.add_argument("--docs", action="store_true", help="also write docs/postseismic.png")
    a = p.parse_args(argv)
    start = time.time()
    make_tables(a.kirva, a.library)
    make_tables(a.kirva, gravity_library(a.library), GRAVITY)
    made = time.time()
    t, u = series(a.library)
    _, ug = series(gravity_library(a.library))
    print("tables at %d times, without and with gravity: %.1f s; %d syntheses: %.1f s"
          % (len(t), made - start, 2 * len(t), time.time() - made))
    for when in (np.argmin(np.abs(t - 100)), len(t) - 1):
        print("station   east    north   up (mm since the coseismic step, at %.0f years): "
              "without gravity | with %g m/s^2" % (t[when], GRAVITY))
        for s, (name, _, _) in enumerate(STATIONS):
            print("%-7s %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f"
                  % ((name,) + tuple(1000 * u[when, s]) + tuple(1000 * ug[when, s])))
    figure(t, u, ug, a.figure)
    if a.docs:
        figure(t, u, ug, DOCS_FIGURE, dpi=72)
    return t, u, ug


if __name__ == "__main__":
    main()
