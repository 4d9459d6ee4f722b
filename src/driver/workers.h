// Source depths computed side by side. The tables of one source type and observation depth are
// independent of each other; workers compute them at once, each in its own work space, and the
// driver takes the results in source-depth order, so files and console lines come out exactly as
// in a run with one worker.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/table.h"

namespace kirva {

// Workers of a run: `requested` (--threads) when given, else KIRVA_THREADS when it is set (a
// positive integer), otherwise every hardware thread. A value that is not a positive integer
// stops the run.
int worker_count(std::optional<int> requested = std::nullopt);

// What one source depth hands to the writers, rendered by its worker.
struct TableOutput {
  std::string warnings;  // console lines of the solvers, each ending in a line feed
  std::string binary;    // the table's bytes in grnfun.all
  std::string text;      // its data lines in the text table (first observation depth only)
  std::vector<std::string> at_times;  // a run through time: its bytes at each time
};

class SourceDepthPool {
 public:
  explicit SourceDepthPool(int nworkers);

  int size() const { return static_cast<int>(work_.size()); }

  // compute(j, work, out) for j = 1..n on the workers, consume(j, out) on the calling thread in
  // the order j = 1..n. At most four results per worker wait to be consumed (room for a few cheap
  // deep source depths to overtake an expensive shallow one), so memory stays
  // bounded whatever n is. A failure in either call stops the workers and is rethrown here.
  void run(int n, const std::function<void(int, TableWork&, TableOutput&)>& compute,
           const std::function<void(int, TableOutput&)>& consume);

 private:
  std::vector<std::unique_ptr<TableWork>> work_;  // one work space per worker, kept for the run
  std::vector<TableOutput> slots_;                // results waiting in order, reused
};

}  // namespace kirva
