// Cost of the kernels per computational layer.
//
// Cost of one kernel evaluation (krvpsv + krvsh) at one wavenumber, per computational layer in
// the depth window. The model has n layers of alternating materials over a half-space, the source
// in the middle and the observation depth at the surface, so the observation pair is carried
// through every layer above the source (the dearer case). k is chosen so that every layer lies
// inside the window, with k*h = 0.1 (thick-layer steps) or 0.0005 (propagator steps).
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "integration/hankel.h"
#include "model/model.h"
#include "response/inline_ops.h"
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

// One krvresp call (P-SV and SH kernels of a strike-slip source) in a layered continental crust:
// sediments, upper and lower crust with velocity gradients, a mantle gradient over a half-space,
// sliced into homogeneous rows as a run does it; the source at 16 km, the observation depth at the
// surface. The wavenumber sets the regime: k = 1e-6 /m is mostly propagator steps (k*h <= 0.001),
// 2e-5 and 2e-4 thick steps with small and moderate k*h, and at 1e-3 the depth window cuts the
// layers below the source off after 18 km. Reported per layer step in the window.
struct Crust {
  LayerTable lt;
  RowTable rows;
  ComputationalLayers cl;
  SourceTerms src;
};

std::unique_ptr<Crust> make_crust() {
  auto c = std::make_unique<Crust>();
  ProfileList p;
  // depth top, depth bottom (m), vp, vs (m/s), density (kg/m^3) at top and bottom
  const double layers[][8] = {{0, 2000, 3500, 4800, 1900, 2700, 2300, 2500},
                              {2000, 15000, 5800, 6200, 3350, 3580, 2650, 2750},
                              {15000, 32000, 6500, 7000, 3750, 4000, 2850, 3000},
                              {32000, 40000, 8000, 8100, 4500, 4550, 3300, 3320}};
  p.nprof = 5;
  for (int e = 1; e <= 4; ++e) {
    const double* l = layers[e - 1];
    p.z1[e] = l[0];
    p.z2[e] = l[1];
    p.vp1[e] = l[2];
    p.vp2[e] = l[3];
    p.vs1[e] = l[4];
    p.vs2[e] = l[5];
    p.ro1[e] = l[6];
    p.ro2[e] = l[7];
  }
  p.z1[5] = 40000.0;
  p.vp1[5] = 8100.0;
  p.vs1[5] = 4550.0;
  p.ro1[5] = 3320.0;
  int ierr = 0;
  krvslice({0.01, 0.01, 0.01}, ierr, p, c->lt);
  krvrowtab(c->lt, c->rows);
  DepthPair pair;
  prepare_depth_pair(c->lt, 16000.0, 0.0, c->cl, pair);
  const RowModuli& s = pair.source;
  krvmoment(1, s.mu, s.ro, s.vp, s.vs, c->src);
  return c;
}

void BM_Krvresp_Crust(benchmark::State& state) {
  const double k = static_cast<double>(state.range(0)) * 1.0e-7;
  const auto c = make_crust();
  WarningLog log;
  const KernelContext ctx{c->lt, c->rows, c->cl, c->src, log};
  int lup = 0, llw = 0;
  detail::depth_window(k, eps, c->cl, lup, llw);
  const int steps = llw - lup;  // (ls - lup) steps down, (llw - ls) up
  std::array<double, 7> y{};
  for (auto _ : state) {
    krvresp(y, k, true, true, eps, ctx);
    benchmark::DoNotOptimize(y);
    benchmark::ClobberMemory();
  }
  if (!log.text.empty()) state.SkipWithError("solver warning");
  state.counters["layers"] = c->cl.nl;
  state.counters["steps"] = steps;
  state.counters["above"] = c->cl.ls - lup;
  state.counters["per_step"] = benchmark::Counter(
      steps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// k in units of 1e-7 /m
BENCHMARK(BM_Krvresp_Crust)->Arg(10)->Arg(200)->Arg(2000)->Arg(10000);

BENCHMARK(BM_PsvSh_Thick)->Arg(8)->Arg(32)->Arg(128)->Arg(256);
BENCHMARK(BM_PsvSh_Thin)->Arg(8)->Arg(32)->Arg(128)->Arg(256);
BENCHMARK(BM_Psv_Thick)->Arg(128);
BENCHMARK(BM_Sh_Thick)->Arg(128);

}  // namespace
