// Input texts shared by the tests. The worked example: one observation depth at the surface,
// three distances, two source depths and a gradient layer over a half-space.
#pragma once

#include <string>
#include <vector>

namespace kirva::testing {

// Data lines of the worked example, without comments.
inline std::vector<std::string> trace_lines() {
  return {
      "0.0  0.0  1.0",
      "3  0.0  2.0",
      "2  1.0  2.0",
      "0",
      "'./'  'ss.grn'  'ds.grn'  'cl.grn'",
      "2",
      "1  0.0  5.0  3.0  2600.0",
      "2  10.0  6.0  3.5  2800.0",
  };
}

inline std::string join_lines(const std::vector<std::string>& lines) {
  std::string s = "# observation depth, distances, source depths\n";
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// The worked example with data line n (1-based, model lines counted on) replaced.
inline std::string trace_with(int n, const std::string& text) {
  auto lines = trace_lines();
  lines.at(static_cast<std::size_t>(n - 1)) = text;
  return join_lines(lines);
}

inline std::string trace_input() {
  return join_lines(trace_lines());
}

// The layer table the worked example slices into: four rows of 2500 m over the half-space.
inline constexpr int trace_nlayer = 5;
inline constexpr double trace_vp[6] = {0, 5125, 5375, 5625, 5875, 6000};
inline constexpr double trace_vs[6] = {0, 3062.5, 3187.5, 3312.5, 3437.5, 3500};
inline constexpr double trace_ro[6] = {0, 2625, 2675, 2725, 2775, 2800};

}  // namespace kirva::testing
