// Bessel values for the accurate mode: J_0..J_4 to near rounding, and the tables of cubic
// Hermite interpolants of J_(n-1), J_n, J_(n+1) from which the sum reads J_n, J_n' and n J_n/x.
//
// Why these tables: sqrt(x) J_n(x), the function of the plain tables, has an unbounded slope at
// x = 0, so no interpolation of it converges near the axis; J_n itself is entire, with every
// derivative bounded by 1, and the cubic Hermite interpolant on the plain grid (128 points per
// period) is within 1.5e-8 of it at every argument. Measured against evaluating the functions
// at each sample (bench/hankel_bench.cpp), the interpolation is several times faster at this
// accuracy.
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "integration/accurate.h"

namespace kirva {

namespace {

// Hankel's expansion of J_0 and J_1 (Abramowitz and Stegun 9.2.5, 9.2.9, 9.2.10) for x >= 25,
// where its terms fall below 1e-17 of the leading one by the twenty-fourth.
void j01_large(double x, double& j0, double& j1) {
  double p[2], q[2];
  for (int v = 0; v < 2; ++v) {
    const double mu = 4.0 * v * v;
    double term = 1.0, ps = 1.0, qs = 0.0;
    for (int k = 1; k <= 24; ++k) {
      const double o = 2.0 * k - 1.0;
      term *= (mu - o * o) / (8.0 * k * x);
      // Terms k = 1, 2, 3, 4, ... enter Q, P, Q, P with signs +, -, -, +, ...
      const double s = (k / 2) % 2 == 0 ? 1.0 : -1.0;
      if (k % 2 == 1) {
        qs += (k % 4 == 1 ? 1.0 : -1.0) * term;
      } else {
        ps += s * term;
      }
    }
    p[v] = ps;
    q[v] = qs;
  }
  const double sx = std::sin(x), cx = std::cos(x);
  const double a = std::sqrt(2.0 / (M_PI * x)) * M_SQRT1_2;
  // cos and sin of x - pi/4 and of x - 3pi/4, times sqrt(2).
  const double c0 = cx + sx, s0 = sx - cx;
  const double c1 = sx - cx, s1 = -sx - cx;
  j0 = a * (p[0] * c0 - q[0] * s0);
  j1 = a * (p[1] * c1 - q[1] * s1);
}

// J_m for m = -2..4 from J_0..J_4: J_(-m) = (-1)^m J_m.
inline double jm(const double (&j)[5], int m) {
  return m >= 0 ? j[m] : (m % 2 == 0 ? j[-m] : -j[-m]);
}

}  // namespace

void accurate_j04(double x, double (&j)[5]) {
  if (x < 25.0) {
    for (int m = 0; m < 5; ++m) j[m] = std::cyl_bessel_j(static_cast<double>(m), x);
    return;
  }
  j01_large(x, j[0], j[1]);
  // Upward recurrence, stable while the order is below x.
  for (int m = 1; m < 4; ++m) j[m + 1] = (2.0 * m / x) * j[m] - j[m - 1];
}

AccurateBessel::AccurateBessel() {
  constexpr std::size_t huge = std::size_t{2} << 20;
  const std::size_t bytes = sizeof(AccCell) * kAccIntervals;
  const std::size_t size = (bytes + huge - 1) / huge * huge;
  void* p = std::aligned_alloc(huge, size);
  if (p == nullptr) throw std::bad_alloc();
  mem_.reset(p);
  // Advice only. The cells are not cleared here: fill_accurate_orders writes every one, and the
  // first touch of the pages then happens in the workers that fill them, side by side.
  ::madvise(p, size, MADV_HUGEPAGE);
  cell = std::span<AccCell>(static_cast<AccCell*>(p), kAccIntervals);
}

void fill_accurate_orders(AccurateBessel& t0, AccurateBessel& t1, AccurateBessel& t2, int i1,
                          int i2) {
  AccurateBessel* const tab[3] = {&t0, &t1, &t2};
  for (int n = 0; n < 3; ++n) tab[n]->order = n;
  i1 = std::max(i1, 0);
  i2 = std::min(i2, kAccIntervals - 1);
  if (i1 > i2) return;
  // Values and slopes times the step of J_-1 .. J_3 at a grid point.
  struct Point {
    double f[5], d[5];
  };
  auto point = [](int i, Point& pt) {
    double j[5];
    accurate_j04(i * kAccStep, j);
    for (int m = -1; m <= 3; ++m) {
      pt.f[m + 1] = jm(j, m);
      pt.d[m + 1] = 0.5 * (jm(j, m - 1) - jm(j, m + 1)) * kAccStep;
    }
  };
  Point lo, hi;
  point(i1, lo);
  for (int i = i1; i <= i2; ++i) {
    point(i + 1, hi);
    for (int n = 0; n < 3; ++n) {
      AccCell& c = tab[n]->cell[static_cast<std::size_t>(i)];
      for (int s = 0; s < 3; ++s) {
        const int m = n - 1 + s + 1;  // index of J_(n-1+s) in Point
        const double f0 = lo.f[m], f1 = hi.f[m], d0 = lo.d[m], d1 = hi.d[m];
        c.c[s][0] = f0;
        c.c[s][1] = d0;
        c.c[s][2] = 3.0 * (f1 - f0) - 2.0 * d0 - d1;
        c.c[s][3] = 2.0 * (f0 - f1) + d0 + d1;
      }
    }
    lo = hi;
  }
}

void accurate_lookup(double x, double& vj, double& vdj, double& vnj, const AccurateBessel& tab) {
  const double u = x / kAccStep;
  double a, b, c;
  if (u < static_cast<double>(kAccIntervals)) {
    const int i = static_cast<int>(u);
    const double t = u - i;
    const AccCell& e = tab.cell[static_cast<std::size_t>(i)];
    a = ((e.c[0][3] * t + e.c[0][2]) * t + e.c[0][1]) * t + e.c[0][0];
    b = ((e.c[1][3] * t + e.c[1][2]) * t + e.c[1][1]) * t + e.c[1][0];
    c = ((e.c[2][3] * t + e.c[2][2]) * t + e.c[2][1]) * t + e.c[2][0];
  } else {
    double j[5];
    accurate_j04(x, j);
    a = jm(j, tab.order - 1);
    b = j[tab.order];
    c = j[tab.order + 1];
  }
  vj = b;
  vdj = 0.5 * (a - c);
  vnj = tab.order == 0 ? 0.0 : 0.5 * (a + c);
}

}  // namespace kirva
