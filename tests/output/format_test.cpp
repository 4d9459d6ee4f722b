#include "output/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace kirva {
namespace {

std::string E(double x, int w, int d) {
  std::string s;
  fmt_e(s, x, w, d);
  return s;
}
std::string I(long long n, int w) {
  std::string s;
  fmt_i(s, n, w);
  return s;
}
std::string A(std::string_view t, int w) {
  std::string s;
  fmt_a(s, t, w);
  return s;
}

TEST(FormatE, FieldsOfTheTables) {
  EXPECT_EQ(E(1000.0, 13, 5), "  0.10000E+04");
  EXPECT_EQ(E(-2.5e-3, 13, 5), " -0.25000E-02");
  EXPECT_EQ(E(1.5, 14, 6), "  0.150000E+01");
  EXPECT_EQ(E(-1.5e-7, 14, 6), " -0.150000E-06");
  EXPECT_EQ(E(0.0, 14, 6), "  0.000000E+00");
  EXPECT_EQ(E(-0.0, 14, 6), "  0.000000E+00");
  EXPECT_EQ(E(0.1, 14, 6), "  0.100000E+00");
  EXPECT_EQ(E(123456.4, 14, 6), "  0.123456E+06");
  EXPECT_EQ(E(123456.5000001, 14, 6), "  0.123457E+06");
}

TEST(FormatE, RoundingCarriesIntoTheExponent) {
  EXPECT_EQ(E(9.9999996, 14, 6), "  0.100000E+02");
  EXPECT_EQ(E(-0.99999996, 14, 6), " -0.100000E+01");
  EXPECT_EQ(E(9.9999949, 14, 6), "  0.999999E+01");
  EXPECT_EQ(E(99999.5, 13, 5), "  0.10000E+06");
  EXPECT_EQ(E(9.9999996e-100, 14, 6), "  0.100000E-98");  // three digits back to two
  EXPECT_EQ(E(9.9999996e98, 14, 6), "  0.100000+100");    // two digits up to three
}

TEST(FormatE, ThreeDigitExponentsDropTheLetter) {
  EXPECT_EQ(E(1.23456e-103, 14, 6), "  0.123456-102");
  EXPECT_EQ(E(1.0e-120, 14, 6), "  0.100000-119");
  EXPECT_EQ(E(-1.0e200, 14, 6), " -0.100000+201");
  EXPECT_EQ(E(1.0e-99, 14, 6), "  0.100000E-98");
  EXPECT_EQ(E(std::numeric_limits<double>::max(), 14, 6), "  0.179769+309");
  EXPECT_EQ(E(std::numeric_limits<double>::denorm_min(), 14, 6), "  0.494066-323");
}

TEST(FormatE, TooNarrowFieldsAndNonFiniteValues) {
  EXPECT_EQ(E(-1.5, 13, 6), "-0.150000E+01");  // exactly fits
  EXPECT_EQ(E(-1.5, 12, 6), "************");
  EXPECT_EQ(E(1.5, 5, 6), "*****");
  EXPECT_EQ(E(std::nan(""), 14, 6), "           NaN");
  EXPECT_EQ(E(HUGE_VAL, 14, 6), "      Infinity");
  EXPECT_EQ(E(-HUGE_VAL, 14, 6), "     -Infinity");
  EXPECT_EQ(E(-HUGE_VAL, 6, 2), "  -Inf");
  EXPECT_EQ(E(HUGE_VAL, 2, 1), "**");
}

// Against the C library's own correctly rounded conversion, for values over the whole range:
// the digits and the exponent must describe the same decimal number.
TEST(FormatE, AgreesWithTheCLibraryOverTheWholeRange) {
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> ex(-320, 305);
  for (int n = 0; n < 20000; ++n) {
    const double x = mant(gen) * std::pow(10.0, ex(gen));
    if (x == 0.0 || !std::isfinite(x)) continue;
    for (const int d : {5, 6}) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(x));
      std::string digits;
      for (const char* p = buf; *p != 'e'; ++p)
        if (*p != '.') digits += *p;
      const int e = std::atoi(std::strchr(buf, 'e') + 1) + 1;
      const std::string s = E(x, d + 8, d);
      const std::size_t dot = s.find("0.");
      ASSERT_NE(dot, std::string::npos) << s;
      EXPECT_EQ(s.substr(dot + 2, static_cast<std::size_t>(d)), digits) << x;
      const std::string tail = s.substr(dot + 2 + static_cast<std::size_t>(d));
      const int got = std::atoi((tail[0] == 'E' ? tail.substr(1) : tail).c_str());
      EXPECT_EQ(got, e) << x << " " << s;
      EXPECT_EQ(s[dot - 1] == '-', x < 0) << s;
    }
  }
}

TEST(FormatIA, IntegersAndTexts) {
  EXPECT_EQ(I(3, 4), "   3");
  EXPECT_EQ(I(1001, 4), "1001");
  EXPECT_EQ(I(-999, 4), "-999");
  EXPECT_EQ(I(-1000, 4), "****");
  EXPECT_EQ(I(12345, 4), "****");
  EXPECT_EQ(A("Source type: dip-slip", 25), "Source type: dip-slip    ");
  EXPECT_EQ(A("Source type: compensated linear vector dipole and more", 45),
            "Source type: compensated linear vector dipole");
}

}  // namespace
}  // namespace kirva
