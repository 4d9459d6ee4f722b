#include "driver/signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "output/outfile.h"

namespace kirva {

namespace {

constexpr int kSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr const char* kMessages[4] = {
    " Error in krvmain: stopped by SIGINT, no output file was changed!\n",
    " Error in krvmain: stopped by SIGTERM, no output file was changed!\n",
    " Error in krvmain: stopped by SIGHUP, no output file was changed!\n",
    " Error in krvmain: stopped by SIGPIPE, no output file was changed!\n",
};

// What the handler needs besides the list of temporaries (output/outfile.cpp): the width of
// the progress line on the terminal. Process-wide, since a handler receives no argument.
std::atomic<int> shown_width{0};

void put(const char* s, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(STDERR_FILENO, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<std::size_t>(w);
  }
}

// Only async-signal-safe calls: unlink, write, _exit.
extern "C" void on_stop_signal(int sig) {
  remove_temporaries();
  const int width = shown_width.load();
  if (width > 0) {
    static constexpr char blanks[] = "                                                          ";
    put("\r", 1);
    for (int left = width; left > 0; left -= static_cast<int>(sizeof blanks - 1)) {
      put(blanks, static_cast<std::size_t>(left < static_cast<int>(sizeof blanks - 1)
                                               ? left
                                               : static_cast<int>(sizeof blanks - 1)));
    }
    put("\r", 1);
  }
  for (int i = 0; i < 4; ++i) {
    if (kSignals[i] == sig) put(kMessages[i], std::strlen(kMessages[i]));
  }
  ::_exit(128 + sig);
}

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

SignalStops::SignalStops() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sa.sa_mask = stop_set();  // one handler at a time
  sa.sa_flags = 0;
  for (int i = 0; i < 4; ++i) {
    // A signal the run was started to ignore (nohup, a background job) stays ignored.
    sigaction(kSignals[i], nullptr, &old_[i]);
    if (old_[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &sa, nullptr);
  }
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  sigaction(SIGXFSZ, &ign, &old_xfsz_);
}

SignalStops::~SignalStops() {
  for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &old_[i], nullptr);
  sigaction(SIGXFSZ, &old_xfsz_, nullptr);
}

void SignalStops::hold() {
  const sigset_t set = stop_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void status_line_width(int width) noexcept {
  shown_width.store(width);
}

}  // namespace kirva
