// Gauss-Jordan elimination with complete pivoting and two small array helpers.
#include "response/solver.h"

#include <cmath>
#include <utility>

#include "response/inline_ops.h"

namespace kirva {

namespace {

inline void swap_rows(double* a, int n, int ncol, int r1, int r2) {
  for (int c = 0; c < ncol; ++c) std::swap(a[c * n + r1], a[c * n + r2]);
}

}  // namespace

void cgemp(double* a, double* b, int n, int m, double eps, int& flag) {
  // 0-based indices below: row r, column c of a at a[c*n + r].
  for (int t = 0; t < n; ++t) {
    // Largest remaining entry, rows t.. and every column; the first one met wins a tie.
    double amax = 0.0;
    int v = t, u = 0;
    for (int r = t; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        const double x = std::fabs(a[c * n + r]);
        if (x > amax) {
          amax = x;
          v = r;
          u = c;
        }
      }
    }
    flag = 0;
    if (eps >= amax) return;

    swap_rows(a, n, n, t, v);
    swap_rows(b, n, m, t, v);

    const double p = a[u * n + t];
    for (int r = 0; r < n; ++r) {
      if (r == t) continue;
      const double f = a[u * n + r] / (-p);
      for (int c = 0; c < n; ++c) a[c * n + r] += f * a[c * n + t];
      for (int c = 0; c < m; ++c) b[c * n + r] += f * b[c * n + t];
    }
    for (int c = 0; c < n; ++c) a[c * n + t] /= p;
    for (int c = 0; c < m; ++c) b[c * n + t] /= p;
  }

  // Each row now holds a single ~1 in its pivot column: move it onto the diagonal, which puts the
  // unknowns of b in their natural order.
  for (int q = 0; q < n; ++q) {
    for (int r = 0; r < n; ++r) {
      if (!(a[q * n + r] < 0.5)) {
        swap_rows(a, n, n, q, r);
        swap_rows(b, n, m, q, r);
      }
    }
  }
  flag = 1;
}

void vcopy(const double* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = src[i];
}

}  // namespace kirva
