// Cost of the distance sum of krvhankel, per (wavenumber, distance) sample, for a realistic case:
// a layered crust over the mantle, the source at 10 km, the observation at the surface, 1001
// distances from 0 to 200 km and rhalf = 250 m. The fast sum is timed on the kernel samples of one
// integration; the straightforward loop (own exponential, square root and table lookup per
// sample) on the same kernels, for comparison; and the whole call with its kernel evaluations.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "../tests/integration/hankel_reference.h"
#include "../tests/kirva_bessel.h"
#include "integration/bessel.h"
#include "integration/hankel.h"
#include "model/model.h"
#include "response/response.h"
#include "response/source.h"
#include "tables/sources.h"

namespace {

using namespace kirva;

struct Case {
  std::unique_ptr<LayerTable> lt = std::make_unique<LayerTable>();
  std::unique_ptr<RowTable> rows = std::make_unique<RowTable>();
  std::unique_ptr<ComputationalLayers> cl = std::make_unique<ComputationalLayers>();
  std::unique_ptr<BesselTables> tab = std::make_unique<BesselTables>();
  std::unique_ptr<GreenTable> grn = std::make_unique<GreenTable>();
  std::unique_ptr<HankelWork> work = std::make_unique<HankelWork>();
  SourceTerms src;
  WarningLog log;
  std::array<double, nrmax + 1> r{};
  int nr = 1001;
  double zs = 10000.0, zrec = 0.0, rhalf = 250.0, sampfac = 10.0;
  double lambda = 0.0, mu = 0.0;

  explicit Case(int type) {
    // thickness, vp, vs, ro: sediments, a crust stepping up with depth, the mantle.
    const double rows[][4] = {{1000.0, 3500.0, 1900.0, 2300.0},  {1000.0, 4500.0, 2500.0, 2450.0},
                              {6000.0, 5800.0, 3350.0, 2650.0},  {7000.0, 6200.0, 3580.0, 2750.0},
                              {17000.0, 6600.0, 3800.0, 2900.0}, {0.0, 8000.0, 4500.0, 3300.0}};
    lt->nlayer = 6;
    for (int l = 1; l <= 6; ++l) {
      lt->thick[l] = rows[l - 1][0];
      lt->vp[l] = rows[l - 1][1];
      lt->vs[l] = rows[l - 1][2];
      lt->ro[l] = rows[l - 1][3];
    }
    for (int j = 1; j <= nr; ++j) r[j] = 200.0 * (j - 1);
    krvrowtab(*lt, *this->rows);
    DepthPair pair;
    prepare_depth_pair(*lt, zs, zrec, *cl, pair);
    const RowModuli& s = pair.source;
    krvmoment(type, s.mu, s.ro, s.vp, s.vs, src);
    krvbstab(source_info(static_cast<SourceType>(type - 1)).order, *tab);
    mu = pair.receiver.mu;
    lambda = pair.receiver.lambda;
  }
  KernelContext kernel() { return {*lt, *rows, *cl, src, log}; }
  void run() {
    const KernelContext kc = kernel();
    krvhankel(*grn, r, nr, sampfac, lambda, mu, {zs, zrec, rhalf, *tab, kc}, *work);
  }
  int ir0() const { return r[1] > 0.0 ? 1 : 2; }
  double samples() const {
    return static_cast<double>(work->nktot) * static_cast<double>(nr - ir0() + 1);
  }
};

void per_sample(benchmark::State& state, const Case& c) {
  state.counters["nktot"] = static_cast<double>(c.work->nktot);
  // Seconds per (wavenumber, distance) sample, shown in ns.
  state.counters["per_sample"] = benchmark::Counter(
      c.samples(), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Argument: source type (1 strike-slip, 2 dip-slip, 3 CLVD).
void BM_HankelSum_Fast(benchmark::State& state) {
  Case c(static_cast<int>(state.range(0)));
  // The kernel samples of one integration, all at once, summed in the chunks of a run.
  std::vector<std::array<double, 7>> ylog;
  const KernelContext kc = c.kernel();
  reference::krvhankel(*c.grn, c.r, c.nr, c.sampfac, c.lambda, c.mu,
                       {c.zs, c.zrec, c.rhalf, *c.tab, kc}, *c.work, &ylog);
  c.work->shterms = c.work->shflag || c.src.mazi != 0;
  std::vector<KernelSample> ks(static_cast<std::size_t>(c.work->nktot + 1));
  for (long long i = 1; i <= c.work->nktot; ++i) {
    krvksample(ks[static_cast<std::size_t>(i)], static_cast<double>(i) * c.work->dk, c.work->dk,
               ylog[static_cast<std::size_t>(i - 1)], c.src.csign);
  }
  for (auto _ : state) {
    reference::sum_in_chunks(*c.grn, ks, c.r, c.nr, c.ir0(), *c.tab, *c.work);
    benchmark::DoNotOptimize(c.grn->v.data());
    benchmark::ClobberMemory();
  }
  per_sample(state, c);
}

void BM_HankelSum_Straightforward(benchmark::State& state) {
  Case c(static_cast<int>(state.range(0)));
  std::vector<std::array<double, 7>> ylog;
  const KernelContext kc = c.kernel();
  reference::krvhankel(*c.grn, c.r, c.nr, c.sampfac, c.lambda, c.mu,
                       {c.zs, c.zrec, c.rhalf, *c.tab, kc}, *c.work, &ylog);
  std::array<int, nrmax + 1> jlist{};
  std::array<double, nrmax + 1> sqrtr{};
  int njl = 0;
  for (int j = c.ir0(); j <= c.nr; ++j) {
    jlist[njl++] = j;
    sqrtr[j] = std::sqrt(c.r[j]);
  }
  const double dk = c.work->kmax / static_cast<double>(c.work->nktot);
  for (auto _ : state) {
    for (long long i = 1; i <= c.work->nktot; ++i) {
      reference::add_sample(*c.grn, static_cast<double>(i) * dk, dk, ylog[i - 1], jlist.data(), njl,
                            c.r, c.work->rsmooth, sqrtr, c.src.csign, *c.tab);
    }
    benchmark::DoNotOptimize(c.grn->v.data());
    benchmark::ClobberMemory();
  }
  per_sample(state, c);
}

// The whole integration: searches, kernel evaluations and the sum.
void BM_Krvhankel_Whole(benchmark::State& state) {
  Case c(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    c.run();
    benchmark::DoNotOptimize(c.grn->v.data());
  }
  per_sample(state, c);
}

BENCHMARK(BM_HankelSum_Fast)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HankelSum_Straightforward)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Krvhankel_Whole)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
