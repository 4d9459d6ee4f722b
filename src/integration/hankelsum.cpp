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
constexpr double kTiny = 1.0e-200;
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
    const double t = taper(s.k, rs);
    if (t < kTiny) break;
    double vj, vdj, vnj;
    tablook(s.k * r, vj, vdj, vnj, tab);
    const double a = vj * t;
    const double b = vdj * t;
    const double c = vnj * t;
    g[0] += s.y1 * a;
    g[3] += s.y2 * a;
    g[4] += s.mky3 * a;
    g[9] += s.ky1 * b;
    if (shterms) {
      g[1] += s.y3 * b + s.cy5 * c;
      g[2] -= s.y5 * b + s.cy3 * c;
      g[6] += s.y4 * b + s.cy6 * c;
      g[7] += s.ky5 * a;
      g[8] -= s.y6 * b + s.cy4 * c;
    } else {
      g[1] += s.y3 * b;
      g[6] += s.y4 * b;
    }
  }
}

// The last sample whose argument k*r lies in the directly tabulated range (k grows with i).
long long last_direct(const KernelSample* ks, long long nktot, double cr) {
  const KernelSample* end = std::partition_point(
      ks + 1, ks + nktot + 1, [cr](const KernelSample& s) { return s.k * cr < kDirect; });
  return static_cast<long long>(end - ks) - 1;
}

// Distances ra and rb (lanes 0 and 1) over all samples.
template <bool kSh>
void pair(Acc& acca, Acc& accb, const KernelSample* ks, long long nktot, double dk, double ra,
          double rb, double rsa, double rsb, const BesselTables& tab) {
  const BesselCell* cell = tab.cell.data();
  const double xstep = tab.xstep;
  const double cra = ra / xstep, crb = rb / xstep;
  const v2d cr = {cra, crb};
  const double aa = (dk * rsa) * (dk * rsa), ab = (dk * rsb) * (dk * rsb);
  const v2d e = {-std::expm1(-2.0 * aa), -std::expm1(-2.0 * ab)};
  const long long nend = std::min(last_direct(ks, nktot, cra), last_direct(ks, nktot, crb));
  bool livea = true, liveb = true;

  v2d g0 = {}, g1 = {}, g2 = {}, g3 = {}, g4 = {}, g6 = {}, g7 = {}, g8 = {}, g9 = {};
  long long i = 1;
  while (i <= nend) {
    // Exact start of the block.
    const double k = ks[i].k;
    const double ta = livea ? taper(k, rsa) : 0.0;
    const double tb = liveb ? taper(k, rsb) : 0.0;
    livea = ta >= kTiny;
    liveb = tb >= kTiny;
    if (!livea && !liveb) break;
    const double m = static_cast<double>(2 * i + 1);
    v2d t = {livea ? ta : 0.0, liveb ? tb : 0.0};
    v2d q = {livea ? std::exp(-aa * m) : 0.0, liveb ? std::exp(-ab * m) : 0.0};
    const long long iblk = std::min(i + kBlock - 1, nend);
    for (; i <= iblk; ++i) {
      const KernelSample& s = ks[i];
      const v2d u = s.k * cr;
      const std::int32_t ia = static_cast<std::int32_t>(u[0]);
      const std::int32_t ib = static_cast<std::int32_t>(u[1]);
      const v2d el = u - v2d{static_cast<double>(ia), static_cast<double>(ib)};
      const v2d emt = (1.0 - el) * t;
      const v2d elt = el * t;
      const BesselCell& ca = cell[ia];
      const BesselCell& cb = cell[ib];
      const v2d a = v2d{ca.j, cb.j} * emt + v2d{ca.jn, cb.jn} * elt;
      const v2d b = v2d{ca.dj, cb.dj} * emt + v2d{ca.djn, cb.djn} * elt;
      g0 += s.y1 * a;
      g3 += s.y2 * a;
      g4 += s.mky3 * a;
      g9 += s.ky1 * b;
      if constexpr (kSh) {
        const v2d c = v2d{ca.nj, cb.nj} * emt + v2d{ca.njn, cb.njn} * elt;
        g1 += s.y3 * b + s.cy5 * c;
        g2 -= s.y5 * b + s.cy3 * c;
        g6 += s.y4 * b + s.cy6 * c;
        g7 += s.ky5 * a;
        g8 -= s.y6 * b + s.cy4 * c;
      } else {
        g1 += s.y3 * b;
        g6 += s.y4 * b;
      }
      t = t * q;
      q = q - q * e;
    }
  }
  const v2d* gv[10] = {&g0, &g1, &g2, &g3, &g4, nullptr, &g6, &g7, &g8, &g9};
  for (int c = 0; c < 10; ++c) {
    if (gv[c] == nullptr) continue;
    acca.g[c] = (*gv[c])[0];
    accb.g[c] = (*gv[c])[1];
  }
  // Arguments beyond the direct range: the rest one distance at a time.
  if (i > nend) {
    if (livea) tail(acca, ks, i, nktot, ra, rsa, kSh, tab);
    if (liveb) tail(accb, ks, i, nktot, rb, rsb, kSh, tab);
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
  const auto& rs = work.rsmooth;
  for (int p = 0; p < njl; p += 2) {
    const int ja = jlist[p];
    const int jb = p + 1 < njl ? jlist[p + 1] : ja;  // an odd last distance runs twice
    Acc acca, accb;
    if (work.shterms) {
      pair<true>(acca, accb, ks, nktot, dk, r[ja], r[jb], rs[ja], rs[jb], tab);
    } else {
      pair<false>(acca, accb, ks, nktot, dk, r[ja], r[jb], rs[ja], rs[jb], tab);
    }
    store(grn, ja, acca, r[ja]);
    if (jb != ja) store(grn, jb, accb, r[jb]);
  }
}

}  // namespace kirva
