"""Reader of "grnfun.all", the binary file of everything a KIRVA run computed.

The file is memory-mapped (it can be gigabytes) and checked whole before anything is read:
counts in their ranges, finite header, layer and depth-record values, and the exact length
64 + 32*nlayer + nzrec*(32 + 216*nzs*nr). A truncated or foreign file raises LibraryError with
one line naming what was expected and what was found, the same line as the C++ reader's.
"""

import json
import math
import os
import struct

import numpy as np

from . import sampling
from .sources import LMAX, NRMAX, NZSMAX, SOURCE_ORDER, SOURCE_TYPES

HEADER_BYTES = 64
LAYER_ROW_BYTES = 32
DEPTH_RECORD_BYTES = 32
# Components of one source depth of every type together: 10 + 10 + 7.
COMPONENTS_PER_DEPTH = sum(len(SOURCE_TYPES[t]["components"]) for t in SOURCE_ORDER)

# nlayer, nr, r1, r2, nzs, zs1, zs2, nzrec, zrec1, zrec2: little-endian, no padding.
_HEADER = struct.Struct("<iiddiddidd")


class LibraryError(ValueError):
    """A file that is not a complete grnfun.all, or a table that is not there."""


def file_length(nlayer, nr, nzs, nzrec):
    return (HEADER_BYTES + LAYER_ROW_BYTES * nlayer
            + nzrec * (DEPTH_RECORD_BYTES + 8 * COMPONENTS_PER_DEPTH * nzs * nr))


class Library:
    """The tables of one run.

    Attributes: r, zs, zrec (m; numpy arrays), layers (rows of thickness, vp, vs, density; the
    last row is the half-space), lam, mu, rho (at each observation depth), and ss, ds, cl:
    read-only memory-mapped arrays of shape (nzrec, nzs, ncomp, nr) in file order, with the
    component names in components["ss"] and so on.
    """

    def __init__(self, path):
        self.path = os.fspath(path)
        self._check_and_map()

    # -- the checks, in the C++ reader's order and with its messages --------------------------
    def _fail(self, what):
        raise LibraryError("%s: %s" % (self.path, what))

    def _foreign(self, expected, found):
        self._fail("not a grnfun.all file: expected %s, found %s" % (expected, found))

    def _check_and_map(self):
        try:
            fd = os.open(self.path, os.O_RDONLY)  # as the C++ reader: a directory opens too
        except OSError as e:
            self._fail("cannot open: %s" % os.strerror(e.errno))
        try:
            st = os.fstat(fd)
            if not (st.st_mode & 0o170000 == 0o100000):
                self._fail("cannot read: not a regular file")
            size = st.st_size
            head = b""
            while len(head) < min(size, HEADER_BYTES):
                part = os.read(fd, HEADER_BYTES - len(head))
                if not part:
                    break
                head += part
        finally:
            os.close(fd)
        self.size = size
        if size < HEADER_BYTES or len(head) < HEADER_BYTES:
            self._foreign("a header of 64 bytes", "%d bytes in all" % size)
        (nlayer, nr, r1, r2, nzs, zs1, zs2, nzrec, zrec1, zrec2) = _HEADER.unpack(head)
        for name, v, lo, hi in (("nlayer", nlayer, 1, LMAX), ("nr", nr, 2, NRMAX),
                                ("nzs", nzs, 2, NZSMAX)):
            if v < lo or v > hi:
                self._foreign("%s from %d to %d" % (name, lo, hi), "%d" % v)
        if nzrec < 0:
            self._foreign("nzrec of at least 0", "%d" % nzrec)
        for name, v in (("r1", r1), ("r2", r2), ("zs1", zs1), ("zs2", zs2), ("zrec1", zrec1),
                        ("zrec2", zrec2)):
            if not math.isfinite(v):
                self._foreign("a finite " + name, "a value that is not")
        want = file_length(nlayer, nr, nzs, nzrec)
        if size != want:
            self._fail("truncated or foreign grnfun.all: expected %d bytes for nlayer %d, nr %d, "
                       "nzs %d, nzrec %d, found %d" % (want, nlayer, nr, nzs, nzrec, size))

        self.nlayer, self.nr, self.nzs, self.nzrec = nlayer, nr, nzs, nzrec
        self.r1, self.r2, self.zs1, self.zs2, self.zrec1, self.zrec2 = r1, r2, zs1, zs2, zrec1, zrec2
        self._map = np.memmap(self.path, dtype=np.uint8, mode="r")

        layers = np.ndarray((nlayer, 4), dtype="<f8", buffer=self._map, offset=HEADER_BYTES)
        for l in range(nlayer):
            for fi, name in enumerate(("thickness", "vp", "vs", "density")):
                if not math.isfinite(layers[l, fi]):
                    self._foreign("a finite %s in layer row %d" % (name, l + 1),
                                  "a value that is not")
        self.layers = layers

        if sampling.distance_spacing(r1, r2) == "geometric" and not (r1 > 0.0 and abs(r2) > 1.0):
            self._foreign("growing geometric distances (r1 > 0, |r2| > 1)",
                          "r1 and r2 that are not")
        if not zs2 > zs1:
            self._foreign("zs2 > zs1", "zs2 not above zs1")
        self.spacing = sampling.distance_spacing(r1, r2)
        self.r = np.array(sampling.distances(r1, r2, nr))
        self.zs = np.array(sampling.source_depths(zs1, zs2, nzs))

        block = DEPTH_RECORD_BYTES + 8 * COMPONENTS_PER_DEPTH * nzs * nr
        first = HEADER_BYTES + LAYER_ROW_BYTES * nlayer
        records = np.empty((nzrec, 4))
        for k in range(nzrec):
            rec = np.ndarray((4,), dtype="<f8", buffer=self._map, offset=first + k * block)
            for fi, name in enumerate(("zrec", "lambda", "mu", "density")):
                if not math.isfinite(rec[fi]):
                    self._foreign("a finite %s of observation depth %d" % (name, k + 1),
                                  "a value that is not")
            records[k] = rec
        self.zrec, self.lam, self.mu, self.rho = (records[:, i].copy() for i in range(4))

        # The tables: per depth block, each type's source depths one after the other.
        self.components = {}
        offset = first + DEPTH_RECORD_BYTES
        for t in SOURCE_ORDER:
            comps = SOURCE_TYPES[t]["components"]
            nc = len(comps)
            shape = (nzrec, nzs, nc, nr)
            if nzrec > 0:
                a = np.ndarray(shape, dtype="<f8", buffer=self._map, offset=offset,
                               strides=(block, 8 * nc * nr, 8 * nr, 8))
            else:
                a = np.empty(shape)
                a.flags.writeable = False
            setattr(self, t, a)
            self.components[t] = comps
            offset += 8 * nc * nzs * nr

    # -- access ---------------------------------------------------------------------------------
    def table(self, source_type):
        """The array (nzrec, nzs, ncomp, nr) of a source type: "ss", "ds" or "cl"."""
        if source_type not in SOURCE_TYPES:
            raise LibraryError("%s: no source type %r (ss, ds or cl)" % (self.path, source_type))
        return getattr(self, source_type)

    def index(self, source_type, component):
        """Position of a component in the tables of a type, or None when the type lacks it."""
        comps = SOURCE_TYPES[source_type]["components"]
        return comps.index(component) if component in comps else None

    def column(self, k, source_type, j, component):
        """The nr values of a component over the distances; None for the CLVD's ut, ert, etz."""
        i = self.index(source_type, component)
        if i is None:
            return None
        return self.table(source_type)[k, j, i, :]

    def source_row(self, z):
        """The layer row of a source at depth z (the row below z when z is on an interface)."""
        row = 0
        b = float(self.layers[0, 0])
        while z >= b and row < self.nlayer - 1:
            row += 1
            b += float(self.layers[row, 0])
        return row

    def mu_source(self, j):
        """rho*vs^2 of the source row of zs[j]: the shear modulus that normalises the tables."""
        row = self.source_row(float(self.zs[j]))
        rho, vs = float(self.layers[row, 3]), float(self.layers[row, 2])
        return (rho * vs) * vs

    def to_xarray(self):
        """The tables as an xarray.Dataset (needs xarray); .to_netcdf() then writes NetCDF."""
        try:
            import xarray as xr
        except ImportError as e:
            raise ImportError("to_xarray needs the xarray package") from e
        coords = {"zrec": ("zrec", self.zrec, {"units": "m"}),
                  "zs": ("zs", self.zs, {"units": "m"}),
                  "r": ("r", self.r, {"units": "m"}),
                  "layer": ("layer", np.arange(1, self.nlayer + 1))}
        data = {"lambda": ("zrec", self.lam, {"units": "Pa"}),
                "mu": ("zrec", self.mu, {"units": "Pa"}),
                "rho": ("zrec", self.rho, {"units": "kg/m^3"}),
                "thickness": ("layer", np.array(self.layers[:, 0]), {"units": "m"}),
                "vp": ("layer", np.array(self.layers[:, 1]), {"units": "m/s"}),
                "vs": ("layer", np.array(self.layers[:, 2]), {"units": "m/s"}),
                "density": ("layer", np.array(self.layers[:, 3]), {"units": "kg/m^3"})}
        for t in SOURCE_ORDER:
            for i, c in enumerate(self.components[t]):
                data["%s_%s" % (t, c)] = (("zrec", "zs", "r"), self.table(t)[:, :, i, :],
                                          {"source_type": SOURCE_TYPES[t]["title"]})
        return xr.Dataset(data, coords=coords, attrs={"source": self.path})

    def __repr__(self):
        return "<kirva.Library %s: %d distances, %d source depths, %d observation depths>" % (
            self.path, self.nr, self.nzs, self.nzrec)


def read_provenance(path):
    """The provenance of the run that wrote the grnfun.all at path: the dictionary of the
    grnfun.json beside it (program, version, mode, options, smoothing_m, smoothing_rule,
    sampfac, input_file, input), or None when there is none. Returns (provenance, problem):
    problem is None, or one line saying why a grnfun.json that is there cannot be read."""
    name = os.path.join(os.path.dirname(os.fspath(path)), "grnfun.json")
    try:
        with open(name, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return None, None
    except OSError as e:
        return None, "%s: cannot read: %s" % (name, os.strerror(e.errno) if e.errno else e)
    try:
        prov = json.loads(data.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as e:
        return None, "%s: not a JSON document: %s" % (name, e)
    if not isinstance(prov, dict):
        return None, "%s: not a JSON object" % name
    return prov, None


def read_library(path):
    """Opens and checks a grnfun.all; see Library."""
    return Library(path)
