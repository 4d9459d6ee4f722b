// The point dislocation as a jump of the displacement-stress vector at the source depth.
#pragma once

#include <array>

namespace kirva {

// Entries 1..6 (entry 0 unused): 1..4 P-SV (uz, szz, ur, srz), 5..6 SH (ut, stz).
struct SourceTerms {
  std::array<double, 7> sjump{};
  std::array<int, 7> kmul{};  // 1: sjump(i) is multiplied by the wavenumber
  int mazi = 0;               // azimuthal order of the type (tables/sources.h)
  int csign = 1;              // sign of the P-SV/SH coupling terms of the type (tables/sources.h)
  // The plain sum evaluates sqrt(x) J_0 exactly where its table is coarsest, near x = 0 (the
  // explosion, whose field near the axis comes from there).
  bool exact_near_axis = false;
};

// type 1 strike-slip, 2 dip-slip, 3 CLVD, 4 explosion (tables/sources.h); mu is the source shear
// modulus and ro, vp, vs the properties of the source row.
void krvmoment(int type, double mu, double ro, double vp, double vs, SourceTerms& src);

}  // namespace kirva
