// Layer matrix, its inverse and the layer propagators of one homogeneous row.
#include "response/layer_matrices.h"

#include "response/inline_ops.h"
#include "response/response.h"
#include "stop.h"

namespace kirva {

void krvmatrix(double* a, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatrix: n != 4");
  detail::layer_matrix(a, k, z, detail::layer_constants(k, l, lt));
}

void krvmatinv(double* b, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatinv: n != 4");
  detail::layer_matrix_inverse(b, k, z, detail::layer_constants(k, l, lt));
}

void haskell(double* a, int m, double k, double h, int l, const LayerTable& lt) {
  if (m == 2) {
    detail::propagator_sh(a, k, h, detail::layer_constants(k, l, lt).mu);
  } else if (m == 4) {
    detail::propagator_psv(a, k, h, detail::layer_constants(k, l, lt));
  } else {
    throw Stop(" Error in haskell: m schould be 2 or 4!");
  }
}

void krvrowtab(const LayerTable& lt, RowTable& rt) {
  for (int l = 1; l <= lt.nlayer; ++l) {
    const detail::LayerConstants c = detail::layer_constants(0.0, l, lt);
    RowConstants& r = rt.row[l];
    r.mu = c.mu;
    r.d = c.d;
    r.f = 0.5 / (1.0 + c.d);
    r.df = c.d * r.f;
    r.opdf = (1.0 + c.d) * r.f;
    r.fg = r.f / (2.0 * c.mu);
    r.opd2 = 1.0 + 2.0 * c.d;
    r.ug = r.opd2 * r.fg;
    r.iopd = 1.0 / (1.0 + c.d);
    r.iq = 1.0 / (2.0 * (1.0 + c.d) * c.mu);
    r.imu = 1.0 / c.mu;
  }
}

}  // namespace kirva
