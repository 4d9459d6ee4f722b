// Bessel evaluators and tables: accuracy against the standard library's Bessel functions, the
// branch points of the approximations, the parity rules and the lookup with its periodic reuse.
#include "integration/bessel.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "kirva_bessel.h"
#include "stop.h"

namespace kirva {
namespace {

double stdj(int n, double x) {
  return std::cyl_bessel_j(static_cast<double>(n), x);
}

// Published accuracy of the polynomial approximations is about 5e-8 absolute.
constexpr double kTolJ = 1.0e-7;

TEST(BesselEvaluators, AgreeWithStandardLibraryInBothBranches) {
  double err0 = 0.0, err1 = 0.0;
  for (double x = 0.0; x <= 60.0; x += 0.0137) {
    err0 = std::max(err0, std::fabs(besj0(x) - stdj(0, x)));
    err1 = std::max(err1, std::fabs(besj1(x) - stdj(1, x)));
  }
  for (double x = 60.0; x <= 2.0e4; x *= 1.0173) {
    err0 = std::max(err0, std::fabs(besj0(x) - stdj(0, x)));
    err1 = std::max(err1, std::fabs(besj1(x) - stdj(1, x)));
  }
  EXPECT_LT(err0, kTolJ);
  EXPECT_LT(err1, kTolJ);
}

TEST(BesselEvaluators, HigherOrdersAgreeWithStandardLibrary) {
  // Power series below x = n, upward recurrence above; the recurrence carries the errors of J0
  // and J1 along (amplified by at most a few for the orders tabulated).
  for (int n = 2; n <= 3; ++n) {
    double err = 0.0;
    for (double x = 0.0; x <= 60.0; x += 0.0113)
      err = std::max(err, std::fabs(besjn(n, x) - stdj(n, x)));
    EXPECT_LT(err, 3.0e-7) << "order " << n;
  }
  // Where the series is used it is accurate to its stopping rule, far beyond the tables' needs.
  for (int n : {4, 7, 12}) {
    for (double x : {0.01, 0.5, 1.0, 2.5, static_cast<double>(n)}) {
      EXPECT_NEAR(besjn(n, x), stdj(n, x), 1.0e-9 * std::fabs(stdj(n, x)) + 1.0e-15)
          << "n " << n << " x " << x;
    }
  }
}

TEST(BesselEvaluators, ValuesAtZero) {
  EXPECT_EQ(besj0(0.0), 1.0);
  EXPECT_EQ(besj1(0.0), 0.0);
  EXPECT_EQ(besjn(0, 0.0), 1.0);
  EXPECT_EQ(besjn(2, 0.0), 0.0);
  EXPECT_EQ(besjn(-3, 0.0), 0.0);
}

TEST(BesselEvaluators, ThreeItselfUsesThePolynomial) {
  // At x = 3, y = 1, so the polynomial equals the sum of its published coefficients.
  const double p0 = 1.0 - 2.2499997 + 1.2656208 - 0.3163866 + 0.0444479 - 0.0039444 + 0.0002100;
  const double p1 =
      3.0 * (0.5 - 0.56249985 + 0.21093573 - 0.03954289 + 0.00443319 - 0.00031761 + 0.00001109);
  EXPECT_NEAR(besj0(3.0), p0, 1.0e-15);
  EXPECT_NEAR(besj1(3.0), p1, 1.0e-15);
  // Just above 3 the large-argument form takes over: a different approximation of the same value.
  const double above = std::nextafter(3.0, 4.0);
  EXPECT_GT(std::fabs(besj0(above) - p0), 1.0e-12);
  EXPECT_GT(std::fabs(besj1(above) - p1), 1.0e-12);
  for (double x : {3.0, above}) {
    EXPECT_NEAR(besj0(x), stdj(0, x), kTolJ);
    EXPECT_NEAR(besj1(x), stdj(1, x), kTolJ);
    EXPECT_NEAR(besj1(-x), -stdj(1, x), kTolJ);
  }
}

TEST(BesselEvaluators, OrderEqualToArgumentSwitchesFromSeriesToRecurrence) {
  for (int n : {2, 3}) {
    const double x = n;
    const double above = std::nextafter(x, 10.0);
    const double series = besjn(n, x);
    const double recur = besjn(n, above);
    EXPECT_NEAR(series, stdj(n, x), 1.0e-10);  // the series is accurate to its stopping rule
    EXPECT_NEAR(recur, stdj(n, above), 3.0e-7);
    EXPECT_NE(series, recur);  // two different approximations meet here
    EXPECT_NEAR(besjn(n, x + 1.0e-6), stdj(n, x + 1.0e-6), 3.0e-7);
  }
}

TEST(BesselEvaluators, ParityRules) {
  for (double x : {0.3, 1.7, 2.0, 2.9, 3.0, 3.5, 7.25, 19.0, 123.4}) {
    EXPECT_EQ(besj0(-x), besj0(x)) << x;
    EXPECT_EQ(besj1(-x), -besj1(x)) << x;
    EXPECT_EQ(besjn(3, -x), -besjn(3, x)) << x;
    EXPECT_EQ(besjn(-3, x), -besjn(3, x)) << x;
    EXPECT_EQ(besjn(-3, -x), besjn(3, x)) << x;
    EXPECT_EQ(besjn(-2, x), besjn(2, x)) << x;
    EXPECT_EQ(besjn(2, -x), besjn(2, x)) << x;
    EXPECT_EQ(besjn(-1, x), -besj1(x)) << x;
    EXPECT_EQ(besjn(1, -x), -besj1(x)) << x;
  }
}

class BesselTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { tab = std::make_unique<BesselTables>(); }
  static void TearDownTestSuite() { tab.reset(); }
  static std::unique_ptr<BesselTables> tab;
};
std::unique_ptr<BesselTables> BesselTableTest::tab;

TEST_F(BesselTableTest, TablesHoldScaledFunctionsForEachOrder) {
  for (int n = 0; n <= 2; ++n) {
    tab->set(0, 5.0, 5.0, 5.0);
    krvbstab(n, *tab);
    EXPECT_EQ(tab->xstep, 0.049087385212340545);
    EXPECT_EQ(tab->tabj(0), 0.0);
    EXPECT_EQ(tab->tabdj(0), 0.0);
    EXPECT_EQ(tab->tabnj(0), 0.0);
    double errj = 0.0, errdj = 0.0, errnj = 0.0;
    for (int i = 1; i <= ntab; i += (i < 400 ? 1 : 97)) {
      const double x = i * tab->xstep;
      const double s = std::sqrt(x);
      const double jm = n == 0 ? -stdj(1, x) : stdj(n - 1, x);
      const double jp = stdj(n + 1, x);
      errj = std::max(errj, std::fabs(tab->tabj(i) - s * stdj(n, x)));
      errdj = std::max(errdj, std::fabs(tab->tabdj(i) - s * 0.5 * (jm - jp)));
      errnj = std::max(errnj, std::fabs(tab->tabnj(i) - (n == 0 ? 0.0 : s * 0.5 * (jm + jp))));
    }
    // The approximations' errors fall off like 1/sqrt(x) at large x, so the scaled ones stay small.
    EXPECT_LT(errj, 3.0e-7) << "order " << n;
    EXPECT_LT(errdj, 3.0e-7) << "order " << n;
    EXPECT_LT(errnj, 3.0e-7) << "order " << n;
    if (n == 0) {
      for (int i = 0; i <= ntab; i += 1001) ASSERT_EQ(tab->tabnj(i), 0.0);
    }
    // The last 128 intervals are one full period: sqrt(x) J_n(x) repeats to within the slowly
    // decaying 1/x correction of the large-argument expansion.
    EXPECT_NEAR(tab->tabj(ntab), tab->tabj(262144), 1.0e-5);
    EXPECT_NEAR(tab->tabdj(ntab), tab->tabdj(262144), 1.0e-5);
  }
}

// The tables take J2 and J3 from one J0 and J1 per point: the values must be those of the
// evaluators bit for bit, on both sides of the series/recurrence switches at x = 2 and x = 3.
TEST_F(BesselTableTest, TablesEqualTheEvaluatorsBitForBit) {
  for (int n = 0; n <= 2; ++n) {
    krvbstab(n, *tab);
    auto check = [&](int i) {
      const double x = i * tab->xstep;
      const double s = std::sqrt(x);
      const double lo = n == 0 ? 0.0 : besjn(n - 1, x) * s;
      const double hi = s * besjn(n + 1, x);
      EXPECT_EQ(tab->tabj(i), besjn(n, x) * s) << "order " << n << " i " << i;
      if (n == 0) {
        EXPECT_EQ(tab->tabdj(i), -(s * besj1(x))) << i;
      } else {
        EXPECT_EQ(tab->tabdj(i), (lo - hi) * 0.5) << "order " << n << " i " << i;
        EXPECT_EQ(tab->tabnj(i), (lo + hi) * 0.5) << "order " << n << " i " << i;
      }
    };
    for (int i = 1; i <= 80; ++i) check(i);  // x up to 3.9: series and recurrence for J2, J3
    for (int i = 81; i <= ntab; i += 4099) check(i);
    check(ntab);
  }
}

TEST_F(BesselTableTest, OtherOrdersAreRefusedAndFillNothing) {
  for (int n : {-1, 3, 17}) {
    tab->xstep = 0.0;
    tab->set(0, 7.0, 7.0, 7.0);
    tab->set(1, 7.0, 7.0, 7.0);
    try {
      krvbstab(n, *tab);
      FAIL() << "order " << n << " accepted";
    } catch (const Stop& e) {
      EXPECT_STREQ(e.what(), " Error in krvbstab: check 0<= n <= 2?");
    }
    EXPECT_EQ(tab->xstep, 0.0);
    EXPECT_EQ(tab->tabj(0), 7.0);
    EXPECT_EQ(tab->tabj(1), 7.0);
  }
}

TEST_F(BesselTableTest, LookupInterpolatesAndReusesTheLastPeriod) {
  // Synthetic tables make the index mapping visible: tabj(i) = i, tabdj(i) = -i, tabnj(i) = 1.
  BesselTables& t = *tab;
  t.xstep = 0.049087385212340545;
  for (int i = 0; i <= ntab; ++i) {
    t.set(i, i, -i, 1.0);
  }
  double vj, vdj, vnj;
  auto look = [&](double u) { tablook(u * t.xstep, vj, vdj, vnj, t); };

  look(0.0);
  EXPECT_EQ(vj, 0.0);
  look(262144.25);  // the last index read directly: entries 262144 and 262145
  EXPECT_NEAR(vj, 262144.25, 1e-6);
  EXPECT_NEAR(vnj, 1.0, 1e-12);
  look(262145.5);  // first reused index: maps onto itself
  EXPECT_NEAR(vj, 262145.5, 1e-6);
  EXPECT_NEAR(vdj, -262145.5, 1e-6);
  EXPECT_NEAR(vnj, 1.0, 1e-12);
  look(262272.5);  // one period on: back to entries 262144 and 262145
  EXPECT_NEAR(vj, 262144.5, 1e-6);
  EXPECT_NEAR(vdj, -262144.5, 1e-6);
  EXPECT_NEAR(vnj, 262144.5 / 262272.5, 1e-12);  // n J_n/x rescaled to the true argument
  look(262273.5);
  EXPECT_NEAR(vj, 262145.5, 1e-6);
  look(262271.75);  // the largest entry read is ntab
  EXPECT_NEAR(vj, 262271.75, 1e-6);

  // Indices beyond 2^31 (and 2^32) wrap the same way. 2^31 and 2^32 are multiples of 128.
  const double u31 = 2147483648.0 + 3.5;
  look(u31);
  EXPECT_NEAR(vj, 262147.5, 1e-4);
  EXPECT_NEAR(vnj, 262147.5 / u31, 1e-12);
  look(4294967296.0 + 130.25);
  EXPECT_NEAR(vj, 262146.25, 1e-4);
  // Beyond any integer type the value stays finite and inside the last period.
  for (double x : {1.0e30, 1.0e300}) {
    tablook(x, vj, vdj, vnj, t);
    EXPECT_GE(vj, 262144.0);
    EXPECT_LE(vj, static_cast<double>(ntab));
  }
}

TEST_F(BesselTableTest, LookupMatchesBesselFunctionsFarBeyondTheTable) {
  krvbstab(2, *tab);
  double vj, vdj, vnj;
  // On a grid point the stored values come back unchanged.
  tablook(1234 * tab->xstep, vj, vdj, vnj, *tab);
  EXPECT_EQ(vj, tab->tabj(1234));
  EXPECT_EQ(vdj, tab->tabdj(1234));
  EXPECT_EQ(vnj, tab->tabnj(1234));
  // Reuse of the last period: linear interpolation (about 2.4e-4 on a step of 0.049) plus the 1/x
  // terms frozen at x near 12800 limit the agreement to about 5e-4 of an amplitude of 0.8.
  for (double x : {3.21, 77.7, 5000.3, 20000.1, 1.0e6 + 0.37, 1.2e8 + 0.11}) {
    tablook(x, vj, vdj, vnj, *tab);
    const double s = std::sqrt(x);
    EXPECT_NEAR(vj, s * stdj(2, x), 1.0e-3) << x;
    EXPECT_NEAR(vdj, s * 0.5 * (stdj(1, x) - stdj(3, x)), 1.0e-3) << x;
    EXPECT_NEAR(vnj, s * 2.0 * stdj(2, x) / x, 1.0e-3) << x;
  }
  // The argument 1.2e8 has an index above 2^31.
  EXPECT_GT(1.2e8 / tab->xstep, 2147483648.0);
}

// The three orders filled together, in pieces, hold exactly what krvbstab gives each order.
TEST(KrvbstabOrders, PiecesOfAllOrdersEqualTheSingleOrderTables) {
  std::array<std::unique_ptr<BesselTables>, 3> all, one;
  for (int n = 0; n <= 2; ++n) {
    all[n] = std::make_unique<BesselTables>();
    one[n] = std::make_unique<BesselTables>();
    krvbstab(n, *one[n]);
  }
  const int cuts[] = {0, 1, 40, 41, 1000, 262144, ntab + 1};
  for (std::size_t c = 0; c + 1 < std::size(cuts); ++c)
    krvbstab_orders(*all[0], *all[1], *all[2], cuts[c], cuts[c + 1] - 1);
  for (int n = 0; n <= 2; ++n) {
    EXPECT_EQ(all[n]->xstep, one[n]->xstep);
    for (int i = 0; i <= ntab; ++i) {
      ASSERT_EQ(all[n]->tabj(i), one[n]->tabj(i)) << "order " << n << " i " << i;
      ASSERT_EQ(all[n]->tabdj(i), one[n]->tabdj(i)) << "order " << n << " i " << i;
      ASSERT_EQ(all[n]->tabnj(i), one[n]->tabnj(i)) << "order " << n << " i " << i;
    }
  }
}

}  // namespace
}  // namespace kirva

namespace kirva {
namespace {

// The series that replaces the table near x = 0, against the library's Bessel functions.
TEST(Bessel, SeriesNearZero) {
  for (double x = 0.0; x < kExactCells * 0.0491; x += 0.0137) {
    double sj = 0, sdj = 0;
    bessel0_near_zero(x, sj, sdj);
    EXPECT_NEAR(sj, std::sqrt(x) * std::cyl_bessel_j(0.0, x), 1e-15) << x;
    EXPECT_NEAR(sdj, -std::sqrt(x) * std::cyl_bessel_j(1.0, x), 1e-15) << x;
  }
}

}  // namespace
}  // namespace kirva
