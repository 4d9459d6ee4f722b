// Bessel functions J0, J1, Jn and the tables of sqrt(x)*J_n, sqrt(x)*J_n' and sqrt(x)*n*J_n/x
// that the Hankel transforms read by linear interpolation.
#include "integration/bessel.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "compat.h"
#include "stop.h"

namespace kirva {

namespace {

// The 2*pi by which the phases of the large-argument forms are reduced before the cosine is taken.
constexpr double twopi15 = compat::twopi15;

// Last index read directly; beyond it the lookup reuses the last tabulated period of 128 steps.
constexpr std::int64_t iperiod0 = 262144;
constexpr int nperiod = 128;

}  // namespace

// J0 and J1 by the polynomial approximations of Abramowitz and Stegun, Handbook of Mathematical
// Functions (1964): 9.4.1 and 9.4.4 for |x| <= 3 (error below 5e-8 and 1.3e-8), and for |x| > 3
// the modulus and phase forms 9.4.3 and 9.4.6, J_n(x) = f_n cos(theta_n)/sqrt(x) (error below
// 1.6e-8 in f_n and 7e-8 in theta_n).
double besj0(double x) {
  const double ax = std::fabs(x);
  if (ax <= 3.0) {
    const double y = (ax / 3.0) * (ax / 3.0);
    return 1.0 + y * (-2.2499997 +
                      y * (1.2656208 +
                           y * (-0.3163866 + y * (0.0444479 + y * (-0.0039444 + y * 0.0002100)))));
  }
  const double z = 3.0 / ax;
  const double f0 =
      0.79788456 +
      z * (-0.00000077 +
           z * (-0.00552740 +
                z * (-0.00009512 + z * (0.00137237 + z * (-0.00072805 + z * 0.00014476)))));
  double theta0 =
      ax - 0.78539816 +
      z * (-0.04166397 +
           z * (-0.00003954 +
                z * (0.00262573 + z * (-0.00054125 + z * (-0.00029333 + z * 0.00013558)))));
  theta0 = std::fmod(theta0, twopi15);
  return f0 * std::cos(theta0) / std::sqrt(ax);
}

double besj1(double x) {
  const double ax = std::fabs(x);
  if (ax <= 3.0) {
    const double y = (ax / 3.0) * (ax / 3.0);
    return x *
           (0.5 +
            y * (-0.56249985 +
                 y * (0.21093573 +
                      y * (-0.03954289 + y * (0.00443319 + y * (-0.00031761 + y * 0.00001109))))));
  }
  const double z = 3.0 / ax;
  const double f1 =
      0.79788456 +
      z * (0.00000156 +
           z * (0.01659667 +
                z * (0.00017105 + z * (-0.00249511 + z * (0.00113653 - z * 0.00020033)))));
  double theta1 =
      ax - 2.35619449 +
      z * (0.12499612 +
           z * (0.00005650 +
                z * (-0.00637879 + z * (0.00074348 + z * (0.00079824 - z * 0.00029166)))));
  theta1 = std::fmod(theta1, twopi15);
  const double s = x >= 0.0 ? 1.0 : -1.0;
  return s * f1 * std::cos(theta1) / std::sqrt(ax);
}

double besjn(int n, double x) {
  // |n| as a wide integer so that the most negative int does not overflow.
  const long long a = n < 0 ? -static_cast<long long>(n) : n;
  const double ax = std::fabs(x);
  double bj;
  if (a == 0) {
    bj = besj0(ax);
  } else if (a == 1) {
    bj = besj1(ax);
  } else if (ax > static_cast<double>(a)) {
    // Upward recurrence J_(j+1) = (2j/x) J_j - J_(j-1) (Abramowitz and Stegun 9.1.27): stable
    // while the order is below x.
    const double t = 2.0 / ax;
    double bjm = besj0(ax);
    bj = besj1(ax);
    for (long long j = 1; j < a; ++j) {
      const double bjp = static_cast<double>(j) * t * bj - bjm;
      bjm = bj;
      bj = bjp;
    }
  } else if (ax == 0.0) {
    bj = 0.0;
  } else {
    // Power series (x/2)^a/a! * sum (-(x/2)^2)^j/(j!(a+1)...(a+j)) (Abramowitz and Stegun
    // 9.1.10), at least ten corrections.
    const double h = ax / 2.0;
    double term = 1.0;
    for (long long j = 1; j <= a; ++j) term = term * h / static_cast<double>(j);
    double sum = term;
    const double q = h * h;
    for (long long j = 1;; ++j) {
      term = -(term * q / static_cast<double>(j)) / static_cast<double>(a + j);
      sum = sum + term;
      if (std::fabs(term) <= 1.0e-10 * std::fabs(sum) && j >= 10) break;
    }
    bj = sum;
  }
  // J_(-n)(x) = (-1)^n J_n(x) and J_n(-x) = (-1)^n J_n(x).
  if (static_cast<double>(n) * x < 0.0 && a % 2 == 1) bj = -bj;
  return bj;
}

BesselTables::BesselTables() {
  constexpr std::size_t huge = std::size_t{2} << 20;
  const std::size_t bytes = sizeof(BesselCell) * (ntab + 1);
  const std::size_t size = (bytes + huge - 1) / huge * huge;
  void* p = std::aligned_alloc(huge, size);
  if (p == nullptr) throw std::bad_alloc();
  mem_.reset(p);
  ::madvise(p, size, MADV_HUGEPAGE);  // advice only: without huge pages the tables work the same
  std::memset(p, 0, size);
  cell = std::span<BesselCell>(static_cast<BesselCell*>(p), ntab + 1);
}

namespace {

constexpr double kXstep = 0.049087385212340545;  // 2*pi/128: 128 points per period

// Grid point i of the tables of every order in `tab` (nullptr: not wanted). J0 and J1 are
// evaluated once per point; J2 and J3 follow from them by the upward recurrence exactly as besjn
// forms them where it recurs (x above the order), so the values are the same.
void fill_point(int i, BesselTables* const (&tab)[3]) {
  const double x = i * kXstep;
  const double s = std::sqrt(x);
  const double j0 = besj0(x);
  const double j1 = besj1(x);
  const double t = 2.0 / x;
  const double j2 = x > 2.0 ? 1.0 * t * j1 - j0 : besjn(2, x);
  if (tab[0] != nullptr) tab[0]->set(i, j0 * s, -(s * j1), 0.0);
  if (tab[1] != nullptr) {
    const double a = j0 * s;
    const double b = s * j2;
    tab[1]->set(i, j1 * s, (a - b) * 0.5, (a + b) * 0.5);
  }
  if (tab[2] != nullptr) {
    const double j3 = x > 3.0 ? 2.0 * t * j2 - j1 : besjn(3, x);
    const double a = j1 * s;
    const double b = s * j3;
    tab[2]->set(i, j2 * s, (a - b) * 0.5, (a + b) * 0.5);
  }
}

}  // namespace

void krvbstab_range(BesselTables* tab0, BesselTables* tab1, BesselTables* tab2, int i1, int i2) {
  BesselTables* const want[3] = {tab0, tab1, tab2};
  // The grid step and point 0 belong to the one range that holds point 0: ranges filled at the
  // same time write nothing in common.
  if (i1 <= 0) {
    for (BesselTables* t : want) {
      if (t == nullptr) continue;
      t->xstep = kXstep;
      t->set(0, 0.0, 0.0, 0.0);
    }
  }
  for (int i = std::max(i1, 1); i <= std::min(i2, ntab); ++i) fill_point(i, want);
}

void tablook(double x, double& vj, double& vdj, double& vnj, const BesselTables& tab) {
  const double xstep = tab.xstep;
  double u = x / xstep;
  // Indices up to 2^62 are computed exactly in 64 bits; beyond that a double holds only whole
  // numbers, so the reduction into the last period is done in floating point (exact there).
  constexpr double wide = 4611686018427387904.0;  // 2^62
  std::int64_t i;
  if (u >= 0.0 && u < wide) {
    i = static_cast<std::int64_t>(u);
  } else if (u >= wide) {
    u = static_cast<double>(iperiod0) + std::fmod(u - static_cast<double>(iperiod0), nperiod);
    i = static_cast<std::int64_t>(u);
  } else {
    // Negative or not a number: outside the domain of the tables.
    vj = vdj = vnj = std::nan("");
    return;
  }
  const double el = u - static_cast<double>(i);
  const double em = 1.0 - el;
  if (i <= iperiod0) {
    const BesselCell& c = tab.cell[i];
    const BesselCell& d = tab.cell[i + 1];
    vj = c.j * em + d.j * el;
    vdj = c.dj * em + d.dj * el;
    vnj = em * c.nj + el * d.nj;
  } else {
    const std::int64_t j = iperiod0 + (i - iperiod0) % nperiod;
    const BesselCell& c = tab.cell[j];
    const BesselCell& d = tab.cell[j + 1];
    vj = c.j * em + d.j * el;
    vdj = c.dj * em + d.dj * el;
    // n*J_n(x)/x decays like 1/x: move the factor from the reused argument back to x.
    vnj = (em * c.nj + el * d.nj) * xstep * (static_cast<double>(j) + el) / x;
  }
}

}  // namespace kirva
