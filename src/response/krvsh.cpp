// SH response of the layered half-space at one wavenumber.
//
// One solution from the top and one from the bottom are propagated to the source depth; each
// layer step divides out the growth factor exp(kh), which the propagator carries, so nothing grows.
// The vector of the observation side is taken at the observation depth and then scaled like the
// vector it came from.
#include <array>
#include <cmath>

#include "response/inline_ops.h"
#include "response/response.h"
#include "response/solver.h"

namespace kirva {

namespace {

// One layer step of the SH vector v over thickness h, downward (Down) or upward, with the growth
// factor removed: v = exp(-k|h|) * P(+-h) * v, where P is the SH propagator of the row. Returns
// exp(-k|h|). One exponential serves both the propagator and the growth factor.
template <bool Down>
inline double sh_step(double* v, double k, double ik, double h, const RowConstants& c) {
  const double e = std::exp(-k * h);
  const double ep = 1.0 / e;
  const double x = Down ? k * h : k * (-h);
  const double ch = (ep + e) / 2.0;
  double a12, a21;  // sinh(x)/(k mu) and k mu sinh(x)
  if (std::fabs(x) > 0.001) {
    const double sh = Down ? (ep - e) * 0.5 : (e - ep) * 0.5;
    a12 = sh * ik * c.imu;
    a21 = k * c.mu * sh;
  } else {
    // sinh(x)/x from its series, where the difference of the exponentials would cancel.
    const double x2 = x * x;
    const double s = 1.0 + (x2 / 6.0) * (1.0 + x2 / 20.0);
    a12 = (Down ? h : -h) * s * c.imu;
    a21 = k * c.mu * x * s;
  }
  const double p0 = ch * v[0] + a12 * v[1];
  const double p1 = a21 * v[0] + ch * v[1];
  v[0] = e * p0;
  v[1] = e * p1;
  return e;
}

}  // namespace

void krvsh(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx) {
  const LayerTable& lt = ctx.lt;
  const ComputationalLayers& cl = ctx.cl;
  const int ls = cl.ls, lzrec = cl.lzrec;

  y[5] = 0.0;
  y[6] = 0.0;
  double obs[2] = {}, up[2] = {}, lo[2] = {};

  // Depth window, as for P-SV. Below the window the observation vector is simply never taken
  // (the solver still runs, and the result is 0).
  int lup, llw;
  detail::depth_window(k, eps, cl, lup, llw);
  if (lup > lzrec) return;
  const double ik = 1.0 / k;

  // Top: free surface, or the upward-decaying solution of the layer above the window.
  up[0] = 1.0;
  up[1] = lup == 1 ? 0.0 : k * ctx.rows.row[cl.lay[lup - 1]].mu;
  if (lup == lzrec) vcopy(up, obs, 2);

  for (int j = lup + 1; j <= ls; ++j) {
    const int i = j - 1;
    const double e = sh_step<true>(up, k, ik, cl.hl[i], ctx.rows.row[cl.lay[i]]);
    if (j > lzrec) {
      obs[0] = e * obs[0];
      obs[1] = e * obs[1];
    } else if (j == lzrec) {
      vcopy(up, obs, 2);
    }
  }

  // Bottom: no shear stress on a fluid-like layer, else the solution that decays with depth.
  const int rb = cl.lay[llw];
  lo[0] = 1.0;
  lo[1] = lt.vs[rb] < 0.001 * lt.vp[rb] ? 0.0 : -k * ctx.rows.row[rb].mu;
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 2);

  for (int j = llw - 1; j >= ls; --j) {
    const double e = sh_step<false>(lo, k, ik, cl.hl[j], ctx.rows.row[cl.lay[j]]);
    if (j < lzrec) {
      obs[0] = e * obs[0];
      obs[1] = e * obs[1];
    } else if (j > ls && j == lzrec) {
      vcopy(lo, obs, 2);
    }
  }

  // Source: field above minus field below equals the jump.
  double b[2];
  b[0] = ctx.src.kmul[5] == 1 ? ctx.src.sjump[5] * k : ctx.src.sjump[5];
  b[1] = ctx.src.kmul[6] == 1 ? ctx.src.sjump[6] * k : ctx.src.sjump[6];
  double sys[4] = {up[0], up[1], -lo[0], -lo[1]};
  int flag = 0;
  cgemp(sys, b, 2, 1, 1.0e-99, flag);
  if (flag == 0) {
    ctx.log.line("warning in krvsh: anormal exit from cgemp!");
    return;
  }

  const double w = lzrec <= ls ? b[0] : b[1];
  y[5] = w * obs[0];
  y[6] = w * obs[1];
}

}  // namespace kirva
