// The whole run: banner, input, model, loops over observation depths, source types and source
// depths, output files, success banner.
#pragma once

namespace kirva {

// Runs the program with the process's command line; returns the exit status (0 success, 1 stop).
int run(int argc, char** argv);

}  // namespace kirva
