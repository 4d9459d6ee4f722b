// The distance sum of the Hankel transforms, the innermost loop of a run: for every distance the
// tapered kernel samples times the interpolated Bessel values, summed over the wavenumbers in
// increasing order.
//
// Two distances are summed side by side in the two lanes of a vector, each lane with its own
// accumulators, so the order of every sum is that of a plain loop over k. What depends only on the
// wavenumber (the kernel times sqrt(k)*dk and its products with k and csign) is prepared once per
// sample by krvhankel; what depends only on the distance (1/sqrt(r)) is applied once at the end.
//
// The Gaussian taper exp(-a*i^2), a = (dk*rsmooth)^2, at k = i*dk comes from a recurrence instead
// of one exponential per sample: t(i+1) = t(i)*q(i), q(i+1) = q(i)*exp(-2a), the factor applied as
// q - q*(1 - exp(-2a)) with the small difference from expm1, so that it carries its full
// precision. The recurrence restarts from exact exponentials every kBlock samples, which bounds
// the accumulated rounding to a few hundred ulps of each weight, no more than the rounding of the
// exponent (k*rsmooth)^2 itself brings into the exponential at the far end of the taper. Once the
// taper of a distance falls below kTiny the rest of its samples are left out: their weights would
// be subnormal or zero, far below any value the table can show.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "integration/hankel.h"

namespace kirva {

namespace {

using v2d = double __attribute__((vector_size(16)));

constexpr long long kBlock = 64;
constexpr double kTiny = 1.0e-40;
// Arguments read directly from the tables: the index stays below the first reused one.
constexpr double kDirect = 262144.0;

inline double taper(double k, double s) {
  const double t = k * s;
  return std::exp(-(t * t));
}

// The ten accumulators of one distance (slot 6 unused).
struct Acc {
  double g[10] = {};
};

// The samples from i on for one distance, one at a time with the general lookup (arguments beyond
// the directly tabulated range reuse the last period) and an exact taper per sample.
void tail(Acc& acc, const KernelSample* ks, long long i, long long nktot, double r, double rs,
          bool shterms, const BesselTables& tab) {
  double* g = acc.g;
  for (; i <= nktot; ++i) {
    const KernelSample& s = ks[i];
    const double t = taper(s.k[0], rs);
    if (t < kTiny) break;
    double vj, vdj, vnj;
    tablook(s.k[0] * r, vj, vdj, vnj, tab);
    const double a = vj * t;
    const double b = vdj * t;
    const double c = vnj * t;
    g[0] += s.y1[0] * a;
    g[3] += s.y2[0] * a;
    g[4] += s.mky3[0] * a;
    g[9] += s.ky1[0] * b;
    if (shterms) {
      g[1] += s.y3[0] * b + s.cy5[0] * c;
      g[2] -= s.y5[0] * b + s.cy3[0] * c;
      g[6] += s.y4[0] * b + s.cy6[0] * c;
      g[7] += s.ky5[0] * a;
      g[8] -= s.y6[0] * b + s.cy4[0] * c;
    } else {
      g[1] += s.y3[0] * b;
      g[6] += s.y4[0] * b;
    }
  }
}

// The last sample whose argument k*r lies in the directly tabulated range (k grows with i).
long long last_direct(const KernelSample* ks, long long nktot, double cr) {
  const KernelSample* end = std::partition_point(
      ks + 1, ks + nktot + 1, [cr](const KernelSample& s) { return s.k[0] * cr < kDirect; });
  return static_cast<long long>(end - ks) - 1;
}

// Distances r[0..W) side by side in the lanes of a vector, over all samples. Two lanes: the
// baseline instruction set of x86-64 (SSE2); a four-lane AVX variant measured no faster here,
// the loop being bound by the gathers of the table values rather than by the arithmetic.
constexpr int W = 2;
template <bool kSh>
void lanes(Acc* acc, const KernelSample* ks, long long nktot, double dk, const double* r,
           const double* rs, const BesselTables& tab) {
  using V = v2d;
  const BesselCell* cell = tab.cell.data();
  const double xstep = tab.xstep;
  V cr, e;
  double a[W];
  bool live[W];
  // Each lane's own last direct sample, so that a lane's sum does not depend on its neighbours.
  long long nl[W];
  long long nend = 0;
  for (int l = 0; l < W; ++l) {
    cr[l] = r[l] / xstep;
    a[l] = (dk * rs[l]) * (dk * rs[l]);
    e[l] = -std::expm1(-2.0 * a[l]);
    live[l] = true;
    nl[l] = last_direct(ks, nktot, cr[l]);
    nend = std::max(nend, nl[l]);
  }
  // The coefficient of a sample, held twice in the sample record, as one vector.
  auto bc = [](V& v, const double(&x)[2]) { __builtin_memcpy(&v, x, sizeof v); };

  V g0 = {}, g1 = {}, g2 = {}, g3 = {}, g4 = {}, g6 = {}, g7 = {}, g8 = {}, g9 = {};
  long long i = 1;
  while (i <= nend) {
    // Exact start of the block.
    const double k = ks[i].k[0];
    const double m = static_cast<double>(2 * i + 1);
    V t, q;
    bool any = false;
    for (int l = 0; l < W; ++l) {
      if (i > nl[l]) {
        t[l] = q[l] = 0.0;
        continue;
      }
      const double tl = live[l] ? taper(k, rs[l]) : 0.0;
      live[l] = tl >= kTiny;
      any = any || live[l];
      t[l] = live[l] ? tl : 0.0;
      q[l] = live[l] ? std::exp(-a[l] * m) : 0.0;
    }
    if (!any) break;
    // One sample; kChecked: some lane may be past its last directly tabulated sample.
    auto step = [&]<bool kChecked>(long long i) {
      const KernelSample& s = ks[i];
      V kv, y1, y2, mky3, ky1;
      bc(kv, s.k);
      bc(y1, s.y1);
      bc(y2, s.y2);
      bc(mky3, s.mky3);
      bc(ky1, s.ky1);
      const V u = kv * cr;
      const BesselCell* c[W];
      V fl;
      for (int l = 0; l < W; ++l) {
        std::int32_t ix = 0;
        if (!kChecked || i <= nl[l]) {
          ix = static_cast<std::int32_t>(u[l]);
        } else {  // beyond its direct range the lane adds nothing here
          t[l] = q[l] = 0.0;
        }
        fl[l] = static_cast<double>(ix);
        c[l] = cell + ix;
      }
      const V el = u - fl;
      const V emt = (1.0 - el) * t;
      const V elt = el * t;
      V j0, j1, dj0, dj1;
      for (int l = 0; l < W; ++l) {
        j0[l] = c[l]->j;
        j1[l] = c[l][1].j;
        dj0[l] = c[l]->dj;
        dj1[l] = c[l][1].dj;
      }
      const V va = j0 * emt + j1 * elt;
      const V vb = dj0 * emt + dj1 * elt;
      g0 += y1 * va;
      g3 += y2 * va;
      g4 += mky3 * va;
      g9 += ky1 * vb;
      if constexpr (kSh) {
        V nj0, nj1;
        for (int l = 0; l < W; ++l) {
          nj0[l] = c[l]->nj;
          nj1[l] = c[l][1].nj;
        }
        const V vc = nj0 * emt + nj1 * elt;
        V y3, y4, y5, y6, ky5, cy3, cy4, cy5, cy6;
        bc(y3, s.y3);
        bc(y4, s.y4);
        bc(y5, s.y5);
        bc(y6, s.y6);
        bc(ky5, s.ky5);
        bc(cy3, s.cy3);
        bc(cy4, s.cy4);
        bc(cy5, s.cy5);
        bc(cy6, s.cy6);
        g1 += y3 * vb + cy5 * vc;
        g2 -= y5 * vb + cy3 * vc;
        g6 += y4 * vb + cy6 * vc;
        g7 += ky5 * va;
        g8 -= y6 * vb + cy4 * vc;
      } else {
        V y3, y4;
        bc(y3, s.y3);
        bc(y4, s.y4);
        g1 += y3 * vb;
        g6 += y4 * vb;
      }
      t = t * q;
      q = q - q * e;
    };
    const long long iblk = std::min(i + kBlock - 1, nend);
    // Up to the first lane's last direct sample no lane needs the check.
    const long long ifree = std::min(iblk, std::min(nl[0], nl[1]));
    for (; i <= ifree; ++i) step.template operator()<false>(i);
    for (; i <= iblk; ++i) step.template operator()<true>(i);
  }
  for (int l = 0; l < W; ++l) {
    Acc& o = acc[l];
    o.g[0] = g0[l];
    o.g[1] = g1[l];
    o.g[2] = g2[l];
    o.g[3] = g3[l];
    o.g[4] = g4[l];
    o.g[6] = g6[l];
    o.g[7] = g7[l];
    o.g[8] = g8[l];
    o.g[9] = g9[l];
    // Arguments beyond the direct range: the rest one distance at a time.
    if (live[l] && nl[l] < nktot && i > nl[l]) tail(o, ks, nl[l] + 1, nktot, r[l], rs[l], kSh, tab);
  }
}

void store(GreenTable& grn, int j, const Acc& acc, double r) {
  const double sr = std::sqrt(r);
  double* g = &grn.v[10 * (j - 1)];
  for (int c = 0; c < 10; ++c) {
    if (c != 5) g[c] = acc.g[c] / sr;
  }
}

}  // namespace

void krvhsum(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, int ir0,
             const BesselTables& tab, const HankelWork& work) {
  std::array<int, nrmax + 1> jlist;
  int njl = 0;
  for (int j = ir0; j <= nr; ++j) {
    if (r[j] > 0.0) jlist[njl++] = j;
  }
  const KernelSample* ks = work.ksamp.data();
  const long long nktot = work.nktot;
  const double dk = work.dk;
  for (int p = 0; p < njl; p += W) {
    // A short last group repeats its first distance in the unused lanes.
    int js[W];
    double rr[W], rs[W];
    for (int l = 0; l < W; ++l) {
      js[l] = p + l < njl ? jlist[p + l] : jlist[p];
      rr[l] = r[js[l]];
      rs[l] = work.rsmooth[js[l]];
    }
    Acc acc[W];
    work.shterms ? lanes<true>(acc, ks, nktot, dk, rr, rs, tab)
                 : lanes<false>(acc, ks, nktot, dk, rr, rs, tab);
    for (int l = 0; l < W && p + l < njl; ++l) store(grn, js[l], acc[l], rr[l]);
  }
}

}  // namespace kirva
