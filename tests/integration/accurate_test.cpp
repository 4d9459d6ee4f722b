// The accurate mode against Green's functions computed by another method: direct Gauss-Legendre
// quadrature of the kernel with exact Bessel functions (quadrature_reference.h), and the closed
// forms of a homogeneous half-space at its surface. The bounds are those the accurate mode is
// built for: within 5e-4 of each component's peak from a tenth of the source depth outward and
// within 2e-3 from a fiftieth, the peak being that of the component over the distances at that
// source depth, or 1% of the largest peak of its group (displacements; strains and duz/dr) where
// that is larger.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "integration/halfspace_reference.h"
#include "integration/integration_fixture.h"

namespace kirva {
namespace {

using namespace kirva::fixture;

// Distances in units of the source depth: the axis, then 0.02 to 20 roughly evenly in log r.
const std::vector<double> kUnits = {0.0, 0.02, 0.03, 0.05, 0.07, 0.1, 0.15, 0.2,  0.3,  0.45,
                                    0.7, 1.0,  1.4,  2.0,  3.0,  4.5, 7.0,  10.0, 15.0, 20.0};

constexpr double kSmoothing = kAccurateSmoothing;  // the default of the accurate mode, m

struct Bands {
  double near = 0.0;  // worst deviation over 0.02 zs <= r < 0.1 zs (and the axis)
  double far = 0.0;   // worst deviation over r >= 0.1 zs
};

// Worst scaled deviations of `got` from `want` over the distances dist (m) for a source at zs.
Bands deviations(const GreenTable& got, const GreenTable& want, const std::vector<double>& dist,
                 double zs, int first = 1) {
  const int nr = static_cast<int>(dist.size());
  std::array<double, 11> peak{};
  for (int j = first; j <= nr; ++j)
    for (int c = 1; c <= 10; ++c) peak[c] = std::max(peak[c], std::fabs(want(c, j)));
  const double disp = std::max({peak[1], peak[2], peak[3]});
  double strain = 0.0;
  for (int c = 4; c <= 10; ++c) strain = std::max(strain, peak[c]);
  Bands b;
  for (int c = 1; c <= 10; ++c) {
    const double scale = std::max(peak[c], 0.01 * (c <= 3 ? disp : strain));
    for (int j = first; j <= nr; ++j) {
      const double d = std::fabs(got(c, j) - want(c, j)) / scale;
      if (std::getenv("KIRVA_DEBUG") && d > 1e-5)
        std::printf("      c %d r/zs %g got %.8e want %.8e scale %.3e dev %.2e\n", c,
                    dist[j - 1] / zs, got(c, j), want(c, j), scale, d);
      (dist[j - 1] >= 0.1 * zs ? b.far : b.near) =
          std::max(dist[j - 1] >= 0.1 * zs ? b.far : b.near, d);
    }
  }
  return b;
}

struct Pair {
  double zs, zrec;  // m
};

// Every source type at every depth pair of the model: accurate mode against quadrature.
void check(const std::vector<Row>& model, const std::vector<Pair>& pairs, const char* name) {
  Integration acc(model, Mode::accurate), quad(model, Mode::quadrature);
  Bands worst;
  for (const Pair& p : pairs) {
    std::vector<double> dist;
    for (double u : kUnits) {
      // The axis is singular at equal depths; it is left out there.
      if (u == 0.0 && p.zs == p.zrec) continue;
      dist.push_back(u * p.zs);
    }
    for (int type = 1; type <= 4; ++type) {
      const GreenTable want = quad.run(type, p.zs, p.zrec, 0.0, dist);
      const GreenTable& got = acc.run(type, p.zs, p.zrec, kSmoothing, dist);
      const Bands b = deviations(got, want, dist, p.zs);
      std::printf("    %s zs %6.0f zrec %6.0f type %d: %.2e beyond 0.1 zs, %.2e from 0.02 zs\n",
                  name, p.zs, p.zrec, type, b.far, b.near);
      EXPECT_LE(b.far, 5e-4) << name << " zs " << p.zs << " zrec " << p.zrec << " type " << type;
      EXPECT_LE(b.near, 2e-3) << name << " zs " << p.zs << " zrec " << p.zrec << " type " << type;
      worst.far = std::max(worst.far, b.far);
      worst.near = std::max(worst.near, b.near);
    }
  }
  std::printf("    %s worst: %.2e beyond 0.1 zs, %.2e from 0.02 zs\n", name, worst.far, worst.near);
}

TEST(AccurateMode, HomogeneousHalfSpaceAtTheSurfaceAtDepthAndAtTheSourceDepth) {
  check(kHomogeneous,
        {{5000.0, 0.0}, {5000.0, 2000.0}, {5000.0, 5000.0}, {5000.0, 9000.0}, {20000.0, 0.0}},
        "half-space");
}

TEST(AccurateMode, LayeredCrustAtTheSurfaceAtDepthAndAtTheSourceDepth) {
  check(kCrust,
        {{1500.0, 0.0},
         {5000.0, 0.0},
         {21000.0, 0.0},
         {12000.0, 3000.0},
         {5000.0, 5000.0},
         {1000.0, 1000.0},
         {3000.0, 2000.0},
         {2000.0, 2000.0},   // source and observation on an interface
         {2000.0, 7000.0}},  // from an interface down into the next layer
        "crust");
}

// Equal depths inside a stack of thin rows (a sliced gradient): the kernel settles to its
// asymptote only on the scale of a row, and what remains after the subtraction is soon rounding.
// The integrand must end there rather than run on to where the smoothing ends it (a million
// samples per table).
TEST(AccurateMode, EqualDepthsInThinRowsEndWhereTheRemainderIsRounding) {
  std::vector<Row> rows;
  for (int i = 0; i < 12; ++i)
    rows.push_back({250.0, 4500.0 + 60.0 * i, 2600.0 + 35.0 * i, 2450.0 + 10.0 * i});
  rows.push_back({0.0, 6200.0, 3580.0, 2750.0});
  Integration acc(rows, Mode::accurate), quad(rows, Mode::quadrature);
  const double zs = 1600.0;  // 100 m below a row boundary, 150 m above the next
  std::vector<double> dist;
  for (double u : {0.02, 0.05, 0.1, 0.3, 1.0, 3.0, 10.0}) dist.push_back(u * zs);
  for (int type = 1; type <= 4; ++type) {
    const GreenTable want = quad.run(type, zs, zs, 0.0, dist);
    const GreenTable& got = acc.run(type, zs, zs, kSmoothing, dist);
    EXPECT_TRUE(acc.work().asymok) << "type " << type;
    EXPECT_LT(acc.work().nktot, 20000) << "type " << type;
    const Bands b = deviations(got, want, dist, zs);
    EXPECT_LE(b.far, 5e-4) << "type " << type;
    EXPECT_LE(b.near, 2e-3) << "type " << type;
  }
}

// The Bessel values of the accurate mode, J_n, J_n' and n J_n(x)/x for n = 0, 1, 2, against
// std::cyl_bessel_j: within 1e-7 at every argument, in the tables (to x = 12868) and beyond.
TEST(AccurateMode, BesselValuesWithin1e7AtEveryArgument) {
  std::array<std::unique_ptr<AccurateBessel>, 3> tab;
  for (auto& t : tab) t = std::make_unique<AccurateBessel>();
  fill_accurate_orders(*tab[0], *tab[1], *tab[2], 0, kAccIntervals - 1);
  std::vector<double> xs = {0.0, 1e-300, 1e-8, 0.01, 0.02454, 0.5, 1.0, 24.999, 25.0, 25.001};
  for (int i = 0; i < 20000; ++i)
    xs.push_back(13000.0 * std::pow(0.6180339887 * i - int(0.6180339887 * i), 3.0));
  for (double x : {12867.0, 12868.0, 12868.3, 12869.0, 2.0e4, 1.0e5, 1.0e6}) xs.push_back(x);
  for (int n = 0; n <= 2; ++n) {
    double worst = 0.0;
    for (double x : xs) {
      double vj, vdj, vnj;
      accurate_lookup(x, vj, vdj, vnj, *tab[n]);
      const double jm = n == 0 ? -std::cyl_bessel_j(1.0, x) : std::cyl_bessel_j(n - 1.0, x);
      const double jp = std::cyl_bessel_j(n + 1.0, x);
      const double want[3] = {std::cyl_bessel_j(double(n), x), 0.5 * (jm - jp),
                              n == 0 ? 0.0 : 0.5 * (jm + jp)};
      const double got[3] = {vj, vdj, vnj};
      for (int q = 0; q < 3; ++q) {
        worst = std::max(worst, std::fabs(got[q] - want[q]));
        EXPECT_NEAR(got[q], want[q], 1e-7) << "order " << n << " value " << q << " x " << x;
      }
    }
    std::printf("    order %d: worst deviation %.2e\n", n, worst);
  }
}

// The quadrature reference itself against the closed forms of the half-space surface, so that
// the comparisons above rest on an independently checked computation.
TEST(AccurateMode, QuadratureReferenceAgreesWithTheClosedForms) {
  Integration quad(kHomogeneous, Mode::quadrature);
  const Row& w = kHomogeneous[0];
  const double mu = (w.ro * w.vs) * w.vs;
  const testref::Halfspace hs{(w.ro * w.vp) * w.vp - mu - mu, mu};
  const double zs = 5000.0;
  std::vector<double> dist;
  for (double u : kUnits)
    if (u > 0.0) dist.push_back(u * zs);
  for (int type = 1; type <= 4; ++type) {
    const GreenTable& got = quad.run(type, zs, 0.0, 0.0, dist);
    GreenTable want;
    for (std::size_t j = 0; j < dist.size(); ++j) {
      const auto g = testref::surface_green(type, zs, dist[j], hs);
      for (int c = 1; c <= 10; ++c) want(c, static_cast<int>(j) + 1) = g[c - 1];
    }
    const Bands b = deviations(got, want, dist, zs);
    EXPECT_LE(std::max(b.far, b.near), 1e-8) << "type " << type;
  }
}

// And the accurate mode against the closed forms directly, with its default smoothing.
TEST(AccurateMode, HalfSpaceSurfaceAgreesWithTheClosedForms) {
  Integration acc(kHomogeneous, Mode::accurate);
  const Row& w = kHomogeneous[0];
  const double mu = (w.ro * w.vs) * w.vs;
  const testref::Halfspace hs{(w.ro * w.vp) * w.vp - mu - mu, mu};
  for (double zs : {1000.0, 10000.0, 500.0}) {
    // The distances of a table: 0 to 20 source depths in 401 steps; for the shallowest source to
    // 1000 source depths, where k*r runs far beyond the Bessel tables.
    const auto dist = spaced(0.0, zs == 500.0 ? 1250.0 : zs / 20.0, 401);
    for (int type = 1; type <= 4; ++type) {
      const GreenTable& got = acc.run(type, zs, 0.0, kSmoothing, dist);
      GreenTable want;
      for (std::size_t j = 1; j < dist.size(); ++j) {
        const auto g = testref::surface_green(type, zs, dist[j], hs);
        for (int c = 1; c <= 10; ++c) want(c, static_cast<int>(j) + 1) = g[c - 1];
      }
      const Bands b = deviations(got, want, dist, zs, 2);
      std::printf("    closed form zs %6.0f type %d: %.2e beyond 0.1 zs, %.2e below\n", zs, type,
                  b.far, b.near);
      EXPECT_LE(b.far, 5e-4) << "zs " << zs << " type " << type;
      EXPECT_LE(b.near, 2e-3) << "zs " << zs << " type " << type;
    }
  }
}

}  // namespace
}  // namespace kirva
