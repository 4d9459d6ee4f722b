// Viscoelastic relaxation after a step of slip, by the correspondence principle: the response of
// a linear viscoelastic earth is the inverse Laplace transform of the elastic response computed
// with the Laplace-domain shear moduli mu(s) (Lee 1955; Biot 1954), divided by s. Only the shear
// modulus relaxes; the bulk modulus stays elastic.
//
// Every row of the layer table may hold a Burgers body: the elastic mu in series with a Maxwell
// dashpot eta_M and a Kelvin-Voigt element (mu_K, eta_K),
//
//     1/mu(s) = 1/mu + 1/(eta_M s) + 1/(mu_K + eta_K s),
//
// either element absent when its viscosity is 0. Maxwell time eta_M/mu, Kelvin time eta_K/mu_K.
//
// The inversion. The elastic tables are computed at M real Laplace nodes s_m, spaced as Chebyshev
// points in ln s over the window that the requested times need, and each table at time t is one
// fixed linear combination of them: the Gaver-Stehfest formula (Stehfest 1970)
//
//     u(t) = sum_j (V_j / j) y(j ln2 / t),  j = 1..N,
//
// applied to the Chebyshev interpolant of y in ln s through the nodes (barycentric form,
// Berrut and Trefethen 2004). A pole of y at s = -p lies at the distance pi from the real ln s
// axis whatever p, so the interpolant converges geometrically with the number of nodes per
// decade of the window; M grows with the window's width so that the interpolant stays well
// below the Stehfest error. The nodes are shared by all times, so a run of 20 times costs M
// elastic tables, not 20 N.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tables/limits.h"

namespace kirva {

inline constexpr double kSecondsPerYear = 365.25 * 86400.0;  // the Julian year

// The viscous elements of one row (Pa s; 0: no such element) and the Kelvin element's shear
// modulus as a share of the row's mu.
struct Rheology {
  double eta_m = 0.0, eta_k = 0.0, muk_ratio = 0.0;
  bool maxwell() const { return eta_m > 0.0; }
  bool kelvin() const { return eta_k > 0.0; }
  bool viscous() const { return maxwell() || kelvin(); }
};

// The Laplace-domain shear modulus of a row of elastic modulus mu at s > 0 (1/s).
double laplace_mu(double mu, const Rheology& r, double s);

// The Gaver-Stehfest weights V_1..V_N (index 0 unused), N even.
std::vector<double> stehfest_weights(int n);

inline constexpr int kStehfestN = 12;

// The times (years, increasing, all positive) and the linear map from the tables at the Laplace
// nodes to the tables at those times: table(t_i) = sum_m weight(i, m) table(s_m).
struct InversionPlan {
  std::vector<double> times;  // years
  std::vector<double> s;      // Laplace nodes, 1/s
  std::vector<double> w;      // times.size() x s.size(), row by row
  double weight(std::size_t i, std::size_t m) const { return w[i * s.size() + m]; }
};

// The plan for the given positive times (years, increasing). The nodes cover
// [ln2 / t_max, N ln2 / t_min] with max(16, ceil(8 d + 6)) Chebyshev points, d the decades of
// that window.
InversionPlan plan_inversion(const std::vector<double>& times_years);

// Parses the --times list: comma-separated times in years, or T1/T2/N for N times spaced
// logarithmically from T1 to T2. Returns the positive times, increasing and without repeats (0 is
// the elastic table, always there); throws kirva::Stop with one line on a list that cannot be
// read.
std::vector<double> parse_times(const std::string& list);

}  // namespace kirva
