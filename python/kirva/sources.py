"""The elementary sources of the tables and their components, as the program writes them.

Mirrors src/tables/sources.h: name, title, azimuthal (Bessel) order and the components written,
in file order. Strike-slip, dip-slip and CLVD make every moment tensor without isotropic part and
fill "grnfun.all"; the explosion (kirva --isotropic) adds the isotropic part and is stored in
"grnfun.ext" beside it.
"""

COMPONENTS = ("uz", "ur", "ut", "ezz", "err", "ett", "ezr", "ert", "etz", "duzdr")

SOURCE_TYPES = {
    "ss": {"title": "Source type: strike-slip", "order": 2, "components": COMPONENTS},
    "ds": {"title": "Source type: dip-slip", "order": 1, "components": COMPONENTS},
    # The CLVD is axially symmetric: no tangential displacement, no ert and etz.
    "cl": {
        "title": "Source type: compensated linear vector dipole",
        "order": 0,
        "components": ("uz", "ur", "ezz", "err", "ett", "ezr", "duzdr"),
    },
    # The explosion, moment tensor mu_s I per unit potency: axially symmetric like the CLVD.
    "ex": {
        "title": "Source type: explosion",
        "order": 0,
        "components": ("uz", "ur", "ezz", "err", "ett", "ezr", "duzdr"),
    },
}

# The types of "grnfun.all", in the order in which a run computes and writes them.
SOURCE_ORDER = ("ss", "ds", "cl")

UNITS = {"uz": "m", "ur": "m", "ut": "m"}  # the strains and duz/dr are dimensionless

# Capacity limits of a run (src/tables/limits.h).
NRMAX = 1001
NZSMAX = 401
LMAX = 1000


def axis_parity(source_type, component):
    """+1 or -1: the column f continued to negative distance as f(-r) = parity * f(r).

    A field of azimuthal order n: scalars and the zz, rr, tt, rt tensor parts (-1)^n; the radial
    and tangential vector parts, the zr and tz parts and duz/dr (-1)^(n+1).
    """
    n = SOURCE_TYPES[source_type]["order"]
    even = 1 if n % 2 == 0 else -1
    if component in ("uz", "ezz", "err", "ett", "ert"):
        return even
    if component in ("ur", "ut", "ezr", "etz", "duzdr"):
        return -even
    raise ValueError("unknown component %r" % (component,))
