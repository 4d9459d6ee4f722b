"""Libraries with tables at times after the source, for the tests of the readers and of the
synthesis in C++ and Python: a copy of a run's grnfun.all, and beside it a grnfun.ext holding
its elastic explosion (if any) and, at each time t > 0, every type's elastic table times
factor(type, t) = 1 + SLOPE[type] t. The tables at a tabulated time, and those interpolated
between two (linear in t from 0, linear in ln t between positive times), are then known in
closed form.

    python3 time_tables.py SRC_DIR DEST_DIR --times 1,10,100 [--reversed]
                           [--drop TYPE@T] [--add TYPE@T]
"""

import argparse
import os
import shutil
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "python"))
from kirva.library import (EXT_MAGIC, EXT_VERSION, HEADER_BYTES, LAYER_ROW_BYTES,  # noqa: E402
                           Library, _EXT_DESCRIPTOR, _EXT_HEAD)
from kirva.sources import SOURCE_ORDER, SOURCE_TYPES  # noqa: E402

# Growth per year of each type's tables: different per type, so that a table served for the
# wrong type or time shows.
SLOPE = {"ss": 0.1, "ds": 0.2, "cl": 0.3, "ex": 0.4}


def factor(source_type, t):
    return 1.0 + SLOPE[source_type] * t


def interpolated_factor(source_type, t, times):
    """The factor of the tables at t by the readers' rule, between the tabulated times
    (0 and the positive ones, increasing)."""
    times = list(times)
    if t in times:
        return factor(source_type, t)
    b = next(i for i, x in enumerate(times) if x > t)
    ta, tb = times[b - 1], times[b]
    w = t / tb if ta == 0 else np.log(t / ta) / np.log(tb / ta)
    return (1 - w) * factor(source_type, ta) + w * factor(source_type, tb)


def write(src_dir, dest_dir, times, reverse=False, drop=(), add=()):
    """dest_dir/grnfun.all (a copy) and dest_dir/grnfun.ext; descriptors in the order the
    engine writes them (the elastic explosion, then per time ss, ds, cl[, ex]), or reversed;
    drop and add: (type, time) descriptors to leave out or to add (a damaged set)."""
    os.makedirs(dest_dir, exist_ok=True)
    elastic = Library(os.path.join(src_dir, "grnfun.all"))
    path = shutil.copy(elastic.path, os.path.join(dest_dir, "grnfun.all"))
    iso = elastic.has_isotropic
    descriptors = [("ex", 0.0)] if iso else []
    for t in times:
        descriptors += [(s, float(t)) for s in SOURCE_ORDER + (("ex",) if iso else ())]
    descriptors = [d for d in descriptors if d not in set(drop)] + list(add)
    if reverse:
        descriptors.reverse()
    codes = {name: i + 1 for i, name in enumerate(SOURCE_TYPES)}
    with open(path, "rb") as f:
        identity = f.read(HEADER_BYTES + LAYER_ROW_BYTES * elastic.nlayer)
    parts = [_EXT_HEAD.pack(EXT_MAGIC, EXT_VERSION, len(descriptors)), identity]
    parts += [_EXT_DESCRIPTOR.pack(codes[s], 0, t) for s, t in descriptors]
    for k in range(elastic.nzrec):
        for s, t in descriptors:
            base = elastic.table("cl" if s == "ex" and not iso else s)[k]
            parts.append((base * factor(s, t)).astype("<f8").tobytes())
    with open(os.path.join(dest_dir, "grnfun.ext"), "wb") as f:
        f.write(b"".join(parts))
    return path


def _descriptor(text):
    s, t = text.split("@")
    return s, float(t)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("src")
    p.add_argument("dest")
    p.add_argument("--times", required=True)
    p.add_argument("--reversed", action="store_true")
    p.add_argument("--drop", action="append", type=_descriptor, default=[])
    p.add_argument("--add", action="append", type=_descriptor, default=[])
    a = p.parse_args(argv)
    write(a.src, a.dest, [float(t) for t in a.times.split(",")], a.reversed, a.drop, a.add)
    return 0


if __name__ == "__main__":
    sys.exit(main())
