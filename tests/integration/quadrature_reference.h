// The Green's functions of a point source by direct quadrature over wavenumber: the kernel of the
// program (checked against the global-matrix solution in tests/response) at the nodes of
// Gauss-Legendre panels, exact Bessel functions from std::cyl_bessel_j, no taper, no cut-off
// below where the kernel has decayed to 1e-20. At equal depths the asymptote of the kernel is
// taken at a wavenumber where the remainder is below 1e-40 and transformed in closed form with
// the Lipschitz integrals at z -> 0. Slow; test support only.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "integration/halfspace_reference.h"
#include "integration/hankel.h"
#include "model/model.h"

namespace kirva::quadref {

// 16-point Gauss-Legendre nodes and weights on [-1, 1] (the positive half).
inline constexpr double kX[8] = {0.0950125098376374, 0.2816035507792589, 0.4580167776572274,
                                 0.6178762444026438, 0.7554044083550030, 0.8656312023878318,
                                 0.9445750230732326, 0.9894009349916499};
inline constexpr double kW[8] = {0.1894506104550685, 0.1826034150449236, 0.1691565193950025,
                                 0.1495959888165767, 0.1246289712555339, 0.0951585116824928,
                                 0.0622535239386479, 0.0271524594117541};

// The depth window of the kernels: wide enough that no field the quadrature reaches is cut.
inline constexpr double kEps = 1.0e-30;

// The distance from zs to the nearest interface of the table or to the surface (not 0).
inline double nearest_interface(double zs, const LayerTable& lt) {
  double best = zs > 0.0 ? zs : 1.0e300;
  double z = 0.0;
  for (int l = 1; l < lt.nlayer; ++l) {
    z += lt.thick[l];
    if (std::fabs(z - zs) > 0.0) best = std::min(best, std::fabs(z - zs));
  }
  return best;
}

// grn(1..10, 1..nr) for the source of kc at zs and observation depth zrec.
inline void green(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double zs,
                  double zrec, double lambda, double mu, const KernelContext& kc) {
  const SourceTerms& src = kc.src;
  const int n = src.mazi;
  const double cs = src.csign;
  const bool psv = std::fabs(src.sjump[1]) + std::fabs(src.sjump[2]) + std::fabs(src.sjump[3]) +
                       std::fabs(src.sjump[4]) >
                   0.0;
  const bool sh = std::fabs(src.sjump[5]) + std::fabs(src.sjump[6]) > 0.0;
  const double dz = std::fabs(zs - zrec);
  double rmax = 0.0;
  for (int j = 1; j <= nr; ++j) rmax = std::max(rmax, r[j]);

  // The asymptote at equal depths.
  std::array<double, 7> ya{};
  double scale;  // the length on which the integrand decays
  if (dz == 0.0) {
    scale = 0.5 * nearest_interface(zs, kc.lt);
    std::array<double, 7> y{};
    const double kbig = 50.0 / scale;
    krvresp(y, kbig, psv, sh, kEps, kc);
    for (int q = 1; q <= 6; ++q) ya[q] = q % 2 == 0 ? y[q] / kbig : y[q];
  } else {
    scale = dz;
  }
  const double kend = 50.0 / scale;
  const double width = std::min(0.25 / scale, 1.5 / std::max(rmax, scale));
  const int npanel = static_cast<int>(std::ceil(kend / width));

  HankelWork work;  // for the completion: the sums of the axis, no asymptote
  work.asymok = false;
  work.ir0 = r[1] > 0.0 ? 1 : 2;
  for (int j = 1; j <= nr; ++j)
    for (int c = 1; c <= 10; ++c) grn(c, j) = 0.0;

  auto jn = [](int m, double x) {
    return m < 0 ? ((-m) % 2 == 0 ? 1.0 : -1.0) * std::cyl_bessel_j(-m, x)
                 : std::cyl_bessel_j(m, x);
  };
  std::array<double, 7> y{};
  for (int p = 0; p < npanel; ++p) {
    const double mid = (p + 0.5) * width, half = 0.5 * width;
    for (int e = 0; e < 16; ++e) {
      const double k = mid + (e < 8 ? -kX[e] : kX[e - 8]) * half;
      const double w = kW[e % 8] * half;
      krvresp(y, k, psv, sh, kEps, kc);
      for (int q = 1; q <= 6; ++q) y[q] -= q % 2 == 0 ? ya[q] * k : ya[q];
      for (int q = 1; q <= 6; ++q) {
        work.s0[q] += y[q] * k * w;
        work.s1[q] += y[q] * k * k * w;
      }
      for (int j = work.ir0; j <= nr; ++j) {
        const double x = k * r[j];
        const double a = jn(n, x), jm = jn(n - 1, x), jp = jn(n + 1, x);
        const double b = 0.5 * (jm - jp), c = n == 0 ? 0.0 : 0.5 * (jm + jp);
        const double kw = k * w;
        double* g = &grn.v[10 * (j - 1)];
        g[0] += kw * y[1] * a;
        g[1] += kw * (y[3] * b + cs * y[5] * c);
        g[2] -= kw * (y[5] * b + cs * y[3] * c);
        g[3] += kw * y[2] * a;
        g[4] -= kw * k * y[3] * a;
        g[6] += kw * (y[4] * b + cs * y[6] * c);
        g[7] += kw * k * y[5] * a;
        g[8] -= kw * (y[6] * b + cs * y[4] * c);
        g[9] += kw * k * y[1] * b;
      }
    }
  }
  // The asymptote in closed form: int k^m J_nu(kr) dk, the Lipschitz integrals as z -> 0.
  if (dz == 0.0) {
    for (int j = work.ir0; j <= nr; ++j) {
      const double rj = r[j], z = 1.0e-12 * rj;
      auto L = [&](int m, int nu) { return testref::lipschitz(m, nu, rj, z); };
      const double A1 = L(1, n), A2 = L(2, n);
      const double B1 = 0.5 * (L(1, n - 1) - L(1, n + 1)), B2 = 0.5 * (L(2, n - 1) - L(2, n + 1));
      const double C1 = n == 0 ? 0.0 : 0.5 * (L(1, n - 1) + L(1, n + 1));
      const double C2 = n == 0 ? 0.0 : 0.5 * (L(2, n - 1) + L(2, n + 1));
      double* g = &grn.v[10 * (j - 1)];
      g[0] += ya[1] * A1;
      g[1] += ya[3] * B1 + cs * ya[5] * C1;
      g[2] -= ya[5] * B1 + cs * ya[3] * C1;
      g[3] += ya[2] * A2;
      g[4] -= ya[3] * A2;
      g[6] += ya[4] * B2 + cs * ya[6] * C2;
      g[7] += ya[5] * A2;
      g[8] -= ya[6] * B2 + cs * ya[4] * C2;
      g[9] += ya[1] * B2;
    }
  }
  krvhcomplete(grn, r, nr, lambda, mu, src, work);
}

}  // namespace kirva::quadref
