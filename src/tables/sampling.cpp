#include "tables/sampling.h"

#include <climits>
#include <cmath>

namespace kirva {

void sample_distances(Spacing spacing, double r1, double r2, std::span<double> r) {
  const std::size_t nr = r.size();
  if (spacing == Spacing::even) {
    const double dr = (r2 - r1) / static_cast<double>(static_cast<int>(nr) - 1);
    for (std::size_t i = 0; i < nr; ++i) r[i] = r1 + static_cast<double>(static_cast<int>(i)) * dr;
  } else {
    const double q = std::fabs(r2);
    r[0] = r1;
    for (std::size_t i = 1; i < nr; ++i) r[i] = r[i - 1] * q;
  }
}

void sample_source_depths(double zs1, double zs2, std::span<double> zs) {
  const double dzs = source_depth_step(zs1, zs2, static_cast<int>(zs.size()));
  for (std::size_t j = 0; j < zs.size(); ++j) zs[j] = source_depth(zs1, dzs, static_cast<int>(j));
}

int count_zrec(double zrec1, double zrec2, double dzrec) {
  const double q = (zrec2 - zrec1) / dzrec + 1.0;
  if (!std::isfinite(q)) return 0;
  const double t = std::trunc(q);
  if (t < 1.0 || t > static_cast<double>(INT_MAX)) return 0;
  return static_cast<int>(t);
}

}  // namespace kirva
