// The quantities a user asks for, computed from the displacement and its gradient at a
// receiver (east-north-up frame, z up, tension positive).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "synthesis/combine.h"
#include "synthesis/mechanism.h"

namespace kirva::syn {

enum class Quantity {
  ux,
  uy,
  uz,  // displacement, m
  exx,
  exy,
  exz,
  eyy,
  eyz,
  ezz,  // tensor strain
  tx,
  ty,  // tilts duz/dx, duz/dy
  wz,  // rotation about the vertical, (duy/dx - dux/dy)/2
  sxx,
  sxy,
  sxz,
  syy,
  syz,
  szz,  // stress, Pa
  cfs,  // Coulomb stress change on the receiver fault, Pa
  los,  // displacement toward the satellite, m
};

struct QuantityInfo {
  Quantity q;
  std::string_view name;
  std::string_view unit;
  std::string_view long_name;
};

const std::vector<QuantityInfo>& quantity_table();
const QuantityInfo& info(Quantity q);

// Parses a comma-separated list of names; an unknown or repeated name stops with the list of
// known ones.
std::vector<Quantity> parse_quantities(const std::string& list);

// What the list needs: the whole gradient for tilts and rotation, the strain for strains,
// stresses and cfs, otherwise the displacement.
Need need_of(const std::vector<Quantity>& qs);

// What the quantities need besides the field.
struct ReceiverFault {
  double strike = 0, dip = 90, rake = 0;  // degrees
  double friction = 0.4;
};

struct Evaluation {
  double lambda = 0, mu = 0;  // at the receiver depth, Pa
  FaultVectors fault;         // receiver fault, east-north-up
  double friction = 0.4;
  Vec3 los{};  // unit vector toward the satellite, east-north-up
};

// The receiver fault's normal and slip vectors in the east-north-up frame.
FaultVectors receiver_vectors(const ReceiverFault& rf);

double evaluate(Quantity q, const Field& f, const Evaluation& e);

}  // namespace kirva::syn
