#include "driver/table.h"

namespace kirva {

void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const BesselTables& tab, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w) {
  prepare_depth_pair(lt, zs, zrec, w.cl, w.pair);
  const RowModuli& s = w.pair.source;
  krvmoment(type, s.mu, s.ro, s.vp, s.vs, w.src);
  const KernelContext kernel{lt, rows, w.cl, w.src, w.log};
  const HankelContext ctx{zs, zrec, inp.rhalf, tab, kernel};
  krvhankel(w.grn, inp.r, inp.nr, inp.sampfac, lambda, mu, ctx, w.hw);
}

}  // namespace kirva
