"""Deformation of faults and point sources from the tables, in Python: the Green's matrices of
slip inversions and the synthesis of kirva-syn, on the same compiled engine (kirva._engine).

Frame and units as kirva-syn's: x east, y north (km), depth down (km), angles in degrees, slip in
m, moments in N m; displacements east, north, up (m). A patch dips to the right of its strike.
Unit slip "strike" moves the hanging wall along strike (rake 0, left-lateral), "dip" is reverse
slip (rake 90). The line of sight points from the ground toward the satellite (east, north, up).
"""

import os
import warnings

import numpy as np

from .errors import KirvaError
from .library import Library

# The columns of a patch mapping, and the two that synthesize needs besides them.
PATCH_COLUMNS = ("x", "y", "depth", "strike", "dip", "length", "width")
SLIP_COLUMNS = ("rake", "slip")


def _engine():
    try:
        from . import _engine as engine
    except ImportError as e:
        raise ImportError("kirva's compiled engine is not built: build the repository with CMake "
                          "and use PYTHONPATH=build/python (see the README)") from e
    return engine


def _open(library):
    """The engine's view of a library: a path to grnfun.all, or an open kirva.Library (whose
    engine is kept with it, so that loops over calls open the file once)."""
    engine = _engine()
    if isinstance(library, Library):
        handle = getattr(library, "_engine_handle", None)
        if handle is None:
            handle = engine.Engine(library.path)
            library._engine_handle = handle
        return handle
    if isinstance(library, engine.Engine):
        return library
    try:
        path = os.fspath(library)
    except TypeError:
        raise KirvaError("kirva-syn: library must be a path to grnfun.all or a kirva.Library, "
                         "not %s" % type(library).__name__) from None
    return engine.Engine(path)


def _names(value, what):
    if isinstance(value, str):
        value = (value,)
    try:
        names = [str(v) for v in value]
    except TypeError:
        raise KirvaError("kirva-syn: %s must be a name or a sequence of names" % what) from None
    return names


def _float_array(value, what):
    try:
        return np.ascontiguousarray(value, dtype=np.float64)
    except (TypeError, ValueError):
        raise KirvaError("kirva-syn: %s must hold numbers" % what) from None


def _receivers(receivers):
    """(N, 3) km: x east, y north, depth down; an (N, 2) array lies at the surface."""
    r = _float_array(receivers, "receivers")
    if r.ndim == 1 and r.size == 0:
        r = r.reshape(0, 3)
    if r.ndim != 2 or r.shape[1] not in (2, 3):
        raise KirvaError("kirva-syn: receivers must be an array of shape (N, 2) or (N, 3) "
                         "(x east, y north[, depth down], km), not %s" % (r.shape,))
    if r.shape[1] == 2:
        r = np.column_stack([r, np.zeros(len(r))])
    return r


def _columns(mapping, names, what="patches"):
    """Equal-length 1-D float arrays of the named columns, side by side: (M, len(names))."""
    cols = []
    for name in names:
        try:
            c = mapping[name]
        except (KeyError, IndexError, TypeError):
            raise KirvaError("kirva-syn: %s has no column '%s' (needed: %s)"
                             % (what, name, " ".join(names))) from None
        c = _float_array(c, "%s['%s']" % (what, name))
        if c.ndim == 0:
            c = c.reshape(1)
        if c.ndim != 1:
            raise KirvaError("kirva-syn: %s['%s'] must be one-dimensional" % (what, name))
        cols.append(c)
    lengths = {len(c) for c in cols}
    if len(lengths) > 1:
        raise KirvaError("kirva-syn: the columns of %s differ in length (%s)"
                         % (what, ", ".join("%s %d" % (n, len(c)) for n, c in zip(names, cols))))
    return np.column_stack(cols) if cols else np.empty((0, 0))


def _has(mapping, name):
    try:
        mapping[name]
    except (KeyError, IndexError, TypeError):
        return False
    return True


def _patch_rows(patches, with_slip):
    """The (M, 10) rows x y depth strike dip rake slip length width opening of a patch mapping.
    With slip, rake and slip may be left out where an opening column is given (a dike or sill)."""
    c = _columns(patches, PATCH_COLUMNS)
    m = len(c)
    zero = np.zeros(m)
    opening = zero
    if with_slip and _has(patches, "opening"):
        opening = _columns(patches, ("opening",))[:, 0]
        if len(opening) != m:
            raise KirvaError("kirva-syn: the columns of patches differ in length (opening %d, x %d)"
                             % (len(opening), m))
    rake = slip = zero
    if with_slip and (opening is zero or _has(patches, "rake") or _has(patches, "slip")):
        s = _columns(patches, PATCH_COLUMNS + SLIP_COLUMNS)
        rake, slip = s[:, 7], s[:, 8]
    return np.column_stack([c[:, :5], rake, slip, c[:, 5], c[:, 6], opening])


def _los(los, n):
    if los is None:
        return None
    l = _float_array(los, "los")
    if not (l.shape == (3,) or l.shape == (n, 3)):
        raise KirvaError("kirva-syn: los must be one vector (3,) or one per receiver (%d, 3), "
                         "not %s" % (n, l.shape))
    return l


def _settings(patch_size, gauss, threads):
    if patch_size is not None:
        patch_size = float(patch_size)
    if threads is not None:
        threads = int(threads)
    return patch_size, int(gauss), threads


def _time(time, postseismic):
    """The time after the source (years) and whether the result is the change since it."""
    try:
        time = float(time)
    except (TypeError, ValueError):
        raise KirvaError("kirva-syn: time must be a number of years, not %r" % (time,)) from None
    return time, bool(postseismic)


def _triangles(value, what="triangles"):
    """An (M, 3, 3) float array of triangle vertices (km)."""
    t = _float_array(value, what)
    if t.ndim != 3 or t.shape[1:] != (3, 3):
        raise KirvaError("kirva-syn: %s must be an array of shape (M, 3, 3), not %s"
                         % (what, t.shape))
    return t


def _is_mapping(patches):
    return hasattr(patches, "keys")


def greens_matrix(library, patches, receivers, quantities=("ux", "uy", "uz"),
                  slip=("strike", "dip"), los=None, patch_size=None, gauss=2, threads=None,
                  time=0.0, postseismic=False):
    """The Green's matrix of rectangular patches at receivers: a float64 array G of shape
    (N, Q, M, S), G[i, q, j, s] quantity q at receiver i for 1 m of slip s on patch j, so that
    G.reshape(N * Q, M * S) is the design matrix of a slip inversion.

    library: path to grnfun.all or a kirva.Library. patches: a mapping (dict, DataFrame) of
    equal-length arrays x, y, depth (centre, km), strike, dip (degrees), length, width (km).
    Instead of the mapping, patches may be triangles: an (M, 3, 3) array of their vertices (km;
    x east, y north, depth down), as kirva.read_mesh gives them.
    receivers: (N, 2) or (N, 3) km. quantities: kirva-syn's names (los needs los=, one (3,)
    vector or one per receiver). slip: "strike" (rake 0), "dip" (rake 90) and "opening" (1 m
    across the patch; needs a library made with kirva --isotropic).
    patch_size (km) and gauss: each patch is cut into pieces no larger than patch_size and
    integrated with gauss x gauss points. threads: workers (default every hardware thread).
    time: years after a step of slip at time 0 (default 0, the elastic field), from the tables
    of a library made with kirva --times: the stored tables at a tabulated time, interpolated
    between two (linear in ln t, and in t between 0 and the first time); a time outside the
    library's raises KirvaError. postseismic=True: the change from time 0 to time.
    """
    r = _receivers(receivers)
    time, postseismic = _time(time, postseismic)
    if _is_mapping(patches):
        rows, tri = _patch_rows(patches, with_slip=False), None
    else:
        rows, tri = None, _triangles(patches, "patches")
    patch_size, gauss, threads = _settings(patch_size, gauss, threads)
    return _engine().greens_matrix(_open(library), rows, tri, r, _names(quantities, "quantities"),
                                   _names(slip, "slip"), _los(los, len(r)), patch_size, gauss,
                                   threads, time, postseismic)


def synthesize(library, receivers, quantities=("ux", "uy", "uz"), faults=None, patches=None,
               triangles=None, triangle_slip=None, points=None, tensors=None, tensile=None,
               mogi=None, receiver_fault=None, friction=None, los=None, patch_size=None, gauss=2,
               threads=None, as_xarray=False, time=0.0, postseismic=False):
    """The quantities of the sources at the receivers, as kirva-syn computes them: a float64
    array (N, Q), or with as_xarray=True for receivers from kirva.grid an xarray.Dataset like
    kirva-syn's NetCDF file.

    Sources (summed in this order, as kirva-syn sums them): faults, Coulomb 3 files (a path or
    a list); patches, a mapping as for greens_matrix with rake (degrees) and slip (m) and/or
    opening (m); triangles, (M, 3, 3) vertices (km) with triangle_slip, (M, 2) or (M, 3) rows
    strike-slip dip-slip [opening] (m); points, (K, 7) rows x y depth strike dip rake M0 (N m); tensors, (K, 9) rows
    x y depth Mrr Mtt Mpp Mrt Mrp Mtp (N m); tensile, (K, 6) rows x y depth strike dip potency
    (opening x area, m^3); mogi, (K, 4) rows x y depth dV (volume change, m^3). Opening and
    volume sources need a library made with kirva --isotropic; without it a tensor's isotropic
    part is dropped with a warning.
    cfs needs receiver_fault=(strike, dip, rake); friction defaults to the first Coulomb file's
    FRIC, else 0.4.
    time and postseismic: as for greens_matrix.
    """
    r = _receivers(receivers)
    time, postseismic = _time(time, postseismic)
    if faults is None:
        faults = []
    elif isinstance(faults, (str, os.PathLike)):
        faults = [os.fspath(faults)]
    else:
        faults = [os.fspath(f) for f in faults]
    rows = None if patches is None else _patch_rows(patches, with_slip=True)
    kinds = {}
    for what, a, n in (("points", points, 7), ("tensors", tensors, 9), ("tensile", tensile, 6),
                       ("mogi", mogi, 4)):
        a = None if a is None else _float_array(a, what)
        if a is not None and a.ndim == 1 and a.shape == (n,):
            a = a.reshape(1, n)
        if a is not None and (a.ndim != 2 or a.shape[1] != n):
            raise KirvaError("kirva-syn: %s must be an array of shape (K, %d), not %s"
                             % (what, n, a.shape))
        kinds[what] = a
    rf = None if receiver_fault is None else _float_array(receiver_fault, "receiver_fault")
    patch_size, gauss, threads = _settings(patch_size, gauss, threads)
    names = _names(quantities, "quantities")
    values, notes, comments = _engine().synthesize(
        _open(library), r, names, faults, rows,
        None if triangles is None else _triangles(triangles),
        None if triangle_slip is None else _float_array(triangle_slip, "triangle_slip"),
        kinds["points"], kinds["tensors"],
        kinds["tensile"], kinds["mogi"], rf,
        None if friction is None else float(friction), _los(los, len(r)), patch_size, gauss,
        threads, time, postseismic)
    for note in notes:
        warnings.warn(note, stacklevel=2)
    if not as_xarray:
        return values
    grid = getattr(receivers, "grid", None)
    if grid is None:
        raise KirvaError("kirva-syn: as_xarray needs the receivers of a grid (kirva.grid)")
    return _dataset(values, names, grid, comments)


def _dataset(values, names, grid, comments):
    try:
        import xarray as xr
    except ImportError as e:
        raise ImportError("as_xarray needs the xarray package") from e
    layout = _engine().grid_layout(grid, comments)
    info = {q[0]: q for q in _engine().quantities()}
    coords = {}
    for axis in ("x", "y"):
        name, units, long_name, nodes = layout[axis]
        attrs = {"units": units, "long_name": long_name}
        if len(nodes):
            attrs["actual_range"] = np.array([nodes.min(), nodes.max()])
        coords[name] = (name, nodes, attrs)
    xname, yname = layout["x"][0], layout["y"][0]
    shape = (len(layout["y"][3]), len(layout["x"][3]))
    data = {}
    for k, q in enumerate(names):
        v = values[:, k].reshape(shape)
        attrs = {"units": info[q][1], "long_name": info[q][2]}
        finite = v[np.isfinite(v)]
        if finite.size:
            attrs["actual_range"] = np.array([finite.min(), finite.max()])
        data[q] = ((yname, xname), v, attrs)
    attrs = dict(layout["attributes"])
    attrs["depth_km"] = layout["depth_km"]
    return xr.Dataset(data, coords=coords, attrs=attrs)


class GridReceivers(np.ndarray):
    """The (N, 3) receivers of a grid, x varying fastest, with the grid they came from in
    .grid (xmin, xmax, dx, ymin, ymax, dy, depth) and its nodes in .x and .y."""

    def __array_finalize__(self, obj):
        self.grid = getattr(obj, "grid", None)
        self.x = getattr(obj, "x", None)
        self.y = getattr(obj, "y", None)


def grid(xmin, xmax, dx, ymin, ymax, dy, depth=0.0):
    """The receivers of a grid, as kirva-syn's --grid XMIN/XMAX/DX/YMIN/YMAX/DY and --depth
    make them: nodes xmin, xmin + dx, ... up to xmax (km), x varying fastest."""
    g = [float(v) for v in (xmin, xmax, dx, ymin, ymax, dy, depth)]
    layout = _engine().grid_layout(g, [])
    x, y = layout["x"][3], layout["y"][3]
    xx, yy = np.meshgrid(x, y)
    r = np.column_stack([xx.ravel(), yy.ravel(), np.full(xx.size, g[6])]).view(GridReceivers)
    r.grid, r.x, r.y = g, x, y
    return r


def read_mesh(path, slip=None, geographic=None):
    """The triangles of a GOCAD TSurf (.ts) or gmsh ASCII (.msh) file as an (M, 3, 3) array of
    vertices (km; x east, y north, depth down), and the slip of a slip file (one line per
    triangle: strike-slip dip-slip [opening], m) as an (M, 3) array, or None without one.
    geographic=(lon, lat): the file's positions are degrees, projected about that point."""
    return _engine().read_mesh(os.fspath(path), None if slip is None else os.fspath(slip),
                               None if geographic is None else [float(g) for g in geographic])


def read_coulomb(path):
    """The fault rows of a Coulomb 3 input file as a patch mapping (dict of arrays): x, y, depth
    of the centre (km), strike, dip, rake (degrees), slip (m), length, width (km), opening (m)."""
    return _engine().read_coulomb(os.fspath(path))


def subdivide(patches, along, down):
    """Each rectangle cut into along x down equal patches: a dict of arrays, patch by patch,
    then down dip from the top, then along strike. Other columns (rake, slip, ...) are repeated."""
    along, down = int(along), int(down)
    if along < 1 or down < 1:
        raise KirvaError("kirva-syn: subdivide needs along and down of at least 1")
    c = _columns(patches, PATCH_COLUMNS)
    x, y, z, strike, dip, length, width = (c[:, i] for i in range(7))
    f, d = np.radians(strike), np.radians(dip)
    # Unit vectors along strike and down dip (east, north, depth).
    s = np.stack([np.sin(f), np.cos(f), np.zeros_like(f)], axis=1)
    w = np.stack([np.cos(f) * np.cos(d), -np.sin(f) * np.cos(d), np.sin(d)], axis=1)
    a = (np.arange(along) + 0.5) / along - 0.5          # offsets in units of the length
    b = (np.arange(down) + 0.5) / down - 0.5            # and of the width
    ol = length[:, None, None] * a[None, None, :]       # (M, down, along)
    ow = width[:, None, None] * b[None, :, None]
    centre = np.stack([x, y, z], axis=1)[:, None, None, :]
    pos = centre + ol[..., None] * s[:, None, None, :] + ow[..., None] * w[:, None, None, :]
    n = along * down
    out = {"x": pos[..., 0].ravel(), "y": pos[..., 1].ravel(), "depth": pos[..., 2].ravel(),
           "strike": np.repeat(strike, n), "dip": np.repeat(dip, n),
           "length": np.repeat(length / along, n), "width": np.repeat(width / down, n)}
    try:
        keys = list(patches.keys())
    except AttributeError:
        keys = []
    for k in keys:
        if k not in out:
            out[k] = np.repeat(np.asarray(patches[k]), n)
    return out
