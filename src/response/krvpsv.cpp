// P-SV response of the layered half-space at one wavenumber.
//
// Two pairs of independent solutions are swept towards the source: from the top (free surface or
// the cut-off level above the source) downward and from the bottom (decay in the half-space or
// below the cut-off level) upward. Thick layers are crossed with the exact layer solutions: the
// growth factor exp(kh) is divided out and the pair is recombined so that its two vectors stay
// independent. Thin layers use the propagator, which does not cancel when kh is small. The pair on
// the observation side is taken at the observation depth and then receives the same
// recombinations, so the source coefficients found at the end apply to it as well.
//
// Under gravity the earth is in hydrostatic pre-stress, which the displacement advects: the
// elastic stress keeps its equations inside every row, and the normal traction takes the
// buoyancy of the density contrasts at their boundaries, szz(below) = szz(above) + (rho_below -
// rho_above) g uz (z and uz down), at the free surface szz = rho_1 g uz (the incremental
// Lagrangian stress less the advected pre-stress; Dahlen and Tromp, Theoretical Global
// Seismology, 1998, ch. 3). The body force rho g div(u) of a compressible row is left out: it
// vanishes in incompressible rows, and kept in relaxed compressible ones it makes them unstable
// (Vermeersen and Mitrovica, Geophys. J. Int. 142, 351-360, 2000).
#include <array>
#include <cmath>

#include "response/inline_ops.h"
#include "response/response.h"
#include "response/solver.h"

namespace kirva {

namespace {

constexpr double thin_kh = 0.001;      // layers with k*h up to this take the propagator step
constexpr double pivot_eps = 1.0e-99;  // smallest usable pivot of the source system

// Element (i, j), 1-based, of a 4-row column-major matrix.
constexpr int at4(int i, int j) {
  return (j - 1) * 4 + (i - 1);
}

// p (4x2) = a (4x4) * v (4x2), summed over the columns of a in increasing order.
inline void mul44_42(const double* a, const double* v, double* p) {
  for (int c = 0; c < 2; ++c) {
    for (int r = 0; r < 4; ++r) {
      double acc = a[r] * v[4 * c];
      for (int j = 1; j < 4; ++j) acc += a[4 * j + r] * v[4 * c + j];
      p[4 * c + r] = acc;
    }
  }
}

// Thin layer (|k h| <= thin_kh): the pair times the P-SV propagator over h (negative: upward).
// At this size cosh and sinh(x)/x come from their series, which are exact to rounding there.
inline void thin_step(double* pair, double k, double h, const RowConstants& c) {
  const double x = k * h;
  const double x2 = x * x;
  const double ch = 1.0 + (x2 * 0.5) * (1.0 + x2 / 12.0);
  const double s = 1.0 + (x2 / 6.0) * (1.0 + x2 / 20.0);
  const double d = c.d, g = 2.0 * c.mu * k;
  const double t = x2 * s * c.iopd;
  const double u = c.opd2 * s;
  const double xo = x * c.iopd;
  const double a11 = ch - t;
  const double a33 = ch + t;
  const double a13 = (ch - d * s) * xo;
  const double a24 = (ch + d * s) * xo;
  const double a14 = x * h * s * c.iq;
  const double a23 = g * t;
  const double a[16] = {
      a11, (s - ch) * xo * g, -a24, -a23, (u - ch) * h * c.iq, a11, -a14, -a13, a13, a23,
      a33, (s + ch) * xo * g, a14,  a24,  (u + ch) * h * c.iq, a33};
  double p[8];
  mul44_42(a, pair, p);
  for (int i = 0; i < 8; ++i) pair[i] = p[i];
}

// The mass the deformation moves and its potential at the observation depth z0 (Poisson's
// equation per wavenumber: a sheet of surface density sigma at depth z gives (2 pi G/k) sigma
// exp(-k|z0 - z|), positive above a mass excess; the change of downward gravity is +k times that
// for a sheet below z0 and -k times it for one above; at z0 itself the sheet counts as below, the
// point being just above it). In a homogeneous row the dilatation of the solution of
// coefficients c is harmonic, 2 d k (c3 e^{k zeta} - c4 e^{-k zeta}) at offset zeta from the
// reference end, so the attraction of the density change -rho div(u) integrates in closed form.
struct PotentialSweep {
  double z0 = 0.0;
  double acc[4] = {};  // potential and gravity at z0 of the region swept, per vector of the pair
};

constexpr double kNewtonG = 6.67430e-11;  // m^3 kg^-1 s^-2 (CODATA 2018)
constexpr double kPi = 3.14159265358979323846;

// Adds sigma(v) = w * uz of each vector of the pair, a sheet at depth z.
inline void add_sheet(PotentialSweep& p, const double* pair, double w, double z, double k) {
  const double f = 2.0 * kPi * kNewtonG / k * w * std::exp(-k * std::fabs(p.z0 - z));
  const double gk = z >= p.z0 ? k : -k;
  for (int v = 0; v < 2; ++v) {
    const double phi = f * pair[4 * v];
    p.acc[2 * v] += phi;
    p.acc[2 * v + 1] += gk * phi;
  }
}

// The potential at z0 of the dilatation of layer [a, a + h] (density rho, d = mu/(lambda + mu))
// for coefficients c3, c4 at the reference end (the top going down, the bottom going up); times
// exp(-kh) when `scaled`, the factor a thick step divides out.
inline double layer_phi(double c3, double c4, bool down, bool scaled, double k, double h, double a,
                        double z0, double rho, double d) {
  const double f = -4.0 * kPi * kNewtonG * rho * d;
  const double q = -std::expm1(-2.0 * k * h) / (2.0 * k);  // (1 - exp(-2kh))/(2k)
  const double sh = scaled ? h : 0.0;                      // the exponent of exp(-kh), over k
  const double b = a + h;
  if (down) {
    if (a >= z0) {
      const double dist = a - z0;
      // (A half-space below, h infinite, has c3 = 0.)
      return f * std::exp(-k * (dist + sh)) * ((c3 != 0.0 ? c3 * h : 0.0) - c4 * q);
    }
    const double dist = z0 - a;
    return f *
           (c3 * q * std::exp(-k * (dist - 2.0 * h + sh)) - c4 * h * std::exp(-k * (dist + sh)));
  }
  if (a >= z0) {
    const double dist = b - z0;
    return f *
           (c3 * h * std::exp(-k * (dist + sh)) - c4 * q * std::exp(-k * (dist - 2.0 * h + sh)));
  }
  const double dist = z0 - b;
  return f * std::exp(-k * (dist + sh)) * (c3 * q - c4 * h);
}

// Adds the layer's dilatation for the pair of coefficients cm (4 x 2) to p, times exp(-kh) when
// `scaled`.
inline void add_layer(PotentialSweep& p, const double* cm, bool down, bool scaled, double k,
                      double h, double a, double rho, double d, double* out) {
  const double gk = a >= p.z0 ? k : -k;
  for (int v = 0; v < 2; ++v) {
    const double phi = layer_phi(cm[4 * v + 2], cm[4 * v + 3], down, scaled, k, h, a, p.z0, rho, d);
    out[2 * v] = phi;
    out[2 * v + 1] = gk * phi;
  }
}

// The coefficients of the elementary solutions of the pair at the reference end of a row:
// cm = (inverse layer matrix at the reference end) * pair; the inverse at z = 0 is
//   f * ( -d    0    1+d   (1+2d)/g )
//       (  d    0    1+d  -(1+2d)/g )
//       (  1   1/g   -1     -1/g    )
//       (  1  -1/g    1     -1/g    )
inline void coefficients(const double* pair, double ik, const RowConstants& c, double* cm) {
  const double fg = c.fg * ik, ug = c.ug * ik;
  for (int col = 0; col < 2; ++col) {
    const double* v = pair + 4 * col;
    double* w = cm + 4 * col;
    w[0] = -c.df * v[0] + c.opdf * v[2] + ug * v[3];
    w[1] = c.df * v[0] + c.opdf * v[2] - ug * v[3];
    w[2] = c.f * v[0] + fg * v[1] - c.f * v[2] - fg * v[3];
    w[3] = c.f * v[0] - fg * v[1] + c.f * v[2] - fg * v[3];
  }
}

// The layer of the sweep a potential step needs: its top, density and d.
struct SweptLayer {
  PotentialSweep* pot = nullptr;
  double top = 0.0, rho = 0.0;
};

// Thick layer: carries the pair from the reference end of the layer (top going down, bottom
// going up) to the far end with the exact layer solutions. The pair is resolved into the four
// elementary solutions, recombined so that each vector lacks one of the two solutions that grow in
// the direction of travel, and the growth factor exp(kh) is divided out. The observation pair
// receives the same recombination (times exp(-kh)) while it is carried (CarryObs).
// Down: rows 1 and 3 of the coefficients grow, 2 and 4 decay; up: the other way round.
template <bool Down, bool CarryObs, bool Pot>
inline void thick_step(double* pair, double* obs, double k, double ik, double h,
                       const RowConstants& c, const SweptLayer& sw) {
  constexpr int grow1 = Down ? 1 : 2, grow2 = Down ? 3 : 4;
  constexpr int decay1 = Down ? 2 : 1, decay2 = Down ? 4 : 3;

  double cm[8];
  coefficients(pair, ik, c, cm);

  const double e = std::exp(-k * h);
  const double q1 = cm[0] * cm[0] + cm[1] * cm[1] + cm[2] * cm[2] + cm[3] * cm[3];
  const double q2 = cm[4] * cm[4] + cm[5] * cm[5] + cm[6] * cm[6] + cm[7] * cm[7];
  const double s = 1.0 / std::sqrt(q1 * q2);
  // Recombination R = s * adj, the adjugate of the growing 2x2 block normalised by the column
  // lengths. The factor s is applied to the new pair at the end, so that the products below need
  // not wait for the square root.
  const double r11 = cm[at4(grow2, 2)];
  const double r21 = -cm[at4(grow2, 1)];
  const double r12 = -cm[at4(grow1, 2)];
  const double r22 = cm[at4(grow1, 1)];

  // dm = cm * adj; the entries (grow2, 1) and (grow1, 2) vanish and are never formed.
  double dm[8] = {};
  for (int r = 0; r < 4; ++r) {
    if (r != grow2 - 1) dm[r] = cm[r] * r11 + cm[4 + r] * r21;
    if (r != grow1 - 1) dm[4 + r] = cm[r] * r12 + cm[4 + r] * r22;
  }

  if constexpr (Pot) {
    // The region swept so far and this layer, in the new pair's normalisation.
    PotentialSweep& p = *sw.pot;
    double in[4];
    add_layer(p, cm, Down, true, k, h, sw.top, sw.rho, c.d, in);
    const double a1[2] = {p.acc[0] * e + in[0], p.acc[1] * e + in[1]};
    const double a2[2] = {p.acc[2] * e + in[2], p.acc[3] * e + in[3]};
    for (int q = 0; q < 2; ++q) {
      p.acc[q] = (a1[q] * r11 + a2[q] * r21) * s;
      p.acc[2 + q] = (a1[q] * r12 + a2[q] * r22) * s;
    }
  }

  if constexpr (CarryObs) {
    const double se = s * e;
    const double e11 = r11 * se, e21 = r21 * se, e12 = r12 * se, e22 = r22 * se;
    for (int r = 0; r < 4; ++r) {
      const double o1 = obs[r], o2 = obs[4 + r];
      obs[r] = o1 * e11 + o2 * e21;
      obs[4 + r] = o1 * e12 + o2 * e22;
    }
  }

  // Relative to the growing solutions, the decaying ones lose exp(-2kh) across the layer.
  const double ee = e * e;
  dm[decay1 - 1] *= ee;
  dm[4 + decay1 - 1] *= ee;
  dm[decay2 - 1] *= ee;
  dm[4 + decay2 - 1] *= ee;

  // pair = s * (layer matrix at the far end) * dm, without the products with the two zeros.
  double m[16];
  detail::layer_matrix(m, k, Down ? h : -h, {c.mu, c.d, 2.0 * c.mu * k});
  for (int r = 0; r < 4; ++r) {
    double acc1 = 0.0, acc2 = 0.0;
    bool first1 = true, first2 = true;
    for (int j = 0; j < 4; ++j) {
      if (j != grow2 - 1) {
        const double p = m[4 * j + r] * dm[j];
        acc1 = first1 ? p : acc1 + p;
        first1 = false;
      }
      if (j != grow1 - 1) {
        const double p = m[4 * j + r] * dm[4 + j];
        acc2 = first2 ? p : acc2 + p;
        first2 = false;
      }
    }
    pair[r] = acc1 * s;
    pair[4 + r] = acc2 * s;
  }
}

// One layer step of the pair over thickness h, downward (Down) or upward; the observation pair
// follows the recombination when carry is set.
template <bool Down, bool Pot>
inline void layer_step(double* pair, double* obs, bool carry, double k, double ik, double h,
                       const RowConstants& c, const SweptLayer& sw) {
  if (k * h <= thin_kh) {
    if constexpr (Pot) {
      double cm[8], in[4];
      coefficients(pair, ik, c, cm);
      add_layer(*sw.pot, cm, Down, false, k, h, sw.top, sw.rho, c.d, in);
      for (int q = 0; q < 4; ++q) sw.pot->acc[q] += in[q];
    }
    thin_step(pair, k, Down ? h : -h, c);
  } else if (carry) {
    thick_step<Down, true, Pot>(pair, obs, k, ik, h, c, sw);
  } else {
    thick_step<Down, false, Pot>(pair, obs, k, ik, h, c, sw);
  }
}

// The pair across the top of computational layer j: from just above it to just below (down) or
// back (up), the normal traction taking the buoyancy of the density step there.
inline void buoyancy_step(double* pair, int j, bool down, const KernelContext& ctx) {
  const double g = ctx.lt.gravity;
  if (g == 0.0) return;
  const double step = (ctx.lt.ro[ctx.cl.lay[j]] - ctx.lt.ro[ctx.cl.lay[j - 1]]) * g;
  if (step == 0.0) return;
  const double c = down ? step : -step;
  pair[1] += c * pair[0];
  pair[5] += c * pair[4];
}

}  // namespace

namespace {

// The sweeps and the source; with `pot`, also the potential and gravity change at the
// observation depth (pot[0], pot[1]).
template <bool Pot>
void psv(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx, double* pot) {
  const LayerTable& lt = ctx.lt;
  const ComputationalLayers& cl = ctx.cl;
  const int ls = cl.ls, lzrec = cl.lzrec;

  for (int i = 1; i <= 4; ++i) y[i] = 0.0;
  if constexpr (Pot) pot[0] = pot[1] = 0.0;
  double up[8] = {}, obs[8] = {}, lo[8] = {};
  double mat[16];

  // Depth window: beyond ln(1/eps)/k from the source the field has decayed below eps, and an
  // observation depth outside the window sees nothing.
  int lup, llw;
  detail::depth_window(k, eps, cl, lup, llw);
  if (lup > lzrec || llw < lzrec) return;
  const double ik = 1.0 / k;
  PotentialSweep pup, plo;
  pup.z0 = plo.z0 = cl.zl[lzrec];
  const auto swept = [&](PotentialSweep& p, int i) {
    return Pot ? SweptLayer{&p, cl.zl[i], lt.ro[cl.lay[i]]} : SweptLayer{};
  };
  // The sheet of the density step at the top of layer j, from the pair there.
  const auto step_sheet = [&](PotentialSweep& p, const double* pair, int j) {
    const double drho = lt.ro[cl.lay[j]] - lt.ro[cl.lay[j - 1]];
    if (drho != 0.0) add_sheet(p, pair, -drho, cl.zl[j], k);
  };

  // Top of the window: the free surface (under gravity loaded by the buoyancy of the uplift), or
  // the solutions of the layer above that decay upward, carried across its bottom.
  if (lup == 1) {
    up[at4(1, 1)] = 1.0;
    up[at4(2, 1)] = lt.ro[cl.lay[1]] * lt.gravity;
    up[at4(3, 2)] = 1.0;
    // The rock the uplift puts above the surface.
    if constexpr (Pot) add_sheet(pup, up, -lt.ro[cl.lay[1]], 0.0, k);
  } else {
    const RowConstants& c = ctx.rows.row[cl.lay[lup - 1]];
    detail::layer_matrix(mat, k, 0.0, {c.mu, c.d, 2.0 * c.mu * k});
    vcopy(&mat[0], &up[0], 4);
    vcopy(&mat[8], &up[4], 4);
    buoyancy_step(up, lup, true, ctx);
  }
  if (lup == lzrec) vcopy(up, obs, 8);

  // Bottom of the window: a fluid-like layer has free shear at its top; otherwise the solutions
  // that decay with depth.
  const int rb = cl.lay[llw];
  if (lt.vs[rb] < 0.001 * lt.vp[rb]) {
    lo[at4(1, 1)] = 1.0;
    lo[at4(3, 2)] = 1.0;
  } else {
    const RowConstants& c = ctx.rows.row[rb];
    detail::layer_matrix(mat, k, 0.0, {c.mu, c.d, 2.0 * c.mu * k});
    vcopy(&mat[4], &lo[0], 4);
    vcopy(&mat[12], &lo[4], 4);
    if constexpr (Pot) {
      // The dilatation of the decaying solutions below, down to the bottom of the layer (the
      // half-space: without end); only the second carries any, with c4 = 1.
      const double h = cl.hl[llw] > 0.0 ? cl.hl[llw] : INFINITY;
      const double cm[8] = {0, 1, 0, 0, 0, 0, 0, 1};
      double in[4];
      add_layer(plo, cm, true, false, k, h, cl.zl[llw], lt.ro[rb], c.d, in);
      for (int q = 0; q < 4; ++q) plo.acc[q] += in[q];
    }
  }
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 8);

  // Down to the source (steps j = lup+1..ls over layer j-1) and up to it (layers j = llw-1..ls).
  // The two sweeps are independent, and only the one on the observation side touches the
  // observation pair, so they advance side by side and the processor overlaps their steps.
  const int ndown = ls - lup, nup = llw - ls;
  const int nstep = ndown > nup ? ndown : nup;
  for (int t = 0; t < nstep; ++t) {
    if (t < ndown) {
      const int j = lup + 1 + t, i = j - 1;
      layer_step<true, Pot>(up, obs, j > lzrec, k, ik, cl.hl[i], ctx.rows.row[cl.lay[i]],
                            swept(pup, i));
      buoyancy_step(up, j, true, ctx);
      if constexpr (Pot) step_sheet(pup, up, j);
      if (j == lzrec) vcopy(up, obs, 8);
    }
    if (t < nup) {
      const int j = llw - 1 - t;
      if constexpr (Pot) step_sheet(plo, lo, j + 1);
      buoyancy_step(lo, j + 1, false, ctx);
      layer_step<false, Pot>(lo, obs, j < lzrec, k, ik, cl.hl[j], ctx.rows.row[cl.lay[j]],
                             swept(plo, j));
      if (j > ls && j == lzrec) vcopy(lo, obs, 8);
    }
  }

  // Source: field above minus field below equals the jump.
  double b[4];
  for (int i = 1; i <= 4; ++i) {
    b[i - 1] = ctx.src.kmul[i] == 1 ? ctx.src.sjump[i] * k : ctx.src.sjump[i];
  }
  double sys[16];
  vcopy(up, &sys[0], 8);
  for (int i = 0; i < 8; ++i) sys[8 + i] = -lo[i];
  int flag = 0;
  cgemp(sys, b, 4, 1, pivot_eps, flag);
  if (flag == 0) {
    ctx.log.line("warning in krvpsv: anormal exit from cgemp!");
    return;
  }

  const double w1 = lzrec <= ls ? b[0] : b[2];
  const double w2 = lzrec <= ls ? b[1] : b[3];
  for (int i = 1; i <= 4; ++i) y[i] = obs[at4(i, 1)] * w1 + obs[at4(i, 2)] * w2;
  if constexpr (!Pot) return;
  // Both sides of the source, and the sheet of its opening: the rock the vertical jump [uz]
  // (above less below) moves out of the source plane, rho_s [uz].
  const double zs = cl.zl[ls];
  const double sheet = 2.0 * kPi * kNewtonG / k * lt.ro[cl.lay[ls]] *
                       (ctx.src.kmul[1] == 1 ? ctx.src.sjump[1] * k : ctx.src.sjump[1]) *
                       std::exp(-k * std::fabs(pup.z0 - zs));
  pot[0] = pup.acc[0] * b[0] + pup.acc[2] * b[1] + plo.acc[0] * b[2] + plo.acc[2] * b[3] + sheet;
  pot[1] = pup.acc[1] * b[0] + pup.acc[3] * b[1] + plo.acc[1] * b[2] + plo.acc[3] * b[3] +
           (zs >= pup.z0 ? k : -k) * sheet;
}

}  // namespace

void krvpsv(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx) {
  psv<false>(y, k, eps, ctx, nullptr);
}

void krvpsv_potential(std::array<double, 7>& y, double pot[2], double k, double eps,
                      const KernelContext& ctx) {
  psv<true>(y, k, eps, ctx, pot);
}

}  // namespace kirva
