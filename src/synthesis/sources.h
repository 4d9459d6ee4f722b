// Sources of a synthesis: finite faults of a Coulomb 3 input file, slip-distribution patches,
// and point sources; each is reduced to weighted point sources (Gauss points of small patches)
// that the tables can be combined for.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "synthesis/geo.h"
#include "synthesis/mechanism.h"
#include "synthesis/mesh.h"
#include "synthesis/tables.h"

namespace kirva::syn {

// A planar rectangle of uniform slip and opening, given by its centre (horizontal east, north and
// depth down, m), its orientation (degrees) and its size along strike and down dip (m).
struct Rectangle {
  double east = 0, north = 0, depth = 0;
  double strike = 0, dip = 90, rake = 0;
  double slip = 0;
  double length = 0, width = 0;
  double opening = 0;  // m, across the plane (tensile)
  double top() const;
  double bottom() const;
};

// One source as the user gave it. A rectangle is cut into patches; a point source carries
// either its potency tensor (slip times area, m^3) or its moment tensor (N m, divided by the
// shear modulus at its own depth, as the tables are normalised), and may open or change volume.
struct SourceModel {
  enum class Kind { rectangle, potency, moment, triangle };
  Kind kind = Kind::rectangle;
  std::string label;  // names the source in messages, e.g. "faults.inp line 14 (fault 2)"
  Rectangle rect;     // kind rectangle; for a triangle its strike, dip, rake, slip and opening
  std::array<Vec3, 3> vertices{};         // kind triangle: east, north, depth (m)
  double east = 0, north = 0, depth = 0;  // point sources, m
  Tensor6 tensor;                         // potency (m^3) or moment (N m), table frame
  // Point sources whose moment tensors take the elastic constants at their depth: a tensile
  // potency (opening times area, m^3) across the plane of `strike` and `dip` (degrees), an
  // inflation potency (m^3, moment mu P I) and a Mogi volume change (m^3, moment
  // (lambda + 2 mu) dV I).
  double tensile = 0, strike = 0, dip = 90, inflation = 0, volume = 0;
  // A --tensor: its isotropic part is dropped, with a warning, where the tables hold no
  // explosion; every other opening or volume source is refused there.
  bool tensor_given = false;
  // Whether the source has an isotropic part, which only the explosion's table can make.
  bool isotropic() const;
  // The depth range it spans (m).
  double top() const;
  double bottom() const;
};

// A triangle of a mesh with its slip (strike-slip left-lateral, dip-slip reverse, opening; m).
// Its orientation follows from its normal: the normal pointing up gives the dip direction (its
// horizontal part) and the dip, and the strike is 90 degrees anticlockwise of the dip direction,
// so that the triangle dips to the right of its strike as a rectangle does. A horizontal triangle
// has strike 0 (north) and dip 0, the block above it the hanging wall; a vertical one takes the
// normal of its vertices' order (anticlockwise seen from the side it points to).
SourceModel triangle_source(const std::array<Vec3, 3>& vertices, double strike_slip,
                            double dip_slip, double opening, const std::string& label);

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

// Reads the fault rows and the header values of a Coulomb 3 input file: Kode 100 (right-lateral
// and reverse slip, m), 200 (right-lateral slip, opening), 300 (opening, reverse slip) over the
// rectangle, Kode 400 (right-lateral and reverse potency, m^3) and 500 (tensile and inflation
// potency, m^3) at its centre. A ".inr" file holds Kode 100 rows with rake (degrees) and net
// slip (m) in the two fields.
CoulombFile read_coulomb(const std::string& path, const Projector& proj);

// Reads a slip-distribution table: one patch a line, centre x, y, depth (km), strike, dip,
// rake (degrees), slip (m), length along strike, width down dip (km), and optionally the
// opening (m).
std::vector<SourceModel> read_patches(const std::string& path, const Projector& proj);

// --point X/Y/DEPTH/STRIKE/DIP/RAKE/M0, --tensor X/Y/DEPTH/MRR/MTT/MPP/MRT/MRP/MTP (N m),
// --tensile X/Y/DEPTH/STRIKE/DIP/POTENCY (m^3) and --mogi X/Y/DEPTH/DV (m^3).
SourceModel point_source(const std::string& text, const Projector& proj);
SourceModel tensor_source(const std::string& text, const Projector& proj);
SourceModel tensile_source(const std::string& text, const Projector& proj);
SourceModel mogi_source(const std::string& text, const Projector& proj);
// The same from their 7, 9, 6 and 4 values, named by `label` in messages.
SourceModel point_source(const std::vector<double>& v, const std::string& label,
                         const Projector& proj);
SourceModel tensor_source(const std::vector<double>& v, const std::string& label,
                          const Projector& proj);
SourceModel tensile_source(const std::vector<double>& v, const std::string& label,
                           const Projector& proj);
SourceModel mogi_source(const std::vector<double>& v, const std::string& label,
                        const Projector& proj);

// Makes the sources fit tables with or without the explosion: without it a --tensor loses its
// isotropic part (a warning, in `warnings`, says how large it was) and any other source with an
// isotropic part is refused with a message that says how to make the table.
void settle_isotropic(std::vector<SourceModel>& sources, bool tables_isotropic,
                      std::vector<std::string>& warnings);
// Stops with that message for a source with an isotropic part.
[[noreturn]] void refuse_isotropic(const SourceModel& s);

// A patch from the nine or ten values of a slip-table row (x y depth strike dip rake slip
// length width [opening], km, degrees and m), checked; `at` begins its messages.
SourceModel patch_source(const double* v, int n, const std::string& label, const std::string& at,
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
  // Triangles: each point shared between the two depth levels origin + l level around it, by
  // linear weights, so that a mesh's points take few depths (each depth needs its own reduced
  // tables). 0: points at their own depths.
  double depth_level = 0, depth_origin = 0;
};

// Gauss-Legendre nodes on [-1, 1] and their weights.
void gauss_legendre(int n, std::vector<double>& nodes, std::vector<double>& weights);

// The triangles of a mesh read from `path` with their slip (one per triangle), named in messages
// by the file's line and their number.
std::vector<SourceModel> mesh_sources(const Mesh& mesh, const std::vector<TriangleSlip>& slip,
                                      const std::string& path);

// A symmetric quadrature rule on a triangle: barycentric points (the third coordinate is 1 minus
// the two given) and weights that sum to 1.
struct TriangleRule {
  std::vector<std::array<double, 2>> points;
  std::vector<double> weights;
  int degree = 0;  // polynomials of this degree are integrated exactly
};
// The rule for `gauss` Gauss-Legendre points per rectangle side, which are exact to degree
// 2 gauss - 1: the centroid for 1, six points of degree 4 for 2, seven of degree 5 for 3 or more
// (for more than 3 the triangles are cut twice as finely instead).
TriangleRule triangle_rule(int gauss);

// Cuts every rectangle into patches no larger than d.patch_size and places d.gauss x d.gauss
// points in each; point sources become one point. Moment tensors are divided by the shear
// modulus at their depth.
std::vector<SourcePoint> discretise(const std::vector<SourceModel>& models, const Discretisation& d,
                                    const EarthModel& earth);

}  // namespace kirva::syn
