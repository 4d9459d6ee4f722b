#include "synthesis/output.h"

#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include "stop.h"

namespace kirva::syn {

namespace {

// A result written under a temporary name beside its final one (the same file system) and
// renamed onto it only when it is complete, so that a run that fails while it writes (a full
// disk, a file-size limit) leaves an earlier result exactly as it was, and no temporary.
class Replacement {
 public:
  explicit Replacement(const std::string& path)
      : path_(path), temp_(path + ".kirva-tmp-" + std::to_string(::getpid())) {}
  ~Replacement() {
    if (!committed_) std::remove(temp_.c_str());
  }
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  const std::string& temporary() const { return temp_; }
  void commit() {
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
      throw Stop("kirva-syn: cannot write " + path_ + ": " + std::strerror(errno));
    }
    committed_ = true;
  }

 private:
  std::string path_, temp_;
  bool committed_ = false;
};

}  // namespace

void write_text(const std::string& path, const Table& t, const std::vector<Receiver>& receivers) {
  const bool to_stdout = path.empty() || path == "-";
  const std::string name = to_stdout ? "standard output" : path;
  std::optional<Replacement> file;
  if (!to_stdout) file.emplace(path);
  std::FILE* out = to_stdout ? stdout : std::fopen(file->temporary().c_str(), "w");
  if (out == nullptr) {
    throw Stop("kirva-syn: cannot create " + path + ": " + std::strerror(errno));
  }
  bool ok = true;
  for (const auto& c : t.comments) ok = ok && std::fprintf(out, "# %s\n", c.c_str()) >= 0;
  std::string head = t.named ? "# name x y depth" : "# x y depth";
  for (Quantity q : t.quantities) {
    head += ' ';
    head += info(q).name;
  }
  ok = ok && std::fprintf(out, "%s\n", head.c_str()) >= 0;
  const std::size_t nq = t.quantities.size();
  for (std::size_t i = 0; i < receivers.size() && ok; ++i) {
    const Receiver& r = receivers[i];
    if (t.named) ok = std::fprintf(out, "%s ", r.name.c_str()) >= 0;
    ok = ok && std::fprintf(out, "%.10g %.10g %.10g", r.x, r.y, r.depth / 1000.0) >= 0;
    for (std::size_t k = 0; k < nq && ok; ++k) {
      ok = std::fprintf(out, " %.9e", t.values[i * nq + k]) >= 0;
    }
    ok = ok && std::fputc('\n', out) != EOF;
  }
  ok = std::fflush(out) == 0 && ok && !std::ferror(out);
  const int err = errno;
  if (!to_stdout) ok = std::fclose(out) == 0 && ok;
  if (!ok) throw Stop("kirva-syn: cannot write " + name + ": " + std::strerror(err));
  if (file) file->commit();
}

namespace {
void nc_check(int status, const std::string& path) {
  if (status != NC_NOERR) {
    throw Stop("kirva-syn: cannot write " + path + ": " + nc_strerror(status));
  }
}
void nc_text(int id, int var, const char* name, const std::string& value, const std::string& path) {
  nc_check(nc_put_att_text(id, var, name, value.size(), value.c_str()), path);
}
// The CF attribute actual_range (least and greatest finite value). Readers of the header alone
// take the range from it: without it GMT's grdinfo, and a colour scale made from its -T, see 0 to
// 0; and on the coordinates it spares GMT a guess of the registration from the last bits of the
// node positions (which, for steps in degrees, guesses in conflict between x and y).
void nc_range(int id, int var, const double* v, std::size_t n, std::size_t stride,
              const std::string& path) {
  double r[2] = {HUGE_VAL, -HUGE_VAL};
  for (std::size_t i = 0; i < n; ++i) {
    const double x = v[i * stride];
    if (std::isfinite(x)) {
      r[0] = std::min(r[0], x);
      r[1] = std::max(r[1], x);
    }
  }
  if (r[0] <= r[1]) nc_check(nc_put_att_double(id, var, "actual_range", NC_DOUBLE, 2, r), path);
}
}  // namespace

GridLayout grid_layout(const Table& t, const Grid& grid) {
  GridLayout g;
  g.x = {t.geographic ? "lon" : "x", t.geographic ? "degrees_east" : "km",
         t.geographic ? "longitude" : "x (east)", std::vector<double>(grid.nx)};
  g.y = {t.geographic ? "lat" : "y", t.geographic ? "degrees_north" : "km",
         t.geographic ? "latitude" : "y (north)", std::vector<double>(grid.ny)};
  for (int i = 0; i < grid.nx; ++i) g.x.nodes[i] = grid.x0 + i * grid.dx;
  for (int j = 0; j < grid.ny; ++j) g.y.nodes[j] = grid.y0 + j * grid.dy;
  std::string history;
  for (const auto& c : t.comments) {
    if (!history.empty()) history += '\n';
    history += c;
  }
  g.text = {{"Conventions", "CF-1.7"}, {"title", "kirva-syn synthesis"}, {"comment", history}};
  g.depth_km = grid.depth_km;
  return g;
}

std::vector<std::string> result_comments(const std::string& library, double time_years,
                                         bool postseismic, std::size_t sources, std::size_t points,
                                         double patch_size_m, int gauss, const std::string& origin,
                                         bool cfs, const std::string& receiver, double friction) {
  std::ostringstream size;
  size << patch_size_m / 1000.0;
  std::vector<std::string> c;
  c.push_back("kirva-syn: static deformation from the tables of " + library);
  if (time_years != 0.0 || postseismic) {
    char t[32];
    std::snprintf(t, sizeof t, "%.12g", time_years);
    c.push_back(postseismic ? std::string("postseismic: the change from the time of the slip to ") +
                                  t + " years after it"
                            : std::string(t) + " years after a step of slip at time 0");
  }
  c.push_back(std::to_string(sources) + " sources as " + std::to_string(points) +
              " point sources (patches of at most " + size.str() + " km, " + std::to_string(gauss) +
              "x" + std::to_string(gauss) + " Gauss points)");
  c.push_back(!origin.empty() ? "x longitude, y latitude (degrees, projected about " + origin +
                                    "), depth km (down)"
                              : "x east, y north, depth down (km)");
  c.push_back(
      "displacement m (x east, y north, z up), strain and tilt dimensionless, "
      "stress Pa (tension positive)");
  if (cfs) {
    std::ostringstream f;
    f << friction;
    c.push_back("cfs on receiver faults strike/dip/rake " + receiver + ", friction " + f.str());
  }
  return c;
}

void write_netcdf(const std::string& path, const Table& t, const Grid& grid) {
  const GridLayout g = grid_layout(t, grid);
  Replacement file(path);
  int id = -1;
  nc_check(nc_create(file.temporary().c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &id), path);
  try {
    int dx, dy, vx, vy;
    nc_check(nc_def_dim(id, g.x.name.c_str(), grid.nx, &dx), path);
    nc_check(nc_def_dim(id, g.y.name.c_str(), grid.ny, &dy), path);
    nc_check(nc_def_var(id, g.x.name.c_str(), NC_DOUBLE, 1, &dx, &vx), path);
    nc_check(nc_def_var(id, g.y.name.c_str(), NC_DOUBLE, 1, &dy, &vy), path);
    nc_text(id, vx, "units", g.x.units, path);
    nc_text(id, vy, "units", g.y.units, path);
    nc_text(id, vx, "long_name", g.x.long_name, path);
    nc_text(id, vy, "long_name", g.y.long_name, path);
    const std::vector<double>&xs = g.x.nodes, &ys = g.y.nodes;
    nc_range(id, vx, xs.data(), xs.size(), 1, path);
    nc_range(id, vy, ys.data(), ys.size(), 1, path);
    const std::size_t nq = t.quantities.size(), n = xs.size() * ys.size();
    std::vector<int> vars;
    const int dims[2] = {dy, dx};
    for (Quantity q : t.quantities) {
      int v;
      const QuantityInfo& qi = info(q);
      nc_check(nc_def_var(id, std::string(qi.name).c_str(), NC_DOUBLE, 2, dims, &v), path);
      nc_text(id, v, "units", std::string(qi.unit), path);
      nc_text(id, v, "long_name", std::string(qi.long_name), path);
      nc_range(id, v, t.values.data() + vars.size(), n, nq, path);
      vars.push_back(v);
    }
    for (const auto& [key, value] : g.text) nc_text(id, NC_GLOBAL, key.c_str(), value, path);
    nc_check(nc_put_att_double(id, NC_GLOBAL, "depth_km", NC_DOUBLE, 1, &g.depth_km), path);
    nc_check(nc_enddef(id), path);
    nc_check(nc_put_var_double(id, vx, xs.data()), path);
    nc_check(nc_put_var_double(id, vy, ys.data()), path);
    std::vector<double> field(n);
    for (std::size_t k = 0; k < nq; ++k) {
      for (std::size_t i = 0; i < n; ++i) field[i] = t.values[i * nq + k];
      nc_check(nc_put_var_double(id, vars[k], field.data()), path);
    }
  } catch (...) {
    nc_close(id);
    throw;
  }
  nc_check(nc_close(id), path);
  file.commit();
}

}  // namespace kirva::syn
