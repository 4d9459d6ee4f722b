#include "synthesis/sources.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <numbers>
#include <sstream>

#include "library/interp.h"
#include "stop.h"
#include "synthesis/parse.h"

namespace kirva::syn {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

std::string fmt(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// The value after "KEY=" on a header line ("#fixed=  1", "FRIC=  0.4"), if the line has it.
std::optional<std::string> header_value(const std::string& line, const std::string& key) {
  std::size_t pos = 0;
  while ((pos = line.find(key, pos)) != std::string::npos) {
    const bool starts = pos == 0 || line[pos - 1] == ' ' || line[pos - 1] == '\t';
    std::size_t q = pos + key.size();
    while (q < line.size() && line[q] == ' ') ++q;
    if (starts && q < line.size() && line[q] == '=') {
      const auto f = fields(std::string_view(line).substr(q + 1), false);
      if (!f.empty()) return f[0];
      return std::string();
    }
    pos += key.size();
  }
  return std::nullopt;
}

// Checks shared by fault rows and patch rows. A fault row is given by its depth range, so its dip
// cannot be 0; a patch, given by its width, may be horizontal.
void check_geometry(const std::string& at, double dip, double top, double bottom,
                    bool horizontal_allowed = false) {
  if (!((dip > 0 || (horizontal_allowed && dip == 0)) && dip <= 90)) {
    throw Stop(at + "dip " + fmt(dip) + " is outside " +
               (horizontal_allowed ? "0" : "0 (exclusive)") + " to 90 degrees");
  }
  if (!(top >= 0)) throw Stop(at + "top depth " + fmt(top) + " km is above the surface");
  if (!(bottom > top) && !(horizontal_allowed && bottom == top)) {
    throw Stop(at + "bottom depth " + fmt(bottom) + " km is not below the top depth " + fmt(top) +
               " km");
  }
}

}  // namespace

double Rectangle::top() const {
  return depth - 0.5 * width * std::sin(dip * kDeg);
}
double Rectangle::bottom() const {
  return depth + 0.5 * width * std::sin(dip * kDeg);
}

SourceModel patch_source(const double* v, int n, const std::string& label, const std::string& at,
                         const Projector& proj) {
  if (!(v[7] > 0) || !(v[8] > 0)) throw Stop(at + "length and width must be positive");
  SourceModel s;
  s.label = label;
  Rectangle& r = s.rect;
  proj.project(v[0], v[1], r.east, r.north);
  r.depth = v[2] * 1000.0;
  r.strike = v[3];
  r.dip = v[4];
  r.rake = v[5];
  r.slip = v[6];
  r.length = v[7] * 1000.0;
  r.width = v[8] * 1000.0;
  if (n > 9) r.opening = v[9];
  check_geometry(at, r.dip, r.top() / 1000.0, r.bottom() / 1000.0, true);
  return s;
}

CoulombFile read_coulomb(const std::string& path, const Projector& proj) {
  const auto lines = read_lines(path);
  CoulombFile out;
  const bool inr = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".inr") == 0 ||
                                        path.compare(path.size() - 4, 4, ".INR") == 0);
  std::optional<long> nfixed;
  std::size_t i = 0;
  // Header: KEY= values up to the line of x's that heads the fault rows.
  for (; i < lines.size(); ++i) {
    const auto f = fields(lines[i], false);
    if (!f.empty() && f[0].find_first_not_of('x') == std::string::npos) break;
    auto number = [&](const std::string& key) -> std::optional<double> {
      const auto v = header_value(lines[i], key);
      if (!v) return std::nullopt;
      const auto n = parse_number(*v);
      if (!n) throw Stop(where(path, i + 1) + key + "= is followed by '" + *v + "', not a number");
      return n;
    };
    if (auto v = number("#fixed")) nfixed = std::lround(*v);
    if (auto v = number("FRIC")) out.friction = *v;
    if (auto v = number("DEPTH")) out.depth_km = *v;
  }
  if (i == lines.size()) {
    throw Stop("kirva-syn: " + path +
               " has no fault table (the line of x's that heads the fault rows is missing)");
  }
  ++i;
  // Fault rows: #fixed of them when the header says so, otherwise up to the first line that
  // does not start with a row number.
  int row = 0;
  for (; i < lines.size(); ++i) {
    const auto f = fields(lines[i], false);
    if (f.empty() || !parse_integer(f[0]) || (nfixed && row == *nfixed)) break;
    const std::string at = where(path, i + 1);
    if (f.size() < 11) {
      throw Stop(at +
                 "fault row: expected 11 values (# X-start Y-start X-fin Y-fin Kode rt.lat "
                 "reverse dip top bot), found " +
                 std::to_string(f.size()));
    }
    double v[11];
    for (int c = 0; c < 11; ++c) {
      const auto n = parse_number(f[c]);
      if (!n) throw Stop(at + "fault row: '" + f[c] + "' is not a number");
      v[c] = *n;
    }
    ++row;
    const long kode = std::lround(v[5]);
    const std::string label =
        path + " line " + std::to_string(i + 1) + " (fault " + std::to_string(row) + ")";
    if (inr ? kode != 100
            : kode != 100 && kode != 200 && kode != 300 && kode != 400 && kode != 500) {
      throw Stop(at + "fault " + std::to_string(row) + " has Kode " + std::to_string(kode) +
                 (inr ? ": a .inr file holds Kode 100 rows (rake and net slip)"
                      : ": known are 100, 200 and 300 (slip and opening over the rectangle), "
                        "400 and 500 (potencies at its centre)"));
    }
    const double dip = v[8], top = v[9], bottom = v[10];
    check_geometry(at, dip, top, bottom);
    double se, sn, fe, fn;
    proj.project(v[1], v[2], se, sn);
    proj.project(v[3], v[4], fe, fn);
    const double length = std::hypot(fe - se, fn - sn);
    if (!(length > 0)) throw Stop(at + "fault " + std::to_string(row) + " has no length");
    // Strike along start -> finish; the fault dips to its right.
    const double ue = (fe - se) / length, un = (fn - sn) / length;
    const double de = un, dn = -ue;
    const double d = dip * kDeg;
    const double width = (bottom - top) * 1000.0 / std::sin(d);
    const double half = 0.5 * width * std::cos(d);
    SourceModel s;
    s.label = label;
    Rectangle& r = s.rect;
    r.east = 0.5 * (se + fe) + half * de;
    r.north = 0.5 * (sn + fn) + half * dn;
    r.depth = 0.5 * (top + bottom) * 1000.0;
    r.strike = std::atan2(ue, un) / kDeg;
    r.dip = dip;
    // The two fields: right-lateral and reverse positive (rake 180 is right-lateral, 90
    // reverse), with the opening in place of one of them for Kode 200 and 300; in a .inr file
    // the rake itself and the net slip.
    const double right = kode == 300 ? 0.0 : v[6], reverse = kode == 200 ? 0.0 : v[7];
    const double opening = kode == 200 ? v[7] : kode == 300 ? v[6] : 0.0;
    r.rake = inr ? v[6] : std::atan2(reverse, -right) / kDeg;
    r.length = length;
    r.width = width;
    if (kode == 400 || kode == 500) {
      s.kind = SourceModel::Kind::potency;
      s.east = r.east;
      s.north = r.north;
      s.depth = r.depth;
      if (kode == 400) {
        s.tensor = double_couple(r.strike, r.dip, r.rake, std::hypot(v[6], v[7]));
      } else {
        s.tensile = v[6];
        s.inflation = v[7];
        s.strike = r.strike;
        s.dip = r.dip;
      }
    } else {
      s.kind = SourceModel::Kind::rectangle;
      r.slip = inr ? v[7] : std::hypot(right, reverse);
      r.opening = opening;
    }
    out.sources.push_back(s);
  }
  if (nfixed && row < *nfixed) {
    throw Stop("kirva-syn: " + path + " announces " + std::to_string(*nfixed) +
               " fault rows (#fixed) but holds " + std::to_string(row));
  }
  // Grid Parameters: the six values after the section's heading.
  for (; i < lines.size(); ++i) {
    if (lines[i].find("Grid Parameters") == std::string::npos) continue;
    double g[6];
    for (int c = 0; c < 6; ++c) {
      const std::size_t k = i + 1 + c;
      const auto eq = k < lines.size() ? lines[k].rfind('=') : std::string::npos;
      const auto f = eq == std::string::npos
                         ? std::vector<std::string>{}
                         : fields(std::string_view(lines[k]).substr(eq + 1), false);
      const auto n = f.empty() ? std::nullopt : parse_number(f[0]);
      if (!n) {
        throw Stop(where(path, static_cast<int>(k) + 1) +
                   "Grid Parameters: expected 'name = value' (start-x, start-y, finish-x, "
                   "finish-y, x-increment, y-increment)");
      }
      g[c] = *n;
    }
    out.grid = CoulombGrid{g[0], g[1], g[2], g[3], g[4], g[5]};
    break;
  }
  return out;
}

std::vector<SourceModel> read_patches(const std::string& path, const Projector& proj) {
  const auto lines = read_lines(path);
  std::vector<SourceModel> out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto f = fields(lines[i]);
    if (f.empty()) continue;
    const std::string at = where(path, i + 1);
    if (f.size() != 9 && f.size() != 10) {
      throw Stop(at +
                 "expected 9 or 10 values (x y depth strike dip rake slip length width "
                 "[opening]), found " +
                 std::to_string(f.size()));
    }
    double v[10];
    const int n = static_cast<int>(f.size());
    for (int c = 0; c < n; ++c) {
      const auto x = parse_number(f[c]);
      if (!x) throw Stop(at + "'" + f[c] + "' is not a number");
      v[c] = *x;
    }
    out.push_back(patch_source(v, n, path + " line " + std::to_string(i + 1), at, proj));
  }
  return out;
}

namespace {

// A point source of the given kind at the position and depth of v[0..2] (km, or degrees and
// km), checked to lie below the surface (at it, when `surface` is allowed).
SourceModel located(SourceModel::Kind kind, const std::vector<double>& v, const std::string& label,
                    const Projector& proj, bool surface = true) {
  SourceModel s;
  s.kind = kind;
  s.label = label;
  proj.project(v[0], v[1], s.east, s.north);
  s.depth = v[2] * 1000.0;
  if (surface ? !(v[2] >= 0) : !(v[2] > 0)) {
    throw Stop(
        "kirva-syn: " + label +
        (surface ? ": the depth is above the surface" : ": the depth must be below the surface"));
  }
  return s;
}

}  // namespace

SourceModel point_source(const std::vector<double>& v, const std::string& label,
                         const Projector& proj) {
  SourceModel s = located(SourceModel::Kind::moment, v, label, proj);
  s.tensor = double_couple(v[3], v[4], v[5], v[6]);
  return s;
}

SourceModel point_source(const std::string& text, const Projector& proj) {
  return point_source(slash_numbers(text, 7, "--point X/Y/DEPTH/STRIKE/DIP/RAKE/M0"),
                      "--point " + text, proj);
}

SourceModel tensor_source(const std::vector<double>& v, const std::string& label,
                          const Projector& proj) {
  SourceModel s = located(SourceModel::Kind::moment, v, label, proj);
  s.tensor_given = true;
  s.tensor = from_rtp(v[3], v[4], v[5], v[6], v[7], v[8]);
  return s;
}

SourceModel tensor_source(const std::string& text, const Projector& proj) {
  return tensor_source(slash_numbers(text, 9, "--tensor X/Y/DEPTH/MRR/MTT/MPP/MRT/MRP/MTP"),
                       "--tensor " + text, proj);
}

SourceModel tensile_source(const std::vector<double>& v, const std::string& label,
                           const Projector& proj) {
  SourceModel s = located(SourceModel::Kind::potency, v, label, proj);
  if (!(v[4] >= 0 && v[4] <= 90)) {
    throw Stop("kirva-syn: " + label + ": dip " + fmt(v[4]) + " is outside 0 to 90 degrees");
  }
  s.strike = v[3];
  s.dip = v[4];
  s.tensile = v[5];
  return s;
}

SourceModel tensile_source(const std::string& text, const Projector& proj) {
  return tensile_source(slash_numbers(text, 6, "--tensile X/Y/DEPTH/STRIKE/DIP/POTENCY"),
                        "--tensile " + text, proj);
}

SourceModel mogi_source(const std::vector<double>& v, const std::string& label,
                        const Projector& proj) {
  SourceModel s = located(SourceModel::Kind::potency, v, label, proj, false);
  s.volume = v[3];
  return s;
}

SourceModel mogi_source(const std::string& text, const Projector& proj) {
  return mogi_source(slash_numbers(text, 4, "--mogi X/Y/DEPTH/DV"), "--mogi " + text, proj);
}

bool SourceModel::isotropic() const {
  if (kind == Kind::rectangle || kind == Kind::triangle) return rect.opening != 0;
  return tensile != 0 || inflation != 0 || volume != 0 || has_isotropic_part(tensor);
}

double SourceModel::top() const {
  if (kind == Kind::rectangle) return rect.top();
  if (kind == Kind::triangle) {
    return std::min({vertices[0][2], vertices[1][2], vertices[2][2]});
  }
  return depth;
}

double SourceModel::bottom() const {
  if (kind == Kind::rectangle) return rect.bottom();
  if (kind == Kind::triangle) {
    return std::max({vertices[0][2], vertices[1][2], vertices[2][2]});
  }
  return depth;
}

SourceModel triangle_source(const std::array<Vec3, 3>& v, double strike_slip, double dip_slip,
                            double opening, const std::string& label) {
  SourceModel s;
  s.kind = SourceModel::Kind::triangle;
  s.label = label;
  s.vertices = v;
  // The normal in (east, north, up) from the vertices' order; turned up where it points down.
  const double a[3] = {v[1][0] - v[0][0], v[1][1] - v[0][1], v[0][2] - v[1][2]};
  const double b[3] = {v[2][0] - v[0][0], v[2][1] - v[0][1], v[0][2] - v[2][2]};
  double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(len > 0)) throw Stop("kirva-syn: " + label + " is degenerate (no area)");
  for (double& c : n) c /= len;
  const double horizontal = std::hypot(n[0], n[1]);
  if (n[2] < 0 && horizontal < 1.0 - 1e-12) {
    for (double& c : n) c = -c;
  }
  Rectangle& r = s.rect;
  if (horizontal < 1e-12) {
    r.strike = 0;
    r.dip = 0;
  } else {
    // Dip direction = the normal's horizontal part; the strike 90 degrees anticlockwise of it.
    r.strike = std::atan2(n[0], n[1]) / kDeg - 90.0;
    if (r.strike < 0) r.strike += 360.0;
    r.dip = std::atan2(horizontal, std::max(0.0, n[2])) / kDeg;
  }
  r.rake = std::atan2(dip_slip, strike_slip) / kDeg;
  r.slip = std::hypot(strike_slip, dip_slip);
  r.opening = opening;
  r.east = (v[0][0] + v[1][0] + v[2][0]) / 3;
  r.north = (v[0][1] + v[1][1] + v[2][1]) / 3;
  r.depth = (v[0][2] + v[1][2] + v[2][2]) / 3;
  return s;
}

std::vector<SourceModel> mesh_sources(const Mesh& mesh, const std::vector<TriangleSlip>& slip,
                                      const std::string& path) {
  std::vector<SourceModel> out;
  out.reserve(mesh.triangles.size());
  for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
    const auto& t = mesh.triangles[i];
    const std::array<Vec3, 3> v = {mesh.vertices[static_cast<std::size_t>(t[0])],
                                   mesh.vertices[static_cast<std::size_t>(t[1])],
                                   mesh.vertices[static_cast<std::size_t>(t[2])]};
    const std::string label = path + " line " + std::to_string(mesh.lines[i]) + " (triangle " +
                              std::to_string(i + 1) + ")";
    out.push_back(triangle_source(v, slip[i].strike, slip[i].dip, slip[i].opening, label));
  }
  return out;
}

TriangleRule triangle_rule(int gauss) {
  TriangleRule t;
  // The orbits of a symmetric rule: the centroid, and (a, a, 1 - 2a) with its permutations.
  const auto orbit = [&](double a, double w) {
    t.points.push_back({a, a});
    t.points.push_back({a, 1 - 2 * a});
    t.points.push_back({1 - 2 * a, a});
    for (int i = 0; i < 3; ++i) t.weights.push_back(w);
  };
  if (gauss <= 1) {
    t.points.push_back({1.0 / 3, 1.0 / 3});
    t.weights.push_back(1.0);
    t.degree = 1;
  } else if (gauss == 2) {
    // Degree 4 with six points (Dunavant, Int. J. Numer. Methods Eng. 21, 1129-1148, 1985).
    orbit(0.445948490915965, 0.223381589678011);
    orbit(0.091576213509771, 0.109951743655322);
    t.degree = 4;
  } else {
    // Degree 5 with seven points (Radon 1948; Stroud, Approximate Calculation of Multiple
    // Integrals, 1971, T2:5-1).
    const double r15 = std::sqrt(15.0);
    t.points.push_back({1.0 / 3, 1.0 / 3});
    t.weights.push_back(0.225);
    orbit((6 - r15) / 21, (155 - r15) / 1200);
    orbit((6 + r15) / 21, (155 + r15) / 1200);
    t.degree = 5;
  }
  return t;
}

void refuse_isotropic(const SourceModel& s) {
  throw Stop("kirva-syn: " + s.label +
             " opens or changes volume, and the library holds no explosion table: make the "
             "library with kirva --isotropic");
}

void settle_isotropic(std::vector<SourceModel>& sources, bool tables_isotropic,
                      std::vector<std::string>& warnings) {
  if (tables_isotropic) return;
  for (SourceModel& s : sources) {
    if (!s.tensor_given) {
      if (s.isotropic()) refuse_isotropic(s);
      continue;
    }
    const double iso = isotropic_part(s.tensor);
    if (iso == 0) continue;
    const double n = norm(s.tensor);
    std::ostringstream w;
    w << "kirva-syn: warning: " << s.label << ": isotropic part (trace/3 = " << iso << " N m, "
      << 100.0 * std::fabs(iso) * std::sqrt(3.0) / n
      << " % of the tensor's norm) dropped; the tables hold no isotropic source";
    warnings.push_back(w.str());
    s.tensor.xx -= iso;
    s.tensor.yy -= iso;
    s.tensor.zz -= iso;
  }
}

void gauss_legendre(int n, std::vector<double>& nodes, std::vector<double>& weights) {
  nodes.assign(n, 0.0);
  weights.assign(n, 0.0);
  // P_n(x) and P_n'(x) by the three-term recurrence.
  auto legendre = [n](double x, double& dp) {
    double p0 = 1, p1 = x;
    for (int k = 2; k <= n; ++k) {
      const double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
      p0 = p1;
      p1 = p2;
    }
    dp = n * (x * p1 - p0) / (x * x - 1);
    return p1;
  };
  for (int i = 0; i < n; ++i) {
    // Newton iteration from the estimate of Abramowitz & Stegun (22.16.6).
    double x = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5));
    double dp = 1;
    for (int it = 0; it < 100; ++it) {
      const double dx = legendre(x, dp) / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-15) break;
    }
    legendre(x, dp);
    nodes[n - 1 - i] = x;
    weights[n - 1 - i] = 2 / ((1 - x * x) * dp * dp);
  }
}

namespace {

// A triangle cut into n^2 triangles similar to it, n the smallest with sides no longer than the
// diagonal of a patch (sqrt(2) times the patch size: the two triangles of a patch-sized square
// are not cut again), each integrated with the rule of the Gauss points asked for.
void discretise_triangle(const SourceModel& s, int model, const Discretisation& d,
                         const EarthModel& earth, std::vector<SourcePoint>& out) {
  const auto& v = s.vertices;
  const auto side = [&](int i, int j) {
    return std::sqrt((v[i][0] - v[j][0]) * (v[i][0] - v[j][0]) +
                     (v[i][1] - v[j][1]) * (v[i][1] - v[j][1]) +
                     (v[i][2] - v[j][2]) * (v[i][2] - v[j][2]));
  };
  const double longest = std::max({side(0, 1), side(1, 2), side(2, 0)});
  int n =
      std::max(1, static_cast<int>(std::ceil(longest / (std::sqrt(2.0) * d.patch_size) - 1e-9)));
  if (d.gauss > 3) n *= 2;
  const TriangleRule rule = triangle_rule(d.gauss);
  // Area from the cross product of two sides (m^2).
  double e1[3], e2[3];
  for (int c = 0; c < 3; ++c) {
    e1[c] = v[1][c] - v[0][c];
    e2[c] = v[2][c] - v[0][c];
  }
  const double cx = e1[1] * e2[2] - e1[2] * e2[1], cy = e1[2] * e2[0] - e1[0] * e2[2],
               cz = e1[0] * e2[1] - e1[1] * e2[0];
  const double area = 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz) / (n * n);
  const Rectangle& r = s.rect;
  const Tensor6 unit = double_couple(r.strike, r.dip, r.rake, 1.0);
  // A point source of the triangle, shared between the depth levels above and below it when
  // both lie in its layer (an interface between them would mix the tables of two layers).
  const auto emit = [&](SourcePoint p) {
    p.model = model;
    if (!(d.depth_level > 0)) {
      out.push_back(p);
      return;
    }
    const double u = (p.depth - d.depth_origin) / d.depth_level, l = std::floor(u), f = u - l;
    const auto [top, bottom, unused] = layer_around(earth.interfaces, p.depth);
    if (!(d.depth_origin + l * d.depth_level >= top &&
          d.depth_origin + (l + 1) * d.depth_level < bottom)) {
      out.push_back(p);
      return;
    }
    const Tensor6 m = p.potency;
    for (const auto& [level, share] : {std::pair{l, 1 - f}, std::pair{l + 1, f}}) {
      if (share == 0) continue;
      p.depth = d.depth_origin + level * d.depth_level;
      p.potency = scaled(m, share);
      out.push_back(p);
    }
  };
  const auto potency = [&](double w, double depth) {
    Tensor6 t = scaled(unit, r.slip * w);
    if (r.opening != 0)
      t = sum(t, tensile(r.strike, r.dip, r.opening * w, earth.lambda(depth), earth.mu(depth)));
    return t;
  };
  // A piece of a small triangle that lies in one layer, by its corners (east, north, depth).
  using Corner = std::array<double, 3>;
  const auto piece = [&](const Corner& a, const Corner& b, const Corner& c) {
    double u1[3], u2[3];
    for (int q = 0; q < 3; ++q) {
      u1[q] = b[q] - a[q];
      u2[q] = c[q] - a[q];
    }
    const double x = u1[1] * u2[2] - u1[2] * u2[1], y = u1[2] * u2[0] - u1[0] * u2[2],
                 z = u1[0] * u2[1] - u1[1] * u2[0];
    const double a_piece = 0.5 * std::sqrt(x * x + y * y + z * z);
    for (std::size_t q = 0; q < rule.points.size(); ++q) {
      const double l1 = rule.points[q][0], l2 = rule.points[q][1], l0 = 1 - l1 - l2;
      SourcePoint p;
      p.east = l0 * a[0] + l1 * b[0] + l2 * c[0];
      p.north = l0 * a[1] + l1 * b[1] + l2 * c[1];
      p.depth = l0 * a[2] + l1 * b[2] + l2 * c[2];
      p.potency = potency(a_piece * rule.weights[q], p.depth);
      emit(p);
    }
  };
  // Cuts a triangle at the interfaces from `from` on (the plane depth = z): a lone corner on
  // one side gives a triangle and a quadrilateral (two triangles), a corner on the plane two
  // triangles.
  std::function<void(const Corner&, const Corner&, const Corner&, std::size_t)> cut =
      [&](const Corner& a, const Corner& b, const Corner& c, std::size_t from) {
        for (std::size_t i = from; i < earth.interfaces.size(); ++i) {
          const double zi = earth.interfaces[i];
          const Corner v[3] = {a, b, c};
          const double sgn[3] = {a[2] - zi, b[2] - zi, c[2] - zi};
          const bool above = sgn[0] < 0 || sgn[1] < 0 || sgn[2] < 0;
          const bool below = sgn[0] > 0 || sgn[1] > 0 || sgn[2] > 0;
          if (!above || !below) continue;
          const auto at = [&](int p, int q) {
            const double t = sgn[p] / (sgn[p] - sgn[q]);
            Corner x;
            for (int k = 0; k < 3; ++k) x[k] = v[p][k] + t * (v[q][k] - v[p][k]);
            x[2] = zi;
            return x;
          };
          for (int m = 0; m < 3; ++m) {
            const int p = (m + 1) % 3, q = (m + 2) % 3;
            if (sgn[m] == 0) {  // on the plane, the others on either side
              const Corner x = at(p, q);
              cut(v[m], v[p], x, i + 1);
              cut(v[m], x, v[q], i + 1);
              return;
            }
            if ((sgn[m] < 0) != (sgn[p] < 0) && (sgn[m] < 0) != (sgn[q] < 0) && sgn[p] != 0 &&
                sgn[q] != 0) {  // m alone on its side
              const Corner x1 = at(m, p), x2 = at(m, q);
              cut(v[m], x1, x2, i + 1);
              cut(x1, v[p], v[q], i + 1);
              cut(x1, v[q], x2, i + 1);
              return;
            }
          }
        }
        piece(a, b, c);
      };
  // The small triangles by their corner (i, j) on the grid of steps e1/n, e2/n: the one pointing
  // like the whole, and for i + j < n - 1 the one turned over beside it.
  const auto add = [&](double i0, double j0, double i1, double j1, double i2, double j2) {
    const auto corner = [&](double i, double j) {
      return Corner{v[0][0] + i / n * e1[0] + j / n * e2[0],
                    v[0][1] + i / n * e1[1] + j / n * e2[1],
                    v[0][2] + i / n * e1[2] + j / n * e2[2]};
    };
    const Corner c0 = corner(i0, j0), c1 = corner(i1, j1), c2 = corner(i2, j2);
    const double zlo = std::min({c0[2], c1[2], c2[2]}), zhi = std::max({c0[2], c1[2], c2[2]});
    if (std::any_of(earth.interfaces.begin(), earth.interfaces.end(),
                    [&](double zi) { return zi > zlo && zi < zhi; })) {
      cut(c0, c1, c2, 0);
      return;
    }
    for (std::size_t q = 0; q < rule.points.size(); ++q) {
      const double l1 = rule.points[q][0], l2 = rule.points[q][1], l0 = 1 - l1 - l2;
      const double a = (l0 * i0 + l1 * i1 + l2 * i2) / n, b = (l0 * j0 + l1 * j1 + l2 * j2) / n;
      SourcePoint p;
      p.east = v[0][0] + a * e1[0] + b * e2[0];
      p.north = v[0][1] + a * e1[1] + b * e2[1];
      p.depth = v[0][2] + a * e1[2] + b * e2[2];
      p.potency = potency(area * rule.weights[q], p.depth);
      emit(p);
    }
  };
  for (int i = 0; i < n; ++i) {
    for (int j = 0; i + j < n; ++j) {
      add(i, j, i + 1, j, i, j + 1);
      if (i + j < n - 1) add(i + 1, j, i + 1, j + 1, i, j + 1);
    }
  }
}

}  // namespace

std::vector<SourcePoint> discretise(const std::vector<SourceModel>& models, const Discretisation& d,
                                    const EarthModel& earth) {
  std::vector<double> xi, wi;
  gauss_legendre(d.gauss, xi, wi);
  std::vector<SourcePoint> out;
  for (std::size_t k = 0; k < models.size(); ++k) {
    const SourceModel& s = models[k];
    if (s.kind == SourceModel::Kind::triangle) {
      discretise_triangle(s, static_cast<int>(k), d, earth, out);
      continue;
    }
    if (s.kind != SourceModel::Kind::rectangle) {
      SourcePoint p;
      p.east = s.east;
      p.north = s.north;
      p.depth = s.depth;
      p.potency = s.kind == SourceModel::Kind::potency ? s.tensor
                                                       : scaled(s.tensor, 1.0 / earth.mu(s.depth));
      if (s.tensile != 0 || s.inflation != 0 || s.volume != 0) {
        const double lam = earth.lambda(s.depth), mu = earth.mu(s.depth);
        p.potency = sum(p.potency, tensile(s.strike, s.dip, s.tensile, lam, mu));
        p.potency = sum(p.potency, isotropic(mu * s.inflation + (lam + 2 * mu) * s.volume, mu));
      }
      p.model = static_cast<int>(k);
      out.push_back(p);
      continue;
    }
    const Rectangle& r = s.rect;
    const int nl = std::max(1, static_cast<int>(std::ceil(r.length / d.patch_size - 1e-9)));
    const int nw = std::max(1, static_cast<int>(std::ceil(r.width / d.patch_size - 1e-9)));
    const double pl = r.length / nl, pw = r.width / nw;
    const double f = r.strike * kDeg, dip = r.dip * kDeg;
    // Unit vectors along strike and down dip (east, north, depth).
    const double se = std::sin(f), sn = std::cos(f);
    const double de = std::cos(f) * std::cos(dip), dn = -std::sin(f) * std::cos(dip);
    const double dz = std::sin(dip);
    const Tensor6 unit = double_couple(r.strike, r.dip, r.rake, 1.0);
    for (int b = 0; b < nw; ++b) {
      // The row of patches down dip, cut where it crosses an interface so that each piece is
      // integrated with the tables of its own side.
      const double w0 = -0.5 * r.width + b * pw;
      std::vector<double> cuts{w0};
      if (dz > 0) {
        for (const double zi : earth.interfaces) {
          const double wc = (zi - r.depth) / dz;
          if (wc > w0 + 1e-9 * pw && wc < w0 + pw - 1e-9 * pw) cuts.push_back(wc);
        }
      }
      cuts.push_back(w0 + pw);
      const bool whole = cuts.size() == 2;
      for (std::size_t piece = 0; piece + 1 < cuts.size(); ++piece) {
        const double wa = cuts[piece], len = cuts[piece + 1] - wa;
        for (int gb = 0; gb < d.gauss; ++gb) {
          // Down dip: as always for a whole patch, on the piece's own Gauss points for a cut one.
          const double w = whole ? -0.5 * r.width + (b + 0.5 * (1 + xi[gb])) * pw
                                 : wa + 0.5 * (1 + xi[gb]) * len;
          const double wlen = whole ? pw : len;
          for (int a = 0; a < nl; ++a) {
            for (int ga = 0; ga < d.gauss; ++ga) {
              const double l = -0.5 * r.length + (a + 0.5 * (1 + xi[ga])) * pl;
              SourcePoint p;
              p.east = r.east + l * se + w * de;
              p.north = r.north + l * sn + w * dn;
              p.depth = r.depth + w * dz;
              p.potency = scaled(unit, r.slip * pl * wlen * 0.25 * wi[ga] * wi[gb]);
              if (r.opening != 0) {
                const Tensor6 t =
                    tensile(r.strike, r.dip, r.opening * pl * wlen * 0.25 * wi[ga] * wi[gb],
                            earth.lambda(p.depth), earth.mu(p.depth));
                p.potency = sum(p.potency, t);
              }
              p.model = static_cast<int>(k);
              out.push_back(p);
            }
          }
        }
      }
    }
  }
  return out;
}

}  // namespace kirva::syn
