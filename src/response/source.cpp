// The point dislocation as a jump of the displacement-stress vector across the source plane: the
// discontinuities of the motion-stress vector of a point source expanded in cylindrical harmonics
// (Takeuchi and Saito, Seismic surface waves, Methods in Computational Physics 11, 1972; for the
// static case Singh, J. Geophys. Res. 75, 3257-3263, 1970), for unit potency.
//
// The axially symmetric sources (order 0) are described by their moment tensor alone: for
// M = diag(Mxx, Myy, Mzz) with Mxx = Myy the jumps (field just above minus just below) of the
// vertical displacement and of the radial shear stress at wavenumber k are (the order-0 source
// terms of Takeuchi and Saito 1972 in the static limit of Singh 1970, in the signs and
// normalisation of the entries here)
//   [uz]  = -Mzz / (2 pi (lambda + 2 mu)),
//   [srz] = k (Mzz lambda/(lambda + 2 mu) - (Mxx + Myy)/2) / (2 pi),
// with lambda and mu those of the source row. Per unit potency the CLVD is
// M = mu diag(-1/2, -1/2, 1) and the explosion M = mu I; with vs^2/vp^2 = mu/(lambda + 2 mu):
//   CLVD:      [uz] = -mu/(2 pi ro vp^2),   [srz] = k (3 - 4 vs^2/vp^2) mu/(4 pi),
//   explosion: [uz] = -mu/(2 pi ro vp^2),   [srz] = -k (4 vs^2/vp^2) mu/(4 pi).
// At the surface of a half-space the explosion is Mogi's point source of volume change
// mu/(lambda + 2 mu) (Mogi, Bull. Earthq. Res. Inst. 36, 99-134, 1958); the tests check it.
#include "response/source.h"

#include "compat.h"
#include "stop.h"
#include "tables/sources.h"

namespace kirva {

void krvmoment(int type, double mu, double ro, double vp, double vs, SourceTerms& src) {
  constexpr double pi2 = compat::twopi15;
  constexpr double pi4 = compat::fourpi16;

  src.exact_near_axis = type == 4;
  src.sjump.fill(0.0);
  src.kmul.fill(0);
  switch (type) {
    case 1:  // strike-slip: shear-stress jumps, proportional to k
      src.sjump[4] = mu / pi2;
      src.sjump[6] = -mu / pi2;
      src.kmul[4] = 1;
      src.kmul[6] = 1;
      break;
    case 2:  // dip-slip: jumps of both horizontal displacements
      src.sjump[3] = -mu / (pi2 * ro * vs * vs);
      src.sjump[5] = src.sjump[3];
      break;
    case 3: {  // CLVD: vertical-displacement jump and a shear-stress jump proportional to k
      const double ratio = vs / vp;
      src.sjump[1] = -mu / (pi2 * ro * vp * vp);
      src.sjump[4] = (3.0 - 4.0 * (ratio * ratio)) * mu / pi4;
      src.kmul[4] = 1;
      break;
    }
    case 4: {  // explosion: the CLVD's vertical-displacement jump, a shear-stress jump of its own
      const double ratio = vs / vp;
      src.sjump[1] = -mu / (pi2 * ro * vp * vp);
      src.sjump[4] = -4.0 * (ratio * ratio) * mu / pi4;
      src.kmul[4] = 1;
      break;
    }
    default:
      throw Stop(" Error in krvmoment: wrong source type switch no!");
  }
  const SourceTypeInfo& info = source_info(static_cast<SourceType>(type - 1));
  src.mazi = info.order;
  src.csign = static_cast<int>(info.csign);
}

}  // namespace kirva
