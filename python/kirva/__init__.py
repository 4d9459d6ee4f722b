"""Readers, inspection and plots for the tables of KIRVA, static Green's functions of a layered
elastic half-space.

    lib = kirva.read_library("grnfun.all")      # everything a run computed, memory-mapped
    tab = kirva.read_text_table("crust-ss.grn")  # one text table
    prov, problem = kirva.read_provenance("grnfun.all")  # the grnfun.json beside it, if any
"""

from .library import Library, LibraryError, file_length, read_library, read_provenance
from .sources import COMPONENTS, SOURCE_ORDER, SOURCE_TYPES, axis_parity
from .text import TextTable, read_text_table

__all__ = ["Library", "LibraryError", "TextTable", "read_library", "read_provenance",
           "read_text_table",
           "file_length", "axis_parity", "COMPONENTS", "SOURCE_ORDER", "SOURCE_TYPES"]
__version__ = "0.1.0"
