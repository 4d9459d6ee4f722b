// Bessel functions of the first kind and their tables for the Hankel transforms.
#pragma once

#include <cmath>
#include <cstdlib>
#include <memory>
#include <span>

namespace kirva {

inline constexpr int ntab = 262272;  // highest table index: 2^18 + 128

double besj0(double x);
double besj1(double x);
double besjn(int n, double x);

// One grid point of the tables: the three scaled functions at x = i*xstep side by side, so that
// the two points of an interpolation interval lie in 48 consecutive bytes, mostly one cache line.
struct BesselCell {
  double j, dj, nj;
};
static_assert(sizeof(BesselCell) == 24);

// sqrt(x)*J_n(x), sqrt(x)*J_n'(x) and sqrt(x)*n*J_n(x)/x at x = i*xstep, i = 0..ntab, for the
// order they were filled for. Allocated once; read-only while integrations run.
struct BesselTables {
  double xstep = 0.0;
  std::span<BesselCell> cell;  // ntab + 1 cells, all zero at start

  // The cells live in memory of their own, aligned for huge pages where the system offers them:
  // 17 MB per order would otherwise cost thousands of page faults per run.
  BesselTables();
  BesselTables(const BesselTables&) = delete;
  BesselTables& operator=(const BesselTables&) = delete;

  double tabj(int i) const { return cell[i].j; }
  double tabdj(int i) const { return cell[i].dj; }
  double tabnj(int i) const { return cell[i].nj; }
  // Stores the three values of grid point i.
  void set(int i, double vj, double vdj, double vnj) { cell[i] = {vj, vdj, vnj}; }

 private:
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Free> mem_;
};

// The grid points i1..i2 (of 0..ntab) of the tables of orders 0, 1 and 2, a null pointer for an
// order not wanted; the evaluations of J0 and J1 are shared by the orders. Disjoint ranges may be
// filled at the same time; together they must cover point 0, whose range sets the grid step.
void krvbstab_range(BesselTables* tab0, BesselTables* tab1, BesselTables* tab2, int i1, int i2);
// All three orders, as a run needs them.
inline void krvbstab_orders(BesselTables& tab0, BesselTables& tab1, BesselTables& tab2, int i1,
                            int i2) {
  krvbstab_range(&tab0, &tab1, &tab2, i1, i2);
}
// Linear interpolation in the tables at x >= 0, reusing the last period beyond index 2^18.
void tablook(double x, double& vj, double& vdj, double& vnj, const BesselTables& tab);

// Arguments below kExactCells table steps where the sums of order 0 may take sqrt(x) J_0 and
// sqrt(x) J_0' exact (SourceTerms::exact_near_axis): linear interpolation of sqrt(x) near 0 errs
// by up to sqrt(xstep)/4 in the first cell and still by some 1e-3 of the value in the tenth, and
// the field near the axis is made of such arguments alone.
inline constexpr int kExactCells = 32;

// sqrt(x) J_0(x) and sqrt(x) J_0'(x) = -sqrt(x) J_1(x) from their power series (Abramowitz and
// Stegun 9.1.10) in q = -x^2/4, by Horner's rule: for x < kExactCells xstep (about 1.6, q above
// -0.62) the terms beyond q^10 are below 1e-15.
inline void bessel0_near_zero(double x, double& sj, double& sdj) {
  // 1/(m!)^2 and 1/(m! (m+1)!), m = 10 down to 0.
  struct Coefficients {
    double c0[11], c1[11];
  };
  static constexpr Coefficients c = [] {
    Coefficients r{};
    double f = 1.0;  // m!
    for (int m = 0; m <= 10; ++m) {
      if (m > 0) f *= m;
      r.c0[10 - m] = 1.0 / (f * f);
      r.c1[10 - m] = 1.0 / (f * f * (m + 1));
    }
    return r;
  }();
  const double* c0 = c.c0;
  const double* c1 = c.c1;
  const double q = -0.25 * x * x;
  double j0 = c0[0], j1 = c1[0];
  for (int m = 1; m <= 10; ++m) {
    j0 = j0 * q + c0[m];
    j1 = j1 * q + c1[m];
  }
  const double s = std::sqrt(x);
  sj = s * j0;
  sdj = -s * 0.5 * x * j1;
}

}  // namespace kirva
