"""Reader of the text tables (one per source type, for the first observation depth).

Lines 1 to 11 start with "#"; line 3 holds the title, line 10 the column labels, line 12 the
parameters nr, r1, r2, nzs, zs1, zs2, zrec, lambda, mu (I4, 2E13.5, I4, 5E13.5); then nzs*nr data
lines of E14.6 fields, source depth varying slowest. An exponent of three digits drops the
letter E (0.100000-119 is 1.0e-120).
"""

import re

import numpy as np

from . import sampling
from .library import LibraryError

_LABELS = {"uz[m]": "uz", "ur[m]": "ur", "ut[m]": "ut", "ezz": "ezz", "err": "err", "ett": "ett",
           "ezr": "ezr", "ert": "ert", "etz": "etz", "duz/dr": "duzdr"}
_E3 = re.compile(r"^([+-]?\d*\.\d*)([+-]\d{3})$")


def _number(field):
    s = field.strip()
    m = _E3.match(s)
    if m:
        s = m.group(1) + "e" + m.group(2)
    return float(s)  # also NaN and Infinity


class TextTable:
    """One text table: title, components, the parameters of line 12, values (nzs, ncomp, nr).

    r and zs follow from the parameters, which the table rounds to 5 digits: for the exact
    distances read grnfun.all.
    """

    def __init__(self, path):
        self.path = str(path)
        with open(self.path, "rb") as f:
            raw = f.read()
        lines = raw.decode("latin-1").split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        lines = [l[:-1] if l.endswith("\r") else l for l in lines]
        if len(lines) < 12 or not all(l.startswith("#") for l in lines[:11]):
            self._fail(0, "expected 11 comment lines and a parameter line",
                       "%d lines" % len(lines))
        self.title = lines[2][2:47].rstrip()
        labels = lines[9][1:].split()
        try:
            self.components = tuple(_LABELS[x] for x in labels)
        except KeyError:
            self._fail(10, "the column labels", repr(lines[9]))
        ncomp = len(self.components)
        p = lines[11]
        try:
            fields = [p[0:4], p[4:17], p[17:30], p[30:34]] + [p[34 + 13 * i:47 + 13 * i]
                                                            for i in range(5)]
            self.nr, self.nzs = int(fields[0]), int(fields[3])
            (self.r1, self.r2, self.zs1, self.zs2, self.zrec, self.lam, self.mu) = (
                _number(fields[i]) for i in (1, 2, 4, 5, 6, 7, 8))
        except ValueError:
            self._fail(12, "nr, r1, r2, nzs, zs1, zs2, zrec, lambda, mu", repr(p))
        if len(p) != 99 or self.nr < 2 or self.nzs < 2:
            self._fail(12, "nr, r1, r2, nzs, zs1, zs2, zrec, lambda, mu", repr(p))
        data = lines[12:]
        if len(data) != self.nzs * self.nr:
            self._fail(0, "%d data lines (nzs %d times nr %d)" % (self.nzs * self.nr, self.nzs,
                                                                 self.nr),
                       "%d" % len(data))
        v = np.empty((self.nzs * self.nr, ncomp))
        for n, line in enumerate(data):
            if len(line) != 14 * ncomp:
                self._fail(13 + n, "%d values of 14 characters" % ncomp,
                           "%d characters" % len(line))
            try:
                v[n] = [_number(line[14 * i:14 * i + 14]) for i in range(ncomp)]
            except ValueError:
                self._fail(13 + n, "%d numbers" % ncomp, repr(line))
        self.values = v.reshape(self.nzs, self.nr, ncomp).transpose(0, 2, 1).copy()
        self.r = np.array(sampling.distances(self.r1, self.r2, self.nr))
        self.zs = np.array(sampling.source_depths(self.zs1, self.zs2, self.nzs))

    def _fail(self, line, expected, found):
        where = "%s: line %d" % (self.path, line) if line else self.path
        raise LibraryError("%s: expected %s, found %s" % (where, expected, found))

    def index(self, component):
        return self.components.index(component)

    def __repr__(self):
        return "<kirva.TextTable %s: %s, %d distances, %d source depths>" % (
            self.path, self.title, self.nr, self.nzs)


def read_text_table(path):
    """Reads a text table; see TextTable."""
    return TextTable(path)
