// The input of a run: the values of the input file, checked, converted to metres and expanded
// into the distance table, the depth samplings, the output paths and the depth-profile list.
#pragma once

#include <array>
#include <istream>
#include <string>
#include <string_view>

#include "integration/hankel.h"
#include "model/model.h"
#include "tables/limits.h"
#include "tables/sampling.h"

namespace kirva {

inline constexpr int nlinemax = 1000;  // model lines
inline constexpr int namemax = 80;     // input file name, output directory, output file names

// Everything a run reads from its input file, read-only once filled. Lengths in m, velocities in
// m/s, densities in kg/m^3.
struct RunInput {
  std::string infile;  // input file name as given

  // Observation depths zrec1 + (k-1)*dzrec, k = 1..nzrec (nzrec = 0: none).
  double zrec1 = 0.0, zrec2 = 0.0, dzrec = 0.0;
  int nzrec = 0;

  // Distances r(1..nr). r2 is in m for evenly spaced distances and the unconverted ratio for
  // geometric ones, as it goes into the output headers.
  int nr = 0;
  double r1 = 0.0, r2 = 0.0;
  std::array<double, nrmax + 1> r{};

  // Source depths zs1 + (j-1)*dzs, j = 1..nzs.
  int nzs = 0;
  double zs1 = 0.0, zs2 = 0.0, dzs = 0.0;

  double rhalf = 0.0;    // smoothing half-length of the wavenumber integration, m
  double sampfac = 0.0;  // wavenumber sampling factor

  std::string outdir;                  // the prefix D of every output path
  std::array<std::string, 4> grnfile;  // 1..3: strike-slip, dip-slip, CLVD table names
  std::string grnall;                  // D + "grnfun.all"
  std::array<std::string, 4> grnpath;  // 1..3: D + grnfile(i)

  std::array<double, 3> resol{};  // relative change allowed per layer-table row (ro, vp, vs)
  ProfileList prof;
  // The first model line whose viscous columns cannot describe a Burgers body, as the message
  // that stops a run through time (an elastic run does not read them); empty when all can.
  std::string rheology_fault;

  double zrec(int k) const { return observation_depth(zrec1, dzrec, k - 1); }
  double zs(int j) const { return source_depth(zs1, dzs, j - 1); }
};

// Reads and checks the whole input file from `in` (named infile in messages and headers) and
// fills inp. Every failing check throws kirva::Stop with its message; nothing is written.
void read_input(std::istream& in, std::string_view infile, RunInput& inp);

}  // namespace kirva
