// The layer matrices, propagators and matrix product as stand-alone routines, for the tests: the
// depth sweeps use the inline bodies (response/inline_ops.h) directly.
// Column-major storage: element (i, j) of an n-row matrix at a[(j-1)*n + (i-1)].
#pragma once

#include "model/model.h"
#include "response/inline_ops.h"
#include "stop.h"

namespace kirva {

// P-SV layer matrix (n must be 4) at depth offset z for table row l.
inline void krvmatrix(double* a, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatrix: n != 4");
  detail::layer_matrix(a, k, z, detail::layer_constants(k, l, lt));
}

// Its exact inverse (n must be 4); needs k != 0.
inline void krvmatinv(double* b, int n, double k, double z, int l, const LayerTable& lt) {
  if (n != 4) throw Stop(" Error in krvmatinv: n != 4");
  detail::layer_matrix_inverse(b, k, z, detail::layer_constants(k, l, lt));
}

// Propagator over thickness h (negative: upward): m = 2 for SH, m = 4 for P-SV.
inline void haskell(double* a, int m, double k, double h, int l, const LayerTable& lt) {
  if (m == 2) {
    detail::propagator_sh(a, k, h, detail::layer_constants(k, l, lt).mu);
  } else if (m == 4) {
    detail::propagator_psv(a, k, h, detail::layer_constants(k, l, lt));
  } else {
    throw Stop(" Error in haskell: m schould be 2 or 4!");
  }
}

// ab (n x m) = a (n x l) * b (l x m); ab must not alias a or b.
inline void mprod(const double* a, const double* b, int n, int l, int m, double* ab) {
  detail::matmul(a, b, n, l, m, ab);
}

}  // namespace kirva
