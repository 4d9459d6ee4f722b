// The samplings of a run: the distances (evenly spaced or geometric), the source depths and the
// observation depths. The input reader builds them from the input file and the table readers
// from the header of "grnfun.all", with the same arithmetic, so both get the same bits.
#pragma once

#include <algorithm>
#include <span>

namespace kirva {

enum class Spacing { even, geometric };

// How the header values r1 (m) and r2 (m when even, the growth ratio when geometric) were
// sampled. The input chooses even spacing when its r2 exceeds r1 (both in km); then r2 >= r1 also
// holds in m. A geometric run keeps r2 <= r1 (km) as the ratio, which is below r1 in m.
inline Spacing distance_spacing(double r1, double r2) {
  return r2 >= r1 ? Spacing::even : Spacing::geometric;
}

// The distances r[0..nr-1] (m), nr = r.size() >= 2: evenly spaced from r1 to r2, or r1 and then
// each |r2| times the one before.
void sample_distances(Spacing spacing, double r1, double r2, std::span<double> r);

// The step of nzs >= 2 evenly spaced source depths from zs1 to zs2, and depth j (0-based).
inline double source_depth_step(double zs1, double zs2, int nzs) {
  return (zs2 - zs1) / (nzs - 1);
}
inline double source_depth(double zs1, double dzs, int j) {
  return zs1 + j * dzs;
}
void sample_source_depths(double zs1, double zs2, std::span<double> zs);

// Observation depth k (0-based) of the sampling zrec1, zrec1 + dzrec, ...
inline double observation_depth(double zrec1, double dzrec, int k) {
  return zrec1 + k * dzrec;
}
// Their number: the truncated (zrec2 - zrec1)/dzrec + 1; 0 when that is below 1, not finite, or
// beyond a 32-bit integer.
int count_zrec(double zrec1, double zrec2, double dzrec);

// The smoothing half-length of the wavenumber integration: half the larger of the source-depth
// step and the first distance step r[1] - r[0].
inline double smoothing_halflength(double dzs, double rfirst, double rsecond) {
  return 0.5 * std::max(dzs, rsecond - rfirst);
}

}  // namespace kirva
