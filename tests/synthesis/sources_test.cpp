// Moment tensors, the readers of Coulomb files and slip tables, and the cutting of faults into
// Gauss points.
#include "synthesis/sources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kirva_files.h"
#include "stop.h"
#include "syn_fixture.h"
#include "synthesis/mechanism.h"

namespace kirva::syn {
namespace {

using kirva::testing::TempDir;
using kirva::testing::write_file;
using testing::coulomb_text;

std::string stop_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.what();
  }
  return "(no stop)";
}

TEST(MomentTensor, ElementarySourcesOfTheTables) {
  // Strike 0, dip 90, rake 0 is the strike-slip table's source, M_xy = M0; strike 90, dip 90,
  // rake 90 the dip-slip table's, M_xz = M0.
  const Tensor6 ss = double_couple(0, 90, 0, 2.0);
  EXPECT_NEAR(ss.xy, 2.0, 1e-15);
  for (double v : {ss.xx, ss.xz, ss.yy, ss.yz, ss.zz}) EXPECT_NEAR(v, 0.0, 1e-15);
  const Tensor6 ds = double_couple(90, 90, 90, 2.0);
  EXPECT_NEAR(ds.xz, 2.0, 1e-15);
  for (double v : {ds.xx, ds.xy, ds.yy, ds.yz, ds.zz}) EXPECT_NEAR(v, 0.0, 1e-15);
}

TEST(MomentTensor, IsTheDyadOfNormalAndSlip) {
  for (double strike : {0.0, 37.0, 200.0}) {
    for (double dip : {15.0, 60.0, 90.0}) {
      for (double rake : {-120.0, 0.0, 45.0, 90.0, 180.0}) {
        const Tensor6 m = double_couple(strike, dip, rake, 1.0);
        const FaultVectors f = fault_vectors(strike, dip, rake);
        auto dyad = [&](int i, int j) { return f.slip[i] * f.normal[j] + f.normal[i] * f.slip[j]; };
        EXPECT_NEAR(m.xx, dyad(0, 0), 1e-14);
        EXPECT_NEAR(m.xy, dyad(0, 1), 1e-14);
        EXPECT_NEAR(m.xz, dyad(0, 2), 1e-14);
        EXPECT_NEAR(m.yy, dyad(1, 1), 1e-14);
        EXPECT_NEAR(m.yz, dyad(1, 2), 1e-14);
        EXPECT_NEAR(m.zz, dyad(2, 2), 1e-14);
        EXPECT_NEAR(isotropic_part(m), 0.0, 1e-15);
        EXPECT_NEAR(norm(m), std::sqrt(2.0), 1e-14);
        // The slip lies in the plane; the normal of a dipping fault points up (z down < 0).
        EXPECT_NEAR(f.slip[0] * f.normal[0] + f.slip[1] * f.normal[1] + f.slip[2] * f.normal[2],
                    0.0, 1e-15);
        if (dip < 90) {
          EXPECT_LT(f.normal[2], 0.0);
        }
      }
    }
  }
}

TEST(MomentTensor, CatalogueConvention) {
  // A thrust striking north under east-west compression: M_rr > 0 and M_pp (east) < 0, as a
  // catalogue lists it; and the tensor comes back from its (r, t, p) components.
  const Tensor6 m = double_couple(0, 45, 90, 1.0);
  const double mrr = m.zz, mtt = m.xx, mpp = m.yy, mrt = m.xz, mrp = -m.yz, mtp = -m.xy;
  EXPECT_NEAR(mrr, 1.0, 1e-15);
  EXPECT_NEAR(mpp, -1.0, 1e-15);
  const Tensor6 back = from_rtp(mrr, mtt, mpp, mrt, mrp, mtp);
  EXPECT_EQ(back.xx, m.xx);
  EXPECT_EQ(back.xy, m.xy);
  EXPECT_EQ(back.xz, m.xz);
  EXPECT_EQ(back.yy, m.yy);
  EXPECT_EQ(back.yz, m.yz);
  EXPECT_EQ(back.zz, m.zz);
}

// Tables without the explosion: a tensor's isotropic part is dropped with a warning, an opening
// or volume source is refused; with it, both are kept whole.
TEST(MomentTensor, IsotropicPartsSettledByTheTables) {
  for (const bool tables : {false, true}) {
    std::vector<SourceModel> s = {tensor_source("1/2/10/3e17/1e17/2e17/0/0/0", Projector{}),
                                  tensor_source("0/0/10/1e17/-1e17/0/0/0/0", Projector{})};
    std::vector<std::string> warnings;
    settle_isotropic(s, tables, warnings);
    EXPECT_DOUBLE_EQ(s[0].east, 1000.0);
    EXPECT_DOUBLE_EQ(s[0].north, 2000.0);
    EXPECT_DOUBLE_EQ(s[0].tensor.zz, tables ? 3e17 : 1e17);
    EXPECT_NEAR(isotropic_part(s[0].tensor), tables ? 2e17 : 0.0, 1e3);
    ASSERT_EQ(warnings.size(), tables ? 0u : 1u);
    if (!tables) {
      EXPECT_NE(warnings[0].find("isotropic part"), std::string::npos) << warnings[0];
      EXPECT_NE(warnings[0].find("2e+17 N m"), std::string::npos) << warnings[0];
    }
    std::vector<SourceModel> mogi = {mogi_source("0/0/4/1e6", Projector{})};
    const std::string refused = stop_of([&] { settle_isotropic(mogi, tables, warnings); });
    EXPECT_EQ(refused.find("kirva --isotropic") != std::string::npos, !tables) << refused;
  }
  EXPECT_NE(stop_of([] { tensor_source("0/0/10/1/2/3", Projector{}); }).find("expected 9 values"),
            std::string::npos);
}

TEST(Coulomb, FaultRowsAndHeader) {
  TempDir dir;
  write_file(dir / "f.inp",
             coulomb_text({"  1   -15.0000     0.0000    15.0000     0.0000 100     0.0000     "
                           "2.0000    30.0000     2.0000    15.0000    thrust",
                           "  2     0.0000   -10.0000     0.0000    10.0000 400     3.0e6     "
                           "0.0000    90.0000     1.0000    12.0000"},
                          0.6));
  const CoulombFile c = read_coulomb((dir / "f.inp").string(), Projector{});
  ASSERT_EQ(c.sources.size(), 2u);
  ASSERT_TRUE(c.friction && c.depth_km && c.grid);
  EXPECT_DOUBLE_EQ(*c.friction, 0.6);
  EXPECT_DOUBLE_EQ(c.grid->x0, -30);
  EXPECT_DOUBLE_EQ(c.grid->y1, 30);
  EXPECT_DOUBLE_EQ(c.grid->dx, 1);
  // The thrust dips to the right of west -> east, that is south; reverse slip is rake 90.
  const Rectangle& r = c.sources[0].rect;
  EXPECT_EQ(c.sources[0].kind, SourceModel::Kind::rectangle);
  EXPECT_NEAR(r.strike, 90, 1e-12);
  EXPECT_NEAR(r.rake, 90, 1e-12);
  EXPECT_NEAR(r.slip, 2, 1e-15);
  EXPECT_NEAR(r.length, 30000, 1e-9);
  EXPECT_NEAR(r.width, 26000, 1e-9);
  EXPECT_NEAR(r.top(), 2000, 1e-9);
  EXPECT_NEAR(r.bottom(), 15000, 1e-9);
  EXPECT_NEAR(r.east, 0, 1e-9);
  EXPECT_NEAR(r.north, -6500 * std::sqrt(3.0), 1e-6);
  // Kode 400: a point of potency 3e6 m^3 at the plane's centre; right-lateral is rake 180.
  const SourceModel& p = c.sources[1];
  EXPECT_EQ(p.kind, SourceModel::Kind::potency);
  EXPECT_NEAR(p.depth, 6500, 1e-9);
  const Tensor6 want = double_couple(0, 90, 180, 3e6);
  EXPECT_NEAR(p.tensor.xy, want.xy, 1e-6);
  EXPECT_NEAR(p.tensor.xy, -3e6, 1e-6);
}

// The opening rows and the .inr form, each field where its Kode puts it.
TEST(Coulomb, OpeningRowsAndInrFiles) {
  TempDir dir;
  struct Case {
    const char* file;
    const char* kode;
    double a, b;  // the two fields
    bool point;
    double slip, rake, opening, tensile, inflation;
  } cases[] = {
      {"f.inp", "200", -0.5, 2.0, false, 0.5, 0.0, 2.0, 0, 0},    // right-lateral -0.5, opening 2
      {"f.inp", "300", 1.5, 0.25, false, 0.25, 90.0, 1.5, 0, 0},  // opening 1.5, reverse 0.25
      {"f.inp", "500", 3e6, -2e6, true, 0, 0, 0, 3e6, -2e6},      // tensile, inflation potency
      {"f.inr", "100", 135.0, 0.8, false, 0.8, 135.0, 0, 0, 0},   // rake and net slip
  };
  for (const Case& c : cases) {
    const std::string path = (dir / c.file).string();
    char row[160];
    std::snprintf(row, sizeof row,
                  "  1     0.0000   -10.0000     0.0000    10.0000 %s %g %g    60.0000     "
                  "1.0000    12.0000",
                  c.kode, c.a, c.b);
    write_file(path, coulomb_text({row}));
    const CoulombFile f = read_coulomb(path, Projector{});
    ASSERT_EQ(f.sources.size(), 1u);
    const SourceModel& s = f.sources[0];
    SCOPED_TRACE(std::string(c.file) + " Kode " + c.kode);
    EXPECT_EQ(s.kind == SourceModel::Kind::potency, c.point);
    EXPECT_TRUE(s.isotropic() == (c.opening != 0 || c.tensile != 0));
    if (c.point) {
      EXPECT_EQ(s.tensile, c.tensile);
      EXPECT_EQ(s.inflation, c.inflation);
      EXPECT_NEAR(s.dip, 60, 1e-12);
      EXPECT_NEAR(s.depth, 6500, 1e-9);
    } else {
      EXPECT_NEAR(s.rect.slip, c.slip, 1e-12);
      EXPECT_NEAR(s.rect.rake, c.rake, 1e-12);
      EXPECT_EQ(s.rect.opening, c.opening);
    }
  }
  // An .inr row of another Kode is refused.
  write_file(dir / "g.inr",
             coulomb_text({"  1     0.0000   -10.0000     0.0000    10.0000 200     1.0     0.5    "
                           "90.0000     1.0000    12.0000"}));
  EXPECT_NE(stop_of([&] {
              read_coulomb((dir / "g.inr").string(), Projector{});
            }).find("a .inr file holds Kode 100 rows"),
            std::string::npos);
}

TEST(Coulomb, RefusedRowsNameTheirLine) {
  TempDir dir;
  const std::string path = (dir / "f.inp").string();
  auto refusal = [&](const std::vector<std::string>& rows) {
    write_file(path, coulomb_text(rows));
    return stop_of([&] { read_coulomb(path, Projector{}); });
  };
  const std::string good =
      "  1     0.0000   -10.0000     0.0000    10.0000 100     1.0000     0.0000    90.0000     "
      "1.0000    12.0000";
  const std::string kode =
      refusal({good,
               "  2     0.0000   -10.0000     0.0000    10.0000 600     1.0000     0.5000    "
               "90.0000     1.0000    12.0000"});
  EXPECT_NE(kode.find(path + " line 13: fault 2 has Kode 600: known are"), std::string::npos)
      << kode;
  const std::string bad =
      refusal({"  1     0.0000   -10.0000     zero    10.0000 100     1.0000 "
               "    0.0000    90.0000     1.0000    12.0000"});
  EXPECT_NE(bad.find(path + " line 12: fault row: 'zero' is not a number"), std::string::npos)
      << bad;
  const std::string dip =
      refusal({"  1     0.0000   -10.0000     0.0000    10.0000 100     1.0000     0.0000    "
               "0.0000     1.0000    12.0000"});
  EXPECT_NE(dip.find("line 12: dip 0"), std::string::npos) << dip;
  const std::string upside =
      refusal({"  1     0.0000   -10.0000     0.0000    10.0000 100     1.0000     0.0000    "
               "90.0000     5.0000    3.0000"});
  EXPECT_NE(upside.find("not below the top depth"), std::string::npos) << upside;
  // Fewer rows than #fixed announces.
  std::string text = coulomb_text({good, good});
  text.erase(text.find(good), good.size() + 1);
  write_file(path, text);
  const std::string fewer = stop_of([&] { read_coulomb(path, Projector{}); });
  EXPECT_NE(fewer.find("announces 2 fault rows"), std::string::npos) << fewer;
  write_file(path, "no fault table here\n");
  EXPECT_NE(stop_of([&] { read_coulomb(path, Projector{}); }).find("has no fault table"),
            std::string::npos);
  EXPECT_NE(stop_of([&] { read_coulomb(path + ".missing", Projector{}); }).find("cannot open"),
            std::string::npos);
}

TEST(Patches, RowsAndMalformedLines) {
  TempDir dir;
  const std::string path = (dir / "p.txt").string();
  write_file(path,
             "# x y depth strike dip rake slip length width\n"
             "1 2 5   30 60 90   1.5   4 2   # a comment\n"
             "\n"
             "-1 0 8  120 45 -90  0.5   2 2\n");
  const auto p = read_patches(path, Projector{});
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].label, path + " line 2");
  EXPECT_DOUBLE_EQ(p[0].rect.east, 1000);
  EXPECT_DOUBLE_EQ(p[0].rect.north, 2000);
  EXPECT_DOUBLE_EQ(p[0].rect.length, 4000);
  EXPECT_NEAR(p[1].rect.top(), 8000 - 1000 * std::sqrt(0.5), 1e-9);
  write_file(path, "1 2 5 30 60 90 1.5 4 2\n1 2 5 30 60 90 1.5 4\n");
  const std::string short_line = stop_of([&] { read_patches(path, Projector{}); });
  EXPECT_NE(short_line.find(path + " line 2: expected 9 or 10 values"), std::string::npos)
      << short_line;
  write_file(path, "1 2 5 30 60 90 1.5 4 2 0.25\n");  // the tenth column: the opening
  EXPECT_EQ(read_patches(path, Projector{})[0].rect.opening, 0.25);
  write_file(path, "1 2 5 30 60 90 1.5 4 -2\n");
  EXPECT_NE(stop_of([&] { read_patches(path, Projector{}); }).find("line 1: length and width"),
            std::string::npos);
  write_file(path, "1 2 5 30 0 90 1.5 4 2\n");  // a horizontal patch
  EXPECT_NEAR(read_patches(path, Projector{})[0].rect.top(), 5000, 1e-9);
  write_file(path, "1 2 5 30 95 90 1.5 4 2\n");
  EXPECT_NE(stop_of([&] { read_patches(path, Projector{}); }).find("dip 95 is outside 0 to 90"),
            std::string::npos);
  write_file(path, "1 2 0.5 30 60 90 1.5 4 2\n");  // reaches above the surface
  EXPECT_NE(stop_of([&] { read_patches(path, Projector{}); }).find("above the surface"),
            std::string::npos);
}

TEST(Discretisation, GaussLegendreIsExactToDegree2nMinus1) {
  for (int n = 1; n <= 6; ++n) {
    std::vector<double> x, w;
    gauss_legendre(n, x, w);
    for (int p = 0; p <= 2 * n - 1; ++p) {
      double sum = 0;
      for (int i = 0; i < n; ++i) sum += w[i] * std::pow(x[i], p);
      EXPECT_NEAR(sum, p % 2 ? 0.0 : 2.0 / (p + 1), 1e-14) << n << " " << p;
    }
  }
}

TEST(Discretisation, PatchesCoverTheFaultWithItsPotency) {
  SourceModel s;
  s.rect = {1000, 2000, 8000, 30, 60, 90, 1.5, 4100, 2000};
  const EarthModel earth{{{0, 6000, 3464, 2700}}, {}, {}};
  for (int gauss : {1, 2, 3}) {
    const auto pts = discretise({s}, Discretisation{500.0, gauss}, earth);
    // ceil(4.1 / 0.5) = 9 patches along strike, 4 down dip.
    ASSERT_EQ(pts.size(), static_cast<std::size_t>(9 * 4 * gauss * gauss));
    const Tensor6 unit = double_couple(30, 60, 90, 1.0);
    double potency = 0, top = 1e9, bottom = 0;
    for (const auto& p : pts) {
      potency += p.potency.zz / unit.zz;
      top = std::min(top, p.depth);
      bottom = std::max(bottom, p.depth);
      // On the plane: the offset from the centre has no component along the normal.
      const FaultVectors f = fault_vectors(30, 60, 90);
      const double off = (p.north - 2000) * f.normal[0] + (p.east - 1000) * f.normal[1] +
                         (p.depth - 8000) * f.normal[2];
      EXPECT_NEAR(off, 0.0, 1e-9);
    }
    EXPECT_NEAR(potency, 1.5 * 4100 * 2000, 1e-6);
    EXPECT_GT(top, s.rect.top());
    EXPECT_LT(bottom, s.rect.bottom());
  }
  // A moment source is divided by the shear modulus at its depth.
  SourceModel m = point_source("0/0/10/0/90/0/3e16", Projector{});
  const auto pts = discretise({m}, Discretisation{500.0, 2}, earth);
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_NEAR(pts[0].potency.xy, 3e16 / earth.mu(10000), 1e-6);
}

// Opening and volume sources: the summed potency tensor of each is its moment tensor over the
// shear modulus at its depth, P (lambda I + 2 mu n n^T), mu P I or (lambda + 2 mu) dV I.
TEST(Discretisation, OpeningAndVolumeSourcesCarryTheirMomentTensors) {
  const EarthModel earth{{{3000, 5000, 2800, 2600}, {0, 6000, 3464, 2700}}, {}, {}};
  SourceModel dike;  // 0.7 m over 4.1 x 2 km, striking 30, dipping 60, centred at 8 km
  dike.rect = {1000, 2000, 8000, 30, 60, 0, 0.0, 4100, 2000, 0.7};
  SourceModel k500;  // a Kode 500 row's point: tensile and inflation potency
  k500.kind = SourceModel::Kind::potency;
  k500.depth = 2000;
  k500.strike = 200;
  k500.dip = 10;
  k500.tensile = 3e6;
  k500.inflation = -2e6;
  const struct {
    SourceModel s;
    double strike, dip, tensile, inflation, volume;
  } cases[] = {
      {dike, 30, 60, 0.7 * 4100 * 2000, 0, 0},
      {tensile_source("0/0/6/120/80/5e6", Projector{}), 120, 80, 5e6, 0, 0},
      {mogi_source("1/1/2.5/1e6", Projector{}), 0, 90, 0, 0, 1e6},
      {k500, 200, 10, 3e6, -2e6, 0},
  };
  for (const auto& c : cases) {
    const auto pts = discretise({c.s}, Discretisation{500.0, 2}, earth);
    Tensor6 sum;
    for (const auto& p : pts) sum = kirva::syn::sum(sum, p.potency);
    // The elastic constants of a point source's depth; the dike lies in the half-space.
    const double z = c.s.kind == SourceModel::Kind::rectangle ? c.s.rect.depth : c.s.depth;
    const double lam = earth.lambda(z), mu = earth.mu(z);
    const double f = c.strike * std::numbers::pi / 180, d = c.dip * std::numbers::pi / 180;
    const double n[3] = {-std::sin(d) * std::sin(f), std::sin(d) * std::cos(f), -std::cos(d)};
    const double iso = c.tensile * lam / mu + c.inflation + c.volume * (lam + 2 * mu) / mu;
    const double got[3][3] = {
        {sum.xx, sum.xy, sum.xz}, {sum.xy, sum.yy, sum.yz}, {sum.xz, sum.yz, sum.zz}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(got[i][j], (i == j ? iso : 0.0) + 2 * c.tensile * n[i] * n[j],
                    1e-9 * (std::fabs(iso) + std::fabs(c.tensile)))
            << c.s.label << " " << i << j;
  }
}

TEST(Projection, TransverseMercatorAboutTheOrigin) {
  Projector p;
  p.geographic = true;
  p.lon0 = 10;
  p.lat0 = 45;
  double e, n;
  p.project(10, 45, e, n);
  EXPECT_NEAR(e, 0, 1e-9);
  EXPECT_NEAR(n, 0, 1e-9);
  // One degree of latitude at 45 degrees is 111.13 km of meridian; one of longitude there
  // 78.8 km of parallel.
  p.project(10, 46, e, n);
  EXPECT_NEAR(e, 0, 1e-6);
  EXPECT_NEAR(n, 111141, 100);
  p.project(11, 45, e, n);
  EXPECT_NEAR(e, 78850, 100);
  EXPECT_NE(stop_of([&] { p.project(0, 95, e, n); }).find("latitude 95"), std::string::npos);
}

}  // namespace
}  // namespace kirva::syn

namespace kirva::syn {
namespace {

// A triangle in the plane of (strike, dip), given in either order of its vertices, has that
// strike and dip (a horizontal one strike 0); cut and integrated, its potency is slip times area
// and its points lie in the plane.
TEST(Triangles, OrientationFromTheNormalAndPotencyOfThePieces) {
  const double deg = std::numbers::pi / 180;
  for (const auto& [strike, dip] : std::vector<std::pair<double, double>>{
           {0, 90}, {30, 60}, {90, 30}, {200, 10}, {315, 89}, {0, 0}}) {
    const double f = strike * deg, d = dip * deg;
    const Vec3 s = {std::sin(f), std::cos(f), 0};  // along strike (east, north, depth)
    const Vec3 w = {std::cos(f) * std::cos(d), -std::sin(f) * std::cos(d), std::sin(d)};
    const Vec3 o = {1000, -2000, 6000};
    auto at = [&](double a, double b) {
      return Vec3{o[0] + a * s[0] + b * w[0], o[1] + a * s[1] + b * w[1],
                  o[2] + a * s[2] + b * w[2]};
    };
    const std::array<Vec3, 3> v = {at(0, 0), at(3000, 500), at(1000, 2500)};
    for (const bool reversed : {false, true}) {
      const std::array<Vec3, 3> u = reversed ? std::array<Vec3, 3>{v[0], v[2], v[1]} : v;
      const SourceModel t = triangle_source(u, 0.6, -0.8, 0.0, "t");
      EXPECT_NEAR(t.rect.dip, dip, 1e-9) << strike << " " << dip;
      // A vertical triangle's strike is that of its vertices' order: either way along the line.
      EXPECT_NEAR(std::remainder(t.rect.strike - strike, dip == 90 ? 180.0 : 360.0), 0.0, 1e-9)
          << strike << " " << dip;
      EXPECT_NEAR(t.rect.slip, 1.0, 1e-12);
      for (int gauss : {1, 2, 3, 4}) {
        const auto pts = discretise({t}, Discretisation{700.0, gauss},
                                    EarthModel{{{0, 6000, 3464, 2700}}, {}, {}});
        const Tensor6 unit = double_couple(t.rect.strike, t.rect.dip, t.rect.rake, 1.0);
        double potency = 0;
        for (const auto& p : pts) {
          potency += norm(p.potency) / norm(unit);
          const FaultVectors fv = fault_vectors(t.rect.strike, t.rect.dip, 0);
          EXPECT_NEAR((p.north - o[1]) * fv.normal[0] + (p.east - o[0]) * fv.normal[1] +
                          (p.depth - o[2]) * fv.normal[2],
                      0.0, 1e-6);
        }
        EXPECT_NEAR(potency, 0.5 * (3000 * 2500 - 500 * 1000), 1e-3) << gauss;
      }
    }
  }
}

// Each rule integrates the monomials x^p y^q over the triangle (0,0), (1,0), (0,1) exactly to its
// degree: p! q! / (p + q + 2)!.
TEST(Triangles, RulesAreExactToTheirDegree) {
  for (int gauss = 1; gauss <= 3; ++gauss) {
    const TriangleRule r = triangle_rule(gauss);
    EXPECT_EQ(r.degree, gauss == 1 ? 1 : gauss == 2 ? 4 : 5);
    for (int p = 0; p <= r.degree; ++p) {
      for (int q = 0; p + q <= r.degree; ++q) {
        double sum = 0;
        for (std::size_t i = 0; i < r.points.size(); ++i)
          sum += 0.5 * r.weights[i] * std::pow(r.points[i][0], p) * std::pow(r.points[i][1], q);
        EXPECT_NEAR(sum, std::tgamma(p + 1) * std::tgamma(q + 1) / std::tgamma(p + q + 3), 1e-14)
            << gauss << " " << p << " " << q;
      }
    }
  }
}

}  // namespace
}  // namespace kirva::syn
