// The pool of source-depth workers: results are consumed in source-depth order whatever order the
// workers finish in, no more results wait than the pool has slots, and a failure anywhere ends
// the batch with that failure.
#include "driver/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "stop.h"

namespace kirva {
namespace {

// Later source depths finish first: depth j takes (n - j) milliseconds.
void slow_start(int j, int n) {
  std::this_thread::sleep_for(std::chrono::milliseconds(n - j));
}

TEST(SourceDepthPool, ConsumesInSourceDepthOrderWithBoundedLookahead) {
  for (int nworkers : {1, 2, 5}) {
    SourceDepthPool pool(nworkers);
    const int n = 23;
    std::string order;
    std::atomic<int> computed{0};
    int max_ahead = 0;
    pool.run(
        n,
        [&](int j, TableWork&, TableOutput& out) {
          slow_start(j, n);
          out.warnings = " warning " + std::to_string(j) + "\n";
          out.text = std::to_string(j);
          ++computed;
        },
        [&](int j, TableOutput& out) {
          EXPECT_EQ(out.text, std::to_string(j));
          order += out.warnings;
          max_ahead = std::max(max_ahead, computed.load() - j);
        });
    std::string want;
    for (int j = 1; j <= n; ++j) want += " warning " + std::to_string(j) + "\n";
    EXPECT_EQ(order, want) << nworkers << " workers";
    EXPECT_LE(max_ahead, 4 * nworkers) << nworkers << " workers";
  }
}

TEST(SourceDepthPool, AFailureEndsTheBatchAndReachesTheCaller) {
  SourceDepthPool pool(3);
  int consumed = 0;
  EXPECT_THROW(pool.run(
                   40,
                   [](int j, TableWork&, TableOutput&) {
                     if (j == 7) throw Stop(" Error in krvmoment: wrong source type switch no!");
                   },
                   [&](int, TableOutput&) { ++consumed; }),
               Stop);
  EXPECT_LT(consumed, 7);

  // A failed write while consuming stops the workers as well.
  std::atomic<int> computed{0};
  EXPECT_THROW(pool.run(
                   40, [&](int, TableWork&, TableOutput&) { ++computed; },
                   [](int j, TableOutput&) {
                     if (j == 3) throw std::runtime_error("disk full");
                   }),
               std::runtime_error);
  EXPECT_LE(computed.load(), 3 + 4 * 3);

  // The pool is usable again afterwards.
  int n = 0;
  pool.run(
      5, [](int, TableWork&, TableOutput&) {}, [&](int, TableOutput&) { ++n; });
  EXPECT_EQ(n, 5);
}

}  // namespace
}  // namespace kirva
