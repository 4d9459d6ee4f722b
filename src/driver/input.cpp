#include "driver/input.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "driver/freeformat.h"
#include "stop.h"

namespace kirva {

namespace {

[[noreturn]] void reject(const std::string& reason) {
  throw Stop(" Error in krvmain: " + reason);
}

void require_finite(double v, const std::string& name) {
  if (!std::isfinite(v)) reject(name + " is not a finite number!");
}

// The model points of the input lines, needed only while the depth-profile list is built.
struct ModelPoints {
  std::vector<double> z, vp, vs, ro;
  std::vector<Rheology> rh;
  explicit ModelPoints(int n) : z(n + 1), vp(n + 1), vs(n + 1), ro(n + 1), rh(n + 1) {}
};

// Successive points at different depths bound a layer with linear gradients; a repeated (or
// smaller) depth replaces the top of the layer being built, which makes a jump there. The last
// entry is the half-space.
void build_profile(const ModelPoints& pt, int nline, ProfileList& p) {
  int e = 1;
  for (int i = 1; i <= nline - 1; ++i) {
    if (pt.z[i + 1] > pt.z[i]) {
      p.z1[e] = pt.z[i];
      p.z2[e] = pt.z[i + 1];
      p.vp1[e] = pt.vp[i];
      p.vp2[e] = pt.vp[i + 1];
      p.vs1[e] = pt.vs[i];
      p.vs2[e] = pt.vs[i + 1];
      p.ro1[e] = pt.ro[i];
      p.ro2[e] = pt.ro[i + 1];
      p.rh1[e] = pt.rh[i];
      p.rh2[e] = pt.rh[i + 1];
      ++e;
    } else {
      p.z1[e] = pt.z[i + 1];
      p.vp1[e] = pt.vp[i + 1];
      p.vs1[e] = pt.vs[i + 1];
      p.ro1[e] = pt.ro[i + 1];
      p.rh1[e] = pt.rh[i + 1];
    }
  }
  p.nprof = e;
  // An entry never set (or set at depth 0) takes the last point as the half-space.
  if (p.z1[e] == 0.0) {
    p.z1[e] = pt.z[nline];
    p.vp1[e] = pt.vp[nline];
    p.vs1[e] = pt.vs[nline];
    p.ro1[e] = pt.ro[nline];
    p.rh1[e] = pt.rh[nline];
  }
}

// Line 1: the observation depths zrec1, zrec2, dzrec (km).
void read_observation_depths(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 1 (zrec1, zrec2, dzrec in km)");
  {
    FreeFormat f(unit, buf);
    inp.zrec1 = 1000.0 * f.real("zrec1");
    inp.zrec2 = 1000.0 * f.real("zrec2");
    inp.dzrec = 1000.0 * f.real("dzrec");
  }
  require_finite(inp.zrec1, "zrec1");
  require_finite(inp.zrec2, "zrec2");
  require_finite(inp.dzrec, "dzrec");
  inp.nzrec = count_zrec(inp.zrec1, inp.zrec2, inp.dzrec);
  if (inp.nzrec >= 1 && (inp.zrec(1) < 0.0 || inp.zrec(inp.nzrec) < 0.0))
    reject("observation depths must not be negative!");
}

// Line 2: nr and the distances, evenly spaced (r2 > r1, km) or geometric (r1 in km, r2 the ratio).
void read_distances(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 2 (nr, r1 in km, r2 in km or a ratio)");
  double r1 = 0.0, r2 = 0.0;
  {
    FreeFormat f(unit, buf);
    inp.nr = f.integer("nr");
    r1 = f.real("r1");
    r2 = f.real("r2");
  }
  if (inp.nr < 2) reject("number of distance samples < 2!");
  if (inp.nr > nrmax) reject("no of distance samples > nrmax!");
  require_finite(r1, "r1");
  require_finite(r2, "r2");
  inp.r1 = 1000.0 * r1;
  require_finite(inp.r1, "r1");
  if (inp.r1 < 0.0) reject("distances must not be negative!");
  if (r2 > r1) {
    inp.r2 = 1000.0 * r2;
    require_finite(inp.r2, "r2");
    sample_distances(Spacing::even, inp.r1, inp.r2, std::span(inp.r).subspan(1, inp.nr));
  } else {
    // Geometric growth by the ratio |r2|; the wavenumber sampling takes the last distance as the
    // largest, so the distances have to grow.
    if (inp.r1 <= 0.0 || std::fabs(r2) <= 1.0)
      reject("geometric distances must grow (r1 > 0 and |r2| > 1 when r2 <= r1)!");
    inp.r2 = r2;
    sample_distances(Spacing::geometric, inp.r1, inp.r2, std::span(inp.r).subspan(1, inp.nr));
    require_finite(inp.r[inp.nr], "the last distance");
  }
}

// Line 3: nzs and the source depths zs1, zs2 (km); with the distances they give the smoothing
// length.
void read_source_depths(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 3 (nzs, zs1 in km, zs2 in km)");
  {
    FreeFormat f(unit, buf);
    inp.nzs = f.integer("nzs");
    inp.zs1 = 1000.0 * f.real("zs1");
    inp.zs2 = 1000.0 * f.real("zs2");
  }
  if (inp.nzs < 2) reject("number of source depths < 2!");
  if (inp.nzs > nzsmax) reject("no of source depths > nzsmax!");
  inp.dzs = source_depth_step(inp.zs1, inp.zs2, inp.nzs);
  if (inp.dzs <= 0.0) reject("wrong source depth stepping!");
  require_finite(inp.zs1, "zs1");
  require_finite(inp.zs2, "zs2");
  require_finite(inp.dzs, "the source depth step");
  if (inp.zs1 < 0.0) reject("source depths must not be negative!");
  inp.rhalf = smoothing_halflength(inp.dzs, inp.r[1], inp.r[2]);
}

// Line 4: the wavenumber sampling factor (0 or less: the default 10).
void read_sampling_factor(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 4 (sampfac)");
  {
    FreeFormat f(unit, buf);
    inp.sampfac = f.real("sampfac");
  }
  require_finite(inp.sampfac, "sampfac");
  if (inp.sampfac <= 0.0) inp.sampfac = 10.0;
}

// Line 5: the output directory and the names of the three tables, and the four paths.
void read_output_names(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 5 (outdir and three file names)");
  std::string outdir;
  {
    FreeFormat f(unit, buf);
    outdir = f.text("outdir");
    for (int i = 1; i <= 3; ++i) inp.grnfile[i] = f.text("file name " + std::to_string(i));
  }
  if (outdir.size() > namemax) reject("output directory longer than 80 characters!");
  {
    // The directory is used up to its first blank and must leave at least one character.
    std::string padded = outdir;
    padded.resize(namemax, ' ');
    const std::size_t p = padded.find(' ');
    if (p == std::string::npos || p == 0)
      throw Stop(" Error in pnkmain: wrong for output directory!");
    inp.outdir = padded.substr(0, p);
  }
  for (int i = 1; i <= 3; ++i) {
    std::string& name = inp.grnfile[i];
    if (name.size() > namemax)
      reject("output file name " + std::to_string(i) + " longer than 80 characters!");
    name.erase(name.find_last_not_of(' ') + 1);  // trailing blanks are no part of a name
    if (name.empty()) reject("output file name " + std::to_string(i) + " is empty!");
  }
  inp.grnall = inp.outdir + "grnfun.all";
  for (int i = 1; i <= 3; ++i) inp.grnpath[i] = inp.outdir + inp.grnfile[i];
  for (int i = 1; i <= 3; ++i) {
    // Two tables on one path would write into each other.
    bool clash = inp.grnpath[i] == inp.grnall;
    for (int j = 1; j < i; ++j) clash = clash || inp.grnpath[i] == inp.grnpath[j];
    if (clash) reject("the four output files must have different names!");
  }
}

// Line 6 and the model lines: the depth profile.
void read_model(InputUnit& unit, std::string& buf, RunInput& inp) {
  nextline(unit, buf, "line 6 (nline)");
  int nline = 0;
  {
    FreeFormat f(unit, buf);
    nline = f.integer("nline");
  }
  if (nline < 1 || nline > nlinemax) reject("number of model lines must be 1 to 1000!");
  inp.rheology_fault.clear();

  ModelPoints pt(nline);
  for (int i = 1; i <= nline; ++i) {
    const std::string which = "model line " + std::to_string(i);
    nextline(unit, buf, which + " of " + std::to_string(nline) + " (no, z, vp, vs, ro)");
    FreeFormat f(unit, buf);
    f.integer("the number of " + which);
    const double z = 1000.0 * f.real("z of " + which);
    const double vp = 1000.0 * f.real("vp of " + which);
    const double w = 1000.0 * f.real("vs of " + which);
    const double ro = f.real("ro of " + which);
    // Optional columns 6 to 8: eta_M and eta_K (Pa s) and mu_K/mu of a Burgers body; whatever
    // is no number is a remark, as before. Only runs through time read them (check_rheology).
    for (double* v : {&pt.rh[i].eta_m, &pt.rh[i].eta_k, &pt.rh[i].muk_ratio}) {
      const std::optional<double> x = f.optional_real();
      if (!x) break;
      *v = *x;
    }
    const Rheology& r = pt.rh[i];
    if (inp.rheology_fault.empty()) {
      if (!(std::isfinite(r.eta_m) && std::isfinite(r.eta_k) && std::isfinite(r.muk_ratio)) ||
          r.eta_m < 0.0 || r.eta_k < 0.0 || r.muk_ratio < 0.0)
        inp.rheology_fault = which + ": eta_M, eta_K and mu_K/mu must be 0 or positive!";
      else if (r.kelvin() && !(r.muk_ratio > 0.0))
        inp.rheology_fault = which + ": a Kelvin element (eta_K) needs mu_K/mu above 0!";
    }
    require_finite(z, which + ": z");
    require_finite(vp, which + ": vp");
    require_finite(w, which + ": vs");
    require_finite(ro, which + ": ro");
    pt.z[i] = z;
    pt.vp[i] = vp;
    pt.vs[i] = w > 0.0 ? w : 0.01 * vp;  // a fluid gets a small shear velocity
    pt.ro[i] = ro;
    if (vp <= 0.0) reject(which + ": vp must be positive!");
    if (ro <= 0.0) reject(which + ": the density must be positive!");
    if (pt.vs[i] >= vp) reject(which + ": vs must be smaller than vp!");
  }

  inp.prof = ProfileList{};
  build_profile(pt, nline, inp.prof);
}

}  // namespace

void read_input(std::istream& in, std::string_view infile, RunInput& inp) {
  InputUnit unit{in, std::string(infile), 0};
  std::string buf;
  inp.infile = std::string(infile);
  read_observation_depths(unit, buf, inp);
  read_distances(unit, buf, inp);
  read_source_depths(unit, buf, inp);
  read_sampling_factor(unit, buf, inp);
  read_output_names(unit, buf, inp);
  // The relative change of density, vp and vs allowed from one row of the layer table to the next.
  inp.resol = {0.05, 0.05, 0.05};
  read_model(unit, buf, inp);
}

}  // namespace kirva
