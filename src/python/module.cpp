// kirva._engine: the synthesis library for Python. It takes what the package's pure part has
// already shaped (float64 arrays of the right shapes, lists of names), builds the same Problem as
// kirva-syn's command line, and solves it with the GIL released. Every refusal is raised as
// kirva.KirvaError with kirva-syn's one-line message.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "library/library.h"
#include "stop.h"
#include "synthesis/output.h"
#include "synthesis/parse.h"
#include "synthesis/problem.h"

namespace py = pybind11;

namespace kirva::syn {
namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

// An open library and the view of its tables, kept together for the life of the Python object.
struct Engine {
  explicit Engine(const std::string& path)
      : library(std::make_unique<GreenLibrary>(path)),
        view(std::make_shared<const TableView>(view_of(*library))) {}
  // The view at `time` years after the source (the change since the source when
  // `postseismic`): the elastic one, or the last other one asked for, kept so that a loop of
  // calls at one time selects the tables once. Shared, so that a call that runs without the GIL
  // keeps its view while another thread asks for another time.
  std::shared_ptr<const TableView> at(double time, bool postseismic) {
    if (time == 0.0 && !postseismic) return view;
    if (!selected || !(selected_time == time) || selected_postseismic != postseismic) {
      selected = std::make_shared<const TableView>(view_of(*library, time, postseismic));
      selected_time = time;
      selected_postseismic = postseismic;
    }
    return selected;
  }
  std::unique_ptr<GreenLibrary> library;
  std::shared_ptr<const TableView> view, selected;
  double selected_time = 0.0;
  bool selected_postseismic = false;
};

// A (n, m) array, checked; `name` names it in the message.
Array matrix(const py::handle& h, py::ssize_t m, const char* name) {
  Array a = Array::ensure(h);
  if (!a || a.ndim() != 2 || a.shape(1) != m) {
    throw Stop("kirva-syn: " + std::string(name) + " must be an array of shape (n, " +
               std::to_string(m) + ")");
  }
  return a;
}

std::vector<Receiver> receivers_of(const Array& xyz, const std::optional<Array>& los) {
  const auto n = xyz.shape(0);
  std::vector<Receiver> out(static_cast<std::size_t>(n));
  const auto a = xyz.unchecked<2>();
  for (py::ssize_t i = 0; i < n; ++i) {
    Receiver& r = out[i];
    r.x = a(i, 0);
    r.y = a(i, 1);
    r.east = r.x * 1000.0;
    r.north = r.y * 1000.0;
    r.depth = a(i, 2) * 1000.0;
    if (los) {
      const auto l = los->unchecked<2>();
      r.los = unit_los(l(i, 0), l(i, 1), l(i, 2), "los[" + std::to_string(i) + "]");
    }
  }
  return out;
}

// Rectangles from a (m, 10) array of x y depth strike dip rake slip length width opening (km,
// degrees, m).
void add_patches(const Array& rows, std::vector<SourceModel>& out) {
  const auto n = rows.shape(0);
  for (py::ssize_t j = 0; j < n; ++j) {
    const std::string label = "patches[" + std::to_string(j) + "]";
    out.push_back(
        patch_source(rows.data(j, 0), 10, label, "kirva-syn: " + label + ": ", Projector{}));
  }
}

// Triangles from an (m, 3, 3) array of vertices (km: x east, y north, depth down), with the
// slip of each from an (m, 2) or (m, 3) array (strike-slip, dip-slip[, opening]; m), or none.
void add_triangles(const py::handle& triangles, const py::handle& slip,
                   std::vector<SourceModel>& out) {
  const Array a = Array::ensure(triangles);
  if (!a || a.ndim() != 3 || a.shape(1) != 3 || a.shape(2) != 3) {
    throw Stop("kirva-syn: triangles must be an array of shape (m, 3, 3)");
  }
  Array s;
  const bool given = !slip.is_none();
  if (given) {
    s = Array::ensure(slip);
    if (!s || s.ndim() != 2 || s.shape(0) != a.shape(0) || s.shape(1) < 2 || s.shape(1) > 3) {
      throw Stop("kirva-syn: the slip of the triangles must be an array of shape (" +
                 std::to_string(a.shape(0)) + ", 2) or (" + std::to_string(a.shape(0)) + ", 3)");
    }
  }
  const auto v = a.unchecked<3>();
  for (py::ssize_t j = 0; j < a.shape(0); ++j) {
    std::array<Vec3, 3> t;
    for (int i = 0; i < 3; ++i) {
      for (int c = 0; c < 3; ++c) {
        if (!std::isfinite(v(j, i, c))) {
          throw Stop("kirva-syn: triangles[" + std::to_string(j) + "] is not a finite number");
        }
        t[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] = v(j, i, c) * 1000.0;
      }
    }
    const std::string label = "triangles[" + std::to_string(j) + "]";
    if (std::min({t[0][2], t[1][2], t[2][2]}) < 0) {
      throw Stop("kirva-syn: " + label + " reaches above the surface");
    }
    const double ss = given ? s.at(j, 0) : 0.0, ds = given ? s.at(j, 1) : 0.0;
    const double op = given && s.shape(1) > 2 ? s.at(j, 2) : 0.0;
    out.push_back(triangle_source(t, ss, ds, op, label));
  }
}

// A mesh file's triangles (m, 3, 3) in km, and the slip of a slip file beside (or None).
py::tuple read_mesh_py(const std::string& path, const std::optional<std::string>& slip,
                       const std::optional<std::vector<double>>& geographic) {
  Projector proj;
  if (geographic) {
    if (geographic->size() != 2) throw Stop("kirva-syn: geographic must be (lon, lat)");
    proj.geographic = true;
    proj.lon0 = (*geographic)[0];
    proj.lat0 = (*geographic)[1];
  }
  const Mesh mesh = read_mesh(path, proj);
  const auto m = static_cast<py::ssize_t>(mesh.triangles.size());
  py::array_t<double> tri(std::vector<py::ssize_t>{m, 3, 3});
  auto t = tri.mutable_unchecked<3>();
  for (py::ssize_t j = 0; j < m; ++j) {
    for (int i = 0; i < 3; ++i) {
      const Vec3& v = mesh.vertices[static_cast<std::size_t>(
          mesh.triangles[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)])];
      for (int c = 0; c < 3; ++c) t(j, i, c) = v[static_cast<std::size_t>(c)] / 1000.0;
    }
  }
  if (!slip) return py::make_tuple(tri, py::none());
  const auto sl = read_mesh_slip(*slip, mesh.triangles.size(), true);
  py::array_t<double> out(std::vector<py::ssize_t>{m, 3});
  auto o = out.mutable_unchecked<2>();
  for (py::ssize_t j = 0; j < m; ++j) {
    const TriangleSlip& x = sl[static_cast<std::size_t>(j)];
    o(j, 0) = x.strike;
    o(j, 1) = x.dip;
    o(j, 2) = x.opening;
  }
  return py::make_tuple(tri, out);
}

std::vector<Quantity> quantities_of(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& n : names) list += (list.empty() ? "" : ",") + n;
  return parse_quantities(list);
}

struct Common {
  double time = 0.0;  // years after the source
  bool postseismic = false;
  std::vector<std::string> quantities;
  std::optional<py::object> los;
  std::optional<double> patch_size_km;
  int gauss = 2;
  std::optional<int> threads;
};

Problem problem_of(const Array& receivers, const Common& c) {
  Problem p;
  if (c.quantities.empty()) throw Stop("kirva-syn: no quantity to compute");
  p.quantities = quantities_of(c.quantities);
  std::optional<Array> per_receiver;
  if (c.los && !c.los->is_none()) {
    const Array l = Array::ensure(*c.los);
    if (l && l.ndim() == 1 && l.shape(0) == 3) {
      p.los = unit_los(l.at(0), l.at(1), l.at(2), "los");
    } else {
      per_receiver = matrix(*c.los, 3, "los");
      if (per_receiver->shape(0) != receivers.shape(0)) {
        throw Stop("kirva-syn: los must be one vector, or one per receiver (" +
                   std::to_string(receivers.shape(0)) + ")");
      }
    }
  }
  p.receivers = receivers_of(receivers, per_receiver);
  if (c.patch_size_km) p.patch_size = *c.patch_size_km * 1000.0;
  p.gauss = c.gauss;
  p.threads =
      c.threads ? *c.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return p;
}

py::array greens_matrix_py(Engine& e, const py::handle& patches, const py::handle& triangles,
                           const py::handle& receivers, const std::vector<std::string>& slip,
                           const Common& c) {
  const std::shared_ptr<const TableView> view = e.at(c.time, c.postseismic);
  const Array rec = matrix(receivers, 3, "receivers");
  Problem p = problem_of(rec, c);
  if (!triangles.is_none()) {
    add_triangles(triangles, py::none(), p.sources);
  } else {
    add_patches(matrix(patches, 10, "patches"), p.sources);
  }
  if (p.sources.empty()) throw Stop("kirva-syn: no patch");
  std::vector<SlipDirection> dirs;
  for (const auto& s : slip) dirs.push_back(parse_slip(s));
  const std::vector<py::ssize_t> shape = {
      static_cast<py::ssize_t>(p.receivers.size()), static_cast<py::ssize_t>(p.quantities.size()),
      static_cast<py::ssize_t>(p.sources.size()), static_cast<py::ssize_t>(dirs.size())};
  py::array_t<double> out(shape);
  double* g = out.mutable_data();
  {
    py::gil_scoped_release free;
    greens_matrix(*view, p, dirs, g);
  }
  return out;
}

py::tuple synthesize_py(Engine& e, const py::handle& receivers,
                        const std::vector<std::string>& faults, const py::object& patches,
                        const py::object& triangles, const py::object& triangle_slip,
                        const py::object& points, const py::object& tensors,
                        const py::object& tensile, const py::object& mogi,
                        const py::object& receiver_fault, std::optional<double> friction,
                        const Common& c) {
  const std::shared_ptr<const TableView> view = e.at(c.time, c.postseismic);
  const Array rec = matrix(receivers, 3, "receivers");
  Problem p = problem_of(rec, c);
  // Sources in kirva-syn's order: Coulomb files, patches, points, tensors.
  std::optional<double> coulomb_friction;
  for (const auto& f : faults) {
    CoulombFile cf = read_coulomb(f, Projector{});
    if (cf.sources.empty()) throw Stop("kirva-syn: " + f + " holds no fault row");
    p.sources.insert(p.sources.end(), cf.sources.begin(), cf.sources.end());
    if (!coulomb_friction) coulomb_friction = cf.friction;
  }
  if (!patches.is_none()) add_patches(matrix(patches, 10, "patches"), p.sources);
  if (!triangles.is_none()) add_triangles(triangles, triangle_slip, p.sources);
  // The point kinds, each from its rows, in kirva-syn's order.
  using Make = SourceModel (*)(const std::vector<double>&, const std::string&, const Projector&);
  const struct {
    const py::object& rows;
    const char* name;
    py::ssize_t n;
    Make make;
  } kinds[] = {{points, "points", 7, point_source},
               {tensors, "tensors", 9, tensor_source},
               {tensile, "tensile", 6, tensile_source},
               {mogi, "mogi", 4, mogi_source}};
  for (const auto& kind : kinds) {
    if (kind.rows.is_none()) continue;
    const Array a = matrix(kind.rows, kind.n, kind.name);
    for (py::ssize_t k = 0; k < a.shape(0); ++k) {
      const std::vector<double> v(a.data(k, 0), a.data(k, 0) + kind.n);
      p.sources.push_back(
          kind.make(v, std::string(kind.name) + "[" + std::to_string(k) + "]", Projector{}));
    }
  }
  std::vector<std::string> notes;
  settle_isotropic(p.sources, view->isotropic, notes);
  py::list warnings;
  for (const auto& w : notes) warnings.append(w);
  const double mu = friction ? *friction : coulomb_friction.value_or(0.4);
  if (!receiver_fault.is_none()) {
    const Array rf = Array::ensure(receiver_fault);
    if (!rf || rf.ndim() != 1 || rf.shape(0) != 3) {
      throw Stop("kirva-syn: receiver_fault must be (strike, dip, rake)");
    }
    p.receiver_fault = ReceiverFault{rf.at(0), rf.at(1), rf.at(2), mu};
  }
  Solution s;
  {
    py::gil_scoped_release free;
    s = synthesise(*view, p);
  }
  py::array_t<double> out(std::vector<py::ssize_t>{static_cast<py::ssize_t>(p.receivers.size()),
                                                   static_cast<py::ssize_t>(p.quantities.size())});
  std::copy(s.values.begin(), s.values.end(), out.mutable_data());
  std::string receiver;
  if (p.receiver_fault) {
    std::ostringstream r;
    r << p.receiver_fault->strike << '/' << p.receiver_fault->dip << '/' << p.receiver_fault->rake;
    receiver = r.str();
  }
  const bool cfs =
      std::find(p.quantities.begin(), p.quantities.end(), Quantity::cfs) != p.quantities.end();
  const auto comments =
      result_comments(e.library->path(), c.time, c.postseismic, p.sources.size(), s.points,
                      s.discretisation.patch_size, s.discretisation.gauss, "", cfs, receiver, mu);
  return py::make_tuple(std::move(out), warnings, comments);
}

// The nodes and attributes of a grid of results, as kirva-syn's NetCDF file holds them.
py::dict grid_layout_py(const std::vector<double>& g, const std::vector<std::string>& comments) {
  Grid grid = make_grid(g[0], g[1], g[2], g[3], g[4], g[5], g[6], "grid");
  Table t;
  t.comments = comments;
  const GridLayout l = grid_layout(t, grid);
  auto coordinate = [](const GridLayout::Coordinate& c) {
    return py::make_tuple(
        c.name, c.units, c.long_name,
        py::array_t<double>(static_cast<py::ssize_t>(c.nodes.size()), c.nodes.data()));
  };
  py::dict text;
  for (const auto& [k, v] : l.text) text[py::str(k)] = v;
  py::dict out;
  out["x"] = coordinate(l.x);
  out["y"] = coordinate(l.y);
  out["attributes"] = text;
  out["depth_km"] = l.depth_km;
  return out;
}

// The rectangles of a Coulomb file's rows as columns (km, degrees, m): x, y and depth of the
// centre, strike, dip, rake, slip, length, width, opening.
py::dict read_coulomb_py(const std::string& path) {
  const CoulombFile cf = read_coulomb(path, Projector{});
  const std::size_t n = cf.sources.size();
  constexpr int nc = 10;
  const char* names[nc] = {"x",    "y",    "depth",  "strike", "dip",
                           "rake", "slip", "length", "width",  "opening"};
  std::vector<py::array_t<double>> cols;
  for (int c = 0; c < nc; ++c) cols.emplace_back(static_cast<py::ssize_t>(n));
  for (std::size_t j = 0; j < n; ++j) {
    const SourceModel& s = cf.sources[j];
    if (s.kind != SourceModel::Kind::rectangle) {
      throw Stop("kirva-syn: " + s.label +
                 " is a point source (Kode 400 or 500), not a rectangle; pass the file as "
                 "faults= to synthesize");
    }
    const Rectangle& r = s.rect;
    const double v[nc] = {
        r.east / 1000.0, r.north / 1000.0, r.depth / 1000.0,  r.strike,         r.dip,
        r.rake,          r.slip,           r.length / 1000.0, r.width / 1000.0, r.opening};
    for (int c = 0; c < nc; ++c) cols[c].mutable_at(j) = v[c];
  }
  py::dict out;
  for (int c = 0; c < nc; ++c) out[names[c]] = cols[c];
  return out;
}

}  // namespace
}  // namespace kirva::syn

PYBIND11_MODULE(_engine, m) {
  using namespace kirva::syn;
  m.doc() = "The synthesis engine of kirva (compiled); use the functions of the kirva package.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const kirva::Stop& s) {
      const py::object error = py::module_::import("kirva.errors").attr("KirvaError");
      PyErr_SetString(error.ptr(), printable(s.what()).c_str());
    }
  });
  py::class_<Engine>(m, "Engine")
      .def(py::init<const std::string&>(), py::arg("path"))
      .def_property_readonly("path", [](const Engine& e) { return e.library->path(); })
      .def_property_readonly("times",
                             [](const Engine& e) {
                               const auto t = e.library->times();
                               return std::vector<double>(t.begin(), t.end());
                             })
      .def_property_readonly("interfaces", [](const Engine& e) {
        const auto z = e.library->interfaces();
        return std::vector<double>(z.begin(), z.end());
      });
  auto common = [](double time, bool postseismic, std::vector<std::string> q, py::object los,
                   std::optional<double> ps, int gauss, std::optional<int> threads) {
    Common c{time, postseismic, std::move(q), std::nullopt, ps, gauss, threads};
    if (!los.is_none()) c.los = los;
    return c;
  };
  m.def(
      "greens_matrix",
      [common](Engine& e, py::object patches, py::object triangles, py::object receivers,
               std::vector<std::string> quantities, std::vector<std::string> slip, py::object los,
               std::optional<double> patch_size, int gauss, std::optional<int> threads, double time,
               bool postseismic) {
        return greens_matrix_py(
            e, patches, triangles, receivers, slip,
            common(time, postseismic, std::move(quantities), los, patch_size, gauss, threads));
      },
      py::arg("engine"), py::arg("patches"), py::arg("triangles"), py::arg("receivers"),
      py::arg("quantities"), py::arg("slip"), py::arg("los"), py::arg("patch_size"),
      py::arg("gauss"), py::arg("threads"), py::arg("time"), py::arg("postseismic"));
  m.def(
      "synthesize",
      [common](Engine& e, py::object receivers, std::vector<std::string> quantities,
               std::vector<std::string> faults, py::object patches, py::object triangles,
               py::object triangle_slip, py::object points, py::object tensors, py::object tensile,
               py::object mogi, py::object receiver_fault, std::optional<double> friction,
               py::object los, std::optional<double> patch_size, int gauss,
               std::optional<int> threads, double time, bool postseismic) {
        return synthesize_py(
            e, receivers, faults, patches, triangles, triangle_slip, points, tensors, tensile, mogi,
            receiver_fault, friction,
            common(time, postseismic, std::move(quantities), los, patch_size, gauss, threads));
      },
      py::arg("engine"), py::arg("receivers"), py::arg("quantities"), py::arg("faults"),
      py::arg("patches"), py::arg("triangles"), py::arg("triangle_slip"), py::arg("points"),
      py::arg("tensors"), py::arg("tensile"), py::arg("mogi"), py::arg("receiver_fault"),
      py::arg("friction"), py::arg("los"), py::arg("patch_size"), py::arg("gauss"),
      py::arg("threads"), py::arg("time"), py::arg("postseismic"));
  m.def("read_coulomb", &read_coulomb_py, py::arg("path"));
  m.def("read_mesh", &read_mesh_py, py::arg("path"), py::arg("slip"), py::arg("geographic"));
  m.def("grid_layout", &grid_layout_py, py::arg("grid"), py::arg("comments"));
  m.def("quantities", [] {
    py::list out;
    for (const auto& q : quantity_table()) {
      out.append(
          py::make_tuple(std::string(q.name), std::string(q.unit), std::string(q.long_name)));
    }
    return out;
  });
}
