#include "synthesis/receivers.h"

#include <cmath>
#include <fstream>

#include "stop.h"
#include "synthesis/parse.h"

namespace kirva::syn {

namespace {
int count_nodes(double a, double b, double step, const std::string& what, const char* axis) {
  if (!(step > 0) || !(b >= a)) {
    throw Stop("kirva-syn: " + what + ": the " + axis +
               " range needs a positive step and an end not below its start");
  }
  const double n = std::floor((b - a) / step * (1 + 1e-12) + 1e-9) + 1;
  if (n > 1e7) throw Stop("kirva-syn: " + what + ": too many " + axis + " nodes");
  return static_cast<int>(n);
}
}  // namespace

Grid make_grid(double x0, double x1, double dx, double y0, double y1, double dy, double depth_km,
               const std::string& what) {
  Grid g{x0, x1, dx, y0, y1, dy, 0, 0, depth_km};
  g.nx = count_nodes(x0, x1, dx, what, "x");
  g.ny = count_nodes(y0, y1, dy, what, "y");
  if (static_cast<double>(g.nx) * g.ny > 1e8) {
    throw Stop("kirva-syn: " + what + ": more than 1e8 grid nodes");
  }
  if (!(depth_km >= 0)) throw Stop("kirva-syn: the receiver depth is above the surface");
  return g;
}

Grid parse_grid(const std::string& text) {
  const auto v = slash_numbers(text, 6, "--grid XMIN/XMAX/DX/YMIN/YMAX/DY");
  return make_grid(v[0], v[1], v[2], v[3], v[4], v[5], 0, "--grid " + text);
}

std::vector<Receiver> grid_receivers(const Grid& g, const Projector& proj) {
  std::vector<Receiver> out;
  out.reserve(static_cast<std::size_t>(g.nx) * g.ny);
  for (int j = 0; j < g.ny; ++j) {
    for (int i = 0; i < g.nx; ++i) {
      Receiver r;
      r.x = g.x0 + i * g.dx;
      r.y = g.y0 + j * g.dy;
      proj.project(r.x, r.y, r.east, r.north);
      r.depth = g.depth_km * 1000.0;
      out.push_back(r);
    }
  }
  return out;
}

Vec3 unit_los(double lx, double ly, double lz, const std::string& what) {
  const double n = std::sqrt(lx * lx + ly * ly + lz * lz);
  if (!(n > 0) || !std::isfinite(n)) {
    throw Stop("kirva-syn: " + what + ": the line-of-sight vector has no length");
  }
  return {lx / n, ly / n, lz / n};
}

std::vector<Receiver> read_points(const std::string& path, double default_depth_km,
                                  const Projector& proj) {
  std::ifstream in(path);
  if (!in) throw Stop("kirva-syn: cannot open " + path);
  std::vector<Receiver> out;
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    const auto f = fields(line);
    if (f.empty()) continue;
    const std::string at = where(path, lineno);
    if (f.size() != 3 && f.size() != 4 && f.size() != 7) {
      throw Stop(at + "expected name x y [depth [lx ly lz]], found " + std::to_string(f.size()) +
                 " values");
    }
    double v[6] = {0, 0, default_depth_km, 0, 0, 0};
    for (std::size_t c = 1; c < f.size(); ++c) {
      const auto n = parse_number(f[c]);
      if (!n) throw Stop(at + "'" + f[c] + "' is not a number");
      v[c - 1] = *n;
    }
    Receiver r;
    r.name = f[0];
    r.x = v[0];
    r.y = v[1];
    if (!(v[2] >= 0)) throw Stop(at + "depth " + f[3] + " is above the surface");
    r.depth = v[2] * 1000.0;
    proj.project(r.x, r.y, r.east, r.north);
    if (f.size() == 7) r.los = unit_los(v[3], v[4], v[5], at.substr(0, at.size() - 2));
    out.push_back(r);
  }
  if (in.bad()) throw Stop("kirva-syn: cannot read " + path);
  if (out.empty()) throw Stop("kirva-syn: " + path + " holds no receiver");
  return out;
}

}  // namespace kirva::syn
