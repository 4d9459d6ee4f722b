// Receivers of a synthesis: the nodes of a grid at one depth, or the stations of a point file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "synthesis/geo.h"
#include "synthesis/mechanism.h"

namespace kirva::syn {

struct Receiver {
  std::string name;                       // point files only
  double x = 0, y = 0;                    // as given: km, or degrees of longitude and latitude
  double east = 0, north = 0, depth = 0;  // m
  std::optional<Vec3> los;  // unit vector toward the satellite (east, north, up), per point
};

// x and y ranges and steps (km or degrees); nodes x0, x0 + dx, ... up to x1.
struct Grid {
  double x0 = 0, x1 = 0, dx = 0, y0 = 0, y1 = 0, dy = 0;
  int nx = 0, ny = 0;
  double depth_km = 0;
};

// Parses XMIN/XMAX/DX/YMIN/YMAX/DY and counts the nodes.
Grid parse_grid(const std::string& text);
Grid make_grid(double x0, double x1, double dx, double y0, double y1, double dy, double depth_km,
               const std::string& what);

// The grid's nodes, x varying fastest.
std::vector<Receiver> grid_receivers(const Grid& g, const Projector& proj);

// A point file: whitespace-separated `name x y [depth [lx ly lz]]`, '#' comments; a missing
// depth is `default_depth_km`.
std::vector<Receiver> read_points(const std::string& path, double default_depth_km,
                                  const Projector& proj);

// The unit vector of LX/LY/LZ (east, north, up); refused when it has no length.
Vec3 unit_los(double lx, double ly, double lz, const std::string& what);

}  // namespace kirva::syn
