// Faults as triangle meshes: the readers of GOCAD TSurf and gmsh files, and the slip of their
// triangles.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "synthesis/geo.h"
#include "synthesis/mechanism.h"

namespace kirva::syn {

// Vertices in the synthesis frame (east, north, depth down; m) and triangles by their vertices'
// indices (0-based), with the line of each triangle in its file for messages.
struct Mesh {
  std::vector<Vec3> vertices;
  std::vector<std::array<int, 3>> triangles;
  std::vector<int> lines;
};

// Reads a GOCAD TSurf file (".ts": VRTX/PVRTX, ATOM, TRGL; units from AXIS_UNIT, m or km, km
// where it says nothing; the vertical sense from ZPOSITIVE Elevation or Depth) or a gmsh ASCII
// file (".msh", versions 2.2 and 4.1, its triangles; km with z up), chosen by the name's ending.
// Horizontal positions go through proj (km east and north, or with --geographic longitude and
// latitude in degrees); depths and elevations are then in km. A damaged file is refused with
// "<path> line N: <reason>": too few vertices, a triangle naming a missing vertex, a degenerate
// triangle, a triangle above the surface, no triangle.
Mesh read_mesh(const std::string& path, const Projector& proj);

// The slip of each triangle: strike-slip (left-lateral positive, rake 0), dip-slip (reverse
// positive) and opening, m.
struct TriangleSlip {
  double strike = 0, dip = 0, opening = 0;
};

// Reads one line per triangle, in mesh order: strike-slip and dip-slip, and a third column, the
// opening, where `opening_allowed`; '#' comments and blank lines are skipped. A count that is not
// ntriangles, or a malformed line, is refused with "<path> line N: <reason>".
std::vector<TriangleSlip> read_mesh_slip(const std::string& path, std::size_t ntriangles,
                                         bool opening_allowed);

}  // namespace kirva::syn
