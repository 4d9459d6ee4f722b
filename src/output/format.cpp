#include "output/format.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace kirva {

namespace {

void pad_right_justified(std::string& out, std::string_view s, int w) {
  if (static_cast<int>(s.size()) > w) {
    out.append(static_cast<std::size_t>(w), '*');
    return;
  }
  out.append(static_cast<std::size_t>(w) - s.size(), ' ');
  out.append(s);
}

}  // namespace

void fmt_e(std::string& out, double x, int w, int d) {
  if (w <= 0) return;
  if (std::isnan(x)) {
    pad_right_justified(out, "NaN", w);
    return;
  }
  if (std::isinf(x)) {
    const bool neg = x < 0.0;
    const std::string_view word = neg ? "-Infinity" : "Infinity";
    const std::string_view shortword = neg ? "-Inf" : "Inf";
    pad_right_justified(out, static_cast<int>(word.size()) <= w ? word : shortword, w);
    return;
  }
  if (d < 1) {
    out.append(static_cast<std::size_t>(w), '*');
    return;
  }

  // Correctly rounded digits in the form "D.DDDDDe+XX" with d significant digits; a carry such as
  // 9.9999996 -> 1.00000e+01 is already resolved here, so only the shift to "0.DDDDDD" remains.
  constexpr int dmax = 30;
  if (d > dmax) {
    out.append(static_cast<std::size_t>(w), '*');
    return;
  }
  const bool neg = std::signbit(x) && x != 0.0;  // a negative zero is shown as zero
  const double a = std::fabs(x);
  char mant[dmax];
  int nd = 0;
  int exp10 = 0;
  if (a == 0.0) {
    for (; nd < d; ++nd) mant[nd] = '0';
  } else {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, d - 1);
    const char* p = buf;
    mant[nd++] = *p++;
    if (*p == '.') ++p;
    while (*p != 'e') mant[nd++] = *p++;
    ++p;
    if (*p == '+') ++p;  // from_chars takes no plus sign
    int e = 0;
    std::from_chars(p, res.ptr, e);
    exp10 = e + 1;
  }

  // sign, "0.", digits, exponent
  char field[64];
  int n = 0;
  if (neg) field[n++] = '-';
  field[n++] = '0';
  field[n++] = '.';
  for (int i = 0; i < nd; ++i) field[n++] = mant[i];
  const int ae = std::abs(exp10);
  if (ae < 100) {
    field[n++] = 'E';
    field[n++] = exp10 < 0 ? '-' : '+';
    field[n++] = static_cast<char>('0' + ae / 10);
    field[n++] = static_cast<char>('0' + ae % 10);
  } else {
    field[n++] = exp10 < 0 ? '-' : '+';
    field[n++] = static_cast<char>('0' + ae / 100);
    field[n++] = static_cast<char>('0' + ae / 10 % 10);
    field[n++] = static_cast<char>('0' + ae % 10);
  }
  pad_right_justified(out, std::string_view(field, static_cast<std::size_t>(n)), w);
}

void fmt_i(std::string& out, long long n, int w) {
  if (w <= 0) return;
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, n);
  pad_right_justified(out, std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)), w);
}

void fmt_a(std::string& out, std::string_view s, int w) {
  if (w <= 0) return;
  const auto uw = static_cast<std::size_t>(w);
  if (s.size() >= uw) {
    out.append(s.substr(0, uw));
  } else {
    out.append(s);
    out.append(uw - s.size(), ' ');
  }
}

}  // namespace kirva
