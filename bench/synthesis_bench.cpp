// Cost of the synthesis per source-receiver evaluation, for the case of the whole-run benchmark:
// the thrust of the Okada reference set (30 x 26 km, dip 30 degrees) in 0.5 km patches of 2 x 2
// Gauss points (12480 point sources) onto receivers of a 201 x 201 surface grid over 60 x 60 km,
// here one band of 21 grid rows on one worker. The tables are synthetic columns with the
// reference library's samplings (1001 distances to 100 km, 201 source depths 0.5 to 20.5 km):
// the cost does not depend on the values. Also the reduction of the tables for one source depth.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "synthesis/combine.h"
#include "synthesis/sources.h"

namespace {

using namespace kirva;
using namespace kirva::syn;

struct Case {
  std::vector<double> col, zero, zz;
  TableView view;
  std::vector<SourcePoint> points;
  std::vector<Receiver> receivers;

  explicit Case(int rows) {
    for (int i = 0; i <= 1000; ++i) view.r.push_back(100.0 * i);
    for (int j = 0; j <= 200; ++j) view.zs.push_back(500.0 + 100.0 * j);
    view.zrec = {0.0};
    view.earth.layers = {{0.0, 6000.0, 3464.0, 2700.0}};
    // Columns of a free surface: ezr = etz = 0, ezz = -lambda (err + ett) / (lambda + 2 mu).
    const double f = view.earth.lambda(0) / (view.earth.lambda(0) + 2 * view.earth.mu(0));
    for (double r : view.r) col.push_back(1e-12 / (1.0 + r * r * 1e-8));
    zero.assign(col.size(), 0.0);
    for (double v : col) zz.push_back(-f * 2 * v);
    view.column = [this](int, SourceType t, int, Component c) -> std::span<const double> {
      if (t == SourceType::cl && (c == ut || c == ert || c == etz)) return {};
      if (c == ezr || c == etz) return zero;
      if (c == ezz) return zz;
      return col;
    };
    SourceModel s;
    s.rect = {0.0,    -0.5 * 13000.0 / std::tan(M_PI / 6), 8500.0, 90.0, 30.0, 90.0, 2.0, 30000.0,
              26000.0};
    points = discretise({s}, Discretisation{500.0, 2}, view.earth);
    Grid g = make_grid(-30, 30, 0.3, -3, 3, 0.3, 0, "bench");
    g.ny = rows;
    receivers = grid_receivers(g, Projector{});
  }
};

void run(benchmark::State& state, Need need) {
  const Case c(21);
  SynthesisOptions opt;
  opt.need = need;
  opt.threads = 1;
  for (auto _ : state) {
    auto f = synthesise(c.view, c.points, c.receivers, opt);
    benchmark::DoNotOptimize(f.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(c.points.size()) *
                          static_cast<long>(c.receivers.size()));
  state.counters["sources"] = static_cast<double>(c.points.size());
  state.counters["receivers"] = static_cast<double>(c.receivers.size());
}

void BM_SynthesisDisplacement(benchmark::State& state) {
  run(state, Need::displacement);
}
void BM_SynthesisStrain(benchmark::State& state) {
  run(state, Need::strain);
}
void BM_SynthesisGradient(benchmark::State& state) {
  run(state, Need::gradient);
}
BENCHMARK(BM_SynthesisDisplacement)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SynthesisStrain)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SynthesisGradient)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ReduceOneSourceDepth(benchmark::State& state) {
  const Case c(1);
  Reduced out;
  const double w = 1.0;
  for (auto _ : state) {
    reduce(c.view, Need::gradient, false, 8750.0, 0, 1, &w, out);
    benchmark::DoNotOptimize(out.rows.data());
  }
}
BENCHMARK(BM_ReduceOneSourceDepth)->Unit(benchmark::kMicrosecond);

}  // namespace
