// Shared helpers of the tests: temporary directories, whole-file reads and writes, running the
// kirva executable, and decoding the little-endian binary file.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kirva::testing {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "kirva-test-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(path_)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }

 private:
  fs::path path_;
};

inline std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void write_file(const fs::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

// Lines of a text, split at "\n" (a final line end adds no empty line); "\r" is kept.
inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

struct RunResult {
  int status = -1;  // exit status, -1 when the process did not exit normally
  std::string out, err;
};

// Runs an executable in dir with the given arguments, standard input (empty when none is given,
// so a prompt meets the end of its input) and extra environment variables (name, value).
inline RunResult run_executable(const std::string& exe, const fs::path& dir,
                                const std::vector<std::string>& args, const std::string& input = "",
                                const std::vector<std::pair<std::string, std::string>>& env = {}) {
  TempDir cap;
  write_file(cap / "stdin", input);
  const std::string in = (cap / "stdin").string(), out = (cap / "stdout").string(),
                    err = (cap / "stderr").string();
  std::vector<std::string> argstore{exe};
  argstore.insert(argstore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argstore) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    const int fi = ::open(in.c_str(), O_RDONLY);
    const int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fi, 0);
    ::dup2(fo, 1);
    ::dup2(fe, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

// Runs kirva likewise.
inline RunResult run_kirva(const fs::path& dir, const std::vector<std::string>& args,
                           const std::string& input = "",
                           const std::vector<std::pair<std::string, std::string>>& env = {}) {
  return run_executable(KIRVA_EXE, dir, args, input, env);
}

// Little-endian values at a byte offset of the binary file.
inline std::int32_t le_i32(const std::string& b, std::size_t off) {
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(b.at(off + i));
  return static_cast<std::int32_t>(u);
}
inline double le_f64(const std::string& b, std::size_t off) {
  std::uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(b.at(off + i));
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

}  // namespace kirva::testing
