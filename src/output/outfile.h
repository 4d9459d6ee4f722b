// An output file that is created or replaced, written strictly forward through a buffer of its
// own, and closed explicitly. Every open, write and close is checked: a failure (missing
// directory, no permission, full disk) becomes a kirva::Stop naming the path and the system's
// reason, so a run never ends with a success banner over a truncated file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kirva {

class OutFile {
 public:
  OutFile() = default;
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  // Closes without reporting when still open (only on the way out of a stop).
  ~OutFile();

  // Creates the file, or truncates an existing one.
  void open(const std::string& path);
  void write(std::string_view bytes);
  // Hands the buffer to the system, closes and reports any failure, also a deferred one.
  void close();

  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  void flush();
  [[noreturn]] void fail(const char* what, int err);

  int fd_ = -1;
  std::string path_;
  std::vector<char> buf_;
  std::size_t used_ = 0;
};

}  // namespace kirva
