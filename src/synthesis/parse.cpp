#include "synthesis/parse.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "stop.h"

namespace kirva::syn {

std::optional<double> parse_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long> parse_integer(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (end != s.c_str() + s.size() || errno == ERANGE) return std::nullopt;
  return v;
}

std::vector<std::string> fields(std::string_view line, bool hash_comments) {
  if (hash_comments) {
    const auto hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
  }
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) out.emplace_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

std::vector<double> slash_numbers(const std::string& text, int count, const std::string& what) {
  std::vector<double> out;
  std::size_t start = 0;
  while (true) {
    const auto slash = text.find('/', start);
    const auto piece =
        text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    const auto v = parse_number(piece);
    if (!v) {
      throw Stop(what + ": '" + piece + "' in '" + text + "' is not a number");
    }
    out.push_back(*v);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (static_cast<int>(out.size()) != count) {
    throw Stop(what + ": expected " + std::to_string(count) + " values separated by '/', found " +
               std::to_string(out.size()) + " in '" + text + "'");
  }
  return out;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7f) {
      out += ch;
      continue;
    }
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\v':
        out += "\\v";
        break;
      case '\f':
        out += "\\f";
        break;
      default: {
        static const char hex[] = "0123456789abcdef";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
      }
    }
  }
  return out;
}

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Stop("kirva-syn: cannot open " + path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (in.bad()) throw Stop("kirva-syn: cannot read " + path);
  return lines;
}

std::string where(const std::string& path, int line) {
  return path + " line " + std::to_string(line) + ": ";
}

}  // namespace kirva::syn
