// The Hankel transforms from wavenumber to distance: a tapered sum over a uniform wavenumber grid,
// with the non-decaying kernel asymptote of equal source and observation depths integrated
// analytically, and the strains completed from the transformed displacements and stresses.
#include "integration/hankel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "compat.h"
#include "stop.h"

namespace kirva {

namespace {

constexpr double twopi = compat::twopi_rounded15;

// Gaussian taper exp(-(k*s)^2) of a sample at wavenumber k for smoothing length s.
inline double taper(double k, double s) {
  const double t = k * s;
  return std::exp(-(t * t));
}

// The transforms of a subtracted asymptote in closed form, per azimuthal order 0, 1, 2: the
// weighted integrals over k of the Bessel functions that the sum would meet (the Lipschitz-Hankel
// integrals of k^m J_n(kr), Watson 1944, 13.2), as the numerators of 1/r^2 (b, for the
// displacements) and of 1/r^3 (c, for the stresses and duz/dr).
struct AsymptoteIntegrals {
  double b[3];
  double c[3];
};
constexpr AsymptoteIntegrals kAsymptoteIntegrals[3] = {
    {{0.0, -1.0, 0.0}, {-1.0, 0.0, 0.0}},
    {{1.0, -1.0, 1.0}, {0.0, -2.0, 1.0}},
    {{2.0, -1.0, 2.0}, {3.0, -4.0, 4.0}},
};

// The geometric search of krvhprep: from k in steps of the factor grow, the first wavenumber at
// which the tapered displacement integrand k sqrt(k |y - ya|^2) (uz, ur, ut parts, the asymptote
// ya subtracted) has fallen below a thousandth of the largest value met on the way.
double falloff(double k, double grow, double rs, const std::array<double, 7>& ya, bool psvflag,
               bool shflag, const KernelContext& kernel, long long& nkernel) {
  std::array<double, 7> y{};
  double fmax = 0.0;
  for (;;) {
    krvresp(y, k, psvflag, shflag, eps, kernel);
    ++nkernel;
    const double d1 = y[1] - ya[1];
    const double d3 = y[3] - ya[3];
    const double d5 = y[5] - ya[5];
    const double f = taper(k, rs) * k * std::sqrt(k * (d1 * d1 + d3 * d3 + d5 * d5));
    fmax = std::max(fmax, f);
    if (f > 0.001 * fmax) {
      k = grow * k;
    } else {
      return k;
    }
  }
}

}  // namespace

void krvresp(std::array<double, 7>& y, double k, bool psvflag, bool shflag, double eps,
             const KernelContext& ctx) {
  y.fill(0.0);
  if (psvflag) krvpsv(y, k, eps, ctx);
  if (shflag) krvsh(y, k, eps, ctx);
}

void krvhstart(GreenTable& grn, int nr, const SourceTerms& src, HankelWork& work) {
  const auto& sj = src.sjump;
  work.psvflag = std::fabs(sj[1]) + std::fabs(sj[2]) + std::fabs(sj[3]) + std::fabs(sj[4]) > 0.0;
  work.shflag = std::fabs(sj[5]) + std::fabs(sj[6]) > 0.0;
  for (int j = 1; j <= nr; ++j)
    for (int c = 1; c <= 10; ++c) grn(c, j) = 0.0;
  work.yasym.fill(0.0);
  work.s0.fill(0.0);
  work.s1.fill(0.0);
}

bool asymptote_step(std::array<double, 7>& ya, double k, double mu, double tol, double keps,
                    bool psvflag, bool shflag, const KernelContext& kernel, long long& nkernel) {
  std::array<double, 7> y{};
  krvresp(y, k, psvflag, shflag, keps, kernel);
  ++nkernel;
  const double kmu = k * mu;
  y[2] = y[2] / kmu;
  y[4] = y[4] / kmu;
  y[6] = y[6] / kmu;
  double diff = 0.0, norm = 0.0;
  for (int q = 1; q <= 6; ++q) {
    diff += (y[q] - ya[q]) * (y[q] - ya[q]);
    norm += y[q] * y[q];
  }
  for (int q = 1; q <= 6; ++q) ya[q] = y[q];
  return diff <= tol * norm;
}

void krvksample(KernelSample& s, double k, double dk, const std::array<double, 7>& y,
                double csign) {
  const double wk = std::sqrt(k) * dk;
  const double y1 = y[1] * wk, y2 = y[2] * wk, y3 = y[3] * wk;
  const double y4 = y[4] * wk, y5 = y[5] * wk, y6 = y[6] * wk;
  auto put = [](double(&x)[2], double v) { x[0] = x[1] = v; };
  put(s.k, k);
  put(s.y1, y1);
  put(s.y2, y2);
  put(s.y3, y3);
  put(s.y4, y4);
  put(s.y5, y5);
  put(s.y6, y6);
  put(s.ky1, k * y1);
  put(s.mky3, -k * y3);
  put(s.ky5, k * y5);
  put(s.cy3, csign * y3);
  put(s.cy4, csign * y4);
  put(s.cy5, csign * y5);
  put(s.cy6, csign * y6);
}

void krvhprep(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double sampfac,
              double mu, const HankelContext& ctx, HankelWork& work) {
  work.exact_near_axis = ctx.kernel.src.exact_near_axis && ctx.kernel.src.mazi == 0;
  const SourceTerms& src = ctx.kernel.src;
  const double zs = ctx.zs;
  const double zrec = ctx.zrec;
  const double rhalf = ctx.rhalf;
  const double dz = std::fabs(zs - zrec);
  auto& rsmooth = work.rsmooth;
  auto& ya = work.yasym;
  long long nkernel = 0;

  // 1. Preparation.
  krvhstart(grn, nr, src, work);
  const bool psvflag = work.psvflag;
  const bool shflag = work.shflag;
  for (int j = 1; j <= nr; ++j) rsmooth[j] = std::max({rhalf, 0.01 * dz, 0.01 * r[j]});
  bool asymok = false;

  // 2. At equal depths the kernel does not decay with k: find its asymptote (limits of the
  //    displacements, slopes of the stresses) so that it can be subtracted and transformed exactly.
  if (zs == zrec) {
    // Envelope pass: how far in k the smoothed displacement integrand still matters.
    const double ka = falloff(0.00628318530717959 / (r[nr] + rhalf + dz), 1.25, rhalf, ya, psvflag,
                              shflag, ctx.kernel, nkernel);

    // Convergence pass: the displacements and the stresses over k*mu must settle before ka.
    double k = 0.00628318530717959 / (dz + r[nr] + rhalf);
    for (;;) {
      if (asymptote_step(ya, k, mu, eps, eps, psvflag, shflag, ctx.kernel, nkernel)) {
        asymok = true;
        work.kasym = k;
        break;
      }
      if (k >= ka) {
        ya.fill(0.0);
        asymok = false;
        break;
      }
      k = 1.25 * k;
    }
    ya[2] *= mu;
    ya[4] *= mu;
    ya[6] *= mu;
  }

  // 3. Cut-off: the first k whose tapered integrand at the first distance has fallen below a
  //    thousandth of the largest seen.
  const double rs1 = rsmooth[1];
  const double kmax = falloff(twopi * eps / (dz + rhalf + r[nr]), 1.2, rs1, ya, psvflag, shflag,
                              ctx.kernel, nkernel);

  // 4. Sampling: fine enough for the largest distance, with 500 samples to spare.
  const double dk0 = twopi / (dz + (r[nr] + rs1) * sampfac);
  const double nkd = kmax / dk0 + 0.5;
  if (!(nkd + 500.0 <= nkmax)) {
    char why[256];
    if (std::isfinite(nkd)) {
      std::snprintf(why, sizeof why,
                    "sampfac = %.6g asks for %.3g wavenumber samples in a table, more than the "
                    "limit of %.0e!",
                    sampfac, std::floor(nkd) + 500.0, nkmax);
    } else {
      std::snprintf(why, sizeof why,
                    "sampfac = %.6g asks for more wavenumber samples in a table than can be "
                    "counted (limit %.0e)!",
                    sampfac, nkmax);
    }
    throw Stop(std::string(" Error in krvmain: ") + why);
  }
  const long long nk = static_cast<long long>(nkd);
  const long long nktot = nk + 500;
  const double dk = kmax / static_cast<double>(nktot);
  const int ir0 = r[1] > 0.0 ? 1 : 2;

  work.psvflag = psvflag;
  work.shflag = shflag;
  work.asymok = asymok;
  work.kmax = kmax;
  work.dk = dk;
  work.nktot = nktot;
  work.ir0 = ir0;
  work.nkernel = nkernel;
}

void krvhkernel(std::array<double, 7>& y, double k, const HankelContext& ctx, HankelWork& work) {
  krvresp(y, k, work.psvflag, work.shflag, eps, ctx.kernel);
  ++work.nkernel;
  krvhkernel_adjust(y, k, work);
}

void krvhkernel_adjust(std::array<double, 7>& y, double k, HankelWork& work) {
  const auto& ya = work.yasym;
  if (work.asymok) {
    y[1] -= ya[1];
    y[3] -= ya[3];
    y[5] -= ya[5];
    y[2] -= ya[2] * k;
    y[4] -= ya[4] * k;
    y[6] -= ya[6] * k;
  } else if (work.ir0 == 2) {
    const double w0 = taper(k, work.rsmooth[1]) * work.dk * k;
    const double w1 = k * w0;
    for (int q = 1; q <= 6; ++q) {
      work.s0[q] += y[q] * w0;
      work.s1[q] += y[q] * w1;
    }
  }
}

void krvhankel(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double sampfac,
               double lambda, double mu, const HankelContext& ctx, HankelWork& work) {
  krvhprep(grn, r, nr, sampfac, mu, ctx, work);
  krvhsum_sampled(grn, r, nr, lambda, mu, ctx, work);
}

void krvhankel_combined(std::span<GreenTable> grn, std::span<HankelWork> work,
                        const HankelWork& base, std::span<const KernelContext> nodes,
                        std::span<const double> weight, const std::array<double, nrmax + 1>& r,
                        int nr, double lambda, double mu, const HankelContext& ctx,
                        std::vector<std::array<double, 7>>& ybuf) {
  const std::size_t nt = grn.size(), nm = nodes.size();
  const SourceTerms& src = ctx.kernel.src;
  if (ybuf.size() < nm * static_cast<std::size_t>(kChunk)) ybuf.resize(nm * kChunk);
  // Every table starts from the elastic sampling; the node asymptotes, taken at the elastic
  // one's wavenumber, combine like the kernels.
  std::array<double, 7> ya{};
  for (std::size_t i = 0; i < nt; ++i) {
    HankelWork& w = work[i];
    krvhstart(grn[i], nr, src, w);
    w.rsmooth = base.rsmooth;
    w.asymok = base.asymok;
    w.kasym = base.kasym;
    w.kmax = base.kmax;
    w.dk = base.dk;
    w.nktot = base.nktot;
    w.ir0 = base.ir0;
    w.exact_near_axis = base.exact_near_axis;
    w.shterms = w.shflag || src.mazi != 0;
  }
  if (base.asymok) {
    for (std::size_t m = 0; m < nm; ++m) {
      long long nkernel = 0;
      asymptote_step(ya, base.kasym, mu, eps, eps, work[0].psvflag, work[0].shflag, nodes[m],
                     nkernel);
      for (std::size_t i = 0; i < nt; ++i)
        for (int q = 1; q <= 6; ++q)
          work[i].yasym[static_cast<std::size_t>(q)] +=
              weight[i * nm + m] * ((q % 2 == 0) ? ya[static_cast<std::size_t>(q)] * mu
                                                 : ya[static_cast<std::size_t>(q)]);
    }
  }
  for (std::size_t i = 0; i < nt; ++i) krvhsum_start(r, nr, base.ir0, ctx.tab, work[i]);
  const double dk = base.dk, csign = src.csign;
  std::array<double, 7> y{};
  for (long long i1 = 1; i1 <= base.nktot; i1 += kChunk) {
    const long long i2 = std::min(i1 + kChunk - 1, base.nktot);
    const std::size_t n = static_cast<std::size_t>(i2 - i1 + 1);
    for (std::size_t m = 0; m < nm; ++m)
      for (std::size_t q = 0; q < n; ++q)
        krvresp(ybuf[m * kChunk + q], static_cast<double>(i1 + static_cast<long long>(q)) * dk,
                work[0].psvflag, work[0].shflag, eps, nodes[m]);
    for (std::size_t i = 0; i < nt; ++i) {
      for (std::size_t q = 0; q < n; ++q) {
        const double k = static_cast<double>(i1 + static_cast<long long>(q)) * dk;
        y.fill(0.0);
        for (std::size_t m = 0; m < nm; ++m) {
          const double c = weight[i * nm + m];
          const auto& ym = ybuf[m * kChunk + q];
          for (int p = 1; p <= 6; ++p)
            y[static_cast<std::size_t>(p)] += c * ym[static_cast<std::size_t>(p)];
        }
        krvhkernel_adjust(y, k, work[i]);
        krvksample(work[i].ksamp[q], k, dk, y, csign);
      }
      krvhsum_chunk(work[i].ksamp.data(), i1, i2, ctx.tab, work[i]);
    }
  }
  for (std::size_t i = 0; i < nt; ++i) {
    krvhsum_end(grn[i], work[i]);
    krvhfinish(grn[i], r, nr, lambda, mu, ctx, work[i]);
  }
}

void krvhankel_resampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr,
                         double lambda, double mu, const HankelContext& ctx, HankelWork& work) {
  krvhstart(grn, nr, ctx.kernel.src, work);
  if (work.asymok) {
    long long nkernel = 0;
    asymptote_step(work.yasym, work.kasym, mu, eps, eps, work.psvflag, work.shflag, ctx.kernel,
                   nkernel);
    work.yasym[2] *= mu;
    work.yasym[4] *= mu;
    work.yasym[6] *= mu;
  }
  krvhsum_sampled(grn, r, nr, lambda, mu, ctx, work);
}

void krvhsum_sampled(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                     double mu, const HankelContext& ctx, HankelWork& work) {
  // 5. The kernel at every sample, weighted by sqrt(k)*dk once here, a chunk of samples at a
  //    time; the distance sum then reads the chunk's samples in order for every distance.
  const double dk = work.dk;
  const long long nktot = work.nktot;
  const double csign = ctx.kernel.src.csign;
  work.shterms = work.shflag || ctx.kernel.src.mazi != 0;
  krvhsum_start(r, nr, work.ir0, ctx.tab, work);
  std::array<double, 7> y{};
  for (long long i1 = 1; i1 <= nktot; i1 += kChunk) {
    const long long i2 = std::min(i1 + kChunk - 1, nktot);
    for (long long i = i1; i <= i2; ++i) {
      const double k = static_cast<double>(i) * dk;
      krvhkernel(y, k, ctx, work);
      krvksample(work.ksamp[static_cast<std::size_t>(i - i1)], k, dk, y, csign);
    }
    krvhsum_chunk(work.ksamp.data(), i1, i2, ctx.tab, work);
  }
  krvhsum_end(grn, work);
  krvhfinish(grn, r, nr, lambda, mu, ctx, work);
}

void krvhfinish(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                double mu, const HankelContext& ctx, const HankelWork& work) {
  krvhcomplete(grn, r, nr, lambda, mu, ctx.kernel.src, work);
}

void krvhcomplete(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double lambda,
                  double mu, const SourceTerms& src, const HankelWork& work) {
  const int mazi = src.mazi;
  const double csign = src.csign;
  const bool asymok = work.asymok;
  const int ir0 = work.ir0;
  const auto& ya = work.yasym;
  const auto& s0 = work.s0;
  const auto& s1 = work.s1;

  // Distances that took part in the sum. A later distance that is not positive lies outside the
  // domain of the transform (and of the tables); it is left at 0.
  std::array<int, nrmax + 1> jlist;
  int njl = 0;
  for (int j = ir0; j <= nr; ++j) {
    if (r[j] > 0.0) jlist[njl++] = j;
  }

  // 6. Zero distance: only the azimuthal order's own terms survive on the axis. With the
  //    asymptote subtracted the analytic terms are singular there and the values stay 0.
  if (ir0 == 2 && !asymok) {
    if (mazi == 0) {
      grn(1, 1) = s0[1];
      grn(4, 1) = s0[2];
      grn(5, 1) = -0.5 * s1[3];
      grn(6, 1) = -0.5 * s1[3];
    } else if (mazi == 1) {
      grn(2, 1) = 0.5 * (csign * s0[5] + s0[3]);
      grn(3, 1) = -0.5 * (csign * s0[3] + s0[5]);
      grn(7, 1) = 0.5 * (csign * s0[6] + s0[4]);
      grn(9, 1) = -0.5 * (csign * s0[4] + s0[6]);
      grn(10, 1) = 0.5 * s1[1];
    } else if (mazi == 2) {
      grn(5, 1) = 0.25 * (csign * s1[5] + s1[3]);
      grn(6, 1) = -grn(5, 1);
      grn(8, 1) = -0.25 * (csign * s1[3] + s1[5]);
    }
  }

  // 7. Analytic transforms of the subtracted asymptote, then the horizontal strains.
  const double mc = static_cast<double>(mazi) * csign;
  for (int jj = 0; jj < njl; ++jj) {
    const int j = jlist[jj];
    const double rj = r[j];
    double* g = &grn.v[10 * (j - 1)];
    if (asymok) {
      const double r2 = rj * rj;
      const double r3 = r2 * rj;
      const AsymptoteIntegrals& a = kAsymptoteIntegrals[mazi];
      const double b0 = a.b[0] / r2, b1 = a.b[1] / r2, b2 = a.b[2] / r2;
      const double c0 = a.c[0] / r3, c1 = a.c[1] / r3, c2 = a.c[2] / r3;
      g[0] += ya[1] * b0;
      g[1] += ya[3] * b1 + csign * ya[5] * b2;
      g[2] -= ya[5] * b1 + csign * ya[3] * b2;
      g[3] += ya[2] * c0;
      g[4] -= ya[3] * c0;
      g[6] += ya[4] * c1 + csign * ya[6] * c2;
      g[7] += ya[5] * c0;
      g[8] -= ya[6] * c1 + csign * ya[4] * c2;
      g[9] += ya[1] * c1;
    }
    const double ur = g[1];
    const double ut = g[2];
    g[5] = (ur + mc * ut) / rj;
    g[4] = g[4] - g[5];
    g[7] = 0.5 * g[7] - (mc * ur + ut) / rj;
  }

  // 8. Strains from the transformed stresses (Hooke's law at the observation depth).
  const double lam2mu = lambda + 2.0 * mu;
  const double twomu = 2.0 * mu;
  for (int j = 1; j <= nr; ++j) {
    double* g = &grn.v[10 * (j - 1)];
    g[3] = (g[3] - (g[4] + g[5]) * lambda) / lam2mu;
    g[6] = g[6] / twomu;
    g[8] = g[8] / twomu;
  }
}

}  // namespace kirva
