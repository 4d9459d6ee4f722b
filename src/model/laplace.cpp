// The layer table of the Laplace domain: the correspondence principle replaces the shear modulus
// of every viscous row by mu(s) and keeps the bulk modulus K = lambda + 2 mu / 3.
#include <cmath>

#include "model/model.h"

namespace kirva {

void laplace_layers(const LayerTable& lt, double s, LayerTable& out) {
  out = lt;
  for (int l = 1; l <= lt.nlayer; ++l) {
    const Rheology& rh = lt.rheology[l];
    if (!rh.viscous()) continue;
    const RowModuli m = row_moduli(lt, l);
    const double bulk = m.lambda + 2.0 * m.mu / 3.0;
    const double mus = laplace_mu(m.mu, rh, s);
    out.vs[l] = std::sqrt(mus / m.ro);
    out.vp[l] = std::sqrt((bulk + 4.0 * mus / 3.0) / m.ro);
  }
}

bool has_viscosity(const LayerTable& lt) {
  for (int l = 1; l <= lt.nlayer; ++l)
    if (lt.rheology[l].viscous()) return true;
  return false;
}

}  // namespace kirva
