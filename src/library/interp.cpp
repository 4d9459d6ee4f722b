#include "library/interp.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "stop.h"

namespace kirva {

Stencil make_stencil(std::span<const double> g, double x, bool mirror_axis, std::string_view what) {
  const int n = static_cast<int>(g.size());
  if (n < 2) throw Stop(" Error in interpolation: a " + std::string(what) + " grid of one point");
  if (!(x >= g[0] && x <= g[static_cast<std::size_t>(n - 1)])) {
    char buf[160];
    std::snprintf(buf, sizeof buf, " Error in interpolation: %.*s %.6g m outside %.6g to %.6g m",
                  static_cast<int>(what.size()), what.data(), x, g[0],
                  g[static_cast<std::size_t>(n - 1)]);
    throw Stop(buf);
  }
  // The interval [g[i], g[i+1]] that holds x.
  const auto it = std::upper_bound(g.begin(), g.end(), x);
  int i = static_cast<int>(it - g.begin()) - 1;
  i = std::clamp(i, 0, n - 2);

  // The points at hand: 0..n-1, and the mirror point -1 with the axis; the four nearest to the
  // interval, centred where the grid allows.
  Stencil s;
  const bool axis = mirror_axis && g[0] == 0.0;
  const int lo = axis ? -1 : 0;
  s.npts = std::min(4, n - lo);
  s.i0 = std::clamp(i - 1, lo, n - s.npts);
  double p[4];
  for (int m = 0; m < s.npts; ++m) {
    const int j = s.i0 + m;
    p[m] = j < 0 ? -g[static_cast<std::size_t>(-j)] : g[static_cast<std::size_t>(j)];
  }
  for (int m = 0; m < s.npts; ++m) {
    double w = 1.0;
    for (int q = 0; q < s.npts; ++q)
      if (q != m) w *= (x - p[q]) / (p[m] - p[q]);
    s.w[m] = w;
  }
  return s;
}

}  // namespace kirva
