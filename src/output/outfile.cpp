#include "output/outfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "stop.h"

namespace kirva {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

OutFile::~OutFile() {
  if (fd_ >= 0) ::close(fd_);
}

void OutFile::open(const std::string& path) {
  if (fd_ >= 0) close();
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) fail("cannot open", errno);
  buf_.resize(kBufferSize);
  used_ = 0;
}

void OutFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    if (used_ == buf_.size()) flush();
    const std::size_t n = std::min(bytes.size(), buf_.size() - used_);
    std::memcpy(buf_.data() + used_, bytes.data(), n);
    used_ += n;
    bytes.remove_prefix(n);
  }
}

void OutFile::flush() {
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buf_.data() + done, used_ - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", errno);
    }
    if (n == 0) fail("cannot write", ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
}

void OutFile::close() {
  if (fd_ < 0) return;
  flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("cannot close", errno);
}

void OutFile::fail(const char* what, int err) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  throw Stop(std::string(" Error in output: ") + what + " file '" + path_ +
             "': " + std::strerror(err));
}

}  // namespace kirva
