// The layered earth: the depth-profile list read from the input, the table of homogeneous rows
// built from it, and the computational layers cut at one (source depth, observation depth) pair.
//
// Arrays that are indexed from 1 in the physics keep that indexing: entry 0 is unused.
#pragma once

#include <array>
#include <vector>

#include "relaxation/relaxation.h"
#include "tables/limits.h"

namespace kirva {

inline constexpr int nprofmax = 1000;   // entries of the depth-profile list (= model lines)
inline constexpr int nlmax = lmax + 2;  // computational layers: table interfaces plus zs and zrec

// Depth-profile list: entries 1..nprof-1 are layers whose properties vary linearly from top
// (z1, vp1, vs1, ro1) to bottom (z2, ...); entry nprof is the half-space (top values only).
// Lengths in m, velocities in m/s, density in kg/m^3.
// The viscous elements (rh1 at the top, rh2 at the bottom) vary linearly like the other
// properties; they matter only to runs through time.
struct ProfileList {
  int nprof = 0;
  std::array<double, nprofmax + 1> z1{}, z2{}, vp1{}, vp2{}, vs1{}, vs2{}, ro1{}, ro2{};
  std::array<Rheology, nprofmax + 1> rh1{}, rh2{};
};

// Layer table: rows 1..nlayer of homogeneous layers from the surface down; thick(nlayer) = 0
// marks the half-space. rheology(l): the row's viscous elements, taken at the middle of the row
// from the profile (rows are cut by the elastic properties only).
struct LayerTable {
  int nlayer = 0;
  std::array<double, lmax + 1> thick{}, vp{}, vs{}, ro{};
  std::array<Rheology, lmax + 1> rheology{};
  // The constant gravity (m/s^2) of the hydrostatic pre-stress the earth is in (kirva --gravity):
  // its buoyancy acts at the surface and at every change of density; 0, none.
  double gravity = 0.0;
};

// Computational layers for one (zs, zrec) pair: layer i has top zl(i), thickness hl(i)
// (hl(nl) = 0 is the half-space) and the properties of table row lay(i). ls and lzrec are the
// layers whose tops are the source and the observation depth.
struct ComputationalLayers {
  int nl = 0;
  std::array<double, nlmax + 1> zl{}, hl{};
  std::array<int, nlmax + 1> lay{};
  int ls = 0, lzrec = 0;
  std::array<double, nlmax + 1> work{};  // sorted interface list of krvdepthcut (scratch)
};

// The properties of one row of the layer table and its Lame constants mu = rho*vs^2 and
// lambda = rho*vp^2 - 2*mu, evaluated in this order wherever the program needs them.
struct RowModuli {
  int row = 0;
  double ro = 0.0, vp = 0.0, vs = 0.0, mu = 0.0, lambda = 0.0;
};
RowModuli row_moduli(const LayerTable& lt, int row);

// A (source depth, observation depth) pair prepared for the response: the rows of the source and
// of the observation depth with their moduli. A depth on an interface of the layer table takes
// the row below it.
struct DepthPair {
  RowModuli source, receiver;
};

// Cuts the layer table at zs and zrec (m) into cl (krvdepthcut) and fills pair from it. The one
// way the driver, the tests and the benchmarks set up a depth pair.
void prepare_depth_pair(const LayerTable& lt, double zs, double zrec, ComputationalLayers& cl,
                        DepthPair& pair);

// The layer table at the Laplace variable s (1/s): every viscous row with its shear modulus
// mu(s) (relaxation.h) and its bulk modulus unchanged, through vs and vp; out's other rows and
// thicknesses are those of lt.
void laplace_layers(const LayerTable& lt, double s, LayerTable& out);
// Whether any row of lt has a viscous element.
bool has_viscosity(const LayerTable& lt);

// A jump of the profile: its depth (m below the top of the profile) and whether the layers on
// both sides of it are elastic (no viscous element).
struct ProfileJump {
  double depth = 0.0;
  bool elastic = true;
};
// The jumps of the profile, from the top down: the bottom of a layer whose values there differ
// from the top values of the entry below it (the half-space included), the elastic ones, and
// with `viscous` the viscous ones too (they shape the tables after the source only). Two model
// lines at one depth make such a jump; a change of gradient alone does not, nor do the steps
// between the rows krvslice cuts a gradient into, which stand for a smooth profile.
std::vector<ProfileJump> profile_jumps(const ProfileList& prof, bool viscous);

// Slices every layer of the profile into homogeneous rows so that density, vp and vs change by
// about resol (relative) per row. ierr = 1 when the table would exceed lmax rows.
void krvslice(const std::array<double, 3>& resol, int& ierr, const ProfileList& prof,
              LayerTable& lt);

// Cuts the layer table additionally at zs and zrec (m) and fills cl; ls and lzrec receive the
// layers whose tops lie at zs and zrec (left unchanged when a depth is not found).
void krvdepthcut(double zs, int& ls, double zrec, int& lzrec,
                 const std::array<double, lmax + 1>& thick, int nlayer, ComputationalLayers& cl);

}  // namespace kirva
