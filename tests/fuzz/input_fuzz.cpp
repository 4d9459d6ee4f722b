// Coverage-guided fuzzing of the input reader (libFuzzer): any bytes as an input file. The
// reader must either fill the run's input with values the computation can take, or stop with
// one line of its own; anything else (another exception, a crash, a sanitizer report, a broken
// invariant below) is a fault.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "driver/input.h"
#include "stop.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

// What the later stages rely on.
void check(const kirva::RunInput& inp) {
  using kirva::nrmax, kirva::nzsmax;
  require(inp.nr >= 2 && inp.nr <= nrmax);
  require(inp.nzs >= 2 && inp.nzs <= nzsmax);
  for (int j = 1; j <= inp.nr; ++j) require(std::isfinite(inp.r[j]) && inp.r[j] >= 0.0);
  for (int j = 2; j <= inp.nr; ++j) require(inp.r[j] >= inp.r[j - 1]);
  require(std::isfinite(inp.zs1) && inp.zs1 >= 0.0 && std::isfinite(inp.dzs) && inp.dzs > 0.0);
  require(std::isfinite(inp.zs(inp.nzs)));
  require(std::isfinite(inp.rhalf) && inp.rhalf > 0.0);
  require(std::isfinite(inp.sampfac) && inp.sampfac > 0.0);
  require(inp.nzrec >= 0);
  if (inp.nzrec >= 1) {
    require(std::isfinite(inp.zrec(1)) && inp.zrec(1) >= 0.0);
    require(std::isfinite(inp.zrec(inp.nzrec)) && inp.zrec(inp.nzrec) >= 0.0);
  }
  require(!inp.outdir.empty() && inp.outdir.size() <= kirva::namemax);
  for (int i = 1; i <= 3; ++i) {
    require(!inp.grnfile[i].empty());
    require(inp.grnpath[i] != inp.grnall);
    for (int j = 1; j < i; ++j) require(inp.grnpath[i] != inp.grnpath[j]);
  }
  const auto& p = inp.prof;
  require(p.nprof >= 1 && p.nprof <= kirva::nprofmax);
  for (int e = 1; e <= p.nprof; ++e) {
    require(std::isfinite(p.z1[e]) && std::isfinite(p.vp1[e]) && std::isfinite(p.ro1[e]));
    require(p.vp1[e] > 0.0 && p.ro1[e] > 0.0 && p.vs1[e] > 0.0 && p.vs1[e] < p.vp1[e]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  auto inp = std::make_unique<kirva::RunInput>();
  try {
    kirva::read_input(in, "fuzz.inp", *inp);
  } catch (const kirva::Stop& s) {
    const std::string m = s.what();
    require(!m.empty() && m.find('\n') == std::string::npos);
    require(m.rfind(" Error in ", 0) == 0);
    return 0;
  }
  check(*inp);
  return 0;
}
