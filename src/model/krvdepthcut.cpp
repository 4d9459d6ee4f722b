#include "model/model.h"

namespace kirva {

void krvdepthcut(double zs, int& ls, double zrec, int& lzrec,
                 const std::array<double, lmax + 1>& thick, int nlayer, ComputationalLayers& cl) {
  // Interface depths of the table, summed top down; the row assignment below sums the same way,
  // so a table interface is recognised by exact equality.
  auto& d = cl.work;
  d[1] = 0.0;
  for (int l = 1; l <= nlayer - 1; ++l) d[l + 1] = d[l] + thick[l];
  const int nd = nlayer + 2;
  d[nlayer + 1] = zrec;
  d[nlayer + 2] = zs;

  // Exchange sort; equal values stay where they are.
  for (int p = 1; p <= nd - 1; ++p) {
    for (int q = p + 1; q <= nd; ++q) {
      if (d[p] > d[q]) {
        const double t = d[p];
        d[p] = d[q];
        d[q] = t;
      }
    }
  }

  // Every distinct depth below the surface starts a computational layer.
  int nl = 1;
  cl.zl[1] = 0.0;
  double last = 0.0;
  for (int p = 1; p <= nd; ++p) {
    const double v = d[p];
    if (v > last) {
      cl.hl[nl] = v - last;
      ++nl;
      cl.zl[nl] = v;
      last = v;
    }
  }
  cl.hl[nl] = 0.0;
  cl.nl = nl;

  for (int i = 1; i <= nl; ++i) {
    if (cl.zl[i] == zs) ls = i;
    if (cl.zl[i] == zrec) lzrec = i;
  }

  // Table row of each layer: a layer whose top lies on a table interface takes the row below it.
  cl.lay[1] = 1;
  int j = 1;
  double b = thick[1];
  for (int i = 2; i <= nl; ++i) {
    if (cl.zl[i] >= b && j < nlayer) {
      ++j;
      b += thick[j];
    }
    cl.lay[i] = j;
  }
}

}  // namespace kirva
