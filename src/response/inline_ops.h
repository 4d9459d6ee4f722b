// Inline bodies of the layer matrices and the matrix product, shared by the depth sweeps
// (krvpsv.cpp, krvsh.cpp), the row constants and the tests, so that all get the very same
// arithmetic without a call per matrix in the inner loop.
//
// The layer matrix holds the static P-SV solutions of a homogeneous layer at wavenumber k,
// e^{+-kz} and kz e^{+-kz} in displacement and traction (Singh, Static deformation of a
// multilayered half-space by internal sources, J. Geophys. Res. 75, 3257-3263, 1970); the
// propagators are the static form of the layer matrices of Haskell (The dispersion of surface
// waves on multilayered media, Bull. Seismol. Soc. Am. 43, 17-34, 1953), P(h) = L(h) L(0)^-1.
// Column-major storage: element (i, j) of an n-row matrix at a[(j-1)*n + (i-1)].
#pragma once

#include <cmath>

#include "model/model.h"

namespace kirva::detail {

// Elastic constants of one table row at wavenumber k.
struct LayerConstants {
  double mu;  // shear modulus
  double d;   // mu/(lambda+mu) = 1 - 2 nu
  double g;   // 2 mu k
};

inline LayerConstants layer_constants(double k, int l, const LayerTable& lt) {
  const double mu = lt.ro[l] * lt.vs[l] * lt.vs[l];
  const double lpm = lt.ro[l] * lt.vp[l] * lt.vp[l] - mu;
  return {mu, mu / lpm, 2.0 * mu * k};
}

// The four elementary P-SV solutions at depth offset z (without their exponential factors):
// columns 1 and 3 go with exp(+kz), columns 2 and 4 with exp(-kz).
inline void layer_matrix(double* a, double k, double z, const LayerConstants& c) {
  const double x = k * z;
  const double d = c.d, g = c.g;
  a[0] = 1.0;
  a[1] = g;
  a[2] = 1.0;
  a[3] = g;
  a[4] = -1.0;
  a[5] = g;
  a[6] = 1.0;
  a[7] = -g;
  a[8] = 1.0 - x + 2.0 * d;
  a[9] = g * (1.0 - x + d);
  a[10] = -x;
  a[11] = g * (d - x);
  a[12] = 1.0 + x + 2.0 * d;
  a[13] = -g * (1.0 + x + d);
  a[14] = -x;
  a[15] = g * (x + d);
}

// Closed-form inverse of layer_matrix for the same k, z and row (k != 0).
inline void layer_matrix_inverse(double* b, double k, double z, const LayerConstants& c) {
  const double x = k * z;
  const double d = c.d, g = c.g;
  b[0] = x - d;
  b[1] = x + d;
  b[2] = 1.0;
  b[3] = 1.0;
  b[4] = x / g;
  b[5] = -x / g;
  b[6] = 1.0 / g;
  b[7] = -1.0 / g;
  b[8] = 1.0 + d - x;
  b[9] = 1.0 + d + x;
  b[10] = -1.0;
  b[11] = 1.0;
  b[12] = (1.0 + 2.0 * d - x) / g;
  b[13] = -(1.0 + 2.0 * d + x) / g;
  b[14] = -1.0 / g;
  b[15] = -1.0 / g;
  const double f = 0.5 / (1.0 + d);
  for (int i = 0; i < 16; ++i) b[i] *= f;
}

// cosh(x) and sinh(x)/x from one exponential; the series below |x| = 0.001 keeps sinh(x)/x
// accurate where (e - 1/e)/(2x) would cancel.
struct HyperbolicPair {
  double ch, s;
};

inline HyperbolicPair hyperbolic(double x) {
  const double e = std::exp(x);
  const double ch = (e + 1.0 / e) / 2.0;
  double s;
  if (std::fabs(x) > 0.001) {
    s = (e - 1.0 / e) * 0.5 / x;
  } else {
    const double x2 = x * x;
    s = 1.0 + (x2 / 6.0) * (1.0 + x2 / 20.0);
  }
  return {ch, s};
}

// SH propagator over thickness h.
inline void propagator_sh(double* a, double k, double h, double mu) {
  const double x = k * h;
  const HyperbolicPair hp = hyperbolic(x);
  a[0] = hp.ch;
  a[1] = k * mu * x * hp.s;
  a[2] = h * hp.s / mu;
  a[3] = hp.ch;
}

// P-SV propagator over thickness h, written with sinh(x)/x so that it stays exact as kh -> 0.
inline void propagator_psv(double* a, double k, double h, const LayerConstants& c) {
  const double x = k * h;
  const HyperbolicPair hp = hyperbolic(x);
  const double ch = hp.ch, s = hp.s;
  const double d = c.d, g = c.g, mu = c.mu;
  const double opd = 1.0 + d;
  const double t = x * x * s / opd;
  const double u = (1.0 + 2.0 * d) * s;
  const double q = 2.0 * opd * mu;
  const double a11 = ch - t;
  const double a33 = ch + t;
  const double a13 = (ch - d * s) * x / opd;
  const double a24 = (ch + d * s) * x / opd;
  const double a14 = x * h * s / q;
  const double a23 = g * t;
  // column 1
  a[0] = a11;
  a[1] = (s - ch) * x * g / opd;
  a[2] = -a24;
  a[3] = -a23;
  // column 2
  a[4] = (u - ch) * h / q;
  a[5] = a11;
  a[6] = -a14;
  a[7] = -a13;
  // column 3
  a[8] = a13;
  a[9] = a23;
  a[10] = a33;
  a[11] = (s + ch) * x * g / opd;
  // column 4
  a[12] = a14;
  a[13] = a24;
  a[14] = (u + ch) * h / q;
  a[15] = a33;
}

// ab (n x m) = a (n x l) * b (l x m), summed over j = 1..l in increasing order from 0.
inline void matmul(const double* a, const double* b, int n, int l, int m, double* ab) {
  for (int i = 0; i < n * m; ++i) ab[i] = 0.0;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < l; ++j) {
      const double bji = b[i * l + j];
      for (int r = 0; r < n; ++r) ab[i * n + r] += a[j * n + r] * bji;
    }
  }
}

// Depth window of one wavenumber: the layers lup..llw around the source beyond which the field
// has decayed below eps (exp(-k * distance) <= eps). Without such a layer above (below) the source
// the window reaches the surface (the half-space).
inline void depth_window(double k, double eps, const ComputationalLayers& cl, int& lup, int& llw) {
  const double lneps = std::log(eps);
  const int ls = cl.ls, nl = cl.nl;
  lup = 1;
  double d = 0.0;
  for (int i = ls - 1; i >= 1; --i) {
    d += k * cl.hl[i];
    if (lneps >= -d) {
      lup = i + 1;
      break;
    }
  }
  llw = nl;
  d = 0.0;
  for (int i = ls; i <= nl - 1; ++i) {
    d += k * cl.hl[i];
    if (lneps >= -d) {
      llw = i;
      break;
    }
  }
}

}  // namespace kirva::detail
