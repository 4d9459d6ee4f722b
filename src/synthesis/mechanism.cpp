#include "synthesis/mechanism.h"

#include <cmath>
#include <numbers>

namespace kirva::syn {

namespace {
constexpr double kDeg = std::numbers::pi / 180.0;
}

Tensor6 double_couple(double strike_deg, double dip_deg, double rake_deg, double m0) {
  const double f = strike_deg * kDeg, d = dip_deg * kDeg, l = rake_deg * kDeg;
  const double sd = std::sin(d), cd = std::cos(d), s2d = std::sin(2 * d), c2d = std::cos(2 * d);
  const double sl = std::sin(l), cl = std::cos(l);
  const double sf = std::sin(f), cf = std::cos(f), s2f = std::sin(2 * f), c2f = std::cos(2 * f);
  Tensor6 m;
  m.xx = -m0 * (sd * cl * s2f + s2d * sl * sf * sf);
  m.xy = m0 * (sd * cl * c2f + 0.5 * s2d * sl * s2f);
  m.xz = -m0 * (cd * cl * cf + c2d * sl * sf);
  m.yy = m0 * (sd * cl * s2f - s2d * sl * cf * cf);
  m.yz = -m0 * (cd * cl * sf - c2d * sl * cf);
  m.zz = m0 * s2d * sl;
  return m;
}

Tensor6 from_rtp(double mrr, double mtt, double mpp, double mrt, double mrp, double mtp) {
  Tensor6 m;
  m.zz = mrr;
  m.xx = mtt;
  m.yy = mpp;
  m.xz = mrt;
  m.yz = -mrp;
  m.xy = -mtp;
  return m;
}

Tensor6 tensile(double strike_deg, double dip_deg, double p, double lambda, double mu) {
  const Vec3 n = fault_vectors(strike_deg, dip_deg, 0.0).normal;
  const double l = p * (lambda / mu);
  Tensor6 m;
  m.xx = l + 2 * p * n[0] * n[0];
  m.xy = 2 * p * n[0] * n[1];
  m.xz = 2 * p * n[0] * n[2];
  m.yy = l + 2 * p * n[1] * n[1];
  m.yz = 2 * p * n[1] * n[2];
  m.zz = l + 2 * p * n[2] * n[2];
  return m;
}

Tensor6 isotropic(double m, double mu) {
  const double v = m / mu;
  Tensor6 t;
  t.xx = t.yy = t.zz = v;
  return t;
}

bool has_isotropic_part(const Tensor6& m) {
  return std::fabs(m.xx + m.yy + m.zz) > 1e-12 * norm(m);
}

double norm(const Tensor6& m) {
  return std::sqrt(m.xx * m.xx + m.yy * m.yy + m.zz * m.zz +
                   2 * (m.xy * m.xy + m.xz * m.xz + m.yz * m.yz));
}

Tensor6 scaled(const Tensor6& m, double f) {
  return {m.xx * f, m.xy * f, m.xz * f, m.yy * f, m.yz * f, m.zz * f};
}

Tensor6 sum(const Tensor6& a, const Tensor6& b) {
  return {a.xx + b.xx, a.xy + b.xy, a.xz + b.xz, a.yy + b.yy, a.yz + b.yz, a.zz + b.zz};
}

FaultVectors fault_vectors(double strike_deg, double dip_deg, double rake_deg) {
  const double f = strike_deg * kDeg, d = dip_deg * kDeg, l = rake_deg * kDeg;
  const double sd = std::sin(d), cd = std::cos(d), sl = std::sin(l), cl = std::cos(l);
  const double sf = std::sin(f), cf = std::cos(f);
  FaultVectors v;
  v.normal = {-sd * sf, sd * cf, -cd};
  v.slip = {cl * cf + cd * sl * sf, cl * sf - cd * sl * cf, -sl * sd};
  return v;
}

}  // namespace kirva::syn
