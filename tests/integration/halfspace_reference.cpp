#include "integration/halfspace_reference.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace kirva::testref {

namespace {

constexpr double pi = std::numbers::pi;

// A surface amplitude (p0 + p1 k) exp(-k zs).
struct Amplitude {
  double p0 = 0.0, p1 = 0.0;
  double operator()(double k, double zs) const { return (p0 + p1 * k) * std::exp(-k * zs); }
};

// The source as jumps (above minus below) of U, V, W and of the tractions; the traction jumps grow
// linearly with k, so their coefficients of k are given.
struct Jumps {
  double u = 0.0, v = 0.0, szz_k = 0.0, szr_k = 0.0, w = 0.0, tw_k = 0.0;
};

// Azimuthal order n and the derivatives of the factors: dA/dphi = alpha B, dB/dphi = beta A.
struct Azimuth {
  int n;
  double alpha, beta;
};

Jumps source_jumps(int type, const Halfspace& hs) {
  const double mu = hs.mu, lp2m = hs.lambda + 2.0 * mu;
  Jumps b;
  switch (type) {
    case 1:  // strike-slip: horizontal shear tractions
      b.szr_k = mu / (2.0 * pi);
      b.tw_k = -mu / (2.0 * pi);
      break;
    case 2:  // dip-slip: horizontal displacements
      b.v = -1.0 / (2.0 * pi);
      b.w = -1.0 / (2.0 * pi);
      break;
    case 3:  // CLVD: vertical displacement and shear traction
      b.u = -mu / (2.0 * pi * lp2m);
      b.szr_k = mu * (3.0 * hs.lambda + 2.0 * mu) / (4.0 * pi * lp2m);
      break;
    case 4:  // explosion: the CLVD's jump of U, and -k 2 mu^2/(2 pi (lambda + 2 mu)) in sigma_zr
      b.u = -mu / (2.0 * pi * lp2m);
      b.szr_k = -mu * (2.0 * mu) / (2.0 * pi * lp2m);
      break;
    default:
      throw std::invalid_argument("source type must be 1, 2, 3 or 4");
  }
  return b;
}

Azimuth azimuth(int type) {
  switch (type) {
    case 1:
      return {2, 2.0, -2.0};  // A = sin 2phi, B = cos 2phi
    case 2:
      return {1, -1.0, 1.0};  // A = cos phi, B = sin phi
    default:
      return {0, 0.0, 0.0};  // axisymmetric
  }
}

// Surface amplitudes of U, V, W for the jumps b: the unit responses (see the header) weighted by
// the jumps, collected as p0 + p1 k with X = k zs.
std::array<Amplitude, 3> amplitudes(int type, double zs, const Halfspace& hs) {
  const Jumps b = source_jumps(type, hs);
  const double d = hs.mu / (hs.lambda + hs.mu), tm = 2.0 * hs.mu;
  Amplitude U, V, W;
  // Coefficients of 1 and of X, then X -> k zs.
  const double u0 = b.u + b.szz_k * (1.0 + d) / tm + b.szr_k * d / tm;
  const double u1 = b.u - b.v + b.szz_k / tm - b.szr_k / tm;
  const double v0 = b.v + b.szz_k * d / tm + b.szr_k * (1.0 + d) / tm;
  const double v1 = b.u - b.v + b.szz_k / tm - b.szr_k / tm;
  U = {u0, u1 * zs};
  V = {v0, v1 * zs};
  W = {b.w + b.tw_k / hs.mu, 0.0};
  return {U, V, W};
}

// A combination sum_nu c[nu - n + 2] J_nu(x), nu = n-2 .. n+2.
struct Mix {
  std::array<double, 5> c{};
};

// J_n'(x) = (J_{n-1} - J_{n+1})/2
Mix jprime() {
  return {{0.0, 0.5, 0.0, -0.5, 0.0}};
}
// J_n(x)/x = (J_{n-1} + J_{n+1})/(2n), n >= 1
Mix jover(int n) {
  return n == 0 ? Mix{} : Mix{{0.0, 0.5 / n, 0.0, 0.5 / n, 0.0}};
}
// J_n''(x) = (J_{n-2} - 2 J_n + J_{n+2})/4
Mix jsecond() {
  return {{0.25, 0.0, -0.5, 0.0, 0.25}};
}
// d/dx (J_n(x)/x) = (J_{n-2} - J_{n+2})/(4n), n >= 1
Mix joverprime(int n) {
  return n == 0 ? Mix{} : Mix{{0.25 / n, 0.0, 0.0, 0.0, -0.25 / n}};
}

// int_0^inf k^m a(k) B(kr) dk for an amplitude a and a Bessel combination B.
double transform(int m, const Amplitude& a, const Mix& mix, int n, double r, double zs) {
  double sum = 0.0;
  for (int i = 0; i < 5; ++i) {
    if (mix.c[i] == 0.0) continue;
    const int nu = n - 2 + i;
    sum += mix.c[i] * (a.p0 * lipschitz(m, nu, r, zs) + a.p1 * lipschitz(m + 1, nu, r, zs));
  }
  return sum;
}

// Completes the surface strains from the displacements and their radial derivatives.
std::array<double, 10> complete(double r, double uz_, double ur_, double ut_, double durdr,
                                double dutdr, double duzdr_, const Azimuth& az,
                                const Halfspace& hs) {
  std::array<double, 10> g{};
  g[uz] = uz_;
  g[ur] = ur_;
  g[ut] = ut_;
  g[err] = durdr;
  g[ett] = (ur_ + az.beta * ut_) / r;
  g[ert] = 0.5 * (dutdr - ut_ / r + az.alpha * ur_ / r);
  g[ezz] = -hs.lambda * (g[err] + g[ett]) / (hs.lambda + 2.0 * hs.mu);
  g[ezr] = 0.0;  // no shear traction on the free surface
  g[etz] = 0.0;
  g[duzdr] = duzdr_;
  return g;
}

// Gauss-Legendre nodes and weights on [-1, 1] by Newton's method on P_n.
struct Gauss {
  std::vector<double> x, w;
  explicit Gauss(int n) : x(n), w(n) {
    for (int i = 0; i < n; ++i) {
      double t = std::cos(pi * (i + 0.75) / (n + 0.5));
      double dp = 0.0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1.0, p1 = t;
        for (int j = 2; j <= n; ++j) {
          const double p2 = ((2.0 * j - 1.0) * t * p1 - (j - 1.0) * p0) / j;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (t * p1 - p0) / (t * t - 1.0);
        const double dt = p1 / dp;
        t -= dt;
        if (std::abs(dt) < 1e-16) break;
      }
      x[i] = t;
      w[i] = 2.0 / ((1.0 - t * t) * dp * dp);
    }
  }
};

}  // namespace

std::array<double, 3> surface_kernel(int source_type, double zs, double k, const Halfspace& hs) {
  const auto a = amplitudes(source_type, zs, hs);
  return {a[0](k, zs), a[1](k, zs), a[2](k, zs)};
}

double lipschitz(int m, int nu, double r, double z) {
  // J_{-nu} = (-1)^nu J_nu
  double sign = 1.0;
  if (nu < 0) {
    nu = -nu;
    if (nu % 2 == 1) sign = -1.0;
  }
  // -d/dz [s^nu P(R, z) / R^(2j+1)] = s^nu P'(R, z) / R^(2j+3) with ds/dz = -s/R, dR/dz = z/R:
  // P' = nu R P - R^2 dP/dz - z R dP/dR + (2j+1) z P. P is homogeneous of degree j; c[i] is the
  // coefficient of R^i z^(j-i).
  std::vector<double> c{1.0};
  for (int j = 0; j < m; ++j) {
    std::vector<double> e(j + 3, 0.0);
    for (int i = 0; i <= j; ++i) {
      e[i + 1] += nu * c[i];
      e[i + 2] -= (j - i) * c[i];
      e[i] += (2.0 * j + 1.0 - i) * c[i];
    }
    e.resize(j + 2);  // the degree-(j+2) slot only ever receives (j - j) * c[j] = 0
    c = std::move(e);
  }
  const double R = std::hypot(r, z), s = r / (R + z);
  double p = 0.0, rp = 1.0;
  for (int i = 0; i <= m; ++i) {
    p += c[i] * rp * std::pow(z, m - i);
    rp *= R;
  }
  return sign * std::pow(s, nu) * p / std::pow(R, 2 * m + 1);
}

std::array<double, 10> surface_green(int source_type, double zs, double r, const Halfspace& hs) {
  const auto a = amplitudes(source_type, zs, hs);
  const Azimuth az = azimuth(source_type);
  const int n = az.n;
  const Mix jn{{0.0, 0.0, 1.0, 0.0, 0.0}};
  const double uz_ = transform(1, a[0], jn, n, r, zs);
  const double duz = transform(2, a[0], jprime(), n, r, zs);
  // ur = int k (V0 J_n' + beta W0 J_n/x) dk, ut = int k (alpha V0 J_n/x - W0 J_n') dk
  const double ur_ =
      transform(1, a[1], jprime(), n, r, zs) + az.beta * transform(1, a[2], jover(n), n, r, zs);
  const double ut_ =
      az.alpha * transform(1, a[1], jover(n), n, r, zs) - transform(1, a[2], jprime(), n, r, zs);
  const double dur = transform(2, a[1], jsecond(), n, r, zs) +
                     az.beta * transform(2, a[2], joverprime(n), n, r, zs);
  const double dut = az.alpha * transform(2, a[1], joverprime(n), n, r, zs) -
                     transform(2, a[2], jsecond(), n, r, zs);
  return complete(r, uz_, ur_, ut_, dur, dut, duz, az, hs);
}

std::array<double, 10> surface_green_quadrature(int source_type, double zs, double r,
                                                const Halfspace& hs) {
  static const Gauss gauss(24);
  const auto a = amplitudes(source_type, zs, hs);
  const Azimuth az = azimuth(source_type);
  const int n = az.n;
  const double nn = n;
  // exp(-k zs) (k zs)^3 is below 1e-16 of its peak beyond k zs = 50; panels resolve both the
  // decay and the oscillation of J_n(kr).
  const double kend = 50.0 / zs, width = 0.5 / std::max(zs, r);
  const int panels = static_cast<int>(std::ceil(kend / width));
  const double h = kend / panels;
  std::array<double, 6> acc{};  // uz, ur, ut, dur/dr, dut/dr, duz/dr
  for (int p = 0; p < panels; ++p) {
    for (std::size_t q = 0; q < gauss.x.size(); ++q) {
      const double k = h * (p + 0.5 * (gauss.x[q] + 1.0)), wk = 0.5 * h * gauss.w[q];
      const double x = k * r;
      const double U = a[0](k, zs), V = a[1](k, zs), W = a[2](k, zs);
      // Bessel values straight from the library; derivatives from the recurrence
      // J_n' = (n/x) J_n - J_{n+1} and from Bessel's equation.
      const double j = std::cyl_bessel_j(nn, x), j1 = std::cyl_bessel_j(nn + 1.0, x);
      const double jp = nn / x * j - j1;
      const double jpp = -jp / x - (1.0 - nn * nn / (x * x)) * j;
      const double jo = n == 0 ? 0.0 : j / x;
      const double jop = n == 0 ? 0.0 : jp / x - j / (x * x);
      acc[0] += wk * k * U * j;
      acc[1] += wk * k * (V * jp + az.beta * W * jo);
      acc[2] += wk * k * (az.alpha * V * jo - W * jp);
      acc[3] += wk * k * k * (V * jpp + az.beta * W * jop);
      acc[4] += wk * k * k * (az.alpha * V * jop - W * jpp);
      acc[5] += wk * k * k * U * jp;
    }
  }
  return complete(r, acc[0], acc[1], acc[2], acc[3], acc[4], acc[5], az, hs);
}

}  // namespace kirva::testref
