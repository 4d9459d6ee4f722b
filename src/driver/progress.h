// The progress display of a run: when standard error is a terminal, one line there with the
// tables done of all, the time elapsed and an estimate of the time left, redrawn in place by a
// thread of its own at most four times a second and erased at the end. Console lines are
// written with the line erased (Console asks for that through pause()), so the two never mix.
// When standard error is not a terminal nothing is shown and no thread is started.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kirva {

// The text of the display: "tables 12 of 369, 0:07 elapsed, about 3:28 left"; no estimate
// before the first table is done. Times as m:ss, or h:mm:ss from an hour on.
std::string progress_text(long long done, long long total, double elapsed_seconds);

class Progress {
 public:
  // total: the tables of the run; shown only when `show` (standard error is a terminal).
  Progress(long long total, bool show);
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // One more table is done.
  void table_done();
  // Erases the line and keeps it off the terminal while the returned lock is held.
  std::unique_lock<std::mutex> pause();
  // Erases the line for good and ends the thread.
  void finish();

 private:
  void loop();
  void erase();  // with m_ held

  long long total_;
  long long done_ = 0;
  bool stop_ = false;
  int shown_ = 0;  // characters of the line on the terminal
  std::string last_;
  std::chrono::steady_clock::time_point start_;
  std::mutex m_;
  std::condition_variable cv_;
  std::thread thread_;
};

}  // namespace kirva
