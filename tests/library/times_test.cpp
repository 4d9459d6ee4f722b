// Tables at times after the source: found by their descriptors whatever their order, the time
// selection of the synthesis, and descriptor sets that leave a time incomplete refused.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_times.h"
#include "library/library.h"
#include "stop.h"

namespace kirva {
namespace {

using testing::factor;
using testing::make_time_library;
using testing::run_kirva;
using testing::TempDir;
using testing::write_file;

// Geometric distances, two source and two observation depths.
const std::string kInput =
    "1.0  3.0  2.0\n"
    "7  0.3  -1.6\n"
    "2  2.0  5.0\n"
    "0\n"
    "'./'  'ss.grn'  'ds.grn'  'cl.grn'\n"
    "2\n"
    "1  0.0  5.0  2.9  2600.0\n"
    "2  6.0  6.5  3.7  2900.0\n";

constexpr SourceType kTypes[] = {SourceType::ss, SourceType::ds, SourceType::cl, SourceType::ex};

class Times : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir_ / "in.inp", kInput);
    ASSERT_EQ(run_kirva(dir_.path(), {"--isotropic", "in.inp"}).status, 0);
    // The same run without the explosion: its grnfun.all alone.
    std::filesystem::create_directory(dir_ / "shear");
    std::filesystem::copy_file(dir_ / "grnfun.all", dir_ / "shear" / "grnfun.all");
  }
  // The one-line refusal of opening the library in `sub`.
  std::string refusal(const std::string& sub) const {
    try {
      GreenLibrary lib((dir_ / sub / "grnfun.all").string());
    } catch (const Stop& s) {
      return s.what();
    }
    return "accepted";
  }
  TempDir dir_;
};

// Descriptors in the engine's order and reversed: the same tables at the same times, each the
// elastic one times its type's factor, bit for bit.
TEST_F(Times, TablesFoundByDescriptorAtEveryTime) {
  const GreenLibrary elastic((dir_ / "grnfun.all").string());
  EXPECT_EQ(std::vector<double>(elastic.times().begin(), elastic.times().end()),
            std::vector<double>{0.0});
  for (const bool reversed : {false, true}) {
    const auto sub = dir_ / (reversed ? "reversed" : "ordered");
    make_time_library(
        dir_.path(), sub, "1,10,100",
        reversed ? std::vector<std::string>{"--reversed"} : std::vector<std::string>{});
    const GreenLibrary lib((sub / "grnfun.all").string());
    const std::vector<double> want{0.0, 1.0, 10.0, 100.0};
    ASSERT_EQ(std::vector<double>(lib.times().begin(), lib.times().end()), want);
    ASSERT_TRUE(lib.has_isotropic());
    for (int ti = 0; ti < 4; ++ti)
      for (const SourceType t : kTypes)
        for (int k = 0; k < lib.nzrec(); ++k)
          for (int j = 0; j < lib.nzs(); ++j)
            for (int c = uz; c <= duzdr; ++c) {
              const auto e = elastic.column(k, t, j, static_cast<Component>(c));
              const auto v = lib.column(k, t, j, static_cast<Component>(c), ti);
              ASSERT_EQ(v.size(), e.size());
              for (std::size_t i = 0; i < v.size(); ++i)
                ASSERT_EQ(v[i], e[i] * factor(t, want[ti]))
                    << "time " << want[ti] << " type " << static_cast<int>(t) << " k " << k;
            }
    EXPECT_THROW(lib.column(0, SourceType::ss, 0, uz, 4), Stop);
  }
}

TEST_F(Times, SelectionExactAtTabulatedTimesInterpolatedBetweenRefusedOutside) {
  make_time_library(dir_.path(), dir_ / "t", "1,10,100");
  const GreenLibrary lib((dir_ / "t" / "grnfun.all").string());
  const GreenLibrary elastic((dir_ / "grnfun.all").string());
  const std::string p = lib.path() + ": ", e = elastic.path() + ": ";
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const GreenLibrary& lib;
    double t;
    TimeSelection want;
    std::string refusal;
  } cases[] = {
      {lib, 0.0, {0, 0, 1.0, 0.0}, ""},
      {lib, 10.0, {2, 2, 1.0, 0.0}, ""},
      {lib, 100.0, {3, 3, 1.0, 0.0}, ""},
      {lib, 0.25, {0, 1, 0.75, 0.25}, ""},                          // linear in t from 0
      {lib, 3.0, {1, 2, 0.0, std::log(3.0) / std::log(10.0)}, ""},  // in ln t
      {lib, 31.6227766016837933, {2, 3, 0.5, 0.5}, ""},             // in ln t
      {lib,
       -1.0,
       {},
       p + "no tables at -1 years: the library holds 0 to 100 years; kirva --times "
           "makes tables at other times"},
      {lib,
       100.5,
       {},
       p + "no tables at 100.5 years: the library holds 0 to 100 years; kirva "
           "--times makes tables at other times"},
      {lib, nan, {}, p + "the time after the source must be a finite number of years"},
      {elastic, 0.0, {0, 0, 1.0, 0.0}, ""},
      {elastic,
       5.0,
       {},
       e + "holds the elastic tables only (time 0), none at 5 years: kirva "
           "--times makes tables at times after the source"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.t);
    if (!c.refusal.empty()) {
      try {
        select_time(c.lib, c.t);
        ADD_FAILURE() << "accepted";
      } catch (const Stop& s) {
        EXPECT_EQ(std::string(s.what()), c.refusal);
      }
      continue;
    }
    const TimeSelection s = select_time(c.lib, c.t);
    EXPECT_EQ(s.a, c.want.a);
    EXPECT_EQ(s.b, c.want.b);
    EXPECT_NEAR(s.wb, c.want.wb, 1e-15);
    EXPECT_NEAR(s.wa + s.wb, 1.0, 1e-15);
  }
}

// A time after the source that lacks a type of grnfun.all, or whose explosion disagrees with
// the elastic tables, is refused whole with one line.
TEST_F(Times, IncompleteTimesRefused) {
  const std::string x = "not a grnfun.ext file: expected ";
  const struct {
    const char* src;  // "" the run with the explosion, "shear" without
    std::vector<std::string> extra;
    std::string message;
  } cases[] = {
      {"",
       {"--drop", "ds@10"},
       x + "the source types 1 to 3 at every time after the source, found no table of source type "
           "2 at 10 years"},
      {"shear",
       {"--drop", "ss@1"},
       x + "the source types 1 to 3 at every time after the source, found no table of source type "
           "1 at 1 years"},
      {"",
       {"--drop", "ex@1"},
       x + "the explosion (source type 4) at every time after the source, as there is one at time "
           "0, found none at 1 years"},
      {"shear",
       {"--add", "ex@10"},
       x + "no explosion (source type 4) after the source, as there is none at time 0, found one "
           "at 10 years"},
      {"",
       {"--add", "ss@0"},
       x + "no table of grnfun.all (source types 1 to 3 at time 0) in descriptor 10, found source "
           "type 1 at time 0"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string sub = "bad" + std::to_string(n++);
    make_time_library(dir_ / c.src, dir_ / sub, "1,10", c.extra);
    EXPECT_EQ(refusal(sub), (dir_ / sub / "grnfun.ext").string() + ": " + c.message);
  }
}

}  // namespace
}  // namespace kirva
