// The one way a run ends early: a stop carries the single line that the user sees on stderr;
// main() prints it and exits with status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace kirva {

class Stop : public std::runtime_error {
 public:
  explicit Stop(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kirva
