// Shared pieces of the synthesis tests: the homogeneous half-space library of the Okada
// reference (made by the ctest fixture), its reference sets, and Coulomb input texts.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "library/library.h"
#include "synthesis/tables.h"

namespace kirva::syn::testing {

inline std::string okada_dir() {
  return std::string(KIRVA_SHARED_DIR) + "/okada-reference";
}

// The library, opened once for all tests of the executable; a test skips when the fixture has
// not made it (a test run outside ctest).
inline const GreenLibrary* okada_library() {
  static std::unique_ptr<GreenLibrary> lib;
  if (!lib && std::filesystem::exists(KIRVA_OKADA_LIBRARY)) {
    lib = std::make_unique<GreenLibrary>(KIRVA_OKADA_LIBRARY);
  }
  return lib.get();
}

// The same half-space in the accurate mode, at the surface only (opening and volume sources).
inline const GreenLibrary* okada_accurate_library() {
  static std::unique_ptr<GreenLibrary> lib;
  if (!lib && std::filesystem::exists(KIRVA_OKADA_ACCURATE_LIBRARY)) {
    lib = std::make_unique<GreenLibrary>(KIRVA_OKADA_ACCURATE_LIBRARY);
  }
  return lib.get();
}

#define REQUIRE_OKADA_LIBRARY()                                         \
  const GreenLibrary* lib_ptr = ::kirva::syn::testing::okada_library(); \
  if (lib_ptr == nullptr)                                               \
    GTEST_SKIP() << "no library at " << KIRVA_OKADA_LIBRARY             \
                 << " (made by the ctest fixture okada_library)";       \
  const GreenLibrary& lib = *lib_ptr

// One receiver of a reference set: position (km) and the displacement (m, east-north-up) and
// strain (e_ee e_en e_eu e_nn e_nu e_uu).
struct Reference {
  double x, y, depth;
  std::array<double, 3> u;
  std::array<double, 6> e;
};

inline std::vector<Reference> read_reference(const std::string& name) {
  std::ifstream in(okada_dir() + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<Reference> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line[0] == 'x') continue;
    for (char& c : line) {
      if (c == ',') c = ' ';
    }
    std::istringstream s(line);
    Reference r;
    s >> r.x >> r.y >> r.depth;
    for (double& v : r.u) s >> v;
    for (double& v : r.e) s >> v;
    if (s) out.push_back(r);
  }
  return out;
}

// A Coulomb 3 input file with the given fault rows and a grid of -30..30 km.
inline std::string coulomb_text(const std::vector<std::string>& rows, double fric = 0.4) {
  std::ostringstream s;
  s << "This is a test file for kirva-syn\n"
       "second header line\n"
       "#reg1=  0  #reg2=  0   #fixed=  "
    << rows.size()
    << "  sym=  1\n"
       " PR1=       .250     PR2=       .250   DEPTH=      0.0\n"
       "  E1=   0.800000E+06   E2=   0.800000E+06\n"
       "XSYM=       .000     YSYM=       .000\n"
       "FRIC=       "
    << fric
    << "\n"
       "S1DR=    19.0001     S1DP=     -0.0001    S1IN=    100.000     S1GD=   .000000\n"
       "\n"
       "  #   X-start    Y-start     X-fin      Y-fin   Kode  rt.lat    reverse   dip angle     "
       "top      bot\n"
       "xxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx xxx xxxxxxxxxx xxxxxxxxxx xxxxxxxxxx "
       "xxxxxxxxxx xxxxxxxxxx\n";
  for (const auto& r : rows) s << r << "\n";
  s << "\n"
       "    Grid Parameters\n"
       "  1  ----------------------------  Start-x =    -30.0000000\n"
       "  2  ----------------------------  Start-y =    -30.0000000\n"
       "  3  --------------------------   Finish-x =     30.0000000\n"
       "  4  --------------------------   Finish-y =     30.0000000\n"
       "  5  ------------------------  x-increment =      1.0000000\n"
       "  6  ------------------------  y-increment =      1.0000000\n"
       "     Size Parameters\n"
       "  1  --------------------------  Plot size =     2.0000000\n";
  return s.str();
}

}  // namespace kirva::syn::testing
