// Closed-form Green's functions of a homogeneous elastic half-space at its free surface, used as an
// independent reference for the wavenumber integration. Test support only.
//
// Components and normalisation are those of the tables: z down, uz positive down, ur away from the
// source axis, ut toward increasing azimuth (clockwise from north); tensor strains; unit potency
// (moment mu * 1 m^3); the azimuthal factors taken out (strike-slip: sin 2phi for uz, ur, ezz, err,
// ett, ezr, duz/dr and cos 2phi for ut, ert, etz; dip-slip: cos phi and sin phi; CLVD and
// explosion: none).
//
// How the formulas were obtained.
// 1. Field representation at wavenumber k and azimuthal order n: with Y = J_n(kr) A(phi),
//    u = U(z) Y e_z + V(z) grad_h(Y)/k - W(z) e_z x grad_h(J_n(kr) B(phi))/k, where A is the
//    factor of the vertical and radial components, B that of the transverse ones, and
//    dA/dphi = alpha B, dB/dphi = beta A. The tractions on horizontal planes are carried the same
//    way. Navier's equations give the P-SV solutions e^{+-kz} and k z e^{+-kz} and the SH solutions
//    e^{+-kz}; the free surface (zero traction at z = 0) and decay below the source leave one
//    linear system per unit jump "field just above minus field just below the source". Solved
//    with computer algebra, the surface amplitudes are, with X = k zs, d = mu/(lambda + mu):
//      unit jump of U:        U0 = (1 + X) e^-X,                 V0 = X e^-X
//      unit jump of V:        U0 = -X e^-X,                      V0 = (1 - X) e^-X
//      unit jump of sigma_zz: U0 = (X + 1 + d) e^-X / (2 k mu),  V0 = (X + d) e^-X / (2 k mu)
//      unit jump of sigma_zr: U0 = (d - X) e^-X / (2 k mu),      V0 = (1 + d - X) e^-X / (2 k mu)
//      unit jump of W:  W0 = e^-X;   unit jump of mu dW/dz: W0 = e^-X / (k mu).
// 2. Sources: the jumps that a unit-potency source imposes (strike-slip: k mu/(2 pi) in sigma_zr
//    and -k mu/(2 pi) in the SH stress; dip-slip: -1/(2 pi) in V and in W; CLVD:
//    -mu/(2 pi (lambda + 2 mu)) in U and k mu (3 lambda + 2 mu)/(4 pi (lambda + 2 mu)) in
//    sigma_zr; explosion, moment tensor mu I: the same jump of U and
//    -k 2 mu^2/(2 pi (lambda + 2 mu)) in sigma_zr). An axially symmetric moment tensor
//    M = diag(Mh, Mh, Mzz) jumps U by -Mzz/(2 pi (lambda + 2 mu)) and sigma_zr by
//    k (Mzz lambda/(lambda + 2 mu) - Mh)/(2 pi); the CLVD is mu diag(-1/2, -1/2, 1). Every surface
//    amplitude is then (p0 + p1 k) e^{-k zs}. For the explosion the terms in k cancel: its
//    surface field is Mogi's, uz = -(1 - nu) dV zs/(pi R^3), ur = (1 - nu) dV r/(pi R^3) with
//    dV = mu/(lambda + 2 mu) (see the tests).
// 3. Back to distance: uz = int U0 k J_n dk, ur = int k (V0 J_n' + beta W0 J_n/(kr)) dk,
//    ut = int k (alpha V0 J_n/(kr) - W0 J_n') dk. J_n', J_n/x and their derivatives are written
//    as sums of J_{n-2} ... J_{n+2}, so every term is a Lipschitz-type integral
//    int_0^inf k^m e^{-kz} J_nu(kr) dk = (-d/dz)^m [ s^nu / R ], R = sqrt(r^2 + z^2)
//    (Gradshteyn and Ryzhik, Table of Integrals, 6.611.1; Watson, Theory of Bessel Functions,
//    13.2),
//    s = r/(R + z) (= (R - z)/r, the form without cancellation), which is s^nu P(R, z)/R^(2m+1)
//    with a polynomial P built by recursion.
// 4. Surface strains follow from the displacements: err = d ur/dr, ett = (ur + d ut/dphi)/r,
//    ert = (d ut/dr - ut/r + (1/r) d ur/dphi)/2; the free surface carries no traction, so
//    ezr = etz = 0 and ezz = -lambda (err + ett)/(lambda + 2 mu).
// Signs and normalisation were confirmed against Okada's point-source surface displacements
// (Okada, Surface deformation due to shear and tensile faults in a half-space, Bull. Seismol. Soc.
// Am. 75, 1135-1154, 1985; his Table 2, case 1, reproduced through the moment-tensor synthesis of
// the three source types) and against finite differences of those displacements for the strains;
// see the tests.
//
// When comparing: ezr and etz are exactly 0 here, and the transverse displacement of the dip-slip
// source vanishes identically at the surface (what is returned is rounding, ~1e-16 of ur), so a
// tolerance relative to the peak of such a component needs a floor, e.g. the peak of the same kind
// (displacement or strain). The values are those of a point source, without any smoothing.
#pragma once

#include <array>

namespace kirva::testref {

struct Halfspace {
  double lambda, mu;
};

// Indices into the ten components, in table order.
enum Component { uz, ur, ut, ezz, err, ett, ezr, ert, etz, duzdr };

// Surface amplitudes U0, V0, W0 of the source types (1 strike-slip, 2 dip-slip, 3 CLVD,
// 4 explosion) at wavenumber k for a source at depth zs.
std::array<double, 3> surface_kernel(int source_type, double zs, double k, const Halfspace& hs);

// int_0^inf k^m exp(-k z) J_nu(k r) dk in closed form, m >= 0, any integer nu, r >= 0, z > 0.
double lipschitz(int m, int nu, double r, double z);

// The ten components at the surface, distance r > 0, in closed form.
std::array<double, 10> surface_green(int source_type, double zs, double r, const Halfspace& hs);

// The same ten components by direct numerical quadrature over k of the surface amplitudes with
// std::cyl_bessel_j (Gauss-Legendre panels); slow, for checking the closed forms.
std::array<double, 10> surface_green_quadrature(int source_type, double zs, double r,
                                                const Halfspace& hs);

}  // namespace kirva::testref
