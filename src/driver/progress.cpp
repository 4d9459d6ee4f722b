#include "driver/progress.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "driver/signals.h"

namespace kirva {

namespace {

std::string clock_text(double seconds) {
  const long long s = seconds > 0.0 ? static_cast<long long>(seconds + 0.5) : 0;
  char buf[32];
  if (s >= 3600) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  }
  return buf;
}

void put(const std::string& s) {
  std::size_t n = 0;
  while (n < s.size()) {
    const ssize_t w = ::write(STDERR_FILENO, s.data() + n, s.size() - n);
    if (w <= 0) return;  // a display that cannot be written is no reason to stop the run
    n += static_cast<std::size_t>(w);
  }
}

}  // namespace

std::string progress_text(long long done, long long total, double elapsed_seconds) {
  std::string t = " tables " + std::to_string(done) + " of " + std::to_string(total) + ", " +
                  clock_text(elapsed_seconds) + " elapsed";
  if (done > 0 && done < total) {
    const double left =
        elapsed_seconds * static_cast<double>(total - done) / static_cast<double>(done);
    t += ", about " + clock_text(left) + " left";
  }
  return t;
}

Progress::Progress(long long total, bool show)
    : total_(total), start_(std::chrono::steady_clock::now()) {
  if (show) thread_ = std::thread([this] { loop(); });
}

void Progress::table_done() {
  std::lock_guard lock(m_);
  ++done_;
}

std::unique_lock<std::mutex> Progress::pause() {
  std::unique_lock lock(m_);
  erase();
  return lock;
}

void Progress::finish() {
  {
    std::lock_guard lock(m_);
    if (!thread_.joinable()) return;
    stop_ = true;
    cv_.notify_all();
  }
  thread_.join();
  std::lock_guard lock(m_);
  erase();
}

void Progress::erase() {
  if (shown_ == 0) return;
  std::string blank(static_cast<std::size_t>(shown_) + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  put(blank);
  // Only once the line is gone: a stop signal in between erases it once more, which is harmless.
  status_line_width(0);
  shown_ = 0;
  last_.clear();
}

void Progress::loop() {
  // The stop signals are taken by the other threads of the run.
  sigset_t set;
  sigemptyset(&set);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  std::unique_lock lock(m_);
  while (!stop_) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::string text = progress_text(done_, total_, elapsed);
    if (text != last_) {
      // Blanks over what is left of a longer earlier line.
      std::string line(1, '\r');
      line += text;
      if (static_cast<int>(text.size()) < shown_)
        line += std::string(static_cast<std::size_t>(shown_) - text.size(), ' ');
      // The stop-signal handler learns the width before the line appears, so that a signal
      // that comes as soon as it shows still finds it to erase.
      shown_ = std::max(shown_, static_cast<int>(text.size()));
      status_line_width(shown_);
      put(line);
      last_ = text;
    }
    cv_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; });
  }
}

}  // namespace kirva
