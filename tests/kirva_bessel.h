// The Bessel tables of one order, as the tests and the benchmarks fill them (a run fills the three
// orders at once with krvbstab_orders).
#pragma once

#include "integration/bessel.h"
#include "stop.h"

namespace kirva {

// The tables of order n = 0, 1 or 2.
inline void krvbstab(int n, BesselTables& tab) {
  if (n < 0 || n > 2) throw Stop(" Error in krvbstab: check 0<= n <= 2?");
  krvbstab_range(n == 0 ? &tab : nullptr, n == 1 ? &tab : nullptr, n == 2 ? &tab : nullptr, 0,
                 ntab);
}

}  // namespace kirva
