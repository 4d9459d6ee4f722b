// Cost of the synthesis per source-receiver evaluation, for the case of the whole-run benchmark:
// the thrust of the Okada reference set (30 x 26 km, dip 30 degrees) in 0.5 km patches of 2 x 2
// Gauss points (12480 point sources) onto receivers of a 201 x 201 surface grid over 60 x 60 km,
// here one band of 21 grid rows on one worker. The tables are synthetic columns with the
// reference library's samplings (1001 distances to 100 km, 201 source depths 0.5 to 20.5 km):
// the cost does not depend on the values. Also the reduction of the tables for one source depth.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "synthesis/combine.h"
#include "synthesis/problem.h"
#include "synthesis/sources.h"

namespace {

using namespace kirva;
using namespace kirva::syn;

// The tables of the reference library's samplings, with synthetic columns.
struct Tables {
  std::vector<double> col, zero, zz;
  TableView view;

  Tables() {
    for (int i = 0; i <= 1000; ++i) view.r.push_back(100.0 * i);
    for (int j = 0; j <= 200; ++j) view.zs.push_back(500.0 + 100.0 * j);
    view.zrec = {0.0};
    view.earth.layers = {{0.0, 6000.0, 3464.0, 2700.0}};
    // Columns of a free surface: ezr = etz = 0, ezz = -lambda (err + ett) / (lambda + 2 mu).
    const double f = view.earth.lambda(0) / (view.earth.lambda(0) + 2 * view.earth.mu(0));
    for (double r : view.r) col.push_back(1e-12 / (1.0 + r * r * 1e-8));
    zero.assign(col.size(), 0.0);
    for (double v : col) zz.push_back(-f * 2 * v);
    view.isotropic = true;  // with the explosion's table, for the opening sources
    view.column = [this](int, SourceType t, int, Component c) -> std::span<const double> {
      if ((t == SourceType::cl || t == SourceType::ex) && (c == ut || c == ert || c == etz))
        return {};
      if (c == ezr || c == etz) return zero;
      if (c == ezz) return zz;
      return col;
    };
  }
};

struct Case : Tables {
  std::vector<SourcePoint> points;
  std::vector<Receiver> receivers;

  // opening: the same rectangle also opens, which adds the explosion's columns to the sum.
  explicit Case(int rows, double opening = 0.0) {
    SourceModel s;
    s.rect = {0.0,     -0.5 * 13000.0 / std::tan(M_PI / 6),
              8500.0,  90.0,
              30.0,    90.0,
              2.0,     30000.0,
              26000.0, opening};
    points = discretise({s}, Discretisation{500.0, 2}, view.earth);
    Grid g = make_grid(-30, 30, 0.3, -3, 3, 0.3, 0, "bench");
    g.ny = rows;
    receivers = grid_receivers(g, Projector{});
  }
};

void run(benchmark::State& state, Need need, double opening = 0.0) {
  const Case c(21, opening);
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
// A rectangle that also opens: the explosion's block added to every row and every sum.
void BM_SynthesisOpeningDisplacement(benchmark::State& state) {
  run(state, Need::displacement, 1.0);
}
void BM_SynthesisOpeningStrain(benchmark::State& state) {
  run(state, Need::strain, 1.0);
}
BENCHMARK(BM_SynthesisOpeningDisplacement)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SynthesisOpeningStrain)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The same thrust as a mesh of 10,000 triangles (100 x 50 cells of two), each cut and integrated
// as a synthesis does it (its points shared between depth levels), onto the same 21 rows:
// evaluations per second to set beside those of the rectangle.
void BM_SynthesisMesh10000Triangles(benchmark::State& state) {
  Case c(21);
  const double dip = M_PI / 6, width = 26000.0;
  const double y0 = 0.0, top = 2000.0;
  auto at = [&](int i, int j) {
    const double w = width * j / 50.0;
    return Vec3{-15000.0 + 30000.0 * i / 100.0, y0 - w * std::cos(dip), top + w * std::sin(dip)};
  };
  std::vector<SourceModel> mesh;
  for (int i = 0; i < 100; ++i) {
    for (int j = 0; j < 50; ++j) {
      mesh.push_back(triangle_source({at(i, j), at(i + 1, j), at(i + 1, j + 1)}, 0, 2, 0, "t"));
      mesh.push_back(triangle_source({at(i, j), at(i + 1, j + 1), at(i, j + 1)}, 0, 2, 0, "t"));
    }
  }
  Problem p;
  p.sources = mesh;
  const Discretisation d = discretisation_of(c.view, p);
  c.points = discretise(mesh, d, c.view.earth);
  SynthesisOptions opt;
  opt.need = Need::displacement;
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
BENCHMARK(BM_SynthesisMesh10000Triangles)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ReduceOneSourceDepth(benchmark::State& state) {
  const Case c(1);
  Reduced out;
  const DepthWeights w;
  for (auto _ : state) {
    reduce(c.view, Need::gradient, false, 8750.0, w, w, out);
    benchmark::DoNotOptimize(out.rows.data());
  }
}
BENCHMARK(BM_ReduceOneSourceDepth)->Unit(benchmark::kMicrosecond);

// The Green's matrix of a slip inversion: 1000 patches (a thrust of 50 x 20 km dipping 30
// degrees in 1 km patches, each integrated as 2 x 2 pieces of 2 x 2 Gauss points, 16 point
// sources) at 10,000 surface receivers (a 100 x 100 grid over 100 x 70 km), displacement, on
// one worker. Evaluations: point sources x receivers x slip directions.
struct Inversion : Tables {
  Problem p;
  Inversion() {
    for (int b = 0; b < 20; ++b) {
      for (int a = 0; a < 50; ++a) {
        SourceModel s;
        const double w = (b + 0.5) * 1000.0;  // down dip from the top edge at 1 km depth
        s.rect = {-24500.0 + a * 1000.0,
                  -w * std::cos(M_PI / 6),
                  1000.0 + w * 0.5,
                  90.0,
                  30.0,
                  90.0,
                  1.0,
                  1000.0,
                  1000.0};
        s.label = "patch";
        p.sources.push_back(s);
      }
    }
    p.receivers =
        grid_receivers(make_grid(-49.5, 49.5, 1, -49.5, 20, 0.7, 0, "bench"), Projector{});
    p.quantities = {Quantity::ux, Quantity::uy, Quantity::uz};
    p.threads = 1;
  }
  double evaluations(int directions) const {
    return 16.0 * p.sources.size() * p.receivers.size() * directions;
  }
};

void BM_GreensMatrix(benchmark::State& state) {
  const Inversion c;
  std::vector<SlipDirection> slip = {SlipDirection::strike, SlipDirection::dip,
                                     SlipDirection::opening};
  slip.resize(state.range(0));
  const std::size_t size = c.p.receivers.size() * 3 * c.p.sources.size() * slip.size();
  for (auto _ : state) {
    // A new matrix each time, not cleared (as numpy's empty array of the Python call).
    const std::unique_ptr<double[]> g(new double[size]);
    greens_matrix(c.view, c.p, slip, g.get());
    benchmark::DoNotOptimize(g.get());
  }
  state.counters["evaluations_per_s"] = benchmark::Counter(
      c.evaluations(state.range(0)) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GreensMatrix)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kSecond)->Iterations(1);

// The same matrix as it had to be made before the library: one synthesis per patch and slip
// direction, on the baseline instruction set.
void BM_GreensMatrixPatchByPatch(benchmark::State& state) {
  const Inversion c;
  for (auto _ : state) {
    std::vector<double> g(c.p.receivers.size() * 3 * c.p.sources.size() * 2);
    Problem one = c.p;
    one.wide = false;
    for (std::size_t j = 0; j < c.p.sources.size(); ++j) {
      for (int s = 0; s < 2; ++s) {
        one.sources = {c.p.sources[j]};
        one.sources[0].rect.rake = s == 0 ? 0.0 : 90.0;
        const Solution out = synthesise(c.view, one);
        for (std::size_t i = 0; i < c.p.receivers.size(); ++i) {
          for (int q = 0; q < 3; ++q) {
            g[((i * 3 + q) * c.p.sources.size() + j) * 2 + s] = out.values[i * 3 + q];
          }
        }
      }
    }
    benchmark::DoNotOptimize(g.data());
  }
  state.counters["evaluations_per_s"] =
      benchmark::Counter(c.evaluations(2) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GreensMatrixPatchByPatch)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
