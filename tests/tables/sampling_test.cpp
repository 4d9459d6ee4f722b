// The samplings as the input reader and the table readers both build them: the header of a run
// alone gives back the run's distances, bit for bit, and tells even from geometric spacing.
#include "tables/sampling.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "driver/input.h"
#include "tables/layout.h"
#include "tables/sources.h"

namespace kirva {
namespace {

RunInput read_with_distances(const std::string& line2) {
  std::istringstream in("0 0 1\n" + line2 + "\n2 1 2\n0\n'./' a b c\n1\n1 0 5 3 2600\n");
  RunInput inp;
  read_input(in, "x.inp", inp);
  return inp;
}

TEST(Sampling, TheHeaderValuesGiveBackTheRunsDistances) {
  struct Case {
    std::string line;
    Spacing spacing;
  };
  const std::vector<Case> cases{
      {"101 0 100", Spacing::even},        {"7 0.001 0.0015", Spacing::even},
      {"5 3.3 3.30000001", Spacing::even}, {"30 0.1 -1.25", Spacing::geometric},
      {"9 2 1.5", Spacing::geometric},     {"9 1.5 1.5", Spacing::geometric},
      {"4 0.0005 1.0001", Spacing::even},  {"1001 0.01 1.01", Spacing::even},
  };
  for (const auto& c : cases) {
    const RunInput inp = read_with_distances(c.line);
    EXPECT_EQ(distance_spacing(inp.r1, inp.r2), c.spacing) << c.line;
    std::vector<double> r(static_cast<std::size_t>(inp.nr));
    sample_distances(distance_spacing(inp.r1, inp.r2), inp.r1, inp.r2, r);
    for (int i = 0; i < inp.nr; ++i) ASSERT_EQ(r[i], inp.r[i + 1]) << c.line << " " << i;
  }
}

TEST(Sampling, DepthsAndTheirCount) {
  std::vector<double> zs(5);
  sample_source_depths(1000.0, 3000.0, zs);
  EXPECT_EQ(zs, (std::vector<double>{1000.0, 1500.0, 2000.0, 2500.0, 3000.0}));
  EXPECT_EQ(count_zrec(0.0, 4000.0, 2000.0), 3);
  EXPECT_EQ(count_zrec(0.0, -1.0, 2000.0), 0);
  EXPECT_EQ(count_zrec(0.0, 1.0, 0.0), 0);
  EXPECT_EQ(observation_depth(1000.0, 2000.0, 2), 5000.0);
}

TEST(Layout, LengthAndOffsetsOfTheDescribedFile) {
  // The smallest complete file: three layer rows, two distances and source depths, one depth.
  EXPECT_EQ(layout::file_length(3, 2, 2, 1), 1056u);
  EXPECT_EQ(layout::file_length(3, 2, 2, 0), 160u);
  EXPECT_EQ(layout::components_per_depth(), 27);
  // The first column follows the depth record; the CLVD starts after 2*10 runs per source depth.
  EXPECT_EQ(layout::column_offset(3, 2, 2, 0, SourceType::ss, 0, 0), 192u);
  EXPECT_EQ(layout::column_offset(3, 2, 2, 0, SourceType::cl, 0, 0), 192u + 40u * 16u);
  EXPECT_EQ(layout::column_offset(3, 2, 2, 0, SourceType::cl, 1, 6) + 16u, 1056u);
  EXPECT_EQ(component_index(SourceType::cl, duzdr), 6);
  EXPECT_EQ(component_index(SourceType::cl, ert), -1);
  EXPECT_EQ(component_index(SourceType::ds, ert), 7);
}

}  // namespace
}  // namespace kirva
