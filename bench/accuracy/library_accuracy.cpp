// Accuracy of a whole library in both modes: the tables of bench/fourlayer.inp (or the input
// given as the first argument), computed as a run computes them, against Green's functions by
// direct quadrature over wavenumber with exact Bessel functions (tests/integration). For a
// subset of the source depths, every source type, the worst deviation of each mode relative to
// the component's peak over the distances (or 1% of the largest peak of its group, displacements
// or strains and duz/dr, where that is larger), beyond 2 km, from 0.1 and from 0.02 source depths.
// Slow (about a minute): the reference is evaluated node by node.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../tests/integration/quadrature_reference.h"
#include "driver/input.h"
#include "driver/table.h"
#include "integration/accurate.h"
#include "model/model.h"

using namespace kirva;

namespace {

struct Worst {
  double beyond2km = 0.0, tenth = 0.0, fiftieth = 0.0;
};

// Deviations of got from want over the distances idx (1-based indices into r).
Worst deviations(const GreenTable& got, const GreenTable& want, const std::vector<int>& idx,
                 const std::array<double, nrmax + 1>& r, double zs) {
  std::array<double, 11> peak{};
  for (int j : idx)
    for (int c = 1; c <= 10; ++c) peak[c] = std::max(peak[c], std::fabs(want(c, j)));
  const double disp = std::max({peak[1], peak[2], peak[3]});
  double strain = 0.0;
  for (int c = 4; c <= 10; ++c) strain = std::max(strain, peak[c]);
  Worst w;
  for (int c = 1; c <= 10; ++c) {
    const double scale = std::max(peak[c], 0.01 * (c <= 3 ? disp : strain));
    if (scale == 0.0) continue;
    for (int j : idx) {
      const double d = std::fabs(got(c, j) - want(c, j)) / scale;
      if (r[j] >= 2000.0) w.beyond2km = std::max(w.beyond2km, d);
      if (r[j] >= 0.1 * zs) w.tenth = std::max(w.tenth, d);
      if (r[j] >= 0.02 * zs) w.fiftieth = std::max(w.fiftieth, d);
    }
  }
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : KIRVA_SOURCE_DIR "/bench/fourlayer.inp";
  std::ifstream f(name);
  if (!f) {
    std::fprintf(stderr, "cannot read %s\n", name.c_str());
    return 1;
  }
  std::stringstream text;
  text << f.rdbuf();
  auto inp = std::make_unique<RunInput>();
  read_input(text, name, *inp);
  auto lt = std::make_unique<LayerTable>();
  int ierr = 0;
  krvslice(inp->resol, ierr, inp->prof, *lt);
  auto rows = std::make_unique<RowTable>();
  krvrowtab(*lt, *rows);
  std::array<std::unique_ptr<BesselTables>, 3> plain;
  std::array<std::unique_ptr<AccurateBessel>, 3> acc;
  for (auto& t : plain) t = std::make_unique<BesselTables>();
  for (auto& t : acc) t = std::make_unique<AccurateBessel>();
  krvbstab_orders(*plain[0], *plain[1], *plain[2], 0, ntab);
  fill_accurate_orders(*acc[0], *acc[1], *acc[2], 0, kAccIntervals - 1);

  const double zrec = inp->zrec(1);
  auto cl = std::make_unique<ComputationalLayers>();
  krvdepthcut(inp->zs1, cl->ls, zrec, cl->lzrec, lt->thick, lt->nlayer, *cl);
  const int row = cl->lay[cl->lzrec];
  const double mu = (lt->ro[row] * lt->vs[row]) * lt->vs[row];
  const double lambda = (lt->ro[row] * lt->vp[row]) * lt->vp[row] - mu - mu;

  // The reference at every distance to 20 km and at every fifth beyond (the peaks lie near).
  std::vector<int> idx;
  std::array<double, nrmax + 1> rr{};
  int nref = 0;
  for (int j = 1; j <= inp->nr; ++j) {
    if (inp->r[j] <= 20000.0 || j % 5 == 1) {
      idx.push_back(j);
      rr[++nref] = inp->r[j];
    }
  }
  const double rhalf = inp->rhalf;
  std::printf("input %s, observation depth %.0f m; deviations from the exact Green's functions\n",
              name.c_str(), zrec);
  std::printf(
      "  zs [km] type   plain: >2 km   >0.1 zs  >0.02 zs   accurate: >2 km   >0.1 zs  "
      ">0.02 zs\n");
  Worst wp, wa;
  auto w = std::make_unique<TableWork>();
  auto ref = std::make_unique<GreenTable>(), gp = std::make_unique<GreenTable>(),
       ga = std::make_unique<GreenTable>();
  for (int jz = 1; jz <= inp->nzs; ++jz) {
    const double zs = inp->zs(jz);
    // A subset of the depths: the shallow ones, where the plain mode is poorest, and a few more.
    if (!(jz <= 5 || jz % 8 == 1 || jz == inp->nzs)) continue;
    for (int type = 1; type <= 3; ++type) {
      inp->rhalf = rhalf;
      compute_table(*inp, *lt, *rows, *plain[3 - type], type, zs, zrec, lambda, mu, *w);
      *gp = w->grn;
      inp->rhalf = kAccurateSmoothing;
      compute_table(*inp, *lt, *rows, *acc[3 - type], type, zs, zrec, lambda, mu, *w);
      *ga = w->grn;
      const KernelContext kc{*lt, *rows, w->cl, w->src, w->log};
      GreenTable sub;
      quadref::green(sub, rr, nref, zs, zrec, lambda, mu, kc);
      for (std::size_t q = 0; q < idx.size(); ++q)
        for (int c = 1; c <= 10; ++c) (*ref)(c, idx[q]) = sub(c, static_cast<int>(q) + 1);
      const Worst p = deviations(*gp, *ref, idx, inp->r, zs);
      const Worst a = deviations(*ga, *ref, idx, inp->r, zs);
      std::printf("  %6.2f   %d         %8.1e  %8.1e  %8.1e             %8.1e  %8.1e  %8.1e\n",
                  zs / 1000.0, type, p.beyond2km, p.tenth, p.fiftieth, a.beyond2km, a.tenth,
                  a.fiftieth);
      std::fflush(stdout);
      wp = {std::max(wp.beyond2km, p.beyond2km), std::max(wp.tenth, p.tenth),
            std::max(wp.fiftieth, p.fiftieth)};
      wa = {std::max(wa.beyond2km, a.beyond2km), std::max(wa.tenth, a.tenth),
            std::max(wa.fiftieth, a.fiftieth)};
    }
  }
  std::printf("  worst            %8.1e  %8.1e  %8.1e             %8.1e  %8.1e  %8.1e\n",
              wp.beyond2km, wp.tenth, wp.fiftieth, wa.beyond2km, wa.tenth, wa.fiftieth);
  return 0;
}
