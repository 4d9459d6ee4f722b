// The command line of kirva: kirva [OPTIONS] [INPUT-FILE].
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "integration/accurate.h"

namespace kirva {

inline constexpr const char* kVersion = "2026.12";

// What the command line asks for. Without options a run is the plain one: the input file from
// the argument or the prompt, workers from KIRVA_THREADS, the smoothing rule of the tables.
struct RunOptions {
  std::optional<std::string> infile;  // the argument; absent: ask at the prompt
  std::optional<int> threads;         // --threads: the number of workers
  bool accurate = false;              // --accurate: the point source's own Green's functions
  std::optional<double> smoothing;    // --smoothing, km
  bool isotropic = false;             // --isotropic: the explosion too, in "grnfun.ext"
  std::optional<double> gravity;      // --gravity: m/s^2, the buoyancy of hydrostatic pre-stress
  std::vector<double> times;          // --times: positive times after the source, years
  bool times_given = false;           // --times was given (a list of zeros included)
  std::vector<std::string> args;      // the arguments as given, for the provenance file
};

// Reads the command line into opt. Returns false when it asked only for --help or --version,
// which have then been written to out; a command line that cannot be read throws kirva::Stop.
bool parse_options(int argc, const char* const* argv, RunOptions& opt, std::FILE* out);

// The smoothing length (m) of a run: --smoothing when given; otherwise, in accurate mode,
// kAccurateSmoothing, and in the plain mode the input's rhalf.
double smoothing_length(const RunOptions& opt, double rhalf);

}  // namespace kirva
