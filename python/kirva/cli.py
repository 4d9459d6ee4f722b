"""python3 -m kirva info|extract|plot: inspect the tables of a run from the command line.

    info FILE                                   how it was made (grnfun.json), model, ranges, sizes,
                                                largest value per component
    extract FILE --type ss --zs KM [--zrec KM] [--time T [--postseismic]]
                                                columns of r and the components (GMT, spreadsheets)
    plot FILE --zs KM [--zrec KM] [--time T [--postseismic]] -o PICTURE [--dpi N]
                                                uz, ur, ut of the source types against r

FILE is a grnfun.all; the explosion (--type ex) and the tables at times after the source are
read from the grnfun.ext beside it. Depths are given in km and must be tabulated ones (to within
1 mm). --time T (years after the source, default 0) takes the tables at T, interpolated between
the library's times as the synthesis does; --postseismic their change since time 0.
A failure is one line on stderr and exit status 1.
"""

import argparse
import sys

import numpy as np

from .library import LibraryError, read_library, read_provenance
from .sources import SOURCE_TYPES, COMPONENTS, UNITS


class CliError(Exception):
    pass


def _pick(values, km, what, path):
    """Index of the tabulated depth at km (to within 1 mm)."""
    z = 1000.0 * km
    if len(values) == 0:
        raise CliError("%s holds no %s" % (path, what))
    j = int(np.argmin(np.abs(np.asarray(values) - z)))
    if abs(values[j] - z) > 1e-3:
        shown = ", ".join("%g" % (v / 1000.0) for v in values[:8])
        if len(values) > 8:
            shown += ", ... %g" % (values[-1] / 1000.0)
        raise CliError("no %s at %g km in %s; the tabulated ones are (km): %s"
                       % (what, km, path, shown))
    return j


def _label(c):
    unit = UNITS.get(c)
    name = "duz/dr" if c == "duzdr" else c
    return "%s[%s]" % (name, unit) if unit else name


def _model_line(lib):
    hs = lib.layers[-1]
    depth = float(np.sum(lib.layers[:-1, 0]))
    return ("%d rows; surface vp %.2f vs %.2f km/s; half-space from %g km: vp %.2f vs %.2f km/s"
            % (lib.nlayer, lib.layers[0, 1] / 1000, lib.layers[0, 2] / 1000, depth / 1000,
               hs[1] / 1000, hs[2] / 1000))


def _provenance_line(p):
    """One line from a grnfun.json: program and version, mode, smoothing, sampfac, input."""
    def get(key, fmt="%s"):
        v = p.get(key)
        return "?" if v is None else fmt % v
    try:
        smoothing = "%g m" % float(p.get("smoothing_m"))
    except (TypeError, ValueError):
        smoothing = "?"
    options = p.get("options") if isinstance(p.get("options"), dict) else {}
    gravity = options.get("gravity")
    return ("%s %s, %s mode, smoothing %s (%s), sampfac %s, %sinput %s"
            % (get("program"), get("version"), get("mode"), smoothing, get("smoothing_rule"),
               get("sampfac", "%g") if isinstance(p.get("sampfac"), (int, float)) else "?",
               "" if not isinstance(gravity, (int, float)) else
               "gravity %g m/s^2 (buoyancy), " % gravity, get("input_file")))


_NAMES = {"ss": "strike-slip", "ds": "dip-slip", "cl": "CLVD", "ex": "explosion"}


def _rheology_lines(v):
    """The lines of the "viscoelastic" entry of a grnfun.json: the rheology and, per layer-table
    row with a viscous element, its viscosities and relaxation times ("?" where the entry is
    not what it should be)."""
    if not isinstance(v, dict):
        return ["rheology: ? (the viscoelastic entry of grnfun.json is not an object)"]

    def cell(row, key, fmt):
        x = row.get(key) if isinstance(row, dict) else None
        if x is None:
            return "-"
        return fmt % x if isinstance(x, (int, float)) and not isinstance(x, bool) else "?"
    lines = ["rheology: %s" % v.get("rheology", "?")]
    if v.get("method") is not None:
        lines.append("method: %s" % v["method"])
    rows = v.get("rows")
    if not isinstance(rows, list):
        return lines + ["  rows: ?"]
    lines.append("  %4s %8s %12s %12s %8s %12s %12s" % (
        "row", "top[km]", "eta_M[Pa s]", "eta_K[Pa s]", "muK/mu", "maxwell[yr]", "kelvin[yr]"))
    for row in rows:
        lines.append("  %4s %8s %12s %12s %8s %12s %12s" % (
            cell(row, "row", "%d"), cell(row, "top_km", "%g"), cell(row, "eta_M", "%.4g"),
            cell(row, "eta_K", "%.4g"), cell(row, "mu_K_over_mu", "%g"),
            cell(row, "maxwell_time_years", "%.4g"), cell(row, "kelvin_time_years", "%.4g")))
    return lines


def _time_text(args):
    """What the tables at --time are, for headers: empty for the elastic ones."""
    if args.postseismic:
        return ", change from 0 to %g years after the source" % args.time
    return ", %g years after the source" % args.time if args.time != 0 else ""


def cmd_info(args, out):
    lib = read_library(args.file)
    extra = ", ".join(_NAMES[t] for t, time in lib.descriptors if time == 0)
    out.write("%s: %d bytes, %d observation depths x 3 source types%s x %d source depths x %d "
              "distances\n" % (lib.path, lib.size, lib.nzrec, " (+ %s)" % extra if extra else "",
                               lib.nzs, lib.nr))
    if len(lib.times) > 1:
        out.write("%d times after the source: %s years\n"
                  % (len(lib.times), ", ".join("%g" % t for t in lib.times)))
    prov, problem = read_provenance(args.file)
    if prov is not None:
        out.write("made by: %s\n" % _provenance_line(prov))
        if "viscoelastic" in prov:
            out.write("".join(line + "\n" for line in _rheology_lines(prov["viscoelastic"])))
    elif problem is not None:
        out.write("made by: unknown (%s)\n" % problem)
    out.write("model: %s\n" % _model_line(lib))
    out.write("  %4s %14s %10s %10s %10s\n" % ("row", "thickness[m]", "vp[m/s]", "vs[m/s]",
                                                "rho[kg/m3]"))
    for l, row in enumerate(lib.layers):
        out.write("  %4d %14.6g %10.6g %10.6g %10.6g\n" % (l + 1, row[0], row[1], row[2], row[3]))
    if lib.spacing == "even":
        step = "evenly spaced, step %g m" % ((lib.r[-1] - lib.r[0]) / (lib.nr - 1))
    else:
        step = "geometric, ratio %g" % abs(lib.r2)
    out.write("distances: %d from %g to %g m, %s\n" % (lib.nr, lib.r[0], lib.r[-1], step))
    out.write("source depths: %d from %g to %g m, step %g m\n"
              % (lib.nzs, lib.zs[0], lib.zs[-1], lib.zs[1] - lib.zs[0]))
    out.write("observation depths: %d%s\n" % (lib.nzrec, (": " + ", ".join(
        "%g" % z for z in lib.zrec[:10]) + (" ..." if lib.nzrec > 10 else "") + " m")
        if lib.nzrec else ""))
    out.write("largest |value| of each component:\n")
    out.write("  %-4s" % "" + "".join("%12s" % _label(c) for c in COMPONENTS) + "\n")
    for t in lib.components:
        cells = []
        for c in COMPONENTS:
            i = lib.index(t, c)
            if i is None or lib.nzrec == 0:
                cells.append("%12s" % "-")
            else:
                cells.append("%12.4e" % float(np.max(np.abs(lib.table(t)[:, :, i, :]))))
        out.write("  %-4s" % t + "".join(cells) + "\n")
    return 0


def cmd_extract(args, out):
    lib = read_library(args.file)
    j = _pick(lib.zs, args.zs, "source depth", lib.path)
    k = _pick(lib.zrec, args.zrec, "observation depth", lib.path) if args.zrec is not None else 0
    if lib.nzrec == 0:
        raise CliError("%s holds no observation depth" % lib.path)
    t = args.type
    comps = SOURCE_TYPES[t]["components"]
    # Before any output: a missing table or time is the only line written.
    a = lib.table_at(t, args.time, args.postseismic)[k, j]
    out.write("# %s: %s%s, zs = %g m, zrec = %g m; mu at the source %.6e Pa\n"
              % (lib.path, SOURCE_TYPES[t]["title"], _time_text(args), lib.zs[j], lib.zrec[k],
                 lib.mu_source(j)))
    out.write("# r[m] " + " ".join(_label(c) for c in comps) + "\n")
    for i in range(lib.nr):
        out.write("%.17g " % lib.r[i] + " ".join("%.17g" % a[c, i] for c in range(len(comps)))
                  + "\n")
    return 0


def cmd_plot(args, out):
    lib = read_library(args.file)
    j = _pick(lib.zs, args.zs, "source depth", lib.path)
    if lib.nzrec == 0:
        raise CliError("%s holds no observation depth" % lib.path)
    k = _pick(lib.zrec, args.zrec, "observation depth", lib.path) if args.zrec is not None else 0
    tables = {t: lib.table_at(t, args.time, args.postseismic)[k, j] for t in lib.components}
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        raise CliError("plot needs matplotlib")
    fig, axes = plt.subplots(3, 2, figsize=(11, 10), dpi=args.dpi)
    r_km = lib.r / 1000.0
    for row, c in enumerate(("uz", "ur", "ut")):
        for t in lib.components:
            i = lib.index(t, c)
            if i is None:
                continue
            col = tables[t][i]
            axes[row, 0].plot(r_km, col, label=_NAMES[t])
            keep = (lib.r > 0) & (col != 0)
            axes[row, 1].loglog(r_km[keep], np.abs(col[keep]), label=_NAMES[t])
        axes[row, 0].axhline(0.0, color="0.7", linewidth=0.8)
        axes[row, 0].set_ylabel("%s [m]" % c)
        axes[row, 1].set_ylabel("|%s| [m]" % c)
        for ax in axes[row]:
            ax.grid(True, which="both", alpha=0.3)
    for ax in axes[-1]:
        ax.set_xlabel("distance r [km]")
    axes[0, 0].legend()
    fig.suptitle("KIRVA Green's functions, unit potency%s: zs = %g km, zrec = %g km\nmodel: %s"
                 % (_time_text(args), lib.zs[j] / 1000, lib.zrec[k] / 1000, _model_line(lib)))
    fig.tight_layout()
    try:
        fig.savefig(args.output)
    except OSError as e:
        raise CliError("cannot write %s: %s" % (args.output, e.strerror or e))
    finally:
        plt.close(fig)
    return 0


def main(argv=None, out=None):
    out = out or sys.stdout
    p = argparse.ArgumentParser(prog="python3 -m kirva", description=__doc__.split("\n")[0])
    sub = p.add_subparsers(dest="command", required=True)
    pi = sub.add_parser("info", help="model, ranges, sizes, largest value of each component")
    pi.add_argument("file")
    pe = sub.add_parser("extract", help="columns of r and the components of one table")
    pe.add_argument("file")
    pe.add_argument("--type", required=True, choices=tuple(SOURCE_TYPES))
    pe.add_argument("--zs", required=True, type=float, help="source depth, km")
    pe.add_argument("--zrec", type=float, help="observation depth, km (default: the first)")
    pp = sub.add_parser("plot", help="uz, ur, ut of the source types against distance")
    pp.add_argument("file")
    pp.add_argument("--zs", required=True, type=float, help="source depth, km")
    pp.add_argument("--zrec", type=float, help="observation depth, km (default: the first)")
    for q in (pe, pp):
        q.add_argument("--time", type=float, default=0.0,
                       help="years after the source (default 0, the elastic tables)")
        q.add_argument("--postseismic", action="store_true",
                       help="the change of the tables from time 0 to --time")
    pp.add_argument("-o", "--output", required=True, help="picture file, e.g. tables.png")
    pp.add_argument("--dpi", type=float, default=100.0,
                    help="pixels per inch of the 11 x 10 inch figure (default 100)")
    args = p.parse_args(argv)
    try:
        return {"info": cmd_info, "extract": cmd_extract, "plot": cmd_plot}[args.command](args, out)
    except (LibraryError, CliError) as e:
        sys.stderr.write("kirva: %s\n" % e)
        return 1
    except BrokenPipeError:
        return 1
