// From wavenumber to distance: the Hankel transforms that turn the kernels into Green's functions.
#pragma once

#include <array>

#include "integration/bessel.h"
#include "response/response.h"

namespace kirva {

inline constexpr int nrmax = 1001;     // capacity of the distance table
inline constexpr double eps = 1.0e-8;  // kernel cut-off ratio and search tolerance

// grn(k, j): component k = 1..10 (uz, ur, ut, ezz, err, ett, ezr, ert, etz, duz/dr) at distance j,
// stored distance by distance (the ten values of one distance are contiguous).
struct GreenTable {
  std::array<double, 10 * nrmax> v{};
  double& operator()(int k, int j) { return v[10 * (j - 1) + (k - 1)]; }
  double operator()(int k, int j) const { return v[10 * (j - 1) + (k - 1)]; }
};

// What one integration reads besides its arguments.
struct HankelContext {
  double zs;                // source depth, m
  double zrec;              // observation depth, m
  double rhalf;             // smoothing half-length, m
  const BesselTables& tab;  // tabulated for order src.mazi
  const KernelContext& kernel;
};

// Scratch of one integration (one per worker), and what the last call found.
struct HankelWork {
  std::array<double, nrmax + 1> rsmooth{};
  std::array<double, 7> yasym{};  // asymptote of the kernel (slopes for 2, 4, 6); 0 unless asymok
  bool asymok = false;            // the asymptote was found and subtracted
  double kmax = 0.0;              // cut-off wavenumber, 1/m
  long long nktot = 0;            // wavenumber samples of the sum
  long long nkernel = 0;          // kernel evaluations (searches and samples)
};

// y(1..6) = 0, then the P-SV part (psvflag) and the SH part (shflag) at wavenumber k.
void krvresp(std::array<double, 7>& y, double k, bool psvflag, bool shflag, double eps,
             const KernelContext& ctx);

// Fills grn for distances r(1..nr) (1-based) for the current source and depth pair.
void krvhankel(GreenTable& grn, const std::array<double, nrmax + 1>& r, int nr, double sampfac,
               double lambda, double mu, const HankelContext& ctx, HankelWork& work);

}  // namespace kirva
