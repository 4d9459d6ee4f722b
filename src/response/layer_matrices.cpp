// Layer matrix, its inverse and the layer propagators of one homogeneous row.
#include "response/layer_matrices.h"

#include "response/inline_ops.h"
#include "stop.h"

namespace kirva {

void krvmatrix(double* a, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatrix: n != 4");
  detail::layer_matrix(a, k, z, detail::row_constants(k, l, lt));
}

void krvmatinv(double* b, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatinv: n != 4");
  detail::layer_matrix_inverse(b, k, z, detail::row_constants(k, l, lt));
}

void haskell(double* a, int m, double k, double h, int l, const LayerTable& lt) {
  if (m == 2) {
    detail::propagator_sh(a, k, h, detail::row_constants(k, l, lt).mu);
  } else if (m == 4) {
    detail::propagator_psv(a, k, h, detail::row_constants(k, l, lt));
  } else {
    throw Stop(" Error in haskell: m schould be 2 or 4!");
  }
}

}  // namespace kirva
