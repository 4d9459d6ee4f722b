#include "fixtures.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kirva::testing {

LayerTable make_table(const std::vector<Row>& rows) {
  LayerTable lt;
  lt.nlayer = static_cast<int>(rows.size());
  for (int l = 1; l <= lt.nlayer; ++l) {
    const Row& r = rows[l - 1];
    lt.thick[l] = r.thick;
    lt.vp[l] = r.vp;
    lt.vs[l] = r.vs;
    lt.ro[l] = r.ro;
  }
  return lt;
}

std::unique_ptr<RowTable> row_table(const LayerTable& lt) {
  auto rt = std::make_unique<RowTable>();
  krvrowtab(lt, *rt);
  return rt;
}

ComputationalLayers cut_layers(const LayerTable& lt, double zs, double zrec,
                               const std::vector<double>& extra) {
  std::vector<double> top(lt.nlayer + 1);  // top(l) of table row l
  top[1] = 0.0;
  for (int l = 1; l < lt.nlayer; ++l) top[l + 1] = top[l] + lt.thick[l];
  std::vector<double> z(top.begin() + 1, top.end());
  z.push_back(zs);
  z.push_back(zrec);
  z.insert(z.end(), extra.begin(), extra.end());
  std::sort(z.begin(), z.end());
  z.erase(std::unique(z.begin(), z.end()), z.end());

  ComputationalLayers cl;
  cl.nl = static_cast<int>(z.size());
  for (int i = 1; i <= cl.nl; ++i) {
    cl.zl[i] = z[i - 1];
    cl.hl[i] = i < cl.nl ? z[i] - z[i - 1] : 0.0;
    int row = lt.nlayer;
    for (int l = 1; l < lt.nlayer; ++l) {
      if (z[i - 1] >= top[l] && z[i - 1] < top[l + 1]) row = l;
    }
    cl.lay[i] = row;
    if (z[i - 1] == zs) cl.ls = i;
    if (z[i - 1] == zrec) cl.lzrec = i;
  }
  return cl;
}

SourceTerms jump(double b1, double b2, double b3, double b4, double b5, double b6) {
  SourceTerms s;
  s.sjump = {0.0, b1, b2, b3, b4, b5, b6};
  return s;
}

std::array<std::array<long double, 4>, 4> elementary_solutions(double k, long double z, int r,
                                                               const LayerTable& lt) {
  const long double mu = static_cast<long double>(lt.ro[r]) * lt.vs[r] * lt.vs[r];
  const long double d = mu / (static_cast<long double>(lt.ro[r]) * lt.vp[r] * lt.vp[r] - mu);
  const long double g = 2 * mu * k;
  const long double x = k * z;
  return {{{1, g, 1, g},
           {-1, g, 1, -g},
           {1 - x + 2 * d, g * (1 - x + d), -x, g * (d - x)},
           {1 + x + 2 * d, -g * (1 + x + d), -x, g * (x + d)}}};
}

namespace {

using Matrix = std::vector<std::vector<long double>>;  // [row][column]

// Gaussian elimination with partial pivoting in extended precision.
std::vector<long double> solve_dense(Matrix a, std::vector<long double> b) {
  const std::size_t n = b.size();
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t p = c;
    for (std::size_t r = c + 1; r < n; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    }
    if (a[p][c] == 0.0L) throw std::runtime_error("singular reference system");
    std::swap(a[p], a[c]);
    std::swap(b[p], b[c]);
    for (std::size_t r = c + 1; r < n; ++r) {
      const long double f = a[r][c] / a[c][c];
      if (f == 0.0L) continue;
      for (std::size_t j = c; j < n; ++j) a[r][j] -= f * a[c][j];
      b[r] -= f * b[c];
    }
  }
  std::vector<long double> x(n);
  for (std::size_t r = n; r-- > 0;) {
    long double s = b[r];
    for (std::size_t j = r + 1; j < n; ++j) s -= a[r][j] * x[j];
    x[r] = s / a[r][r];
  }
  return x;
}

double shear_modulus(const LayerTable& lt, int r) {
  return lt.ro[r] * lt.vs[r] * lt.vs[r];
}

// Basis of one region at one of its ends: nv-component vectors (columns) times the coefficients
// of that region. Regions: 0 is the space above the surface (only the displacements are free),
// 1..nl the computational layers.
struct Basis {
  int ncoef = 0;
  std::array<std::array<long double, 4>, 4> col{};  // col[j][i]: component i of column j
};

// P-SV: growing solutions are referenced to the layer bottom, decaying ones to its top, so every
// exponential is at most 1.
Basis psv_basis(const LayerTable& lt, const ComputationalLayers& cl, double k, int region,
                bool at_bottom, bool fluid_bottom) {
  Basis bs;
  const bool free_like = region == 0 || (region == cl.nl && fluid_bottom);
  if (free_like) {
    bs.ncoef = 2;
    bs.col[0] = {1, 0, 0, 0};
    bs.col[1] = {0, 0, 1, 0};
    return bs;
  }
  const int r = cl.lay[region];
  const auto m0 = elementary_solutions(k, 0.0L, r, lt);
  if (region == cl.nl) {  // half-space, at its top: decaying solutions only
    bs.ncoef = 2;
    bs.col[0] = m0[1];
    bs.col[1] = m0[3];
    return bs;
  }
  const long double h = cl.hl[region];
  const long double e = std::exp(-static_cast<long double>(k) * h);
  bs.ncoef = 4;
  const auto mz = elementary_solutions(k, at_bottom ? h : -h, r, lt);
  for (int i = 0; i < 4; ++i) {
    if (at_bottom) {
      bs.col[0][i] = m0[0][i];
      bs.col[1][i] = mz[1][i] * e;
      bs.col[2][i] = m0[2][i];
      bs.col[3][i] = mz[3][i] * e;
    } else {
      bs.col[0][i] = mz[0][i] * e;
      bs.col[1][i] = m0[1][i];
      bs.col[2][i] = mz[2][i] * e;
      bs.col[3][i] = m0[3][i];
    }
  }
  return bs;
}

Basis sh_basis(const LayerTable& lt, const ComputationalLayers& cl, double k, int region,
               bool at_bottom, bool fluid_bottom) {
  Basis bs;
  if (region == 0 || (region == cl.nl && fluid_bottom)) {
    bs.ncoef = 1;
    bs.col[0] = {1, 0, 0, 0};
    return bs;
  }
  const int r = cl.lay[region];
  const long double kmu = static_cast<long double>(k) * lt.ro[r] * lt.vs[r] * lt.vs[r];
  if (region == cl.nl) {
    bs.ncoef = 1;
    bs.col[0] = {1, -kmu, 0, 0};
    return bs;
  }
  const long double e = std::exp(-static_cast<long double>(k) * cl.hl[region]);
  const long double eg = at_bottom ? 1.0L : e;  // exp(k (z - bottom))
  const long double ed = at_bottom ? e : 1.0L;  // exp(-k (z - top))
  bs.ncoef = 2;
  bs.col[0] = {eg, kmu * eg, 0, 0};
  bs.col[1] = {ed, -kmu * ed, 0, 0};
  return bs;
}

template <int NV, typename BasisFn>
std::array<double, NV> reference(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                 const std::array<double, NV>& b, BasisFn basis) {
  // Coefficient offsets of the regions 0..nl.
  std::vector<int> off(cl.nl + 2);
  off[0] = 0;
  for (int g = 0; g <= cl.nl; ++g) off[g + 1] = off[g] + basis(g, false).ncoef;
  const int n = off[cl.nl + 1];
  if (n != NV * cl.nl) throw std::runtime_error("reference system not square");

  // Stresses are scaled by 2 mu k of the stiffest row so that all equations weigh alike.
  double mumax = 0.0;
  for (int l = 1; l <= lt.nlayer; ++l) mumax = std::max(mumax, shear_modulus(lt, l));
  const double sscale = 1.0 / (2.0 * mumax * k);
  auto weight = [&](int comp) {
    return (NV == 4 ? (comp == 1 || comp == 3) : comp == 1) ? sscale : 1.0;
  };

  Matrix a(n, std::vector<long double>(n, 0.0L));
  std::vector<long double> rhs(n, 0.0L);
  // Interface at the top of layer g: field of region g-1 at its bottom minus field of layer g at
  // its top equals the jump at the source depth and 0 elsewhere.
  for (int g = 1; g <= cl.nl; ++g) {
    const Basis above = basis(g - 1, true);
    const Basis below = basis(g, false);
    for (int i = 0; i < NV; ++i) {
      const int row = NV * (g - 1) + i;
      for (int j = 0; j < above.ncoef; ++j) a[row][off[g - 1] + j] = above.col[j][i] * weight(i);
      for (int j = 0; j < below.ncoef; ++j) a[row][off[g] + j] = -below.col[j][i] * weight(i);
      if (g == cl.ls) rhs[row] = b[i] * weight(i);
    }
  }
  const std::vector<long double> c = solve_dense(a, rhs);

  // Field just above the observation depth when it is at or above the source, else just below.
  const int region = cl.lzrec <= cl.ls ? cl.lzrec - 1 : cl.lzrec;
  const Basis bs = basis(region, cl.lzrec <= cl.ls);
  std::array<double, NV> y{};
  for (int i = 0; i < NV; ++i) {
    long double s = 0.0L;
    for (int j = 0; j < bs.ncoef; ++j) s += bs.col[j][i] * c[off[region] + j];
    y[i] = static_cast<double>(s);
  }
  return y;
}

}  // namespace

std::array<double, 4> reference_psv(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                    const std::array<double, 4>& b, bool fluid_bottom) {
  return reference<4>(lt, cl, k, b, [&](int g, bool bottom) {
    return psv_basis(lt, cl, k, g, bottom, fluid_bottom);
  });
}

std::array<double, 2> reference_sh(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                   const std::array<double, 2>& b, bool fluid_bottom) {
  return reference<2>(lt, cl, k, b, [&](int g, bool bottom) {
    return sh_basis(lt, cl, k, g, bottom, fluid_bottom);
  });
}

}  // namespace kirva::testing
