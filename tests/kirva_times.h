// Libraries with tables at times after the source, made by tests/tools/time_tables.py from the
// elastic library of a run: at time t every type's table is the elastic one times
// 1 + slope(type) t, so that stored and interpolated tables are known in closed form.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "tables/sources.h"

namespace kirva::testing {

inline double slope(SourceType t) {
  constexpr double s[4] = {0.1, 0.2, 0.3, 0.4};  // as SLOPE of time_tables.py
  return s[static_cast<int>(t)];
}

inline double factor(SourceType t, double years) {
  return 1.0 + slope(t) * years;
}

// The factor at any time by the readers' rule over the tabulated times (0 first).
inline double interpolated_factor(SourceType type, double t, const std::vector<double>& times) {
  std::size_t b = 0;
  while (times[b] < t) ++b;
  if (times[b] == t) return factor(type, t);
  const double ta = times[b - 1], tb = times[b];
  const double w = ta == 0.0 ? t / tb : std::log(t / ta) / std::log(tb / ta);
  return (1 - w) * factor(type, ta) + w * factor(type, tb);
}

// Runs time_tables.py: src's library with tables at `times` (e.g. "1,10,100") in dest, with
// extra arguments (--reversed, --drop TYPE@T, --add TYPE@T).
inline void make_time_library(const fs::path& src, const fs::path& dest, const std::string& times,
                              const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args{std::string(KIRVA_SOURCE_DIR) + "/tests/tools/time_tables.py",
                                src.string(), dest.string(), "--times", times};
  args.insert(args.end(), extra.begin(), extra.end());
  ASSERT_FALSE(std::string(KIRVA_PYTHON_EXE).empty()) << "no Python for time_tables.py";
  const RunResult r = run_executable(KIRVA_PYTHON_EXE, src, args);
  ASSERT_EQ(r.status, 0) << r.err;
}

}  // namespace kirva::testing
