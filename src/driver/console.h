// The console of a run (standard output): free-format lines that begin with one blank, formatted
// lines shown exactly, and the prompt that leaves its line open.
#pragma once

#include <cstdio>
#include <string_view>

namespace kirva {

class Console {
 public:
  explicit Console(std::FILE* out = stdout) : out_(out) {}

  // A free-format line: one blank, then the items side by side.
  void line(std::string_view items);
  // A formatted line: exactly the given characters.
  void formatted(std::string_view text);
  // Text that already holds its own line ends (collected warnings).
  void raw(std::string_view text);
  // Text without a line end, shown at once (the prompt).
  void prompt(std::string_view text);
  void flush() { std::fflush(out_); }

 private:
  std::FILE* out_;
};

}  // namespace kirva
