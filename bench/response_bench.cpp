// Cost of one kernel evaluation (krvpsv + krvsh) at one wavenumber, per computational layer in
// the depth window. The model has n layers of alternating materials over a half-space, the source
// in the middle and the observation depth at the surface, so the observation pair is carried
// through every layer above the source (the dearer case). k is chosen so that every layer lies
// inside the window, with k*h = 0.1 (thick-layer steps) or 0.0005 (propagator steps).
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "model/model.h"
#include "response/response.h"
#include "response/source.h"

namespace {

using namespace kirva;

struct Setup {
  LayerTable lt;
  RowTable rows;
  ComputationalLayers cl;
  SourceTerms src;
};

Setup make_setup(int n, double h) {
  Setup s;
  s.lt.nlayer = n + 1;
  for (int l = 1; l <= n + 1; ++l) {
    const bool soft = l % 2 == 1;
    s.lt.thick[l] = l <= n ? h : 0.0;
    s.lt.vp[l] = soft ? 3000.0 : 6500.0;
    s.lt.vs[l] = soft ? 1300.0 : 3750.0;
    s.lt.ro[l] = soft ? 2100.0 : 2950.0;
  }
  // Computational layers = table rows; the source at the top of row n/2 + 1.
  s.cl.nl = n + 1;
  for (int i = 1; i <= n + 1; ++i) {
    s.cl.zl[i] = (i - 1) * h;
    s.cl.hl[i] = s.lt.thick[i];
    s.cl.lay[i] = i;
  }
  s.cl.ls = n / 2 + 1;
  s.cl.lzrec = 1;
  const int r = s.cl.lay[s.cl.ls];
  krvrowtab(s.lt, s.rows);
  krvmoment(1, s.lt.ro[r] * s.lt.vs[r] * s.lt.vs[r], s.lt.ro[r], s.lt.vp[r], s.lt.vs[r], s.src);
  return s;
}

template <bool psv, bool sh>
void run(benchmark::State& state, double kh) {
  const int n = static_cast<int>(state.range(0));
  const double h = 1000.0;
  const double k = kh / h;
  const auto sp = std::make_unique<Setup>(make_setup(n, h));
  const Setup& s = *sp;
  WarningLog log;
  const KernelContext ctx{s.lt, s.rows, s.cl, s.src, log};
  std::array<double, 7> y{};
  for (auto _ : state) {
    if (psv) krvpsv(y, k, 1.0e-8, ctx);
    if (sh) krvsh(y, k, 1.0e-8, ctx);
    benchmark::DoNotOptimize(y);
    benchmark::ClobberMemory();
  }
  if (!log.text.empty()) state.SkipWithError("solver warning");
  state.counters["layers"] = n;
  // Seconds per computational layer per call.
  state.counters["per_layer"] = benchmark::Counter(
      n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PsvSh_Thick(benchmark::State& state) {
  run<true, true>(state, 0.1);
}
void BM_PsvSh_Thin(benchmark::State& state) {
  run<true, true>(state, 0.0005);
}
void BM_Psv_Thick(benchmark::State& state) {
  run<true, false>(state, 0.1);
}
void BM_Sh_Thick(benchmark::State& state) {
  run<false, true>(state, 0.1);
}

BENCHMARK(BM_PsvSh_Thick)->Arg(8)->Arg(32)->Arg(128)->Arg(256);
BENCHMARK(BM_PsvSh_Thin)->Arg(8)->Arg(32)->Arg(128)->Arg(256);
BENCHMARK(BM_Psv_Thick)->Arg(128);
BENCHMARK(BM_Sh_Thick)->Arg(128);

}  // namespace
