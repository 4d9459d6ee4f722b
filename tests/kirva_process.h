// A kirva process started in the background, for tests that act on a run while it is going on:
// standard error on a pseudo-terminal (so that the progress display is on) or in a file, a
// file-size limit, a signal at a chosen moment, a time limit on the whole run.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "kirva_files.h"

namespace kirva::testing {

struct Launch {
  std::vector<std::string> args;
  std::string exe = KIRVA_EXE;  // the program
  std::vector<std::pair<std::string, std::string>> env;
  bool terminal = false;             // standard error on a pseudo-terminal
  rlim_t file_size = RLIM_INFINITY;  // RLIMIT_FSIZE of the run
  std::vector<int> ignored;          // signals ignored from the start, as under nohup
};

class Child {
 public:
  Child(const fs::path& dir, const Launch& how) {
    write_file(cap_ / "stdin", "");
    if (how.terminal) {
      master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
      if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) std::abort();
      slave_name_ = ::ptsname(master_);
      // Held open here as well, so that the terminal stays open whenever the run opens it.
      slave_ = ::open(slave_name_.c_str(), O_RDWR | O_NOCTTY);
    }
    std::vector<std::string> argstore{how.exe};
    argstore.insert(argstore.end(), how.args.begin(), how.args.end());
    std::vector<char*> argv;
    for (auto& a : argstore) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string in = (cap_ / "stdin").string(), out = (cap_ / "stdout").string(),
                      err = (cap_ / "stderr").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      if (master_ >= 0) ::close(master_);
      if (::chdir(dir.c_str()) != 0) ::_exit(126);
      for (const auto& [name, value] : how.env) ::setenv(name.c_str(), value.c_str(), 1);
      ::dup2(::open(in.c_str(), O_RDONLY), 0);
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      if (how.terminal) {
        ::dup2(::open(slave_name_.c_str(), O_RDWR | O_NOCTTY), 2);
      } else {
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      }
      rlimit lim{};
      ::getrlimit(RLIMIT_FSIZE, &lim);
      lim.rlim_cur = how.file_size;
      ::setrlimit(RLIMIT_FSIZE, &lim);
      for (const int sig : how.ignored) std::signal(sig, SIG_IGN);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads the terminal until `text` has appeared on it (true) or seconds have passed or the
  // process has ended (false).
  bool await(const std::string& text, double seconds) {
    const auto end = clock::now() + std::chrono::duration<double>(seconds);
    while (terminal_.find(text) == std::string::npos) {
      if (clock::now() > end || ended()) return false;
      read_terminal(50);
    }
    return true;
  }

  void signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }

  // Waits for the end of the run (killing it after `seconds`); status as by run_kirva, or -2
  // when the time ran out. The terminal's text is in err when standard error was one.
  RunResult wait(double seconds = 600.0) {
    const auto end = clock::now() + std::chrono::duration<double>(seconds);
    RunResult r;
    while (!ended()) {
      if (clock::now() > end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        r.status = -2;
        return r;
      }
      if (master_ >= 0) {
        read_terminal(20);
      } else {
        ::usleep(5000);
      }
    }
    while (master_ >= 0 && read_terminal(0)) {
    }
    r.status = WIFEXITED(wstatus_) ? WEXITSTATUS(wstatus_) : -1;
    r.out = read_file(cap_ / "stdout");
    r.err = master_ >= 0 ? terminal_ : read_file(cap_ / "stderr");
    return r;
  }

 private:
  using clock = std::chrono::steady_clock;

  bool ended() {
    if (pid_ > 0 && ::waitpid(pid_, &wstatus_, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  }

  // False when nothing was there to read.
  bool read_terminal(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0 || (p.revents & POLLIN) == 0) return false;
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) return false;
    terminal_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  TempDir cap_;
  pid_t pid_ = -1;
  int master_ = -1, slave_ = -1;
  int wstatus_ = 0;
  std::string slave_name_;
  std::string terminal_;
};

}  // namespace kirva::testing
