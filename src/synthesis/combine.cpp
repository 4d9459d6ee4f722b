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

// Layouts of the reduced rows. A value column is (type, slot); the two ratio columns of the
// strike-slip and dip-slip types hold (1/r) d/dphi of uz and (1/r) d ur/dphi - ut/r, by the
// azimuthal factors' derivatives: uz/r, and (2 ur - ut)/r resp. (ur + ut)/r.
struct Entry {
  int type;  // SourceType, or -1 for padding
  Component slot;
  int ratio;  // 0 a value column; 1 uz/r; 2 the horizontal combination over r
};

constexpr int kFullWidth = 32;
constexpr int kDispWidth = 8;

constexpr Entry kFull[kFullWidth] = {
    {0, uz, 0},  {0, ur, 0},  {0, ezz, 0},   {0, err, 0}, {0, ett, 0},   {0, ezr, 0}, {0, duzdr, 0},
    {0, ut, 0},  {0, ert, 0}, {0, etz, 0},   {0, uz, 1},  {0, ur, 2},    {1, uz, 0},  {1, ur, 0},
    {1, ezz, 0}, {1, err, 0}, {1, ett, 0},   {1, ezr, 0}, {1, duzdr, 0}, {1, ut, 0},  {1, ert, 0},
    {1, etz, 0}, {1, uz, 1},  {1, ur, 2},    {2, uz, 0},  {2, ur, 0},    {2, ezz, 0}, {2, err, 0},
    {2, ett, 0}, {2, ezr, 0}, {2, duzdr, 0}, {-1, uz, 0},
};
constexpr Entry kDisp[kDispWidth] = {
    {0, uz, 0}, {0, ur, 0}, {0, ut, 0}, {1, uz, 0}, {1, ur, 0}, {1, ut, 0}, {2, uz, 0}, {2, ur, 0},
};

}  // namespace

void reduce(const TableView& t, Need need, double zs, int k0, int nk, const double* wk,
            Reduced& out) {
  const Entry* layout = need == Need::gradient ? kFull : kDisp;
  const int width = need == Need::gradient ? kFullWidth : kDispWidth;
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
    for (int i = 0; i < nr; ++i) rows[(i + 1) * width + e] = f[i];
    rows[e] = axis ? parity * f[1] : 0.0;
  }
}

namespace {

// One point source as the inner loop sees it: position and the moment-tensor combinations of
// the azimuthal factors (potency, m^3).
struct KernelSource {
  double north, east;
  double pxy, d, pxz, pyz, a3;
  double pad;
};

struct DistanceGrid {
  const double* r;
  int nr;
  int lo, hi;  // range of the stencil's first index
  double r0, inv_h;
  bool uniform;
};

inline void weights_at(const DistanceGrid& g, double r, int& i0, double* w) {
  if (g.uniform) {
    const double x = (r - g.r0) * g.inv_h;
    i0 = std::clamp(static_cast<int>(x) - 1, g.lo, g.hi);
    const double t = x - i0;
    const double t1 = t - 1, t2 = t - 2, t3 = t - 3;
    w[0] = -t1 * t2 * t3 * (1.0 / 6.0);
    w[1] = t * t2 * t3 * 0.5;
    w[2] = -t * t1 * t3 * 0.5;
    w[3] = t * t1 * t2 * (1.0 / 6.0);
  } else {
    const Stencil s = distance_stencil(std::span<const double>(g.r, g.nr), r);
    i0 = s.i0;
    std::copy(s.w, s.w + 4, w);
  }
}

// Displacement only: acc = (ux, uy, uz) in the table frame.
void accumulate_disp(const KernelSource* s, int ns, const double* rows, const DistanceGrid& g,
                     double rn, double re, double* acc) {
  double ax = 0, ay = 0, az = 0;
  for (int k = 0; k < ns; ++k) {
    const double dn = rn - s[k].north, de = re - s[k].east;
    double r = std::sqrt(dn * dn + de * de);
    double c = 1, sn = 0;
    if (r > 0) {
      c = dn / r;
      sn = de / r;
    }
    int i0;
    double w[4];
    weights_at(g, r, i0, w);
    const double* p = rows + (i0 + 1) * kDispWidth;
    double v[kDispWidth];
    for (int e = 0; e < kDispWidth; ++e) {
      v[e] = w[0] * p[e] + w[1] * p[e + kDispWidth] + w[2] * p[e + 2 * kDispWidth] +
             w[3] * p[e + 3 * kDispWidth];
    }
    const double c2 = c * c - sn * sn, s2 = 2 * c * sn;
    const double ass = s[k].pxy * s2 + s[k].d * c2, bss = s[k].pxy * c2 - s[k].d * s2;
    const double ads = s[k].pxz * c + s[k].pyz * sn, bds = s[k].pxz * sn - s[k].pyz * c;
    const double uz = ass * v[0] + ads * v[3] + s[k].a3 * v[6];
    const double ur = ass * v[1] + ads * v[4] + s[k].a3 * v[7];
    const double ut = bss * v[2] + bds * v[5];
    ax += c * ur - sn * ut;
    ay += sn * ur + c * ut;
    az += uz;
  }
  acc[0] += ax;
  acc[1] += ay;
  acc[2] += az;
}

// Displacement and gradient: acc = (ux, uy, uz, Gxx, Gxy, Gxz, Gyx, Gyy, Gyz, Gzx, Gzy, Gzz),
// G_ij = du_i/dx_j, table frame.
void accumulate_full(const KernelSource* s, int ns, const double* rows, const DistanceGrid& g,
                     double rn, double re, double* acc) {
  double a[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < ns; ++k) {
    const double dn = rn - s[k].north, de = re - s[k].east;
    double r = std::sqrt(dn * dn + de * de);
    double c = 1, sn = 0;
    if (r > 0) {
      c = dn / r;
      sn = de / r;
    }
    int i0;
    double w[4];
    weights_at(g, r, i0, w);
    const double* p = rows + (i0 + 1) * kFullWidth;
    double v[kFullWidth];
    for (int e = 0; e < kFullWidth; ++e) {
      v[e] = w[0] * p[e] + w[1] * p[e + kFullWidth] + w[2] * p[e + 2 * kFullWidth] +
             w[3] * p[e + 3 * kFullWidth];
    }
    const KernelSource& q = s[k];
    const double c2 = c * c - sn * sn, s2 = 2 * c * sn;
    const double ass = q.pxy * s2 + q.d * c2, bss = q.pxy * c2 - q.d * s2;
    const double ads = q.pxz * c + q.pyz * sn, bds = q.pxz * sn - q.pyz * c;
    const double a3 = q.a3;
    const double uz = ass * v[0] + ads * v[12] + a3 * v[24];
    const double ur = ass * v[1] + ads * v[13] + a3 * v[25];
    const double ezz = ass * v[2] + ads * v[14] + a3 * v[26];
    const double err = ass * v[3] + ads * v[15] + a3 * v[27];
    const double ett = ass * v[4] + ads * v[16] + a3 * v[28];
    const double ezr = ass * v[5] + ads * v[17] + a3 * v[29];
    const double dzr = ass * v[6] + ads * v[18] + a3 * v[30];
    const double ut = bss * v[7] + bds * v[19];
    const double ert = bss * v[8] + bds * v[20];
    const double etz = bss * v[9] + bds * v[21];
    const double gzp = 2 * bss * v[10] - bds * v[22];  // (1/r) duz/dphi
    const double grp = bss * v[11] - bds * v[23];      // (1/r) dur/dphi - ut/r
    // Gradient in the cylindrical frame (r, phi, z).
    const double grr = err, gpp = ett, gpr = 2 * ert - grp;
    const double grz = 2 * ezr - dzr, gpz = 2 * etz - gzp;
    // Rotated by the azimuth into the table frame.
    const double cc = c * c, ss = sn * sn, cs = c * sn;
    a[0] += c * ur - sn * ut;
    a[1] += sn * ur + c * ut;
    a[2] += uz;
    a[3] += cc * grr - cs * (gpr + grp) + ss * gpp;
    a[4] += cs * (grr - gpp) + cc * grp - ss * gpr;
    a[5] += c * grz - sn * gpz;
    a[6] += cs * (grr - gpp) + cc * gpr - ss * grp;
    a[7] += ss * grr + cs * (gpr + grp) + cc * gpp;
    a[8] += sn * grz + c * gpz;
    a[9] += c * dzr - sn * gzp;
    a[10] += sn * dzr + c * gzp;
    a[11] += ezz;
  }
  for (int i = 0; i < 12; ++i) acc[i] += a[i];
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
  const bool full = opt.need == Need::gradient;
  const int acc_n = full ? 12 : 3;
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
  std::vector<KernelSource> ks;
  std::vector<double> group_depth;
  std::vector<int> group_begin;
  ks.reserve(points.size());
  for (int i : order) {
    const SourcePoint& p = points[i];
    if (group_depth.empty() || p.depth != group_depth.back()) {
      group_depth.push_back(p.depth);
      group_begin.push_back(static_cast<int>(ks.size()));
    }
    const Tensor6& m = p.potency;
    ks.push_back({p.north, p.east, m.xy, 0.5 * (m.xx - m.yy), m.xz, m.yz,
                  (2.0 / 3.0) * (m.zz - 0.5 * (m.xx + m.yy)), 0.0});
  }
  group_begin.push_back(static_cast<int>(ks.size()));
  const int ngroup = static_cast<int>(group_depth.size());

  // Receivers by depth: each depth has its own observation-depth weights.
  std::map<double, std::vector<int>> classes;
  for (int i = 0; i < nrec; ++i) classes[receivers[i].depth].push_back(i);

  std::vector<double> acc(static_cast<std::size_t>(nrec) * acc_n, 0.0);
  const int width = full ? kFullWidth : kDispWidth;
  const std::size_t group_bytes = static_cast<std::size_t>(nr + 1) * width * sizeof(double);
  const int chunk = std::max<int>(1, static_cast<int>((std::size_t{512} << 20) / group_bytes));
  std::vector<Reduced> reduced(std::min(chunk, ngroup));

  const double total = static_cast<double>(nrec) * static_cast<double>(ks.size());
  double done = 0;
  constexpr int kBlock = 32;
  for (const auto& [depth, members] : classes) {
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
    const int nblocks = (static_cast<int>(members.size()) + kBlock - 1) / kBlock;
    for (int g0 = 0; g0 < ngroup; g0 += chunk) {
      const int g1 = std::min(ngroup, g0 + chunk);
      parallel_for(
          opt.threads, g1 - g0,
          [&](int i) { reduce(t, opt.need, group_depth[g0 + i], k0, nkk, wk, reduced[i]); },
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
              const KernelSource* s = ks.data() + group_begin[gi];
              const int ns = group_begin[gi + 1] - group_begin[gi];
              for (int m = m0; m < m1; ++m) {
                const Receiver& rc = receivers[members[m]];
                double* a = acc.data() + static_cast<std::size_t>(members[m]) * acc_n;
                if (full) {
                  accumulate_full(s, ns, rows, g, rc.north, rc.east, a);
                } else {
                  accumulate_disp(s, ns, rows, g, rc.north, rc.east, a);
                }
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
  }

  // To the east-north-up frame: e = y, n = x, u = -z of the table frame.
  std::vector<Field> out(nrec);
  for (int i = 0; i < nrec; ++i) {
    const double* a = acc.data() + static_cast<std::size_t>(i) * acc_n;
    Field& f = out[i];
    f.u = {a[1], a[0], -a[2]};
    if (full) {
      const double* G = a + 3;  // G[3 * i + j], i, j over x, y, z
      const int map[3] = {1, 0, 2};
      const double sign[3] = {1, 1, -1};
      for (int p = 0; p < 3; ++p) {
        for (int q = 0; q < 3; ++q) {
          f.grad[p][q] = sign[p] * sign[q] * G[3 * map[p] + map[q]];
        }
      }
    }
  }
  if (opt.progress) opt.progress(1.0);
  return out;
}

}  // namespace kirva::syn
