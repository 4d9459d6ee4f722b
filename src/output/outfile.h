// An output file that replaces its final name only when it is complete. It is written under a
// temporary name beside the final one (same directory, so the same file system), strictly
// forward through a buffer of its own; close() hands everything to the disk, and commit() moves
// the finished file onto its final name in one rename. Until then an existing file of that name
// stays exactly as it was; a file that is never committed is removed. Every open, write, close
// and rename is checked: a failure (missing directory, no permission, full disk) becomes a
// kirva::Stop naming the final path and the system's reason, so a run never ends with a success
// banner over a truncated file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kirva {

class OutFile {
 public:
  OutFile() = default;
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  // Removes the temporary file of a file that was not committed (only on the way out of a stop).
  ~OutFile();

  // Creates the temporary file of final name `path`: path + ".kirva-tmp-" + the process id.
  void open(const std::string& path);
  void write(std::string_view bytes);
  // Writes bytes at a byte offset of the file, after what write() has buffered; for files whose
  // parts are computed in another order than they are laid out. The caller writes every byte
  // of the final length.
  void write_at(std::uint64_t offset, std::string_view bytes);
  // Hands the buffer to the system, flushes the file to the disk, closes it and reports any
  // failure, also a deferred one. The file keeps its temporary name.
  void close();
  // Moves the closed file onto its final name. A final name that is a symbolic link is replaced
  // by the file; the link's target is left as it was.
  void commit();
  // Closes and removes the temporary file, if any.
  void discard() noexcept;

  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temp_; }

 private:
  void flush();
  [[noreturn]] void fail(const char* what, int err);

  int fd_ = -1;
  int slot_ = -1;     // entry in the list of temporaries that a signal removes
  std::string path_;  // final name
  std::string temp_;  // temporary name, empty when there is none on disk
  std::vector<char> buf_;
  std::size_t used_ = 0;
};

// Removes the file `path` that an earlier run left, if there is one; any other failure than its
// absence becomes a kirva::Stop naming the path and the system's reason.
void remove_earlier(const std::string& path);

// Removes every temporary file of an uncommitted OutFile of the process. Only system calls that
// are safe in a signal handler: the handler of a stopped run calls it before the process ends.
void remove_temporaries() noexcept;

}  // namespace kirva
