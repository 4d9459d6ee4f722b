// The capacity limits of a run, which the input reader enforces and the table readers check a
// file against.
#pragma once

namespace kirva {

inline constexpr int nrmax = 1001;  // distances
inline constexpr int nzsmax = 401;  // source depths
inline constexpr int lmax = 1000;   // rows of the layer table, half-space included

}  // namespace kirva
