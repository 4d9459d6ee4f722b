// Small dense real linear algebra on column-major arrays.
#pragma once

namespace kirva {

// Gauss-Jordan elimination with complete pivoting: solves a*X = b in place (b: n x m).
// flag = 1 on success, 0 when no pivot above eps is left.
void cgemp(double* a, double* b, int n, int m, double eps, int& flag);
// dst(i) = src(i), i = 1..n.
void vcopy(const double* src, double* dst, int n);

}  // namespace kirva
