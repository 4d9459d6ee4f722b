#include "driver/table.h"

namespace kirva {

namespace {

// The depth cut and the source of one table.
void prepare(const LayerTable& lt, int type, double zs, double zrec, TableWork& w) {
  prepare_depth_pair(lt, zs, zrec, w.cl, w.pair);
  const RowModuli& s = w.pair.source;
  krvmoment(type, s.mu, s.ro, s.vp, s.vs, w.src);
}

// The node tables, each integrated with the elastic table's sampling so that they vary smoothly
// from node to node (the inversion amplifies any jitter between them), summed into the tables
// at the times.
template <class Integrate>
void sum_over_nodes(const LaplaceEarths& e, int type, int nr, TableWork& w,
                    const Integrate& integrate) {
  const std::size_t nt = e.plan.times.size();
  const std::size_t nv = 10 * static_cast<std::size_t>(nr);
  if (w.at_times.size() != nt) w.at_times.resize(nt);
  if (!e.viscous) {
    for (GreenTable& g : w.at_times) g = w.grn;
    return;
  }
  for (GreenTable& g : w.at_times) g.v.fill(0.0);
  for (std::size_t m = 0; m < e.plan.s.size(); ++m) {
    const LayerTable& lt = *e.lt[m];
    const RowModuli src = row_moduli(lt, w.pair.source.row);
    const RowModuli rec = row_moduli(lt, w.pair.receiver.row);
    krvmoment(type, src.mu, src.ro, src.vp, src.vs, w.node_src);
    const KernelContext kernel{lt, *e.rows[m], w.cl, w.node_src, w.log};
    integrate(kernel, rec.lambda, rec.mu);
    for (std::size_t i = 0; i < nt; ++i) {
      const double c = e.plan.weight(i, m);
      auto& out = w.at_times[i].v;
      for (std::size_t q = 0; q < nv; ++q) out[q] += c * w.node_grn.v[q];
    }
  }
}

}  // namespace

void make_laplace_earths(const LayerTable& lt, const std::vector<double>& times_years,
                         LaplaceEarths& e) {
  e.plan = plan_inversion(times_years);
  e.viscous = has_viscosity(lt) && !times_years.empty();
  e.lt.clear();
  e.rows.clear();
  if (!e.viscous) return;
  for (const double s : e.plan.s) {
    e.lt.push_back(std::make_unique<LayerTable>());
    laplace_layers(lt, s, *e.lt.back());
    e.rows.push_back(std::make_unique<RowTable>());
    krvrowtab(*e.lt.back(), *e.rows.back());
  }
}

void compute_at_times(const RunInput& inp, const LaplaceEarths& e, const BesselTables& tab,
                      int type, double zs, double zrec, TableWork& w) {
  // With elastic moduli at the observation depth every node completes its sums alike, and the
  // tables at the times are the sums of the combined kernels: one Hankel sum per time instead
  // of one per node (the sums are most of a table's work).
  const std::size_t nt = e.plan.times.size(), nm = e.plan.s.size();
  if (e.viscous && !e.lt[0]->rheology[w.pair.receiver.row].viscous()) {
    if (w.at_times.size() != nt) w.at_times.resize(nt);
    if (w.time_work.size() != nt) w.time_work.resize(nt);
    if (w.node_srcs.size() != nm) w.node_srcs.resize(nm);
    std::vector<KernelContext> nodes;
    nodes.reserve(nm);
    for (std::size_t m = 0; m < nm; ++m) {
      const RowModuli src = row_moduli(*e.lt[m], w.pair.source.row);
      krvmoment(type, src.mu, src.ro, src.vp, src.vs, w.node_srcs[m]);
      nodes.push_back(KernelContext{*e.lt[m], *e.rows[m], w.cl, w.node_srcs[m], w.log});
    }
    const RowModuli rec = row_moduli(*e.lt[0], w.pair.receiver.row);
    const KernelContext first = nodes[0];
    const HankelContext ctx{zs, zrec, inp.rhalf, tab, first};
    krvhankel_combined(w.at_times, w.time_work, w.hw, nodes, e.plan.w, inp.r, inp.nr, rec.lambda,
                       rec.mu, ctx, w.ybuf);
    return;
  }
  sum_over_nodes(e, type, inp.nr, w, [&](const KernelContext& kernel, double lambda, double mu) {
    const HankelContext ctx{zs, zrec, inp.rhalf, tab, kernel};
    krvhankel_resampled(w.node_grn, inp.r, inp.nr, lambda, mu, ctx, w.hw);
  });
}

void compute_at_times(const RunInput& inp, const LaplaceEarths& e, const AccurateBessel& acc,
                      int type, double zs, double zrec, TableWork& w) {
  sum_over_nodes(e, type, inp.nr, w, [&](const KernelContext& kernel, double lambda, double mu) {
    const AccurateContext ctx{zs, zrec, inp.rhalf, acc, kernel};
    krvhankel_accurate_resampled(w.node_grn, inp.r, inp.nr, lambda, mu, ctx, w.hw);
  });
}

void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const BesselTables& tab, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w) {
  prepare(lt, type, zs, zrec, w);
  const KernelContext kernel{lt, rows, w.cl, w.src, w.log};
  const HankelContext ctx{zs, zrec, inp.rhalf, tab, kernel};
  krvhankel(w.grn, inp.r, inp.nr, inp.sampfac, lambda, mu, ctx, w.hw);
}

void compute_table(const RunInput& inp, const LayerTable& lt, const RowTable& rows,
                   const AccurateBessel& acc, int type, double zs, double zrec, double lambda,
                   double mu, TableWork& w) {
  prepare(lt, type, zs, zrec, w);
  const KernelContext kernel{lt, rows, w.cl, w.src, w.log};
  const AccurateContext ctx{zs, zrec, inp.rhalf, acc, kernel};
  krvhankel_accurate(w.grn, inp.r, inp.nr, inp.sampfac, lambda, mu, ctx, w.hw);
}

}  // namespace kirva
