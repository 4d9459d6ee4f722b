// The accurate Hankel transforms: the same kernels and completion as the plain path, with
// - Bessel values to about 1e-8 at every argument (integration/besselacc.cpp);
// - one smoothing length for every distance, by default far below any length the tables resolve,
//   so that the taper is folded into the sample weights once per wavenumber;
// - kernels whose depth window reaches to a field of 1e-15 of the source's rather than 1e-8: the
//   narrower window of the plain mode sets the kernel to 0 beyond k*|zs - zrec| = 18.4, which
//   leaves out about 1e-5 of the strains;
// - searches whose tolerances lie near the rounding of the kernels: the cut-off where the
//   envelopes of the displacement and of the strain integrands have both fallen below kAccCut of
//   their largest values (at two successive steps, so that a zero of the kernel does not end it),
//   and the asymptote of equal depths to a relative change of 1e-9 per step, its remainder
//   ending the integrand where it falls below 1e-8 of the asymptote;
// - the trapezoidal rule on the uniform grid k_i = i*dk with its end at k = 0 corrected to sixth
//   order (the end terms of the Euler-Maclaurin formula, as in Gregory's rule): the plain sum
//   misses dk^2/12 times the slope of the integrand at k = 0, which for the uniform sampling of
//   the plain mode is about (2 pi zs / L)^2/12 of the peak (L = 2 pi/dk), 1e-3 for deep sources;
// - the samples made and summed in chunks, so memory stays bounded whatever their number.
#include <algorithm>
#include <cmath>
#include <string>

#include "integration/accurate.h"
#include "stop.h"

namespace kirva {

namespace {

constexpr double twopi = 6.28318530717959;
// Samples per chunk: those of the plain sum (256 kB of accurate samples), read by every distance
// in turn.
constexpr long long kAccChunk = kChunk;

inline double taper(double k, double s) {
  const double t = k * s;
  return std::exp(-(t * t));
}

// Weight of sample i of the trapezoidal rule whose first node k = 0 (where every integrand
// vanishes) is not summed, corrected at that end to sixth order. The corrections c_i of the first
// six samples make the rule exact for k^p, p = 1..6, with the end terms of the Euler-Maclaurin
// formula, sum_i c_i i^p = B_(p+1)/(p+1) for odd p and 0 for even p (B the Bernoulli numbers);
// the first two of this family are Gregory's 7/6 and 23/24.
constexpr double kEndWeight[6] = {1.0 + 6961.0 / 15120.0, 1.0 - 66109.0 / 120960.0,
                                  1.0 + 33.0 / 70.0,      1.0 - 31523.0 / 120960.0,
                                  1.0 + 1247.0 / 15120.0, 1.0 - 275.0 / 24192.0};
inline double endweight(long long i) {
  return i <= 6 ? kEndWeight[i - 1] : 1.0;
}

// The distance from the source depth to the nearest interface of the layer table or to the
// surface, when it is not 0; the scale on which the kernel of equal depths approaches its
// asymptote. 0 when the model has no such depth (a homogeneous half-space, source at the surface).
double nearest_interface(double zs, const LayerTable& lt) {
  double best = zs > 0.0 ? zs : 0.0;
  double z = 0.0;
  for (int l = 1; l < lt.nlayer; ++l) {
    z += lt.thick[l];
    const double d = std::fabs(z - zs);
    if (d > 0.0 && (best == 0.0 || d < best)) best = d;
  }
  return best;
}

// The samples of a chunk whose argument k*r lies in the tables (k grows with the index).
long long in_tables(const AccSample* s, long long n, double cr) {
  const AccSample* split = std::partition_point(
      s, s + n, [cr](const AccSample& a) { return a.k * cr < static_cast<double>(kAccIntervals); });
  return split - s;
}

// Samples q0..n-1 of a chunk added to the sums of one distance, in order.
template <bool kSh>
void sum_chunk(std::array<double, 10>& acc, const AccSample* s, long long q0, long long n, double r,
               const AccurateBessel& tab) {
  const double cr = r / kAccStep;
  const long long ns = in_tables(s, n, cr);
  const AccCell* cell = tab.cell.data();
  double g0 = acc[0], g1 = acc[1], g2 = acc[2], g3 = acc[3], g4 = acc[4], g6 = acc[6], g7 = acc[7],
         g8 = acc[8], g9 = acc[9];
  auto add = [&](const AccSample& a, double va, double vb, double vc) {
    g0 += a.y1 * va;
    g3 += a.y2 * va;
    g4 += a.mky3 * va;
    g9 += a.ky1 * vb;
    if constexpr (kSh) {
      g1 += a.y3 * vb + a.cy5 * vc;
      g2 -= a.y5 * vb + a.cy3 * vc;
      g6 += a.y4 * vb + a.cy6 * vc;
      g7 += a.ky5 * va;
      g8 -= a.y6 * vb + a.cy4 * vc;
    } else {
      g1 += a.y3 * vb;
      g6 += a.y4 * vb;
    }
  };
  for (long long q = q0; q < ns; ++q) {
    const AccSample& a = s[q];
    const double u = a.k * cr;
    const int i = static_cast<int>(u);
    const double t = u - i;
    const AccCell& e = cell[i];
    const double A = ((e.c[0][3] * t + e.c[0][2]) * t + e.c[0][1]) * t + e.c[0][0];
    const double B = ((e.c[1][3] * t + e.c[1][2]) * t + e.c[1][1]) * t + e.c[1][0];
    const double C = ((e.c[2][3] * t + e.c[2][2]) * t + e.c[2][1]) * t + e.c[2][0];
    add(a, B, 0.5 * (A - C), 0.5 * (A + C));
  }
  for (long long q = std::max(q0, ns); q < n; ++q) {
    double va, vb, vc;
    accurate_lookup(s[q].k * r, va, vb, vc, tab);
    add(s[q], va, vb, vc);
  }
  acc[0] = g0;
  acc[1] = g1;
  acc[2] = g2;
  acc[3] = g3;
  acc[4] = g4;
  acc[6] = g6;
  acc[7] = g7;
  acc[8] = g8;
  acc[9] = g9;
}

// Two distances side by side in the lanes of a vector (SSE2, the baseline of x86-64), while both
// arguments lie in the tables; each lane does exactly the operations of sum_chunk in the same
// order, so a distance's sums do not depend on its neighbour. The rest goes one at a time.
using v2d = double __attribute__((vector_size(16)));

template <bool kSh>
void sum_pair(std::array<double, 10>& acc0, std::array<double, 10>& acc1, const AccSample* s,
              long long n, double r0, double r1, const AccurateBessel& tab) {
  const double cr0 = r0 / kAccStep, cr1 = r1 / kAccStep;
  const long long nv = std::min(in_tables(s, n, cr0), in_tables(s, n, cr1));
  const AccCell* cell = tab.cell.data();
  const v2d cr = {cr0, cr1};
  auto pair = [](double a, double b) { return v2d{a, b}; };
  v2d g0 = pair(acc0[0], acc1[0]), g1 = pair(acc0[1], acc1[1]), g2 = pair(acc0[2], acc1[2]),
      g3 = pair(acc0[3], acc1[3]), g4 = pair(acc0[4], acc1[4]), g6 = pair(acc0[6], acc1[6]),
      g7 = pair(acc0[7], acc1[7]), g8 = pair(acc0[8], acc1[8]), g9 = pair(acc0[9], acc1[9]);
  for (long long q = 0; q < nv; ++q) {
    const AccSample& a = s[q];
    const v2d u = pair(a.k, a.k) * cr;
    const int i0 = static_cast<int>(u[0]), i1 = static_cast<int>(u[1]);
    const v2d t = u - pair(static_cast<double>(i0), static_cast<double>(i1));
    const AccCell& e0 = cell[i0];
    const AccCell& e1 = cell[i1];
    auto poly = [&](int f) {
      return ((pair(e0.c[f][3], e1.c[f][3]) * t + pair(e0.c[f][2], e1.c[f][2])) * t +
              pair(e0.c[f][1], e1.c[f][1])) *
                 t +
             pair(e0.c[f][0], e1.c[f][0]);
    };
    const v2d A = poly(0), B = poly(1), C = poly(2);
    const v2d va = B, vb = 0.5 * (A - C), vc = 0.5 * (A + C);
    auto b = [](double x) { return v2d{x, x}; };
    g0 += b(a.y1) * va;
    g3 += b(a.y2) * va;
    g4 += b(a.mky3) * va;
    g9 += b(a.ky1) * vb;
    if constexpr (kSh) {
      g1 += b(a.y3) * vb + b(a.cy5) * vc;
      g2 -= b(a.y5) * vb + b(a.cy3) * vc;
      g6 += b(a.y4) * vb + b(a.cy6) * vc;
      g7 += b(a.ky5) * va;
      g8 -= b(a.y6) * vb + b(a.cy4) * vc;
    } else {
      g1 += b(a.y3) * vb;
      g6 += b(a.y4) * vb;
    }
  }
  const v2d g[9] = {g0, g1, g2, g3, g4, g6, g7, g8, g9};
  static constexpr int slot[9] = {0, 1, 2, 3, 4, 6, 7, 8, 9};
  for (int c = 0; c < 9; ++c) {
    acc0[slot[c]] = g[c][0];
    acc1[slot[c]] = g[c][1];
  }
  if (nv < n) {
    sum_chunk<kSh>(acc0, s, nv, n, r0, tab);
    sum_chunk<kSh>(acc1, s, nv, n, r1, tab);
  }
}

}  // namespace

void krvhprep_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                       double sampfac, double mu, const AccurateContext& ctx, HankelWork& work) {
  const SourceTerms& src = ctx.kernel.src;
  const double zs = ctx.zs, zrec = ctx.zrec, rs = ctx.smoothing;
  const double dz = std::fabs(zs - zrec);
  auto& ya = work.yasym;
  std::array<double, 7> y{};
  long long nkernel = 0;

  krvhstart(grn, nr, src, work);
  const bool psvflag = work.psvflag;
  const bool shflag = work.shflag;
  for (int j = 1; j <= nr; ++j) work.rsmooth[j] = rs;
  bool asymok = false;

  // Equal depths: the asymptote of the kernel (limits of the displacements, slopes of the
  // stresses), found where successive values agree to 1e-9. The remainder decays as
  // exp(-2 k d), d the distance to the nearest interface, so the search starts at k = 0.5/d,
  // where the kernel cannot have settled yet (a kernel flat near k = 0 would otherwise pass).
  if (zs == zrec) {
    const double d = nearest_interface(zs, ctx.kernel.lt);
    double k = d > 0.0 ? 0.5 / d : 0.00628318530717959 / (r[nr] + rs);
    for (int it = 0; it < 400; ++it) {
      if (asymptote_step(ya, k, mu, kAccAsym, kAccKernelEps, psvflag, shflag, ctx.kernel,
                         nkernel)) {
        asymok = true;
        work.kasym = k;
        break;
      }
      if (rs > 0.0 && k * rs > 6.0) break;  // the taper ends the integrand first
      k *= 1.25;
    }
    if (!asymok) ya.fill(0.0);
    ya[2] *= mu;
    ya[4] *= mu;
    ya[6] *= mu;
  }

  // Cut-off: the envelopes of the displacement integrand (k |y|) and of the strain integrand
  // (k (k |y_u| + |y_s|/mu)), tapered, both below kAccCut of their largest values at two
  // successive steps.
  double kmax = 0.0;
  {
    double k = twopi * eps / (dz + rs + r[nr]);
    double fumax = 0.0, fsmax = 0.0;
    int below = 0;
    const double yu = std::sqrt(ya[1] * ya[1] + ya[3] * ya[3] + ya[5] * ya[5]);
    const double ys = std::sqrt(ya[2] * ya[2] + ya[4] * ya[4] + ya[6] * ya[6]);
    for (int it = 0;; ++it) {
      if (it == 3000)
        throw Stop(
            " Error in krvhankel: the accurate integrand does not decay; give "
            "--smoothing a length above 0!");
      krvresp(y, k, psvflag, shflag, kAccKernelEps, ctx.kernel);
      ++nkernel;
      const double d1 = y[1] - ya[1], d3 = y[3] - ya[3], d5 = y[5] - ya[5];
      const double d2 = y[2] - ya[2] * k, d4 = y[4] - ya[4] * k, d6 = y[6] - ya[6] * k;
      const double t = taper(k, rs) * k;
      // What remains of the kernel below the precision of its asymptote is no part of the
      // integrand: it is rounding, and would otherwise keep the envelopes up forever.
      const double du = std::max(0.0, std::sqrt(d1 * d1 + d3 * d3 + d5 * d5) - kAccFloor * yu);
      const double ds = std::max(0.0, std::sqrt(d2 * d2 + d4 * d4 + d6 * d6) - kAccFloor * k * ys);
      const double fu = t * du;
      const double fs = t * (k * du + ds / mu);
      fumax = std::max(fumax, fu);
      fsmax = std::max(fsmax, fs);
      below = (fu <= kAccCut * fumax && fs <= kAccCut * fsmax) ? below + 1 : 0;
      if (below == 2) break;
      k *= 1.2;
    }
    kmax = k;
  }

  // Sampling: as in the plain mode, fine enough for the largest distance.
  const double dk0 = twopi / (dz + (r[nr] + rs) * sampfac);
  const double nkd = kmax / dk0 + 0.5;
  if (!(nkd < static_cast<double>(kAccMaxSamples)))
    throw Stop(" Error in krvhankel: the accurate integration would need more than " +
               std::to_string(kAccMaxSamples) +
               " wavenumber samples; give --smoothing a larger length!");
  const long long nktot = static_cast<long long>(nkd) + 500;

  work.psvflag = psvflag;
  work.shflag = shflag;
  work.asymok = asymok;
  work.kmax = kmax;
  work.dk = kmax / static_cast<double>(nktot);
  work.nktot = nktot;
  work.ir0 = r[1] > 0.0 ? 1 : 2;
  work.nkernel = nkernel;
}

void krvhankel_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                        double sampfac, double lambda, double mu, const AccurateContext& ctx,
                        HankelWork& work) {
  krvhprep_accurate(grn, r, nr, sampfac, mu, ctx, work);
  krvhsum_accurate(grn, r, nr, lambda, mu, ctx, work);
}

void krvhankel_accurate_resampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                                  double lambda, double mu, const AccurateContext& ctx,
                                  HankelWork& work) {
  krvhstart(grn, nr, ctx.kernel.src, work);
  if (work.asymok) {
    long long nkernel = 0;
    asymptote_step(work.yasym, work.kasym, mu, kAccAsym, kAccKernelEps, work.psvflag, work.shflag,
                   ctx.kernel, nkernel);
    work.yasym[2] *= mu;
    work.yasym[4] *= mu;
    work.yasym[6] *= mu;
  }
  krvhsum_accurate(grn, r, nr, lambda, mu, ctx, work);
}

void krvhsum_accurate(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                      double lambda, double mu, const AccurateContext& ctx, HankelWork& work) {
  const SourceTerms& src = ctx.kernel.src;
  const double csign = src.csign;
  const double dk = work.dk, rs = ctx.smoothing;
  const long long nktot = work.nktot;
  const auto& ya = work.yasym;
  const bool zero = work.ir0 == 2 && !work.asymok;
  work.shterms = work.shflag || src.mazi != 0;

  std::array<int, nrmax + 1> jlist;
  int njl = 0;
  for (int j = work.ir0; j <= nr; ++j) {
    if (r[j] > 0.0) jlist[njl++] = j;
  }
  if (work.asum.size() < static_cast<std::size_t>(nr + 1)) work.asum.resize(nrmax + 1);
  for (int j = 1; j <= nr; ++j) work.asum[static_cast<std::size_t>(j)].fill(0.0);
  if (work.asamp.size() < static_cast<std::size_t>(kAccChunk)) work.asamp.resize(kAccChunk);
  AccSample* s = work.asamp.data();

  std::array<double, 7> y{};
  for (long long i0 = 1; i0 <= nktot; i0 += kAccChunk) {
    const long long n = std::min(kAccChunk, nktot - i0 + 1);
    for (long long q = 0; q < n; ++q) {
      const long long i = i0 + q;
      const double k = static_cast<double>(i) * dk;
      krvresp(y, k, work.psvflag, work.shflag, kAccKernelEps, ctx.kernel);
      ++work.nkernel;
      const double w = k * dk * endweight(i) * taper(k, rs);
      if (work.asymok) {
        y[1] -= ya[1];
        y[3] -= ya[3];
        y[5] -= ya[5];
        y[2] -= ya[2] * k;
        y[4] -= ya[4] * k;
        y[6] -= ya[6] * k;
      } else if (zero) {
        for (int c = 1; c <= 6; ++c) {
          work.s0[c] += y[c] * w;
          work.s1[c] += y[c] * (k * w);
        }
      }
      AccSample& a = s[q];
      a.k = k;
      a.y1 = y[1] * w;
      a.y2 = y[2] * w;
      a.y3 = y[3] * w;
      a.y4 = y[4] * w;
      a.y5 = y[5] * w;
      a.y6 = y[6] * w;
      a.ky1 = k * a.y1;
      a.mky3 = -k * a.y3;
      a.ky5 = k * a.y5;
      a.cy3 = csign * a.y3;
      a.cy4 = csign * a.y4;
      a.cy5 = csign * a.y5;
      a.cy6 = csign * a.y6;
    }
    int jj = 0;
    for (; jj + 1 < njl; jj += 2) {
      const int j0 = jlist[jj], j1 = jlist[jj + 1];
      auto& a0 = work.asum[static_cast<std::size_t>(j0)];
      auto& a1 = work.asum[static_cast<std::size_t>(j1)];
      if (work.shterms) {
        sum_pair<true>(a0, a1, s, n, r[j0], r[j1], ctx.tab);
      } else {
        sum_pair<false>(a0, a1, s, n, r[j0], r[j1], ctx.tab);
      }
    }
    if (jj < njl) {
      auto& acc = work.asum[static_cast<std::size_t>(jlist[jj])];
      if (work.shterms) {
        sum_chunk<true>(acc, s, 0, n, r[jlist[jj]], ctx.tab);
      } else {
        sum_chunk<false>(acc, s, 0, n, r[jlist[jj]], ctx.tab);
      }
    }
  }
  for (int jj = 0; jj < njl; ++jj) {
    const int j = jlist[jj];
    const auto& acc = work.asum[static_cast<std::size_t>(j)];
    for (int c = 0; c < 10; ++c) {
      if (c != 5) grn.v[10 * (j - 1) + c] = acc[c];
    }
  }
  krvhcomplete(grn, r, nr, lambda, mu, src, work);
}

}  // namespace kirva
