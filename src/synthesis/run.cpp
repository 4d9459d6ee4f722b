#include "synthesis/run.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <numbers>
#include <thread>

#include "library/library.h"
#include "stop.h"
#include "synthesis/combine.h"
#include "synthesis/output.h"
#include "synthesis/parse.h"
#include "synthesis/problem.h"
#include "synthesis/quantities.h"
#include "synthesis/receivers.h"
#include "synthesis/sources.h"
#include "synthesis/tables.h"

namespace kirva::syn {

namespace {

struct Options {
  std::string library;
  std::vector<std::string> faults, patches, points, tensors, tensiles, mogis;
  std::string mesh, mesh_slip, slip;
  std::string point_file, grid, geographic, quantities = "ux,uy,uz", receiver, los, output;
  std::optional<double> depth, friction, patch_size;
  int gauss = 2;
  std::optional<int> threads;
  double time = 0.0;  // years after a step of slip at time 0
  bool postseismic = false;
};

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int synthesis(const Options& o) {
  Problem p;
  Projector proj;
  if (!o.geographic.empty()) {
    const auto v = slash_numbers(o.geographic, 2, "--geographic LON/LAT");
    proj.geographic = true;
    proj.lon0 = v[0];
    proj.lat0 = v[1];
  }
  p.geographic = proj.geographic;
  const GreenLibrary lib(o.library);
  const TableView view = view_of(lib, o.time, o.postseismic);

  // Sources, in the order given: Coulomb files, patch files, points, tensors.
  std::optional<double> coulomb_friction, coulomb_depth;
  std::optional<CoulombGrid> coulomb_grid;
  for (const auto& f : o.faults) {
    CoulombFile c = read_coulomb(f, proj);
    if (c.sources.empty()) throw Stop("kirva-syn: " + f + " holds no fault row");
    p.sources.insert(p.sources.end(), c.sources.begin(), c.sources.end());
    if (!coulomb_friction) coulomb_friction = c.friction;
    if (!coulomb_grid && c.grid) {
      coulomb_grid = c.grid;
      coulomb_depth = c.depth_km;
    }
  }
  for (const auto& f : o.patches) {
    auto patches = read_patches(f, proj);
    if (patches.empty()) throw Stop("kirva-syn: " + f + " holds no patch");
    p.sources.insert(p.sources.end(), patches.begin(), patches.end());
  }
  if (!o.mesh.empty()) {
    const Mesh mesh = read_mesh(o.mesh, proj);
    if (o.mesh_slip.empty() == o.slip.empty()) {
      throw Stop(
          "kirva-syn: a --mesh takes its slip from --mesh-slip FILE or --slip RAKE/SLIP, one "
          "of them");
    }
    std::vector<TriangleSlip> slip(mesh.triangles.size());
    if (!o.mesh_slip.empty()) {
      slip = read_mesh_slip(o.mesh_slip, mesh.triangles.size(), view.isotropic);
    } else {
      // --slip RAKE/SLIP: the same slip on every triangle, rake 0 left-lateral, 90 reverse.
      const auto v = slash_numbers(o.slip, 2, "--slip RAKE/SLIP");
      for (auto& t : slip) {
        t.strike = v[1] * std::cos(v[0] * std::numbers::pi / 180);
        t.dip = v[1] * std::sin(v[0] * std::numbers::pi / 180);
      }
    }
    const auto triangles = mesh_sources(mesh, slip, o.mesh);
    p.sources.insert(p.sources.end(), triangles.begin(), triangles.end());
  } else if (!o.mesh_slip.empty() || !o.slip.empty()) {
    throw Stop("kirva-syn: --mesh-slip and --slip give the slip of a --mesh");
  }
  for (const auto& text : o.points) p.sources.push_back(point_source(text, proj));
  for (const auto& text : o.tensors) p.sources.push_back(tensor_source(text, proj));
  for (const auto& text : o.tensiles) p.sources.push_back(tensile_source(text, proj));
  for (const auto& text : o.mogis) p.sources.push_back(mogi_source(text, proj));
  if (p.sources.empty()) {
    throw Stop(
        "kirva-syn: no source: give --faults, --patches, --mesh, --point, --tensor, --tensile or "
        "--mogi");
  }
  std::vector<std::string> warnings;
  settle_isotropic(p.sources, view.isotropic, warnings);
  for (const auto& w : warnings) std::fprintf(stderr, "%s\n", w.c_str());

  // Receivers.
  if (!o.grid.empty() && !o.point_file.empty()) {
    throw Stop("kirva-syn: give either --grid or --points, not both");
  }
  std::optional<Grid> grid;
  const double depth = o.depth.value_or(0.0);
  if (o.depth && !(*o.depth >= 0)) throw Stop("kirva-syn: --depth is above the surface");
  if (!o.point_file.empty()) {
    p.receivers = read_points(o.point_file, depth, proj);
  } else {
    if (!o.grid.empty()) {
      grid = parse_grid(o.grid);
      grid->depth_km = depth;
    } else if (coulomb_grid) {
      const CoulombGrid& c = *coulomb_grid;
      grid = make_grid(std::min(c.x0, c.x1), std::max(c.x0, c.x1), c.dx, std::min(c.y0, c.y1),
                       std::max(c.y0, c.y1), c.dy, o.depth ? depth : coulomb_depth.value_or(0.0),
                       "the Grid Parameters of " + o.faults.front());
    } else {
      throw Stop(
          "kirva-syn: no receiver: give --grid or --points (or a Coulomb file with Grid "
          "Parameters)");
    }
    p.receivers = grid_receivers(*grid, proj);
  }

  // Quantities and what they need.
  p.quantities = parse_quantities(o.quantities);
  const double friction = o.friction ? *o.friction : coulomb_friction.value_or(0.4);
  if (!o.receiver.empty()) {
    const auto v = slash_numbers(o.receiver, 3, "--receiver STRIKE/DIP/RAKE");
    p.receiver_fault = ReceiverFault{v[0], v[1], v[2], friction};
  }
  if (!o.los.empty()) {
    const auto v = slash_numbers(o.los, 3, "--los LX/LY/LZ");
    p.los = unit_los(v[0], v[1], v[2], "--los");
  }
  if (o.patch_size) p.patch_size = *o.patch_size * 1000.0;
  p.gauss = o.gauss;
  p.threads =
      o.threads ? *o.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  int shown = -1;
  if (terminal) {
    p.progress_pairs = 2e7;
    p.progress = [&shown](double share) {
      const int pc = static_cast<int>(share * 100);
      if (pc == shown) return;
      shown = pc;
      std::fprintf(stderr, "\r kirva-syn: %3d %%", pc);
      std::fflush(stderr);
    };
  }
  const Solution s = synthesise(view, p);
  if (shown >= 0) std::fprintf(stderr, "\n");

  Table t;
  t.quantities = p.quantities;
  t.named = !o.point_file.empty();
  t.geographic = proj.geographic;
  t.values = s.values;
  const bool cfs =
      std::find(p.quantities.begin(), p.quantities.end(), Quantity::cfs) != p.quantities.end();
  t.comments = result_comments(o.library, o.time, o.postseismic, p.sources.size(), s.points,
                               s.discretisation.patch_size, s.discretisation.gauss,
                               proj.geographic ? o.geographic : "", cfs, o.receiver, friction);
  if (ends_with(o.output, ".nc")) {
    if (!grid) throw Stop("kirva-syn: NetCDF output (.nc) is for grids; --points writes text");
    write_netcdf(o.output, t, *grid);
  } else {
    write_text(o.output, t, p.receivers);
  }
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  Options o;
  CLI::App app{
      "kirva-syn: displacement, strain, tilt, rotation, stress and Coulomb stress change of "
      "shear and tensile dislocations and volume sources in a layered half-space, combined from "
      "the tables of a kirva run "
      "(grnfun.all). Frame x east, y north, z up; positions and depths in km (depth down), "
      "angles in degrees.",
      "kirva-syn"};
  app.add_option("LIBRARY", o.library, "the grnfun.all of a kirva run")->required();
  app.add_option("--faults", o.faults,
                 "Coulomb 3 input file (.inp, or .inr with rake and net slip): its fault rows "
                 "(Kode 100, 200, 300 slip and opening; 400, 500 point potencies)")
      ->allow_extra_args(false);
  app.add_option("--patches", o.patches,
                 "slip-distribution table: x y depth strike dip rake slip length width "
                 "[opening] a line")
      ->allow_extra_args(false);
  app.add_option("--mesh", o.mesh,
                 "fault as a triangle mesh: GOCAD TSurf (.ts) or gmsh ASCII (.msh, 2.2 or 4.1)");
  app.add_option("--mesh-slip", o.mesh_slip,
                 "slip of the mesh's triangles, one line each in mesh order: strike-slip "
                 "dip-slip [opening] (m)");
  app.add_option("--slip", o.slip, "the same slip RAKE/SLIP on every triangle of the mesh");
  app.add_option("--point", o.points, "point source X/Y/DEPTH/STRIKE/DIP/RAKE/M0 (M0 in N m)")
      ->allow_extra_args(false);
  app.add_option("--tensor", o.tensors,
                 "moment tensor X/Y/DEPTH/MRR/MTT/MPP/MRT/MRP/MTP (N m; r up, t south, p east)")
      ->allow_extra_args(false);
  app.add_option("--tensile", o.tensiles,
                 "point tensile dislocation X/Y/DEPTH/STRIKE/DIP/POTENCY (opening x area, m^3)")
      ->allow_extra_args(false);
  app.add_option("--mogi", o.mogis, "Mogi source X/Y/DEPTH/DV (volume change of the chamber, m^3)")
      ->allow_extra_args(false);
  app.add_option("--points", o.point_file,
                 "receiver file: name x y [depth [lx ly lz]] a line, '#' comments");
  app.add_option("--grid", o.grid, "receiver grid XMIN/XMAX/DX/YMIN/YMAX/DY");
  app.add_option("--depth", o.depth,
                 "receiver depth of the grid (km; default the Coulomb file's DEPTH, or 0), and of "
                 "points without one");
  app.add_option("--geographic", o.geographic,
                 "positions in degrees of longitude and latitude, projected about LON/LAT");
  app.add_option("--quantities", o.quantities,
                 "comma-separated: ux uy uz exx exy exz eyy eyz ezz tx ty wz sxx sxy sxz syy syz "
                 "szz cfs los (default ux,uy,uz)");
  app.add_option("--receiver", o.receiver, "receiver fault STRIKE/DIP/RAKE for cfs");
  app.add_option("--friction", o.friction,
                 "friction coefficient for cfs (default the Coulomb file's FRIC, or 0.4)");
  app.add_option("--los", o.los,
                 "line-of-sight unit vector LX/LY/LZ (east, north, up), toward "
                 "the satellite");
  app.add_option("--patch-size", o.patch_size,
                 "largest patch side (km; default 5 times the larger of the tables' distance and "
                 "source-depth steps)");
  app.add_option("--gauss", o.gauss, "Gauss points per patch side (default 2)");
  app.add_option("--output", o.output,
                 "output file: NetCDF when it ends in .nc, text otherwise (default standard "
                 "output)");
  app.add_option("--time", o.time,
                 "years after a step of slip at time 0 (default 0, the elastic field): the "
                 "library's tables at that time, interpolated between its times (kirva --times)");
  app.add_flag("--postseismic", o.postseismic,
               "the change from the time of the slip to --time, without the elastic field");
  app.add_option("--threads", o.threads, "workers (default every hardware thread)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "kirva-syn: %s (see kirva-syn --help)\n", e.what());
    return 1;
  }
  // A file-size limit makes a write fail (and the run end with its message), not the process.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    if (o.threads && (*o.threads < 1 || *o.threads > 4096)) {
      throw Stop("kirva-syn: --threads must be 1 to 4096");
    }
    return synthesis(o);
  } catch (const Stop& s) {
    std::fprintf(stderr, "%s\n", printable(s.what()).c_str());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "kirva-syn: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kirva-syn: unexpected failure: %s\n", e.what());
  }
  return 1;
}

}  // namespace kirva::syn
