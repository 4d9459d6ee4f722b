// The Green's function table of one source type, source depth and observation depth: what the
// integration fills and the writers put into the files.
#pragma once

#include <array>

#include "tables/limits.h"

namespace kirva {

// grn(k, j): component k = 1..10 (uz, ur, ut, ezz, err, ett, ezr, ert, etz, duz/dr) at distance j,
// stored distance by distance (the ten values of one distance are contiguous).
struct GreenTable {
  std::array<double, 10 * nrmax> v{};
  double& operator()(int k, int j) { return v[10 * (j - 1) + (k - 1)]; }
  double operator()(int k, int j) const { return v[10 * (j - 1) + (k - 1)]; }
};

}  // namespace kirva
