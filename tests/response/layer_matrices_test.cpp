// Layer matrix, inverse and propagators: against each other, the equilibrium equations and their
// limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "fixtures.h"
#include "routines.h"
#include "stop.h"

namespace kirva {
namespace {

using testing::make_table;

using Mat4 = std::array<double, 16>;
double& at(Mat4& a, int i, int j) {
  return a[(j - 1) * 4 + (i - 1)];
}
double at(const Mat4& a, int i, int j) {
  return a[(j - 1) * 4 + (i - 1)];
}

Mat4 mul(const Mat4& a, const Mat4& b) {
  Mat4 c{};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      for (int l = 1; l <= 4; ++l) at(c, i, j) += at(a, i, l) * at(b, l, j);
  return c;
}

// Rows: 1 ordinary crust, 2 vs much smaller than vp, 3 vs just below vp/sqrt(2) (lambda ~ 0),
// 4 Poisson solid.
const LayerTable kTable = make_table({{1000, 5000, 2900, 2700},
                                      {1000, 5000, 40, 1900},
                                      {1000, 6000, 6000 / std::sqrt(2.0) * 0.999, 2800},
                                      {0, 8000, 8000 / std::sqrt(3.0), 3300}});

double shear(int l) {
  return kTable.ro[l] * kTable.vs[l] * kTable.vs[l];
}

// Similarity scaling that makes stresses dimensionless (stress / (2 mu k)), so that entries of
// the scaled matrices are of order one whatever the units.
Mat4 scaled(const Mat4& a, double k, int l) {
  const double g = 2.0 * shear(l) * k;
  const double s[4] = {1.0, g, 1.0, g};
  Mat4 b{};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) at(b, i, j) = at(a, i, j) * s[j - 1] / s[i - 1];
  return b;
}

double max_abs(const Mat4& a) {
  double m = 0.0;
  for (double v : a) m = std::max(m, std::fabs(v));
  return m;
}

TEST(Krvmatrix, InverseTimesMatrixIsIdentity) {
  for (int l : {1, 2, 3, 4}) {
    for (double k : {1e-7, 1e-3, 0.2}) {
      for (double z : {0.0, 0.5, -3.0, 40.0, -900.0}) {
        Mat4 a, b;
        krvmatrix(a.data(), 4, k, z, l, kTable);
        krvmatinv(b.data(), 4, k, z, l, kTable);
        // Both sides act on coefficients, so the product is dimensionless.
        const Mat4 p = mul(b, a);
        const double x = std::fabs(k * z);
        for (int i = 1; i <= 4; ++i)
          for (int j = 1; j <= 4; ++j)
            EXPECT_NEAR(at(p, i, j), i == j ? 1.0 : 0.0, 2e-15 * (1 + x) * (1 + x))
                << "row " << l << " k " << k << " z " << z << " (" << i << "," << j << ")";
      }
    }
  }
}

// Each column times exp(+-kz) solves the static P-SV equations dv/dz = A v, with
// v = (uz, szz, ur, srz):  uz' = (szz + lambda k ur)/(lambda + 2 mu),  szz' = k srz,
// ur' = srz/mu - k uz,  srz' = 4 mu (lambda + mu)/(lambda + 2 mu) k^2 ur - lambda k
// szz/(lambda+2mu).
TEST(Krvmatrix, ColumnsSolveTheEquilibriumEquations) {
  for (int l : {1, 2, 3}) {
    const double mu = shear(l);
    const double lam = kTable.ro[l] * kTable.vp[l] * kTable.vp[l] - 2 * mu;
    const double m = lam + 2 * mu;
    for (double k : {1e-4, 3e-3}) {
      for (double z : {-700.0, 0.0, 250.0}) {
        Mat4 a, ap, am;
        const double dz = 1e-3 * std::max(std::fabs(z), 1.0);
        krvmatrix(a.data(), 4, k, z, l, kTable);
        krvmatrix(ap.data(), 4, k, z + dz, l, kTable);
        krvmatrix(am.data(), 4, k, z - dz, l, kTable);
        // The extended-precision solutions of the reference solver are the same functions.
        const auto ref = testing::elementary_solutions(k, z, l, kTable);
        for (int j = 1; j <= 4; ++j) {
          for (int i = 1; i <= 4; ++i) {
            const double scale = (i % 2 == 1) ? 1.0 : 2 * mu * k;
            EXPECT_NEAR(at(a, i, j), static_cast<double>(ref[j - 1][i - 1]),
                        1e-14 * scale * (1 + std::fabs(k * z)));
          }
        }
        for (int j = 1; j <= 4; ++j) {
          const double sgn = (j == 1 || j == 3) ? 1.0 : -1.0;
          double v[5], dv[5];
          for (int i = 1; i <= 4; ++i) {
            v[i] = at(a, i, j);
            // Entries are linear in z, so the central difference is exact up to rounding.
            dv[i] = (at(ap, i, j) - at(am, i, j)) / (2 * dz) + sgn * k * v[i];
          }
          const double g = 2 * mu * k;
          const double r1 = (v[2] + lam * k * v[3]) / m;
          const double r2 = k * v[4];
          const double r3 = v[4] / mu - k * v[1];
          const double r4 = 4 * mu * (lam + mu) / m * k * k * v[3] - lam * k * v[2] / m;
          const double scale = k * (1 + std::fabs(k * z));
          EXPECT_NEAR(dv[1], r1, 1e-7 * scale);
          EXPECT_NEAR(dv[2] / g, r2 / g, 1e-7 * scale);
          EXPECT_NEAR(dv[3], r3, 1e-7 * scale);
          EXPECT_NEAR(dv[4] / g, r4 / g, 1e-7 * scale);
        }
      }
    }
  }
}

TEST(Krvmatrix, WrongOrderStops) {
  double a[16];
  try {
    krvmatrix(a, 3, 1e-3, 0.0, 1, kTable);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_STREQ(s.what(), " Error in krvmatrix: n != 4");
  }
  try {
    krvmatinv(a, 2, 1e-3, 0.0, 1, kTable);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_STREQ(s.what(), " Error in krvmatinv: n != 4");
  }
  try {
    haskell(a, 3, 1e-3, 10.0, 1, kTable);
    FAIL();
  } catch (const Stop& s) {
    EXPECT_STREQ(s.what(), " Error in haskell: m schould be 2 or 4!");
  }
}

Mat4 hask4(double k, double h, int l) {
  Mat4 a;
  haskell(a.data(), 4, k, h, l, kTable);
  return a;
}

// Order 2 embedded in the (1,2) block of a 4x4 for the shared helpers.
Mat4 hask2(double k, double h, int l) {
  double a[4];
  haskell(a, 2, k, h, l, kTable);
  Mat4 b{};
  at(b, 1, 1) = a[0];
  at(b, 2, 1) = a[1] / (2 * shear(l) * k);  // scaled like the P-SV stresses
  at(b, 1, 2) = a[2] * (2 * shear(l) * k);
  at(b, 2, 2) = a[3];
  return b;
}

TEST(Haskell, ZeroThicknessIsExactlyIdentity) {
  for (int l : {1, 2, 3, 4}) {
    const Mat4 a = hask4(3e-3, 0.0, l);
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) EXPECT_EQ(at(a, i, j), i == j ? 1.0 : 0.0);
    double b[4];
    haskell(b, 2, 3e-3, 0.0, l, kTable);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], 0.0);
    EXPECT_EQ(b[2], 0.0);
    EXPECT_EQ(b[3], 1.0);
  }
}

TEST(Haskell, DownThenUpIsIdentity) {
  const double k = 1e-3;
  for (int l : {1, 2, 3}) {
    for (double x : {1e-6, 0.001, 0.0011, 0.3, 2.0, 6.0}) {
      const double h = x / k;
      const double tol = 2e-15 * std::cosh(x) * std::cosh(x) * (1 + x) * (1 + x);
      const Mat4 p4 = scaled(mul(hask4(k, h, l), hask4(k, -h, l)), k, l);
      const Mat4 p2 = mul(hask2(k, h, l), hask2(k, -h, l));
      for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 4; ++j) {
          EXPECT_NEAR(at(p4, i, j), i == j ? 1.0 : 0.0, tol) << l << " " << x;
          if (i <= 2 && j <= 2) {
            EXPECT_NEAR(at(p2, i, j), i == j ? 1.0 : 0.0, tol) << l << " " << x;
          }
        }
      }
    }
  }
}

TEST(Haskell, SeriesAndExactBranchesMeet) {
  const double k = 2e-3;
  for (int l : {1, 2, 3}) {
    for (double sign : {1.0, -1.0}) {
      const double h = sign * 0.5;  // k h = +-0.001 exactly: the series
      const double h_above = h * (1 + 1e-12);
      ASSERT_EQ(std::fabs(k * h), 0.001);
      ASSERT_GT(std::fabs(k * h_above), 0.001);
      const Mat4 a = scaled(hask4(k, h, l), k, l);
      const Mat4 b = scaled(hask4(k, h_above, l), k, l);
      const double tol = 1e-12 * max_abs(a);
      for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "row " << l << " entry " << i;
      const Mat4 a2 = hask2(k, h, l), b2 = hask2(k, h_above, l);
      for (int i = 0; i < 16; ++i) EXPECT_NEAR(a2[i], b2[i], 1e-12);
    }
  }
}

TEST(Haskell, SeriesBranchIsAccurateToRounding) {
  // sinh(x)/x from the series must be good to a few units of rounding up to |x| = 0.001.
  for (double x : {1e-4, -5e-4, 0.001}) {
    const double k = 2e-3, h = x / k;
    const long double sx = std::sinh(static_cast<long double>(x)) / x;
    double a[4];
    haskell(a, 2, k, h, 1, kTable);
    const long double expect = h * sx / shear(1);
    EXPECT_NEAR(a[2], static_cast<double>(expect), 2e-15 * std::fabs(static_cast<double>(expect)));
    const Mat4 b = hask4(k, h, 1);
    const long double q =
        2 * (1 + (shear(1) / (kTable.ro[1] * kTable.vp[1] * kTable.vp[1] - shear(1)))) * shear(1);
    const long double a14 = x * h * sx / q;
    EXPECT_NEAR(at(b, 1, 4), static_cast<double>(a14), 3e-15 * std::fabs(static_cast<double>(a14)));
  }
}

TEST(Haskell, OrderFourEqualsLayerSolutionProduct) {
  const double k = 1e-3;
  for (int l : {1, 2, 3, 4}) {
    for (double x : {0.01, -0.01, 0.1, 1.0, -3.0, 7.5, 20.0, -20.0}) {
      const double h = x / k;
      Mat4 m, minv;
      krvmatrix(m.data(), 4, k, h, l, kTable);
      krvmatinv(minv.data(), 4, k, 0.0, l, kTable);
      for (int i = 1; i <= 4; ++i) {
        const double ep = std::exp(x), em = std::exp(-x);
        at(m, i, 1) *= ep;
        at(m, i, 2) *= em;
        at(m, i, 3) *= ep;
        at(m, i, 4) *= em;
      }
      const Mat4 ref = scaled(mul(m, minv), k, l);
      const Mat4 a = scaled(hask4(k, h, l), k, l);
      const double floor = 1e-14 * max_abs(ref);
      for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a[i], ref[i], 1e-9 * std::fabs(ref[i]) + floor)
            << "row " << l << " kh " << x << " entry " << i;
      }
    }
  }
}

TEST(Haskell, OrderTwoEqualsLayerSolutionProduct) {
  const double k = 1e-3;
  for (int l : {1, 2}) {
    const double kmu = k * shear(l);
    for (double x : {0.01, 1.0, -4.0, 20.0}) {
      double a[4];
      haskell(a, 2, k, x / k, l, kTable);
      // (1, k mu) exp(kz) and (1, -k mu) exp(-kz), matched to the unit vectors at z = 0.
      EXPECT_NEAR(a[0], std::cosh(x), 1e-14 * std::cosh(x));
      EXPECT_NEAR(a[2], std::sinh(x) / kmu, 1e-14 * std::cosh(x) / kmu);
      EXPECT_NEAR(a[1], kmu * std::sinh(x), 1e-14 * std::cosh(x) * kmu);
      EXPECT_EQ(a[3], a[0]);
    }
  }
}

TEST(Haskell, ZeroWavenumberLimit) {
  const double h = 750.0;
  for (int l : {1, 2, 3}) {
    const double mu = shear(l);
    const double d = mu / (kTable.ro[l] * kTable.vp[l] * kTable.vp[l] - mu);
    const Mat4 a = hask4(0.0, h, l);
    for (int i = 1; i <= 4; ++i) {
      for (int j = 1; j <= 4; ++j) {
        double expect = i == j ? 1.0 : 0.0;
        if (i == 1 && j == 2) expect = d * h / ((1 + d) * mu);
        if (i == 3 && j == 4) expect = h / mu;
        // a12 is formed as ((1 + 2d) - 1) h/q, which keeps about 1e-16/d relative.
        EXPECT_NEAR(at(a, i, j), expect, 1e-15 * std::fabs(expect) + 1e-16 * h / mu) << i << j;
      }
    }
    double b[4];
    haskell(b, 2, 0.0, h, l, kTable);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], 0.0);
    EXPECT_DOUBLE_EQ(b[2], h / mu);
    EXPECT_EQ(b[3], 1.0);
  }
}

}  // namespace
}  // namespace kirva
