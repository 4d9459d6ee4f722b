// grnfun.json, the provenance of a run's files: which program made them, in which mode, with
// which options and smoothing, from which input text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kirva {

struct Provenance {
  std::string version;
  bool accurate = false;
  bool isotropic = false;                  // --isotropic: recorded only when given
  std::optional<double> gravity;           // --gravity, m/s^2: recorded only when given
  std::vector<std::string> args;           // the command line after the program name
  std::optional<int> threads;              // --threads as given
  std::optional<double> smoothing_option;  // --smoothing as given, km
  double smoothing = 0.0;                  // the smoothing length used, m
  double sampfac = 0.0;
  std::string infile;  // the input file's name
  std::string input;   // its text
  // --times: recorded only when given. The positive times (years), the rows with a viscous
  // element, the number of Laplace nodes of the inversion.
  struct ViscousRow {
    int row = 0;
    double top = 0.0;  // m
    double mu = 0.0, eta_m = 0.0, eta_k = 0.0, muk_ratio = 0.0;
  };
  bool times_given = false;
  std::vector<double> times;
  std::vector<ViscousRow> viscous_rows;
  int laplace_nodes = 0;
  int stehfest_n = 0;
};

// A JSON string literal of s: quotes, backslashes and control characters escaped; UTF-8 passed
// through; a byte that is no part of a valid UTF-8 sequence becomes the character of the same
// value (U+0080 to U+00FF), so the document is valid UTF-8 whatever the input file holds.
std::string json_string(std::string_view s);

// The whole document, ending with a line feed.
std::string render_provenance(const Provenance& p);

}  // namespace kirva
