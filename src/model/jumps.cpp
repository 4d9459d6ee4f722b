#include "model/model.h"

namespace kirva {

std::vector<ProfileJump> profile_jumps(const ProfileList& prof, bool viscous) {
  std::vector<ProfileJump> out;
  const auto same = [](const Rheology& a, const Rheology& b) {
    return a.eta_m == b.eta_m && a.eta_k == b.eta_k && a.muk_ratio == b.muk_ratio;
  };
  for (int e = 1; e <= prof.nprof - 1; ++e) {
    const int n = e + 1;
    if (prof.vp2[e] != prof.vp1[n] || prof.vs2[e] != prof.vs1[n] || prof.ro2[e] != prof.ro1[n] ||
        (viscous && !same(prof.rh2[e], prof.rh1[n]))) {
      // The rows of a layer take its viscous values interpolated to their middles: viscous when
      // either end is; the half-space has its top values only.
      const bool below = !prof.rh1[n].viscous() && (n == prof.nprof || !prof.rh2[n].viscous());
      out.push_back(
          {prof.z2[e] - prof.z1[1], !prof.rh1[e].viscous() && !prof.rh2[e].viscous() && below});
    }
  }
  return out;
}

}  // namespace kirva
