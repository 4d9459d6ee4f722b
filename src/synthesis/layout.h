// Layouts of the reduced rows of the tables, shared by the reduction and the inner loop.
//
// Arranged so that the azimuthal combination is a sum of three (P-SV) or two (SH) blocks: per
// row the P-SV columns of the strike-slip, dip-slip and CLVD types (np each, padded), then the
// SH columns of the strike-slip and dip-slip types (ns each, padded). The SH blocks of the
// gradient add two ratio columns, scaled so that they combine like the SH columns: (1/r)
// duz/dphi from uz/r (x 2 for the strike-slip, x -1 for the dip-slip, the derivatives of the
// azimuthal factors), and (1/r) dur/dphi - ut/r from (2 ur - ut)/r resp. -(ur + ut)/r.
//
// At a free surface ezr and etz vanish and ezz = -lambda (err + ett) / (lambda + 2 mu): those
// columns are left out and ezz follows from the horizontal strains in the end.
#pragma once

#include "synthesis/combine.h"

namespace kirva::syn {

enum Sh { kUt, kErt, kEtz, kDuzPhi, kDurPhi, kShPad };

template <Need N, bool Surface>
struct Layout {
  static constexpr bool strain = N != Need::displacement, grad = N == Need::gradient;
  // P-SV columns and their positions (-1: not held).
  static constexpr int iezz = strain && !Surface ? 2 : -1;
  static constexpr int ierr = !strain ? -1 : Surface ? 2 : 3;
  static constexpr int iett = ierr + 1;
  static constexpr int iezr = strain && !Surface ? 5 : -1;
  static constexpr int idzr = !grad ? -1 : Surface ? 4 : 6;
  static constexpr int npsv = !strain ? 2 : grad ? idzr + 1 : iezr > 0 ? 6 : 4;
  // SH columns.
  static constexpr int ietz = strain && !Surface ? 2 : -1;
  static constexpr int iphi = !grad ? -1 : Surface ? 2 : 3;  // then iphi + 1
  static constexpr int nsh = !strain ? 1 : grad ? iphi + 2 : Surface ? 2 : 3;
  static constexpr int np = (npsv + 1) / 2 * 2, ns = nsh == 1 ? 1 : (nsh + 1) / 2 * 2;
  static constexpr int width = 3 * np + 2 * ns;
  static constexpr int nacc = grad ? 12 : strain ? 9 : 3;
};

// Values accumulated per receiver in the table frame: (ux, uy, uz), then the strain (exx, exy,
// exz, eyy, eyz, ezz) or the gradient G_ij = du_i/dx_j by rows.
constexpr int accumulated(Need need) {
  return need == Need::gradient ? 12 : need == Need::strain ? 9 : 3;
}

}  // namespace kirva::syn
