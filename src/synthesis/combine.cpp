#include "synthesis/combine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "library/interp.h"
#include "stop.h"

namespace kirva::syn {

namespace {

// Layouts of the reduced rows, arranged so that the azimuthal combination is a sum of three
// (P-SV) or two (SH) blocks: per row the P-SV columns of the strike-slip, dip-slip and CLVD
// types (np each, padded), then the SH columns of the strike-slip and dip-slip types (ns each,
// padded). The SH blocks of the gradient add two ratio columns, scaled so that they combine
// like the SH columns: (1/r) duz/dphi from uz/r (x 2 for the strike-slip, x -1 for the
// dip-slip, the derivatives of the azimuthal factors), and (1/r) dur/dphi - ut/r from
// (2 ur - ut)/r resp. -(ur + ut)/r.
//
// At a free surface ezr and etz vanish and ezz = -lambda (err + ett) / (lambda + 2 mu): those
// columns are left out and ezz follows from the horizontal strains in the end.
struct Entry {
  int type;  // SourceType, or -1 for padding
  Component slot;
  int ratio;     // 0 a value column; 1 uz/r; 2 the horizontal combination over r
  double scale;  // factor of the column
};
constexpr Entry kPad = {-1, uz, 0, 0.0};

enum Sh { kUt, kErt, kEtz, kDuzPhi, kDurPhi, kShPad };

template <Need N, bool Surface>
struct Layout {
  static constexpr bool strain = N != Need::displacement, grad = N == Need::gradient;
  // P-SV columns and their positions (-1: not held).
  static constexpr int iezz = strain && !Surface ? 2 : -1;
  static constexpr int ierr = !strain ? -1 : Surface ? 2 : 3;
  static constexpr int iett = ierr + 1;
  static constexpr int iezr = strain && !Surface ? 5 : -1;
  static constexpr int idzr = !grad ? -1 : Surface ? 4 : 6;
  static constexpr int npsv = !strain ? 2 : grad ? idzr + 1 : iezr > 0 ? 6 : 4;
  // SH columns.
  static constexpr int ietz = strain && !Surface ? 2 : -1;
  static constexpr int iphi = !grad ? -1 : Surface ? 2 : 3;  // then iphi + 1
  static constexpr int nsh = !strain ? 1 : grad ? iphi + 2 : Surface ? 2 : 3;
  static constexpr int np = (npsv + 1) / 2 * 2, ns = nsh == 1 ? 1 : (nsh + 1) / 2 * 2;
  static constexpr int width = 3 * np + 2 * ns;
  static constexpr int nacc = grad ? 12 : strain ? 9 : 3;
};

struct LayoutInfo {
  int np, ns, width;
  std::vector<Component> psv;
  std::vector<Sh> sh;
};

template <Need N, bool Surface>
LayoutInfo info_of() {
  using L = Layout<N, Surface>;
  LayoutInfo li{L::np, L::ns, L::width, {uz, ur}, {kUt}};
  if (L::iezz >= 0) li.psv.push_back(ezz);
  if (L::ierr >= 0) li.psv.insert(li.psv.end(), {err, ett});
  if (L::iezr >= 0) li.psv.push_back(ezr);
  if (L::idzr >= 0) li.psv.push_back(duzdr);
  if (L::strain) li.sh.push_back(kErt);
  if (L::ietz >= 0) li.sh.push_back(kEtz);
  if (L::iphi >= 0) li.sh.insert(li.sh.end(), {kDuzPhi, kDurPhi});
  return li;
}

LayoutInfo layout_info(Need need, bool surface) {
  switch (need) {
    case Need::displacement:
      return info_of<Need::displacement, false>();
    case Need::strain:
      return surface ? info_of<Need::strain, true>() : info_of<Need::strain, false>();
    case Need::gradient:
      return surface ? info_of<Need::gradient, true>() : info_of<Need::gradient, false>();
  }
  return {};
}

std::vector<Entry> layout_of(const LayoutInfo& li) {
  std::vector<Entry> out;
  for (int t = 0; t < 3; ++t) {
    for (int c = 0; c < li.np; ++c) {
      out.push_back(c < static_cast<int>(li.psv.size()) ? Entry{t, li.psv[c], 0, 1.0} : kPad);
    }
  }
  for (int t = 0; t < 2; ++t) {
    for (int c = 0; c < li.ns; ++c) {
      const Sh k = c < static_cast<int>(li.sh.size()) ? li.sh[c] : kShPad;
      switch (k) {
        case kUt:
          out.push_back({t, ut, 0, 1.0});
          break;
        case kErt:
          out.push_back({t, ert, 0, 1.0});
          break;
        case kEtz:
          out.push_back({t, etz, 0, 1.0});
          break;
        case kDuzPhi:
          out.push_back({t, uz, 1, t == 0 ? 2.0 : -1.0});
          break;
        case kDurPhi:
          out.push_back({t, ur, 2, t == 0 ? 1.0 : -1.0});
          break;
        case kShPad:
          out.push_back(kPad);
          break;
      }
    }
  }
  return out;
}

}  // namespace

bool free_surface(const TableView& t, int k) {
  if (t.zrec[k] != 0.0) return false;
  const double lam = t.earth.lambda(0.0), mu = t.earth.mu(0.0);
  const double f = lam / (lam + 2 * mu);
  for (int j = 0; j < static_cast<int>(t.zs.size()); ++j) {
    for (SourceType type : kSourceOrder) {
      const auto zr = t.column(k, type, j, ezr), tz = t.column(k, type, j, etz);
      const auto zz = t.column(k, type, j, ezz), rr = t.column(k, type, j, err),
                 tt = t.column(k, type, j, ett);
      double peak = 0, off = 0;
      for (std::size_t i = 0; i < zz.size(); ++i) {
        if (zr[i] != 0.0 || (!tz.empty() && tz[i] != 0.0)) return false;
        peak = std::max(peak, std::fabs(zz[i]));
        off = std::max(off, std::fabs(zz[i] + f * (rr[i] + tt[i])));
      }
      if (off > 1e-9 * peak) return false;
    }
  }
  return true;
}

void reduce(const TableView& t, Need need, bool surface, double zs, int k0, int nk,
            const double* wk, Reduced& out) {
  const LayoutInfo li = layout_info(need, surface);
  const std::vector<Entry> layout = layout_of(li);
  const int width = li.width;
  const int nr = static_cast<int>(t.r.size());
  const bool axis = t.r[0] == 0.0;
  const Stencil sj = depth_stencil(t.zs, zs);
  const int nj = sj.npts;
  out.width = width;
  out.rows.assign(static_cast<std::size_t>(nr + 1) * width, 0.0);
  std::vector<double> f(nr), g(nr);
  // f = the column (type, slot) interpolated in source and observation depth.
  auto column = [&](SourceType type, Component slot, std::vector<double>& v) {
    std::fill(v.begin(), v.end(), 0.0);
    for (int kk = 0; kk < nk; ++kk) {
      for (int m = 0; m < nj; ++m) {
        const double w = wk[kk] * sj.w[m];
        if (w == 0) continue;
        const auto c = t.column(k0 + kk, type, sj.i0 + m, slot);
        for (int i = 0; i < nr; ++i) v[i] += w * c[i];
      }
    }
  };
  for (int e = 0; e < width; ++e) {
    const Entry& en = layout[e];
    if (en.type < 0) continue;
    const auto type = static_cast<SourceType>(en.type);
    int parity = axis_parity(type, en.slot);
    column(type, en.slot, f);
    if (en.ratio == 2) {
      // (2 ur - ut) for the order-2 strike-slip, (ur + ut) for the order-1 dip-slip.
      column(type, ut, g);
      const double a = type == SourceType::ss ? 2.0 : 1.0;
      const double b = type == SourceType::ss ? -1.0 : 1.0;
      for (int i = 0; i < nr; ++i) f[i] = a * f[i] + b * g[i];
    }
    // An odd column vanishes on the axis.
    if (axis && parity < 0) f[0] = 0;
    if (en.ratio != 0) {
      for (int i = axis ? 1 : 0; i < nr; ++i) f[i] /= t.r[i];
      if (axis) {
        // f/r has the opposite parity; an even f/r takes the slope of the odd f at the axis,
        // from the odd cubic a r + b r^3 through r[1] and r[2].
        parity = -parity;
        if (parity < 0) {
          f[0] = 0;
        } else {
          const double r1 = t.r[1], r2 = t.r[2];
          const double f1 = f[1] * r1, f2 = f[2] * r2;
          f[0] = (f1 * r2 * r2 * r2 - f2 * r1 * r1 * r1) / (r1 * r2 * (r2 * r2 - r1 * r1));
        }
      }
    }
    double* rows = out.rows.data();
    for (int i = 0; i < nr; ++i) rows[(i + 1) * width + e] = en.scale * f[i];
    rows[e] = axis ? parity * en.scale * f[1] : 0.0;
  }
}

namespace {

// The point sources as the inner loop sees them, one array per value: positions and the
// moment-tensor combinations of the azimuthal factors (potency, m^3).
struct KernelSources {
  std::vector<double> north, east, pxy, d, pxz, pyz, a3;
  void push(double n, double e, const Tensor6& m) {
    north.push_back(n);
    east.push_back(e);
    pxy.push_back(m.xy);
    d.push_back(0.5 * (m.xx - m.yy));
    pxz.push_back(m.xz);
    pyz.push_back(m.yz);
    a3.push_back((2.0 / 3.0) * (m.zz - 0.5 * (m.xx + m.yy)));
  }
  int size() const { return static_cast<int>(north.size()); }
};

struct DistanceGrid {
  const double* r;
  int nr;
  int lo, hi;  // range of the stencil's first index
  double r0, inv_h;
  bool uniform;
};

// Sources are taken in batches: first the distance, azimuth, stencil and azimuthal factors of
// every source of the batch (independent of each other, so the long chain of square root,
// division and index runs side by side for all of them), then the interpolation and the sum.
constexpr int kBatch = 16;

struct Batch {
  alignas(16) double c[kBatch], s[kBatch], w[4][kBatch];
  alignas(16) double ass[kBatch], bss[kBatch], ads[kBatch], bds[kBatch];
  int i0[kBatch];
};

template <bool Uniform>
inline void prepare(const KernelSources& s, int k0, int n, const DistanceGrid& g, double rn,
                    double re, Batch& b) {
  const double* N = s.north.data() + k0;
  const double* E = s.east.data() + k0;
  double x[kBatch];
  for (int k = 0; k < n; ++k) {
    const double dn = rn - N[k], de = re - E[k];
    const double r = std::sqrt(dn * dn + de * de);
    const double inv = r > 0 ? 1 / r : 0.0;
    b.c[k] = r > 0 ? dn * inv : 1.0;  // on the axis any azimuth will do
    b.s[k] = de * inv;
    x[k] = Uniform ? (r - g.r0) * g.inv_h : r;
  }
  if constexpr (Uniform) {
    const double lo = g.lo + 1, hi = g.hi + 1;
    for (int k = 0; k < n; ++k) {
      // Index of the stencil's first point: floor(x) - 1 within [lo, hi] - 1.
      const double xc = std::min(std::max(x[k], lo), hi);
      const int i = static_cast<int>(xc) - 1;
      b.i0[k] = i;
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
  const double* pxy = s.pxy.data() + k0;
  const double* d = s.d.data() + k0;
  const double* pxz = s.pxz.data() + k0;
  const double* pyz = s.pyz.data() + k0;
  for (int k = 0; k < n; ++k) {
    const double c = b.c[k], sn = b.s[k];
    const double c2 = c * c - sn * sn, s2 = 2 * c * sn;
    b.ass[k] = pxy[k] * s2 + d[k] * c2;
    b.bss[k] = pxy[k] * c2 - d[k] * s2;
    b.ads[k] = pxz[k] * c + pyz[k] * sn;
    b.bds[k] = pxz[k] * sn - pyz[k] * c;
  }
}

// The field of the sources s[0..ns) at the receiver (rn, re), added to acc in the table frame:
// (ux, uy, uz), then for the strain (exx, exy, exz, eyy, eyz, ezz), for the gradient
// G_ij = du_i/dx_j by rows.
template <Need N, bool Surface, bool Uniform>
void accumulate(const KernelSources& src, int kb, int ke, const double* rows, const DistanceGrid& g,
                double rn, double re, double* acc) {
  using L = Layout<N, Surface>;
  constexpr int W = L::width, NP = L::np, NS = L::ns;
  // Per batch: the combined P-SV and SH values of every source (interpolation and azimuthal
  // combination), then their rotation into the table frame, then the sum in source order.
  alignas(16) double P[NP][kBatch], S[NS][kBatch];
  alignas(16) double d[L::nacc][kBatch];
  Batch bt;
  for (int k0 = kb; k0 < ke; k0 += kBatch) {
    const int n = std::min(kBatch, ke - k0);
    prepare<Uniform>(src, k0, n, g, rn, re, bt);
    const double* a3 = src.a3.data() + k0;
    for (int k = 0; k < n; ++k) {
      const double* p = rows + (bt.i0[k] + 1) * W;
      const double w0 = bt.w[0][k], w1 = bt.w[1][k], w2 = bt.w[2][k], w3 = bt.w[3][k];
      double v[W];
      for (int e = 0; e < W; ++e) {
        v[e] = w0 * p[e] + w1 * p[e + W] + w2 * p[e + 2 * W] + w3 * p[e + 3 * W];
      }
      const double ass = bt.ass[k], bss = bt.bss[k], ads = bt.ads[k], bds = bt.bds[k];
      for (int j = 0; j < NP; ++j) P[j][k] = ass * v[j] + ads * v[NP + j] + a3[k] * v[2 * NP + j];
      for (int j = 0; j < NS; ++j) S[j][k] = bss * v[3 * NP + j] + bds * v[3 * NP + NS + j];
    }
    for (int k = 0; k < n; ++k) {
      const double c = bt.c[k], sn = bt.s[k];
      const double uz = P[0][k], ur = P[1][k], ut = S[0][k];
      d[0][k] = c * ur - sn * ut;
      d[1][k] = sn * ur + c * ut;
      d[2][k] = uz;
      if constexpr (L::strain) {
        const double err = P[L::ierr][k], ett = P[L::iett][k], ert = S[kErt][k];
        double ezz = 0, ezr = 0, etz = 0;  // at a free surface ezz follows in the end
        if constexpr (!Surface) {
          ezz = P[L::iezz][k];
          ezr = P[L::iezr][k];
          etz = S[L::ietz][k];
        }
        const double cc = c * c, ss = sn * sn, cs = c * sn;
        if constexpr (!L::grad) {
          // The cylindrical strain rotated by the azimuth into the table frame.
          const double cs2 = 2 * cs * ert;
          d[3][k] = cc * err - cs2 + ss * ett;
          d[4][k] = cs * (err - ett) + (cc - ss) * ert;
          d[5][k] = c * ezr - sn * etz;
          d[6][k] = ss * err + cs2 + cc * ett;
          d[7][k] = sn * ezr + c * etz;
          d[8][k] = ezz;
        } else {
          const double dzr = P[L::idzr][k];
          const double gzp = S[L::iphi][k];      // (1/r) duz/dphi
          const double grp = S[L::iphi + 1][k];  // (1/r) dur/dphi - ut/r
          // Gradient in the cylindrical frame (r, phi, z), rotated by the azimuth.
          const double grr = err, gpp = ett, gpr = 2 * ert - grp;
          const double grz = 2 * ezr - dzr, gpz = 2 * etz - gzp;
          d[3][k] = cc * grr - cs * (gpr + grp) + ss * gpp;
          d[4][k] = cs * (grr - gpp) + cc * grp - ss * gpr;
          d[5][k] = c * grz - sn * gpz;
          d[6][k] = cs * (grr - gpp) + cc * gpr - ss * grp;
          d[7][k] = ss * grr + cs * (gpr + grp) + cc * gpp;
          d[8][k] = sn * grz + c * gpz;
          d[9][k] = c * dzr - sn * gzp;
          d[10][k] = sn * dzr + c * gzp;
          d[11][k] = ezz;
        }
      }
    }
    for (int i = 0; i < L::nacc; ++i) {
      double sum = acc[i];
      for (int k = 0; k < n; ++k) sum += d[i][k];
      acc[i] = sum;
    }
  }
}

using Kernel = void (*)(const KernelSources&, int, int, const double*, const DistanceGrid&, double,
                        double, double*);

template <Need N, bool Surface>
Kernel pick(bool uniform) {
  return uniform ? accumulate<N, Surface, true> : accumulate<N, Surface, false>;
}

Kernel kernel_for(Need need, bool surface, bool uniform) {
  switch (need) {
    case Need::displacement:
      return pick<Need::displacement, false>(uniform);
    case Need::strain:
      return surface ? pick<Need::strain, true>(uniform) : pick<Need::strain, false>(uniform);
    case Need::gradient:
      return surface ? pick<Need::gradient, true>(uniform) : pick<Need::gradient, false>(uniform);
  }
  return nullptr;
}

// Runs task(i) for i = 0..n-1 on `threads` workers (the caller is one), calling `after` on the
// calling thread after each of its tasks. The first failure stops the others and is rethrown.
void parallel_for(int threads, int n, const std::function<void(int)>& task,
                  const std::function<void()>& after) {
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex m;
  auto work = [&](bool caller) {
    while (!failed.load()) {
      const int i = next.fetch_add(1);
      if (i >= n) break;
      try {
        task(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(m);
        if (!error) error = std::current_exception();
        failed = true;
      }
      if (caller && after) after();
    }
  };
  std::vector<std::thread> pool;
  const int extra = std::max(0, std::min(threads, n) - 1);
  for (int w = 0; w < extra; ++w) pool.emplace_back(work, false);
  work(true);
  for (auto& th : pool) th.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace

std::vector<Field> synthesise(const TableView& t, const std::vector<SourcePoint>& points,
                              const std::vector<Receiver>& receivers, const SynthesisOptions& opt) {
  const int acc_n = opt.need == Need::gradient ? 12 : opt.need == Need::strain ? 9 : 3;
  const int nrec = static_cast<int>(receivers.size());
  const int nr = static_cast<int>(t.r.size());
  if (nr < 4) throw Stop("kirva-syn: the library holds fewer than 4 distances");

  DistanceGrid g;
  g.r = t.r.data();
  g.nr = nr;
  g.lo = t.r[0] == 0.0 ? -1 : 0;
  g.hi = nr - 4;
  g.r0 = t.r[0];
  const double h = t.r[1] - t.r[0];
  g.inv_h = 1.0 / h;
  g.uniform = true;
  for (int i = 0; i < nr; ++i) {
    if (std::fabs(t.r[i] - (t.r[0] + i * h)) > 1e-9 * h * nr) g.uniform = false;
  }

  // Sources by depth: each depth shares one set of reduced columns.
  std::vector<int> order(points.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return points[a].depth < points[b].depth; });
  KernelSources ks;
  std::vector<double> group_depth;
  std::vector<int> group_begin;
  for (int i : order) {
    const SourcePoint& p = points[i];
    if (group_depth.empty() || p.depth != group_depth.back()) {
      group_depth.push_back(p.depth);
      group_begin.push_back(ks.size());
    }
    const Tensor6& m = p.potency;
    ks.push(p.north, p.east, m);
  }
  group_begin.push_back(ks.size());
  const int ngroup = static_cast<int>(group_depth.size());

  // Receivers by depth: each depth has its own observation-depth weights.
  std::map<double, std::vector<int>> classes;
  for (int i = 0; i < nrec; ++i) classes[receivers[i].depth].push_back(i);

  std::vector<double> acc(static_cast<std::size_t>(nrec) * acc_n, 0.0);
  const int width = layout_info(opt.need, false).width;
  const std::size_t group_bytes = static_cast<std::size_t>(nr + 1) * width * sizeof(double);
  const int chunk = std::max<int>(1, static_cast<int>((std::size_t{512} << 20) / group_bytes));
  std::vector<Reduced> reduced(std::min(chunk, ngroup));

  const double total = static_cast<double>(nrec) * static_cast<double>(ks.size());
  double done = 0;
  constexpr int kBlock = 32;
  for (const auto& cls : classes) {
    const double depth = cls.first;
    const std::vector<int>& members = cls.second;
    // Observation-depth weights: the nearest (up to 4) tabulated depths.
    int k0 = 0, nkk = 1;
    double wk[4] = {1, 0, 0, 0};
    const auto on = std::find(t.zrec.begin(), t.zrec.end(), depth);
    if (on != t.zrec.end()) {  // on a tabulated depth: that block alone
      k0 = static_cast<int>(on - t.zrec.begin());
    } else {
      const Stencil sk = make_stencil(t.zrec, depth, false, "observation depth");
      k0 = sk.i0;
      nkk = sk.npts;
      std::copy(sk.w, sk.w + 4, wk);
    }
    const bool surface =
        opt.use_free_surface && nkk == 1 && opt.need != Need::displacement && free_surface(t, k0);
    const Kernel kernel = kernel_for(opt.need, surface, g.uniform);
    const int nblocks = (static_cast<int>(members.size()) + kBlock - 1) / kBlock;
    for (int g0 = 0; g0 < ngroup; g0 += chunk) {
      const int g1 = std::min(ngroup, g0 + chunk);
      parallel_for(
          opt.threads, g1 - g0,
          [&](int i) {
            reduce(t, opt.need, surface, group_depth[g0 + i], k0, nkk, wk, reduced[i]);
          },
          nullptr);
      const double share = static_cast<double>(group_begin[g1] - group_begin[g0]);
      std::atomic<int> blocks_done{0};
      parallel_for(
          opt.threads, nblocks,
          [&](int b) {
            const int m0 = b * kBlock;
            const int m1 = std::min<int>(static_cast<int>(members.size()), m0 + kBlock);
            for (int gi = g0; gi < g1; ++gi) {
              const double* rows = reduced[gi - g0].rows.data();

              for (int m = m0; m < m1; ++m) {
                const Receiver& rc = receivers[members[m]];
                double* a = acc.data() + static_cast<std::size_t>(members[m]) * acc_n;
                kernel(ks, group_begin[gi], group_begin[gi + 1], rows, g, rc.north, rc.east, a);
              }
            }
            blocks_done.fetch_add(1);
          },
          [&] {
            if (opt.progress && total > 0) {
              const double part =
                  share * static_cast<double>(members.size()) * blocks_done.load() / nblocks;
              opt.progress(std::min(1.0, (done + part) / total));
            }
          });
      done += share * static_cast<double>(members.size());
    }
    if (surface) {
      // No traction on the free surface: ezz from the horizontal strains.
      const double lam = t.earth.lambda(t.zrec[k0]), mu = t.earth.mu(t.zrec[k0]);
      for (int m : members) {
        double* a = acc.data() + static_cast<std::size_t>(m) * acc_n;
        if (opt.need == Need::strain) {
          a[8] = -lam / (lam + 2 * mu) * (a[3] + a[6]);
        } else {
          a[11] = -lam / (lam + 2 * mu) * (a[3] + a[7]);
        }
      }
    }
  }

  // To the east-north-up frame: e = y, n = x, u = -z of the table frame.
  std::vector<Field> out(nrec);
  for (int i = 0; i < nrec; ++i) {
    const double* a = acc.data() + static_cast<std::size_t>(i) * acc_n;
    Field& f = out[i];
    f.u = {a[1], a[0], -a[2]};
    const int map[3] = {1, 0, 2};
    const double sign[3] = {1, 1, -1};
    if (opt.need == Need::gradient) {
      const double* G = a + 3;  // G[3 * i + j], i, j over x, y, z
      for (int p = 0; p < 3; ++p) {
        for (int q = 0; q < 3; ++q) f.grad[p][q] = sign[p] * sign[q] * G[3 * map[p] + map[q]];
      }
    } else if (opt.need == Need::strain) {
      const double* e = a + 3;  // exx, exy, exz, eyy, eyz, ezz
      const int at[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
      for (int p = 0; p < 3; ++p) {
        for (int q = 0; q < 3; ++q) f.grad[p][q] = sign[p] * sign[q] * e[at[map[p]][map[q]]];
      }
    }
  }
  if (opt.progress) opt.progress(1.0);
  return out;
}

}  // namespace kirva::syn
