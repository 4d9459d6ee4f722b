// Cubic (4-point Lagrange) interpolation on a possibly uneven grid, as reusable stencils: for
// data smooth on the scale of the grid step h the error is O(h^4) (e.g. Abramowitz and Stegun,
// Handbook of Mathematical Functions, 1964, 25.2.2 and 25.2.6).
//
// Stencils in distance may continue a column across the axis: when the grid starts at r = 0 the
// column is continued to negative r by its parity, f(-r) = parity * f(r) (tables/sources.h), so
// the first interval gets a centred stencil whose index -1 stands for the mirror point -r[1].
// At the other end, and without the axis, the stencil takes the nearest four points. A point
// outside [first, last] is an error, never extrapolated.
//
// Stencils in depth may be confined to one layer of the earth: across an interface the tables are
// not smooth (the moduli jump, and with them the strain, the stress and the field per unit
// potency), so a point between two interfaces takes grid points of its own layer only, the four
// nearest, extrapolating within the layer where the grid ends short of an interface. A depth on
// an interface belongs to the layer below, as the tables there do.
#pragma once

#include <span>
#include <string_view>

namespace kirva {

struct Stencil {
  int i0 = 0;        // first point; -1 stands for the mirror -g[1] of an axis continuation
  int npts = 4;      // points used (fewer only on a grid of fewer than four points)
  double w[4] = {};  // f(x) ~ sum w[m] * f[i0 + m], m < npts
};

// The stencil at x on the increasing grid g (at least 2 points). mirror_axis: continue across
// g[0] == 0 (ignored when g[0] != 0). what names the grid in the error message.
Stencil make_stencil(std::span<const double> g, double x, bool mirror_axis, std::string_view what);

// The layer [top, bottom) of the interfaces (increasing) that holds x: a depth on an interface
// belongs to the layer below; -inf and +inf beyond the first and the last.
struct LayerBounds {
  double top, bottom;
  std::size_t below;  // index of the interface at its bottom (interfaces.size(): none)
};
LayerBounds layer_around(std::span<const double> interfaces, double x);

// The stencil at x from the points of g in x's layer: the interfaces (increasing) around x bound
// it, from the one at or above x to the one below. `with_bottom` also takes a grid point on that
// lower interface, whose value is the limit from above for quantities continuous across it
// (displacement and its horizontal derivatives). A layer with no grid point is an error; with
// fewer than four the stencil has fewer points. Without interfaces in the grid's range this is
// make_stencil(g, x, false, what) exactly.
Stencil layer_stencil(std::span<const double> g, double x, std::span<const double> interfaces,
                      bool with_bottom, std::string_view what);

// Stencil in distance on r: continued across the axis when r[0] == 0.
inline Stencil distance_stencil(std::span<const double> r, double x) {
  return make_stencil(r, x, true, "distance");
}
// Stencil in source depth on zs, within the source's layer.
inline Stencil depth_stencil(std::span<const double> zs, double x,
                             std::span<const double> interfaces = {}) {
  return layer_stencil(zs, x, interfaces, false, "source depth");
}

// sum w[m] * f[i0 + m], with f[-1] = parity * f[1].
inline double apply(const Stencil& s, std::span<const double> f, int parity) {
  double v = 0.0;
  for (int m = 0; m < s.npts; ++m) {
    const int i = s.i0 + m;
    const double fi =
        i < 0 ? parity * f[static_cast<std::size_t>(-i)] : f[static_cast<std::size_t>(i)];
    v += s.w[m] * fi;
  }
  return v;
}

// f at distance x from the column f over r, continued across the axis by parity.
inline double interpolate(std::span<const double> f, std::span<const double> r, int parity,
                          double x) {
  return apply(distance_stencil(r, x), f, parity);
}

}  // namespace kirva
