"""Readers, inspection and plots for the tables of KIRVA, static Green's functions of a layered
elastic half-space.

    lib = kirva.read_library("grnfun.all")      # everything a run computed, memory-mapped
    tab = kirva.read_text_table("crust-ss.grn")  # one text table
    prov, problem = kirva.read_provenance("grnfun.all")  # the grnfun.json beside it, if any

and, with the compiled engine (the CMake build's build/python), deformation from the tables:

    G = kirva.greens_matrix("grnfun.all", patches, receivers)   # (N, Q, M, S)
    out = kirva.synthesize("grnfun.all", receivers, faults="fault.inp")   # (N, Q)
"""

from .errors import KirvaError
from .library import Library, LibraryError, file_length, read_library, read_provenance
from .sources import COMPONENTS, SOURCE_ORDER, SOURCE_TYPES, axis_parity
from .synthesis import (GridReceivers, greens_matrix, grid, read_coulomb, read_mesh, subdivide,
                        synthesize)
from .text import TextTable, read_text_table

__all__ = ["Library", "LibraryError", "TextTable", "read_library", "read_provenance",
           "read_text_table", "KirvaError", "GridReceivers", "greens_matrix", "grid",
           "read_coulomb", "read_mesh", "subdivide", "synthesize",
           "file_length", "axis_parity", "COMPONENTS", "SOURCE_ORDER", "SOURCE_TYPES"]
__version__ = "0.1.0"
