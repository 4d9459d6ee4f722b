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

TEST(MomentTensor, IsotropicPartDroppedWithAWarning) {
  std::string warning;
  const SourceModel s = tensor_source("1/2/10/3e17/1e17/2e17/0/0/0", Projector{}, warning);
  EXPECT_NE(warning.find("isotropic part"), std::string::npos) << warning;
  EXPECT_NE(warning.find("2e+17 N m"), std::string::npos) << warning;
  EXPECT_NEAR(isotropic_part(s.tensor), 0.0, 1e3);
  EXPECT_DOUBLE_EQ(s.tensor.zz, 1e17);
  EXPECT_DOUBLE_EQ(s.east, 1000.0);
  EXPECT_DOUBLE_EQ(s.north, 2000.0);
  tensor_source("0/0/10/1e17/-1e17/0/0/0/0", Projector{}, warning);
  EXPECT_TRUE(warning.empty()) << warning;
  EXPECT_NE(stop_of([] {
              std::string w;
              tensor_source("0/0/10/1/2/3", Projector{}, w);
            }).find("expected 9 values"),
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
  // Opening (Kode 200: tensile and right-lateral) has an isotropic part.
  const std::string open =
      refusal({good,
               "  2     0.0000   -10.0000     0.0000    10.0000 200     1.0000     0.5000    "
               "90.0000     1.0000    12.0000"});
  EXPECT_NE(open.find(path + " line 13: "), std::string::npos) << open;
  EXPECT_NE(open.find("Kode 200"), std::string::npos) << open;
  EXPECT_NE(open.find("isotropic"), std::string::npos) << open;
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
  EXPECT_NE(short_line.find(path + " line 2: expected 9 values"), std::string::npos) << short_line;
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
  const EarthModel earth{{{0, 6000, 3464, 2700}}};
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
