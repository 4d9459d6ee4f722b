// Damaged input files, 298 of them: the examples and test inputs with bytes changed, lines deleted,
// duplicated or cut, and odd values (1e308, -0, nan, 2147483648, stray quotes and commas) put in
// place of values, each run with a small sampling. Every run must end by itself, either with
// status 0, the success banner and nothing on stderr, or with status 1, one line on stderr and
// no file left behind, final or temporary. The damage is random but the same in every test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_process.h"

namespace kirva {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Launch;
using testing::read_file;
using testing::split_lines;
using testing::TempDir;
using testing::write_file;

// Runs per input: fewer of the large benchmark input, whose runs take longest.
int runs_of(const std::string& input) {
  return input == "bench/large.inp" ? 30 : 67;
}

bool is_comment(const std::string& line) {
  const std::size_t p = line.find_first_not_of(' ');
  return p != std::string::npos && line[p] == '#';
}

// The input made ready for damage: outputs into the subdirectory out/ of the run, a small
// sampling, and no slash anywhere else, so that no damage can lead a file outside the run's
// directory.
std::vector<std::string> prepared(const std::string& text) {
  std::vector<std::string> lines;
  int data = 0;
  for (std::string l : split_lines(text)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (is_comment(l)) {
      for (char& c : l)
        if (c == '/') c = '-';
    } else if (++data == 4) {
      l = "0.05";
    } else if (data == 5) {
      l = "'out/'" + l.substr(l.find_first_of(" \t,", l.find_first_not_of(' ')));
    }
    lines.push_back(l);
  }
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

const std::vector<std::string> kOdd{
    "1e308",  "-1e308",   "-0",    "nan",  "inf",  "2147483648", "-2147483649",
    "1e-308", "4.9e-324", "1d400", "0",    "-1",   "'",          "\"",
    ",",      ",,",       "''",    "1e30", "0x10", "99999999999"};

// One to three kinds of damage, at random.
std::string damaged(std::vector<std::string> lines, std::mt19937& rng) {
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  const int n = 1 + static_cast<int>(pick(3));
  for (int d = 0; d < n && !lines.empty(); ++d) {
    const std::size_t li = pick(lines.size());
    std::string& l = lines[li];
    switch (pick(6)) {
      case 0:  // a byte changed to any value but a slash
        if (!l.empty()) {
          char c = '/';
          while (c == '/') c = static_cast<char>(pick(256));
          l[pick(l.size())] = c;
        }
        break;
      case 1:
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(li));
        break;
      case 2:
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(li), l);
        break;
      case 3:  // cut short
        l.resize(pick(l.size() + 1));
        break;
      default: {  // a value replaced by, or followed by, an odd one
        std::vector<std::pair<std::size_t, std::size_t>> tok;  // start, length
        for (std::size_t p = 0; p < l.size();) {
          const std::size_t s = l.find_first_not_of(" \t", p);
          if (s == std::string::npos) break;
          std::size_t e = l.find_first_of(" \t", s);
          if (e == std::string::npos) e = l.size();
          tok.emplace_back(s, e - s);
          p = e;
        }
        const std::string odd = kOdd[pick(kOdd.size())];
        if (tok.empty()) {
          l = odd;
        } else {
          const auto [s, len] = tok[pick(tok.size())];
          if (pick(4) == 0) {
            l.insert(s + len, " " + odd);
          } else {
            l.replace(s, len, odd);
          }
        }
      }
    }
  }
  return joined(lines);
}

// The input as a C++ literal, to reproduce a failure.
std::string shown(const std::string& s) {
  std::string o;
  for (const unsigned char c : s) {
    if (c == '\n') {
      o += "\\n\n";
    } else if (c < 32 || c > 126) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", c);
      o += b;
    } else {
      o += static_cast<char>(c);
    }
  }
  return o;
}

// Every file under dir, relative names, sorted.
std::vector<std::string> all_files(const fs::path& dir) {
  std::vector<std::string> v;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    v.push_back(fs::relative(e.path(), dir).string());
  std::sort(v.begin(), v.end());
  return v;
}

class Damaged : public ::testing::TestWithParam<const char*> {};

TEST_P(Damaged, EveryRunEndsCleanly) {
  const auto base = prepared(read_file(fs::path(KIRVA_SOURCE_DIR) / GetParam()));
  std::mt19937 rng(20261208u + static_cast<unsigned>(std::string(GetParam()).size()));
  const int runs = runs_of(GetParam());
  int ok = 0, stopped = 0;
  for (int m = 0; m < runs; ++m) {
    const std::string input = damaged(base, rng);
    TempDir dir;
    write_file(dir / "in.inp", input);
    fs::create_directory(dir / "out");
    Launch how;
    how.args = {"in.inp"};
    how.env = {{"KIRVA_THREADS", "2"}};
    Child run(dir.path(), how);
    const auto r = run.wait(300.0);
    const auto files = all_files(dir.path());
    bool temporary = false;
    for (const auto& f : files) temporary = temporary || f.find(".kirva-tmp-") != std::string::npos;
    const std::string what =
        "damaged input " + std::to_string(m) + ":\n" + shown(input) + "\nstderr: " + r.err;
    if (r.status == 0) {
      ++ok;
      EXPECT_NE(r.out.find("Successful computations with KIRVA"), std::string::npos) << what;
      EXPECT_EQ(r.err, "") << what;
      EXPECT_FALSE(temporary) << what;
    } else {
      ++stopped;
      ASSERT_EQ(r.status, 1) << what;  // -2: the run did not end within 300 s
      ASSERT_FALSE(r.err.empty()) << what;
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << what;
      EXPECT_EQ(r.err.find("unexpected failure"), std::string::npos) << what;
      EXPECT_EQ(r.out.find("Successful"), std::string::npos) << what;
      EXPECT_EQ(files, (std::vector<std::string>{"in.inp", "out"})) << what;
    }
  }
  // The damage must leave some runs whole and stop others, or it tests little.
  EXPECT_GT(ok, 0);
  EXPECT_GT(stopped, runs / 4);
  std::printf("%s: %d runs ended with success, %d stopped\n", GetParam(), ok, stopped);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Damaged,
                         ::testing::Values("examples/crust.inp", "bench/large.inp",
                                           "tests/golden/inputs/deep.inp",
                                           "tests/golden/inputs/geometric.inp",
                                           "tests/golden/inputs/trace.inp"));

}  // namespace
}  // namespace kirva
