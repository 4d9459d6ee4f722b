#include <array>
#include <memory>
#include <string>
#include <vector>

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
  return at(depth).mu();
}

double EarthModel::lambda(double depth) const {
  return at(depth).lambda();
}

namespace {

// Where the columns of a block laid out as the library's (observation depth, type, source
// depth, component, distance) start.
struct Block {
  std::size_t nr = 0, per_depth = 0;
  std::array<std::size_t, 4> type_start{};
  std::size_t at(int k, SourceType t, int j, int ci) const {
    const auto nc = static_cast<std::size_t>(source_info(t).ncomp);
    return static_cast<std::size_t>(k) * per_depth + type_start[static_cast<std::size_t>(t)] +
           (static_cast<std::size_t>(j) * nc + static_cast<std::size_t>(ci)) * nr;
  }
};

// The columns of every type (the explosion's when `isotropic`) at every observation and source
// depth, wa * tables(a) + wb * tables(b), less the elastic ones when `postseismic`, in one block
// the returned column function owns.
std::function<std::span<const double>(int, SourceType, int, Component)> materialise(
    const GreenLibrary& lib, const TimeSelection& s, bool postseismic, bool isotropic) {
  const int ntypes = isotropic ? 4 : 3;
  Block b;
  b.nr = static_cast<std::size_t>(lib.nr());
  for (int t = 0; t < ntypes; ++t) {
    b.type_start[static_cast<std::size_t>(t)] = b.per_depth;
    b.per_depth += static_cast<std::size_t>(kSourceTypes[static_cast<std::size_t>(t)].ncomp) *
                   static_cast<std::size_t>(lib.nzs()) * b.nr;
  }
  auto values =
      std::make_shared<std::vector<double>>(b.per_depth * static_cast<std::size_t>(lib.nzrec()));
  for (int k = 0; k < lib.nzrec(); ++k) {
    for (int ti = 0; ti < ntypes; ++ti) {
      const auto t = static_cast<SourceType>(ti);
      const SourceTypeInfo& info = source_info(t);
      for (int j = 0; j < lib.nzs(); ++j) {
        for (int ci = 0; ci < info.ncomp; ++ci) {
          const auto c = static_cast<Component>(info.comps[static_cast<std::size_t>(ci)]);
          double* out = values->data() + b.at(k, t, j, ci);
          const auto fa = lib.column(k, t, j, c, s.a), fb = lib.column(k, t, j, c, s.b);
          for (std::size_t i = 0; i < b.nr; ++i)
            out[i] = s.a == s.b ? fa[i] : s.wa * fa[i] + s.wb * fb[i];
          if (postseismic) {
            const auto e = lib.column(k, t, j, c);
            for (std::size_t i = 0; i < b.nr; ++i) out[i] -= e[i];
          }
        }
      }
    }
  }
  return [&lib, values, b, ntypes](int k, SourceType t, int j, Component c) {
    if (k < 0 || k >= lib.nzrec() || j < 0 || j >= lib.nzs() || static_cast<int>(t) >= ntypes)
      return lib.column(k, t, j, c);  // its refusal
    const int ci = component_index(t, c);
    if (ci < 0) return std::span<const double>();
    return std::span<const double>(values->data() + b.at(k, t, j, ci), b.nr);
  };
}

}  // namespace

TableView view_of(const GreenLibrary& lib, double time_years, bool postseismic) {
  TableView v;
  v.r.assign(lib.r().begin(), lib.r().end());
  v.zs.assign(lib.zs().begin(), lib.zs().end());
  v.zrec.assign(lib.zrec().begin(), lib.zrec().end());
  for (int l = 0; l < lib.nlayer(); ++l) {
    v.earth.layers.push_back({lib.thickness(l), lib.vp(l), lib.vs(l), lib.density(l)});
  }
  v.earth.interfaces.assign(lib.interfaces().begin(), lib.interfaces().end());
  for (std::size_t i = 0; i < v.earth.interfaces.size(); ++i) {
    // The row below the interface, and the row above it, which ends there.
    const auto row =
        static_cast<std::size_t>(&v.earth.at(v.earth.interfaces[i]) - v.earth.layers.data());
    const Layer& above = v.earth.layers[row > 0 ? row - 1 : 0];
    const Layer& below = v.earth.layers[row];
    EarthModel::Limit lim{above.lambda(), above.mu(), below.lambda(), below.mu(), false};
    lim.derived = row > 0 && ((time_years == 0.0 && !postseismic) || lib.interface_elastic(i));
    v.earth.limits.push_back(lim);
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
  if (postseismic && lib.times().size() == 1) {
    throw Stop(lib.path() +
               ": holds the elastic tables only (time 0): the change since the source "
               "(postseismic) needs tables after it, which kirva --times makes");
  }
  const TimeSelection s = select_time(lib, time_years);
  if (!postseismic && s.a == 0 && s.b == 0) {
    v.column = [&lib](int k, SourceType t, int j, Component c) { return lib.column(k, t, j, c); };
    return v;
  }
  if (!postseismic && s.a == s.b) {
    v.column = [&lib, a = s.a](int k, SourceType t, int j, Component c) {
      return lib.column(k, t, j, c, a);
    };
    return v;
  }
  v.column = materialise(lib, s, postseismic, v.isotropic);
  return v;
}

}  // namespace kirva::syn
