// Bessel functions of the first kind and their tables for the Hankel transforms.
#pragma once

#include <vector>

namespace kirva {

inline constexpr int ntab = 262272;  // highest table index: 2^18 + 128

double besj0(double x);
double besj1(double x);
double besjn(int n, double x);

// sqrt(x)*J_n(x), sqrt(x)*J_n'(x) and sqrt(x)*n*J_n(x)/x at x = i*xstep, i = 0..ntab, for the
// order of the last krvbstab call. Allocated once; read-only while integrations run.
struct BesselTables {
  double xstep = 0.0;
  std::vector<double> tabj, tabdj, tabnj;
  BesselTables() : tabj(ntab + 1), tabdj(ntab + 1), tabnj(ntab + 1) {}
};

void krvbstab(int n, BesselTables& tab);
// Linear interpolation in the tables at x >= 0, reusing the last period beyond index 2^18.
void tablook(double x, double& vj, double& vdj, double& vnj, const BesselTables& tab);

}  // namespace kirva
