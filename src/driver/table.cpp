#include "driver/table.h"

namespace kirva {

namespace {

// The depth cut and the source of one table.
void prepare(const LayerTable& lt, int type, double zs, double zrec, TableWork& w) {
  prepare_depth_pair(lt, zs, zrec, w.cl, w.pair);
  const RowModuli& s = w.pair.source;
  krvmoment(type, s.mu, s.ro, s.vp, s.vs, w.src);
}

}  // namespace

void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const BesselTables& tab, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w) {
  prepare(lt, type, zs, zrec, w);
  const KernelContext kernel{lt, rows, w.cl, w.src, w.log};
  const HankelContext ctx{zs, zrec, inp.rhalf, tab, kernel};
  krvhankel(w.grn, inp.r, inp.nr, inp.sampfac, lambda, mu, ctx, w.hw);
}

void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const AccurateBessel& acc, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w) {
  prepare(lt, type, zs, zrec, w);
  const KernelContext kernel{lt, rows, w.cl, w.src, w.log};
  const AccurateContext ctx{zs, zrec, inp.rhalf, acc, kernel};
  krvhankel_accurate(w.grn, inp.r, inp.nr, inp.sampfac, lambda, mu, ctx, w.hw);
}

}  // namespace kirva
