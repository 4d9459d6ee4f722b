#include "synthesis/quantities.h"

#include <algorithm>

#include "stop.h"
#include "synthesis/parse.h"

namespace kirva::syn {

const std::vector<QuantityInfo>& quantity_table() {
  static const std::vector<QuantityInfo> table = {
      {Quantity::ux, "ux", "m", "displacement east"},
      {Quantity::uy, "uy", "m", "displacement north"},
      {Quantity::uz, "uz", "m", "displacement up"},
      {Quantity::exx, "exx", "1", "strain east-east"},
      {Quantity::exy, "exy", "1", "strain east-north"},
      {Quantity::exz, "exz", "1", "strain east-up"},
      {Quantity::eyy, "eyy", "1", "strain north-north"},
      {Quantity::eyz, "eyz", "1", "strain north-up"},
      {Quantity::ezz, "ezz", "1", "strain up-up"},
      {Quantity::tx, "tx", "1", "tilt duz/dx"},
      {Quantity::ty, "ty", "1", "tilt duz/dy"},
      {Quantity::wz, "wz", "1", "rotation about the vertical (duy/dx - dux/dy)/2"},
      {Quantity::sxx, "sxx", "Pa", "stress east-east"},
      {Quantity::sxy, "sxy", "Pa", "stress east-north"},
      {Quantity::sxz, "sxz", "Pa", "stress east-up"},
      {Quantity::syy, "syy", "Pa", "stress north-north"},
      {Quantity::syz, "syz", "Pa", "stress north-up"},
      {Quantity::szz, "szz", "Pa", "stress up-up"},
      {Quantity::cfs, "cfs", "Pa", "Coulomb stress change"},
      {Quantity::los, "los", "m", "displacement toward the satellite"},
  };
  return table;
}

const QuantityInfo& info(Quantity q) {
  return quantity_table()[static_cast<std::size_t>(q)];
}

std::vector<Quantity> parse_quantities(const std::string& list) {
  std::vector<Quantity> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto comma = list.find(',', start);
    const std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const auto& t = quantity_table();
    const auto it = std::find_if(t.begin(), t.end(), [&](auto& i) { return i.name == name; });
    if (it == t.end()) {
      std::string known;
      for (const auto& i : t) {
        if (!known.empty()) known += ' ';
        known += i.name;
      }
      throw Stop("kirva-syn: --quantities: unknown quantity '" + name + "' (known: " + known + ")");
    }
    if (std::find(out.begin(), out.end(), it->q) != out.end()) {
      throw Stop("kirva-syn: --quantities: '" + name + "' is named twice");
    }
    out.push_back(it->q);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

Need need_of(const std::vector<Quantity>& qs) {
  Need need = Need::displacement;
  for (Quantity q : qs) {
    if (q == Quantity::tx || q == Quantity::ty || q == Quantity::wz) return Need::gradient;
    if (q != Quantity::ux && q != Quantity::uy && q != Quantity::uz && q != Quantity::los) {
      need = Need::strain;
    }
  }
  return need;
}

FaultVectors receiver_vectors(const ReceiverFault& rf) {
  // Table frame (north, east, down) to east-north-up.
  const FaultVectors t = fault_vectors(rf.strike, rf.dip, rf.rake);
  auto enu = [](const Vec3& v) { return Vec3{v[1], v[0], -v[2]}; };
  return {enu(t.normal), enu(t.slip)};
}

double evaluate(Quantity q, const Field& f, const Evaluation& e) {
  const auto& g = f.grad;
  auto strain = [&](int i, int j) { return 0.5 * (g[i][j] + g[j][i]); };
  auto stress = [&](int i, int j) {
    const double tr = g[0][0] + g[1][1] + g[2][2];
    return (i == j ? e.lambda * tr : 0.0) + 2 * e.mu * strain(i, j);
  };
  switch (q) {
    case Quantity::ux:
      return f.u[0];
    case Quantity::uy:
      return f.u[1];
    case Quantity::uz:
      return f.u[2];
    case Quantity::exx:
      return strain(0, 0);
    case Quantity::exy:
      return strain(0, 1);
    case Quantity::exz:
      return strain(0, 2);
    case Quantity::eyy:
      return strain(1, 1);
    case Quantity::eyz:
      return strain(1, 2);
    case Quantity::ezz:
      return strain(2, 2);
    case Quantity::tx:
      return g[2][0];
    case Quantity::ty:
      return g[2][1];
    case Quantity::wz:
      return 0.5 * (g[1][0] - g[0][1]);
    case Quantity::sxx:
      return stress(0, 0);
    case Quantity::sxy:
      return stress(0, 1);
    case Quantity::sxz:
      return stress(0, 2);
    case Quantity::syy:
      return stress(1, 1);
    case Quantity::syz:
      return stress(1, 2);
    case Quantity::szz:
      return stress(2, 2);
    case Quantity::cfs: {
      // Shear traction in the slip direction plus friction times the normal traction
      // (unclamping positive) on the receiver plane (King, Stein & Lin 1994).
      double tau = 0, sn = 0;
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          tau += e.fault.slip[i] * stress(i, j) * e.fault.normal[j];
          sn += e.fault.normal[i] * stress(i, j) * e.fault.normal[j];
        }
      }
      return tau + e.friction * sn;
    }
    case Quantity::los:
      return f.u[0] * e.los[0] + f.u[1] * e.los[1] + f.u[2] * e.los[2];
  }
  return 0;
}

}  // namespace kirva::syn
