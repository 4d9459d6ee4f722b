// The accurate mode of the Hankel transforms: the Green's functions of the point source itself
// rather than the smoothed ones of the plain mode. A second path beside the plain sum, with its
// own Bessel tables (cubic Hermite interpolation of J_n instead of linear interpolation of
// sqrt(x)*J_n), its own searches (tolerances near the rounding of the kernels) and a corrected
// trapezoidal rule; the completion of the components is shared with the plain path.
#pragma once

#include <array>
#include <cstdlib>
#include <memory>
#include <span>

#include "integration/hankel.h"
#include "response/response.h"

namespace kirva {

// The tables cover x = 0 .. kAccIntervals*kAccStep (about 12868); beyond, the values come from
// the asymptotic expansion directly.
inline constexpr int kAccIntervals = 1 << 18;
inline constexpr double kAccStep = 0.049087385212340545;  // 2*pi/128

// One interval [i, i+1]*kAccStep: the cubic c0 + c1 t + c2 t^2 + c3 t^3 (t in [0, 1]) of each of
// J_(n-1), J_n and J_(n+1) (J_(-1) = -J_1), the Hermite interpolant of the values and slopes at
// the two ends. Its error is below h^4/384 max|J''''| < 1.5e-8 for this step.
struct alignas(32) AccCell {
  double c[3][4];
};
static_assert(sizeof(AccCell) == 96);

// The tables of one order; every cell must be filled (fill_accurate_orders over 0 ..
// kAccIntervals - 1) before the first lookup.
struct AccurateBessel {
  int order = 0;
  std::span<AccCell> cell;  // kAccIntervals cells

  AccurateBessel();
  AccurateBessel(const AccurateBessel&) = delete;
  AccurateBessel& operator=(const AccurateBessel&) = delete;

 private:
  struct Free {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Free> mem_;
};

// J_0 .. J_4 at x >= 0 to about 1e-14: std::cyl_bessel_j below x = 25, the Hankel asymptotic
// expansion (Abramowitz and Stegun 9.2.5, twelve terms) and the upward recurrence above.
void accurate_j04(double x, double (&j)[5]);

// The cells i1..i2 of the tables of orders 0, 1 and 2; disjoint ranges may be filled at once.
void fill_accurate_orders(AccurateBessel& t0, AccurateBessel& t1, AccurateBessel& t2, int i1,
                          int i2);

// J_n(x), J_n'(x) and n J_n(x)/x for the table's order at x >= 0: interpolated inside the
// tables, evaluated beyond.
void accurate_lookup(double x, double& vj, double& vdj, double& vnj, const AccurateBessel& tab);

// What one accurate integration reads besides its arguments.
struct AccurateContext {
  double zs;                  // source depth, m
  double zrec;                // observation depth, m
  double smoothing;           // the Gaussian smoothing length at every distance, m (0: none)
  const AccurateBessel& tab;  // tabulated for order src.mazi
  const KernelContext& kernel;
};

// The default smoothing length of the accurate mode, m: a Gaussian smoothing over s changes the
// field of a source at depth zs by about 12 (s/zs)^2 of its peak: 1.2e-5 at zs = 100 m, 1.2e-7 at
// zs = 1 km.
inline constexpr double kAccurateSmoothing = 0.1;

// Tolerances of the accurate searches.
inline constexpr double kAccKernelEps = 1.0e-15;  // depth window of the kernels
inline constexpr double kAccCut = 1.0e-7;         // cut-off: integrand envelopes below this share
inline constexpr double kAccAsym = 1.0e-18;       // asymptote: squared relative change per step
inline constexpr double kAccFloor = 1.0e-8;       // remainders below this share of the asymptote
                                                  // end the integrand
inline constexpr long long kAccMaxSamples = 100000000;  // beyond: stop and ask for smoothing

// The searches and the sampling of an accurate integration, left in work (as krvhprep does for
// the plain one).
void krvhprep_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                       double sampfac, double mu, const AccurateContext& ctx, HankelWork& work);

// Fills grn for distances r(1..nr) like krvhankel, in accurate mode.
void krvhankel_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                        double sampfac, double lambda, double mu, const AccurateContext& ctx,
                        HankelWork& work);
// The accurate forms of krvhankel_resampled and krvhsum_sampled (hankel.h).
void krvhankel_accurate_resampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                                  double lambda, double mu, const AccurateContext& ctx,
                                  HankelWork& work);
void krvhsum_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                      double lambda, double mu, const AccurateContext& ctx, HankelWork& work);

}  // namespace kirva
