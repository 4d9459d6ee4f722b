// Sources of a synthesis: finite faults of a Coulomb 3 input file, slip-distribution patches,
// and point sources; each is reduced to weighted point sources (Gauss points of small patches)
// that the tables can be combined for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "synthesis/geo.h"
#include "synthesis/mechanism.h"
#include "synthesis/tables.h"

namespace kirva::syn {

// A planar rectangle of uniform slip, given by its centre (horizontal east, north and depth
// down, m), its orientation (degrees) and its size along strike and down dip (m).
struct Rectangle {
  double east = 0, north = 0, depth = 0;
  double strike = 0, dip = 90, rake = 0;
  double slip = 0;
  double length = 0, width = 0;
  double top() const;
  double bottom() const;
};

// One source as the user gave it. A rectangle is cut into patches; a point source carries
// either its potency tensor (slip times area, m^3) or its moment tensor (N m, divided by the
// shear modulus at its own depth, as the tables are normalised).
struct SourceModel {
  enum class Kind { rectangle, potency, moment };
  Kind kind = Kind::rectangle;
  std::string label;  // names the source in messages, e.g. "faults.inp line 14 (fault 2)"
  Rectangle rect;     // kind rectangle
  double east = 0, north = 0, depth = 0;  // point sources, m
  Tensor6 tensor;                         // potency (m^3) or moment (N m), table frame
};

// The Grid Parameters of a Coulomb file (km).
struct CoulombGrid {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0, dx = 0, dy = 0;
};

struct CoulombFile {
  std::vector<SourceModel> sources;
  std::optional<double> friction;   // FRIC
  std::optional<double> depth_km;   // DEPTH, of the grid
  std::optional<CoulombGrid> grid;  // Grid Parameters
};

// Reads the fault rows (Kode 100 and 400) and the header values of a Coulomb 3 input file.
// Rows with an opening component are refused, naming the row.
CoulombFile read_coulomb(const std::string& path, const Projector& proj);

// Reads a slip-distribution table: one patch a line, centre x, y, depth (km), strike, dip,
// rake (degrees), slip (m), length along strike, width down dip (km).
std::vector<SourceModel> read_patches(const std::string& path, const Projector& proj);

// --point X/Y/DEPTH/STRIKE/DIP/RAKE/M0 and --tensor X/Y/DEPTH/MRR/MTT/MPP/MRT/MRP/MTP. A tensor's
// isotropic part, which the tables cannot represent, is dropped; `warning` then says how large
// it was.
SourceModel point_source(const std::string& text, const Projector& proj);
SourceModel tensor_source(const std::string& text, const Projector& proj, std::string& warning);
// The same from their 7 and 9 values, named by `label` in messages.
SourceModel point_source(const std::vector<double>& v, const std::string& label,
                         const Projector& proj);
SourceModel tensor_source(const std::vector<double>& v, const std::string& label,
                          const Projector& proj, std::string& warning);

// A patch from the nine values of a slip-table row (x y depth strike dip rake slip length
// width, km and degrees), checked; `at` begins its messages.
SourceModel patch_source(const double* v, const std::string& label, const std::string& at,
                         const Projector& proj);

// A weighted point source: position (m) and potency tensor (m^3), the table columns combined
// with it give its field.
struct SourcePoint {
  double east = 0, north = 0, depth = 0;
  Tensor6 potency;
  int model = 0;  // index of the SourceModel it belongs to
};

struct Discretisation {
  double patch_size = 0;  // m, the largest side of a patch
  int gauss = 2;          // Gauss-Legendre points per patch side
};

// Gauss-Legendre nodes on [-1, 1] and their weights.
void gauss_legendre(int n, std::vector<double>& nodes, std::vector<double>& weights);

// Cuts every rectangle into patches no larger than d.patch_size and places d.gauss x d.gauss
// points in each; point sources become one point. Moment tensors are divided by the shear
// modulus at their depth.
std::vector<SourcePoint> discretise(const std::vector<SourceModel>& models, const Discretisation& d,
                                    const EarthModel& earth);

}  // namespace kirva::syn
