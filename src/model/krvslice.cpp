#include <algorithm>
#include <cmath>

#include "model/model.h"

namespace kirva {

namespace {

// Relative change of a property across a layer, in units of its allowance.
double relative_change(double top, double bottom, double allowance) {
  return 2.0 * std::fabs(bottom - top) / (bottom + top) / allowance;
}

}  // namespace

void krvslice(const std::array<double, 3>& resol, int& ierr, const ProfileList& prof,
              LayerTable& lt) {
  int n = 0;
  for (int e = 1; e <= prof.nprof - 1; ++e) {
    const double h = prof.z2[e] - prof.z1[e];
    const double cro = relative_change(prof.ro1[e], prof.ro2[e], resol[0]);
    const double cvp = relative_change(prof.vp1[e], prof.vp2[e], resol[1]);
    const double cvs = relative_change(prof.vs1[e], prof.vs2[e], resol[2]);
    const double x = std::max({cro, cvp, cvs});
    // Round half away from zero, then at least one row.
    int nsplit = static_cast<int>(x >= 0.0 ? x + 0.5 : x - 0.5);
    if (nsplit < 1) nsplit = 1;
    const double dh = h / nsplit;
    for (int k = 1; k <= nsplit; ++k) {
      ++n;
      if (n >= lmax) {
        // No room left for the half-space row.
        lt.nlayer = n;
        ierr = 1;
        return;
      }
      // Properties at the middle of the row on the linear profile.
      const double mid = k - 0.5;
      lt.thick[n] = dh;
      lt.ro[n] = prof.ro1[e] + (prof.ro2[e] - prof.ro1[e]) / h * mid * dh;
      lt.vp[n] = prof.vp1[e] + (prof.vp2[e] - prof.vp1[e]) / h * mid * dh;
      lt.vs[n] = prof.vs1[e] + (prof.vs2[e] - prof.vs1[e]) / h * mid * dh;
      const Rheology& a = prof.rh1[e];
      const Rheology& b = prof.rh2[e];
      const double f = mid * dh / h;
      lt.rheology[n] = {a.eta_m + (b.eta_m - a.eta_m) * f, a.eta_k + (b.eta_k - a.eta_k) * f,
                        a.muk_ratio + (b.muk_ratio - a.muk_ratio) * f};
    }
  }
  ++n;
  const int hs = prof.nprof;
  lt.thick[n] = 0.0;
  lt.vp[n] = prof.vp1[hs];
  lt.vs[n] = prof.vs1[hs];
  lt.ro[n] = prof.ro1[hs];
  lt.rheology[n] = prof.rh1[hs];
  lt.nlayer = n;
  ierr = 0;
}

}  // namespace kirva
