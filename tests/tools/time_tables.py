"""A library with tables at times after the source, for the tests in C++ and Python: a copy of a
run's grnfun.all and a grnfun.ext with its elastic explosion (if any) and, at each time t > 0,
every type's elastic table times factor(type, t) = 1 + SLOPE[type] t.

    python3 time_tables.py SRC_DIR DEST_DIR TIMES [--reversed] [--drop TYPE@T] [--add TYPE@T]
"""

import argparse
import os
import shutil
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
from kirva.library import (EXT_MAGIC, EXT_VERSION, Library, _EXT_DESCRIPTOR,  # noqa: E402
                           _EXT_HEAD, ext_tables_offset)
from kirva.sources import SOURCE_ORDER, SOURCE_TYPES  # noqa: E402

SLOPE = {"ss": 0.1, "ds": 0.2, "cl": 0.3, "ex": 0.4}  # per year, unlike per type


def factor(source_type, t):
    return 1.0 + SLOPE[source_type] * t


def interpolated_factor(source_type, t, times):
    """The factor at t by the readers' rule over the tabulated times (0 first)."""
    b = int(np.searchsorted(times, t))
    if times[b] == t:
        return factor(source_type, t)
    ta, tb = times[b - 1], times[b]
    w = t / tb if ta == 0 else np.log(t / ta) / np.log(tb / ta)
    return (1 - w) * factor(source_type, ta) + w * factor(source_type, tb)


def write(src_dir, dest_dir, times, reverse=False, drop=(), add=()):
    """dest_dir/grnfun.all and its grnfun.ext, descriptors in the engine's order (or reversed),
    less `drop` and with `add` ((type, time) pairs: damaged sets). Returns the grnfun.all path."""
    os.makedirs(dest_dir, exist_ok=True)
    e = Library(os.path.join(src_dir, "grnfun.all"))
    path = shutil.copy(e.path, os.path.join(dest_dir, "grnfun.all"))
    types = SOURCE_ORDER + (("ex",) if e.has_isotropic else ())
    d = [("ex", 0.0)] * e.has_isotropic + [(s, float(t)) for t in times for s in types]
    d = [x for x in d if x not in drop] + list(add)
    d = d[::-1] if reverse else d
    codes = {name: i + 1 for i, name in enumerate(SOURCE_TYPES)}
    parts = [_EXT_HEAD.pack(EXT_MAGIC, EXT_VERSION, len(d)),
             bytes(e._map[:ext_tables_offset(e.nlayer, 0) - _EXT_HEAD.size])]
    parts += [_EXT_DESCRIPTOR.pack(codes[s], 0, t) for s, t in d]
    parts += [(e.table(s if s != "ex" or e.has_isotropic else "cl")[k] * factor(s, t))
              .astype("<f8").tobytes() for k in range(e.nzrec) for s, t in d]
    with open(os.path.join(dest_dir, "grnfun.ext"), "wb") as f:
        f.write(b"".join(parts))
    return path


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("src")
    p.add_argument("dest")
    p.add_argument("times", type=lambda s: [float(t) for t in s.split(",")])
    p.add_argument("--reversed", action="store_true")
    pair = lambda s: (s.split("@")[0], float(s.split("@")[1]))  # noqa: E731
    p.add_argument("--drop", action="append", type=pair, default=[])
    p.add_argument("--add", action="append", type=pair, default=[])
    a = p.parse_args()
    write(a.src, a.dest, a.times, a.reversed, a.drop, a.add)
