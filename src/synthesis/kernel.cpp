#include "synthesis/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <type_traits>

#include "library/interp.h"
#include "synthesis/layout.h"

namespace kirva::syn {

void KernelSources::push(double n, double e, const Tensor6* m, int col) {
  north.push_back(n);
  east.push_back(e);
  for (int s = 0; s < nslip; ++s) {
    pxy[s].push_back(m[s].xy);
    d[s].push_back(0.5 * (m[s].xx - m[s].yy));
    pxz[s].push_back(m[s].xz);
    pyz[s].push_back(m[s].yz);
    a3[s].push_back((2.0 / 3.0) * (m[s].zz - 0.5 * (m[s].xx + m[s].yy)));
    // A deviatoric tensor's trace is rounding: left out, a shear source's sum does not depend on
    // whether opening sources share the run.
    a4[s].push_back(has_isotropic_part(m[s]) ? (m[s].xx + m[s].yy + m[s].zz) / 3.0 : 0.0);
  }
  if (col >= 0) column.push_back(col);
}

namespace {

// The bodies are inlined into one entry point per instruction set, so that everything they
// call inline is compiled for that set and nothing wider is ever called from the baseline.
#define KIRVA_INLINE [[gnu::always_inline]] inline

// Sources are taken in batches: first the distance, azimuth, stencil and azimuthal factors of
// every source of the batch (independent of each other, so the long chain of square root,
// division and index runs side by side for all of them), then the interpolation and the sum.
constexpr int kBatch = 16;

template <int NS>
struct Batch {
  alignas(32) double c[kBatch], s[kBatch], w[4][kBatch];
  alignas(32) double ass[NS][kBatch], bss[NS][kBatch], ads[NS][kBatch], bds[NS][kBatch];
  int i0[kBatch];
};

template <bool Uniform, int NS>
KIRVA_INLINE void prepare(const KernelSources& s, int k0, int n, const DistanceGrid& g, double rn,
                          double re, Batch<NS>& b) {
  const double* N = s.north.data() + k0;
  const double* E = s.east.data() + k0;
  alignas(32) double x[kBatch];
  for (int k = 0; k < n; ++k) {
    const double dn = rn - N[k], de = re - E[k];
    const double r = std::sqrt(dn * dn + de * de);
    // Divided and multiplied whatever r, then chosen: branch-free, so the loop runs in vector
    // lanes (a division that only some lanes may do would have to stay scalar).
    const double q = 1 / r, cq = dn * q;
    const double inv = r > 0 ? q : 0.0;
    b.c[k] = r > 0 ? cq : 1.0;  // on the axis any azimuth will do
    b.s[k] = de * inv;
    x[k] = Uniform ? (r - g.r0) * g.inv_h : r;
  }
  if constexpr (Uniform) {
    const double lo = g.lo + 1, hi = g.hi + 1;
    for (int k = 0; k < n; ++k) {
      // Index of the stencil's first point: floor(x) - 1 within [lo, hi] - 1.
      // std::min(std::max(x, lo), hi) by value (the references it returns defeat the vectoriser).
      const double xl = x[k] < lo ? lo : x[k];
      const double xc = hi < xl ? hi : xl;
      const double i = std::trunc(xc) - 1;  // a whole number, exact as a double
      b.i0[k] = static_cast<int>(i);
      const double t = x[k] - i;
      const double t1 = t - 1, t2 = t - 2, t3 = t - 3;
      b.w[0][k] = -t1 * t2 * t3 * (1.0 / 6.0);
      b.w[1][k] = t * t2 * t3 * 0.5;
      b.w[2][k] = -t * t1 * t3 * 0.5;
      b.w[3][k] = t * t1 * t2 * (1.0 / 6.0);
    }
  } else {
    for (int k = 0; k < n; ++k) {
      const Stencil st = distance_stencil(std::span<const double>(g.r, g.nr), x[k]);
      b.i0[k] = st.i0;
      for (int m = 0; m < 4; ++m) b.w[m][k] = st.w[m];
    }
  }
  for (int sl = 0; sl < NS; ++sl) {
    const double* pxy = s.pxy[sl].data() + k0;
    const double* d = s.d[sl].data() + k0;
    const double* pxz = s.pxz[sl].data() + k0;
    const double* pyz = s.pyz[sl].data() + k0;
    for (int k = 0; k < n; ++k) {
      const double c = b.c[k], sn = b.s[k];
      const double c2 = c * c - sn * sn, s2 = 2 * c * sn;
      b.ass[sl][k] = pxy[k] * s2 + d[k] * c2;
      b.bss[sl][k] = pxy[k] * c2 - d[k] * s2;
      b.ads[sl][k] = pxz[k] * c + pyz[k] * sn;
      b.bds[sl][k] = pxz[k] * sn - pyz[k] * c;
    }
  }
}

// Vectors of doubles as GCC and clang know them: element by element the same IEEE operations in
// the same order as the scalar expressions, four (or two) at a time in whatever registers the
// instruction set has.
typedef double Vec4 __attribute__((vector_size(32)));
typedef double Vec2 __attribute__((vector_size(16)));

// v[e] = w0 p[e] + w1 p[e + W] + w2 p[e + 2W] + w3 p[e + 3W]: the cubic stencil over four rows,
// L elements at a time.
template <class V, int L, int W>
KIRVA_INLINE void stencil(const double* p, double w0, double w1, double w2, double w3, double* v) {
  V a, b, c, d;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, p + W, sizeof b);
  std::memcpy(&c, p + 2 * W, sizeof c);
  std::memcpy(&d, p + 3 * W, sizeof d);
  const V r = w0 * a + w1 * b + w2 * c + w3 * d;
  std::memcpy(v, &r, sizeof r);
  static_assert(sizeof(V) == L * sizeof(double));
}

template <int W>
KIRVA_INLINE void interpolate(const double* p, double w0, double w1, double w2, double w3,
                              double* v) {
  int e = 0;
  for (; e + 4 <= W; e += 4) stencil<Vec4, 4, W>(p + e, w0, w1, w2, w3, v + e);
  for (; e + 2 <= W; e += 2) stencil<Vec2, 2, W>(p + e, w0, w1, w2, w3, v + e);
  for (; e < W; ++e) v[e] = w0 * p[e] + w1 * p[e + W] + w2 * p[e + 2 * W] + w3 * p[e + 3 * W];
}

// The P-SV values P[j] and SH values S[j] of one source (layout.h), combined for its azimuth
// (cosine c, sine sn from north), turned into the table frame: (ux, uy, uz), then the strain
// (exx, exy, exz, eyy, eyz, ezz) or the gradient G_ij = du_i/dx_j by rows. T is a double, or a
// vector of the same value for several slip directions.
template <Need N, bool Surface, class T>
KIRVA_INLINE void rotate(const T* P, const T* S, double c, double sn, T* d) {
  using L = Layout<N, Surface>;
  const T uz = P[0], ur = P[1], ut = S[0];
  d[0] = c * ur - sn * ut;
  d[1] = sn * ur + c * ut;
  d[2] = uz;
  if constexpr (L::strain) {
    const T err = P[L::ierr], ett = P[L::iett], ert = S[kErt];
    T ezz = {}, ezr = {}, etz = {};  // at a free surface ezz follows in the end
    if constexpr (!Surface) {
      ezz = P[L::iezz];
      ezr = P[L::iezr];
      etz = S[L::ietz];
    }
    const double cc = c * c, ss = sn * sn, cs = c * sn;
    if constexpr (!L::grad) {
      // The cylindrical strain rotated by the azimuth into the table frame.
      const T cs2 = 2 * cs * ert;
      d[3] = cc * err - cs2 + ss * ett;
      d[4] = cs * (err - ett) + (cc - ss) * ert;
      d[5] = c * ezr - sn * etz;
      d[6] = ss * err + cs2 + cc * ett;
      d[7] = sn * ezr + c * etz;
      d[8] = ezz;
    } else {
      const T dzr = P[L::idzr];
      const T gzp = S[L::iphi];      // (1/r) duz/dphi
      const T grp = S[L::iphi + 1];  // (1/r) dur/dphi - ut/r
      // Gradient in the cylindrical frame (r, phi, z), rotated by the azimuth.
      const T grr = err, gpp = ett, gpr = 2 * ert - grp;
      const T grz = 2 * ezr - dzr, gpz = 2 * etz - gzp;
      d[3] = cc * grr - cs * (gpr + grp) + ss * gpp;
      d[4] = cs * (grr - gpp) + cc * grp - ss * gpr;
      d[5] = c * grz - sn * gpz;
      d[6] = cs * (grr - gpp) + cc * gpr - ss * grp;
      d[7] = ss * grr + cs * (gpr + grp) + cc * gpp;
      d[8] = sn * grz + c * gpz;
      d[9] = c * dzr - sn * gzp;
      d[10] = sn * dzr + c * gzp;
      d[11] = ezz;
    }
  }
}

// The field of the sources s[kb..ke) at the receiver (rn, re), added to acc in the table frame
// (rotate), in source order; by column: acc + column * NA. The batch's distances and stencils,
// then per source the interpolated columns and their azimuthal combination, then the rotations
// side by side, then the sums.
template <Need N, bool Surface, bool Uniform, bool Columns, bool Iso>
KIRVA_INLINE void accumulate_one(const KernelSources& src, int kb, int ke, const double* rows,
                                 const DistanceGrid& g, double rn, double re, double* acc) {
  using L = Layout<N, Surface>;
  // The explosion's block, where the sources have isotropic parts, follows the others.
  constexpr int NP = L::np, NSH = L::ns, NA = L::nacc, IX = L::width;
  constexpr int W = Iso ? L::width + NP : L::width;
  alignas(32) double P[NP][kBatch], S[NSH][kBatch];
  alignas(32) double d[NA][kBatch];
  Batch<1> bt;
  for (int k0 = kb; k0 < ke; k0 += kBatch) {
    const int n = std::min(kBatch, ke - k0);
    prepare<Uniform, 1>(src, k0, n, g, rn, re, bt);
    for (int k = 0; k < n; ++k) {
      const double* p = rows + (bt.i0[k] + 1) * W;
      alignas(32) double v[W];
      interpolate<W>(p, bt.w[0][k], bt.w[1][k], bt.w[2][k], bt.w[3][k], v);
      const double ass = bt.ass[0][k], bss = bt.bss[0][k], ads = bt.ads[0][k], bds = bt.bds[0][k],
                   a3 = src.a3[0][k0 + k];
      for (int j = 0; j < NP; ++j) P[j][k] = ass * v[j] + ads * v[NP + j] + a3 * v[2 * NP + j];
      if constexpr (Iso) {
        const double a4 = src.a4[0][k0 + k];
        for (int j = 0; j < NP; ++j) P[j][k] += a4 * v[IX + j];
      }
      for (int j = 0; j < NSH; ++j) S[j][k] = bss * v[3 * NP + j] + bds * v[3 * NP + NSH + j];
    }
    for (int k = 0; k < n; ++k) {
      double p[NP], s[NSH], out[NA];
      for (int j = 0; j < NP; ++j) p[j] = P[j][k];
      for (int j = 0; j < NSH; ++j) s[j] = S[j][k];
      rotate<N, Surface>(p, s, bt.c[k], bt.s[k], out);
      for (int i = 0; i < NA; ++i) d[i][k] = out[i];
    }
    if constexpr (!Columns) {
      for (int i = 0; i < NA; ++i) {
        double sum = acc[i];
        for (int k = 0; k < n; ++k) sum += d[i][k];
        acc[i] = sum;
      }
    } else {
      // The points of a patch at one depth come one after the other: each run of them is
      // summed first, then added to its column.
      const int* col = src.column.data() + k0;
      for (int k = 0; k < n;) {
        double run[NA];
        for (int i = 0; i < NA; ++i) run[i] = d[i][k];
        int e = k + 1;
        for (; e < n && col[e] == col[k]; ++e) {
          for (int i = 0; i < NA; ++i) run[i] += d[i][e];
        }
        double* a = acc + static_cast<std::size_t>(col[k]) * NA;
        for (int i = 0; i < NA; ++i) a[i] += run[i];
        k = e;
      }
    }
  }
}

// Two or three slip directions by column: the same distances, stencils and interpolated
// columns, and the combinations and rotations side by side in the lanes of a vector, so that a
// further direction costs little. acc + column * NS NA holds the directions' sums value by
// value.
template <Need N, bool Surface, bool Uniform, int NS, bool Iso>
KIRVA_INLINE void accumulate_many(const KernelSources& src, int kb, int ke, const double* rows,
                                  const DistanceGrid& g, double rn, double re, double* acc) {
  using L = Layout<N, Surface>;
  using V = std::conditional_t<NS == 2, Vec2, Vec4>;  // a spare lane of zeros for three
  constexpr int NP = L::np, NSH = L::ns, NA = L::nacc, IX = L::width;
  constexpr int W = Iso ? L::width + NP : L::width;
  Batch<NS> bt;
  const int* col = src.column.data();
  int current = -1;
  V run[NA];
  const auto flush = [&] {
    if (current < 0) return;
    double* a = acc + static_cast<std::size_t>(current) * (NS * NA);
    for (int i = 0; i < NA; ++i) {
      for (int sl = 0; sl < NS; ++sl) a[NS * i + sl] += run[i][sl];
    }
  };
  // The slip directions' values in the lanes (a vector is not returned by value: without the
  // wider instructions that would change the calling convention).
  const auto lanes = [](V& v, const double(&x)[NS][kBatch], int k) {
    v = V{};
    for (int sl = 0; sl < NS; ++sl) v[sl] = x[sl][k];
  };
  const auto weights = [](V& v, const std::vector<double>(&x)[kMaxSlip], int i) {
    v = V{};
    for (int sl = 0; sl < NS; ++sl) v[sl] = x[sl][i];
  };
  for (int k0 = kb; k0 < ke; k0 += kBatch) {
    const int n = std::min(kBatch, ke - k0);
    prepare<Uniform, NS>(src, k0, n, g, rn, re, bt);
    for (int k = 0; k < n; ++k) {
      const double* p = rows + (bt.i0[k] + 1) * W;
      alignas(32) double v[W];
      interpolate<W>(p, bt.w[0][k], bt.w[1][k], bt.w[2][k], bt.w[3][k], v);
      V ass, bss, ads, bds, a3;
      lanes(ass, bt.ass, k);
      lanes(bss, bt.bss, k);
      lanes(ads, bt.ads, k);
      lanes(bds, bt.bds, k);
      weights(a3, src.a3, k0 + k);
      V P[NP], S[NSH], d[NA];
      for (int j = 0; j < NP; ++j) P[j] = ass * v[j] + ads * v[NP + j] + a3 * v[2 * NP + j];
      if constexpr (Iso) {
        V a4;
        weights(a4, src.a4, k0 + k);
        for (int j = 0; j < NP; ++j) P[j] += a4 * v[IX + j];
      }
      for (int j = 0; j < NSH; ++j) S[j] = bss * v[3 * NP + j] + bds * v[3 * NP + NSH + j];
      rotate<N, Surface>(P, S, bt.c[k], bt.s[k], d);
      if (col[k0 + k] == current) {
        for (int i = 0; i < NA; ++i) run[i] += d[i];
      } else {
        flush();
        current = col[k0 + k];
        for (int i = 0; i < NA; ++i) run[i] = d[i];
      }
    }
  }
  flush();
}

template <Need N, bool Surface, bool Uniform, int NS, bool Columns, bool Iso>
KIRVA_INLINE void accumulate(const KernelSources& src, int kb, int ke, const double* rows,
                             const DistanceGrid& g, double rn, double re, double* acc) {
  if constexpr (NS > 1) {
    static_assert(Columns, "several slip directions are summed by column");
    accumulate_many<N, Surface, Uniform, NS, Iso>(src, kb, ke, rows, g, rn, re, acc);
  } else {
    accumulate_one<N, Surface, Uniform, Columns, Iso>(src, kb, ke, rows, g, rn, re, acc);
  }
}

template <Need N, bool Surface, bool Uniform, int NS, bool Columns, bool Iso>
void accumulate_baseline(const KernelSources& src, int kb, int ke, const double* rows,
                         const DistanceGrid& g, double rn, double re, double* acc) {
  accumulate<N, Surface, Uniform, NS, Columns, Iso>(src, kb, ke, rows, g, rn, re, acc);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KIRVA_WIDE 1
// AVX2 without FMA: four doubles a lane, each rounded as the baseline rounds it.
template <Need N, bool Surface, bool Uniform, int NS, bool Columns, bool Iso>
__attribute__((target("avx2"))) void accumulate_avx2(const KernelSources& src, int kb, int ke,
                                                     const double* rows, const DistanceGrid& g,
                                                     double rn, double re, double* acc) {
  accumulate<N, Surface, Uniform, NS, Columns, Iso>(src, kb, ke, rows, g, rn, re, acc);
}
#else
#define KIRVA_WIDE 0
#endif

template <Need N, bool Surface, bool Uniform, bool Iso>
Kernel pick(int nslip, bool columns, bool wide) {
#if KIRVA_WIDE
  if (wide) {
    if (!columns) return accumulate_avx2<N, Surface, Uniform, 1, false, Iso>;
    switch (nslip) {
      case 1:
        return accumulate_avx2<N, Surface, Uniform, 1, true, Iso>;
      case 2:
        return accumulate_avx2<N, Surface, Uniform, 2, true, Iso>;
      default:
        return accumulate_avx2<N, Surface, Uniform, 3, true, Iso>;
    }
  }
#else
  (void)wide;
#endif
  if (!columns) return accumulate_baseline<N, Surface, Uniform, 1, false, Iso>;
  switch (nslip) {
    case 1:
      return accumulate_baseline<N, Surface, Uniform, 1, true, Iso>;
    case 2:
      return accumulate_baseline<N, Surface, Uniform, 2, true, Iso>;
    default:
      return accumulate_baseline<N, Surface, Uniform, 3, true, Iso>;
  }
}

template <Need N, bool Surface>
Kernel pick(bool uniform, int nslip, bool columns, bool iso, bool wide) {
  if (iso) {
    return uniform ? pick<N, Surface, true, true>(nslip, columns, wide)
                   : pick<N, Surface, false, true>(nslip, columns, wide);
  }
  return uniform ? pick<N, Surface, true, false>(nslip, columns, wide)
                 : pick<N, Surface, false, false>(nslip, columns, wide);
}

}  // namespace

bool wide_kernels_available() {
#if KIRVA_WIDE
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

Kernel kernel_for(Need need, bool surface, bool uniform, int nslip, bool columns, bool isotropic,
                  bool wide) {
  wide = wide && wide_kernels_available();
  switch (need) {
    case Need::displacement:
      return pick<Need::displacement, false>(uniform, nslip, columns, isotropic, wide);
    case Need::strain:
      return surface ? pick<Need::strain, true>(uniform, nslip, columns, isotropic, wide)
                     : pick<Need::strain, false>(uniform, nslip, columns, isotropic, wide);
    case Need::gradient:
      return surface ? pick<Need::gradient, true>(uniform, nslip, columns, isotropic, wide)
                     : pick<Need::gradient, false>(uniform, nslip, columns, isotropic, wide);
  }
  return nullptr;
}

}  // namespace kirva::syn
