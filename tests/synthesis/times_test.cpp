// Tables at times after the source, made by tests/tools/time_tables.py (at time t every type's
// table is the elastic one times 1 + slope t, the slope per type) and held in reverse order:
// the view's columns are the stored ones at a tabulated time, interpolated between, and less the
// elastic ones, exactly, when postseismic. (Refusals and kirva-syn: tests/python/test_times.py.)
#include <gtest/gtest.h>

#include <cmath>

#include "kirva_files.h"
#include "synthesis/tables.h"

namespace kirva::syn {
namespace {

using namespace kirva::testing;

const std::vector<double> kTimes{0.0, 1.0, 10.0, 100.0};

// The factor of type t at time t by the readers' rule: linear in ln t between positive times,
// in t from 0.
double factor(SourceType type, double t) {
  constexpr double slope[4] = {0.1, 0.2, 0.3, 0.4};  // SLOPE of time_tables.py
  const auto at = [&](double x) { return 1.0 + slope[static_cast<int>(type)] * x; };
  std::size_t b = 0;
  while (kTimes[b] < t) ++b;
  if (kTimes[b] == t) return at(t);
  const double ta = kTimes[b - 1], tb = kTimes[b];
  const double w = ta == 0.0 ? t / tb : std::log(t / ta) / std::log(tb / ta);
  return (1 - w) * at(ta) + w * at(tb);
}

TEST(Times, ViewsAtAndBetweenTheTimes) {
  TempDir dir;
  write_file(dir / "in.inp",  // a half-space, at the surface, to 20 km, from 2 to 10 km deep
             "0 0 1\n41 0 20\n9 2 10\n0\n'./' 'ss.grn' 'ds.grn' 'cl.grn'\n1\n1 0 6 3.464 2700\n");
  ASSERT_EQ(run_kirva(dir.path(), {"--isotropic", "in.inp"}).status, 0);
  ASSERT_FALSE(std::string(KIRVA_PYTHON_EXE).empty()) << "no Python for time_tables.py";
  const RunResult made =
      run_executable(KIRVA_PYTHON_EXE, dir.path(),
                     {std::string(KIRVA_SOURCE_DIR) + "/tests/tools/time_tables.py", ".", "t",
                      "1,10,100", "--reversed"});
  ASSERT_EQ(made.status, 0) << made.err;
  const GreenLibrary e((dir / "grnfun.all").string()), lib((dir / "t" / "grnfun.all").string());
  ASSERT_EQ(std::vector<double>(lib.times().begin(), lib.times().end()), kTimes);
  const struct {
    double t;
    bool post;
  } cases[] = {{0, false},    {10, false}, {100, false}, {0.5, false}, {30, false},
               {99.9, false}, {10, true},  {0.5, true},  {30, true},   {0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.t) + (c.post ? " postseismic" : ""));
    const TableView v = view_of(lib, c.t, c.post), selected = view_of(lib, c.t, false);
    const bool stored = !c.post && (c.t == 0 || c.t == 10 || c.t == 100);
    for (const SourceType t : {SourceType::ss, SourceType::ds, SourceType::cl, SourceType::ex}) {
      const double f = factor(t, c.t) - (c.post ? 1.0 : 0.0);
      for (int j = 0; j < lib.nzs(); ++j) {
        for (int cc = uz; cc <= duzdr; ++cc) {
          const auto el = e.column(0, t, j, Component(cc)), got = v.column(0, t, j, Component(cc)),
                     sel = selected.column(0, t, j, Component(cc));
          ASSERT_EQ(got.size(), el.size());
          for (std::size_t i = 0; i < got.size(); ++i) {
            if (stored) {
              ASSERT_EQ(got[i], el[i] * f);  // the stored table, bit for bit
            }
            ASSERT_NEAR(got[i], el[i] * f, 1e-14 * std::fabs(el[i]) * (1 + std::fabs(f)));
            if (c.post) {
              ASSERT_EQ(got[i], sel[i] - el[i]);  // exactly the change
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace kirva::syn
