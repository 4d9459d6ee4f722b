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

// Everything one kernel evaluation reads: the layer table, the computational layers of the
// current depth pair and the current source. One per worker.
struct KernelContext {
  const LayerTable& lt;
  const ComputationalLayers& cl;
  const SourceTerms& src;
  WarningLog& log;
};

// y(1..4): P-SV vector (uz, szz, ur, srz) at the observation depth for wavenumber k > 0.
void krvpsv(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx);
// y(5..6): SH vector (ut, stz) at the observation depth.
void krvsh(std::array<double, 7>& y, double k, double eps, const KernelContext& ctx);

}  // namespace kirva
