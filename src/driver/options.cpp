#include "driver/options.h"

#include <CLI/CLI.hpp>
#include <cmath>

#include "relaxation/relaxation.h"
#include "stop.h"

namespace kirva {

bool parse_options(int argc, const char* const* argv, RunOptions& opt, std::FILE* out) {
  CLI::App app{
      "Static Green's functions of a layered elastic half-space for point dislocation sources.\n"
      "Without INPUT-FILE the program asks for its name. A name that begins with '-' may be given "
      "after '--'.",
      "kirva"};
  app.set_version_flag("--version", std::string("kirva ") + kVersion);
  std::string infile;
  int threads = 0;
  double smoothing = 0.0;
  app.add_option("INPUT-FILE", infile, "the input file");
  auto* othreads = app.add_option("--threads", threads,
                                  "number of workers, 1 to 4096 (as KIRVA_THREADS; this option "
                                  "wins when both are given)");
  app.add_flag("--accurate", opt.accurate,
               "the Green's functions of the point source itself, within about 1e-5 of each "
               "component's peak, instead of the faster smoothed tables");
  app.add_flag("--isotropic", opt.isotropic,
               "also the explosion (moment tensor mu I per unit potency), for every source and "
               "observation depth, in the file grnfun.ext beside grnfun.all; without it a run "
               "removes an earlier grnfun.ext there");
  double gravity = 0.0;
  auto* ogravity = app.add_option(
      "--gravity", gravity,
      "the earth in hydrostatic pre-stress under a constant gravity G (m/s^2, 9.82 the earth's): "
      "the buoyancy of the surface and of every density contrast restores the vertical motion; "
      "0 allowed");
  std::string times;
  auto* otimes = app.add_option(
      "--times", times,
      "also the tables at these times after a step of slip at t = 0, in years: T1,T2,... or "
      "T1/T2/N (N times spaced logarithmically), for the viscous layers of the model lines "
      "(columns 6 to 8: eta_M, eta_K in Pa s, mu_K/mu); stored in grnfun.ext");
  auto* osmooth = app.add_option("--smoothing", smoothing,
                                 "smoothing length in km (0 allowed): with --accurate the whole "
                                 "smoothing rule (default 0.0001), otherwise in place of the "
                                 "half-step rhalf");
  opt.args.clear();
  for (int i = 1; i < argc; ++i) opt.args.emplace_back(argv[i]);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return false;
  } catch (const CLI::CallForVersion&) {
    std::fprintf(out, "kirva %s\n", kVersion);
    return false;
  } catch (const CLI::ParseError& e) {
    throw Stop(std::string(" Error in krvmain: ") + e.what() + " (kirva --help lists the options)");
  }
  if (app.count("INPUT-FILE") > 0) opt.infile = infile;
  if (othreads->count() > 0) {
    if (threads < 1 || threads > 4096)
      throw Stop(" Error in krvmain: --threads must be a whole number from 1 to 4096!");
    opt.threads = threads;
  }
  if (osmooth->count() > 0) {
    if (!std::isfinite(smoothing) || smoothing < 0.0 || smoothing > 1.0e4)
      throw Stop(" Error in krvmain: --smoothing must be a length from 0 to 10000 km!");
    opt.smoothing = smoothing;
  }
  if (ogravity->count() > 0) {
    if (!std::isfinite(gravity) || gravity < 0.0 || gravity > 100.0)
      throw Stop(" Error in krvmain: --gravity must be an acceleration from 0 to 100 m/s^2!");
    opt.gravity = gravity;
  }
  if (otimes->count() > 0) {
    opt.times = parse_times(times);
    opt.times_given = true;
  }
  return true;
}

double smoothing_length(const RunOptions& opt, double rhalf) {
  if (opt.smoothing) return *opt.smoothing * 1000.0;
  return opt.accurate ? kAccurateSmoothing : rhalf;
}

}  // namespace kirva
