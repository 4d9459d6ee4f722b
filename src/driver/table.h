// One Green's function table: the work of one (source type, source depth, observation depth).
// Everything it changes lives in its TableWork, so tables of different source depths can be
// computed side by side, one TableWork each.
#pragma once

#include "driver/input.h"
#include "integration/accurate.h"
#include "integration/bessel.h"
#include "integration/hankel.h"
#include "model/model.h"
#include "response/response.h"
#include "response/source.h"

namespace kirva {

struct TableWork {
  ComputationalLayers cl;  // the layers cut at (zs, zrec)
  SourceTerms src;         // the source of the current type at zs
  WarningLog log;          // solver warnings, printed by the driver after the table
  HankelWork hw;
  GreenTable grn;
  DepthPair pair;  // the rows of zs and zrec and their moduli
};

// Fills w.grn for source type `type` (1 strike-slip, 2 dip-slip, 3 CLVD, 4 explosion) at source depth zs and
// observation depth zrec, where the Lame constants are lambda and mu. rows holds the kernels'
// constants of the rows of lt, tab the Bessel tables of the type's order
// (tables/sources.h).
void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const BesselTables& tab, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w);
// The same in accurate mode: the tables `acc` of the type's order, inp.rhalf as the smoothing
// length of every distance.
void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const AccurateBessel& acc, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w);

}  // namespace kirva
