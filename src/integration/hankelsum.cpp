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

// The samples ti..i2 of one distance beyond its directly tabulated range (the tail), one at a
// time with the general lookup (arguments beyond that range reuse the last period) and an exact
// taper per sample; ks[0] is sample i1. Returns false once the taper has fallen below the cut.
bool tail(double* g, long long& ti, const KernelSample* ks, long long i1, long long i2, double r,
          double rs, bool shterms, const BesselTables& tab) {
  for (; ti <= i2; ++ti) {
    const KernelSample& s = ks[ti - i1];
    const double t = taper(s.k[0], rs);
    if (t < kTiny) return false;
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
  return true;
}

// The last sample whose argument k_i*r = (i*dk)*r lies in the directly tabulated range (k grows
// with i); 0 when even the first lies beyond it.
long long last_direct(long long nktot, double dk, double cr) {
  long long lo = 0, hi = nktot;  // the answer lies in [lo, hi]
  while (lo < hi) {
    const long long mid = lo + (hi - lo + 1) / 2;
    if (static_cast<double>(mid) * dk * cr < kDirect) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

// Two distances side by side in the lanes of a vector. Two lanes: the baseline instruction set
// of x86-64 (SSE2); a four-lane AVX variant measured no faster here, the loop being bound by the
// gathers of the table values rather than by the arithmetic.
constexpr int W = 2;
using V = v2d;

inline V load(const double (&x)[2]) {
  V v;
  __builtin_memcpy(&v, x, sizeof v);
  return v;
}
inline void save(double (&x)[2], V v) {
  __builtin_memcpy(x, &v, sizeof v);
}

void start(DistancePair& p, long long nktot, double dk, double xstep) {
  p.nend = 0;
  for (int l = 0; l < W; ++l) {
    p.cr[l] = p.r[l] / xstep;
    p.a[l] = (dk * p.rs[l]) * (dk * p.rs[l]);
    p.e[l] = -std::expm1(-2.0 * p.a[l]);
    p.live[l] = true;
    // Each lane's own last direct sample, so that a lane's sum does not depend on its neighbour.
    p.nl[l] = last_direct(nktot, dk, p.cr[l]);
    p.nend = std::max(p.nend, p.nl[l]);
    p.tstate[l] = 0;
  }
  for (auto& g : p.g) g[0] = g[1] = 0.0;
  p.i = 1;
  p.done = false;
}

// The block of samples from p.i on (kBlock of them, or fewer at the end): the taper restarts
// exactly at the block's first sample and then follows the recurrence. ks[0] is sample i1; the
// block lies within the chunk, whose length is a multiple of kBlock. kExact: order 0 with
// sqrt(x) J_0 exact below kExactCells.
template <bool kSh, bool kExact = false>
void block(DistancePair& p, const KernelSample* ks, long long i1, const BesselTables& tab) {
  long long i = p.i;
  if (i > p.nend) {
    p.done = true;
    return;
  }
  const BesselCell* cell = tab.cell.data();
  const V cr = load(p.cr), e = load(p.e);
  const double k = ks[i - i1].k[0];
  const double m = static_cast<double>(2 * i + 1);
  V t, q;
  bool any = false;
  for (int l = 0; l < W; ++l) {
    if (i > p.nl[l]) {
      t[l] = q[l] = 0.0;
      continue;
    }
    const double tl = p.live[l] ? taper(k, p.rs[l]) : 0.0;
    p.live[l] = tl >= kTiny;
    any = any || p.live[l];
    t[l] = p.live[l] ? tl : 0.0;
    q[l] = p.live[l] ? std::exp(-p.a[l] * m) : 0.0;
  }
  if (!any) {
    p.done = true;
    return;
  }
  V g0 = load(p.g[0]), g1 = load(p.g[1]), g2 = load(p.g[2]), g3 = load(p.g[3]), g4 = load(p.g[4]),
    g6 = load(p.g[5]), g7 = load(p.g[6]), g8 = load(p.g[7]), g9 = load(p.g[8]);
  auto bcv = [](V& v, const double(&x)[2]) { v = load(x); };
  // One sample; kChecked: some lane may be past its last directly tabulated sample.
  auto step = [&]<bool kChecked>(long long i) {
    const KernelSample& s = ks[i - i1];
    V kv, y1, y2, mky3, ky1;
    bcv(kv, s.k);
    bcv(y1, s.y1);
    bcv(y2, s.y2);
    bcv(mky3, s.mky3);
    bcv(ky1, s.ky1);
    const V u = kv * cr;
    const BesselCell* c[W];
    V fl;
    for (int l = 0; l < W; ++l) {
      std::int32_t ix = 0;
      if (!kChecked || i <= p.nl[l]) {
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
    V va = j0 * emt + j1 * elt;
    V vb = dj0 * emt + dj1 * elt;
    if constexpr (kExact) {
      for (int l = 0; l < W; ++l) {
        if (fl[l] < kExactCells && t[l] != 0.0) {
          double sj, sdj;
          bessel0_near_zero(u[l] * tab.xstep, sj, sdj);
          va[l] = sj * t[l];
          vb[l] = sdj * t[l];
        }
      }
    }
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
      bcv(y3, s.y3);
      bcv(y4, s.y4);
      bcv(y5, s.y5);
      bcv(y6, s.y6);
      bcv(ky5, s.ky5);
      bcv(cy3, s.cy3);
      bcv(cy4, s.cy4);
      bcv(cy5, s.cy5);
      bcv(cy6, s.cy6);
      g1 += y3 * vb + cy5 * vc;
      g2 -= y5 * vb + cy3 * vc;
      g6 += y4 * vb + cy6 * vc;
      g7 += ky5 * va;
      g8 -= y6 * vb + cy4 * vc;
    } else {
      V y3, y4;
      bcv(y3, s.y3);
      bcv(y4, s.y4);
      g1 += y3 * vb;
      g6 += y4 * vb;
    }
    t = t * q;
    q = q - q * e;
  };
  const long long iblk = std::min(i + kBlock - 1, p.nend);
  // Up to the first lane's last direct sample no lane needs the check.
  const long long ifree = std::min(iblk, std::min(p.nl[0], p.nl[1]));
  for (; i <= ifree; ++i) step.template operator()<false>(i);
  for (; i <= iblk; ++i) step.template operator()<true>(i);
  save(p.g[0], g0);
  save(p.g[1], g1);
  save(p.g[2], g2);
  save(p.g[3], g3);
  save(p.g[4], g4);
  save(p.g[5], g6);
  save(p.g[6], g7);
  save(p.g[7], g8);
  save(p.g[8], g9);
  p.i = i;
}

// After the blocks of a chunk: a distance whose block sums have passed its last directly
// tabulated sample goes on alone from the next one, while its taper lasts. Its lane of the
// vector sums gains nothing but zeros from later blocks, so the tail starts from its final value.
// The unused lane of a short last pair is left out.
template <bool kSh>
void tails(DistancePair& p, const KernelSample* ks, long long i1, long long i2, long long nktot,
           const BesselTables& tab) {
  static constexpr int slot[9] = {0, 1, 2, 3, 4, 6, 7, 8, 9};
  for (int l = 0; l < W; ++l) {
    if (p.tstate[l] == 0) {
      if (l == 1 && p.js[1] == p.js[0]) {
        p.tstate[l] = 3;
      } else if (p.i > p.nl[l]) {
        p.tstate[l] = p.live[l] && p.nl[l] < nktot ? 1 : 3;
      } else if (p.done) {
        p.tstate[l] = 3;
      }
      if (p.tstate[l] == 1) {
        for (double& g : p.tg[l]) g = 0.0;
        for (int c = 0; c < 9; ++c) p.tg[l][slot[c]] = p.g[c][l];
        p.ti[l] = p.nl[l] + 1;
      }
    }
    if (p.tstate[l] == 1 && !tail(p.tg[l], p.ti[l], ks, i1, i2, p.r[l], p.rs[l], kSh, tab))
      p.tstate[l] = 2;
  }
}

void store(GreenTable& grn, int j, const double* g, double r) {
  const double sr = std::sqrt(r);
  double* out = &grn.v[10 * (j - 1)];
  for (int c = 0; c < 10; ++c) {
    if (c != 5) out[c] = g[c] / sr;
  }
}

}  // namespace

void krvhsum_start(const std::array<double, nrmax + 1>& r, int nr, int ir0, const BesselTables& tab,
                   HankelWork& work) {
  std::array<int, nrmax + 1> jlist;
  int njl = 0;
  for (int j = ir0; j <= nr; ++j) {
    if (r[j] > 0.0) jlist[njl++] = j;
  }
  int np = 0;
  for (int p = 0; p < njl; p += W, ++np) {
    DistancePair& d = work.pairs[static_cast<std::size_t>(np)];
    // A short last pair repeats its first distance in the unused lane.
    for (int l = 0; l < W; ++l) {
      d.js[l] = p + l < njl ? jlist[p + l] : jlist[p];
      d.r[l] = r[d.js[l]];
      d.rs[l] = work.rsmooth[d.js[l]];
    }
    start(d, work.nktot, work.dk, tab.xstep);
  }
  work.npairs = np;
}

void krvhsum_chunk(const KernelSample* ks, long long i1, long long i2, const BesselTables& tab,
                   HankelWork& work) {
  const int np = work.npairs;
  // Block by block over the samples, every pair of distances in turn: the samples of a block stay
  // in the nearest cache while all distances read them. Each distance still sums its samples in
  // increasing order.
  for (long long b = i1; b <= i2; b += kBlock) {
    for (int n = 0; n < np; ++n) {
      DistancePair& d = work.pairs[static_cast<std::size_t>(n)];
      if (d.done) continue;
      if (work.shterms) {
        block<true>(d, ks, i1, tab);
      } else if (work.exact_near_axis) {
        block<false, true>(d, ks, i1, tab);
      } else {
        block<false>(d, ks, i1, tab);
      }
    }
  }
  for (int n = 0; n < np; ++n) {
    DistancePair& d = work.pairs[static_cast<std::size_t>(n)];
    work.shterms ? tails<true>(d, ks, i1, i2, work.nktot, tab)
                 : tails<false>(d, ks, i1, i2, work.nktot, tab);
  }
}

void krvhsum_end(GreenTable& grn, const HankelWork& work) {
  static constexpr int slot[9] = {0, 1, 2, 3, 4, 6, 7, 8, 9};
  for (int n = 0; n < work.npairs; ++n) {
    const DistancePair& d = work.pairs[static_cast<std::size_t>(n)];
    for (int l = 0; l < W; ++l) {
      if (l == 1 && d.js[1] == d.js[0]) continue;
      if (d.tstate[l] == 1 || d.tstate[l] == 2) {
        store(grn, d.js[l], d.tg[l], d.r[l]);
      } else {
        double g[10] = {};
        for (int c = 0; c < 9; ++c) g[slot[c]] = d.g[c][l];
        store(grn, d.js[l], g, d.r[l]);
      }
    }
  }
}

}  // namespace kirva
