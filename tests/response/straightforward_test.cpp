// The kernels against a straightforward evaluation of the same sweeps built from the public layer
// routines (krvmatrix, krvmatinv, haskell, mprod, vcopy, cgemp), step by step as the method is
// written down: the kernels may differ from it only by rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "fixtures.h"
#include "response/inline_ops.h"
#include "response/response.h"
#include "response/solver.h"
#include "routines.h"

namespace kirva {
namespace {

using testing::cut_layers;
using testing::jump;
using testing::make_table;
using testing::row_table;

constexpr int at4(int i, int j) {
  return (j - 1) * 4 + (i - 1);
}

// One thick-layer step as written: coefficients, recombination, decay, layer matrix at the far
// end. grow1, grow2 / decay1, decay2: 1-based rows of the coefficients.
void plain_thick(const double* cm, int grow1, int grow2, int decay1, int decay2, double e,
                 const double* mfar, bool carry, double* obs, double* pair) {
  double q1 = 0.0, q2 = 0.0;
  for (int i = 1; i <= 4; ++i) {
    q1 += cm[at4(i, 1)] * cm[at4(i, 1)];
    q2 += cm[at4(i, 2)] * cm[at4(i, 2)];
  }
  const double s = 1.0 / std::sqrt(q1 * q2);
  double rc[4] = {s * cm[at4(grow2, 2)], -s * cm[at4(grow2, 1)], -s * cm[at4(grow1, 2)],
                  s * cm[at4(grow1, 1)]};
  double dm[8], tmp[8];
  mprod(cm, rc, 4, 2, 2, dm);
  if (carry) {
    for (double& v : rc) v *= e;
    mprod(obs, rc, 4, 2, 2, tmp);
    vcopy(tmp, obs, 8);
  }
  for (int c = 1; c <= 2; ++c) {
    dm[at4(decay1, c)] *= e * e;
    dm[at4(decay2, c)] *= e * e;
  }
  dm[at4(grow2, 1)] = 0.0;
  dm[at4(grow1, 2)] = 0.0;
  mprod(mfar, dm, 4, 4, 2, pair);
}

std::array<double, 4> plain_psv(const LayerTable& lt, const ComputationalLayers& cl, double k,
                                const SourceTerms& src) {
  const int ls = cl.ls, lzrec = cl.lzrec;
  std::array<double, 4> y{};
  double up[8] = {}, lo[8] = {}, obs[8] = {}, cm[8], mat[16], minv[16], tmp[8];
  int lup, llw;
  detail::depth_window(k, 1.0e-8, cl, lup, llw);
  if (lup > lzrec || llw < lzrec) return y;
  if (lup == 1) {
    up[0] = up[6] = 1.0;
  } else {
    krvmatrix(mat, 4, k, 0.0, cl.lay[lup - 1], lt);
    vcopy(&mat[0], &up[0], 4);
    vcopy(&mat[8], &up[4], 4);
  }
  if (lup == lzrec) vcopy(up, obs, 8);
  for (int j = lup + 1; j <= ls; ++j) {
    const int i = j - 1;
    const double h = cl.hl[i];
    if (k * h <= 0.001) {
      haskell(mat, 4, k, h, cl.lay[i], lt);
      mprod(mat, up, 4, 4, 2, tmp);
      vcopy(tmp, up, 8);
    } else {
      krvmatinv(minv, 4, k, 0.0, cl.lay[i], lt);
      mprod(minv, up, 4, 4, 2, cm);
      krvmatrix(mat, 4, k, h, cl.lay[i], lt);
      plain_thick(cm, 1, 3, 2, 4, std::exp(-k * h), mat, j > lzrec, obs, up);
    }
    if (j == lzrec) vcopy(up, obs, 8);
  }
  const int rb = cl.lay[llw];
  if (lt.vs[rb] < 0.001 * lt.vp[rb]) {
    lo[0] = lo[6] = 1.0;
  } else {
    krvmatrix(mat, 4, k, 0.0, rb, lt);
    vcopy(&mat[4], &lo[0], 4);
    vcopy(&mat[12], &lo[4], 4);
  }
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 8);
  for (int j = llw - 1; j >= ls; --j) {
    const double h = cl.hl[j];
    if (k * h <= 0.001) {
      haskell(mat, 4, k, -h, cl.lay[j], lt);
      mprod(mat, lo, 4, 4, 2, tmp);
      vcopy(tmp, lo, 8);
    } else {
      krvmatinv(minv, 4, k, 0.0, cl.lay[j], lt);
      mprod(minv, lo, 4, 4, 2, cm);
      krvmatrix(mat, 4, k, -h, cl.lay[j], lt);
      plain_thick(cm, 2, 4, 1, 3, std::exp(-k * h), mat, j < lzrec, obs, lo);
    }
    if (j > ls && j == lzrec) vcopy(lo, obs, 8);
  }
  double b[4], sys[16];
  for (int i = 1; i <= 4; ++i) b[i - 1] = src.sjump[i] * (src.kmul[i] == 1 ? k : 1.0);
  vcopy(up, sys, 8);
  for (int i = 0; i < 8; ++i) sys[8 + i] = -lo[i];
  int flag = 0;
  cgemp(sys, b, 4, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 1);
  const double w1 = lzrec <= ls ? b[0] : b[2], w2 = lzrec <= ls ? b[1] : b[3];
  for (int i = 1; i <= 4; ++i) y[i - 1] = obs[at4(i, 1)] * w1 + obs[at4(i, 2)] * w2;
  return y;
}

std::array<double, 2> plain_sh(const LayerTable& lt, const ComputationalLayers& cl, double k,
                               const SourceTerms& src) {
  const int ls = cl.ls, lzrec = cl.lzrec;
  auto mu = [&lt](int r) { return lt.ro[r] * lt.vs[r] * lt.vs[r]; };
  double up[2], lo[2], obs[2] = {}, prop[4], prod[2];
  int lup, llw;
  detail::depth_window(k, 1.0e-8, cl, lup, llw);
  if (lup > lzrec) return {};
  up[0] = 1.0;
  up[1] = lup == 1 ? 0.0 : k * mu(cl.lay[lup - 1]);
  if (lup == lzrec) vcopy(up, obs, 2);
  for (int j = lup + 1; j <= ls; ++j) {
    const double h = cl.hl[j - 1], e = std::exp(-k * h);
    haskell(prop, 2, k, h, cl.lay[j - 1], lt);
    mprod(prop, up, 2, 2, 1, prod);
    up[0] = e * prod[0];
    up[1] = e * prod[1];
    if (j > lzrec) {
      obs[0] *= e;
      obs[1] *= e;
    } else if (j == lzrec) {
      vcopy(up, obs, 2);
    }
  }
  const int rb = cl.lay[llw];
  lo[0] = 1.0;
  lo[1] = lt.vs[rb] < 0.001 * lt.vp[rb] ? 0.0 : -k * mu(rb);
  if (llw > ls && llw == lzrec) vcopy(lo, obs, 2);
  for (int j = llw - 1; j >= ls; --j) {
    const double h = cl.hl[j], e = std::exp(-k * h);
    haskell(prop, 2, k, -h, cl.lay[j], lt);
    mprod(prop, lo, 2, 2, 1, prod);
    lo[0] = e * prod[0];
    lo[1] = e * prod[1];
    if (j < lzrec) {
      obs[0] *= e;
      obs[1] *= e;
    } else if (j > ls && j == lzrec) {
      vcopy(lo, obs, 2);
    }
  }
  double b[2] = {src.sjump[5] * (src.kmul[5] == 1 ? k : 1.0),
                 src.sjump[6] * (src.kmul[6] == 1 ? k : 1.0)};
  double sys[4] = {up[0], up[1], -lo[0], -lo[1]};
  int flag = 0;
  cgemp(sys, b, 2, 1, 1.0e-99, flag);
  EXPECT_EQ(flag, 1);
  const double w = lzrec <= ls ? b[0] : b[1];
  return {w * obs[0], w * obs[1]};
}

// Relative difference of a against the reference r: displacements (even entries) against the
// larger reference displacement, stresses against the larger reference stress or, when the
// stresses vanish, against g times the displacement scale.
template <std::size_t N>
double deviation(const double* a, const std::array<double, N>& r, double g) {
  double sd = 0.0, ss = 0.0;
  for (std::size_t i = 0; i < N; ++i)
    (i % 2 == 0 ? sd : ss) = std::max(i % 2 == 0 ? sd : ss, std::fabs(r[i]));
  ss = std::max(ss, g * sd);
  double dev = 0.0;
  for (std::size_t i = 0; i < N; ++i) {
    const double scale = i % 2 == 0 ? sd : ss;
    if (scale > 0.0) dev = std::max(dev, std::fabs(a[i] - r[i]) / scale);
  }
  return dev;
}

// A crust of rows 700 to 2350 m thick (some thinner rows take the propagator at small k), a
// low-velocity zone and a stiff half-space; the variant with a fluid-like last row checks the
// free-shear start. Where every thick step has k*h >= 0.1 the kernels must agree with the
// straightforward sweeps to 1e-12. Closer to the thin-layer limit (and over a fluid-like bottom at
// small k) both evaluations carry the rounding error of an ill-conditioned recombination, up to
// about 1e-11 (1e-8 over the fluid); there the kernels must be as accurate as the straightforward
// sweeps against the independent global solution.
void check_against_plain(bool fluid_bottom) {
  std::vector<testing::Row> rows;
  for (int l = 0; l < 12; ++l) {
    rows.push_back({700.0 + 150.0 * l, 4500.0 + 120.0 * l, 2500.0 + 70.0 * l, 2400.0 + 25.0 * l});
  }
  rows.push_back({40.0, 2500.0, 900.0, 2000.0});
  rows.push_back({3.0, 5000.0, 2900.0, 2600.0});
  rows.push_back({0.0, 8000.0, fluid_bottom ? 0.5 : 4600.0, 3300.0});
  const LayerTable lt = make_table(rows);
  const auto rt = row_table(lt);
  double worst = 0.0;
  for (double k : {1e-7, 3e-6, 2e-5, 2.5e-4, 1e-3, 8e-3}) {
    const bool well_conditioned = k * 700.0 >= 0.1;
    const bool no_cut_off = k * 20000.0 < 18.0;  // the global solution has no depth window
    double lean_err = 0.0, plain_err = 0.0;
    for (double zs : {0.0, 2500.0, 9000.0, 16000.0, 17500.0, 17542.0}) {
      for (double zrec : {0.0, 2500.0, 9000.0, 9000.5, 17541.0, 17542.0, 20000.0}) {
        const ComputationalLayers cl = cut_layers(lt, zs, zrec, {9000.5});
        const double g = 2.0 * lt.ro[1] * lt.vs[1] * lt.vs[1] * k;
        for (const std::array<double, 6>& b :
             {std::array<double, 6>{1, 0, 0, 0, 1, 0}, std::array<double, 6>{0, 0, 1, 0, 0, g},
              std::array<double, 6>{0.3, -0.5 * g, 1.1, 0.7 * g, 0.4, -g}}) {
          const SourceTerms src = jump(b[0], b[1], b[2], b[3], b[4], b[5]);
          WarningLog log;
          const KernelContext ctx{lt, *rt, cl, src, log};
          std::array<double, 7> y{};
          krvpsv(y, k, 1.0e-8, ctx);
          krvsh(y, k, 1.0e-8, ctx);
          ASSERT_EQ(log.text, "");
          const auto pp = plain_psv(lt, cl, k, src);
          const auto ps = plain_sh(lt, cl, k, src);
          const double dev = std::max(deviation(&y[1], pp, g), deviation(&y[5], ps, g / 2));
          worst = std::max(worst, dev);
          if (well_conditioned) {
            EXPECT_LT(dev, 1e-12) << zs << " " << zrec << " " << k;
          }
          if (no_cut_off) {
            const auto rp =
                testing::reference_psv(lt, cl, k, {b[0], b[1], b[2], b[3]}, fluid_bottom);
            const auto rs = testing::reference_sh(lt, cl, k, {b[4], b[5]}, fluid_bottom);
            lean_err = std::max({lean_err, deviation(&y[1], rp, g), deviation(&y[5], rs, g / 2)});
            plain_err =
                std::max({plain_err, deviation(pp.data(), rp, g), deviation(ps.data(), rs, g / 2)});
          }
        }
      }
    }
    if (no_cut_off) {
      EXPECT_LE(lean_err, 4.0 * plain_err + 1e-12) << k;
      std::printf("k %.1e: error against the global solution %.2e (straightforward %.2e)\n", k,
                  lean_err, plain_err);
    }
  }
  std::printf("largest relative difference to the straightforward sweeps: %.2e\n", worst);
}

TEST(Kernels, MatchTheStraightforwardSweepsToRounding) {
  check_against_plain(false);
}

TEST(Kernels, MatchTheStraightforwardSweepsToRoundingOverAFluidLikeBottom) {
  check_against_plain(true);
}

}  // namespace
}  // namespace kirva
