// Fixed-width rendering of numbers and texts, shared by every file and console line that shows
// a number in a field: Ew.d, Iw and Aw. Each routine appends exactly w characters.
#pragma once

#include <string>
#include <string_view>

namespace kirva {

// Ew.d: right-justified in w characters, an optional minus sign, "0.", d significant digits
// (the exact binary value rounded to nearest, ties to even), then the exponent that puts the
// mantissa in [0.1, 1): "E", sign and two digits, or sign and three digits without the "E" when
// its magnitude is 100 or more. Zero is 0.000...E+00. A value that does not fit becomes w
// asterisks. Non-finite values are right-justified words: "NaN", "Infinity" or "-Infinity"
// ("Inf"/"-Inf" when the long word does not fit), so that common readers still parse them.
void fmt_e(std::string& out, double x, int w, int d);

// Iw: the integer right-justified in w characters; w asterisks when it needs more.
void fmt_i(std::string& out, long long n, int w);

// Aw: the first w characters of s, blank-padded on the right when s is shorter.
void fmt_a(std::string& out, std::string_view s, int w);

}  // namespace kirva
