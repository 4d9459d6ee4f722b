// The byte layout of "grnfun.all", written by the driver and read back by the table readers: a
// plain little-endian stream of int32 and binary64 values without padding or record markers.
//
//   header      64 bytes: nlayer, nr, r1, r2, nzs, zs1, zs2, nzrec, zrec1, zrec2
//   layers      nlayer rows of 32 bytes: thickness, vp, vs, density (last row: the half-space)
//   per observation depth k = 0..nzrec-1:
//     record    32 bytes: zrec, lambda, mu, density at the observation depth
//     tables    for each source type in kSourceOrder, for each source depth j = 0..nzs-1, the
//               type's components in file order, each as nr doubles over the distances
#pragma once

#include <cstdint>

#include "tables/sources.h"

namespace kirva::layout {

// Header fields: byte offsets.
inline constexpr std::uint64_t kNlayer = 0, kNr = 4, kR1 = 8, kR2 = 16, kNzs = 24, kZs1 = 28,
                               kZs2 = 36, kNzrec = 44, kZrec1 = 48, kZrec2 = 56;
inline constexpr std::uint64_t kHeaderBytes = 64;
inline constexpr std::uint64_t kLayerRowBytes = 32;     // thickness, vp, vs, density
inline constexpr std::uint64_t kDepthRecordBytes = 32;  // zrec, lambda, mu, density

// Components of one source depth of every type together: 10 + 10 + 7.
inline constexpr int components_per_depth() {
  int n = 0;
  for (const SourceType t : kSourceOrder) n += source_info(t).ncomp;
  return n;
}

// Bytes of one observation depth's block.
constexpr std::uint64_t depth_block_bytes(int nr, int nzs) {
  return kDepthRecordBytes + 8ull * static_cast<std::uint64_t>(components_per_depth()) *
                                 static_cast<std::uint64_t>(nzs) * static_cast<std::uint64_t>(nr);
}

// 64 + 32*nlayer + nzrec*(32 + 216*nzs*nr). The counts must be non-negative.
constexpr std::uint64_t file_length(int nlayer, int nr, int nzs, int nzrec) {
  return kHeaderBytes + kLayerRowBytes * static_cast<std::uint64_t>(nlayer) +
         static_cast<std::uint64_t>(nzrec) * depth_block_bytes(nr, nzs);
}

constexpr std::uint64_t layer_row_offset(int l) {  // l = 0..nlayer-1
  return kHeaderBytes + kLayerRowBytes * static_cast<std::uint64_t>(l);
}

constexpr std::uint64_t depth_record_offset(int nlayer, int nr, int nzs, int k) {
  return kHeaderBytes + kLayerRowBytes * static_cast<std::uint64_t>(nlayer) +
         static_cast<std::uint64_t>(k) * depth_block_bytes(nr, nzs);
}

// Start of the run of nr doubles of component position ci (file order of type t) at source depth
// j of observation depth k.
constexpr std::uint64_t column_offset(int nlayer, int nr, int nzs, int k, SourceType t, int j,
                                      int ci) {
  std::uint64_t values = 0;  // doubles before this run inside the depth block
  for (const SourceType u : kSourceOrder) {
    if (u == t) break;
    values += static_cast<std::uint64_t>(source_info(u).ncomp) * static_cast<std::uint64_t>(nzs);
  }
  values += static_cast<std::uint64_t>(source_info(t).ncomp) * static_cast<std::uint64_t>(j) +
            static_cast<std::uint64_t>(ci);
  return depth_record_offset(nlayer, nr, nzs, k) + kDepthRecordBytes +
         8ull * values * static_cast<std::uint64_t>(nr);
}

}  // namespace kirva::layout
