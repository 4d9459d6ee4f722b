// The console of a run (standard output): free-format lines that begin with one blank, formatted
// lines shown exactly, and the prompt that leaves its line open.
#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

namespace kirva {

class Progress;

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
  // From here on every line is written with the progress line erased (null: none).
  void attach(Progress* progress) { progress_ = progress; }

 private:
  // The progress line held off the terminal; released after the text has been flushed.
  std::unique_lock<std::mutex> quiet();
  void done(std::unique_lock<std::mutex>& lock);

  std::FILE* out_;
  Progress* progress_ = nullptr;
};

}  // namespace kirva
