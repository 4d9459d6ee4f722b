"""The samplings of a run, recomputed from the header values with the program's arithmetic
(src/tables/sampling.h), so that the values are the very doubles the run used."""

import math


def distance_spacing(r1, r2):
    """'even' or 'geometric' for the header values r1 (m) and r2 (m, or the growth ratio)."""
    return "even" if r2 >= r1 else "geometric"


def distances(r1, r2, nr):
    """The nr distances (m): evenly spaced from r1 to r2, or r1 and each |r2| times the one before."""
    r = [0.0] * nr
    if distance_spacing(r1, r2) == "even":
        dr = (r2 - r1) / (nr - 1)
        for i in range(nr):
            r[i] = r1 + i * dr
    else:
        q = math.fabs(r2)
        r[0] = r1
        for i in range(1, nr):
            r[i] = r[i - 1] * q
    return r


def source_depths(zs1, zs2, nzs):
    """The nzs evenly spaced source depths (m) from zs1 to zs2."""
    dzs = (zs2 - zs1) / (nzs - 1)
    return [zs1 + j * dzs for j in range(nzs)]
