// The combination of the tables: by hand at a tabulated depth and distance, the free surface,
// finite differences, observation depths, workers and the range checks.
#include "synthesis/combine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kirva_files.h"
#include "stop.h"
#include "syn_fixture.h"
#include "synthesis/problem.h"
#include "synthesis/quantities.h"

namespace kirva::syn {
namespace {

using M3 = std::array<std::array<double, 3>, 3>;

// A moment tensor (potency) with every component, its isotropic part included (the tables
// ignore it).
const Tensor6 kP = {0.3e6, 0.7e6, -0.4e6, -0.5e6, 0.25e6, 0.2e6};

Receiver at(double east_km, double north_km, double depth_km) {
  Receiver r;
  r.x = east_km;
  r.y = north_km;
  r.east = east_km * 1000;
  r.north = north_km * 1000;
  r.depth = depth_km * 1000;
  return r;
}

std::vector<Field> run(const TableView& v, const std::vector<SourcePoint>& pts,
                       const std::vector<Receiver>& rec, Need need, int threads = 2,
                       bool surface = true) {
  SynthesisOptions o;
  o.need = need;
  o.threads = threads;
  o.use_free_surface = surface;
  return synthesise(v, pts, rec, o);
}

double peak(const M3& m) {
  double p = 0;
  for (auto& row : m) {
    for (double x : row) p = std::max(p, std::fabs(x));
  }
  return p;
}

TEST(Combination, OnATabulatedDepthAndDistanceIsTheTablesCombinedByHand) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  const int j = 50, i = 73;  // zs = 5.5 km, r = 7.3 km
  const double phi = 35 * std::numbers::pi / 180, r = view.r[i];
  const double cp = std::cos(phi), sp = std::sin(phi);
  const std::vector<SourcePoint> src = {{0, 0, view.zs[j], kP, 0}};
  for (int k = 0; k < 2; ++k) {
    auto col = [&](SourceType t, Component c) { return lib.column(k, t, j, c)[i]; };
    const double ass = kP.xy * std::sin(2 * phi) + 0.5 * (kP.xx - kP.yy) * std::cos(2 * phi);
    const double bss = kP.xy * std::cos(2 * phi) - 0.5 * (kP.xx - kP.yy) * std::sin(2 * phi);
    const double ads = kP.xz * cp + kP.yz * sp, bds = kP.xz * sp - kP.yz * cp;
    const double acl = 2.0 / 3.0 * (kP.zz - 0.5 * (kP.xx + kP.yy));
    auto C = [&](Component c) {
      return ass * col(SourceType::ss, c) + ads * col(SourceType::ds, c) +
             acl * col(SourceType::cl, c);
    };
    auto S = [&](Component c) {
      return bss * col(SourceType::ss, c) + bds * col(SourceType::ds, c);
    };
    // Cylindrical (r, phi, z) to the table frame (north, east, down), then east-north-up.
    const double Q[3][3] = {{cp, -sp, 0}, {sp, cp, 0}, {0, 0, 1}};
    const double R[3][3] = {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}};
    const double ucyl[3] = {C(ur), S(ut), C(uz)};
    const double ecyl[3][3] = {
        {C(err), S(ert), C(ezr)}, {S(ert), C(ett), S(etz)}, {C(ezr), S(etz), C(ezz)}};
    double u[3] = {}, e[3][3] = {};
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) {
        double RQ_ab = 0;
        for (int m = 0; m < 3; ++m) RQ_ab += R[a][m] * Q[m][b];
        u[a] += RQ_ab * ucyl[b];
        for (int c = 0; c < 3; ++c) {
          for (int d = 0; d < 3; ++d) {
            double RQ_cd = 0;
            for (int m = 0; m < 3; ++m) RQ_cd += R[c][m] * Q[m][d];
            e[a][c] += RQ_ab * ecyl[b][d] * RQ_cd;
          }
        }
      }
    }
    // Tilts: d(u_up)/dx = -d(uz)/d(east), with (1/r) duz/dphi from the azimuthal factors'
    // derivatives, 2 B for the strike-slip and -B for the dip-slip.
    const double uzphi = (2 * bss * col(SourceType::ss, uz) - bds * col(SourceType::ds, uz)) / r;
    const double tilt_e = -(C(duzdr) * sp + uzphi * cp), tilt_n = -(C(duzdr) * cp - uzphi * sp);

    const std::vector<Receiver> rec = {at(r * sp / 1000, r * cp / 1000, view.zrec[k] / 1000)};
    const double ue = std::hypot(u[0], u[1], u[2]);
    for (bool surface : {true, false}) {
      for (Need need : {Need::strain, Need::gradient}) {
        const Field f = run(view, src, rec, need, 1, surface)[0];
        for (int a = 0; a < 3; ++a) {
          EXPECT_NEAR(f.u[a], u[a], 1e-10 * ue) << k << " " << a;
          for (int b = 0; b < 3; ++b) {
            const double sym = 0.5 * (f.grad[a][b] + f.grad[b][a]);
            EXPECT_NEAR(sym, e[a][b], 1e-9 * peak(*reinterpret_cast<const M3*>(e)))
                << "observation depth " << k << " strain " << a << b;
          }
        }
        if (need == Need::gradient) {
          EXPECT_NEAR(f.grad[2][0], tilt_e, 1e-9 * std::fabs(tilt_e) + 1e-20) << k;
          EXPECT_NEAR(f.grad[2][1], tilt_n, 1e-9 * std::fabs(tilt_n) + 1e-20) << k;
        }
      }
    }
    // Displacement alone comes out the same.
    const Field d = run(view, src, rec, Need::displacement)[0];
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(d.u[a], u[a], 1e-10 * ue);
  }
}

TEST(Combination, NoTractionOnTheFreeSurface) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  EXPECT_TRUE(free_surface(view, 0));
  EXPECT_FALSE(free_surface(view, 1));
  SourceModel s;
  s.rect = {0, -11258, 8500, 90, 30, 90, 2.0, 30000, 26000};
  const auto pts = discretise({s}, Discretisation{2000, 2}, view.earth);
  std::vector<Receiver> rec;
  for (double x = -20; x <= 20; x += 5) {
    for (double y = -30; y <= 20; y += 5) rec.push_back(at(x, y, 0));
  }
  const double lam = view.earth.lambda(0), mu = view.earth.mu(0);
  // The general layout, all columns from the tables.
  const auto general = run(view, pts, rec, Need::gradient, 2, false);
  const auto surface = run(view, pts, rec, Need::strain, 2, true);
  double speak = 0, traction = 0, epeak = 0, differ = 0;
  for (std::size_t i = 0; i < rec.size(); ++i) {
    const M3& g = general[i].grad;
    const double tr = g[0][0] + g[1][1] + g[2][2];
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) {
        const double e = 0.5 * (g[a][b] + g[b][a]);
        const double sigma = (a == b ? lam * tr : 0.0) + 2 * mu * e;
        speak = std::max(speak, std::fabs(sigma));
        if (a == 2 || b == 2) traction = std::max(traction, std::fabs(sigma));
        epeak = std::max(epeak, std::fabs(e));
        differ = std::max(differ, std::fabs(e - surface[i].grad[a][b]));
      }
    }
  }
  EXPECT_LT(traction, 1e-6 * speak);
  EXPECT_LT(differ, 1e-9 * epeak);
}

// Horizontal derivatives of the displacement by central differences (step h, m) at (x, y).
M3 finite_differences(const TableView& view, const std::vector<SourcePoint>& src, double x,
                      double y, double depth, double h) {
  std::vector<Receiver> rec;
  for (auto [dx, dy] : std::vector<std::pair<double, double>>{{h, 0}, {-h, 0}, {0, h}, {0, -h}}) {
    rec.push_back(at(x + dx / 1000, y + dy / 1000, depth));
  }
  const auto f = run(view, src, rec, Need::displacement);
  M3 d{};
  for (int a = 0; a < 3; ++a) {
    d[a][0] = (f[0].u[a] - f[1].u[a]) / (2 * h);
    d[a][1] = (f[2].u[a] - f[3].u[a]) / (2 * h);
  }
  return d;
}

TEST(Combination, StrainsAndTiltsAreFiniteDifferencesOfTheDisplacement) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  // Between tabulated source depths. The tables themselves are consistent to about 1 % of the
  // peak from a quarter of the source depth outward (closer to the axis they are smoothed).
  const std::vector<SourcePoint> src = {{0, 0, 5550, kP, 0}};
  for (double depth : {0.0, 4.0}) {
    for (auto [x, y] : std::vector<std::pair<double, double>>{{1.2, -0.7}, {-3, 4}, {12, 15}}) {
      const M3 g = run(view, src, {at(x, y, depth)}, Need::gradient)[0].grad;
      const M3 d = finite_differences(view, src, x, y, depth, 1.0);
      for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 2; ++b) {
          EXPECT_NEAR(g[a][b], d[a][b], 1e-2 * peak(g)) << x << " " << y << " " << depth;
        }
      }
    }
  }
}

// Columns of a smooth field of each azimuthal order whose strains are those of its
// displacement (ezz, ezr, etz zero: the horizontal derivatives do not involve them), on
// distances from the axis every 50 m: uz = Z, ur = R, ut = T times the factors of the types.
struct SmoothField {
  TableView view;
  std::vector<std::vector<double>> cols;  // by type * 10 + slot - 1
  static constexpr double L = 2000;

  SmoothField() {
    for (int i = 0; i <= 400; ++i) view.r.push_back(50.0 * i);
    view.zs = {1000, 2000};
    view.zrec = {0};
    view.earth.layers = {{0, 6000, 3464, 2700}};
    cols.assign(30, std::vector<double>(view.r.size(), 0.0));
    for (std::size_t i = 0; i < view.r.size(); ++i) {
      const double r = view.r[i], e = std::exp(-r * r / (L * L)), de = -2 * r / (L * L) * e;
      for (int t = 0; t < 3; ++t) {
        // Fields smooth across the axis: order 2 (R, T odd with the same slope; Z even, zero
        // on the axis), order 1 (R, T even with R(0) = -T(0); Z odd), order 0 (R odd, Z even;
        // no T).
        double R, dR, T, dT, Z, dZ;
        const double g = 1 + r * r / (L * L), dg = 2 * r / (L * L);
        if (t == 0) {
          R = r * e, dR = e + r * de, T = r * g * e, dT = g * e + r * dg * e + r * g * de;
          Z = r * r / L * e, dZ = 2 * r / L * e + r * r / L * de;
        } else if (t == 1) {
          R = g * e, dR = dg * e + g * de;
          T = -e, dT = -de, Z = r * e, dZ = e + r * de;
        } else {
          R = r * e, dR = e + r * de, T = 0, dT = 0, Z = e, dZ = de;
        }
        const int n = 2 - t;
        // With ur = R A, ut = T B, dA/dphi = n' B and dB/dphi = -n'' A: for order 2
        // (A, B) = (sin 2phi, cos 2phi), for order 1 (cos phi, sin phi).
        const double dA = t == 0 ? 2 : t == 1 ? -1 : 0;  // dA/dphi = dA * B
        const double dB = t == 0 ? -2 : t == 1 ? 1 : 0;  // dB/dphi = dB * A
        auto& c = cols;
        const int o = 10 * t - 1;
        c[o + uz][i] = Z;
        c[o + ur][i] = R;
        c[o + ut][i] = T;
        c[o + err][i] = dR;
        c[o + duzdr][i] = dZ;
        if (r > 0) {
          c[o + ett][i] = (R + dB * T) / r;
          c[o + ert][i] = 0.5 * (dT - T / r + dA * R / r);
        } else {  // the limits on the axis
          c[o + ett][i] = n == 2 ? 1 + dB : n == 1 ? 0 : 1;
          c[o + ert][i] = n == 2 ? 0.5 * (1 - 1 + dA) : 0;
        }
      }
    }
    view.column = [this](int, SourceType t, int, Component c) -> std::span<const double> {
      if (t == SourceType::cl && (c == ut || c == ert || c == etz)) return {};
      return cols[10 * static_cast<int>(t) + c - 1];
    };
  }
};

TEST(Combination, GradientNearTheAxisFromTheColumnsSymmetry) {
  const SmoothField f;
  const std::vector<SourcePoint> src = {{0, 0, 1500, kP, 0}};
  // On the axis, inside the first distance step, and further out.
  for (auto [x, y] : std::vector<std::pair<double, double>>{
           {0, 0}, {0.006, 0.008}, {0.03, -0.02}, {-0.07, 0.1}, {1.1, 2.3}}) {
    const M3 g = run(f.view, src, {at(x, y, 0)}, Need::gradient, 1, false)[0].grad;
    const M3 d = finite_differences(f.view, src, x, y, 0, 0.25);
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 2; ++b) {
        EXPECT_NEAR(g[a][b], d[a][b], 1e-4 * peak(g)) << x << " " << y << " " << a << b;
      }
    }
  }
}

TEST(Combination, ObservationDepthsInterpolated) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  // Two tabulated observation depths (0 and 4 km): at 2 km their mean.
  const std::vector<SourcePoint> src = {{3000, -2000, 9000, kP, 0}};
  const auto f = run(view, src, {at(5, 7, 0), at(5, 7, 4), at(5, 7, 2)}, Need::gradient);
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(f[2].u[a], 0.5 * (f[0].u[a] + f[1].u[a]), 1e-12 * std::fabs(f[2].u[a]));
    for (int b = 0; b < 3; ++b) {
      const double mean = 0.5 * (f[0].grad[a][b] + f[1].grad[a][b]);
      EXPECT_NEAR(f[2].grad[a][b], mean, 1e-9 * peak(f[2].grad));
    }
  }
}

// The sums do not depend on the workers nor on the instruction set (the wide kernels round as
// the baseline does), and summed by source model (the columns of a Green's matrix) they add up to
// the sum of all.
TEST(Combination, SameResultsForAnyWorkersInstructionsAndColumns) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  SourceModel s, t;
  s.rect = {0, -11258, 8500, 90, 30, 90, 2.0, 30000, 26000};
  t.rect = {4000, 3000, 6000, 20, 70, -40, 1.5, 9000, 5000};
  const auto pts = discretise({s, t}, Discretisation{1500, 2}, view.earth);
  std::vector<Receiver> rec;
  for (int i = 0; i < 150; ++i) rec.push_back(at(-30 + 0.4 * i, 20 - 0.33 * i, (i % 3) * 1.7));
  for (Need need : {Need::displacement, Need::strain, Need::gradient}) {
    SynthesisOptions o;
    o.need = need;
    o.threads = 1;
    o.wide = false;
    const auto one = synthesise(view, pts, rec, o);
    o.threads = 3;
    o.wide = true;
    const auto three = synthesise(view, pts, rec, o);
    PointSources by_model;
    by_model.points = pts;
    by_model.by_model = true;
    by_model.ncolumns = 2;
    const auto cols = fields_at(view, by_model, rec, 0, rec.size(), o);
    for (std::size_t i = 0; i < rec.size(); ++i) {
      const Field &a = one[i], &b = three[i], &c0 = cols[2 * i], &c1 = cols[2 * i + 1];
      const double tol = 1e-12 * peak(a.grad) + 1e-300;
      for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(a.u[p], b.u[p]);
        EXPECT_NEAR(c0.u[p] + c1.u[p], a.u[p], 1e-12 * std::fabs(a.u[p]) + 1e-18);
        for (int q = 0; q < 3; ++q) {
          EXPECT_EQ(a.grad[p][q], b.grad[p][q]);
          EXPECT_NEAR(c0.grad[p][q] + c1.grad[p][q], a.grad[p][q], tol);
        }
      }
    }
  }
  // Green's matrices of both directions alike for any number of workers.
  Problem p;
  p.sources = {s, t};
  p.receivers = rec;
  p.quantities = {Quantity::ux, Quantity::uz, Quantity::exy, Quantity::tx};
  p.patch_size = 1500;
  p.threads = 1;
  const auto one = greens_matrix(view, p, {SlipDirection::strike, SlipDirection::dip});
  p.threads = 3;
  EXPECT_EQ(one, greens_matrix(view, p, {SlipDirection::strike, SlipDirection::dip}));
}

std::string range_stop(const TableView& v, const std::vector<SourceModel>& models,
                       const std::vector<Receiver>& rec) {
  try {
    check_ranges(v, models, discretise(models, Discretisation{500, 2}, v.earth), rec, false);
  } catch (const Stop& s) {
    return s.what();
  }
  return "(no stop)";
}

TEST(Combination, PairsOutsideTheTablesNameTheFirstAndTheRangeNeeded) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  SourceModel p;
  p.kind = SourceModel::Kind::potency;
  p.label = "--point A";
  p.depth = 10000;
  p.tensor = kP;
  SourceModel q = p;
  q.label = "--point B";
  q.east = -30000;
  // Distances: the first receiver beyond 100 km of a source, and the farthest pair.
  const std::vector<Receiver> rec = {at(60, 0, 0), at(75, 0, 0), at(90, 0, 0)};
  const std::string far = range_stop(view, {p, q}, rec);
  EXPECT_NE(far.find("receiver at (75, 0) km, depth 0 km and --point B are 105 km apart"),
            std::string::npos)
      << far;
  EXPECT_NE(far.find("distances (0 to 100 km); the tables would need distances up to 120 km"),
            std::string::npos)
      << far;
  EXPECT_EQ(range_stop(view, {p, q}, {at(60, 0, 0)}), "(no stop)");
  // Source depths: a fault that reaches above the shallowest tabulated depth.
  SourceModel f;
  f.label = "faults.inp line 12 (fault 1)";
  f.rect = {0, 0, 5000, 0, 90, 0, 1.0, 10000, 9800};
  const std::string shallow = range_stop(view, {p, f}, rec);
  EXPECT_NE(shallow.find("faults.inp line 12 (fault 1) reaches from 0.1 to 9.9 km depth, above "
                         "the shallowest tabulated source depth (0.5 to 20.5 km); the tables "
                         "would need source depths from 0.1 to 10 km"),
            std::string::npos)
      << shallow;
  SourceModel deep = p;
  deep.depth = 21000;
  EXPECT_NE(range_stop(view, {deep}, rec).find("below the deepest"), std::string::npos);
  // Observation depths.
  const std::string obs = range_stop(view, {p}, {at(1, 1, 0), at(2, 2, 5)});
  EXPECT_NE(obs.find("receiver at (2, 2) km, depth 5 km is outside the tabulated observation "
                     "depths (0 to 4 km); the tables would need observation depths from 0 to 5 "
                     "km"),
            std::string::npos)
      << obs;
}

TEST(Quantities, CoulombStressOnTheReceiverFault) {
  Field f;
  const double lam = 3e10, mu = 2e10;
  Evaluation e;
  e.lambda = lam;
  e.mu = mu;
  e.friction = 0.4;
  // East-north shear strain: on a vertical fault striking north the shear traction is
  // sigma_en = 2 mu e_en, left-lateral positive, and there is no normal stress.
  f.grad = {{{0, 1e-6, 0}, {1e-6, 0, 0}, {0, 0, 0}}};
  e.fault = receiver_vectors({0, 90, 0, 0.4});
  EXPECT_NEAR(evaluate(Quantity::cfs, f, e), 2 * mu * 1e-6, 1e-3);
  e.fault = receiver_vectors({0, 90, 180, 0.4});
  EXPECT_NEAR(evaluate(Quantity::cfs, f, e), -2 * mu * 1e-6, 1e-3);
  // East-west extension unclamps that fault: friction times sigma_ee = (lambda + 2 mu) e_ee.
  f.grad = {{{1e-6, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
  EXPECT_NEAR(evaluate(Quantity::cfs, f, e), 0.4 * (lam + 2 * mu) * 1e-6, 1e-3);
  EXPECT_NEAR(evaluate(Quantity::syy, f, e), lam * 1e-6, 1e-3);
  // Tilt, rotation and line of sight.
  f.u = {1, 2, 3};
  f.grad = {{{0, 1, 0}, {3, 0, 0}, {5, 7, 0}}};
  e.los = {0.6, 0, 0.8};
  EXPECT_DOUBLE_EQ(evaluate(Quantity::tx, f, e), 5);
  EXPECT_DOUBLE_EQ(evaluate(Quantity::ty, f, e), 7);
  EXPECT_DOUBLE_EQ(evaluate(Quantity::wz, f, e), 1);
  EXPECT_DOUBLE_EQ(evaluate(Quantity::los, f, e), 0.6 + 2.4);
  EXPECT_EQ(need_of(parse_quantities("ux,los")), Need::displacement);
  EXPECT_EQ(need_of(parse_quantities("uz,cfs")), Need::strain);
  EXPECT_EQ(need_of(parse_quantities("sxx,tx")), Need::gradient);
}

}  // namespace
}  // namespace kirva::syn
