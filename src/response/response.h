// The layered half-space response at one horizontal wavenumber: the P-SV and SH vectors at the
// observation depth produced by the source jump.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/model.h"
#include "response/source.h"

namespace kirva {

// Console lines produced while a kernel is computed (solver warnings). Each worker owns one; the
// driver prints the collected lines in program order.
struct WarningLog {
  std::string text;
  // Appends one free-format console line (a leading blank, then the text).
  void line(std::string_view s) {
    text += ' ';
    text += s;
    text += '\n';
  }
};

// Elastic constants of one layer-table row that the kernels use at every wavenumber and every
// layer step; they do not depend on the wavenumber, so they are worked out once per layer table.
// With d = mu/(lambda+mu) and f = 0.5/(1+d), the scale of the inverse layer matrix:
struct RowConstants {
  double mu;    // shear modulus
  double d;     // mu/(lambda+mu) = 1 - 2 nu
  double f;     // 0.5/(1+d)
  double df;    // d*f
  double opdf;  // (1+d)*f
  double fg;    // f/(2 mu): divided by k, f/g of the inverse layer matrix
  double ug;    // (1+2d)*f/(2 mu): divided by k, (1+2d)*f/g
  double opd2;  // 1+2d
  double iopd;  // 1/(1+d)
  double iq;    // 1/(2(1+d) mu)
  double imu;   // 1/mu
};

// Rows 1..nlayer of the layer table (entry 0 unused).
struct RowTable {
  std::array<RowConstants, lmax + 1> row{};
};

// Fills rt for the rows 1..lt.nlayer.
void krvrowtab(const LayerTable& lt, RowTable& rt);

// Everything one kernel evaluation reads: the layer table and its row constants, the
// computational layers of the current depth pair and the current source. One per worker.
struct KernelContext {
  const LayerTable& lt;
  const RowTable& rows;
  const ComputationalLayers& cl;
  const SourceTerms& src;
  WarningLog& log;
};

// y(1..4): P-SV vector (uz, szz, ur, srz) at the observation depth for wavenumber k > 0.
void krvpsv(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx);
// The same, and the change of the gravitational potential (pot[0], m^2/s^2, positive above a
// mass excess) and of downward gravity (pot[1], m/s^2) at the observation depth, a point fixed
// in space (just above the masses there), in the scale of uz: from the density change -rho
// div(u) of every row, the sheets -(rho_below - rho_above) uz at every density step and at the
// surface, and rho_s [uz] of the source's opening. No self-gravitation.
void krvpsv_potential(std::array<double, 7>& y, double pot[2], double k, double eps,
                      const KernelContext& ctx);
// y(5..6): SH vector (ut, stz) at the observation depth.
void krvsh(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx);

}  // namespace kirva
