// The capacity limits of a run, which the input reader enforces and the table readers check a
// file against.
#pragma once

namespace kirva {

inline constexpr int nrmax = 1001;  // distances
inline constexpr int nzsmax = 401;  // source depths
inline constexpr int lmax = 1000;   // rows of the layer table, half-space included

// Most wavenumber samples of one table. Memory does not grow with the count, time does: at this
// count one table takes hours on any machine (bench/large.inp reaches it at sampfac 3.5e7, 3.5
// million times the default), and every sample index and wavenumber i*dk stays exact in its type.
inline constexpr double nkmax = 1.0e10;

}  // namespace kirva
