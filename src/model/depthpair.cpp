#include "model/model.h"

namespace kirva {

RowModuli row_moduli(const LayerTable& lt, int row) {
  RowModuli m;
  m.row = row;
  m.ro = lt.ro[row];
  m.vp = lt.vp[row];
  m.vs = lt.vs[row];
  m.mu = (m.ro * m.vs) * m.vs;
  m.lambda = (m.ro * m.vp) * m.vp - m.mu - m.mu;
  return m;
}

void prepare_depth_pair(const LayerTable& lt, double zs, double zrec, ComputationalLayers& cl,
                        DepthPair& pair) {
  krvdepthcut(zs, cl.ls, zrec, cl.lzrec, lt.thick, lt.nlayer, cl);
  // The source sits on top of layer ls, the observation depth on top of layer lzrec.
  pair.source = row_moduli(lt, cl.lay[cl.ls]);
  pair.receiver = row_moduli(lt, cl.lay[cl.lzrec]);
}

}  // namespace kirva
