// Constants kept in the decimal form the program's results have always been computed with rather
// than at full double precision: changing them would change the last bits of every table, and
// stored tables, their golden hashes and comparisons with earlier runs rely on those bits.
#pragma once

namespace kirva::compat {

// 2 pi cut after 15 digits: the source jumps and the phase reduction of the Bessel functions'
// large-argument forms.
inline constexpr double twopi15 = 6.28318530717958;
// 4 pi to 16 digits: the CLVD's stress jump.
inline constexpr double fourpi16 = 12.56637061435916;
// 2 pi rounded at the 15th digit: the wavenumber cut-off and step of the Hankel transforms.
inline constexpr double twopi_rounded15 = 6.28318530717959;

}  // namespace kirva::compat
