// One source depth's table depends only on its own work space: tables of different source depths
// computed at the same time on two threads are bit for bit those of a serial run.
#include "driver/table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "driver/input.h"
#include "kirva_bessel.h"
#include "tables/sources.h"

namespace kirva {
namespace {

TEST(ComputeTable, SourceDepthsComputedSideBySideMatchASerialRun) {
  auto inp = std::make_unique<RunInput>();
  {
    std::ifstream f(std::string(KIRVA_SOURCE_DIR) + "/examples/crust.inp");
    ASSERT_TRUE(f) << "the shipped example";
    read_input(f, "crust.inp", *inp);
  }
  auto lt = std::make_unique<LayerTable>();
  int ierr = -1;
  krvslice(inp->resol, ierr, inp->prof, *lt);
  ASSERT_EQ(ierr, 0);
  auto rows = std::make_unique<RowTable>();
  krvrowtab(*lt, *rows);
  const double zrec = 3000.0, mu = 3.0e10, lambda = 3.3e10;
  const int type = 2;  // dip-slip: both the P-SV and the SH kernel
  auto tab = std::make_unique<BesselTables>();
  krvbstab(source_info(static_cast<SourceType>(type - 1)).order, *tab);

  const int nzs = 6;
  std::vector<std::vector<double>> serial(nzs), parallel(nzs);
  {
    auto w = std::make_unique<TableWork>();
    for (int j = 1; j <= nzs; ++j) {
      compute_table(*inp, *lt, *rows, *tab, type, inp->zs(j), zrec, lambda, mu, *w);
      serial[j - 1].assign(w->grn.v.begin(), w->grn.v.end());
    }
  }
  // Two workers, each with its own work space, taking alternate source depths.
  auto worker = [&](int first) {
    auto w = std::make_unique<TableWork>();
    for (int j = first; j <= nzs; j += 2) {
      compute_table(*inp, *lt, *rows, *tab, type, inp->zs(j), zrec, lambda, mu, *w);
      parallel[j - 1].assign(w->grn.v.begin(), w->grn.v.end());
    }
  };
  std::thread a(worker, 1), b(worker, 2);
  a.join();
  b.join();
  for (int j = 0; j < nzs; ++j) EXPECT_EQ(parallel[j], serial[j]) << "source depth " << j + 1;
}

}  // namespace
}  // namespace kirva
