// P-SV and SH responses: homogeneous half-space closed forms, the depth window, the special
// positions of source and observation depths, the fluid-like bottom and the solver warning.
#include "response/response.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "fixtures.h"

namespace kirva {
namespace {

using testing::cut_layers;
using testing::jump;
using testing::make_table;
using testing::reference_psv;
using testing::reference_sh;

struct Result {
  std::array<double, 7> y;
  std::string log;
};

Result run(const LayerTable& lt, const ComputationalLayers& cl, const SourceTerms& src, double k,
           double eps = 1.0e-8) {
  Result r;
  r.y.fill(99.0);  // both kernels must overwrite their part
  WarningLog log;
  const auto rows = testing::row_table(lt);
  const KernelContext ctx{lt, *rows, cl, src, log};
  krvpsv(r.y, k, eps, ctx);
  krvsh(r.y, k, eps, ctx);
  r.log = log.text;
  return r;
}

constexpr double vp0 = 6000.0, vs0 = 3464.0, ro0 = 2700.0;
const double mu0 = ro0 * vs0 * vs0;

// Homogeneous material cut into table rows whose last interface (4000 m) is the half-space top.
const LayerTable kHomogeneous =
    make_table({{1500, vp0, vs0, ro0}, {2500, vp0, vs0, ro0}, {0, vp0, vs0, ro0}});

// Observation at the surface of a homogeneous half-space, source at zs, x = k zs:
//   b = (1, 0, 0, 0):  y = ((1 + x) e^-x, 0, x e^-x, 0)
//   b = (0, 0, 1, 0):  y = (-x e^-x, 0, (1 - x) e^-x, 0)
//   SH b = (b5, b6):   y = ((b5 + b6/(k mu)) e^-x, 0)
void expect_half_space(double zs, const std::vector<double>& cuts, double tol) {
  const ComputationalLayers cl = cut_layers(kHomogeneous, zs, 0.0, cuts);
  for (double x : {0.0, 0.01, 0.7, 3.0, 15.0}) {
    if ((x == 0.0) != (zs == 0.0)) continue;
    const double k = zs == 0.0 ? 1e-3 : x / zs;
    const double e = std::exp(-x);
    const double b6 = 0.37 * k * mu0;
    const Result r1 = run(kHomogeneous, cl, jump(1, 0, 0, 0, 1, b6), k);
    const Result r3 = run(kHomogeneous, cl, jump(0, 0, 1, 0, 0, 0), k);
    const std::string what = "zs " + std::to_string(zs) + " kzs " + std::to_string(x);
    EXPECT_NEAR(r1.y[1], (1 + x) * e, tol * (1 + x) * e) << what;
    EXPECT_NEAR(r1.y[3], x * e, tol * (1 + x) * e) << what;
    EXPECT_NEAR(r3.y[1], -x * e, tol * (1 + x) * e) << what;
    EXPECT_NEAR(r3.y[3], (1 - x) * e, tol * (1 + x) * e) << what;
    EXPECT_NEAR(r1.y[5], 1.37 * e, tol * e) << what;
    for (const Result* r : {&r1, &r3}) {
      EXPECT_EQ(r->y[2], 0.0) << what;
      EXPECT_EQ(r->y[4], 0.0) << what;
      EXPECT_EQ(r->y[6], 0.0) << what;
      EXPECT_EQ(r->log, "");
    }
  }
}

TEST(HalfSpace, SourceInsideTheTableRows) {
  expect_half_space(2600.0, {}, 1e-12);
}

TEST(HalfSpace, SourceInTheHalfSpace) {
  const ComputationalLayers cl = cut_layers(kHomogeneous, 4000.0, 0.0);
  ASSERT_EQ(cl.ls, cl.nl);
  expect_half_space(4000.0, {}, 1e-12);
  expect_half_space(5200.0, {}, 1e-12);
}

TEST(HalfSpace, SourceAtTheSurface) {
  expect_half_space(0.0, {300.0, 2000.0}, 1e-12);
}

TEST(HalfSpace, AnyCuttingGivesTheSameResponse) {
  expect_half_space(2600.0, {1.0, 700.0, 2599.0, 3100.0, 5200.0, 9000.0}, 1e-12);
  expect_half_space(4000.0, {10.0, 20.0, 30.0, 3999.9, 4000.1}, 1e-12);
}

TEST(HalfSpace, ThinPiecesTakeThePropagatorStep) {
  // With k zs up to 15 the pieces of 0.05 m and 0.1 m keep k h <= 0.001 only for the smaller
  // wavenumbers; both kinds of step meet here.
  expect_half_space(2600.0, {2599.95, 2600.1, 1000.0, 1000.0001}, 1e-12);
  const double zs = 3000.0;
  for (double kh : {0.001, 0.0005}) {
    const double k = 0.7 / zs, h = kh / k;
    const ComputationalLayers cl = cut_layers(kHomogeneous, zs, 0.0, {zs - h});
    const Result r = run(kHomogeneous, cl, jump(1, 0, 0, 0, 1, 0), k);
    const double e = std::exp(-0.7);
    EXPECT_NEAR(r.y[1], 1.7 * e, 1e-12 * e);
    EXPECT_NEAR(r.y[3], 0.7 * e, 1e-12 * e);
    EXPECT_EQ(r.y[2], 0.0);
    EXPECT_NEAR(r.y[5], e, 1e-12 * e);
  }
}

TEST(HalfSpace, ThinAndThickStepsMeetAtTheThreshold) {
  // A piece with k h exactly 0.001 (propagator) and one just above (layer solutions).
  const double zs = 3000.0, k = 0.002;
  const double e = std::exp(-k * zs);
  for (double h : {0.5, 0.5 * (1 + 1e-9)}) {
    const ComputationalLayers cl = cut_layers(kHomogeneous, zs, 0.0, {zs - h, zs + h});
    const Result r = run(kHomogeneous, cl, jump(0, 0, 1, 0, 1, 0), k);
    const double x = k * zs;
    EXPECT_NEAR(r.y[1], -x * e, 1e-9 * x * e) << h;
    EXPECT_NEAR(r.y[3], (1 - x) * e, 1e-9 * x * e) << h;
    EXPECT_NEAR(r.y[5], e, 1e-12 * e) << h;
  }
}

// Three layers over a half-space with strong contrasts (also used by the layered checks).
const LayerTable kLayered = make_table({{2000, 1800, 600, 1900},
                                        {5000, 6500, 3750, 2950},
                                        {3000, 3000, 1300, 2100},
                                        {0, 8200, 4700, 3350}});

TEST(Window, ObservationAboveTheWindowGivesZero) {
  // exp(-k * 6000) is far below eps: the window starts below the surface.
  const ComputationalLayers cl = cut_layers(kLayered, 6000.0, 0.0, {3000.0, 5000.0});
  const Result r = run(kLayered, cl, jump(1, 1, 1, 1, 1, 1), 0.01);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(r.y[i], 0.0) << i;
  EXPECT_EQ(r.log, "");
  // At a larger distance ratio the same observation depth is inside and the result is not 0.
  const Result inside = run(kLayered, cl, jump(1, 1, 1, 1, 1, 1), 0.002);
  EXPECT_NE(inside.y[1], 0.0);
  EXPECT_NE(inside.y[5], 0.0);
}

TEST(Window, ObservationBelowTheWindowGivesZero) {
  const ComputationalLayers cl = cut_layers(kLayered, 1000.0, 9500.0, {3000.0, 5000.0});
  const Result r = run(kLayered, cl, jump(1, 1, 1, 1, 1, 1), 0.01);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(r.y[i], 0.0) << i;
  EXPECT_EQ(r.log, "");
}

TEST(Window, NearestLayerAboveStandsInForEverythingAbove) {
  // exp(-k hl(ls - 1)) <= eps: the window starts at the source, and the upward-decaying solutions
  // of the layer above replace it. The neglected boundaries are so far that the field at the
  // source matches the full solution.
  const double zs = 6000.0, k = 0.01;
  const ComputationalLayers cl = cut_layers(kLayered, zs, zs);
  ASSERT_GE(k * cl.hl[cl.ls - 1], 18.5);
  const double g = 2 * kLayered.ro[2] * kLayered.vs[2] * kLayered.vs[2] * k;
  const Result r = run(kLayered, cl, jump(0.3, -0.2 * g, 1, 0.5 * g, 1, 0.4 * g), k);
  const auto ref = reference_psv(kLayered, cl, k, {0.3, -0.2 * g, 1, 0.5 * g});
  const auto refsh = reference_sh(kLayered, cl, k, {1, 0.4 * g});
  for (int i = 1; i <= 4; ++i) {
    const double scale = (i % 2 == 1) ? 1.0 : g;
    EXPECT_NEAR(r.y[i], ref[i - 1], 1e-12 * scale) << i;
  }
  EXPECT_NEAR(r.y[5], refsh[0], 1e-12);
  EXPECT_NEAR(r.y[6], refsh[1], 1e-12 * g);
}

TEST(Bottom, FluidLikeLayerHasFreeShearAtItsTop) {
  // vs just below 0.001 vp: the bottom starts stress-free; at exactly 0.001 vp it decays.
  for (double vs : {0.999, 1.0}) {
    const LayerTable lt = make_table({{1000, 2000, 1000, 2000}, {0, 1000, vs, 1000}});
    const bool fluid = vs < 1.0;
    for (double zrec : {0.0, 400.0, 1000.0}) {
      const ComputationalLayers cl = cut_layers(lt, 400.0, zrec);
      const double k = 1.5e-3;
      const double g = 2 * 2000 * 1000.0 * 1000.0 * k;
      const Result r = run(lt, cl, jump(1, 0.3 * g, -0.5, 0.1 * g, 1, 0.2 * g), k, 1e-300);
      const auto ref = reference_psv(lt, cl, k, {1, 0.3 * g, -0.5, 0.1 * g}, fluid);
      const auto other = reference_psv(lt, cl, k, {1, 0.3 * g, -0.5, 0.1 * g}, !fluid);
      const auto refsh = reference_sh(lt, cl, k, {1, 0.2 * g}, fluid);
      for (int i = 1; i <= 4; ++i) {
        const double scale = (i % 2 == 1) ? 1.0 : g;
        EXPECT_NEAR(r.y[i], ref[i - 1], 1e-11 * scale) << vs << " " << zrec << " " << i;
      }
      // A nearly fluid half-space is nearly stress-free, so the two bottom conditions differ only
      // slightly; the tolerance above still tells them apart.
      EXPECT_GT(std::fabs(ref[0] - other[0]) + std::fabs(ref[2] - other[2]), 1e-7);
      EXPECT_NEAR(r.y[5], refsh[0], 1e-11);
      EXPECT_NEAR(r.y[6], refsh[1], 1e-11 * g);
    }
  }
}

TEST(Bottom, FluidHalfSpaceWithSurfaceSourceWarnsAndGivesZero) {
  // Free surface above and stress-free bottom at the same depth: the stress rows of the source
  // system are exactly zero.
  const LayerTable lt = make_table({{0, 1500, 0.5, 1000}});
  const ComputationalLayers cl = cut_layers(lt, 0.0, 0.0);
  const Result r = run(lt, cl, jump(1, 1, 1, 1, 1, 1), 1e-3);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(r.y[i], 0.0) << i;
  EXPECT_EQ(r.log,
            " warning in krvpsv: anormal exit from cgemp!\n"
            " warning in krvsh: anormal exit from cgemp!\n");
}

TEST(Source, ObservationAtTheSourceIsTheFieldJustAbove) {
  // Field above minus field below equals the jump: the result and the result for the observation
  // depth an infinitesimal step below differ by b.
  const double zs = 6000.0, k = 4e-4;
  const ComputationalLayers at = cut_layers(kLayered, zs, zs);
  const ComputationalLayers below = cut_layers(kLayered, zs, zs + 1e-6);
  const double g = 2 * kLayered.ro[2] * kLayered.vs[2] * kLayered.vs[2] * k;
  const SourceTerms src = jump(0.2, 0.7 * g, -1, 0.4 * g, 1, 0.6 * g);
  const Result ra = run(kLayered, at, src, k);
  const Result rb = run(kLayered, below, src, k);
  for (int i = 1; i <= 6; ++i) {
    const double scale = (i % 2 == 1) ? 1.0 : g;
    EXPECT_NEAR(ra.y[i] - rb.y[i], src.sjump[i], 1e-8 * scale) << i;
  }
}

}  // namespace
}  // namespace kirva
