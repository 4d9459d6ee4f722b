// Every source-receiver pair must lie inside the tables: the distances, the source depths and
// the observation depths. A pair outside is an error that names the first such pair and the
// range the tables would need, never a silent clamp or zero.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "stop.h"
#include "synthesis/combine.h"

namespace kirva::syn {

namespace {

std::string km(double m) {
  std::ostringstream s;
  s << m / 1000.0;
  return s.str();
}

std::string receiver_name(const Receiver& r, bool geographic) {
  std::ostringstream s;
  s << "receiver ";
  if (!r.name.empty()) s << "'" << r.name << "' ";
  s << "at (" << r.x << ", " << r.y << (geographic ? ")" : ") km") << ", depth " << km(r.depth)
    << " km";
  return s.str();
}

// Convex hull of the sources' horizontal positions (Andrew's monotone chain): the farthest
// source from any receiver is one of its vertices.
std::vector<std::pair<double, double>> hull(const std::vector<SourcePoint>& points) {
  std::vector<std::pair<double, double>> p;
  p.reserve(points.size());
  for (const auto& s : points) p.emplace_back(s.east, s.north);
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  if (p.size() < 3) return p;
  auto cross = [](auto& o, auto& a, auto& b) {
    return (a.first - o.first) * (b.second - o.second) -
           (a.second - o.second) * (b.first - o.first);
  };
  std::vector<std::pair<double, double>> h(2 * p.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
    while (k >= t && cross(h[k - 2], h[k - 1], p[i - 1]) <= 0) --k;
    h[k++] = p[i - 1];
  }
  h.resize(k - 1);
  return h;
}

}  // namespace

void check_ranges(const TableView& t, const std::vector<SourceModel>& models,
                  const std::vector<SourcePoint>& points, const std::vector<Receiver>& receivers,
                  bool geographic) {
  // Source depths: the whole extent of every source.
  const double zs0 = t.zs.front(), zs1 = t.zs.back();
  double need0 = INFINITY, need1 = -INFINITY;
  int bad = -1;
  for (std::size_t i = 0; i < models.size(); ++i) {
    const SourceModel& s = models[i];
    const double top = s.top(), bottom = s.bottom();
    need0 = std::min(need0, top);
    need1 = std::max(need1, bottom);
    const double tol = 1e-9 * std::max(1.0, zs1);
    if (bad < 0 && (top < zs0 - tol || bottom > zs1 + tol)) bad = static_cast<int>(i);
  }
  if (bad >= 0) {
    const SourceModel& s = models[bad];
    const bool rect =
        s.kind == SourceModel::Kind::rectangle || s.kind == SourceModel::Kind::triangle;
    const double top = s.top(), bottom = s.bottom();
    std::ostringstream m;
    m << "kirva-syn: " << s.label;
    if (rect) {
      m << " reaches from " << km(top) << " to " << km(bottom) << " km depth";
    } else {
      m << " lies at " << km(top) << " km depth";
    }
    m << ", " << (top < zs0 ? "above the shallowest" : "below the deepest")
      << " tabulated source depth (" << km(zs0) << " to " << km(zs1)
      << " km); the tables would need source depths from " << km(need0) << " to " << km(need1)
      << " km";
    throw Stop(m.str());
  }

  // Observation depths.
  const double zr0 = t.zrec.front(), zr1 = t.zrec.back();
  double rneed0 = INFINITY, rneed1 = -INFINITY;
  bad = -1;
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const double z = receivers[i].depth;
    rneed0 = std::min(rneed0, z);
    rneed1 = std::max(rneed1, z);
    const double tol = 1e-9 * std::max(1.0, zr1);
    if (bad < 0 && (z < zr0 - tol || z > zr1 + tol)) bad = static_cast<int>(i);
  }
  if (bad >= 0) {
    std::ostringstream m;
    m << "kirva-syn: " << receiver_name(receivers[bad], geographic)
      << " is outside the tabulated observation depths (" << km(zr0) << " to " << km(zr1)
      << " km); the tables would need observation depths from " << km(rneed0) << " to "
      << km(rneed1) << " km";
    throw Stop(m.str());
  }

  // Distances: the farthest source from every receiver is a vertex of the sources' hull; the
  // nearest matters only when the tables do not start on the axis.
  const auto h = hull(points);
  const double rmin = t.r.front(), rmax = t.r.back();
  double dmax = 0, dmin = INFINITY;
  bad = -1;
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    const Receiver& rc = receivers[i];
    double far = 0, near = INFINITY;
    for (const auto& v : h) {
      const double dn = rc.north - v.second, de = rc.east - v.first;
      far = std::max(far, std::sqrt(dn * dn + de * de));
    }
    if (rmin > 0) {
      for (const auto& s : points) {
        const double dn = rc.north - s.north, de = rc.east - s.east;
        near = std::min(near, std::sqrt(dn * dn + de * de));
      }
    }
    dmax = std::max(dmax, far);
    dmin = std::min(dmin, near);
    if (bad < 0 && (far > rmax || near < rmin)) bad = static_cast<int>(i);
  }
  if (bad < 0) return;
  const Receiver& rc = receivers[bad];
  for (const auto& s : points) {
    const double dn = rc.north - s.north, de = rc.east - s.east;
    const double r = std::sqrt(dn * dn + de * de);
    if (r <= rmax && r >= rmin) continue;
    std::ostringstream m;
    m << "kirva-syn: " << receiver_name(rc, geographic) << " and " << models[s.model].label;
    if (models[s.model].kind == SourceModel::Kind::rectangle ||
        models[s.model].kind == SourceModel::Kind::triangle) {
      m << " (its point at " << km(s.east) << " km east, " << km(s.north) << " km north, "
        << km(s.depth) << " km depth)";
    }
    m << " are " << km(r) << " km apart, outside the tabulated distances (" << km(rmin) << " to "
      << km(rmax) << " km); the tables would need distances ";
    if (rmin > 0) {
      m << "from " << km(dmin) << " to " << km(dmax) << " km";
    } else {
      m << "up to " << km(dmax) << " km";
    }
    throw Stop(m.str());
  }
}

}  // namespace kirva::syn
