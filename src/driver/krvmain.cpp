#include "driver/krvmain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "driver/console.h"
#include "driver/input.h"
#include "driver/options.h"
#include "driver/progress.h"
#include "driver/signals.h"
#include "driver/table.h"
#include "driver/workers.h"
#include "model/model.h"
#include "output/format.h"
#include "output/grnfiles.h"
#include "output/outfile.h"
#include "output/provenance.h"
#include "stop.h"
#include "tables/extension.h"
#include "tables/sources.h"

namespace kirva {

namespace {

constexpr const char* kBanner[20] = {
    "######################################################",
    "#                                                    #",
    "#                  Welcome to                        #",
    "#                                                    #",
    "#                                                    #",
    "#       K   K   IIIII   RRRR    V   V    AAA         #",
    "#       K  K      I     R   R   V   V   A   A        #",
    "#       KKK       I     RRRR    V   V   AAAAA        #",
    "#       K  K      I     R  R     V V    A   A        #",
    "#       K   K   IIIII   R   R     V     A   A        #",
    "#                                                    #",
    "#                                                    #",
    "#                         by                         #",
    "#            the KIRVA project developers            #",
    "#     contact: the KIRVA project's issue tracker     #",
    "#                                                    #",
    "#                 the KIRVA project                  #",
    "#                first release: 2026                 #",
    "#            this version: December 2026             #",
    "######################################################",
};

constexpr const char* kSuccess[5] = {
    "######################################################",
    "#                                                    #",
    "#        Successful computations with KIRVA          #",
    "#                                                    #",
    "######################################################",
};

// The input file name: the argument, or the answer to the prompt. Trailing blanks are no part of
// a name.
std::string input_name(const RunOptions& opt, Console& con) {
  std::string name;
  if (opt.infile) {
    name = *opt.infile;
  } else {
    con.prompt(" Please type the file name of input data: ");
    if (!std::getline(std::cin, name)) name.clear();
    if (!name.empty() && name.back() == '\r') name.pop_back();
  }
  name.erase(name.find_last_not_of(' ') + 1);
  if (name.empty()) throw Stop(" Error in krvmain: no input file name given!");
  if (name.size() > namemax)
    throw Stop(" Error in krvmain: input file name longer than 80 characters!");
  return name;
}

// The whole input file as text; it is small, and reading it at once gives one place for the
// system's report on a file that cannot be read.
std::string slurp(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr)
    throw Stop(" Error in krvmain: cannot open input file '" + name + "': " + std::strerror(errno));
  std::string text;
  char chunk[8192];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  const int err = std::ferror(f) ? errno : 0;
  std::fclose(f);
  if (err != 0)
    throw Stop(" Error in krvmain: cannot read input file '" + name + "': " + std::strerror(err));
  return text;
}

// The tables of "grnfun.ext" that --isotropic adds: the elastic explosion.
constexpr std::array<extension::Descriptor, 1> kExtensionTables = {{{SourceType::ex, 0.0}}};

std::string progress(double zrec) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Procedding zrec:%14.3f", zrec);
  return buf;
}

// Fills grid points 0..count-1 as fill(i1, i2) over disjoint ranges, one thread per range; a
// failure in any range reaches the caller.
template <class Fill>
void fill_in_parts(int count, int nworkers, const Fill& fill) {
  const int parts = std::clamp(nworkers, 1, 64);
  std::vector<std::exception_ptr> failure(static_cast<std::size_t>(parts));
  std::vector<std::thread> threads;
  for (int p = 0; p < parts; ++p) {
    auto part = [&, p] {
      try {
        fill(static_cast<int>(std::int64_t{count} * p / parts),
             static_cast<int>(std::int64_t{count} * (p + 1) / parts) - 1);
      } catch (...) {
        failure[static_cast<std::size_t>(p)] = std::current_exception();
      }
    };
    if (parts == 1) {
      part();
    } else {
      threads.emplace_back(part);
    }
  }
  for (auto& t : threads) t.join();
  for (const auto& f : failure)
    if (f) std::rethrow_exception(f);
}

// The tables of the three orders, filled in one pass over the grid points, which the workers
// share out between them.
void fill_bessel_tables(std::array<std::unique_ptr<BesselTables>, 3>& tab, int nworkers) {
  for (auto& t : tab) t = std::make_unique<BesselTables>();
  fill_in_parts(ntab + 1, nworkers,
                [&](int i1, int i2) { krvbstab_orders(*tab[0], *tab[1], *tab[2], i1, i2); });
}

// The accurate-mode tables of the three orders, filled like the plain ones.
void fill_accurate_tables(std::array<std::unique_ptr<AccurateBessel>, 3>& tab, int nworkers) {
  for (auto& t : tab) t = std::make_unique<AccurateBessel>();
  fill_in_parts(kAccIntervals, nworkers,
                [&](int i1, int i2) { fill_accurate_orders(*tab[0], *tab[1], *tab[2], i1, i2); });
}

// What a run has settled before its first output file is opened: the input, the layer table and
// its kernel constants, the number of workers. Any fault here leaves no file behind.
struct RunSetup {
  std::string infile;
  std::string intext;  // the input file as read, for the provenance
  std::unique_ptr<RunInput> inp = std::make_unique<RunInput>();
  std::unique_ptr<LayerTable> lt = std::make_unique<LayerTable>();
  std::unique_ptr<RowTable> rows = std::make_unique<RowTable>();
  std::string jsonpath;
  std::string extpath;  // the explosion's tables of --isotropic and the tables at --times
  // What grnfun.ext holds: with --isotropic the elastic explosion first, then for each time the
  // three types (and the explosion); none when the run writes no grnfun.ext.
  std::vector<extension::Descriptor> ext_tables;
  LaplaceEarths earths;  // --times
  int nworkers = 1;
};

// The descriptors of a run, in the order of ext_index.
std::vector<extension::Descriptor> extension_tables(bool isotropic,
                                                    const std::vector<double>& times) {
  std::vector<extension::Descriptor> d;
  if (isotropic) d.push_back(kExtensionTables[0]);
  for (const double t : times) {
    for (const SourceType type : kSourceOrder) d.push_back({type, t});
    if (isotropic) d.push_back({SourceType::ex, t});
  }
  return d;
}

// The descriptor of type at time index i (-1: the elastic table) among extension_tables.
int ext_index(bool isotropic, SourceType type, int i) {
  const int iso = isotropic ? 1 : 0;
  if (i < 0) return 0;
  return iso + i * (3 + iso) + static_cast<int>(type);
}

void set_up_run(const RunOptions& opt, Console& con, RunSetup& run) {
  for (const char* l : kBanner) con.line(l);
  con.line(std::string(54, ' '));
  con.flush();

  run.infile = input_name(opt, con);
  run.intext = slurp(run.infile);
  RunInput& inp = *run.inp;
  {
    std::istringstream in(run.intext);
    read_input(in, run.infile, inp);
  }
  // The smoothing length of the run: the input's rhalf unless the command line sets it.
  inp.rhalf = smoothing_length(opt, inp.rhalf);
  run.jsonpath = inp.outdir + "grnfun.json";
  run.extpath = inp.outdir + extension::kFileName;
  for (int s = 1; s <= 3; ++s) {
    if (inp.grnpath[s] == run.jsonpath)
      throw Stop(" Error in krvmain: the name grnfun.json is kept for the provenance of the run!");
    if (inp.grnpath[s] == run.extpath)
      throw Stop(" Error in krvmain: the name grnfun.ext is kept for the explosion's tables!");
  }
  run.ext_tables = extension_tables(opt.isotropic, opt.times);
  // A run that writes no grnfun.ext removes that of an earlier run at its end; one that could
  // not be removed is said before the work is done (a file the run writes checks itself).
  struct stat st;
  if (run.ext_tables.empty() && ::lstat(run.extpath.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw Stop(" Error in output: cannot remove file '" + run.extpath +
               "': " + std::strerror(EISDIR));
  con.line("   ");

  int ierr = 0;
  krvslice(inp.resol, ierr, inp.prof, *run.lt);
  if (ierr == 1) throw Stop("the layer index (lmax) too small defined!");
  if (opt.gravity) run.lt->gravity = *opt.gravity;
  // The kernels' constants of every row, computed once for the run.
  krvrowtab(*run.lt, *run.rows);
  if (opt.times_given) {
    if (!inp.rheology_fault.empty()) throw Stop(" Error in krvmain: " + inp.rheology_fault);
    make_laplace_earths(*run.lt, opt.times, run.earths);
  }

  // The number of workers is settled before any output file is opened: a bad KIRVA_THREADS
  // stops the run leaving no file behind.
  run.nworkers = worker_count(opt.threads);
}

// The state of the loops over the depths: the open result files, the workers and their tables.
struct RunLoop {
  const RunOptions& opt;
  const RunSetup& run;
  Console& con;
  Progress& display;
  GrnAllWriter all;
  std::array<GrnTextWriter, 4> texts;  // 1..3: the tables of the source types
  GrnExtWriter ext;                    // --isotropic: the explosion's tables
  SourceDepthPool pool;
  // The Bessel tables depend only on their order: filled once per run, for the orders 0, 1, 2
  // of the CLVD, the dip-slip and the strike-slip, when the first observation depth needs them.
  std::array<std::unique_ptr<BesselTables>, 3> tab;
  std::array<std::unique_ptr<AccurateBessel>, 3> acc;
  std::unique_ptr<ComputationalLayers> cl = std::make_unique<ComputationalLayers>();
  DepthPair pair;
  std::string title;

  RunLoop(const RunOptions& o, const RunSetup& r, Console& c, Progress& d)
      : opt(o), run(r), con(c), display(d), pool(r.nworkers) {}
};

// The tables of source type `type` at observation depth k (1-based), its source depths computed
// side by side and handed in order to `binary` (the bytes of the table in grnfun.all or
// grnfun.ext) and at the first observation depth to the type's text table, if it has one.
void compute_type(int k, SourceType type, GrnTextWriter* text,
                  const std::function<void(int, std::string_view)>& binary, RunLoop& loop) {
  const RunInput& inp = *loop.run.inp;
  const LayerTable& lt = *loop.run.lt;
  const SourceTypeInfo& info = source_info(type);
  const int s = static_cast<int>(type) + 1;  // the type's number in the input and tables
  const double zrec = inp.zrec(k);
  const double mu = loop.pair.receiver.mu;
  const double lambda = loop.pair.receiver.lambda;
  Console& con = loop.con;
  if (k == 1) {
    loop.title.clear();
    fmt_a(loop.title, info.title, 45);
    con.formatted(loop.title);
    con.flush();
  }
  if (k != 1) text = nullptr;
  if (text != nullptr) {
    text->open(inp.grnpath[s]);
    text->head(loop.run.infile, info, inp.nr, inp.r1, inp.r2, inp.nzs, inp.zs1, inp.zs2, zrec,
               lambda, mu);
  }
  // Bessel order = azimuthal order of the source.
  const BesselTables* bessel = loop.opt.accurate ? nullptr : loop.tab[info.order].get();
  const AccurateBessel* accurate = loop.opt.accurate ? loop.acc[info.order].get() : nullptr;
  const RowTable& rows = *loop.run.rows;
  const LaplaceEarths& earths = loop.run.earths;
  const std::size_t ntimes = earths.plan.times.size();
  auto table = [&](double zs, TableWork& w) {
    if (accurate != nullptr) {
      compute_table(inp, lt, rows, *accurate, s, zs, zrec, lambda, mu, w);
      if (ntimes > 0) compute_at_times(inp, earths, *accurate, s, zs, zrec, w);
    } else {
      compute_table(inp, lt, rows, *bessel, s, zs, zrec, lambda, mu, w);
      if (ntimes > 0) compute_at_times(inp, earths, *bessel, s, zs, zrec, w);
    }
  };
  const std::span<const extension::Descriptor> descs(loop.run.ext_tables);
  const int nlayer = lt.nlayer;
  loop.pool.run(
      inp.nzs,
      [&](int j, TableWork& w, TableOutput& out) {
        table(inp.zs(j), w);
        out.warnings.swap(w.log.text);
        const std::span<const double> grn(w.grn.v);
        render_table_binary(out.binary, grn, inp.nr, info);
        if (text != nullptr) render_table_text(out.text, grn, inp.nr, info);
        out.at_times.resize(ntimes);
        for (std::size_t i = 0; i < ntimes; ++i)
          render_table_binary(out.at_times[i], std::span<const double>(w.at_times[i].v), inp.nr,
                              info);
      },
      [&](int j, TableOutput& out) {
        if (!out.warnings.empty()) con.raw(out.warnings);
        if (text != nullptr) text->rendered(out.text);
        binary(j, out.binary);
        for (std::size_t i = 0; i < ntimes; ++i) {
          const int di = ext_index(loop.opt.isotropic, type, static_cast<int>(i));
          loop.ext.rendered_at(
              extension::column_offset(descs, nlayer, inp.nr, inp.nzs, k - 1, di, j - 1, 0),
              out.at_times[i]);
        }
        loop.display.table_done();
      });
  if (text != nullptr) text->close();
}

// Observation depth k: its depth record, then the tables of the three source types, their
// source depths computed side by side and written in order; with --isotropic then the
// explosion's, into grnfun.ext.
void compute_depth(int k, RunLoop& loop) {
  const RunInput& inp = *loop.run.inp;
  const LayerTable& lt = *loop.run.lt;
  Console& con = loop.con;
  const double zrec = inp.zrec(k);
  con.line(progress(zrec));
  con.flush();
  if (k == 1) {
    if (loop.opt.accurate) {
      fill_accurate_tables(loop.acc, loop.pool.size());
    } else {
      fill_bessel_tables(loop.tab, loop.pool.size());
    }
  }

  // Elastic constants at the observation depth: the row below it.
  prepare_depth_pair(lt, inp.zs1, zrec, *loop.cl, loop.pair);
  const double mu = loop.pair.receiver.mu;
  const double lambda = loop.pair.receiver.lambda;
  loop.all.depth(zrec, lambda, mu, loop.pair.receiver.ro);

  for (const SourceType type : kSourceOrder) {
    compute_type(
        k, type, &loop.texts[static_cast<std::size_t>(type) + 1],
        [&](int, std::string_view b) { loop.all.rendered(b); }, loop);
  }
  if (loop.opt.isotropic) {
    const std::span<const extension::Descriptor> descs(loop.run.ext_tables);
    compute_type(
        k, SourceType::ex, nullptr,
        [&](int j, std::string_view b) {
          loop.ext.rendered_at(
              extension::column_offset(descs, lt.nlayer, inp.nr, inp.nzs, k - 1,
                                       ext_index(true, SourceType::ex, -1), j - 1, 0),
              b);
        },
        loop);
  }
}

void krvmain(const RunOptions& opt, Console& con) {
  RunSetup run;
  set_up_run(opt, con, run);
  const RunInput& inp = *run.inp;

  const long long types = 3 + (opt.isotropic ? static_cast<long long>(kExtensionTables.size()) : 0);
  Progress display(static_cast<long long>(inp.nzrec) * types * inp.nzs, ::isatty(STDERR_FILENO));
  con.attach(&display);
  struct Detach {
    Console& con;
    ~Detach() { con.attach(nullptr); }
  } detach{con};

  RunLoop loop(opt, run, con, display);
  const LayerTable& lt = *run.lt;
  loop.all.open(inp.grnall);
  loop.all.header(lt.nlayer, inp.nr, inp.r1, inp.r2, inp.nzs, inp.zs1, inp.zs2, inp.nzrec,
                  inp.zrec1, inp.zrec2);
  loop.all.layers(lt.nlayer, lt.thick, lt.vp, lt.vs, lt.ro);
  const bool ext = !run.ext_tables.empty();
  if (ext) {
    loop.ext.open(run.extpath);
    loop.ext.head(loop.all.identity(), run.ext_tables);
  }
  for (int k = 1; k <= inp.nzrec; ++k) compute_depth(k, loop);
  loop.all.close();
  if (ext) loop.ext.close();

  // The provenance joins the result files: written under its temporary name now, it replaces an
  // earlier grnfun.json together with them.
  Provenance prov;
  prov.version = kVersion;
  prov.accurate = opt.accurate;
  prov.isotropic = opt.isotropic;
  prov.gravity = opt.gravity;
  prov.args = opt.args;
  prov.threads = opt.threads;
  prov.smoothing_option = opt.smoothing;
  prov.smoothing = inp.rhalf;
  prov.sampfac = inp.sampfac;
  prov.infile = run.infile;
  prov.input = run.intext;
  prov.times_given = opt.times_given;
  prov.times = opt.times;
  prov.laplace_nodes = run.earths.viscous ? static_cast<int>(run.earths.plan.s.size()) : 0;
  prov.stehfest_n = kStehfestN;
  for (int l = 1; l <= lt.nlayer; ++l) {
    const Rheology& rh = lt.rheology[l];
    if (!opt.times_given || !rh.viscous()) continue;
    double top = 0.0;
    for (int q = 1; q < l; ++q) top += lt.thick[q];
    prov.viscous_rows.push_back(
        {l, top, row_moduli(lt, l).mu, rh.eta_m, rh.kelvin() ? rh.eta_k : 0.0, rh.muk_ratio});
  }
  OutFile json;
  json.open(run.jsonpath);
  json.write(render_provenance(prov));
  json.close();
  display.finish();
  // Every file is complete: only now do they replace those of an earlier run, all of them. The
  // earlier run's grnfun.ext goes first, so that no reader ever pairs the new grnfun.all with
  // its explosion tables; with --isotropic the new one follows the new grnfun.all.
  SignalStops::hold();
  remove_earlier(run.extpath);
  for (int s = 1; s <= 3; ++s) loop.texts[s].commit();
  loop.all.commit();
  if (ext) loop.ext.commit();
  json.commit();

  for (const char* l : kSuccess) con.line(l);
  con.flush();
}

}  // namespace

int run(int argc, char** argv) {
  const SignalStops stops;
  Console con;
  try {
    RunOptions opt;
    if (!parse_options(argc, argv, opt, stdout)) return 0;
    krvmain(opt, con);
    return 0;
  } catch (const Stop& stop) {
    con.flush();
    std::fprintf(stderr, "%s\n", stop.what());
  } catch (const std::exception& e) {
    con.flush();
    std::fprintf(stderr, " Error in krvmain: unexpected failure: %s\n", e.what());
  }
  std::fflush(stderr);
  return 1;
}

}  // namespace kirva
