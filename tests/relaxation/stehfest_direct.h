// A second inversion of the Laplace transform for the tests: Gaver-Stehfest with n terms at the
// exact nodes j ln2 / t of each time, no interpolation between times, over the same
// Laplace-domain earths as the run's own.
#pragma once

#include <memory>
#include <numbers>
#include <vector>

#include "driver/table.h"
#include "relaxation/relaxation.h"

namespace kirva::testing {

inline void stehfest_direct(const LayerTable& lt, const std::vector<double>& times_years, int n,
                            LaplaceEarths& e) {
  const std::vector<double> v = stehfest_weights(n);
  const std::size_t nt = times_years.size(), nn = static_cast<std::size_t>(n);
  e.viscous = true;
  e.plan.times = times_years;
  e.plan.s.clear();
  e.plan.w.assign(nt * nt * nn, 0.0);
  for (std::size_t i = 0; i < nt; ++i) {
    for (int j = 1; j <= n; ++j) {
      e.plan.s.push_back(j * std::numbers::ln2 / (times_years[i] * kSecondsPerYear));
      e.plan.w[i * nt * nn + i * nn + static_cast<std::size_t>(j - 1)] = v[j] / j;
    }
  }
  e.lt.clear();
  e.rows.clear();
  for (double s : e.plan.s) {
    e.lt.push_back(std::make_unique<LayerTable>());
    laplace_layers(lt, s, *e.lt.back());
    e.rows.push_back(std::make_unique<RowTable>());
    krvrowtab(*e.lt.back(), *e.rows.back());
  }
}

}  // namespace kirva::testing
