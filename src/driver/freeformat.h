// Reading the input file: the line reader that skips comment lines, and the free-format reader
// that takes the values of one data line.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace kirva {

inline constexpr int linelen = 180;  // significant characters of an input line

// The input file being read, with what a read error has to name: the file and the line.
struct InputUnit {
  std::istream& in;
  std::string name;  // the input file name as given by the user
  int lineno = 0;    // physical line number of the last line read (comment lines counted)
  bool cut = false;  // the last line went on past column 180 with a value not yet ended there
};

// Reads lines until one whose first non-blank character (blank = code 32 only) is not "#" and
// leaves it in linebuf, cut or blank-padded to 180 characters. A line end of CR LF is taken as a
// line end. At the end of the file the run stops, naming the file and `expected` (what the
// missing line was to hold).
void nextline(InputUnit& unit, std::string& linebuf, std::string_view expected);

// The values of one data line, read in order. Values are separated by blanks (or tabs) or by one
// comma with optional blanks around it; texts may stand in apostrophes or quotation marks (a
// doubled delimiter stands for one), bare words end at a blank, comma or slash; reals take E or
// D exponents (and nan/inf, which the checks of the input reject). Whatever follows the last
// value a line must supply is a remark and is ignored. A missing, empty or unconvertible value
// stops the run naming the file, the line number and the value expected (`name`).
class FreeFormat {
 public:
  FreeFormat(const InputUnit& unit, std::string_view line) : unit_(unit), line_(line) {}

  int integer(std::string_view name);
  double real(std::string_view name);
  std::string text(std::string_view name);
  // The next value when it is a real number; nothing, and the position unchanged, when the line
  // ends or what follows is no number (then it is a remark, as after the last required value).
  std::optional<double> optional_real();

 private:
  // Positions at the start of the next value; false when the line holds no further value.
  bool next_value(std::string_view expected);
  std::string_view bare_token();
  [[noreturn]] void fail(std::string_view what) const;

  const InputUnit& unit_;
  std::string_view line_;
  std::size_t pos_ = 0;
  bool first_ = true;
};

}  // namespace kirva
