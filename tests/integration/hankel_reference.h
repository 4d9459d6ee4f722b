// The straightforward wavenumber integration, kept for tests and benchmarks: the sum over the
// samples with, for every wavenumber and distance, its own exponential taper, square root and
// table lookup, in the order of a plain loop. The fast integration must agree with it to rounding.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "integration/hankel.h"

namespace kirva::reference {

inline double taper(double k, double s) {
  const double t = k * s;
  return std::exp(-(t * t));
}

// One wavenumber sample k of the kernel y added to every distance jlist[0..njl).
inline void add_sample(GreenTable& grn, double k, double dk, const std::array<double, 7>& y,
                       const int* jlist, int njl, const std::array<double, nrmax + 1>& r,
                       const std::array<double, nrmax + 1>& rsmooth,
                       const std::array<double, nrmax + 1>& sqrtr, double csign,
                       const BesselTables& tab, bool exact = false) {
  const double y1 = y[1], y2 = y[2], y3 = y[3], y4 = y[4], y5 = y[5], y6 = y[6];
  const double sk = std::sqrt(k);
  for (int jj = 0; jj < njl; ++jj) {
    const int j = jlist[jj];
    const double w = taper(k, rsmooth[j]) * sk * dk / sqrtr[j];
    double vj, vdj, vnj;
    tablook(k * r[j], vj, vdj, vnj, tab);
    // Near x = 0 the explosion's sums take sqrt(x) J_0 exact (the same test as the fast sum's).
    const double u = k * (r[j] / tab.xstep);
    if (exact && std::floor(u) < kExactCells) {
      bessel0_near_zero(u * tab.xstep, vj, vdj);
      vnj = 0.0;
    }
    const double bj = vj * w;
    const double bdj = vdj * w;
    const double bnj = vnj * w;
    double* g = &grn.v[10 * (j - 1)];
    g[0] += y1 * bj;
    g[1] += y3 * bdj + csign * y5 * bnj;
    g[2] += -y5 * bdj - csign * y3 * bnj;
    g[3] += y2 * bj;
    g[4] += -k * y3 * bj;
    g[6] += y4 * bdj + csign * y6 * bnj;
    g[7] += k * y5 * bj;
    g[8] += -y6 * bdj - csign * y4 * bnj;
    g[9] += k * y1 * bdj;
  }
}

// The whole integration with the straightforward sum; ylog, when given, receives the kernel of
// every sample as summed.
inline void krvhankel(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                      double sampfac, double lambda, double mu, const HankelContext& ctx,
                      HankelWork& work, std::vector<std::array<double, 7>>* ylog = nullptr) {
  krvhprep(grn, r, nr, sampfac, mu, ctx, work);
  // Distances that take part in the sum: a later distance that is not positive is left at 0.
  std::array<int, nrmax + 1> jlist;
  std::array<double, nrmax + 1> sqrtr;
  int njl = 0;
  for (int j = work.ir0; j <= nr; ++j) {
    if (r[j] > 0.0) {
      jlist[njl++] = j;
      sqrtr[j] = std::sqrt(r[j]);
    }
  }
  if (ylog != nullptr) ylog->clear();
  std::array<double, 7> y{};
  for (long long i = 1; i <= work.nktot; ++i) {
    const double k = static_cast<double>(i) * work.dk;
    krvhkernel(y, k, ctx, work);
    if (ylog != nullptr) ylog->push_back(y);
    add_sample(grn, k, work.dk, y, jlist.data(), njl, r, work.rsmooth, sqrtr, ctx.kernel.src.csign,
               ctx.tab, work.exact_near_axis);
  }
  krvhfinish(grn, r, nr, lambda, mu, ctx, work);
}

// The distance sum of samples held all at once, ks[i] for i = 1..work.nktot (ks[0] unused), fed
// to the sum in chunks of `chunk` samples (a multiple of 64) as krvhankel feeds it.
inline void sum_in_chunks(GreenTable& grn, const std::vector<KernelSample>& ks,
                          const std::array<double, nrmax + 1>& r, int nr, int ir0,
                          const BesselTables& tab, HankelWork& work, long long chunk = kChunk) {
  krvhsum_start(r, nr, ir0, tab, work);
  for (long long i1 = 1; i1 <= work.nktot; i1 += chunk) {
    const long long i2 = std::min(i1 + chunk - 1, work.nktot);
    krvhsum_chunk(&ks[static_cast<std::size_t>(i1)], i1, i2, tab, work);
  }
  krvhsum_end(grn, work);
}

}  // namespace kirva::reference
