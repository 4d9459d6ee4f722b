// Closed-form static solutions inside one homogeneous layer at horizontal wavenumber k.
// Matrices are stored column by column: element (i, j) of an n-row matrix at a[(j-1)*n + (i-1)].
#pragma once

#include "model/model.h"

namespace kirva {

// P-SV layer matrix (n must be 4) at depth offset z for table row l.
void krvmatrix(double* a, int n, double k, double z, int l, const LayerTable& lt);
// Its exact inverse (n must be 4); needs k != 0.
void krvmatinv(double* b, int n, double k, double z, int l, const LayerTable& lt);
// Propagator over thickness h (negative: upward): m = 2 for SH, m = 4 for P-SV.
void haskell(double* a, int m, double k, double h, int l, const LayerTable& lt);

}  // namespace kirva
