#include "driver/workers.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "stop.h"

namespace kirva {

int worker_count(std::optional<int> requested) {
  if (requested) return *requested;
  const char* env = std::getenv("KIRVA_THREADS");
  if (env == nullptr || *env == '\0') {
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(hw);
  }
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(env, &end, 10);
  if (*end != '\0' || errno != 0 || v < 1 || v > 4096)
    throw Stop(" Error in krvmain: KIRVA_THREADS must be a whole number from 1 to 4096, not '" +
               std::string(env) + "'!");
  return static_cast<int>(v);
}

SourceDepthPool::SourceDepthPool(int nworkers) : slots_(static_cast<std::size_t>(4 * nworkers)) {
  for (int w = 0; w < nworkers; ++w) work_.push_back(std::make_unique<TableWork>());
}

namespace {

void clear(TableOutput& out) {
  out.warnings.clear();
  out.binary.clear();
  out.text.clear();
  for (std::string& t : out.at_times) t.clear();
}

}  // namespace

void SourceDepthPool::run(int n, const std::function<void(int, TableWork&, TableOutput&)>& compute,
                          const std::function<void(int, TableOutput&)>& consume) {
  const int nworkers = std::min(size(), n);
  if (nworkers <= 1) {
    for (int j = 1; j <= n; ++j) {
      clear(slots_[0]);
      compute(j, *work_[0], slots_[0]);
      consume(j, slots_[0]);
    }
    return;
  }

  const int nslots = static_cast<int>(slots_.size());
  std::mutex m;
  std::condition_variable cv;
  int next = 1;                             // next source depth to hand out
  int consumed = 0;                         // source depths taken by consume
  std::vector<int> done(slots_.size(), 0);  // source depth whose result sits in a slot, 0: none
  bool stop = false;
  std::exception_ptr failure;

  auto fail = [&](std::exception_ptr e) {
    std::lock_guard lock(m);
    if (!failure) failure = e;
    stop = true;
    cv.notify_all();
  };

  auto worker = [&](TableWork& work) {
    for (;;) {
      int j = 0;
      {
        std::unique_lock lock(m);
        // A source depth is handed out once its slot has been consumed.
        cv.wait(lock, [&] { return stop || next > n || next <= consumed + nslots; });
        if (stop || next > n) return;
        j = next++;
      }
      TableOutput& out = slots_[static_cast<std::size_t>((j - 1) % nslots)];
      try {
        clear(out);
        compute(j, work, out);
      } catch (...) {
        fail(std::current_exception());
        return;
      }
      std::lock_guard lock(m);
      done[static_cast<std::size_t>((j - 1) % nslots)] = j;
      cv.notify_all();
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(nworkers));
  for (int w = 0; w < nworkers; ++w) threads.emplace_back(worker, std::ref(*work_[w]));

  for (int j = 1; j <= n; ++j) {
    const auto s = static_cast<std::size_t>((j - 1) % nslots);
    {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return stop || done[s] == j; });
      if (stop) break;
    }
    try {
      consume(j, slots_[s]);
    } catch (...) {
      fail(std::current_exception());
      break;
    }
    std::lock_guard lock(m);
    done[s] = 0;
    consumed = j;
    cv.notify_all();
  }
  for (auto& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kirva
