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
#include "synthesis/kernel.h"
#include "synthesis/layout.h"

namespace kirva::syn {

namespace {

// The entries of a layout (layout.h): which column of which type, and how it is scaled.
struct Entry {
  int type;  // SourceType, or -1 for padding
  Component slot;
  int ratio;     // 0 a value column; 1 uz/r; 2 the horizontal combination over r
  double scale;  // factor of the column
};
constexpr Entry kPad = {-1, uz, 0, 0.0};

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

std::vector<Entry> layout_of(const LayoutInfo& li, bool isotropic) {
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
  // The explosion's P-SV block: it has no SH part.
  if (isotropic) {
    const int ex = static_cast<int>(SourceType::ex);
    for (int c = 0; c < li.np; ++c) {
      out.push_back(c < static_cast<int>(li.psv.size()) ? Entry{ex, li.psv[c], 0, 1.0} : kPad);
    }
  }
  return out;
}

// Whether any point source has an isotropic part, which only the explosion's columns make.
bool any_isotropic(const PointSources& src) {
  const auto iso = [](const Tensor6& m) { return has_isotropic_part(m); };
  if (src.tensors.empty()) {
    return std::any_of(src.points.begin(), src.points.end(),
                       [&](const SourcePoint& p) { return iso(p.potency); });
  }
  return std::any_of(src.tensors.begin(), src.tensors.end(), iso);
}

}  // namespace

bool free_surface(const TableView& t, int k, bool isotropic) {
  if (t.zrec[k] != 0.0) return false;
  const double lam = t.earth.lambda(0.0), mu = t.earth.mu(0.0);
  const double f = lam / (lam + 2 * mu);
  const int ntypes = isotropic ? 4 : 3;
  for (int j = 0; j < static_cast<int>(t.zs.size()); ++j) {
    for (int ti = 0; ti < ntypes; ++ti) {
      const SourceType type = ti < 3 ? kSourceOrder[ti] : SourceType::ex;
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

namespace {

// The interface that bounds the layer of depth x from below, when the tables on it give the
// limit from above there: its index, else -1.
int derived_limit_below(const EarthModel& e, double x) {
  const std::size_t i = layer_around(e.interfaces, x).below;
  return i < e.limits.size() && e.limits[i].derived ? static_cast<int>(i) : -1;
}

// The stencil of x's layer on grid g, taking the point on the interface below as the limit
// from above when `limits` allows it; `limit` receives that point's place in the stencil (-1:
// none) and `iface` the interface.
Stencil layer_stencil_with_limit(std::span<const double> g, double x, const EarthModel& e,
                                 bool limits, const char* what, int& limit, int& iface) {
  limit = iface = -1;
  const int ib = limits ? derived_limit_below(e, x) : -1;
  const Stencil s = layer_stencil(g, x, e.interfaces, ib >= 0, what);
  if (ib < 0) return s;
  const double zi = e.interfaces[static_cast<std::size_t>(ib)];
  for (int m = 0; m < s.npts; ++m) {
    if (g[static_cast<std::size_t>(s.i0 + m)] == zi) {
      limit = m;
      iface = ib;
    }
  }
  return s;
}

}  // namespace

DepthWeights observation_weights(const TableView& t, double depth, bool vertical) {
  DepthWeights d;
  const auto on = std::find(t.zrec.begin(), t.zrec.end(), depth);
  if (on != t.zrec.end()) {  // on a tabulated depth: that block alone
    d.k0 = static_cast<int>(on - t.zrec.begin());
    return d;
  }
  Stencil sk;
  if (vertical) {
    sk = layer_stencil_with_limit(t.zrec, depth, t.earth, true, "observation depth", d.limit,
                                  d.iface);
  } else {
    sk = layer_stencil(t.zrec, depth, t.earth.interfaces, true, "observation depth");
  }
  d.k0 = sk.i0;
  d.n = sk.npts;
  std::copy(sk.w, sk.w + 4, d.w);
  return d;
}

void reduce(const TableView& t, Need need, bool surface, double zs, const DepthWeights& smooth,
            const DepthWeights& jump, Reduced& out, bool isotropic) {
  const LayoutInfo li = layout_info(need, surface);
  const std::vector<Entry> layout = layout_of(li, isotropic);
  const int width = static_cast<int>(layout.size());
  const int nr = static_cast<int>(t.r.size());
  const bool axis = t.r[0] == 0.0;
  // Source depth: the stencil of the source's layer, and the one that also takes the tables on
  // the interface below as the limit from above (for the CLVD and the explosion only when both
  // are in the library: their limits mix them).
  int lim = -1, lim_iface = -1, unused = -1;
  const Stencil sj_lim =
      layer_stencil_with_limit(t.zs, zs, t.earth, true, "source depth", lim, lim_iface);
  const Stencil sj_one =
      lim < 0 ? sj_lim
              : layer_stencil_with_limit(t.zs, zs, t.earth, false, "source depth", unused, unused);
  // The limits from above in terms of the tables below (Takeuchi and Saito 1972, Methods in
  // Computational Physics 11, 217-295: the jump of the motion-stress vector at a point source).
  // Per unit potency the dip-slip's jump is the slip itself, the strike-slip's a traction of
  // mu times it; the CLVD and the explosion make the displacement jump mu/(lambda + 2 mu) M_zz and
  // the horizontal traction jump mu [M_h - lambda/(lambda + 2 mu) M_zz] (M_h = (M_xx + M_yy)/2),
  // which the two together resolve. Across a receiver's interface the traction is continuous:
  // szz, szr and szt give ezz, ezr and etz above from those below and the horizontal strains.
  double c_ss = 1, mix[2][2] = {{1, 0}, {0, 1}};
  if (lim >= 0) {
    const EarthModel::Limit& L = t.earth.limits[static_cast<std::size_t>(lim_iface)];
    c_ss = L.mu_above / L.mu_below;
    // Rows (CLVD, explosion) of the jumps (displacement, traction) per unit potency.
    const auto jumps = [](double lambda, double mu, double T[2][2]) {
      const double p = mu / (lambda + 2 * mu), q = lambda / (lambda + 2 * mu);
      T[0][0] = p;
      T[0][1] = mu * (-0.5 - q);
      T[1][0] = p;
      T[1][1] = mu * (1 - q);
    };
    double A[2][2], B[2][2];
    jumps(L.lambda_above, L.mu_above, A);
    jumps(L.lambda_below, L.mu_below, B);
    const double det = B[0][0] * B[1][1] - B[0][1] * B[1][0];
    const double Bi[2][2] = {{B[1][1] / det, -B[0][1] / det}, {-B[1][0] / det, B[0][0] / det}};
    for (int a = 0; a < 2; ++a)
      for (int b = 0; b < 2; ++b) mix[a][b] = A[a][0] * Bi[0][b] + A[a][1] * Bi[1][b];
  }
  out.width = width;
  out.rows.assign(static_cast<std::size_t>(nr + 1) * width, 0.0);
  std::vector<double> f(nr), g(nr);
  const auto axpy = [&](double w, std::span<const double> c, std::vector<double>& v) {
    if (c.empty()) return;
    for (int i = 0; i < nr; ++i) v[i] += w * c[i];
  };
  // w times the column at (k, j), as the limit from above at the source's interface when `sl`.
  const auto add_source = [&](double w, SourceType type, Component slot, int k, int j, bool sl,
                              std::vector<double>& v) {
    if (!sl) return axpy(w, t.column(k, type, j, slot), v);
    switch (type) {
      case SourceType::ss:
        return axpy(w * c_ss, t.column(k, type, j, slot), v);
      case SourceType::ds:
        return axpy(w, t.column(k, type, j, slot), v);
      case SourceType::cl:
      case SourceType::ex: {
        const int row = type == SourceType::cl ? 0 : 1;
        axpy(w * mix[row][0], t.column(k, SourceType::cl, j, slot), v);
        axpy(w * mix[row][1], t.column(k, SourceType::ex, j, slot), v);
        return;
      }
    }
  };
  // The same, as the limit from above at the receiver's interface when `rl`.
  const auto add = [&](double w, SourceType type, Component slot, int k, int j, bool rl, bool sl,
                       std::vector<double>& v) {
    if (!rl) return add_source(w, type, slot, k, j, sl, v);
    const EarthModel::Limit& L = t.earth.limits[static_cast<std::size_t>(jump.iface)];
    if (slot == ezz) {
      const double m = L.lambda_above + 2 * L.mu_above;
      add_source(w * (L.lambda_below + 2 * L.mu_below) / m, type, ezz, k, j, sl, v);
      add_source(w * (L.lambda_below - L.lambda_above) / m, type, err, k, j, sl, v);
      add_source(w * (L.lambda_below - L.lambda_above) / m, type, ett, k, j, sl, v);
    } else {  // ezr, etz
      add_source(w * L.mu_below / L.mu_above, type, slot, k, j, sl, v);
    }
  };
  // f = the column (type, slot) interpolated in source and observation depth.
  auto column = [&](SourceType type, Component slot, std::vector<double>& v) {
    std::fill(v.begin(), v.end(), 0.0);
    const bool vertical = slot == ezz || slot == ezr || slot == etz;
    const DepthWeights& d = vertical ? jump : smooth;
    const bool with_limit =
        lim >= 0 && (type == SourceType::ss || type == SourceType::ds || t.isotropic);
    const Stencil& sj = with_limit ? sj_lim : sj_one;
    for (int kk = 0; kk < d.n; ++kk) {
      for (int m = 0; m < sj.npts; ++m) {
        const double w = d.w[kk] * sj.w[m];
        if (w == 0) continue;
        add(w, type, slot, d.k0 + kk, sj.i0 + m, vertical && kk == d.limit, with_limit && m == lim,
            v);
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

void parallel_for(int threads, int n, const std::function<void(int, int)>& task,
                  const std::function<void()>& after) {
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex m;
  auto work = [&](int worker) {
    while (!failed.load()) {
      const int i = next.fetch_add(1);
      if (i >= n) break;
      try {
        task(i, worker);
      } catch (...) {
        std::lock_guard<std::mutex> lock(m);
        if (!error) error = std::current_exception();
        failed = true;
      }
      if (worker == 0 && after) after();
    }
  };
  std::vector<std::thread> pool;
  const int extra = std::max(0, std::min(threads, n) - 1);
  for (int w = 0; w < extra; ++w) pool.emplace_back(work, w + 1);
  work(0);
  for (auto& th : pool) th.join();
  if (error) std::rethrow_exception(error);
}

void accumulate_fields(const TableView& t, const PointSources& src,
                       const std::vector<Receiver>& receivers, std::size_t first, std::size_t last,
                       const SynthesisOptions& opt, double* acc, const Finish& finish) {
  const int acc_n = accumulated(opt.need);
  const int nrec = static_cast<int>(last - first);
  const int nr = static_cast<int>(t.r.size());
  if (nr < 4) throw Stop("kirva-syn: the library holds fewer than 4 distances");
  if (src.nslip < 1 || src.nslip > kMaxSlip) throw Stop("kirva-syn: unsupported slip count");
  const int nslip = src.nslip;
  const int ncol = src.by_model ? src.ncolumns : 1;
  // Accumulators of one receiver: a field per column and slip direction.
  const std::size_t per_receiver = static_cast<std::size_t>(ncol) * nslip * acc_n;

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
  const auto& points = src.points;
  std::vector<int> order(points.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return points[a].depth < points[b].depth; });
  KernelSources ks;
  ks.nslip = nslip;
  std::vector<double> group_depth;
  std::vector<int> group_begin;
  for (int i : order) {
    const SourcePoint& p = points[i];
    if (group_depth.empty() || p.depth != group_depth.back()) {
      group_depth.push_back(p.depth);
      group_begin.push_back(ks.size());
    }
    const Tensor6* m = src.tensors.empty() ? &p.potency : &src.tensors[i * nslip];
    ks.push(p.north, p.east, m, src.by_model ? p.model : -1);
  }
  group_begin.push_back(ks.size());
  const int ngroup = static_cast<int>(group_depth.size());

  // Receivers by depth: each depth has its own observation-depth weights.
  std::map<double, std::vector<int>> classes;
  for (int i = 0; i < nrec; ++i) classes[receivers[first + i].depth].push_back(i);

  // Sources with isotropic parts add the explosion's block to every row.
  const bool iso = any_isotropic(src);
  if (iso && !t.isotropic) {
    throw Stop(
        "kirva-syn: a source opens or changes volume, and the library holds no explosion "
        "table: make the library with kirva --isotropic");
  }
  const LayoutInfo wide_layout = layout_info(opt.need, false);
  const int width = wide_layout.width + (iso ? wide_layout.np : 0);
  const std::size_t group_bytes = static_cast<std::size_t>(nr + 1) * width * sizeof(double);
  const int chunk = std::max<int>(1, static_cast<int>((std::size_t{512} << 20) / group_bytes));
  std::vector<Reduced> reduced(std::min(chunk, ngroup));

  const double total = static_cast<double>(nrec) * static_cast<double>(ks.size());
  double done = 0;
  constexpr int kBlock = 32;
  // With a finish and the tables of all source depths at hand at once, each block of receivers
  // is summed in a worker's buffer and finished there, while it is in the cache; otherwise the
  // sums go to acc (allocated here when the caller finishes blocks) and blocks are finished at
  // the end of their depth class.
  const bool by_block = finish && ngroup <= chunk;
  std::vector<std::vector<double>> buffers;
  std::vector<double> own;
  if (by_block) {
    buffers.assign(std::max(1, opt.threads), std::vector<double>(kBlock * per_receiver));
  } else if (finish) {
    own.assign(static_cast<std::size_t>(nrec) * per_receiver, 0.0);
    acc = own.data();
  }
  for (const auto& cls : classes) {
    const double depth = cls.first;
    const std::vector<int>& members = cls.second;
    // Observation-depth weights: the nearest (up to 4) tabulated depths of the receiver's layer.
    const DepthWeights smooth = observation_weights(t, depth, false);
    const DepthWeights jump = observation_weights(t, depth, true);
    const int k0 = smooth.k0;
    const bool surface = opt.use_free_surface && smooth.n == 1 && jump.n == 1 && jump.k0 == k0 &&
                         opt.need != Need::displacement && free_surface(t, k0, iso);
    // No traction on the free surface: ezz from the horizontal strains, for `count` receivers
    // from a.
    const double lam = t.earth.lambda(t.zrec[k0]), mu = t.earth.mu(t.zrec[k0]);
    const auto free_surface_strain = [&](double* a0, int count) {
      const int st = nslip;  // the slip directions of a column lie side by side, value by value
      for (std::size_t b = 0; b < count * per_receiver; b += static_cast<std::size_t>(acc_n) * st) {
        for (int sl = 0; sl < st; ++sl) {
          double* a = a0 + b + sl;
          if (opt.need == Need::strain) {
            a[8 * st] = -lam / (lam + 2 * mu) * (a[3 * st] + a[6 * st]);
          } else {
            a[11 * st] = -lam / (lam + 2 * mu) * (a[3 * st] + a[7 * st]);
          }
        }
      }
    };
    const Kernel kernel =
        kernel_for(opt.need, surface, g.uniform, nslip, src.by_model, iso, opt.wide);
    const int nblocks = (static_cast<int>(members.size()) + kBlock - 1) / kBlock;
    for (int g0 = 0; g0 < ngroup; g0 += chunk) {
      const int g1 = std::min(ngroup, g0 + chunk);
      parallel_for(
          opt.threads, g1 - g0,
          [&](int i, int) {
            reduce(t, opt.need, surface, group_depth[g0 + i], smooth, jump, reduced[i], iso);
          },
          nullptr);
      const double share = static_cast<double>(group_begin[g1] - group_begin[g0]);
      std::atomic<int> blocks_done{0};
      parallel_for(
          opt.threads, nblocks,
          [&](int b, int worker) {
            const int m0 = b * kBlock;
            const int m1 = std::min<int>(static_cast<int>(members.size()), m0 + kBlock);
            // A block's accumulators: in acc, or (finished at once) a worker's own buffer.
            double* buffer = by_block ? buffers[worker].data() : nullptr;
            if (by_block) std::fill(buffers[worker].begin(), buffers[worker].end(), 0.0);
            for (int gi = g0; gi < g1; ++gi) {
              const double* rows = reduced[gi - g0].rows.data();
              for (int m = m0; m < m1; ++m) {
                const Receiver& rc = receivers[first + members[m]];
                double* a = by_block ? buffer + static_cast<std::size_t>(m - m0) * per_receiver
                                     : acc + static_cast<std::size_t>(members[m]) * per_receiver;
                kernel(ks, group_begin[gi], group_begin[gi + 1], rows, g, rc.north, rc.east, a);
              }
            }
            if (by_block) {
              if (surface) free_surface_strain(buffer, m1 - m0);
              finish(members.data() + m0, m1 - m0, buffer);
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
    if (surface && !by_block) {
      for (int m : members)
        free_surface_strain(acc + static_cast<std::size_t>(m) * per_receiver, 1);
    }
    if (!by_block && finish) {
      for (std::size_t b = 0; b < members.size(); b += kBlock) {
        const int count = static_cast<int>(std::min<std::size_t>(kBlock, members.size() - b));
        std::vector<double> block(count * per_receiver);
        for (int m = 0; m < count; ++m) {
          const double* a = acc + static_cast<std::size_t>(members[b + m]) * per_receiver;
          std::copy(a, a + per_receiver, block.begin() + m * per_receiver);
        }
        finish(members.data() + b, count, block.data());
      }
    }
  }
  if (opt.progress) opt.progress(1.0);
}

Field field_of(const double* acc, Need need, int stride) {
  double a[12];
  for (int i = 0; i < accumulated(need); ++i) a[i] = acc[i * stride];
  // To the east-north-up frame: e = y, n = x, u = -z of the table frame.
  Field f;
  f.u = {a[1], a[0], -a[2]};
  const int map[3] = {1, 0, 2};
  const double sign[3] = {1, 1, -1};
  if (need == Need::gradient) {
    const double* G = a + 3;  // G[3 * i + j], i, j over x, y, z
    for (int p = 0; p < 3; ++p) {
      for (int q = 0; q < 3; ++q) f.grad[p][q] = sign[p] * sign[q] * G[3 * map[p] + map[q]];
    }
  } else if (need == Need::strain) {
    const double* e = a + 3;  // exx, exy, exz, eyy, eyz, ezz
    const int at[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
    for (int p = 0; p < 3; ++p) {
      for (int q = 0; q < 3; ++q) f.grad[p][q] = sign[p] * sign[q] * e[at[map[p]][map[q]]];
    }
  }
  return f;
}

std::vector<Field> fields_at(const TableView& t, const PointSources& src,
                             const std::vector<Receiver>& receivers, std::size_t first,
                             std::size_t last, const SynthesisOptions& opt) {
  const std::size_t ns = src.nslip;
  const std::size_t nfield = (last - first) * (src.by_model ? src.ncolumns : 1) * ns;
  const int acc_n = accumulated(opt.need);
  std::vector<double> acc(nfield * acc_n, 0.0);
  accumulate_fields(t, src, receivers, first, last, opt, acc.data(), nullptr);
  std::vector<Field> out(nfield);
  for (std::size_t i = 0; i < nfield; ++i) {
    out[i] = field_of(acc.data() + (i / ns) * ns * acc_n + i % ns, opt.need, ns);
  }
  return out;
}

std::vector<Field> synthesise(const TableView& t, const std::vector<SourcePoint>& points,
                              const std::vector<Receiver>& receivers, const SynthesisOptions& opt) {
  PointSources src;
  src.points = points;
  return fields_at(t, src, receivers, 0, receivers.size(), opt);
}

}  // namespace kirva::syn
