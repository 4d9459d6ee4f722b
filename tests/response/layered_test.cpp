// Layered media against an independent solution: one global linear system for the coefficients
// of all layers (fixtures.cpp), no propagation, no recombination, no depth window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fixtures.h"
#include "response/response.h"
#include "response/source.h"

namespace kirva {
namespace {

using testing::cut_layers;
using testing::jump;
using testing::make_table;
using testing::reference_psv;
using testing::reference_sh;
using testing::row_table;

// Strong contrasts: a soft top layer, a stiff layer, a low-velocity layer, a stiff half-space.
// Interfaces at 0, 2000, 7000 and 10000 m.
const LayerTable kModel = make_table({{2000, 1800, 600, 1900},
                                      {5000, 6500, 3750, 2950},
                                      {3000, 3000, 1300, 2100},
                                      {0, 8200, 4700, 3350}});

double shear(const LayerTable& lt, int r) {
  return lt.ro[r] * lt.vs[r] * lt.vs[r];
}

// Largest relative deviation: displacements against the larger displacement, stresses against
// the larger stress (or 2 mu k times the displacement scale when both stresses vanish).
template <std::size_t N>
double deviation(const double* y, const std::array<double, N>& ref, double g) {
  double sd = 0.0, ss = 0.0;
  for (std::size_t i = 0; i < N; i += 2) sd = std::max(sd, std::fabs(ref[i]));
  for (std::size_t i = 1; i < N; i += 2) ss = std::max(ss, std::fabs(ref[i]));
  ss = std::max(ss, g * sd);
  double dev = 0.0;
  for (std::size_t i = 0; i < N; ++i) {
    const double scale = (i % 2 == 0) ? sd : ss;
    dev = std::max(dev, std::fabs(y[i] - ref[i]) / scale);
  }
  return dev;
}

struct Case {
  double zs;
  std::vector<double> zrec;
};

void check_model(const LayerTable& lt, const std::vector<Case>& cases,
                 const std::vector<double>& extra, double tol) {
  double worst = 0.0;
  int count = 0;
  const auto rows = row_table(lt);
  for (const Case& c : cases) {
    for (double zrec : c.zrec) {
      const ComputationalLayers cl = cut_layers(lt, c.zs, zrec, extra);
      const int rs = cl.lay[cl.ls];
      for (double k : {1e-7, 2e-6, 3e-5, 4e-4, 1.5e-3, 6e-3}) {
        const double g = 2 * shear(lt, rs) * k;
        const double gmin = 2 * shear(lt, 1) * k;  // softest row: floor of the stress scale
        // Unit jumps of each component (stresses in units of 2 mu k) and one mixture.
        const std::array<std::array<double, 6>, 5> jumps = {{{1, 0, 0, 0, 1, 0},
                                                             {0, g, 0, 0, 0, g},
                                                             {0, 0, 1, 0, 0.3, -0.8 * g},
                                                             {0, 0, 0, g, 0, 0},
                                                             {0.4, -0.6 * g, -1.3, 0.9 * g, 0, 0}}};
        for (const auto& b : jumps) {
          WarningLog log;
          const SourceTerms src = jump(b[0], b[1], b[2], b[3], b[4], b[5]);
          const KernelContext ctx{lt, *rows, cl, src, log};
          std::array<double, 7> y{};
          krvpsv(y, k, 1e-300, ctx);
          krvsh(y, k, 1e-300, ctx);
          ASSERT_EQ(log.text, "");
          const auto ref = reference_psv(lt, cl, k, {b[0], b[1], b[2], b[3]});
          const double dev = deviation(&y[1], ref, gmin);
          worst = std::max(worst, dev);
          ++count;
          EXPECT_LT(dev, tol) << "P-SV zs " << c.zs << " zrec " << zrec << " k " << k;
          if (b[4] != 0.0 || b[5] != 0.0) {
            const auto refsh = reference_sh(lt, cl, k, {b[4], b[5]});
            const double devsh = deviation(&y[5], refsh, gmin / 2);
            worst = std::max(worst, devsh);
            EXPECT_LT(devsh, tol) << "SH zs " << c.zs << " zrec " << zrec << " k " << k;
          }
        }
      }
    }
  }
  ::testing::Test::RecordProperty("worst_relative_deviation", std::to_string(worst));
  std::printf("    %d cases, worst relative deviation %.2e\n", count, worst);
}

const std::vector<Case> kCases = {
    {6000.0, {0.0, 900.0, 2000.0, 4500.0, 6000.0, 6500.0, 7000.0, 8000.0, 10000.0, 14000.0}},
    {1200.0, {0.0, 1200.0, 1700.0, 2000.0, 9000.0}},
    {7000.0, {2000.0, 7000.0, 7500.0}},                   // source on an interface
    {0.0, {0.0, 1500.0, 7000.0}},                         // source at the surface
    {12000.0, {0.0, 9000.0, 10000.0, 12000.0, 12500.0}},  // source in the half-space
};

TEST(Layered, AgreesWithGlobalSystem) {
  check_model(kModel, kCases, {}, 1e-9);
}

TEST(Layered, AgreesWithGlobalSystemWhenLayersAreCutFurther) {
  // Extra interfaces, some of them making thin pieces at the larger wavenumbers too.
  check_model(kModel, kCases, {500.0, 3000.0, 3000.05, 6999.9, 9999.99, 11000.0}, 1e-9);
}

TEST(Layered, ProgramCutOffMatchesAtTheSource) {
  const auto rows = row_table(kModel);
  // With the program's eps the window is cut at large k. The boundaries left out lie more than
  // ln(1/eps)/k from the source, so the field at the source depth keeps the full accuracy; the
  // layers kept (the soft layer 100 m above the source at 2100 m) still count fully.
  for (double zs : {2100.0, 6000.0}) {
    for (double k : {3e-3, 6e-3, 1e-2, 2e-2}) {
      const ComputationalLayers cl = cut_layers(kModel, zs, zs, {5990.0, 6200.0, 6800.0});
      WarningLog log;
      const double g = 2 * shear(kModel, 2) * k;
      const SourceTerms src = jump(1, 0.2 * g, 0.5, -0.7 * g, 1, 0.3 * g);
      const KernelContext ctx{kModel, *rows, cl, src, log};
      std::array<double, 7> y{};
      krvpsv(y, k, 1e-8, ctx);
      krvsh(y, k, 1e-8, ctx);
      const auto ref = reference_psv(kModel, cl, k, {1, 0.2 * g, 0.5, -0.7 * g});
      const auto refsh = reference_sh(kModel, cl, k, {1, 0.3 * g});
      EXPECT_LT(deviation(&y[1], ref, g), 1e-9) << zs << " " << k;
      EXPECT_LT(deviation(&y[5], refsh, g / 2), 1e-9) << zs << " " << k;
    }
  }
}

TEST(Layered, WavenumberFactorOfTheJumps) {
  // Strike-slip, CLVD and explosion jumps carry k on their stress entries.
  const double zs = 6000.0, k = 7e-4;
  const double ro = kModel.ro[2], vp = kModel.vp[2], vs = kModel.vs[2], mu = ro * vs * vs;
  const auto rows = row_table(kModel);
  for (int type : {1, 2, 3, 4}) {
    for (double zrec : {0.0, 6000.0, 8000.0}) {
      const ComputationalLayers cl = cut_layers(kModel, zs, zrec);
      SourceTerms src;
      krvmoment(type, mu, ro, vp, vs, src);
      std::array<double, 4> b{};
      std::array<double, 2> bsh{};
      for (int i = 1; i <= 6; ++i) {
        const double v = src.sjump[i] * (src.kmul[i] == 1 ? k : 1.0);
        if (i <= 4)
          b[i - 1] = v;
        else
          bsh[i - 5] = v;
      }
      WarningLog log;
      const KernelContext ctx{kModel, *rows, cl, src, log};
      std::array<double, 7> y{};
      krvpsv(y, k, 1e-8, ctx);
      krvsh(y, k, 1e-8, ctx);
      const double g = 2 * shear(kModel, 1) * k;
      EXPECT_LT(deviation(&y[1], reference_psv(kModel, cl, k, b), g), 1e-9) << type << " " << zrec;
      if (type <= 2) {  // the CLVD and the explosion have no SH part
        EXPECT_LT(deviation(&y[5], reference_sh(kModel, cl, k, bsh), g / 2), 1e-9) << type;
      }
    }
  }
}

}  // namespace
}  // namespace kirva
