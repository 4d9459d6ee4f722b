// Small strict readers of numbers and whitespace-separated fields, shared by the file parsers
// and the command line: a value that is not a finite number is refused, never read as zero.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kirva::syn {

// The number that the whole of `text` spells, or nothing.
std::optional<double> parse_number(std::string_view text);
std::optional<long> parse_integer(std::string_view text);

// Whitespace-separated fields of a line, with everything from the first '#' on dropped.
std::vector<std::string> fields(std::string_view line, bool hash_comments = true);

// Values separated by '/', as in --point X/Y/DEPTH/...; stops with `what` and the expected
// count when the text does not hold exactly `count` numbers.
std::vector<double> slash_numbers(const std::string& text, int count, const std::string& what);

// The text with its control characters escaped (\t, \r, \n, \v, \f, otherwise \xNN), so that a
// message quoting a damaged input stays one line.
std::string printable(std::string_view text);

// "file line N: " for messages about a line of an input file.
std::string where(const std::string& path, int line);

// The lines of a text file, a carriage return before each line end left out; a file that cannot
// be opened or read stops with one line.
std::vector<std::string> read_lines(const std::string& path);

}  // namespace kirva::syn
