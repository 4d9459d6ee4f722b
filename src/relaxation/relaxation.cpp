#include "relaxation/relaxation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "stop.h"

namespace kirva {

double laplace_mu(double mu, const Rheology& r, double s) {
  if (!r.viscous()) return mu;
  double compliance = 1.0 / mu;
  if (r.maxwell()) compliance += 1.0 / (r.eta_m * s);
  if (r.kelvin()) compliance += 1.0 / (r.muk_ratio * mu + r.eta_k * s);
  return 1.0 / compliance;
}

std::vector<double> stehfest_weights(int n) {
  auto fact = [](int m) {
    double f = 1.0;
    for (int i = 2; i <= m; ++i) f *= i;
    return f;
  };
  const int h = n / 2;
  std::vector<double> v(static_cast<std::size_t>(n) + 1, 0.0);
  for (int k = 1; k <= n; ++k) {
    double sum = 0.0;
    for (int j = (k + 1) / 2; j <= std::min(k, h); ++j)
      sum += std::pow(j, h) * fact(2 * j) /
             (fact(h - j) * fact(j) * fact(j - 1) * fact(k - j) * fact(2 * j - k));
    v[static_cast<std::size_t>(k)] = ((k + h) % 2 == 0 ? 1.0 : -1.0) * sum;
  }
  return v;
}

InversionPlan plan_inversion(const std::vector<double>& times_years) {
  InversionPlan p;
  p.times = times_years;
  if (times_years.empty()) return p;
  const double ln2 = std::numbers::ln2;
  const int n = kStehfestN;
  const double tmin = times_years.front() * kSecondsPerYear;
  const double tmax = times_years.back() * kSecondsPerYear;
  const double a = std::log(ln2 / tmax), b = std::log(n * ln2 / tmin);
  const double decades = (b - a) / std::numbers::ln10;
  const int m = std::max(16, static_cast<int>(std::ceil(8.0 * decades + 6.0)));

  // Chebyshev points of the first kind in ln s and their barycentric weights.
  std::vector<double> u(static_cast<std::size_t>(m)), lam(static_cast<std::size_t>(m));
  p.s.resize(static_cast<std::size_t>(m));
  for (int q = 0; q < m; ++q) {
    const double th = (q + 0.5) * std::numbers::pi / m;
    u[static_cast<std::size_t>(q)] = std::cos(th);
    lam[static_cast<std::size_t>(q)] = (q % 2 == 0 ? 1.0 : -1.0) * std::sin(th);
    p.s[static_cast<std::size_t>(q)] = std::exp(0.5 * (a + b) + 0.5 * (b - a) * std::cos(th));
  }

  const std::vector<double> v = stehfest_weights(n);
  p.w.assign(times_years.size() * static_cast<std::size_t>(m), 0.0);
  std::vector<double> basis(static_cast<std::size_t>(m));
  for (std::size_t i = 0; i < times_years.size(); ++i) {
    const double t = times_years[i] * kSecondsPerYear;
    for (int j = 1; j <= n; ++j) {
      const double x = (2.0 * std::log(j * ln2 / t) - a - b) / (b - a);
      // The Lagrange basis at x in barycentric form; at a node it is that node's indicator.
      double den = 0.0;
      int hit = -1;
      for (int q = 0; q < m; ++q) {
        const double d = x - u[static_cast<std::size_t>(q)];
        if (d == 0.0) hit = q;
        basis[static_cast<std::size_t>(q)] = d == 0.0 ? 0.0 : lam[static_cast<std::size_t>(q)] / d;
        den += basis[static_cast<std::size_t>(q)];
      }
      for (int q = 0; q < m; ++q) {
        const double l =
            hit >= 0 ? (q == hit ? 1.0 : 0.0) : basis[static_cast<std::size_t>(q)] / den;
        p.w[i * static_cast<std::size_t>(m) + static_cast<std::size_t>(q)] +=
            v[static_cast<std::size_t>(j)] / j * l;
      }
    }
  }
  return p;
}

namespace {

[[noreturn]] void bad_times(const std::string& list, const std::string& why) {
  throw Stop(" Error in krvmain: --times " + list + ": " + why);
}

double time_value(const std::string& list, std::string_view tok) {
  double v = 0.0;
  const auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
  if (tok.empty() || r.ec != std::errc() || r.ptr != tok.data() + tok.size() || !std::isfinite(v)) {
    std::string why(1, '\'');
    why.append(tok);
    why += "' is not a number of years";
    bad_times(list, why);
  }
  if (v < 0.0) bad_times(list, "times after the source must not be negative");
  return v;
}

}  // namespace

std::vector<double> parse_times(const std::string& list) {
  constexpr int kMaxTimes = 1000;
  std::vector<double> t;
  const std::size_t s1 = list.find('/');
  if (s1 != std::string::npos) {
    const std::size_t s2 = list.find('/', s1 + 1);
    if (s2 == std::string::npos || list.find('/', s2 + 1) != std::string::npos)
      bad_times(list, "a range is T1/T2/N");
    const double t1 = time_value(list, std::string_view(list).substr(0, s1));
    const double t2 = time_value(list, std::string_view(list).substr(s1 + 1, s2 - s1 - 1));
    const std::string_view ntok = std::string_view(list).substr(s2 + 1);
    int n = 0;
    const auto r = std::from_chars(ntok.data(), ntok.data() + ntok.size(), n);
    if (ntok.empty() || r.ec != std::errc() || r.ptr != ntok.data() + ntok.size() || n < 2 ||
        n > kMaxTimes)
      bad_times(list, "N must be a whole number from 2 to 1000");
    if (!(t1 > 0.0 && t2 > t1)) bad_times(list, "a logarithmic range needs 0 < T1 < T2");
    for (int i = 0; i < n; ++i)
      t.push_back(i == n - 1 ? t2 : t1 * std::pow(t2 / t1, static_cast<double>(i) / (n - 1)));
  } else {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = list.find(',', start);
      const std::string_view tok = std::string_view(list).substr(
          start, comma == std::string::npos ? std::string::npos : comma - start);
      t.push_back(time_value(list, tok));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (t.size() > static_cast<std::size_t>(kMaxTimes)) bad_times(list, "at most 1000 times");
  }
  std::sort(t.begin(), t.end());
  t.erase(std::unique(t.begin(), t.end()), t.end());
  t.erase(std::remove(t.begin(), t.end(), 0.0), t.end());
  return t;
}

}  // namespace kirva
