// The inner loop of the synthesis: the field of a run of point sources of one depth at one
// receiver, from the reduced rows of that depth. Compiled for the x86-64 baseline and, chosen at
// run time where the processor has them, for wider vector instructions; both give the same
// doubles, bit for bit (the same operations in the same order, no fused multiply-add).
#pragma once

#include <vector>

#include "synthesis/combine.h"

namespace kirva::syn {

// Most slip directions a point source may carry (strike, dip and opening).
constexpr int kMaxSlip = 3;

// The point sources as the inner loop sees them, one array per value: positions, and per slip
// direction the moment-tensor combinations of the azimuthal factors (potency, m^3).
struct KernelSources {
  int nslip = 1;
  std::vector<double> north, east;
  std::vector<double> pxy[kMaxSlip], d[kMaxSlip], pxz[kMaxSlip], pyz[kMaxSlip], a3[kMaxSlip];
  std::vector<double> a4[kMaxSlip];  // the explosion's weight, trace/3 (isotropic kernels only)
  std::vector<int> column;           // accumulator of each point (Green's matrices); empty: one sum
  void push(double n, double e, const Tensor6* m, int col);
  int size() const { return static_cast<int>(north.size()); }
};

struct DistanceGrid {
  const double* r;
  int nr;
  int lo, hi;  // range of the stencil's first index
  double r0, inv_h;
  bool uniform;
};

// Adds the field of the sources [kb, ke) at the receiver (rn, re) to acc, in the table frame
// (accumulated(need) values). One sum: acc holds one field for every slip direction in turn;
// by column: acc + column * nslip * accumulated(need), the slip directions side by side value by
// value. Isotropic kernels read the explosion's block after the others in each row.
using Kernel = void (*)(const KernelSources&, int kb, int ke, const double* rows,
                        const DistanceGrid&, double rn, double re, double* acc);

// The kernel for a need, a receiver depth on a free surface or not, uniform distances or not,
// the number of slip directions, whether points add to columns of their own and whether the
// sources have isotropic parts. `wide` allows the wider instruction set when the processor has
// it.
Kernel kernel_for(Need need, bool surface, bool uniform, int nslip, bool columns, bool isotropic,
                  bool wide);

// Whether kernel_for(..., wide = true) uses wider instructions on this processor.
bool wide_kernels_available();

}  // namespace kirva::syn
