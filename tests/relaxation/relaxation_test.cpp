// Relaxation through time: the inversion of the Laplace transform against closed forms, the
// --times list, and the engine's tables at times after the source in their two limits (no
// relaxation yet, and a standard linear solid fully relaxed), in both modes.
#include "relaxation/relaxation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/input.h"
#include "driver/table.h"
#include "integration/accurate.h"
#include "integration/bessel.h"
#include "kirva_files.h"
#include "relaxation/stehfest_direct.h"
#include "stop.h"
#include "tables/extension.h"
#include "tables/sources.h"

namespace kirva {
namespace {

// Step responses u(t) = L^-1[y(s)/s] of Laplace-domain responses y(s) whose inverse is known:
// one relaxation (1/(1 + s tau))^n, the Savage-Prescott image factor, and a Burgers body's
// compliance-like mix of a fast and a slow time.
TEST(Inversion, RecoversClosedFormStepResponses) {
  struct Case {
    double t1, t2;
    int n;
  };
  const Case windows[] = {{3.0, 3.0, 1}, {1.0, 10.0, 20}, {1.0, 100.0, 20}, {0.1, 300.0, 30}};
  for (const Case& c : windows) {
    std::vector<double> times;
    for (int i = 0; i < c.n; ++i)
      times.push_back(c.n == 1 ? c.t1 : c.t1 * std::pow(c.t2 / c.t1, i / (c.n - 1.0)));
    const InversionPlan p = plan_inversion(times);
    for (std::size_t i = 0; i < times.size(); ++i) {
      double sum = 0.0;
      for (std::size_t m = 0; m < p.s.size(); ++m) sum += p.weight(i, m);
      EXPECT_NEAR(sum, 1.0, 1e-8) << "constants are kept";
    }
    for (double tau_years : {c.t1 / 10, c.t1, std::sqrt(c.t1 * c.t2), c.t2, 10 * c.t2}) {
      const double tau = tau_years * kSecondsPerYear;
      struct Response {
        const char* name;
        std::function<double(double)> y;  // of s
        std::function<double(double)> u;  // of T = t / tau
      };
      const Response responses[] = {
          {"one relaxation", [&](double s) { return 1.0 / (1.0 + s * tau); },
           [](double T) { return 1.0 - std::exp(-T); }},
          {"second-order image", [&](double s) { return std::pow(1.0 + s * tau, -2.0); },
           [](double T) { return 1.0 - std::exp(-T) * (1.0 + T); }},
          {"two times",
           [&](double s) { return 0.3 / (1.0 + s * tau / 20) + 0.7 / (1.0 + s * tau); },
           [](double T) { return 0.3 * (1.0 - std::exp(-20 * T)) + 0.7 * (1.0 - std::exp(-T)); }},
      };
      for (const Response& r : responses) {
        double worst = 0.0;
        for (std::size_t i = 0; i < times.size(); ++i) {
          double u = 0.0;
          for (std::size_t m = 0; m < p.s.size(); ++m) u += p.weight(i, m) * r.y(p.s[m]);
          worst = std::max(worst, std::fabs(u - r.u(times[i] / tau_years)));
        }
        EXPECT_LT(worst, 1e-3) << r.name << ", tau " << tau_years << " yr, times " << c.t1 << " to "
                               << c.t2 << " (" << p.s.size() << " nodes)";
      }
    }
  }
}

TEST(Times, ListsAndRanges) {
  struct Good {
    const char* list;
    std::vector<double> times;
  };
  const Good good[] = {{"1,10,3", {1, 3, 10}},
                       {"0,2.5,2.5", {2.5}},
                       {"0", {}},
                       {"1/100/3", {1, 10, 100}},
                       {"0.5/8/5", {0.5, 1, 2, 4, 8}}};
  for (const Good& g : good) {
    const std::vector<double> t = parse_times(g.list);
    ASSERT_EQ(t.size(), g.times.size()) << g.list;
    for (std::size_t i = 0; i < t.size(); ++i) EXPECT_NEAR(t[i], g.times[i], 1e-12 * g.times[i]);
  }
  const char* bad[] = {"",       "1,,2",   "-1",    "1/100", "0/10/5", "10/1/5",
                       "1/10/1", "1/10/x", "1e400", "nan",   "2,abc",  "1/2/3/4"};
  for (const char* b : bad) {
    try {
      parse_times(b);
      ADD_FAILURE() << "accepted '" << b << "'";
    } catch (const Stop& e) {
      EXPECT_EQ(std::string(e.what()).find(" Error in krvmain: --times "), 0u) << e.what();
    }
  }
}

TEST(Rheology, LaplaceModulusLimits) {
  const double mu = 3e10, big = 1e30, small = 1e-30;
  const Rheology maxwell{1e19, 0, 0}, sls{0, 1e19, 0.5}, burgers{1e19, 1e18, 2.0};
  for (const Rheology& r : {maxwell, sls, burgers})
    EXPECT_NEAR(laplace_mu(mu, r, big), mu, 1e-9 * mu) << "unrelaxed at t = 0+";
  EXPECT_NEAR(laplace_mu(mu, maxwell, small), 0.0, 1e-9 * mu);
  EXPECT_NEAR(laplace_mu(mu, sls, small), mu * 0.5 * mu / (mu + 0.5 * mu), 1e-9 * mu);
  EXPECT_NEAR(laplace_mu(mu, burgers, small), 0.0, 1e-9 * mu);
  EXPECT_EQ(laplace_mu(mu, Rheology{}, 1e-9), mu);
}

// The Bessel tables of both modes, filled once.
struct Tables {
  std::array<std::unique_ptr<BesselTables>, 3> plain;
  std::array<std::unique_ptr<AccurateBessel>, 3> acc;
  Tables() {
    for (auto& t : plain) t = std::make_unique<BesselTables>();
    for (auto& t : acc) t = std::make_unique<AccurateBessel>();
    krvbstab_orders(*plain[0], *plain[1], *plain[2], 0, ntab);
    fill_accurate_orders(*acc[0], *acc[1], *acc[2], 0, kAccIntervals - 1);
  }
};
const Tables& tables() {
  static const Tables t;
  return t;
}

// A model read from the text of its model lines, its layer table and the tables of one source
// type and depth pair, elastic and at the given times.
struct Model {
  std::unique_ptr<RunInput> inp = std::make_unique<RunInput>();
  std::unique_ptr<LayerTable> lt = std::make_unique<LayerTable>();
  std::unique_ptr<RowTable> rows = std::make_unique<RowTable>();
  explicit Model(const std::string& lines, int nlines) {
    std::istringstream in("0 0 1\n61 0 30\n3 1 11\n0\n'./' 'a' 'b' 'c'\n" + std::to_string(nlines) +
                          "\n" + lines);
    read_input(in, "model", *inp);
    int ierr = 0;
    krvslice(inp->resol, ierr, inp->prof, *lt);
    krvrowtab(*lt, *rows);
  }
  // w.grn: elastic; w.at_times: at the times, by the run's inversion or by the earths given.
  void compute(bool accurate, int type, double zs, double zrec, const std::vector<double>& times,
               TableWork& w, const LaplaceEarths* given = nullptr) const {
    LaplaceEarths own;
    if (given == nullptr) make_laplace_earths(*lt, times, own);
    const LaplaceEarths& e = given != nullptr ? *given : own;
    prepare_depth_pair(*lt, zs, zrec, w.cl, w.pair);
    const int order = source_info(static_cast<SourceType>(type - 1)).order;
    const double lambda = w.pair.receiver.lambda, mu = w.pair.receiver.mu;
    inp->rhalf = accurate ? kAccurateSmoothing : 500.0;
    if (accurate) {
      compute_table(*inp, *lt, *rows, *tables().acc[order], type, zs, zrec, lambda, mu, w);
      compute_at_times(*inp, e, *tables().acc[order], type, zs, zrec, w);
    } else {
      compute_table(*inp, *lt, *rows, *tables().plain[order], type, zs, zrec, lambda, mu, w);
      compute_at_times(*inp, e, *tables().plain[order], type, zs, zrec, w);
    }
  }
};

// The largest deviation of b from a over all distances, as a share of each component's peak in a
// and in `peaks` (the coseismic table, say) when given. Components whose peak is below 1e-9 of the
// largest of their kind (displacements, strains) are zero in the physics, as the shear strains at
// the free surface, and rounding there is no deviation.
double worst_share(const GreenTable& a, const GreenTable& b, int nr,
                   const GreenTable* peaks = nullptr) {
  const GreenTable& p = peaks != nullptr ? *peaks : a;
  std::array<double, 11> peak{};
  for (int c = 1; c <= 10; ++c)
    for (int j = 1; j <= nr; ++j)
      peak[c] = std::max({peak[c], std::fabs(p(c, j)), std::fabs(a(c, j))});
  const double udisp = std::max({peak[1], peak[2], peak[3]});
  const double ustrain = *std::max_element(peak.begin() + 4, peak.begin() + 10);
  double worst = 0.0;
  for (int c = 1; c <= 10; ++c) {
    const double kind = c <= 3 ? udisp : c <= 9 ? ustrain : peak[10];
    if (!(peak[c] > 1e-9 * kind)) continue;
    double dev = 0.0;
    for (int j = 1; j <= nr; ++j) dev = std::max(dev, std::fabs(b(c, j) - a(c, j)));
    worst = std::max(worst, dev / peak[c]);
  }
  return worst;
}

// The elastic, the lower-crust and the half-space lines of a model; {v} in a line stands for its
// viscous columns.
std::string crust(const std::string& upper, const std::string& lower, const std::string& mantle) {
  return "1 0 5.8 3.35 2650 " + upper + "\n2 15 6.2 3.58 2750 " + upper + "\n3 15 6.5 3.75 2850 " +
         lower + "\n4 30 7.0 4.0 3000 " + lower + "\n5 30 8.0 4.5 3300 " + mantle + "\n";
}

// No relaxation: a model without viscosity has the elastic tables at every time, and one whose
// viscosities put every relaxation time beyond 1e20 years stays elastic to within 1e-6.
TEST(Relaxation, ElasticLimit) {
  const Model elastic(crust("", "", ""), 5);
  const Model stiff(crust("1e40", "1e40 1e40 1", "0 1e40 0.5"), 5);
  const std::vector<double> times = {1.0, 100.0, 1e4};
  auto w = std::make_unique<TableWork>();
  auto v = std::make_unique<TableWork>();
  for (const bool accurate : {false, true}) {
    for (const int type : {1, 2, 3, 4}) {
      for (const auto& [zs, zrec] : {std::pair{3000.0, 0.0}, std::pair{11000.0, 11000.0}}) {
        elastic.compute(accurate, type, zs, zrec, times, *w);
        stiff.compute(accurate, type, zs, zrec, times, *v);
        for (std::size_t i = 0; i < times.size(); ++i) {
          EXPECT_EQ(w->at_times[i].v, w->grn.v);
          EXPECT_LT(worst_share(w->grn, v->at_times[i], elastic.inp->nr), 1e-6)
              << "mode " << accurate << " type " << type << " zs " << zs << " zrec " << zrec
              << " t " << times[i];
        }
      }
    }
  }
}

// Fully relaxed: a standard linear solid at 100 of its Kelvin times is the elastic earth with the
// relaxed shear modulus mu mu_K / (mu + mu_K) and the same bulk modulus, given to the run as
// velocities of its own.
TEST(Relaxation, RelaxedStandardLinearSolid) {
  const double ro = 2850, vp = 6500, vs = 3750, ratio = 0.5, eta_k = 1e19;
  const double mu = ro * vs * vs, bulk = ro * vp * vp - 4.0 * mu / 3.0;
  const double mu_r = mu * ratio * mu / (mu + ratio * mu);
  char relaxed[128];
  std::snprintf(relaxed, sizeof relaxed, "%.17g %.17g",
                std::sqrt((bulk + 4 * mu_r / 3) / ro) / 1000, std::sqrt(mu_r / ro) / 1000);
  auto line = [&](int n, double z, const std::string& vel, const std::string& visc) {
    return std::to_string(n) + " " + std::to_string(z) + " " + vel + " 2850 " + visc + "\n";
  };
  // The relaxing layer from 15 to 30 km, between an elastic crust and an elastic mantle.
  const std::string top = "1 0 5.8 3.35 2650\n2 15 5.8 3.35 2650\n";
  const std::string bottom = "5 30 8.0 4.5 3300\n";
  const std::string visc = "0 1e19 0.5";
  const Model sls(top + line(3, 15, "6.5 3.75", visc) + line(4, 30, "6.5 3.75", visc) + bottom, 5);
  const Model relaxed_model(top + line(3, 15, relaxed, "") + line(4, 30, relaxed, "") + bottom, 5);
  const double tau_k = eta_k / (ratio * mu) / kSecondsPerYear;
  auto w = std::make_unique<TableWork>();
  auto v = std::make_unique<TableWork>();
  for (const bool accurate : {false, true}) {
    for (const int type : {1, 2, 3, 4}) {
      for (const auto& [zs, zrec] : {std::pair{5000.0, 0.0}, std::pair{11000.0, 20000.0}}) {
        sls.compute(accurate, type, zs, zrec, {100 * tau_k}, *w);
        relaxed_model.compute(accurate, type, zs, zrec, {}, *v);
        const std::string where = "mode " + std::to_string(accurate) + " type " +
                                  std::to_string(type) + " zs " + std::to_string(zs) + " zrec " +
                                  std::to_string(zrec);
        EXPECT_LT(worst_share(v->grn, w->at_times[0], sls.inp->nr), 1e-3) << where;
        EXPECT_GT(worst_share(v->grn, w->grn, sls.inp->nr), 2e-3) << "it has relaxed: " << where;
      }
    }
  }
}

// The run's inversion against Gaver-Stehfest with 14 terms at each time's own nodes, over the
// same Laplace-domain earths: an elastic layer over a Maxwell half-space and a Burgers lower
// crust, every source type, out to 10 relaxation times, within 1e-3 of each component's peak
// (coseismic or at the time: the dip-slip's tangential displacement at the surface of the
// unrelaxed half-space is zero).
TEST(Relaxation, SecondInversionAgrees) {
  const Model sp("1 0 6 3.464 2700\n2 30 6 3.464 2700\n3 30 6 3.464 2700 1e19\n", 3);
  const Model burgers(crust("", "1e19 1e18 0.5", "3e19"), 5);
  const double tau = 2 * 1e19 / (2700 * 3464.0 * 3464.0) / kSecondsPerYear;
  const std::vector<double> times = {tau / 3, tau, 3 * tau, 10 * tau};
  auto w = std::make_unique<TableWork>();
  auto v = std::make_unique<TableWork>();
  double largest = 0.0;
  for (const Model* m : {&sp, &burgers}) {
    LaplaceEarths second;
    testing::stehfest_direct(*m->lt, times, 14, second);
    for (const bool accurate : {false, true}) {
      for (const int type : {1, 2, 3, 4}) {
        m->compute(accurate, type, 9000.0, 0.0, times, *w);
        m->compute(accurate, type, 9000.0, 0.0, times, *v, &second);
        for (std::size_t i = 0; i < times.size(); ++i) {
          const double dev = worst_share(w->at_times[i], v->at_times[i], m->inp->nr, &w->grn);
          largest = std::max(largest, dev);
          EXPECT_LT(dev, 1e-3) << (m == &sp ? "layer over Maxwell" : "Burgers crust") << ", mode "
                               << accurate << " type " << type << " t " << times[i] / tau << " tau";
        }
      }
    }
  }
  std::printf("largest deviation between the two inversions: %.2e of the peak\n", largest);
}

// The files of a run through time: grnfun.all and the text tables as without --times, the tables
// at the times in grnfun.ext after the explosion's elastic one, the provenance; the viscous
// columns read only by such a run, and a stale grnfun.ext removed by a run without them.
TEST(RunThroughTime, Files) {
  using namespace testing;
  TempDir dir;
  auto input = [](const std::string& mantle) {
    return "0 4 4\n21 0 20\n3 2 6\n0\n'./' 'a' 'b' 'c'\n3\n1 0 6 3.464 2700 ! crust\n"
           "2 20 6 3.464 2700\n3 20 8 4.5 3300 " +
           mantle + "\n";
  };
  write_file(dir / "in", input("1e19 ! a Maxwell mantle"));
  ASSERT_EQ(run_kirva(dir.path(), {"--isotropic", "in"}).status, 0);
  std::vector<std::string> before;
  for (const char* f : {"grnfun.all", "a", "b", "c", "grnfun.ext"})
    before.push_back(read_file(dir / f));
  const RunResult r = run_kirva(dir.path(), {"--isotropic", "--times", "10,1", "in"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(read_file(dir / std::vector<std::string>{"grnfun.all", "a", "b", "c"}[i]), before[i]);
  const std::string ext = read_file(dir / "grnfun.ext");
  const int nlayer = le_i32(before[0], 0);
  using enum SourceType;
  const std::vector<extension::Descriptor> d = {{ex, 0},  {ss, 1},  {ds, 1},  {cl, 1}, {ex, 1},
                                                {ss, 10}, {ds, 10}, {cl, 10}, {ex, 10}};
  ASSERT_EQ(ext.size(), extension::file_length(d, nlayer, 21, 3, 2));
  for (std::size_t i = 0; i < d.size(); ++i) {
    const std::size_t off = extension::descriptor_offset(nlayer, static_cast<int>(i));
    EXPECT_EQ(le_i32(ext, off), static_cast<int>(d[i].type) + 1);
    EXPECT_EQ(le_f64(ext, off + 8), d[i].time);
  }
  // The explosion's elastic tables are those of the run without times, at every depth.
  const std::span<const extension::Descriptor> alone(d.data(), 1);
  for (int k = 0; k < 2; ++k) {
    const std::size_t n = 8 * 7 * 3 * 21;
    EXPECT_EQ(ext.substr(extension::column_offset(d, nlayer, 21, 3, k, 0, 0, 0), n),
              before[4].substr(extension::column_offset(alone, nlayer, 21, 3, k, 0, 0, 0), n));
  }
  const std::string json = read_file(dir / "grnfun.json");
  EXPECT_NE(json.find("\"times\": [1, 10]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"times_years\": [0, 1, 10]"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"row\": 2, \"top_km\": 20, \"eta_M\": 1e+19"), std::string::npos) << json;
  ASSERT_EQ(run_kirva(dir.path(), {"in"}).status, 0);
  EXPECT_FALSE(fs::exists(dir / "grnfun.ext"));

  struct Bad {
    std::string mantle, args, message;
  };
  const Bad bad[] = {
      {"-1e19", "1",
       " Error in krvmain: model line 3: eta_M, eta_K and mu_K/mu must be 0 or positive!"},
      {"0 1e19", "1",
       " Error in krvmain: model line 3: a Kelvin element (eta_K) needs mu_K/mu above 0!"},
      {"1e19", "1,x", " Error in krvmain: --times 1,x: 'x' is not a number of years"},
  };
  for (const Bad& b : bad) {
    write_file(dir / "in", input(b.mantle));
    EXPECT_EQ(run_kirva(dir.path(), {"in"}).status, 0) << "an elastic run reads no viscous column";
    const RunResult f = run_kirva(dir.path(), {"--times", b.args, "in"});
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.err, b.message + "\n");
  }
}

}  // namespace
}  // namespace kirva
