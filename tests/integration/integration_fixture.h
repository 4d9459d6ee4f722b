// A driver-like set-up of one wavenumber integration for tests: a layer table from rows, the
// depth cut, the source terms and the Bessel tables (production or exact), as the run does it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "integration/accurate.h"
#include "integration/hankel.h"
#include "integration/hankel_reference.h"
#include "integration/quadrature_reference.h"
#include "kirva_bessel.h"
#include "tables/sources.h"

namespace kirva::fixture {

enum Comp { UZ = 1, UR, UT, EZZ, ERR, ETT, EZR, ERT, ETZ, DUZ };

// One row per (thickness, vp, vs, ro); the last row is the half-space.
struct Row {
  double thick, vp, vs, ro;
};

inline const std::vector<Row> kHomogeneous{{0.0, 6000.0, 3464.0, 2700.0}};
inline const std::vector<Row> kCrust{{2000.0, 4000.0, 2300.0, 2400.0},
                                     {18000.0, 6000.0, 3460.0, 2700.0},
                                     {0.0, 8000.0, 4600.0, 3300.0}};

// Tables of exact Bessel values on a grid 64 times finer than the production one, to tell the
// interpolation error of the tables apart from the rest of the integration. The last-period reuse
// does not hold for them, so they serve only where k*r stays below about 128.
inline void fill_exact(int n, BesselTables& t) {
  t.xstep = 0.049087385212340545 / 64.0;
  t.set(0, 0.0, 0.0, 0.0);
  for (int i = 1; i <= ntab; ++i) {
    const double x = i * t.xstep;
    const double s = std::sqrt(x);
    const double jm = n == 0 ? -std::cyl_bessel_j(1.0, x) : std::cyl_bessel_j(n - 1.0, x);
    const double jp = std::cyl_bessel_j(n + 1.0, x);
    t.set(i, s * std::cyl_bessel_j(static_cast<double>(n), x), s * 0.5 * (jm - jp),
          n == 0 ? 0.0 : s * 0.5 * (jm + jp));
  }
}
constexpr double kExactLimit = 128.0;

// Everything one integration needs, set up the way the driver does it for one depth pair.
enum class Mode { plain, accurate, quadrature };

class Integration {
 public:
  // The accurate mode (with rhalf as its smoothing length), or the quadrature reference.
  Integration(const std::vector<Row>& rows, Mode mode) : Integration(rows) { mode_ = mode; }

  // reference: the straightforward integration instead of the fast one.
  explicit Integration(const std::vector<Row>& rows, bool exact_tables = false,
                       bool reference = false)
      : exact_(exact_tables), reference_(reference) {
    lt_->nlayer = static_cast<int>(rows.size());
    for (int l = 1; l <= lt_->nlayer; ++l) {
      const Row& w = rows[l - 1];
      lt_->thick[l] = w.thick;
      lt_->vp[l] = w.vp;
      lt_->vs[l] = w.vs;
      lt_->ro[l] = w.ro;
    }
  }

  // Source type 1 strike-slip, 2 dip-slip, 3 CLVD.
  const GreenTable& run(int type, double zs, double zrec, double rhalf,
                        const std::vector<double>& dist, double sampfac = 10.0) {
    nr_ = static_cast<int>(dist.size());
    for (int j = 1; j <= nr_; ++j) r_[j] = dist[j - 1];
    DepthPair pair;
    prepare_depth_pair(*lt_, zs, zrec, *cl_, pair);
    const RowModuli& s = pair.source;
    krvmoment(type, s.mu, s.ro, s.vp, s.vs, src_);
    const int order = source_info(static_cast<SourceType>(type - 1)).order;
    if (mode_ == Mode::plain && !exact_ && order_ != order) {
      order_ = order;
      krvbstab(order_, tables());
    }
    mu_ = pair.receiver.mu;
    lambda_ = pair.receiver.lambda;
    krvrowtab(*lt_, *rows_);
    const KernelContext kc{*lt_, *rows_, *cl_, src_, log_};
    if (mode_ == Mode::accurate) {
      const AccurateContext ac{zs, zrec, rhalf, accurate_tables(order), kc};
      krvhankel_accurate(*grn_, r_, nr_, sampfac, lambda_, mu_, ac, *work_);
      return *grn_;
    }
    if (mode_ == Mode::quadrature) {
      quadref::green(*grn_, r_, nr_, zs, zrec, lambda_, mu_, kc);
      return *grn_;
    }
    const HankelContext hc{zs, zrec, rhalf, exact_ ? exact_tables(order) : tables(), kc};
    if (reference_) {
      reference::krvhankel(*grn_, r_, nr_, sampfac, lambda_, mu_, hc, *work_);
    } else {
      krvhankel(*grn_, r_, nr_, sampfac, lambda_, mu_, hc, *work_);
    }
    if (exact_) {
      EXPECT_LE(work_->kmax * r_[nr_], kExactLimit) << "beyond the range of the exact tables";
    }
    return *grn_;
  }

  const HankelWork& work() const { return *work_; }
  double r(int j) const { return r_[j]; }
  double peak(int c) const {
    double p = 0.0;
    for (int j = 1; j <= nr_; ++j) p = std::max(p, std::fabs((*grn_)(c, j)));
    return p;
  }

 private:
  // The tables are large and read-only: one set for the whole test program.
  static BesselTables& tables() {
    static const auto tab = std::make_unique<BesselTables>();
    return *tab;
  }
  static int order_;
  // Exact tables of each order, filled when first needed.
  static const BesselTables& exact_tables(int order) {
    static std::array<std::unique_ptr<BesselTables>, 3> tab;
    if (!tab[order]) {
      tab[order] = std::make_unique<BesselTables>();
      fill_exact(order, *tab[order]);
    }
    return *tab[order];
  }
  // The accurate tables of the three orders, filled once for the test program.
  static const AccurateBessel& accurate_tables(int order) {
    static const auto tab = [] {
      std::array<std::unique_ptr<AccurateBessel>, 3> t;
      for (auto& e : t) e = std::make_unique<AccurateBessel>();
      fill_accurate_orders(*t[0], *t[1], *t[2], 0, kAccIntervals - 1);
      return t;
    }();
    return *tab[order];
  }
  bool exact_;
  bool reference_;
  Mode mode_ = Mode::plain;

  std::unique_ptr<LayerTable> lt_ = std::make_unique<LayerTable>();
  std::unique_ptr<RowTable> rows_ = std::make_unique<RowTable>();
  std::unique_ptr<ComputationalLayers> cl_ = std::make_unique<ComputationalLayers>();
  SourceTerms src_;
  WarningLog log_;
  std::unique_ptr<GreenTable> grn_ = std::make_unique<GreenTable>();
  std::unique_ptr<HankelWork> work_ = std::make_unique<HankelWork>();
  std::array<double, nrmax + 1> r_{};
  int nr_ = 0;
  double mu_ = 0.0, lambda_ = 0.0;
};
inline int Integration::order_ = -1;

inline std::vector<double> spaced(double r1, double dr, int n) {
  std::vector<double> v(n);
  for (int i = 0; i < n; ++i) v[i] = r1 + i * dr;
  return v;
}

}  // namespace kirva::fixture
