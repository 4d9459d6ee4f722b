// What the synthesis takes from a table library: the samplings, the earth model and the
// columns. view_of() fills it from a GreenLibrary; tests may fill it with columns of their own.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "library/library.h"
#include "tables/sources.h"

namespace kirva::syn {

struct Layer {
  double thickness = 0, vp = 0, vs = 0, rho = 0;  // m, m/s, m/s, kg/m^3; last row: half-space
  double mu() const { return (rho * vs) * vs; }
  double lambda() const { return rho * vp * vp - 2 * mu(); }
};

// The layer table of the library: elastic constants at any depth, from the row just below it
// when the depth is on an interface (the row that normalises a source there).
struct EarthModel {
  std::vector<Layer> layers;
  // Depths (m, increasing) across which the tables are not smooth (GreenLibrary::interfaces()):
  // no stencil in depth reaches across one, and no source point straddles one.
  std::vector<double> interfaces;
  // Per interface, the moduli of the rows above and below it, and whether the tables obey the
  // elastic conditions across it (the elastic tables, or rows elastic on both sides), so that
  // the tables on it, which belong to the row below, give the limit from above as well.
  struct Limit {
    double lambda_above = 0, mu_above = 0, lambda_below = 0, mu_below = 0;
    bool derived = false;
  };
  std::vector<Limit> limits;
  const Layer& at(double depth) const;
  double mu(double depth) const;
  double lambda(double depth) const;
};

struct TableView {
  std::vector<double> r;     // distances, m, increasing (r[0] = 0: the axis)
  std::vector<double> zs;    // source depths, m, evenly spaced
  std::vector<double> zrec;  // observation depths, m, increasing
  EarthModel earth;
  bool isotropic = false;  // the explosion's columns are there (SourceType::ex)
  // column(k, type, j, c): nr values at observation depth k and source depth j; empty for the
  // CLVD's ut, ert and etz.
  std::function<std::span<const double>(int k, SourceType t, int j, Component c)> column;
};

// The view of an open library (which must outlive it) at time_years after a step of slip:
// the tables that select_time() (library.h) picks or interpolates, and with `postseismic` their
// change since the source, the selected tables minus the elastic ones (a library without times
// refuses it). The synthesis is linear in the tables, so interpolated or differenced columns are
// computed once here, into memory the view owns, and the synthesis reads them as it reads the
// library's own; the elastic tables, and those at a tabulated time, are read in place.
TableView view_of(const GreenLibrary& lib, double time_years, bool postseismic);
// The elastic tables, read in place.
inline TableView view_of(const GreenLibrary& lib) {
  return view_of(lib, 0.0, false);
}

}  // namespace kirva::syn
