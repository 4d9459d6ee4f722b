#include "library/interp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "stop.h"

namespace kirva {

namespace {

void check_inside(std::span<const double> g, double x, std::string_view what) {
  const std::size_t n = g.size();
  if (n < 2) throw Stop(" Error in interpolation: a " + std::string(what) + " grid of one point");
  if (!(x >= g[0] && x <= g[n - 1])) {
    char buf[160];
    std::snprintf(buf, sizeof buf, " Error in interpolation: %.*s %.6g m outside %.6g to %.6g m",
                  static_cast<int>(what.size()), what.data(), x, g[0], g[n - 1]);
    throw Stop(buf);
  }
}

}  // namespace

LayerBounds layer_around(std::span<const double> interfaces, double x) {
  const auto below = std::upper_bound(interfaces.begin(), interfaces.end(), x);
  return {below == interfaces.begin() ? -INFINITY : *(below - 1),
          below == interfaces.end() ? INFINITY : *below,
          static_cast<std::size_t>(below - interfaces.begin())};
}

Stencil layer_stencil(std::span<const double> g, double x, std::span<const double> interfaces,
                      bool with_bottom, std::string_view what) {
  check_inside(g, x, what);
  const auto [top, bottom, unused] = layer_around(interfaces, x);
  // Its grid points [lo, hi).
  const auto lo = static_cast<int>(std::lower_bound(g.begin(), g.end(), top) - g.begin());
  const auto hi = static_cast<int>((with_bottom ? std::upper_bound(g.begin(), g.end(), bottom)
                                                : std::lower_bound(g.begin(), g.end(), bottom)) -
                                   g.begin());
  const int n = static_cast<int>(g.size());
  if (lo == 0 && hi == n) return make_stencil(g, x, false, what);
  if (hi <= lo) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  " Error in interpolation: %.*s %.6g m lies in a layer from %.6g to %.6g m "
                  "that holds no tabulated %.*s",
                  static_cast<int>(what.size()), what.data(), x, top, bottom,
                  static_cast<int>(what.size()), what.data());
    throw Stop(buf);
  }
  // The four points of the layer nearest to x's interval; x may lie beyond the layer's last
  // grid point (towards its interface), where the stencil extrapolates.
  const int m = hi - lo;
  const auto it = std::upper_bound(g.begin() + lo, g.begin() + hi, x);
  const int i = std::clamp(static_cast<int>(it - g.begin()) - 1, lo, std::max(lo, hi - 2));
  Stencil s;
  s.npts = std::min(4, m);
  s.i0 = std::clamp(i - 1, lo, hi - s.npts);
  for (int a = 0; a < s.npts; ++a) {
    double w = 1.0;
    for (int q = 0; q < s.npts; ++q)
      if (q != a)
        w *= (x - g[static_cast<std::size_t>(s.i0 + q)]) /
             (g[static_cast<std::size_t>(s.i0 + a)] - g[static_cast<std::size_t>(s.i0 + q)]);
    s.w[a] = w;
  }
  return s;
}

Stencil make_stencil(std::span<const double> g, double x, bool mirror_axis, std::string_view what) {
  check_inside(g, x, what);
  const int n = static_cast<int>(g.size());
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
