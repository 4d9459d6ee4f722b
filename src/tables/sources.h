// The elementary sources of the tables, described once as data: their names and titles, the
// azimuthal (Bessel) order, the sign of the P-SV/SH coupling in the Hankel sums, and which of the
// ten components a table of the type holds. The driver, the integration, the writers and the
// readers all take them from here. The first three (strike-slip, dip-slip, CLVD) make every
// moment tensor without isotropic part and fill "grnfun.all"; the explosion, asked for with
// --isotropic, adds the isotropic part and is stored beside it (tables/extension.h).
#pragma once

#include <array>
#include <string_view>

namespace kirva {

enum class SourceType { ss = 0, ds = 1, cl = 2, ex = 3 };

// The slots of a Green's function table, in the order of computation and of the files.
enum Component { uz = 1, ur, ut, ezz, err, ett, ezr, ert, etz, duzdr };

inline constexpr int kComponents = 10;
inline constexpr std::array<std::string_view, kComponents + 1> kComponentNames = {
    "", "uz", "ur", "ut", "ezz", "err", "ett", "ezr", "ert", "etz", "duzdr"};

struct SourceTypeInfo {
  std::string_view name;   // "ss", "ds", "cl", "ex"
  std::string_view title;  // the console and text-table title
  int order;               // azimuthal order n of the field, and the Bessel order: 2, 1, 0
  double csign;            // sign of the P-SV/SH coupling terms in the Hankel sums
  int ncomp;               // components written
  std::array<int, kComponents> comps;  // the slots written, in file order (ncomp of them)
};

inline constexpr std::array<SourceTypeInfo, 4> kSourceTypes = {{
    {"ss", "Source type: strike-slip", 2, -1.0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    {"ds", "Source type: dip-slip", 1, 1.0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    // The CLVD is axially symmetric: no tangential displacement, no ert and etz.
    {"cl", "Source type: compensated linear vector dipole", 0, 1.0, 7, {1, 2, 4, 5, 6, 7, 10}},
    // The explosion, moment tensor mu_s I per unit potency: axially symmetric like the CLVD.
    {"ex", "Source type: explosion", 0, 1.0, 7, {1, 2, 4, 5, 6, 7, 10}},
}};

// The types of "grnfun.all", in the order in which a run computes and writes them.
inline constexpr std::array<SourceType, 3> kSourceOrder = {SourceType::ss, SourceType::ds,
                                                           SourceType::cl};

constexpr const SourceTypeInfo& source_info(SourceType t) {
  return kSourceTypes[static_cast<std::size_t>(t)];
}

// Position of component c in the file order of type t, or -1 when the type does not write it.
constexpr int component_index(SourceType t, Component c) {
  const SourceTypeInfo& s = source_info(t);
  for (int i = 0; i < s.ncomp; ++i)
    if (s.comps[static_cast<std::size_t>(i)] == static_cast<int>(c)) return i;
  return -1;
}

// A field of azimuthal order n is f(r) cos(n phi) or f(r) sin(n phi); the point at distance -r
// on the line through the axis is (r, phi + pi). Continued to negative r the column obeys
// f(-r) = parity * f(r): (-1)^n for scalars and the zz, rr, tt and rt tensor parts, (-1)^(n+1)
// for the radial and tangential vector parts, the zr and tz parts and d/dr of a scalar (each
// one more sign change of the local frame or of the derivative).
constexpr int axis_parity(SourceType t, Component c) {
  const int n = source_info(t).order;
  const int even = (n % 2 == 0) ? 1 : -1;
  switch (c) {
    case uz:
    case ezz:
    case err:
    case ett:
    case ert:
      return even;
    case ur:
    case ut:
    case ezr:
    case etz:
    case duzdr:
      return -even;
  }
  return 0;
}

}  // namespace kirva
