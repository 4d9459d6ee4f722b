// kirva-syn: the command line, and the run from the library and the sources to the file.
#pragma once

namespace kirva::syn {

// Returns the exit status: 0, or 1 after one line on standard error.
int run(int argc, char** argv);

}  // namespace kirva::syn
