// The synthesis against Okada's (1992) closed-form half-space solutions: a homogeneous library,
// cubic interpolation and 0.5 km patches of 2x2 Gauss points reproduce the reference sets
// to the stated shares of the peak displacement and strain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "kirva_files.h"
#include "syn_fixture.h"
#include "synthesis/combine.h"
#include "synthesis/sources.h"

namespace kirva::syn {
namespace {

using namespace kirva::syn::testing;
using kirva::testing::TempDir;
using kirva::testing::write_file;

struct Deviations {
  double u_all = 0, e_all = 0, u_far = 0, e_far = 0;  // shares of the peaks
};

// Largest deviation of any component, as a share of the peak |u| and the peak strain
// component, over all receivers and over those with far(x, y, depth).
Deviations compare(const std::vector<Reference>& ref, const std::vector<Field>& got,
                   const std::function<bool(const Reference&)>& far) {
  double upeak = 0, epeak = 0;
  for (const auto& r : ref) {
    upeak = std::max(upeak, std::hypot(r.u[0], r.u[1], r.u[2]));
    for (double e : r.e) epeak = std::max(epeak, std::fabs(e));
  }
  Deviations d;
  const int ij[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
  for (std::size_t i = 0; i < ref.size(); ++i) {
    double du = 0, de = 0;
    for (int c = 0; c < 3; ++c) du = std::max(du, std::fabs(got[i].u[c] - ref[i].u[c]));
    for (int c = 0; c < 6; ++c) {
      const auto& g = got[i].grad;
      const double e = 0.5 * (g[ij[c][0]][ij[c][1]] + g[ij[c][1]][ij[c][0]]);
      de = std::max(de, std::fabs(e - ref[i].e[c]));
    }
    d.u_all = std::max(d.u_all, du / upeak);
    d.e_all = std::max(d.e_all, de / epeak);
    if (far(ref[i])) {
      d.u_far = std::max(d.u_far, du / upeak);
      d.e_far = std::max(d.e_far, de / epeak);
    }
  }
  return d;
}

std::vector<Field> synthesis_at(const TableView& view, const std::vector<SourceModel>& models,
                                const std::vector<Reference>& ref) {
  std::vector<Receiver> rec;
  for (const auto& r : ref) {
    Receiver c;
    c.x = r.x;
    c.y = r.y;
    c.east = r.x * 1000;
    c.north = r.y * 1000;
    c.depth = r.depth * 1000;
    rec.push_back(c);
  }
  const Discretisation d{500.0, 2};
  const auto points = discretise(models, d, view.earth);
  check_ranges(view, models, points, rec, false);
  SynthesisOptions opt;
  opt.threads = 2;
  return synthesise(view, points, rec, opt);
}

std::vector<SourceModel> coulomb_faults(const std::string& row) {
  TempDir dir;
  write_file(dir / "fault.inp", coulomb_text({row}));
  return read_coulomb((dir / "fault.inp").string(), Projector{}).sources;
}

void report(const char* name, const Deviations& d) {
  std::printf(
      "okada %s: displacement %.3f %% (all), %.3f %% (far); strain %.3f %% (all), "
      "%.3f %% (far)\n",
      name, 100 * d.u_all, 100 * d.u_far, 100 * d.e_all, 100 * d.e_far);
}

// Distance (km) from (x, y) to the rectangle [x0, x1] x [y0, y1].
double to_box(double x, double y, double x0, double x1, double y0, double y1) {
  const double dx = std::max({0.0, x0 - x, x - x1}), dy = std::max({0.0, y0 - y, y - y1});
  return std::hypot(dx, dy);
}

// The thrust: top edge (-15, 0) -> (15, 0) at 2 km, dipping 30 degrees south to 15 km.
const char* kThrust =
    "  1   -15.0000     0.0000    15.0000     0.0000 100     0.0000     2.0000    30.0000     "
    "2.0000    15.0000    thrust";
const double kThrustSouth = -13.0 / std::tan(30.0 * M_PI / 180.0);  // y of the bottom edge

TEST(Okada, VerticalStrikeSlipFault) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  const auto ref = read_reference("strike-slip-vertical.csv");
  ASSERT_EQ(ref.size(), 3721u);
  const auto models = coulomb_faults(
      "  1     0.0000   -10.0000     0.0000    10.0000 100     1.0000     0.0000    90.0000     "
      "1.0000    12.0000    vertical");
  const auto d = compare(ref, synthesis_at(view, models, ref),
                         [](const Reference& r) { return to_box(r.x, r.y, 0, 0, -10, 10) > 2; });
  report("strike-slip-vertical", d);
  EXPECT_LT(d.u_all, 0.01);
  EXPECT_LT(d.u_far, 0.002);
  EXPECT_LT(d.e_all, 0.03);
  EXPECT_LT(d.e_far, 0.003);
}

TEST(Okada, ThrustFault) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  const auto ref = read_reference("thrust-30.csv");
  ASSERT_EQ(ref.size(), 3721u);
  const auto d =
      compare(ref, synthesis_at(view, coulomb_faults(kThrust), ref),
              [](const Reference& r) { return to_box(r.x, r.y, -15, 15, kThrustSouth, 0) > 2; });
  report("thrust-30", d);
  EXPECT_LT(d.u_all, 0.01);
  EXPECT_LT(d.u_far, 0.002);
  EXPECT_LT(d.e_all, 0.03);
  EXPECT_LT(d.e_far, 0.003);
}

TEST(Okada, ProfileAtDepthAcrossTheThrust) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  const auto ref = read_reference("thrust-30-depth4.csv");
  ASSERT_EQ(ref.size(), 121u);
  // Distance to the fault plane in the vertical section x = const (the profile at x = 5 km
  // lies within the fault's length): the segment from (y 0, depth 2) to (bottom, 15).
  auto to_plane = [](const Reference& r) {
    const double ay = 0, az = 2, by = kThrustSouth, bz = 15;
    const double t = std::clamp(((r.y - ay) * (by - ay) + (r.depth - az) * (bz - az)) /
                                    ((by - ay) * (by - ay) + (bz - az) * (bz - az)),
                                0.0, 1.0);
    return std::hypot(r.y - (ay + t * (by - ay)), r.depth - (az + t * (bz - az)));
  };
  const auto d = compare(ref, synthesis_at(view, coulomb_faults(kThrust), ref),
                         [&](const Reference& r) { return to_plane(r) > 1; });
  report("thrust-30-depth4", d);
  EXPECT_LT(d.u_far, 0.01);
  EXPECT_LT(d.e_far, 0.03);
}

TEST(Okada, PointSourceGivenByItsMoment) {
  REQUIRE_OKADA_LIBRARY();
  const TableView view = view_of(lib);
  const auto ref = read_reference("point-10km.csv");
  ASSERT_EQ(ref.size(), 3721u);
  // Potency 1e6 m^3 as the moment mu * 1e6 N m, mu at the source depth.
  const double m0 = view.earth.mu(10000.0) * 1e6;
  char text[128];
  std::snprintf(text, sizeof text, "0/0/10/30/60/90/%.17g", m0);
  const std::vector<SourceModel> models = {point_source(text, Projector{})};
  const auto d = compare(ref, synthesis_at(view, models, ref),
                         [](const Reference& r) { return std::hypot(r.x, r.y) > 2; });
  report("point-10km", d);
  EXPECT_LT(d.u_far, 0.005);
  EXPECT_LT(d.e_far, 0.015);
}

// Opening and volume sources, through the explosion's table: a vertical dike (Kode 300), a
// nearly horizontal sill (Kode 200) and a Mogi source, in both modes, to the bars of the shear
// faults. One exception, the plain mode's displacement of the dike directly above its top edge
// (1 km deep): the plain tables are smoothed over about their distance step, which shifts the
// near field of a source 1.1 km deep by about 1 % of its peak; there it is held to 2 %.
TEST(Okada, OpeningAndVolumeSources) {
  REQUIRE_OKADA_LIBRARY();
  const GreenLibrary* accurate = okada_accurate_library();
  ASSERT_NE(accurate, nullptr) << KIRVA_OKADA_ACCURATE_LIBRARY;
  const double sill_south = 3 - 0.5 / std::tan(5.0 * M_PI / 180.0);
  const struct {
    const char* file;
    std::vector<SourceModel> models;
    double x0, x1, y0, y1;  // the source's surface projection (km)
    double plain_u_all;     // the plain mode's bound of the displacement everywhere
  } cases[] = {
      {"dike-vertical.csv",
       coulomb_faults("  1    -8.0000     0.0000     8.0000     0.0000 300     1.0000     0.0000  "
                      "  90.0000     1.0000    10.0000    dike"),
       -8, 8, 0, 0, 0.02},
      {"sill-5km.csv",
       coulomb_faults("  1    -6.0000     3.0000     6.0000     3.0000 200     0.0000     1.0000  "
                      "   5.0000     4.8000     5.3000    sill"),
       -6, 6, sill_south, 3, 0.01},
      {"mogi-4km.csv", {mogi_source("4/-5/4/1e6", Projector{})}, 4, 4, -5, -5, 0.01},
  };
  for (const GreenLibrary* l : {&lib, accurate}) {
    const TableView view = view_of(*l);
    ASSERT_TRUE(view.isotropic) << l->path() << " is made with kirva --isotropic";
    const bool plain = l == &lib;
    for (const auto& c : cases) {
      const auto ref = read_reference(c.file);
      ASSERT_EQ(ref.size(), 3721u) << c.file;
      const auto d = compare(ref, synthesis_at(view, c.models, ref), [&](const Reference& r) {
        return to_box(r.x, r.y, c.x0, c.x1, c.y0, c.y1) > 2;
      });
      const std::string name = std::string(c.file) + (plain ? " (plain)" : " (accurate)");
      report(name.c_str(), d);
      EXPECT_LT(d.u_all, plain ? c.plain_u_all : 0.01) << name;
      EXPECT_LT(d.u_far, 0.002) << name;
      EXPECT_LT(d.e_all, 0.03) << name;
      EXPECT_LT(d.e_far, 0.003) << name;
    }
  }
}

}  // namespace
}  // namespace kirva::syn
