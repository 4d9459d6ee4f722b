// Postseismic relaxation of a long strike-slip fault, 0.5 to 15 km deep and 1000 km long, in a
// 30 km elastic layer over a Maxwell half-space with the same elastic moduli (Savage and Prescott
// 1978). The tables at times after the slip are computed in-process as kirva --times computes
// them and combined by the synthesis into the surface displacement across the fault's middle,
// which is held against the two-dimensional image series, against a second inversion of the same
// Laplace-domain tables (Gaver-Stehfest with 14 terms at the exact nodes of each time), and
// checked to approach the relaxed state monotonically.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <sstream>
#include <vector>

#include "driver/input.h"
#include "driver/table.h"
#include "integration/bessel.h"
#include "relaxation/relaxation.h"
#include "relaxation/stehfest_direct.h"
#include "synthesis/problem.h"

namespace kirva::syn {
namespace {

constexpr double kEta = 1e19;

// Surface displacement parallel to a vertical strike-slip fault from the surface to depth d
// (km) at distance x (km) for unit slip, at T = t / tau (tau = 2 eta / mu) after the slip, in a
// layer of thickness h over a Maxwell half-space: the image series of Savage and Prescott (1978),
// P_n the regularised lower incomplete gamma function, summed until the terms fall below 1e-12.
double savage_prescott(double x, double d, double h, double T) {
  double u = std::atan(d / x);
  for (int n = 1; n < 100000; ++n) {
    // P_n(T) = 1 - exp(-T) sum_{k<n} T^k / k!, the sum kept by recurrence.
    double term = std::exp(-T), partial = 0.0;
    for (int k = 0; k < n; ++k) {
      partial += term;
      term *= T / (k + 1);
    }
    const double p = T > 0.0 ? 1.0 - partial : 0.0;
    const double image = p * (std::atan((2 * n * h + d) / x) - std::atan((2 * n * h - d) / x));
    u += image;
    if (std::fabs(image) < 1e-12 && n > 2) break;
  }
  return u / std::numbers::pi;
}

struct Tables {
  int nr = 0, nzs = 0;
  std::vector<double> r, zs;
  EarthModel earth;
  // [set][j]: the strike-slip table of source depth j, component by component (nr values each).
  std::vector<std::vector<std::vector<double>>> sets;
  std::vector<double> zeros;
  TableView view(std::size_t set) const {
    TableView v;
    v.r = r;
    v.zs = zs;
    v.zrec = {0.0};
    v.earth = earth;
    v.column = [this, set](int, SourceType t, int j, Component c) -> std::span<const double> {
      if (t != SourceType::ss) return std::span<const double>(zeros);  // not excited
      return std::span<const double>(sets[set][static_cast<std::size_t>(j)])
          .subspan(static_cast<std::size_t>(c - 1) * static_cast<std::size_t>(nr),
                   static_cast<std::size_t>(nr));
    };
    return v;
  }
};

TEST(Postseismic, LongStrikeSlipFaultOverMaxwellHalfSpace) {
  const std::string input =
      "0 0 1\n521 0 520\n31 0.5 15.5\n0\n'./' 'a' 'b' 'c'\n3\n"
      "1 0 6.0 3.464 2700\n2 30 6.0 3.464 2700\n3 30 6.0 3.464 2700 1e19\n";
  auto inp = std::make_unique<RunInput>();
  std::istringstream in(input);
  read_input(in, "model", *inp);
  auto lt = std::make_unique<LayerTable>();
  int ierr = 0;
  krvslice(inp->resol, ierr, inp->prof, *lt);
  auto rows = std::make_unique<RowTable>();
  krvrowtab(*lt, *rows);
  const double mu = 2700.0 * 3464.0 * 3464.0;
  const double tau = 2.0 * kEta / mu / kSecondsPerYear;  // years

  // The run's inversion at the times of the series and of the monotone sequence, and a second
  // one at tau, 3 tau and 10 tau: Gaver-Stehfest with 14 terms at each time's own nodes.
  const std::vector<double> factors = {0.1, 0.2, 0.5, 1, 2, 3, 5, 10};
  std::vector<double> times;
  for (double f : factors) times.push_back(f * tau);
  LaplaceEarths run, second;
  make_laplace_earths(*lt, times, run);
  const std::vector<double> check = {1, 3, 10};
  std::vector<double> check_times;
  for (double f : check) check_times.push_back(f * tau);
  testing::stehfest_direct(*lt, check_times, 14, second);

  auto bessel = std::array{std::make_unique<BesselTables>(), std::make_unique<BesselTables>(),
                           std::make_unique<BesselTables>()};
  krvbstab_orders(*bessel[0], *bessel[1], *bessel[2], 0, ntab);
  Tables t;
  t.nr = inp->nr;
  t.nzs = inp->nzs;
  for (int j = 1; j <= t.nr; ++j) t.r.push_back(inp->r[j]);
  for (int j = 1; j <= t.nzs; ++j) t.zs.push_back(inp->zs(j));
  for (int l = 1; l <= lt->nlayer; ++l)
    t.earth.layers.push_back({lt->thick[l], lt->vp[l], lt->vs[l], lt->ro[l]});
  t.zeros.assign(static_cast<std::size_t>(t.nr), 0.0);
  const std::size_t nsets = 1 + times.size() + check.size();
  t.sets.assign(nsets, std::vector<std::vector<double>>(static_cast<std::size_t>(t.nzs)));
  std::vector<std::unique_ptr<TableWork>> work;
  for (int w = 0; w < 2; ++w) work.push_back(std::make_unique<TableWork>());
  auto store = [&](std::size_t set, int j, const GreenTable& g) {
    auto& col = t.sets[set][static_cast<std::size_t>(j)];
    col.resize(static_cast<std::size_t>(10 * t.nr));
    for (int c = 1; c <= 10; ++c)
      for (int q = 1; q <= t.nr; ++q)
        col[static_cast<std::size_t>((c - 1) * t.nr + q - 1)] = g(c, q);
  };
  parallel_for(
      2, t.nzs,
      [&](int j, int worker) {
        TableWork& w = *work[static_cast<std::size_t>(worker)];
        const double zs = inp->zs(j + 1);
        prepare_depth_pair(*lt, zs, 0.0, w.cl, w.pair);
        compute_table(*inp, *lt, *rows, *bessel[2], 1, zs, 0.0, w.pair.receiver.lambda,
                      w.pair.receiver.mu, w);
        store(0, j, w.grn);
        compute_at_times(*inp, run, *bessel[2], 1, zs, 0.0, w);
        for (std::size_t i = 0; i < times.size(); ++i) store(1 + i, j, w.at_times[i]);
        compute_at_times(*inp, second, *bessel[2], 1, zs, 0.0, w);
        for (std::size_t i = 0; i < check.size(); ++i)
          store(1 + times.size() + i, j, w.at_times[i]);
      },
      [] {});

  // The fault along north through the origin; receivers east of it on the line through its
  // middle; uy along strike.
  Problem p;
  SourceModel fault;
  fault.rect = {0, 0, 7750, 0, 90, 0, 1.0, 1e6, 14500, 0};
  p.sources = {fault};
  std::vector<double> xs;
  for (double x = 5; x <= 40; x += 1) {
    xs.push_back(x);
    Receiver rec;
    rec.east = 1000 * x;
    p.receivers.push_back(rec);
  }
  p.quantities = {Quantity::uy};
  p.threads = 2;
  auto profile = [&](std::size_t set) { return synthesise(t.view(set), p).values; };
  auto series = [&](double x, double T) {
    return savage_prescott(x, 15, 30, T) - savage_prescott(x, 0.5, 30, T);
  };
  // The coseismic peak of the series, at about sqrt(0.5 * 15) km from the trace.
  double peak = 0;
  for (double x = 0.5; x < 10; x += 0.01) peak = std::max(peak, series(x, 0));

  const std::vector<double> elastic = profile(0);
  std::vector<std::vector<double>> at;
  for (std::size_t i = 0; i < times.size(); ++i) at.push_back(profile(1 + i));
  // Left-lateral slip moves the east side north... by the series, up to the sign convention.
  const double sign = elastic[0] > 0 ? 1.0 : -1.0;
  auto worst = [&](const std::vector<double>& u, double T, double xmax) {
    double w = 0;
    for (std::size_t q = 0; q < xs.size(); ++q)
      if (xs[q] <= xmax) w = std::max(w, std::fabs(sign * u[q] - series(xs[q], T)));
    return w / peak;
  };
  EXPECT_LT(worst(elastic, 0, 20), 0.015) << "t = 0";
  for (double f : {1.0, 3.0}) {
    const std::size_t i =
        static_cast<std::size_t>(std::find(factors.begin(), factors.end(), f) - factors.begin());
    std::printf("t = %g tau: %.2e of the peak from the series within 20 km, %.2e to 40 km\n", f,
                worst(at[i], f, 20), worst(at[i], f, 40));
    EXPECT_LT(worst(at[i], f, 20), 0.015) << "t = " << f << " tau";
    EXPECT_GT(worst(at[i], 0, 20), 0.05) << "it relaxes, t = " << f << " tau";
  }
  // The second inversion, out to 10 tau and 40 km.
  for (std::size_t c = 0; c < check.size(); ++c) {
    const std::size_t i = static_cast<std::size_t>(
        std::find(factors.begin(), factors.end(), check[c]) - factors.begin());
    const std::vector<double> other = profile(1 + times.size() + c);
    double w = 0;
    for (std::size_t q = 0; q < xs.size(); ++q) w = std::max(w, std::fabs(at[i][q] - other[q]));
    std::printf("t = %g tau: %.2e of the peak from the second inversion, 5 to 40 km\n", check[c],
                w / peak);
    EXPECT_LT(w / peak, 1e-3) << "t = " << check[c] << " tau";
  }
  // Monotone: at every receiver the displacement grows from each time to the next.
  for (std::size_t q = 0; q < xs.size(); ++q) {
    double last = sign * elastic[q];
    for (std::size_t i = 0; i < times.size(); ++i) {
      EXPECT_GT(sign * at[i][q], last) << "x " << xs[q] << " km, t = " << factors[i] << " tau";
      last = sign * at[i][q];
    }
  }
}

}  // namespace
}  // namespace kirva::syn
