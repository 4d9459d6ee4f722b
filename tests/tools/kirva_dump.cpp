// Test helper: every value a GreenLibrary gives for a file, as the hexadecimal bits of the
// doubles, one item per line, so that another reader can be compared with it bit for bit: at each
// observation depth the tables of grnfun.all ("ss", "ds", "cl"), then those of the explosion
// ("ex") when a grnfun.ext is beside the file. A file the reader refuses gives its one-line
// message on stderr and exit status 1.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "library/library.h"
#include "stop.h"

namespace {

void put(const char* what, std::span<const double> v) {
  std::printf("%s", what);
  for (const double x : v)
    std::printf(" %016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
  std::printf("\n");
}

void put(const char* what, double x) {
  put(what, std::span<const double>(&x, 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kirva_dump FILE\n");
    return 2;
  }
  try {
    const kirva::GreenLibrary lib(argv[1]);
    std::printf("counts %d %d %d %d\n", lib.nlayer(), lib.nr(), lib.nzs(), lib.nzrec());
    put("r", lib.r());
    put("zs", lib.zs());
    put("zrec", lib.zrec());
    for (int l = 0; l < lib.nlayer(); ++l) {
      const double row[4] = {lib.thickness(l), lib.vp(l), lib.vs(l), lib.density(l)};
      put("layer", row);
    }
    for (int k = 0; k < lib.nzrec(); ++k) {
      const double rec[3] = {lib.lambda(k), lib.mu(k), lib.rho(k)};
      put("moduli", rec);
    }
    for (int j = 0; j < lib.nzs(); ++j) put("mu_source", lib.mu_source(j));
    // The types of grnfun.all, then the explosion of a grnfun.ext beside it.
    std::vector<kirva::SourceType> types(kirva::kSourceOrder.begin(), kirva::kSourceOrder.end());
    if (lib.has_isotropic()) types.push_back(kirva::SourceType::ex);
    for (int k = 0; k < lib.nzrec(); ++k)
      for (const kirva::SourceType t : types)
        for (int j = 0; j < lib.nzs(); ++j)
          for (int c = 1; c <= kirva::kComponents; ++c) {
            const auto col = lib.column(k, t, j, static_cast<kirva::Component>(c));
            if (col.empty()) continue;
            const std::string what = std::string(kirva::source_info(t).name) + " " +
                                     std::string(kirva::kComponentNames[c]);
            put(what.c_str(), col);
          }
  } catch (const kirva::Stop& s) {
    std::fprintf(stderr, "%s\n", s.what());
    return 1;
  }
  return std::ferror(stdout) ? 1 : 0;
}
