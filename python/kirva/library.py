"""Reader of "grnfun.all", the binary file of everything a KIRVA run computed.

The file is memory-mapped (it can be gigabytes) and checked whole before anything is read:
counts in their ranges, finite header, layer and depth-record values, and the exact length
64 + 32*nlayer + nzrec*(32 + 216*nzs*nr). A truncated or foreign file raises LibraryError with
one line naming what was expected and what was found, the same line as the C++ reader's.

Tables beyond the three of grnfun.all (the explosion of kirva --isotropic) are in "grnfun.ext"
beside it; when that file is there it is checked whole in the same way, and one that is damaged
or belongs to another run is refused.
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

# grnfun.ext (src/tables/extension.h): a head (magic, version, ntables); a copy of the header and
# layer rows of its grnfun.all, so that an extension of another run is refused; ntables
# descriptors (source type, 1-based as in the input, a reserved 0, time after the source in
# years, 0 for elastic tables); then per observation depth, for each descriptor in order, for
# each source depth, the type's components in file order, each as nr doubles.
EXT_NAME = "grnfun.ext"
EXT_MAGIC = b"KIRVAEXT"
EXT_VERSION = 1
_EXT_HEAD = struct.Struct("<8sii")  # 16 bytes
_EXT_DESCRIPTOR = struct.Struct("<iid")  # 16 bytes
# The types an extension may hold, by their 1-based code (the order of SOURCE_TYPES): at time 0
# the explosion only (the others are in grnfun.all), after the source all of them.
EXT_TYPES = {i + 1: t for i, t in enumerate(SOURCE_TYPES)}


def _years(t, digits=6):
    return "%.*g years" % (digits, t)


class LibraryError(ValueError):
    """A file that is not a complete grnfun.all, or a table that is not there."""


def file_length(nlayer, nr, nzs, nzrec):
    return (HEADER_BYTES + LAYER_ROW_BYTES * nlayer
            + nzrec * (DEPTH_RECORD_BYTES + 8 * COMPONENTS_PER_DEPTH * nzs * nr))


def ext_tables_offset(nlayer, ntables):
    """Bytes of a grnfun.ext before its first table: head, identity and descriptors."""
    return _EXT_HEAD.size + HEADER_BYTES + LAYER_ROW_BYTES * nlayer + _EXT_DESCRIPTOR.size * ntables


def ext_file_length(descriptors, nlayer, nr, nzs, nzrec):
    """Length of a grnfun.ext holding the tables of descriptors, a list of (type, time)."""
    per_depth = sum(len(SOURCE_TYPES[t]["components"]) for t, _ in descriptors) * nzs * nr
    return ext_tables_offset(nlayer, len(descriptors)) + 8 * nzrec * per_depth


def _printable(b):
    return "".join(chr(c) if 32 <= c < 127 and c != 92 else "\\x%02x" % c for c in b)


class Library:
    """The tables of one run.

    Attributes: r, zs, zrec (m; numpy arrays), layers (rows of thickness, vp, vs, density; the
    last row is the half-space), lam, mu, rho (at each observation depth), and ss, ds, cl:
    read-only memory-mapped arrays of shape (nzrec, nzs, ncomp, nr) in file order, with the
    component names in components["ss"] and so on.

    With a grnfun.ext beside the file (extension_path; None without one): descriptors, its
    tables as (type, time in years), extension_tables, their arrays in the same order, and ex,
    the elastic explosion table, when has_isotropic (otherwise ex is None).

    times: the times after a step of slip at which the library holds tables (years, increasing,
    a numpy array): 0, the elastic tables, then those of kirva --times. table(type, time_index)
    gives a type's table at times[time_index]; table_at(type, t) the tables at any time t in
    range, by the rule of select_time.
    """

    def __init__(self, path):
        self.path = os.fspath(path)
        self._check_and_map()

    # -- the checks, in the C++ reader's order and with its messages --------------------------
    def _fail(self, what, path=None):
        raise LibraryError("%s: %s" % (path or self.path, what))

    def _foreign(self, expected, found):
        self._fail("not a grnfun.all file: expected %s, found %s" % (expected, found))

    def _open_regular(self, path):
        """(size, first 64 bytes) of a regular file; refuses the rest as the C++ reader does."""
        try:
            fd = os.open(path, os.O_RDONLY)  # as the C++ reader: a directory opens too
        except OSError as e:
            self._fail("cannot open: %s" % os.strerror(e.errno), path)
        try:
            st = os.fstat(fd)
            if not (st.st_mode & 0o170000 == 0o100000):
                self._fail("cannot read: not a regular file", path)
            head = b""
            while len(head) < min(st.st_size, HEADER_BYTES):
                part = os.read(fd, HEADER_BYTES - len(head))
                if not part:
                    break
                head += part
        finally:
            os.close(fd)
        return st.st_size, head

    def _check_and_map(self):
        size, head = self._open_regular(self.path)
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
        self._check_and_map_extension()

    def _check_and_map_extension(self):
        """The tables of the grnfun.ext beside the file, if there is one."""
        self.extension_path, self.descriptors, self.extension_tables = None, [], []
        self.ex, self.has_isotropic = None, False
        self.times, self._at_time = np.zeros(1), {}
        path = os.path.join(os.path.dirname(self.path), EXT_NAME)
        if not os.path.lexists(path):
            return
        size, _ = self._open_regular(path)

        def foreign(expected, found):
            self._fail("not a grnfun.ext file: expected %s, found %s" % (expected, found), path)

        nlayer, nr, nzs, nzrec = self.nlayer, self.nr, self.nzs, self.nzrec
        if size < _EXT_HEAD.size:
            foreign("a head of %d bytes" % _EXT_HEAD.size, "%d bytes in all" % size)
        ext = np.memmap(path, dtype=np.uint8, mode="r")
        magic, version, ntables = _EXT_HEAD.unpack_from(ext, 0)
        if magic != EXT_MAGIC:
            foreign("the magic %s" % EXT_MAGIC.decode(), _printable(magic))
        if version != EXT_VERSION:
            foreign("version %d" % EXT_VERSION, "%d" % version)
        if ntables < 1:
            foreign("ntables of at least 1", "%d" % ntables)
        first = ext_tables_offset(nlayer, ntables)
        if size < first:
            self._fail("truncated or foreign grnfun.ext: expected at least %d bytes for the head, "
                       "the header and %d layer rows and %d descriptors, found %d"
                       % (first, nlayer, ntables, size), path)
        ident = HEADER_BYTES + LAYER_ROW_BYTES * nlayer
        if bytes(ext[_EXT_HEAD.size:_EXT_HEAD.size + ident]) != bytes(self._map[:ident]):
            self._fail("belongs to another run: its header and layers differ from %s"
                       % self.path, path)
        descriptors, seen = [], set()
        for i in range(ntables):
            off = _EXT_HEAD.size + ident + _EXT_DESCRIPTOR.size * i
            code, reserved, time = _EXT_DESCRIPTOR.unpack_from(ext, off)
            if code not in EXT_TYPES:
                foreign("source type %s in descriptor %d" % (
                    " or ".join("%d (%s)" % kv for kv in EXT_TYPES.items()), i + 1), "%d" % code)
            if reserved != 0:
                foreign("0 in the reserved field of descriptor %d" % (i + 1), "%d" % reserved)
            if not (math.isfinite(time) and time >= 0.0):
                foreign("a finite time of at least 0 years in descriptor %d" % (i + 1), "%r" % time)
            if time == 0.0 and EXT_TYPES[code] != "ex":  # grnfun.all holds the others
                foreign("source type 4 (ex) in descriptor %d" % (i + 1), "%d" % code)
            if (EXT_TYPES[code], time) in seen:  # a table is found by its descriptor
                foreign("one table per type and time", "descriptor %d repeating %s at %r years"
                        % (i + 1, EXT_TYPES[code], time))
            descriptors.append((EXT_TYPES[code], time))
            seen.add(descriptors[-1])
        # Every time after the source holds the three types of grnfun.all, and the explosion
        # exactly when the elastic tables have it (the C++ reader's check and line).
        elastic_ex = ("ex", 0.0) in seen
        times = sorted({time for _, time in descriptors if time > 0.0})
        for time in times:
            for code, t in enumerate(SOURCE_ORDER, 1):
                if (t, time) not in seen:
                    foreign("the source types 1 to 3 at every time after the source",
                            "no table of source type %d at %s" % (code, _years(time, 17)))
            if ("ex", time) in seen and not elastic_ex:
                foreign("no explosion (source type 4) after the source, as there is none at "
                        "time 0", "one at " + _years(time, 17))
            if ("ex", time) not in seen and elastic_ex:
                foreign("the explosion (source type 4) at every time after the source, as there "
                        "is one at time 0", "none at " + _years(time, 17))
        want = ext_file_length(descriptors, nlayer, nr, nzs, nzrec)
        if size != want:
            self._fail("truncated or foreign grnfun.ext: expected %d bytes for %d tables, "
                       "nlayer %d, nr %d, nzs %d, nzrec %d, found %d"
                       % (want, ntables, nlayer, nr, nzs, nzrec, size), path)

        block = (want - first) // nzrec if nzrec else 0
        offset = first
        for t, time in descriptors:
            nc = len(SOURCE_TYPES[t]["components"])
            shape = (nzrec, nzs, nc, nr)
            if nzrec > 0:
                a = np.ndarray(shape, dtype="<f8", buffer=ext, offset=offset,
                               strides=(block, 8 * nc * nr, 8 * nr, 8))
            else:
                a = np.empty(shape)
                a.flags.writeable = False
            self.extension_tables.append(a)
            offset += 8 * nc * nzs * nr
            self._at_time[(t, time)] = a
            if time == 0.0:  # the elastic tables are served like those of grnfun.all
                setattr(self, t, a)
                self.components[t] = SOURCE_TYPES[t]["components"]
        self.extension_path, self.descriptors, self._ext_map = path, descriptors, ext
        self.has_isotropic = self.ex is not None
        self.times = np.array([0.0] + times)

    # -- access ---------------------------------------------------------------------------------
    def table(self, source_type, time_index=0):
        """The array (nzrec, nzs, ncomp, nr) of a source type, "ss", "ds", "cl" or "ex", at
        times[time_index] (0: the elastic tables)."""
        if source_type not in SOURCE_TYPES:
            raise LibraryError("%s: no source type %r (%s or %s)" % (
                self.path, source_type, ", ".join(list(SOURCE_TYPES)[:-1]),
                list(SOURCE_TYPES)[-1]))
        a = getattr(self, source_type)
        if a is None:
            raise LibraryError("%s: no explosion table: run kirva with --isotropic to make one"
                               % self.path)
        if time_index == 0:
            return a
        if not (isinstance(time_index, (int, np.integer)) and 0 < time_index < len(self.times)):
            raise LibraryError("%s: no time index %r (0 to %d)"
                               % (self.path, time_index, len(self.times) - 1))
        return self._at_time[(source_type, float(self.times[time_index]))]

    def select_time(self, t):
        """The tables at time t after the source (years) as wa * tables(a) + wb * tables(b):
        (a, b, wa, wb), a and b indices of times. Exactly the stored tables at a tabulated time
        (a = b); between two tabulated times linear in ln t when both are positive, linear in t
        between 0 and the first positive time. Outside 0 to the last time, or a time other than
        0 in a library without times, raises LibraryError (the C++ reader's line)."""
        t = float(t)
        ts = self.times
        if not math.isfinite(t):
            raise LibraryError("%s: the time after the source must be a finite number of years"
                               % self.path)
        if len(ts) == 1:
            if t == 0.0:
                return 0, 0, 1.0, 0.0
            raise LibraryError("%s: holds the elastic tables only (time 0), none at %s: kirva "
                               "--times makes tables at times after the source"
                               % (self.path, _years(t)))
        if t < 0.0 or t > ts[-1]:
            raise LibraryError("%s: no tables at %s: the library holds 0 to %s; kirva --times "
                               "makes tables at other times" % (self.path, _years(t),
                                                                 _years(ts[-1])))
        b = int(np.searchsorted(ts, t))
        if ts[b] == t:
            return b, b, 1.0, 0.0
        a = b - 1
        wb = t / ts[b] if a == 0 else math.log(t / ts[a]) / math.log(ts[b] / ts[a])
        return a, b, 1.0 - wb, wb

    def table_at(self, source_type, t, postseismic=False):
        """The array (nzrec, nzs, ncomp, nr) of a source type at time t (years) by the rule of
        select_time; with postseismic, its change since time 0 (the tables at t less the
        elastic ones), which needs a library with times."""
        if postseismic and len(self.times) == 1:
            raise LibraryError("%s: holds the elastic tables only (time 0): the change since the "
                               "source (postseismic) needs tables after it, which kirva --times "
                               "makes" % self.path)
        a, b, wa, wb = self.select_time(t)
        v = (self.table(source_type, a) if a == b
             else wa * self.table(source_type, a) + wb * self.table(source_type, b))
        return v - self.table(source_type) if postseismic else v

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

    @property
    def gravity(self):
        """The constant gravity (m/s^2) of the hydrostatic pre-stress the tables were computed in
        (kirva --gravity, recorded in the grnfun.json beside the file), or None."""
        prov, _ = read_provenance(self.path)
        g = (prov or {}).get("options", {}).get("gravity")
        return None if g is None else float(g)

    @property
    def interfaces(self):
        """The depths (m, increasing) where the earth model's profile jumps, so that the tables
        are not smooth across them: two model lines of the run's input (in the grnfun.json
        beside the file) at one depth with other values, placed on the boundaries of the layer
        rows; without that input, the row boundaries where density, vp or vs change by more
        than 5 %. Synthesis never interpolates across them. Needs the compiled engine."""
        if getattr(self, "_interfaces", None) is None:
            from .synthesis import _open
            self._interfaces = np.array(_open(self).interfaces, dtype=float)
        return self._interfaces

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
        # With times after the source, every table gains a leading time axis.
        timed = len(self.times) > 1
        if timed:
            coords["time"] = ("time", self.times, {"units": "years",
                                                   "long_name": "time after the source"})
        for t in self.components:
            for i, c in enumerate(self.components[t]):
                if timed:
                    dims = ("time", "zrec", "zs", "r")
                    values = np.stack([self.table(t, n)[:, :, i, :]
                                       for n in range(len(self.times))])
                else:
                    dims, values = ("zrec", "zs", "r"), self.table(t)[:, :, i, :]
                data["%s_%s" % (t, c)] = (dims, values, {"source_type": SOURCE_TYPES[t]["title"]})
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
