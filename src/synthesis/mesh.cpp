#include "synthesis/mesh.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "stop.h"
#include "synthesis/parse.h"

namespace kirva::syn {

namespace {

// Depths this little above the surface are rounding of a vertex meant to lie on it.
constexpr double kSurfaceTolerance = 1e-9;  // m

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string fmt(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// The non-blank lines of a file one after another, split into fields, with their line numbers.
class Cursor {
 public:
  Cursor(std::string path, bool hash_comments)
      : path_(std::move(path)), text_(read_lines(path_)), hash_(hash_comments) {}

  // The next line with a field, or false at the end of the file.
  bool next() {
    while (i_ < text_.size()) {
      f = fields(text_[i_++], hash_);
      if (!f.empty()) return true;
    }
    return false;
  }
  const std::string& raw() const { return text_[i_ - 1]; }
  int line() const { return static_cast<int>(i_); }
  int last_line() const { return std::max<int>(1, static_cast<int>(text_.size())); }
  // "kirva-syn: <path> line N: " for the current line, or another.
  std::string at() const { return at(line()); }
  std::string at(int n) const { return "kirva-syn: " + where(path_, n); }

  double number(std::size_t k) const {
    const auto v = parse_number(f.at(k));
    if (!v) throw Stop(at() + "'" + f[k] + "' is not a number");
    return *v;
  }
  long integer(std::size_t k, long min) const {
    const auto v = parse_integer(f.at(k));
    if (!v) throw Stop(at() + "'" + f[k] + "' is not an integer");
    if (*v < min) throw Stop(at() + f[k] + (min > 0 ? " is not positive" : " is negative"));
    return *v;
  }
  void need(std::size_t n, const std::string& what) const {
    if (f.size() < n) throw Stop(at() + what);
  }

  std::vector<std::string> f;

 private:
  std::string path_;
  std::vector<std::string> text_;
  bool hash_;
  std::size_t i_ = 0;
};

// Gathers vertices under the file's ids and triangles naming them; the ids are resolved when a
// surface ends, so that a second surface of the same file may reuse them.
class Builder {
 public:
  Builder(const Cursor& c, const Projector& proj) : c_(c), proj_(proj) {}

  // The vertex's position in the synthesis frame from x, y (km, or degrees) and its depth in m.
  Vec3 place(double x, double y, double depth) const {
    if (proj_.geographic && !(std::abs(y) <= 90)) {
      throw Stop(c_.at() + "latitude " + fmt(y) + " is outside -90 to 90 degrees");
    }
    Vec3 p{0, 0, depth};
    proj_.project(x, y, p[0], p[1]);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
      throw Stop(c_.at() + "the position is out of range");
    }
    if (p[2] < 0 && p[2] >= -kSurfaceTolerance) p[2] = 0;
    return p;
  }
  void vertex(long id, const Vec3& p, int line) {
    if (!ids_.emplace(id, static_cast<int>(mesh_.vertices.size())).second) {
      throw Stop(c_.at(line) + "vertex " + std::to_string(id) + " is defined twice");
    }
    mesh_.vertices.push_back(p);
  }
  // Another name of a vertex already given (a TSurf ATOM).
  void alias(long id, long of) {
    const auto it = ids_.find(of);
    if (it == ids_.end()) {
      throw Stop(c_.at() + "vertex " + std::to_string(of) + " is not defined before this line");
    }
    if (!ids_.emplace(id, it->second).second) {
      throw Stop(c_.at() + "vertex " + std::to_string(id) + " is defined twice");
    }
  }
  void triangle(long a, long b, long c) { pending_.push_back({{a, b, c}, c_.line()}); }

  void resolve() {
    for (const auto& p : pending_) {
      std::array<int, 3> t{};
      for (int k = 0; k < 3; ++k) {
        const auto it = ids_.find(p.ids[k]);
        if (it == ids_.end()) {
          throw Stop(c_.at(p.line) + "the triangle names vertex " + std::to_string(p.ids[k]) +
                     ", which the file does not define");
        }
        t[k] = it->second;
      }
      check(t, p.line);
      mesh_.triangles.push_back(t);
      mesh_.lines.push_back(p.line);
    }
    pending_.clear();
    ids_.clear();
  }

  Mesh finish(const std::string& no_triangle) {
    resolve();
    if (mesh_.vertices.size() < 3) {
      throw Stop(c_.at(c_.last_line()) + "the file holds " + std::to_string(mesh_.vertices.size()) +
                 " vertices; a mesh needs at least 3");
    }
    if (mesh_.triangles.empty()) throw Stop(c_.at(c_.last_line()) + no_triangle);
    return std::move(mesh_);
  }

 private:
  struct Pending {
    std::array<long, 3> ids;
    int line;
  };

  void check(const std::array<int, 3>& t, int line) const {
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
      throw Stop(c_.at(line) + "the triangle names a vertex twice");
    }
    const Vec3 &a = mesh_.vertices[t[0]], &b = mesh_.vertices[t[1]], &c = mesh_.vertices[t[2]];
    for (const Vec3* v : {&a, &b, &c}) {
      if ((*v)[2] < 0) {
        throw Stop(c_.at(line) + "the triangle has a vertex " + fmt(-(*v)[2]) +
                   " m above the surface");
      }
    }
    const Vec3 u{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const Vec3 n{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    auto sq = [](const Vec3& p, const Vec3& q) {
      return (p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
             (p[2] - q[2]) * (p[2] - q[2]);
    };
    const double area = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double longest = std::max({sq(a, b), sq(b, c), sq(c, a)});
    // Written so that a triangle shrunk to a point (0 > 0) is refused as well.
    if (!(area > 1e-12 * longest)) {
      throw Stop(c_.at(line) + "the triangle is degenerate (its vertices are on a line)");
    }
  }

  const Cursor& c_;
  const Projector& proj_;
  Mesh mesh_;
  std::unordered_map<long, int> ids_;
  std::vector<Pending> pending_;
};

// Metres in one unit of AXIS_UNIT, or 0 when it is neither m nor km.
double unit_metres(std::string u) {
  u.erase(std::remove(u.begin(), u.end(), '"'), u.end());
  u = lower(u);
  return u == "m" ? 1.0 : u == "km" ? 1000.0 : 0.0;
}

// GOCAD TSurf. One or more surfaces, each "GOCAD TSurf 1" ... "END", with its own vertex ids and
// its own units; TFACE only starts another part of the same surface. Brace blocks (HEADER {...},
// PROPERTY_CLASS_HEADER ... {...}) carry names and colours and are skipped.
Mesh read_tsurf(const std::string& path, const Projector& proj) {
  Cursor c(path, true);
  Builder b(c, proj);
  bool any = false;
  // Units of x, y and z in metres, and the sense of z. With --geographic x and y are longitude
  // and latitude whatever AXIS_UNIT says; only its third entry, the vertical, counts (km unless
  // it says m), as without it.
  double unit[3] = {1000, 1000, 1000};
  bool z_depth = false;
  while (c.next()) {
    const std::string& key = c.f[0];
    if (key == "GOCAD") {
      if (c.f.size() < 2 || lower(c.f[1]) != "tsurf") {
        throw Stop(c.at() + "a GOCAD " + (c.f.size() < 2 ? "" : c.f[1] + " ") +
                   "object; kirva-syn reads TSurf surfaces");
      }
      b.resolve();
      any = true;
      unit[0] = unit[1] = unit[2] = 1000;
      z_depth = false;
      continue;
    }
    if (!any) throw Stop(c.at() + "a GOCAD TSurf file begins with 'GOCAD TSurf 1'");
    const std::size_t brace = c.raw().find('{');
    if (brace != std::string::npos && c.raw().find('}', brace) == std::string::npos) {
      const int start = c.line();
      bool closed = false;
      while (!closed && c.next()) closed = c.raw().find('}') != std::string::npos;
      if (!closed) throw Stop(c.at(start) + "the block opened by '{' is not closed by '}'");
      continue;
    }
    if (key == "GOCAD_ORIGINAL_COORDINATE_SYSTEM") {
      const int start = c.line();
      bool closed = false;
      while (!closed && c.next()) {
        if (c.f[0] == "END_ORIGINAL_COORDINATE_SYSTEM") {
          closed = true;
        } else if (c.f[0] == "AXIS_UNIT") {
          c.need(4, "AXIS_UNIT needs the units of x, y and z");
          for (int k = proj.geographic ? 2 : 0; k < 3; ++k) {
            unit[k] = unit_metres(c.f[k + 1]);
            if (unit[k] == 0) {
              throw Stop(c.at() + "unit " + c.f[k + 1] + ": kirva-syn reads m or km" +
                         (k < 2 ? " (longitude and latitude need --geographic)" : ""));
            }
          }
        } else if (c.f[0] == "ZPOSITIVE") {
          c.need(2, "ZPOSITIVE needs Elevation or Depth");
          const std::string s = lower(c.f[1]);
          if (s != "elevation" && s != "depth") {
            throw Stop(c.at() + "ZPOSITIVE " + c.f[1] + ": expected Elevation or Depth");
          }
          z_depth = s == "depth";
        }
      }
      if (!closed) {
        throw Stop(c.at(start) +
                   "GOCAD_ORIGINAL_COORDINATE_SYSTEM without END_ORIGINAL_COORDINATE_SYSTEM");
      }
    } else if (key == "VRTX" || key == "PVRTX") {
      c.need(5, key + " needs an id and three coordinates");
      const long id = c.integer(1, 1);
      const double x = c.number(2), y = c.number(3), z = c.number(4);
      const double depth = (z_depth ? z : -z) * unit[2];
      const Vec3 p = proj.geographic ? b.place(x, y, depth)
                                     : b.place(x * unit[0] / 1000.0, y * unit[1] / 1000.0, depth);
      b.vertex(id, p, c.line());
    } else if (key == "ATOM" || key == "PATOM") {
      c.need(3, key + " needs its id and the id of a vertex");
      b.alias(c.integer(1, 1), c.integer(2, 1));
    } else if (key == "TRGL") {
      c.need(4, "TRGL needs three vertex ids");
      if (c.f.size() > 4) throw Stop(c.at() + "TRGL takes three vertex ids");
      b.triangle(c.integer(1, 1), c.integer(2, 1), c.integer(3, 1));
    } else if (key == "END") {
      b.resolve();
    }
  }
  if (!any) throw Stop(c.at(c.last_line()) + "a GOCAD TSurf file begins with 'GOCAD TSurf 1'");
  return b.finish("the file holds no triangle (TRGL)");
}

// gmsh ASCII, versions 2.2 and 4.1: nodes and 3-node triangles (element type 2); other elements
// (lines, points, quadrangles, second-order triangles) and other sections are skipped.
class Gmsh {
 public:
  Gmsh(const std::string& path, const Projector& proj) : c_(path, false), b_(c_, proj) {}

  Mesh read() {
    if (!c_.next() || c_.f[0] != "$MeshFormat") {
      throw Stop(c_.at(std::max(1, c_.line())) + "a gmsh file begins with $MeshFormat");
    }
    format();
    while (c_.next()) {
      const std::string& key = c_.f[0];
      if (key.size() < 2 || key[0] != '$') {
        throw Stop(c_.at() + "expected a section ($Nodes, $Elements, ...), found '" + key + "'");
      }
      start_ = c_.line();
      section_ = key.substr(1);
      if (section_ == "Nodes") {
        version4_ ? nodes4() : nodes2();
      } else if (section_ == "Elements") {
        version4_ ? elements4() : elements2();
      } else {
        while (data_or_end()) {
        }
        continue;
      }
      if (data_or_end()) {
        throw Stop(c_.at() + "expected $End" + section_ + ", found '" + c_.f[0] + "'");
      }
    }
    return b_.finish("the file holds no 3-node triangle (element type 2)");
  }

 private:
  void format() {
    start_ = c_.line();
    section_ = "MeshFormat";
    if (!data_or_end()) throw Stop(c_.at() + "$MeshFormat needs its version line");
    c_.need(3, "expected the version, the file type and the data size");
    const double version = c_.number(0);
    if (c_.integer(1, 0) != 0) {
      throw Stop(c_.at() + "a binary gmsh file; kirva-syn reads ASCII (save without -bin)");
    }
    version4_ = version == 4.1;
    if (!version4_ && !(version >= 2 && version < 3)) {
      throw Stop(c_.at() + "gmsh format " + c_.f[0] + "; kirva-syn reads 2.2 and 4.1");
    }
    if (data_or_end()) throw Stop(c_.at() + "expected $EndMeshFormat");
  }

  // The next line of the section: true for data, false for its $End line; a file that ends, or
  // another section that begins, before $End is a truncated section.
  bool data_or_end() {
    if (!c_.next()) {
      throw Stop(c_.at(start_) + "$" + section_ + " without $End" + section_ +
                 " (the file is truncated)");
    }
    if (c_.f[0] == "$End" + section_) return false;
    if (c_.f[0][0] == '$') {
      throw Stop(c_.at() + "$" + section_ + " is not closed by $End" + section_ + " before " +
                 c_.f[0]);
    }
    return true;
  }
  // The next data line, holding `fields` fields, where a section still owes some.
  void data(std::size_t fields, const std::string& what) {
    if (!data_or_end()) throw Stop(c_.at() + "$" + section_ + " ends before all its " + what);
    if (c_.f.size() != fields) {
      throw Stop(c_.at() + "expected " + std::to_string(fields) + " values, found " +
                 std::to_string(c_.f.size()));
    }
  }
  // Nodes: km, z up.
  Vec3 place() const { return b_.place(c_.number(0), c_.number(1), -1000.0 * c_.number(2)); }

  void nodes2() {
    data(1, "nodes");
    const long n = c_.integer(0, 0);
    for (long k = 0; k < n; ++k) {
      data(4, "nodes");
      const long id = c_.integer(0, 1);
      c_.f.erase(c_.f.begin());
      b_.vertex(id, place(), c_.line());
    }
  }
  void elements2() {
    data(1, "elements");
    const long n = c_.integer(0, 0);
    for (long k = 0; k < n; ++k) {
      if (!data_or_end()) throw Stop(c_.at() + "$Elements ends before all its elements");
      c_.need(3, "expected the element's id, type and tag count");
      const long type = c_.integer(1, 1), ntags = c_.integer(2, 0);
      if (type != 2) continue;
      if (c_.f.size() < 6 || static_cast<long>(c_.f.size()) - 6 != ntags) {
        throw Stop(c_.at() + "a triangle with " + std::to_string(ntags) +
                   " tags has 6 + tags values, found " + std::to_string(c_.f.size()));
      }
      const std::size_t v = 3 + ntags;
      b_.triangle(c_.integer(v, 1), c_.integer(v + 1, 1), c_.integer(v + 2, 1));
    }
  }
  void nodes4() {
    data(4, "node blocks");
    const long blocks = c_.integer(0, 0), n = c_.integer(1, 0);
    long total = 0;
    for (long k = 0; k < blocks; ++k) {
      data(4, "node blocks");
      const long dim = c_.integer(0, 0), parametric = c_.integer(2, 0), count = c_.integer(3, 0);
      std::vector<std::pair<long, int>> tags;
      for (long j = 0; j < count; ++j) {
        data(1, "nodes");
        tags.emplace_back(c_.integer(0, 1), c_.line());
      }
      for (const auto& [tag, line] : tags) {
        data(3 + (parametric ? dim : 0), "nodes");
        b_.vertex(tag, place(), line);
      }
      total += count;
    }
    if (total != n) {
      throw Stop(c_.at(start_) + "the node blocks hold " + std::to_string(total) +
                 " nodes, the header says " + std::to_string(n));
    }
  }
  void elements4() {
    data(4, "element blocks");
    const long blocks = c_.integer(0, 0), n = c_.integer(1, 0);
    long total = 0;
    for (long k = 0; k < blocks; ++k) {
      data(4, "element blocks");
      const long type = c_.integer(2, 1), count = c_.integer(3, 0);
      for (long j = 0; j < count; ++j) {
        if (type != 2) {
          if (!data_or_end()) throw Stop(c_.at() + "$Elements ends before all its elements");
          continue;
        }
        data(4, "elements");
        b_.triangle(c_.integer(1, 1), c_.integer(2, 1), c_.integer(3, 1));
      }
      total += count;
    }
    if (total != n) {
      throw Stop(c_.at(start_) + "the element blocks hold " + std::to_string(total) +
                 " elements, the header says " + std::to_string(n));
    }
  }

  Cursor c_;
  Builder b_;
  bool version4_ = false;
  int start_ = 0;
  std::string section_;
};

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

Mesh read_mesh(const std::string& path, const Projector& proj) {
  const std::string name = lower(path);
  if (ends_with(name, ".ts")) return read_tsurf(path, proj);
  if (ends_with(name, ".msh")) return Gmsh(path, proj).read();
  throw Stop("kirva-syn: " + path + ": a mesh is a GOCAD TSurf (.ts) or gmsh (.msh) file");
}

std::vector<TriangleSlip> read_mesh_slip(const std::string& path, std::size_t ntriangles,
                                         bool opening_allowed) {
  Cursor c(path, true);
  std::vector<TriangleSlip> slip;
  while (c.next()) {
    if (c.f.size() == 3 && !opening_allowed) {
      throw Stop(c.at() +
                 "a third column, the opening, needs a library made with `kirva --isotropic`");
    }
    if (c.f.size() != 2 && c.f.size() != 3) {
      throw Stop(c.at() + "expected strike-slip and dip-slip" +
                 (opening_allowed ? " (and the opening)" : "") + ", found " +
                 std::to_string(c.f.size()) + " values");
    }
    slip.push_back({c.number(0), c.number(1), c.f.size() == 3 ? c.number(2) : 0.0});
  }
  if (slip.size() != ntriangles) {
    throw Stop("kirva-syn: " + path + " holds " + std::to_string(slip.size()) + " slip lines for " +
               std::to_string(ntriangles) + " triangles");
  }
  return slip;
}

}  // namespace kirva::syn
