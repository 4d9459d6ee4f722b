#include "output/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "stop.h"

namespace kirva {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

// The temporary files on disk, for the signal handler of a stopped run. A handler receives no
// argument, so this list is process-wide: the one piece of such state in the output. A slot is
// claimed (1) while its name is written and published (2) once the name is complete, before the
// file is created; the handler reads only published names. Lock-free atomics and unlink are safe
// in a signal handler.
constexpr int kSlots = 16;
constexpr std::size_t kNameMax = 4096;
struct Temporary {
  std::atomic<int> state{0};  // 0 free, 1 being written, 2 published
  char name[kNameMax];
};
Temporary temporaries[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

int claim(const std::string& name) {
  if (name.size() >= kNameMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int free = 0;
    if (temporaries[i].state.compare_exchange_strong(free, 1)) {
      std::memcpy(temporaries[i].name, name.c_str(), name.size() + 1);
      temporaries[i].state.store(2, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void release(int& slot) {
  if (slot >= 0) temporaries[slot].state.store(0, std::memory_order_release);
  slot = -1;
}

// Makes a rename in the directory of `path` durable; a file system that cannot sync a
// directory loses nothing by it, so failures are not reported.
void sync_directory(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos
                              ? std::string(".")
                              : path.substr(0, std::max<std::size_t>(slash, 1));
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void remove_temporaries() noexcept {
  for (Temporary& t : temporaries) {
    if (t.state.load(std::memory_order_acquire) == 2) ::unlink(t.name);
  }
}

OutFile::~OutFile() {
  discard();
}

void OutFile::open(const std::string& path) {
  discard();
  path_ = path;
  // A directory of that name could not be replaced at the end; say so before the work is done.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) fail("cannot replace", EISDIR);
  // The name is unmistakable: the final name, the program and the process. A leftover of an
  // earlier process with the same id (one ended by SIGKILL) is not overwritten.
  const std::string base = path + ".kirva-tmp-" + std::to_string(::getpid());
  for (int n = 0;; ++n) {
    const std::string temp = n == 0 ? base : base + "-" + std::to_string(n);
    // Listed before it is created: a signal in between cannot leave the file behind.
    slot_ = claim(temp);
    if (slot_ < 0) fail("cannot open", ENAMETOOLONG);
    fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = temp;
      break;
    }
    const int err = errno;
    release(slot_);
    if (err != EEXIST || n == 99) fail("cannot open", err);
  }
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

void OutFile::write_at(std::uint64_t offset, std::string_view bytes) {
  flush();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", errno);
    }
    if (n == 0) fail("cannot write", ENOSPC);
    done += static_cast<std::size_t>(n);
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
  // On the disk before the rename, so that the new name never stands for lost contents.
  if (::fsync(fd_) != 0 && errno != EINVAL) fail("cannot write", errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail("cannot close", errno);
}

void OutFile::commit() {
  close();
  if (temp_.empty()) return;
  if (::rename(temp_.c_str(), path_.c_str()) != 0) fail("cannot replace", errno);
  temp_.clear();
  release(slot_);
  sync_directory(path_);
}

void OutFile::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  release(slot_);
}

void remove_earlier(const std::string& path) {
  if (::unlink(path.c_str()) == 0) {
    sync_directory(path);
    return;
  }
  const int err = errno;
  if (err == ENOENT) return;
  throw Stop(std::string(" Error in output: cannot remove file '") + path +
             "': " + std::strerror(err));
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
