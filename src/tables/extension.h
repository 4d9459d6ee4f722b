// The byte layout of "grnfun.ext", the tables a run computes beyond the three of "grnfun.all"
// (today the explosion of --isotropic), in a file beside it so that "grnfun.all" keeps its layout
// and every reader of it keeps working. Little-endian int32 and binary64, no padding.
//
//   head        16 bytes: the magic "KIRVAEXT", version (1), ntables
//   identity    a copy of the header and layer rows of the "grnfun.all" it belongs to
//               (64 + 32*nlayer bytes): a reader refuses an extension of another run
//   descriptors ntables records of 16 bytes: source type (int32, 1-based as in the input: 4 is
//               the explosion), 0 (int32, reserved), time after the source (binary64, years;
//               0 for elastic tables)
//   per observation depth k = 0..nzrec-1 (its depth record is in "grnfun.all"):
//     tables    for each descriptor i in order, for each source depth j = 0..nzs-1, the type's
//               components in file order (tables/sources.h), each as nr doubles
//
// A table is found by its descriptor, so later axes (times after the source) are more
// descriptors, not a new layout.
#pragma once

#include <cstdint>
#include <span>

#include "tables/layout.h"
#include "tables/sources.h"

namespace kirva::extension {

inline constexpr char kMagic[8] = {'K', 'I', 'R', 'V', 'A', 'E', 'X', 'T'};
inline constexpr std::int32_t kVersion = 1;
inline constexpr std::uint64_t kHeadBytes = 16;  // magic, version, ntables
inline constexpr std::uint64_t kVersionOffset = 8, kNtablesOffset = 12;
inline constexpr std::uint64_t kDescriptorBytes = 16;
inline constexpr const char* kFileName = "grnfun.ext";

struct Descriptor {
  SourceType type = SourceType::ex;
  double time = 0.0;  // years after the source; 0: elastic
};

constexpr std::uint64_t identity_bytes(int nlayer) {
  return layout::kHeaderBytes + layout::kLayerRowBytes * static_cast<std::uint64_t>(nlayer);
}

constexpr std::uint64_t descriptor_offset(int nlayer, int i) {
  return kHeadBytes + identity_bytes(nlayer) + kDescriptorBytes * static_cast<std::uint64_t>(i);
}

// Doubles of one observation depth's block: every descriptor's type over all source depths.
inline std::uint64_t depth_block_values(std::span<const Descriptor> d, int nr, int nzs) {
  std::uint64_t n = 0;
  for (const Descriptor& x : d) n += static_cast<std::uint64_t>(source_info(x.type).ncomp);
  return n * static_cast<std::uint64_t>(nzs) * static_cast<std::uint64_t>(nr);
}

inline std::uint64_t file_length(std::span<const Descriptor> d, int nlayer, int nr, int nzs,
                                 int nzrec) {
  return descriptor_offset(nlayer, static_cast<int>(d.size())) +
         8ull * static_cast<std::uint64_t>(nzrec) * depth_block_values(d, nr, nzs);
}

// Start of the run of nr doubles of component position ci (file order of descriptor i's type)
// at source depth j of observation depth k.
inline std::uint64_t column_offset(std::span<const Descriptor> d, int nlayer, int nr, int nzs,
                                   int k, int i, int j, int ci) {
  std::uint64_t values = static_cast<std::uint64_t>(k) * depth_block_values(d, nr, nzs);
  for (int u = 0; u < i; ++u)
    values += static_cast<std::uint64_t>(source_info(d[static_cast<std::size_t>(u)].type).ncomp) *
              static_cast<std::uint64_t>(nzs) * static_cast<std::uint64_t>(nr);
  const int nc = source_info(d[static_cast<std::size_t>(i)].type).ncomp;
  values += (static_cast<std::uint64_t>(nc) * static_cast<std::uint64_t>(j) +
             static_cast<std::uint64_t>(ci)) *
            static_cast<std::uint64_t>(nr);
  return descriptor_offset(nlayer, static_cast<int>(d.size())) + 8ull * values;
}

}  // namespace kirva::extension
