// Checks of the closed-form half-space reference: against direct quadrature over wavenumber,
// against Okada's (1985) point-source surface displacements (signs and normalisation), and against
// the far-field behaviour of a strike-slip source.
#include "integration/halfspace_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace kirva::testref {
namespace {

constexpr double pi = std::numbers::pi;
using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;

const Halfspace poisson_quarter{1.0, 1.0};         // lambda = mu
const Halfspace poisson_03{1.5 * 3.0e10, 3.0e10};  // nu = 0.3, crustal mu
const std::array<Halfspace, 2> media{poisson_quarter, poisson_03};

std::vector<double> distances(double zs, double from, double to, int n) {
  std::vector<double> r(n);
  for (int i = 0; i < n; ++i) r[i] = zs * from * std::pow(to / from, double(i) / (n - 1));
  return r;
}

// ---- Okada (1985), surface displacement of a buried point source, unit potency
// ------------------- His frame: x along strike, y horizontal to the left of strike, z up; source
// at depth d below the origin; the fault dips toward -y; slip is that of the hanging wall relative
// to the foot wall. type 1: strike-slip, 2: dip-slip (up-dip, a thrust).
Vec okada(int type, double x, double y, double d, double dip, const Halfspace& hs) {
  const double sd = std::sin(dip), cd = std::cos(dip);
  const double R = std::sqrt(x * x + y * y + d * d), R3 = R * R * R, R5 = R3 * R * R;
  const double Rd = R + d;
  const double p = y * cd + d * sd, q = y * sd - d * cd;
  const double c = hs.mu / (hs.lambda + hs.mu);
  const double I1 = c * y * (1.0 / (R * Rd * Rd) - x * x * (3.0 * R + d) / (R3 * Rd * Rd * Rd));
  const double I2 = c * x * (1.0 / (R * Rd * Rd) - y * y * (3.0 * R + d) / (R3 * Rd * Rd * Rd));
  const double I3 = c * x / R3 - I2;
  const double I4 = c * (-x * y * (2.0 * R + d) / (R3 * Rd * Rd));
  const double I5 = c * (1.0 / (R * Rd) - x * x * (2.0 * R + d) / (R3 * Rd * Rd));
  const double f = -1.0 / (2.0 * pi);
  if (type == 1)
    return {f * (3.0 * x * x * q / R5 + I1 * sd), f * (3.0 * x * y * q / R5 + I2 * sd),
            f * (3.0 * x * d * q / R5 + I4 * sd)};
  return {f * (3.0 * x * p * q / R5 - I3 * sd * cd), f * (3.0 * y * p * q / R5 - I1 * sd * cd),
          f * (3.0 * d * p * q / R5 - I5 * sd * cd)};
}

// A fault of strike `strike` (clockwise from north) and dip `dip`, in the tables' frame
// (x north, y east, z down).
struct Fault {
  Vec along, left, up;  // Okada's axes
  double dip;
  Fault(double strike, double dip_)
      : along{std::cos(strike), std::sin(strike), 0.0},
        left{std::sin(strike), -std::cos(strike), 0.0},
        up{0.0, 0.0, -1.0},
        dip(dip_) {}
  // Okada's displacement at (north, east), turned into the tables' frame.
  Vec displacement(int type, double north, double east, double d, const Halfspace& hs) const {
    const double xo = north * along[0] + east * along[1], yo = north * left[0] + east * left[1];
    const Vec u = okada(type, xo, yo, d, dip, hs);
    Vec v{};
    for (int i = 0; i < 3; ++i) v[i] = u[0] * along[i] + u[1] * left[i] + u[2] * up[i];
    return v;
  }
  // Moment tensor of unit potency: mu (n s + s n), n the normal into the hanging wall, s the slip.
  Mat moment(int type, const Halfspace& hs) const {
    Vec n{}, s{};
    for (int i = 0; i < 3; ++i) {
      n[i] = -std::sin(dip) * left[i] + std::cos(dip) * up[i];
      s[i] = type == 1 ? along[i] : std::cos(dip) * left[i] + std::sin(dip) * up[i];
    }
    Mat m{};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] = hs.mu * (n[i] * s[j] + s[i] * n[j]);
    return m;
  }
};

// ---- Moment-tensor synthesis from the three source types -------------------------------------
struct Field {
  Vec u;                             // north, east, down
  double err, ett, ert, duzdr, ezz;  // at the receiver's azimuth
};

Field synthesise(const Mat& m, double zs, double north, double east, const Halfspace& hs) {
  const double r = std::hypot(north, east), phi = std::atan2(east, north), mu = hs.mu;
  const auto g1 = surface_green(1, zs, r, hs), g2 = surface_green(2, zs, r, hs),
             g3 = surface_green(3, zs, r, hs);
  const double c1 =
      (m[0][1] * std::sin(2 * phi) + 0.5 * (m[0][0] - m[1][1]) * std::cos(2 * phi)) / mu;
  const double c2 = (m[0][2] * std::cos(phi) + m[1][2] * std::sin(phi)) / mu;
  const double c3 = 2.0 / 3.0 * (m[2][2] - 0.5 * (m[0][0] + m[1][1])) / mu;
  const double s1 =
      (m[0][1] * std::cos(2 * phi) - 0.5 * (m[0][0] - m[1][1]) * std::sin(2 * phi)) / mu;
  const double s2 = (m[0][2] * std::sin(phi) - m[1][2] * std::cos(phi)) / mu;
  auto psv = [&](int c) { return c1 * g1[c] + c2 * g2[c] + c3 * g3[c]; };
  auto sh = [&](int c) { return s1 * g1[c] + s2 * g2[c]; };
  const double urv = psv(ur), utv = sh(ut);
  return {{urv * std::cos(phi) - utv * std::sin(phi), urv * std::sin(phi) + utv * std::cos(phi),
           psv(uz)},
          psv(err),
          psv(ett),
          sh(ert),
          psv(duzdr),
          psv(ezz)};
}

double peak(const std::vector<std::array<double, 10>>& g, int c) {
  double p = 0.0;
  for (const auto& v : g) p = std::max(p, std::abs(v[c]));
  return p;
}

// ---- Tests --------------------------------------------------------------------------------------

TEST(HalfspaceReference, LipschitzIntegralsHaveTheirKnownForms) {
  const double r = 3.0, z = 4.0, R = 5.0;
  EXPECT_NEAR(lipschitz(0, 0, r, z), 1.0 / R, 1e-15);
  EXPECT_NEAR(lipschitz(1, 0, r, z), z / (R * R * R), 1e-15);
  EXPECT_NEAR(lipschitz(0, 1, r, z), (R - z) / (r * R), 1e-15);
  EXPECT_NEAR(lipschitz(1, 1, r, z), r / (R * R * R), 1e-15);
  EXPECT_NEAR(lipschitz(2, 0, r, z), (2 * z * z - r * r) / std::pow(R, 5), 1e-15);
  EXPECT_NEAR(lipschitz(1, -1, r, z), -lipschitz(1, 1, r, z), 1e-16);
  EXPECT_NEAR(lipschitz(1, -2, r, z), lipschitz(1, 2, r, z), 1e-16);
  // Toward the surface the integrals become int k^m J_nu(kr) dk: 2/r^2 and 3/r^3 for J_2.
  EXPECT_NEAR(lipschitz(1, 2, 1.0, 1e-9), 2.0, 1e-7);
  EXPECT_NEAR(lipschitz(2, 2, 1.0, 1e-9), 3.0, 1e-7);
  // And at the epicentre only order 0 survives.
  EXPECT_DOUBLE_EQ(lipschitz(3, 2, 0.0, 2.0), 0.0);
  EXPECT_NEAR(lipschitz(3, 0, 0.0, 2.0), 6.0 / 16.0, 1e-15);
}

TEST(HalfspaceReference, ClosedFormsAgreeWithQuadratureOverWavenumber) {
  const double zs = 10.0e3;
  const auto rs = distances(zs, 0.02, 20.0, 21);
  for (const auto& hs : media) {
    for (int type = 1; type <= 4; ++type) {
      std::vector<std::array<double, 10>> closed, quad;
      for (double r : rs) {
        closed.push_back(surface_green(type, zs, r, hs));
        quad.push_back(surface_green_quadrature(type, zs, r, hs));
      }
      for (int c = 0; c < 10; ++c) {
        // Components that vanish at the surface (ezr, etz; ut of a dip-slip source; the SH part of
        // the CLVD and of the explosion) are compared against the size of their kind,
        // displacement or strain.
        const double kind = c <= ut ? peak(closed, ur) : peak(closed, err);
        const double p = peak(closed, c);
        if (p < 1e-12 * kind) {
          EXPECT_LT(peak(quad, c), 1e-12 * kind) << "type " << type << " component " << c;
          continue;
        }
        for (std::size_t i = 0; i < rs.size(); ++i)
          EXPECT_NEAR(closed[i][c], quad[i][c], 1e-10 * p)
              << "type " << type << " component " << c << " r/zs " << rs[i] / zs;
      }
    }
  }
}

TEST(HalfspaceReference, ComponentsThatTheFreeSurfaceOrTheSymmetryForbidVanish) {
  for (const auto& hs : media) {
    for (double r : {0.1, 1.0, 3.0, 30.0}) {
      for (int type = 1; type <= 4; ++type) {
        const auto g = surface_green(type, 5.0, r, hs);
        EXPECT_EQ(g[ezr], 0.0);
        EXPECT_EQ(g[etz], 0.0);
        EXPECT_NE(g[uz], 0.0);
        EXPECT_NE(g[ur], 0.0);
        EXPECT_NE(g[err], 0.0);
        if (type == 1) {
          EXPECT_NE(g[ut], 0.0);
        }
        // A vertical dip-slip source moves the free surface straight away from (or toward) the
        // epicentre: no transverse displacement, yet a shear strain from the azimuthal change of
        // ur.
        if (type == 2) {
          EXPECT_LT(std::abs(g[ut]), 1e-12 * std::abs(g[ur]));
        }
        if (type <= 2) {
          EXPECT_NE(g[ert], 0.0);
        } else {  // the CLVD and the explosion
          EXPECT_EQ(g[ut], 0.0);
          EXPECT_EQ(g[ert], 0.0);
          EXPECT_DOUBLE_EQ(g[ett], g[ur] / r);
        }
      }
    }
  }
}

TEST(HalfspaceReference, SynthesisReproducesOkadasTable2Case1) {
  // Receiver at Okada's (x, y) = (2, 3), source at depth 4, dip 70 degrees, lambda = mu, strike
  // along north; his z is up, so (x, y, z) are (north, west, up) here.
  const Fault f(0.0, 70.0 * pi / 180.0);
  const double north = 2.0, east = -3.0, d = 4.0;
  const std::array<Vec, 2> published{Vec{-9.447e-4, -1.023e-3, -7.420e-4},
                                     Vec{-1.172e-3, -2.082e-3, -2.532e-3}};
  for (int type = 1; type <= 2; ++type) {
    const Vec& o = published[type - 1];
    const Vec ours{o[0], -o[1], -o[2]};
    const Field s = synthesise(f.moment(type, poisson_quarter), d, north, east, poisson_quarter);
    const Vec ok = f.displacement(type, north, east, d, poisson_quarter);
    for (int i = 0; i < 3; ++i) {
      // The table prints four significant digits.
      EXPECT_NEAR(s.u[i], ours[i], 5.01e-4 * std::abs(ours[i])) << "type " << type << " i " << i;
      EXPECT_NEAR(ok[i], ours[i], 5.01e-4 * std::abs(ours[i])) << "type " << type << " i " << i;
    }
  }
}

TEST(HalfspaceReference, SynthesisMatchesOkadaForAnyFaultAndReceiver) {
  const double d = 7.0;
  for (const auto& hs : media) {
    for (double strike : {0.0, 0.5, 2.4}) {
      for (double dipdeg : {90.0, 70.0, 45.0, 15.0}) {
        const Fault f(strike, dipdeg * pi / 180.0);
        for (int type = 1; type <= 2; ++type) {
          const Mat m = f.moment(type, hs);
          double umax = 0.0, emax = 0.0, udiff = 0.0, ediff = 0.0;
          for (double rr : {0.5, 2.0, 7.0, 15.0, 60.0}) {
            for (int ia = 0; ia < 12; ++ia) {
              const double phi = (ia + 0.3) * pi / 6.0;
              const double n0 = rr * std::cos(phi), e0 = rr * std::sin(phi);
              const Field s = synthesise(m, d, n0, e0, hs);
              const Vec u = f.displacement(type, n0, e0, d, hs);
              // Horizontal gradient of Okada's displacement by central differences.
              const double h = 1e-5 * rr;
              const Vec un = f.displacement(type, n0 + h, e0, d, hs),
                        us = f.displacement(type, n0 - h, e0, d, hs),
                        ue = f.displacement(type, n0, e0 + h, d, hs),
                        uw = f.displacement(type, n0, e0 - h, d, hs);
              double grad[3][2];  // grad[i][j] = d u_i / d x_j, x_j = north, east
              for (int i = 0; i < 3; ++i) {
                grad[i][0] = (un[i] - us[i]) / (2 * h);
                grad[i][1] = (ue[i] - uw[i]) / (2 * h);
              }
              const double er[2] = {std::cos(phi), std::sin(phi)}, et[2] = {-er[1], er[0]};
              auto strain = [&](const double* a, const double* b) {
                double v = 0.0;
                for (int i = 0; i < 2; ++i)
                  for (int j = 0; j < 2; ++j) v += a[i] * 0.5 * (grad[i][j] + grad[j][i]) * b[j];
                return v;
              };
              const double fd[4] = {strain(er, er), strain(et, et), strain(er, et),
                                    grad[2][0] * er[0] + grad[2][1] * er[1]};
              const double ref[4] = {s.err, s.ett, s.ert, s.duzdr};
              for (int i = 0; i < 3; ++i) {
                umax = std::max(umax, std::abs(u[i]));
                udiff = std::max(udiff, std::abs(u[i] - s.u[i]));
              }
              for (int i = 0; i < 4; ++i) {
                emax = std::max(emax, std::abs(fd[i]));
                ediff = std::max(ediff, std::abs(fd[i] - ref[i]));
              }
            }
          }
          EXPECT_LT(udiff, 1e-12 * umax)
              << "strike " << strike << " dip " << dipdeg << " type " << type;
          EXPECT_LT(ediff, 1e-8 * emax)
              << "strike " << strike << " dip " << dipdeg << " type " << type;
        }
      }
    }
  }
}

TEST(HalfspaceReference, VerticalTensionDipoleIsTwoCrossedThrustsAt45Degrees) {
  // mu diag(-1/2, -1/2, 1) = (thrust striking north + thrust striking east, both dipping 45) / 2,
  // so the CLVD alone is checked against Okada, uplift above the source included.
  const auto& hs = poisson_03;
  const Fault fn(0.0, pi / 4), fe(pi / 2, pi / 4);
  const double d = 3.0;
  const Mat mn = fn.moment(2, hs), me = fe.moment(2, hs);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double clvd = (i == j ? (i == 2 ? 1.0 : -0.5) : 0.0) * hs.mu;
      ASSERT_NEAR(0.5 * (mn[i][j] + me[i][j]), clvd, 1e-12 * hs.mu);
    }
  for (double rr : {0.3, 1.0, 4.0, 20.0}) {
    const double phi = 0.7, n0 = rr * std::cos(phi), e0 = rr * std::sin(phi);
    const Vec a = fn.displacement(2, n0, e0, d, hs), b = fe.displacement(2, n0, e0, d, hs);
    const auto g = surface_green(3, d, rr, hs);
    EXPECT_NEAR(g[uz], 0.5 * (a[2] + b[2]), 1e-12 * std::abs(g[uz]));
    EXPECT_NEAR(g[ur] * std::cos(phi), 0.5 * (a[0] + b[0]), 1e-12 * std::abs(g[ur]));
    EXPECT_NEAR(g[ur] * std::sin(phi), 0.5 * (a[1] + b[1]), 1e-12 * std::abs(g[ur]));
  }
  EXPECT_LT(surface_green(3, d, 0.01, hs)[uz], 0.0);  // the vertical tension lifts the surface
}

// The explosion of unit potency (moment tensor mu I) at the surface is Mogi's point source of
// volume change dV = mu/(lambda + 2 mu): uz = -(1 - nu) dV d/(pi R^3) (z down: the surface
// rises), ur = (1 - nu) dV r/(pi R^3), so err = (1 - nu) dV (R^2 - 3 r^2)/(pi R^5),
// ett = ur/r and duz/dr = 3 (1 - nu) dV d r/(pi R^5) (Mogi 1958; e.g. Segall, Earthquake and
// Volcano Deformation, 2010, chapter 7).
TEST(HalfspaceReference, ExplosionIsMogisPointSource) {
  for (const auto& hs : media) {
    const double nu = hs.lambda / (2.0 * (hs.lambda + hs.mu));
    const double dv = hs.mu / (hs.lambda + 2.0 * hs.mu), c = (1.0 - nu) * dv / pi;
    for (const double d : {0.7, 5.0}) {
      for (const double r : {0.01, 0.3, 1.0, 4.0, 30.0}) {
        const double R = std::hypot(r, d), R3 = R * R * R, R5 = R3 * R * R;
        const std::array<std::pair<int, double>, 7> want{{{uz, -c * d / R3},
                                                          {ur, c * r / R3},
                                                          {err, c * (R * R - 3.0 * r * r) / R5},
                                                          {ett, c / R3},
                                                          {duzdr, 3.0 * c * d * r / R5},
                                                          {ezr, 0.0},
                                                          {ut, 0.0}}};
        const auto g = surface_green(4, d, r, hs);
        for (const auto& [comp, v] : want)
          EXPECT_NEAR(g[comp], v, 1e-12 * c / (d * d * d)) << "component " << comp << " r " << r;
        EXPECT_NEAR(g[ezz], -hs.lambda * (g[err] + g[ett]) / (hs.lambda + 2.0 * hs.mu),
                    1e-12 * c / (d * d * d));
      }
    }
  }
}

TEST(HalfspaceReference, StrikeSlipUpliftFallsOffAsInverseSquareWithPoissonFactor) {
  // Far from a buried strike-slip source uz r^2 tends to mu/(lambda + mu)/(2 pi): a 1/r^2 decay
  // whose size depends on the elastic constants only through mu/(lambda + mu).
  const double zs = 1.0e3;
  for (const auto& hs : media) {
    const double limit = hs.mu / (hs.lambda + hs.mu) / (2.0 * pi);
    const double far = surface_green(1, zs, 1.0e3 * zs, hs)[uz] * std::pow(1.0e3 * zs, 2);
    const double farther = surface_green(1, zs, 1.0e4 * zs, hs)[uz] * std::pow(1.0e4 * zs, 2);
    EXPECT_NEAR(far, limit, 1e-2 * limit);
    EXPECT_NEAR(farther, limit, 1e-3 * limit);
    EXPECT_LT(std::abs(farther - limit), std::abs(far - limit));  // converging, not 1/r^3
  }
}

}  // namespace
}  // namespace kirva::testref
