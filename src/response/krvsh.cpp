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

void krvsh(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx) {
  const LayerTable& lt = ctx.lt;
  const ComputationalLayers& cl = ctx.cl;
  const int ls = cl.ls, lzrec = cl.lzrec;

  y[5] = 0.0;
  y[6] = 0.0;
  double obs[2] = {}, prod[2] = {}, up[2] = {}, lo[2] = {};
  double prop[4];

  auto shear_modulus = [&lt](int r) { return lt.ro[r] * lt.vs[r] * lt.vs[r]; };

  // Depth window, as for P-SV. Below the window the observation vector is simply never taken
  // (the solver still runs, and the result is 0).
  int lup, llw;
  detail::depth_window(k, eps, cl, lup, llw);
  if (lup > lzrec) return;

  // Top: free surface, or the upward-decaying solution of the layer above the window.
  up[0] = 1.0;
  up[1] = lup == 1 ? 0.0 : k * shear_modulus(cl.lay[lup - 1]);
  if (lup == lzrec) vcopy(up, obs, 2);

  for (int j = lup + 1; j <= ls; ++j) {
    const int i = j - 1;
    const double h = cl.hl[i];
    detail::propagator_sh(prop, k, h, shear_modulus(cl.lay[i]));
    detail::matmul(prop, up, 2, 2, 1, prod);
    const double e = std::exp(-k * h);
    up[0] = e * prod[0];
    up[1] = e * prod[1];
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
  lo[1] = lt.vs[rb] < 0.001 * lt.vp[rb] ? 0.0 : -k * shear_modulus(rb);
  prod[0] = 0.0;
  prod[1] = 0.0;
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 2);

  for (int j = llw - 1; j >= ls; --j) {
    const double h = cl.hl[j];
    detail::propagator_sh(prop, k, -h, shear_modulus(cl.lay[j]));
    detail::matmul(prop, lo, 2, 2, 1, prod);
    const double e = std::exp(-k * h);
    lo[0] = e * prod[0];
    lo[1] = e * prod[1];
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
