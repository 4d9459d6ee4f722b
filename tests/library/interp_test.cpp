// The cubic stencils against closed forms: exact for cubics, fourth order for smooth functions on
// even and geometric grids, across the axis by parity, and never beyond the grid.
#include "library/interp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "stop.h"

namespace kirva {
namespace {

std::vector<double> even_grid(double a, double b, int n) {
  std::vector<double> g(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) g[i] = a + (b - a) * i / (n - 1);
  return g;
}

std::vector<double> geometric_grid(double a, double q, int n) {
  std::vector<double> g(static_cast<std::size_t>(n));
  g[0] = a;
  for (int i = 1; i < n; ++i) g[i] = g[i - 1] * q;
  return g;
}

std::vector<double> sample(const std::vector<double>& g, const std::function<double(double)>& f) {
  std::vector<double> v;
  for (const double x : g) v.push_back(f(x));
  return v;
}

// Largest error of the interpolant over 50 points per interval of [lo, hi].
double max_error(const std::vector<double>& g, const std::function<double(double)>& f, int parity,
                 double lo, double hi) {
  const auto v = sample(g, f);
  double e = 0.0;
  for (std::size_t i = 0; i + 1 < g.size(); ++i)
    for (int m = 0; m <= 50; ++m) {
      const double x = g[i] + (g[i + 1] - g[i]) * m / 50.0;
      if (x < lo || x > hi) continue;
      e = std::max(e, std::fabs(interpolate(v, g, parity, x) - f(x)));
    }
  return e;
}

TEST(Stencil, CubicsAreReproducedOnUnevenGridsAndNodesExactly) {
  const auto g = geometric_grid(100.0, 1.3, 12);
  const auto cubic = [](double x) { return 2.0 - 3e-3 * x + 4e-6 * x * x - 1e-9 * x * x * x; };
  const auto v = sample(g, cubic);
  for (double x = g.front(); x <= g.back(); x += 7.31)
    EXPECT_NEAR(interpolate(v, g, 1, x), cubic(x), 1e-12 * (1.0 + std::fabs(cubic(x)))) << x;
  for (std::size_t i = 0; i < g.size(); ++i) EXPECT_EQ(interpolate(v, g, 1, g[i]), v[i]);
  // Weights sum to one and the stencil sits on the interval, centred away from the ends.
  const Stencil s = depth_stencil(g, 0.5 * (g[5] + g[6]));
  EXPECT_EQ(s.i0, 4);
  EXPECT_NEAR(s.w[0] + s.w[1] + s.w[2] + s.w[3], 1.0, 1e-15);
  EXPECT_EQ(depth_stencil(g, g.back()).i0, 8);
  EXPECT_EQ(depth_stencil(g, g.front()).i0, 0);
}

TEST(Stencil, FourthOrderForSmoothFunctions) {
  const auto f = [](double x) { return std::exp(-x / 3000.0) * std::cos(x / 2000.0); };
  for (const bool geometric : {false, true}) {
    double prev = 0.0;
    for (int n : {21, 41, 81}) {
      const auto g = geometric ? geometric_grid(500.0, std::pow(40.0, 1.0 / (n - 1)), n)
                               : even_grid(500.0, 20000.0, n);
      const double e = max_error(g, f, 1, g.front(), g.back());
      if (prev > 0.0) {
        // Halving the step divides the error by 2^4 = 16; allow for the ends.
        EXPECT_GT(prev / e, 12.0) << (geometric ? "geometric " : "even ") << n;
        EXPECT_LT(prev / e, 24.0) << (geometric ? "geometric " : "even ") << n;
      }
      prev = e;
    }
  }
}

TEST(Stencil, AcrossTheAxisByParity) {
  // An even and an odd function sampled from r = 0; in the first interval the continued stencil
  // keeps fourth order, and the wrong parity is plainly worse.
  const auto even = [](double x) { return std::cos(x / 2000.0); };
  const auto odd = [](double x) { return std::sin(x / 2000.0); };
  double prev_even = 0.0, prev_odd = 0.0;
  for (int n : {21, 41, 81}) {
    const auto g = even_grid(0.0, 10000.0, n);
    const double first = g[1];
    EXPECT_EQ(distance_stencil(g, 0.5 * first).i0, -1);
    const double ee = max_error(g, even, 1, 0.0, first);
    const double eo = max_error(g, odd, -1, 0.0, first);
    EXPECT_GT(max_error(g, odd, 1, 0.0, first), 100.0 * eo);
    if (prev_even > 0.0) {
      EXPECT_GT(prev_even / ee, 12.0) << n;
      EXPECT_GT(prev_odd / eo, 12.0) << n;
    }
    prev_even = ee;
    prev_odd = eo;
  }
  // Without the axis (a grid that starts off it) the first interval takes the first four points.
  const auto g = even_grid(100.0, 1000.0, 10);
  EXPECT_EQ(distance_stencil(g, 150.0).i0, 0);
}

TEST(Stencil, SmallGridsAndPointsOutside) {
  const std::vector<double> two{0.0, 1000.0}, three{10.0, 20.0, 30.0};
  // Two points and the axis: a parabola through the mirror point, exact for even quadratics.
  const std::vector<double> v2{1.0, 1.0 + 1e-6 * 1e6};
  EXPECT_NEAR(interpolate(v2, two, 1, 500.0), 1.0 + 1e-6 * 500.0 * 500.0, 1e-12);
  const std::vector<double> v3{1.0, 4.0, 9.0};  // (x/10)^2
  EXPECT_NEAR(interpolate(v3, three, 1, 25.0), 6.25, 1e-12);
  EXPECT_EQ(depth_stencil(three, 25.0).npts, 3);
  try {
    depth_stencil(three, 30.5);
    FAIL() << "extrapolated";
  } catch (const Stop& s) {
    EXPECT_EQ(std::string(s.what()),
              " Error in interpolation: source depth 30.5 m outside 10 to 30 m");
  }
  EXPECT_THROW(distance_stencil(two, -1.0), Stop);
  EXPECT_THROW(distance_stencil(two, std::nan("")), Stop);
}

// Across interfaces a field may jump in value and slope: a point takes grid points of its own
// layer only (one on the interface belongs to the layer below, and with_bottom to the layer above
// as well), so cubics on either side come back exactly, whether the interface is on the grid or
// between its points, and near it the stencil is one-sided.
TEST(Stencil, WithinTheLayerOfThePoint) {
  const auto g = even_grid(0.0, 1000.0, 11);  // every 100 m
  const auto above = [](double x) { return 1.0 + 2e-3 * x - 3e-6 * x * x + 1e-9 * x * x * x; };
  const auto below = [](double x) { return -4.0 + 1e-3 * x + 2e-6 * x * x - 5e-10 * x * x * x; };
  const struct {
    double interface, x;
    bool with_bottom;
    int i0;
  } cases[] = {
      {400.0, 350.0, false, 0}, {400.0, 390.0, true, 1},  {400.0, 400.0, false, 4},
      {400.0, 410.0, false, 4}, {450.0, 420.0, false, 1}, {450.0, 460.0, false, 5},
      {450.0, 440.0, true, 1},  {900.0, 950.0, false, 9}, {100.0, 50.0, false, 0},
  };
  for (const auto& c : cases) {
    const std::vector<double> iface{c.interface, 5000.0};  // one beyond the grid changes nothing
    std::vector<double> v;
    for (const double x : g) v.push_back(x < c.interface ? above(x) : below(x));
    // The point on the interface from above: the limit of the upper side.
    const auto on = std::find(g.begin(), g.end(), c.interface);
    if (c.with_bottom && on != g.end()) v[static_cast<std::size_t>(on - g.begin())] = above(*on);
    const Stencil s = layer_stencil(g, c.x, iface, c.with_bottom, "source depth");
    EXPECT_EQ(s.i0, c.i0) << c.interface << " " << c.x;
    const double want = c.x < c.interface ? above(c.x) : below(c.x);
    // A layer holding fewer than four points fits a lower degree: exact for what it can hold.
    if (s.npts == 4) {
      EXPECT_NEAR(apply(s, v, 1), want, 1e-12) << c.interface << " " << c.x;
    }
    for (int m = 0; m < s.npts; ++m) {
      const double p = g[static_cast<std::size_t>(s.i0 + m)];
      EXPECT_TRUE(c.x < c.interface ? (p < c.interface || (c.with_bottom && p == c.interface))
                                    : p >= c.interface)
          << c.interface << " " << c.x << " takes " << p;
    }
  }
  // Without interfaces in reach, exactly the stencil of the whole grid.
  const Stencil a = layer_stencil(g, 333.0, std::vector<double>{-1.0, 2000.0}, false, "depth");
  const Stencil b = make_stencil(g, 333.0, false, "depth");
  EXPECT_EQ(a.i0, b.i0);
  for (int m = 0; m < 4; ++m) EXPECT_EQ(a.w[m], b.w[m]);
  try {
    layer_stencil(g, 415.0, std::vector<double>{410.0, 420.0}, false, "source depth");
    FAIL() << "a layer without grid points";
  } catch (const Stop& s) {
    EXPECT_EQ(std::string(s.what()),
              " Error in interpolation: source depth 415 m lies in a layer from 410 to 420 m "
              "that holds no tabulated source depth");
  }
}

}  // namespace
}  // namespace kirva
