// The synthesis at times after the source: the view's columns are the stored tables at a
// tabulated time and the interpolated ones between, less the elastic ones for the postseismic
// change, on a library whose tables are known functions of time (kirva_times.h); kirva-syn
// scales the field of a pure strike-slip source by the strike-slip factor, says the time in its
// header, and refuses times the library does not hold with one line.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_times.h"
#include "library/library.h"
#include "stop.h"
#include "synthesis/tables.h"

namespace kirva::syn {
namespace {

using kirva::testing::interpolated_factor;
using kirva::testing::make_time_library;
using kirva::testing::run_executable;
using kirva::testing::run_kirva;
using kirva::testing::split_lines;
using kirva::testing::TempDir;
using kirva::testing::write_file;

// A homogeneous half-space, at the surface, to 20 km and from 2 to 10 km depth.
const std::string kInput =
    "0.0  0.0  1.0\n"
    "41  0.0  20.0\n"
    "9  2.0  10.0\n"
    "0\n"
    "'./'  'ss.grn'  'ds.grn'  'cl.grn'\n"
    "1\n"
    "1  0.0  6.0  3.464  2700.0\n";

const std::vector<double> kTimes{0.0, 1.0, 10.0, 100.0};
constexpr SourceType kTypes[] = {SourceType::ss, SourceType::ds, SourceType::cl, SourceType::ex};

// The elastic run (with the explosion) and its tables at 1, 10 and 100 years in "t", made once.
class TimeLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    write_file(*dir_ / "in.inp", kInput);
    ASSERT_EQ(run_kirva(dir_->path(), {"--isotropic", "in.inp"}).status, 0);
    make_time_library(dir_->path(), *dir_ / "t", "1,10,100");
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string elastic() { return (*dir_ / "grnfun.all").string(); }
  static std::string timed() { return (*dir_ / "t" / "grnfun.all").string(); }
  static TempDir* dir_;
};
TempDir* TimeLibrary::dir_ = nullptr;

TEST_F(TimeLibrary, ViewColumnsAtAndBetweenTheTimes) {
  const GreenLibrary e(elastic()), lib(timed());
  const struct {
    double t;
    bool postseismic;
  } cases[] = {{0, false}, {10, false}, {100, false}, {0.5, false}, {30, false},
               {10, true}, {0.5, true}, {30, true},   {0, true},    {99.99, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.t) + (c.postseismic ? " postseismic" : ""));
    const TableView v = view_of(lib, c.t, c.postseismic);
    const TableView selected = view_of(lib, c.t, false);
    const bool tabulated = c.t == 0 || c.t == 10 || c.t == 100;
    for (const SourceType t : kTypes) {
      const double f = interpolated_factor(t, c.t, kTimes) - (c.postseismic ? 1.0 : 0.0);
      for (int j = 0; j < lib.nzs(); ++j) {
        for (int cc = uz; cc <= duzdr; ++cc) {
          const auto comp = static_cast<Component>(cc);
          const auto el = e.column(0, t, j, comp), got = v.column(0, t, j, comp);
          ASSERT_EQ(got.size(), el.size());
          double peak = 0;
          for (const double x : el) peak = std::max(peak, std::fabs(x));
          const auto sel = selected.column(0, t, j, comp);
          for (std::size_t i = 0; i < got.size(); ++i) {
            if (tabulated && !c.postseismic) {
              ASSERT_EQ(got[i], el[i] * f);  // the stored table, bit for bit
            } else {
              ASSERT_NEAR(got[i], el[i] * f, 1e-14 * peak * (1 + std::fabs(f)));
            }
            // The postseismic change is the selected tables less the elastic ones, exactly.
            if (c.postseismic) {
              ASSERT_EQ(got[i], sel[i] - el[i]);
            }
          }
        }
      }
    }
  }
}

TEST_F(TimeLibrary, ViewsRefuseTimesTheLibraryDoesNotHold) {
  const GreenLibrary e(elastic()), lib(timed());
  const struct {
    const GreenLibrary& lib;
    double t;
    bool postseismic;
    std::string message;
  } cases[] = {
      {lib, 100.001, false,
       "no tables at 100.001 years: the library holds 0 to 100 years; kirva --times makes tables "
       "at other times"},
      {lib, -0.5, true,
       "no tables at -0.5 years: the library holds 0 to 100 years; kirva --times makes tables "
       "at other times"},
      {e, 1, false,
       "holds the elastic tables only (time 0), none at 1 years: kirva --times makes tables at "
       "times after the source"},
      {e, 0, true,
       "holds the elastic tables only (time 0): the change since the source (postseismic) needs "
       "tables after it, which kirva --times makes"},
  };
  for (const auto& c : cases) {
    try {
      view_of(c.lib, c.t, c.postseismic);
      ADD_FAILURE() << c.t << " accepted";
    } catch (const Stop& s) {
      EXPECT_EQ(std::string(s.what()), c.lib.path() + ": " + c.message);
    }
  }
}

// The values and the comment lines of a text result.
struct Result {
  int status;
  std::vector<std::vector<double>> rows;
  std::vector<std::string> comments;
  std::string err;
};

Result syn(const std::string& library, const std::vector<std::string>& extra) {
  std::vector<std::string> args{library, "--point=1/2/6/0/90/0/1e16", "--grid=-5/5/5/-5/5/5",
                                "--quantities=ux,uy,uz,exx,eyy"};
  args.insert(args.end(), extra.begin(), extra.end());
  const auto r = run_executable(KIRVA_SYN_EXE, std::filesystem::current_path(), args);
  Result out{r.status, {}, {}, r.err};
  for (const auto& line : split_lines(r.out)) {
    if (!line.empty() && line[0] == '#') {
      out.comments.push_back(line);
      continue;
    }
    std::istringstream s(line);
    std::vector<double> v;
    for (double x; s >> x;) v.push_back(x);
    out.rows.push_back(v);
  }
  return out;
}

// A vertical strike-slip fault striking north is the strike-slip table alone: at any time its
// field is the elastic one times the strike-slip factor.
TEST_F(TimeLibrary, KirvaSynScalesAPureStrikeSlipSourceAndSaysTheTime) {
  const Result base = syn(elastic(), {});
  ASSERT_EQ(base.status, 0) << base.err;
  ASSERT_EQ(syn(timed(), {}).comments.size(), base.comments.size());
  const struct {
    std::vector<std::string> args;
    double t;
    bool postseismic;
    std::string comment;  // the line after the library's
  } cases[] = {
      {{"--time", "10"}, 10, false, "# 10 years after a step of slip at time 0"},
      {{"--time=3"}, 3, false, "# 3 years after a step of slip at time 0"},
      {{"--time", "0.25", "--postseismic"},
       0.25,
       true,
       "# postseismic: the change from the time of the slip to 0.25 years after it"},
      {{"--time", "100", "--postseismic"},
       100,
       true,
       "# postseismic: the change from the time of the slip to 100 years after it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comment);
    const Result r = syn(timed(), c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.comments.size(), base.comments.size() + 1);
    EXPECT_EQ(r.comments[1], c.comment);
    const double f = interpolated_factor(SourceType::ss, c.t, kTimes) - (c.postseismic ? 1.0 : 0.0);
    ASSERT_EQ(r.rows.size(), base.rows.size());
    for (std::size_t i = 0; i < r.rows.size(); ++i)
      for (std::size_t q = 3; q < r.rows[i].size(); ++q)
        EXPECT_NEAR(r.rows[i][q], f * base.rows[i][q], 2e-9 * std::fabs(f * base.rows[i][q]))
            << "row " << i << " column " << q;
  }
  // Refusals: one line, status 1.
  for (const auto& [lib, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {timed(), {"--time", "1000"}},
           {elastic(), {"--time", "1"}},
           {elastic(), {"--postseismic"}},
           {timed(), {"--time", "soon"}}}) {
    const Result r = syn(lib, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.rows.empty() && r.comments.empty());
    EXPECT_EQ(split_lines(r.err).size(), 1u) << r.err;
  }
}

}  // namespace
}  // namespace kirva::syn
