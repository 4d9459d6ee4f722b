// A run stopped by a signal. SIGINT, SIGTERM, SIGHUP and SIGPIPE end the run at once: the handler
// removes the temporary result files (the earlier run's files stay as they were), erases the
// progress line, writes one line on stderr and exits with 128 + the signal number. SIGXFSZ is
// ignored, so that a write beyond a file-size limit fails like one on a full disk and the run
// stops in the ordinary way. A signal that is ignored when the run starts (nohup, a background
// job) stays ignored.
#pragma once

#include <csignal>

namespace kirva {

class SignalStops {
 public:
  // Installs the handlers; the earlier dispositions come back with the destructor.
  SignalStops();
  ~SignalStops();
  SignalStops(const SignalStops&) = delete;
  SignalStops& operator=(const SignalStops&) = delete;

  // Holds the four signals back in the calling thread for the rest of the process: the finished
  // files are being moved onto their names, which must not stop half-way. A signal that arrives
  // from here on is not taken; the run ends normally.
  static void hold();

 private:
  struct sigaction old_[4];
  struct sigaction old_xfsz_;
};

// Tells the handler how many characters of a progress line stand on the terminal (0: none).
void status_line_width(int width) noexcept;

}  // namespace kirva
