#include "driver/table.h"

namespace kirva {

void compute_table(const RunInput& /*inp*/, const LayerTable& lt, const BesselTables& /*tab*/,
                   int /*type*/, double zs, double zrec, double /*lambda*/, double /*mu*/,
                   TableWork& w) {
  krvdepthcut(zs, w.cl.ls, zrec, w.cl.lzrec, lt.thick, lt.nlayer, w.cl);
  // The source sits on top of layer ls and takes the properties of the row below it.
  const int row = w.cl.lay[w.cl.ls];
  w.ro = lt.ro[row];
  w.vp = lt.vp[row];
  w.vs = lt.vs[row];
  w.source_mu = (w.ro * w.vs) * w.vs;
  // The response and the wavenumber integration are not part of the program yet: until they
  // are, the table holds zeros.
  w.grn.v.fill(0.0);
}

}  // namespace kirva
