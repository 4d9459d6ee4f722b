#include "driver/freeformat.h"

#include <charconv>
#include <cstdlib>

#include "stop.h"

namespace kirva {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}
bool ends_word(char c) {
  return is_blank(c) || c == ',' || c == '/';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool equals_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

// A real as written in the input: sign, digits with an optional decimal point (at least one
// digit), and an optional exponent E or D with optional sign and digits. Returns the text in
// the form the C library converts (D replaced by E), or an empty string when it is none.
std::string real_syntax(std::string_view t) {
  std::string s(t);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const std::string_view rest = std::string_view(s).substr(i);
  if (equals_nocase(rest, "nan") || equals_nocase(rest, "inf") || equals_nocase(rest, "infinity"))
    return s;
  int ndig = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++ndig;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, ++ndig;
  }
  if (ndig == 0) return {};
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    s[i] = 'E';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int nexp = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++nexp;
    if (nexp == 0) return {};
  }
  if (i != s.size()) return {};
  return s;
}

}  // namespace

void nextline(InputUnit& unit, std::string& linebuf, std::string_view expected) {
  std::string raw;
  while (true) {
    if (!std::getline(unit.in, raw)) {
      throw Stop(" Error in krvmain: input file '" + unit.name + "' ends after line " +
                 std::to_string(unit.lineno) + ", expected " + std::string(expected));
    }
    ++unit.lineno;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    unit.cut = raw.size() > linelen && !ends_word(raw[linelen]);
    linebuf.assign(raw, 0, linelen);
    linebuf.resize(linelen, ' ');
    const std::size_t p = linebuf.find_first_not_of(' ');
    if (p == std::string::npos || linebuf[p] != '#') return;
  }
}

void FreeFormat::fail(std::string_view what) const {
  throw Stop(" Error in krvmain: read error in input file '" + unit_.name + "', line " +
             std::to_string(unit_.lineno) + ": " + std::string(what));
}

bool FreeFormat::next_value(std::string_view expected) {
  while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
  if (pos_ >= line_.size()) return false;
  if (line_[pos_] == '/') return false;  // a slash ends the values of the line
  if (line_[pos_] == ',') fail("empty value where " + std::string(expected) + " is expected");
  return true;
}

std::string_view FreeFormat::bare_token() {
  const std::size_t start = pos_;
  while (pos_ < line_.size() && !ends_word(line_[pos_])) ++pos_;
  const std::string_view tok = line_.substr(start, pos_ - start);
  // Only 180 characters of a line count: a value that runs on past them would be read cut short,
  // as another number or another file name.
  if (pos_ == line_.size() && unit_.cut)
    fail("the value '" + std::string(tok) + "' runs past column 180, where input lines end");
  // The separator after the value: blanks, then at most one comma.
  while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
  if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
  return tok;
}

int FreeFormat::integer(std::string_view name) {
  const std::string expected = "an integer for " + std::string(name);
  if (!next_value(expected)) fail("missing value, expected " + expected);
  const std::string_view tok = bare_token();
  std::string_view digits = tok;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int v = 0;
  const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  const bool double_sign = digits.size() < tok.size() && !digits.empty() && digits.front() == '-';
  if (digits.empty() || double_sign || res.ec != std::errc() ||
      res.ptr != digits.data() + digits.size()) {
    fail("cannot convert '" + std::string(tok) + "', expected " + expected);
  }
  return v;
}

double FreeFormat::real(std::string_view name) {
  const std::string expected = "a real number for " + std::string(name);
  if (!next_value(expected)) fail("missing value, expected " + expected);
  const std::string_view tok = bare_token();
  const std::string s = real_syntax(tok);
  if (s.empty()) fail("cannot convert '" + std::string(tok) + "', expected " + expected);
  // strtod in the C locale (the program never changes it); an overflow gives an infinity,
  // which the checks of the input then reject, an underflow a value at or near zero.
  return std::strtod(s.c_str(), nullptr);
}

std::optional<double> FreeFormat::optional_real() {
  std::size_t p = pos_;
  while (p < line_.size() && is_blank(line_[p])) ++p;
  if (p >= line_.size() || ends_word(line_[p])) return std::nullopt;
  std::size_t e = p;
  while (e < line_.size() && !ends_word(line_[e])) ++e;
  // A number cut at column 180 is not read as a shorter one.
  if (e == line_.size() && unit_.cut) return std::nullopt;
  const std::string s = real_syntax(line_.substr(p, e - p));
  if (s.empty()) return std::nullopt;
  pos_ = p;
  bare_token();
  return std::strtod(s.c_str(), nullptr);
}

std::string FreeFormat::text(std::string_view name) {
  const std::string expected = "a text for " + std::string(name);
  if (!next_value(expected)) fail("missing value, expected " + expected);
  const char delim = line_[pos_];
  if (delim != '\'' && delim != '"') return std::string(bare_token());
  std::string value;
  ++pos_;
  while (true) {
    if (pos_ >= line_.size()) fail("no closing " + std::string(1, delim) + " in " + expected);
    if (line_[pos_] == delim) {
      if (pos_ + 1 < line_.size() && line_[pos_ + 1] == delim) {
        value += delim;
        pos_ += 2;
        continue;
      }
      ++pos_;
      break;
    }
    value += line_[pos_++];
  }
  if (pos_ < line_.size() && !ends_word(line_[pos_]))
    fail("unexpected character after the closing " + std::string(1, delim) + " in " + expected);
  bare_token();  // consumes the separator only
  return value;
}

}  // namespace kirva
