// One Green's function table: the work of one (source type, source depth, observation depth).
// Everything it changes lives in its TableWork, so tables of different source depths can be
// computed side by side, one TableWork each.
#pragma once

#include <memory>
#include <vector>

#include "driver/input.h"
#include "integration/accurate.h"
#include "integration/bessel.h"
#include "integration/hankel.h"
#include "model/model.h"
#include "relaxation/relaxation.h"
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
  // Runs through time: the source and the table at one Laplace node, and the tables at the
  // times (InversionPlan::times), summed over the nodes.
  SourceTerms node_src;
  GreenTable node_grn;
  std::vector<GreenTable> at_times;
  // The plain mode's sums of all times at once: per node its source, per time the sum's
  // scratch, and the kernels of a chunk of samples at every node.
  std::vector<SourceTerms> node_srcs;
  std::vector<HankelWork> time_work;
  std::vector<std::array<double, 7>> ybuf;
};

// The earths of the Laplace nodes of a run through time (relaxation.h): the plan and, per node,
// the layer table with the Laplace-domain moduli and its kernels' constants. Without a viscous
// row there are no nodes: every time has the elastic tables.
struct LaplaceEarths {
  InversionPlan plan;
  bool viscous = false;
  std::vector<std::unique_ptr<LayerTable>> lt;
  std::vector<std::unique_ptr<RowTable>> rows;
};
void make_laplace_earths(const LayerTable& lt, const std::vector<double>& times_years,
                         LaplaceEarths& e);

// Fills w.grn for source type `type` (1 strike-slip, 2 dip-slip, 3 CLVD, 4 explosion) at source
// depth zs and observation depth zrec, where the Lame constants are lambda and mu. rows holds the
// kernels' constants of the rows of lt, tab the Bessel tables of the type's order
// (tables/sources.h).
void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const BesselTables& tab, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w);
// The same in accurate mode: the tables `acc` of the type's order, inp.rhalf as the smoothing
// length of every distance.
void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const AccurateBessel& acc, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w);

// After compute_table with the same type and depths (whose sampling w.hw holds, and whose table
// w.grn is the elastic one): w.at_times[i], the table at time e.plan.times[i] after a step of
// slip, from the tables of the Laplace-domain earths integrated with that same sampling.
void compute_at_times(const RunInput& inp, const LaplaceEarths& e, const BesselTables& tab,
                      int type, double zs, double zrec, TableWork& w);
void compute_at_times(const RunInput& inp, const LaplaceEarths& e, const AccurateBessel& acc,
                      int type, double zs, double zrec, TableWork& w);

}  // namespace kirva
