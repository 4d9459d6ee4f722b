#include <string>

#include "stop.h"
#include "synthesis/tables.h"

namespace kirva::syn {

const Layer& EarthModel::at(double depth) const {
  if (layers.empty()) throw Stop("kirva-syn: the library holds no layer table");
  // Interfaces summed from the surface, as the library's source_row() sums them.
  std::size_t row = 0;
  double bottom = layers[0].thickness;
  while (depth >= bottom && row + 1 < layers.size()) {
    ++row;
    bottom += layers[row].thickness;
  }
  return layers[row];
}

double EarthModel::mu(double depth) const {
  const Layer& l = at(depth);
  return (l.rho * l.vs) * l.vs;
}

double EarthModel::lambda(double depth) const {
  const Layer& l = at(depth);
  return l.rho * l.vp * l.vp - 2 * ((l.rho * l.vs) * l.vs);
}

TableView view_of(const GreenLibrary& lib) {
  TableView v;
  v.r.assign(lib.r().begin(), lib.r().end());
  v.zs.assign(lib.zs().begin(), lib.zs().end());
  v.zrec.assign(lib.zrec().begin(), lib.zrec().end());
  for (int l = 0; l < lib.nlayer(); ++l) {
    v.earth.layers.push_back({lib.thickness(l), lib.vp(l), lib.vs(l), lib.density(l)});
  }
  for (std::size_t k = 1; k < v.zrec.size(); ++k) {
    if (!(v.zrec[k] > v.zrec[k - 1])) {
      throw Stop("kirva-syn: " + lib.path() + ": the observation depths do not increase");
    }
  }
  if (lib.nzrec() < 1) {
    throw Stop("kirva-syn: " + lib.path() + " holds no observation depth");
  }
  v.isotropic = lib.has_isotropic();
  v.column = [&lib](int k, SourceType t, int j, Component c) { return lib.column(k, t, j, c); };
  return v;
}

}  // namespace kirva::syn
