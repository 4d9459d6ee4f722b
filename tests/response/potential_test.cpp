// The change of potential and gravity that the deformation makes at the observation depth,
// against quadrature of the independent solution of fixtures.cpp (the dilatation of every row,
// the sheets of the density steps, of the surface and of the source's opening), and against the
// explosion in a half-space, which as seen from above the surface moves no mass (Walsh and Rice,
// J. Geophys. Res. 84, 165-170, 1979).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "fixtures.h"
#include "response/response.h"
#include "response/source.h"

namespace kirva {
namespace {

using namespace testing;  // the layered models and the independent solution of fixtures.h

constexpr double kG = 6.67430e-11;
constexpr double kPi = 3.14159265358979323846;

TEST(Potential, TheMassTheDeformationMovesAgainstQuadrature) {
  const LayerTable lt = make_table({{2000, 1800, 600, 1900},
                                    {5000, 6500, 3750, 2950},
                                    {3000, 3000, 1300, 2100},
                                    {0, 8200, 4700, 3350}});
  const auto rows = row_table(lt);
  const std::vector<double> steps{2000, 7000, 10000};  // the density steps below the surface
  for (const double zs : {3000.0, 8500.0}) {
    for (const double z0 : {0.0, 1500.0, 5000.0, 9000.0}) {
      for (const double k : {2e-5, 3e-4, 1.5e-3}) {
        const double g = 2 * lt.ro[2] * lt.vs[2] * lt.vs[2] * k;
        for (const std::array<double, 4>& b :
             {std::array<double, 4>{1, 0, 0, 0},
              std::array<double, 4>{0.4, -0.6 * g, -1.3, 0.9 * g}}) {
          const ComputationalLayers cl = cut_layers(lt, zs, z0);
          const SourceTerms src = jump(b[0], b[1], b[2], b[3], 0, 0);
          WarningLog log;
          const KernelContext ctx{lt, *rows, cl, src, log};
          std::array<double, 7> y{};
          double pot[2];
          krvpsv_potential(y, pot, k, 1e-300, ctx);
          // The solution at depth z (just above the source at zs), and the row there.
          const auto field = [&](double z, int& row) {
            const ComputationalLayers c = cut_layers(lt, zs, z);
            row = c.lay[c.lzrec];
            return reference_psv(lt, c, k, b);
          };
          double phi = 0, grav = 0, scale = 0;
          const auto add = [&](double z, double sigma_dz) {
            const double f = 2 * kPi * kG / k * sigma_dz * std::exp(-k * std::fabs(z0 - z));
            phi += f;
            grav += (z >= z0 ? k : -k) * f;
            scale += std::fabs(f);
          };
          int row = 0;
          add(0.0, -lt.ro[1] * field(0.0, row)[0]);
          for (int l = 0; l < 3; ++l) {
            const double uz = field(steps[l], row)[0];
            add(steps[l], -(lt.ro[l + 2] - lt.ro[l + 1]) * uz);
          }
          add(zs, lt.ro[zs < 7000 ? 2 : 3] * b[0]);
          // The dilatation, 8 Gauss points on pieces of at most 1/k between the boundaries.
          std::vector<double> cuts{0, 2000, 7000, 10000, zs, z0};
          std::sort(cuts.begin(), cuts.end());
          cuts.push_back(10000 + 40 / k);
          const double xg[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                                0.9602898564975363};
          const double wg[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                                0.1012285362903763};
          for (std::size_t s = 0; s + 1 < cuts.size(); ++s) {
            const double a = cuts[s], c = cuts[s + 1];
            const int n = std::max(1, static_cast<int>(std::ceil((c - a) * k)));
            for (int p = 0; p < n; ++p) {
              const double lo = a + (c - a) * p / n, hi = a + (c - a) * (p + 1) / n;
              for (int q = 0; q < 8; ++q) {
                const double z = 0.5 * (lo + hi) + 0.5 * (hi - lo) * (q < 4 ? -xg[q] : xg[q - 4]);
                const auto v = field(z, row);
                const double mu = lt.ro[row] * lt.vs[row] * lt.vs[row];
                const double m = lt.ro[row] * lt.vp[row] * lt.vp[row];  // lambda + 2 mu
                const double dilatation = (v[1] - 2 * mu * k * v[2]) / m;
                add(z, -lt.ro[row] * dilatation * 0.5 * (hi - lo) * wg[q % 4]);
              }
            }
          }
          EXPECT_NEAR(pot[0], phi, 1e-7 * scale) << zs << " " << z0 << " " << k;
          EXPECT_NEAR(pot[1], grav, 1e-7 * k * scale) << zs << " " << z0 << " " << k;
        }
      }
    }
  }
}

TEST(Potential, AnExplosionInAHalfSpaceMovesNoMassSeenFromAbove) {
  const LayerTable lt = make_table({{0, 6000, 3464, 2700}});
  const auto rows = row_table(lt);
  for (const double zs : {1000.0, 10000.0}) {
    const ComputationalLayers cl = cut_layers(lt, zs, 0.0);
    const double mu = lt.ro[1] * lt.vs[1] * lt.vs[1];
    SourceTerms src;
    krvmoment(4, mu, lt.ro[1], lt.vp[1], lt.vs[1], src);
    for (const double k : {1e-6, 1e-5, 1e-4, 1e-3}) {
      WarningLog log;
      const KernelContext ctx{lt, *rows, cl, src, log};
      std::array<double, 7> y{};
      double pot[2];
      krvpsv_potential(y, pot, k, 1e-300, ctx);
      // Against the surface sheet alone, 2 pi G rho uz.
      const double sheet = 2 * kPi * kG * lt.ro[1] * std::fabs(y[1]);
      EXPECT_LT(std::fabs(pot[1]), 1e-9 * sheet) << zs << " " << k;
      EXPECT_LT(std::fabs(pot[0]), 1e-9 * sheet / k) << zs << " " << k;
    }
  }
}

}  // namespace
}  // namespace kirva
