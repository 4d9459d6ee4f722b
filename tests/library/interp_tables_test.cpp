// Interpolation of real tables (the explosion of --isotropic among them): exact at the tabulated
// points, and approaching the values of a finer run as the grid is refined, in source depth and in
// distance (across the axis too). The smoothing half-length max(dzs, dr)/2 is the same in the runs
// compared, so they tabulate the same functions; the order itself is shown on closed forms
// (interp_test.cpp): here the tables' own accuracy, about 1 % near the epicentre, limits what
// refining can show.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "kirva_files.h"
#include "library/library.h"
#include "stop.h"

namespace kirva {
namespace {

using testing::run_kirva;
using testing::TempDir;
using testing::write_file;

// A run with nr distances from 0 to rmax km and nzs source depths from 1 to 5 km, observed at the
// surface of a crust over a half-space.
std::unique_ptr<GreenLibrary> tables(const TempDir& dir, const std::string& name, int nr,
                                     double rmax, int nzs) {
  const auto sub = dir / name;
  std::filesystem::create_directory(sub);
  write_file(sub / "in.inp", "0 0 1\n" + std::to_string(nr) + " 0 " + std::to_string(rmax) + "\n" +
                                 std::to_string(nzs) +
                                 " 1 5\n0\n'./' ss ds cl\n2\n1 0 5.8 3.3 2700\n"
                                 "2 8 6.6 3.8 2900\n");
  const auto r = run_kirva(sub, {"--isotropic", "in.inp"});
  EXPECT_EQ(r.status, 0) << r.err;
  return std::make_unique<GreenLibrary>((sub / "grnfun.all").string());
}

// The three types of grnfun.all and the explosion of grnfun.ext.
constexpr SourceType kTypes[] = {SourceType::ss, SourceType::ds, SourceType::cl, SourceType::ex};

// The explosion's uz has no sign change and is so smooth in source depth that interpolating it
// at 1 km steps is already as close as the plain tables themselves are to the field (measured:
// 6e-4 of the peak): refining the source depths cannot show more there.
bool smoother_than_the_tables(SourceType t, Component c) {
  return t == SourceType::ex && c == uz;
}

double peak(const GreenLibrary& lib, SourceType t, Component c) {
  double p = 0.0;
  for (int j = 0; j < lib.nzs(); ++j)
    for (const double v : lib.column(0, t, j, c)) p = std::max(p, std::fabs(v));
  return p;
}

TEST(InterpolateTables, ExactAtTabulatedPoints) {
  TempDir dir;
  const auto lib = tables(dir, "a", 21, 20.0, 5);
  for (const SourceType t : kTypes)
    for (const Component c : {uz, ur, ezz, duzdr})
      for (int j = 0; j < lib->nzs(); ++j)
        for (int i = 0; i < lib->nr(); i += 3)
          ASSERT_EQ(interpolate(*lib, 0, t, c, lib->zs()[j], lib->r()[i]),
                    lib->column(0, t, j, c)[i]);
  EXPECT_EQ(interpolate(*lib, 0, SourceType::cl, ut, 2500.0, 3500.0), 0.0);  // not tabulated
  EXPECT_EQ(interpolate(*lib, 0, SourceType::ex, ert, 2500.0, 3500.0), 0.0);
  EXPECT_THROW(interpolate(*lib, 0, SourceType::ss, uz, 5001.0, 1000.0), Stop);
  EXPECT_THROW(interpolate(*lib, 0, SourceType::ss, uz, 3000.0, 20001.0), Stop);
}

TEST(InterpolateTables, RefiningTheSourceDepthsApproachesAFinerRun) {
  // dr = 1 km, dzs = 1, 0.5, 0.25 km: every run smooths over 500 m.
  TempDir dir;
  const auto coarse = tables(dir, "c", 21, 20.0, 5), medium = tables(dir, "m", 21, 20.0, 9),
             fine = tables(dir, "f", 21, 20.0, 17);
  for (const SourceType t : kTypes)
    for (const Component c : {uz, ur, err, duzdr}) {
      double e1 = 0.0, e2 = 0.0;
      for (const int jf : {5, 11}) {  // zs = 2.25 and 3.75 km, tabulated only in the fine run
        for (const int i : {2, 4, 7, 12}) {
          const double zs = fine->zs()[jf], r = fine->r()[i];
          const double exact = fine->column(0, t, jf, c)[i];
          e1 = std::max(e1, std::fabs(interpolate(*coarse, 0, t, c, zs, r) - exact));
          e2 = std::max(e2, std::fabs(interpolate(*medium, 0, t, c, zs, r) - exact));
        }
      }
      const double p = peak(*fine, t, c);
      // Within the tables' accuracy at half-kilometre steps, and better than at 1 km steps.
      EXPECT_LT(e2, 0.015 * p) << source_info(t).name << " " << kComponentNames[c];
      EXPECT_LT(e1, 0.08 * p) << source_info(t).name << " " << kComponentNames[c];
      if (!smoother_than_the_tables(t, c)) {
        EXPECT_GT(e1, 1.5 * e2) << source_info(t).name << " " << kComponentNames[c];
      }
    }
}

TEST(InterpolateTables, RefiningTheDistancesApproachesAFinerRunAcrossTheAxisToo) {
  // dzs = 1 km, dr = 1, 0.5, 0.25 km: every run smooths over 500 m.
  TempDir dir;
  const auto coarse = tables(dir, "c", 21, 20.0, 5), medium = tables(dir, "m", 41, 20.0, 5),
             fine = tables(dir, "f", 81, 20.0, 5);
  for (const SourceType t : kTypes)
    for (const Component c : {uz, ur, err, duzdr}) {
      double e1 = 0.0, e2 = 0.0;
      for (const int j : {1, 3})
        for (const int i : {1, 3, 17, 27, 45}) {  // r = 0.25 km (next to the axis) ... 11.25 km
          const double r = fine->r()[i];
          const double exact = fine->column(0, t, j, c)[i];
          e1 = std::max(e1, std::fabs(interpolate(*coarse, 0, t, c, fine->zs()[j], r) - exact));
          e2 = std::max(e2, std::fabs(interpolate(*medium, 0, t, c, fine->zs()[j], r) - exact));
        }
      const double p = peak(*fine, t, c);
      // Within the tables' accuracy at half-kilometre steps, and better than at 1 km steps.
      EXPECT_LT(e2, 0.015 * p) << source_info(t).name << " " << kComponentNames[c];
      EXPECT_LT(e1, 0.08 * p) << source_info(t).name << " " << kComponentNames[c];
      EXPECT_GT(e1, 1.5 * e2) << source_info(t).name << " " << kComponentNames[c];
    }
}

}  // namespace
}  // namespace kirva
