// Moment tensors of shear and tensile dislocations and of volume sources, in the frame of the
// tables: x north, y east, z down.
#pragma once

#include <array>

namespace kirva::syn {

// A symmetric tensor by its six independent components.
struct Tensor6 {
  double xx = 0, xy = 0, xz = 0, yy = 0, yz = 0, zz = 0;
};

using Vec3 = std::array<double, 3>;

// Moment tensor of a shear dislocation of scalar moment m0 (Aki & Richards 2002, Box 4.4):
// strike from north clockwise, dip, rake, in degrees.
Tensor6 double_couple(double strike_deg, double dip_deg, double rake_deg, double m0);

// A moment tensor in the (r, t, p) convention of global catalogues (r up, t south, p east).
Tensor6 from_rtp(double mrr, double mtt, double mpp, double mrt, double mrp, double mtp);

inline double isotropic_part(const Tensor6& m) {
  return (m.xx + m.yy + m.zz) / 3.0;
}
// Whether the tensor has an isotropic part beyond the rounding of a deviatoric one (a double
// couple's trace computed from its angles is a few ulps of its norm, not 0).
bool has_isotropic_part(const Tensor6& m);
// Euclidean norm of the tensor (all nine components).
double norm(const Tensor6& m);
Tensor6 scaled(const Tensor6& m, double f);
Tensor6 sum(const Tensor6& a, const Tensor6& b);

// The unit normal of a fault (from the foot wall into the hanging wall) and the unit slip
// vector (motion of the hanging wall relative to the foot wall), so that the moment tensor is
// M0 (slip n^T + n slip^T) (Aki & Richards 2002, eqs. 4.88 and 4.89).
struct FaultVectors {
  Vec3 normal, slip;
};
FaultVectors fault_vectors(double strike_deg, double dip_deg, double rake_deg);

// Potency tensor (moment over the shear modulus mu at the source) of a tensile dislocation of
// potency p (opening times area, m^3) across the plane of strike and dip: the moment tensor is
// p (lambda I + 2 mu n n^T) with n the plane's unit normal (Aki & Richards 2002, eq. 3.19 for a
// displacement jump along the normal), so the potency tensor is p (lambda/mu I + 2 n n^T).
Tensor6 tensile(double strike_deg, double dip_deg, double p, double lambda, double mu);

// Potency tensor of a volume source of moment tensor m I (m in N m): m/mu I.
Tensor6 isotropic(double m, double mu);

}  // namespace kirva::syn
