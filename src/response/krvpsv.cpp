// P-SV response of the layered half-space at one wavenumber.
//
// Two pairs of independent solutions are swept towards the source: from the top (free surface or
// the cut-off level above the source) downward and from the bottom (decay in the half-space or
// below the cut-off level) upward. Thick layers are crossed with the exact layer solutions: the
// growth factor exp(kh) is divided out and the pair is recombined so that its two vectors stay
// independent. Thin layers use the propagator, which does not cancel when kh is small. The pair on
// the observation side is taken at the observation depth and then receives the same
// recombinations, so the source coefficients found at the end apply to it as well.
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

// Recombines the pair at the reference end of a thick layer and carries it across.
// cm: coefficients of the four elementary solutions (4x2). grow1, grow2: rows of cm that grow in
// the direction of travel; decay1, decay2: those that decay. m_far: layer matrix at the far end.
// obs is multiplied by the recombination (times e) when carry_obs is set.
inline void thick_step(const double* cm, int grow1, int grow2, int decay1, int decay2, double e,
                       const double* m_far, bool carry_obs, double* obs, double* pair) {
  const double q1 = cm[at4(1, 1)] * cm[at4(1, 1)] + cm[at4(2, 1)] * cm[at4(2, 1)] +
                    cm[at4(3, 1)] * cm[at4(3, 1)] + cm[at4(4, 1)] * cm[at4(4, 1)];
  const double q2 = cm[at4(1, 2)] * cm[at4(1, 2)] + cm[at4(2, 2)] * cm[at4(2, 2)] +
                    cm[at4(3, 2)] * cm[at4(3, 2)] + cm[at4(4, 2)] * cm[at4(4, 2)];
  const double s = 1.0 / std::sqrt(q1 * q2);
  // Adjugate of the growing 2x2 block, normalised by the column lengths: afterwards the first
  // vector has no second growing solution and the second none of the first.
  double rc[4];
  rc[0] = s * cm[at4(grow2, 2)];   // R(1,1)
  rc[1] = -s * cm[at4(grow2, 1)];  // R(2,1)
  rc[2] = -s * cm[at4(grow1, 2)];  // R(1,2)
  rc[3] = s * cm[at4(grow1, 1)];   // R(2,2)

  double dm[8];
  detail::matmul(cm, rc, 4, 2, 2, dm);

  if (carry_obs) {
    for (double& v : rc) v *= e;
    double tmp[8];
    detail::matmul(obs, rc, 4, 2, 2, tmp);
    vcopy(tmp, obs, 8);
  }

  // Relative to the growing solutions, the decaying ones lose exp(-2kh) across the layer.
  const double ee = e * e;
  dm[at4(decay1, 1)] *= ee;
  dm[at4(decay1, 2)] *= ee;
  dm[at4(decay2, 1)] *= ee;
  dm[at4(decay2, 2)] *= ee;
  dm[at4(grow2, 1)] = 0.0;
  dm[at4(grow1, 2)] = 0.0;

  detail::matmul(m_far, dm, 4, 4, 2, pair);
}

}  // namespace

void krvpsv(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx) {
  const LayerTable& lt = ctx.lt;
  const ComputationalLayers& cl = ctx.cl;
  const int ls = cl.ls, lzrec = cl.lzrec;

  for (int i = 1; i <= 4; ++i) y[i] = 0.0;
  double up[8] = {}, obs[8] = {}, lo[8] = {}, cm[8] = {};
  double mat[16], minv[16], tmp[8];

  // Depth window: beyond ln(1/eps)/k from the source the field has decayed below eps, and an
  // observation depth outside the window sees nothing.
  int lup, llw;
  detail::depth_window(k, eps, cl, lup, llw);
  if (lup > lzrec || llw < lzrec) return;

  // Top of the window: the free surface, or the solutions of the layer above that decay upward.
  if (lup == 1) {
    up[at4(1, 1)] = 1.0;
    up[at4(3, 2)] = 1.0;
  } else {
    detail::layer_matrix(mat, k, 0.0, detail::row_constants(k, cl.lay[lup - 1], lt));
    vcopy(&mat[0], &up[0], 4);
    vcopy(&mat[8], &up[4], 4);
  }
  if (lup == lzrec) vcopy(up, obs, 8);

  // Down to the source.
  for (int j = lup + 1; j <= ls; ++j) {
    const int i = j - 1;
    const double h = cl.hl[i];
    const detail::RowConstants rc = detail::row_constants(k, cl.lay[i], lt);
    if (k * h <= thin_kh) {
      detail::propagator_psv(mat, k, h, rc);
      detail::matmul(mat, up, 4, 4, 2, tmp);
      vcopy(tmp, up, 8);
    } else {
      detail::layer_matrix_inverse(minv, k, 0.0, rc);
      detail::matmul(minv, up, 4, 4, 2, cm);
      detail::layer_matrix(mat, k, h, rc);
      const double e = std::exp(-k * h);
      thick_step(cm, 1, 3, 2, 4, e, mat, j > lzrec, obs, up);
    }
    if (j == lzrec) vcopy(up, obs, 8);
  }

  // Bottom of the window: a fluid-like layer has free shear at its top; otherwise the solutions
  // that decay with depth.
  const int rb = cl.lay[llw];
  for (double& v : cm) v = 0.0;
  if (lt.vs[rb] < 0.001 * lt.vp[rb]) {
    lo[at4(1, 1)] = 1.0;
    lo[at4(3, 2)] = 1.0;
  } else {
    detail::layer_matrix(mat, k, 0.0, detail::row_constants(k, rb, lt));
    vcopy(&mat[4], &lo[0], 4);
    vcopy(&mat[12], &lo[4], 4);
  }
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 8);

  // Up to the source.
  for (int j = llw - 1; j >= ls; --j) {
    const double h = cl.hl[j];
    const detail::RowConstants rc = detail::row_constants(k, cl.lay[j], lt);
    if (k * h <= thin_kh) {
      detail::propagator_psv(mat, k, -h, rc);
      detail::matmul(mat, lo, 4, 4, 2, tmp);
      vcopy(tmp, lo, 8);
    } else {
      detail::layer_matrix_inverse(minv, k, 0.0, rc);
      detail::matmul(minv, lo, 4, 4, 2, cm);
      detail::layer_matrix(mat, k, -h, rc);
      const double e = std::exp(-k * h);
      thick_step(cm, 2, 4, 1, 3, e, mat, j < lzrec, obs, lo);
    }
    if (j > ls && j == lzrec) vcopy(lo, obs, 8);
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
}

}  // namespace kirva
