// The Bessel values of the accurate mode, per argument: cubic Hermite interpolation in the tables
// (J_n, J_n' and n J_n/x together, within 1.5e-8) against evaluating J_(n-1), J_n, J_(n+1) at each
// argument (std::cyl_bessel_j below x = 25, Hankel's expansion above; near rounding), and the
// linear lookup of the plain tables, over the arguments a sum meets (0 to 2000).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "../tests/kirva_bessel.h"
#include "integration/accurate.h"
#include "integration/bessel.h"

namespace {

using namespace kirva;

std::vector<double> arguments() {
  std::vector<double> x(4096);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = 2000.0 * (i * 0.6180339887498949 - int(i * 0.6180339887498949));
  return x;
}

const AccurateBessel& accurate_tables() {
  static const auto t = [] {
    std::array<std::unique_ptr<AccurateBessel>, 3> a;
    for (auto& e : a) e = std::make_unique<AccurateBessel>();
    fill_accurate_orders(*a[0], *a[1], *a[2], 0, kAccIntervals - 1);
    return a;
  }();
  return *t[2];
}

void BM_AccurateTableLookup(benchmark::State& state) {
  const auto x = arguments();
  const AccurateBessel& tab = accurate_tables();
  for (auto _ : state) {
    double s = 0.0;
    for (double v : x) {
      double a, b, c;
      accurate_lookup(v, a, b, c, tab);
      s += a + b + c;
    }
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(x.size()));
}
BENCHMARK(BM_AccurateTableLookup);

void BM_AccurateEvaluation(benchmark::State& state) {
  const auto x = arguments();
  for (auto _ : state) {
    double s = 0.0;
    for (double v : x) {
      double j[5];
      accurate_j04(v, j);
      s += j[1] + 0.5 * (j[1] - j[3]) + 0.5 * (j[1] + j[3]);
    }
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(x.size()));
}
BENCHMARK(BM_AccurateEvaluation);

void BM_PlainLinearLookup(benchmark::State& state) {
  const auto x = arguments();
  static const auto tab = [] {
    auto t = std::make_unique<BesselTables>();
    krvbstab(2, *t);
    return t;
  }();
  for (auto _ : state) {
    double s = 0.0;
    for (double v : x) {
      double a, b, c;
      tablook(v, a, b, c, *tab);
      s += a + b + c;
    }
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(x.size()));
}
BENCHMARK(BM_PlainLinearLookup);

}  // namespace
