// Runs that lose nothing: whatever stops a run (a signal, a full disk, a sampling that cannot be
// computed), the files of an earlier run stay byte for byte as they were and no temporary file
// is left; a run that succeeds replaces all four, and the explosion's tables of an earlier
// --isotropic run. And the progress display on a terminal.
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/progress.h"
#include "kirva_files.h"
#include "kirva_inputs.h"
#include "kirva_process.h"

namespace kirva {
namespace {

using testing::Child;
using testing::Launch;
using testing::read_file;
using testing::run_kirva;
using testing::TempDir;
using testing::trace_input;
using testing::trace_with;
using testing::write_file;

// The result files of a run, the provenance among them, and the explosion's tables of
// --isotropic (empty when there are none).
constexpr std::size_t kNFiles = 6;
const std::array<std::string, kNFiles> kFiles{"grnfun.all", "ss.grn",      "ds.grn",
                                              "cl.grn",     "grnfun.json", "grnfun.ext"};

std::array<std::string, kNFiles> result_files(const TempDir& dir) {
  std::array<std::string, kNFiles> f;
  for (std::size_t i = 0; i < kNFiles; ++i) f[i] = read_file(dir / kFiles[i]);
  return f;
}

const std::vector<std::string> kFive{"cl.grn",      "ds.grn", "grnfun.all",
                                     "grnfun.json", "in.inp", "ss.grn"};
const std::vector<std::string> kSix{"cl.grn",      "ds.grn", "grnfun.all", "grnfun.ext",
                                    "grnfun.json", "in.inp", "ss.grn"};

// The directory of an earlier run of the worked example (with the options given): its files and
// the next input.
struct EarlierRun {
  TempDir dir;
  std::array<std::string, kNFiles> files;
  std::vector<std::string> entries;
  explicit EarlierRun(const std::string& next_input, const std::vector<std::string>& options = {}) {
    write_file(dir / "in.inp", trace_input());
    std::vector<std::string> args = options;
    args.push_back("in.inp");
    const auto r = run_kirva(dir.path(), args);
    EXPECT_EQ(r.status, 0) << r.err;
    files = result_files(dir);
    entries = dir.entries();
    EXPECT_EQ(entries, options.empty() ? kFive : kSix);
    write_file(dir / "in.inp", next_input);
  }
  // Exactly the earlier files and the input: nothing replaced, nothing left over.
  void expect_untouched() const {
    EXPECT_EQ(dir.entries(), entries);
    const auto now = result_files(dir);
    for (std::size_t i = 0; i < kNFiles; ++i)
      EXPECT_TRUE(now[i] == files[i]) << kFiles[i] << " changed";
  }
};

// The worked example with a fine sampling: six tables of about a second each.
std::string slow_input() {
  return trace_with(4, "1.0e6");
}

struct SignalCase {
  int sig;
  const char* name;
  const char* when;  // the progress display at that moment
};

// options: those of the earlier run and of the stopped one.
void stop_runs(const std::vector<SignalCase>& cases, const std::vector<std::string>& options = {}) {
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " at '" + c.when + "'");
    // On a busy machine the last table may end before the signal arrives; the run has then
    // succeeded, which tells nothing about a stop, and is tried again.
    for (int attempt = 1;; ++attempt) {
      EarlierRun earlier(slow_input(), options);
      Launch how;
      how.args = options;
      how.args.push_back("in.inp");
      how.env = {{"KIRVA_THREADS", "1"}};
      how.terminal = true;
      Child run(earlier.dir.path(), how);
      ASSERT_TRUE(run.await(c.when, 120.0)) << "the run never showed '" << c.when << "'";
      run.signal(c.sig);
      const auto r = run.wait(60.0);
      if (r.status == 0 && attempt < 3) continue;
      EXPECT_EQ(r.status, 128 + c.sig);
      // The progress line is erased, then the one line of the stop.
      const std::string msg =
          " Error in krvmain: stopped by " + std::string(c.name) + ", no output file was changed!";
      EXPECT_NE(r.err.find("\r" + msg), std::string::npos) << r.err;
      EXPECT_EQ(r.out.find("Successful"), std::string::npos);
      earlier.expect_untouched();
      break;
    }
  }
}

TEST(Safety, ARunStoppedBySigtermLeavesTheEarlierFiles) {
  stop_runs({{SIGTERM, "SIGTERM", "tables 0 of 6"},
             {SIGTERM, "SIGTERM", "tables 3 of 6"},
             {SIGTERM, "SIGTERM", "tables 5 of 6"}});
}

TEST(Safety, ARunStoppedBySigintOrSighupLeavesTheEarlierFiles) {
  stop_runs({{SIGINT, "SIGINT", "tables 0 of 6"},
             {SIGINT, "SIGINT", "tables 3 of 6"},
             {SIGINT, "SIGINT", "tables 5 of 6"},
             {SIGHUP, "SIGHUP", "tables 3 of 6"}});
}

// With --isotropic the explosion's two tables come last, the seventh and the eighth; a stop in
// them leaves the earlier grnfun.ext too.
TEST(Safety, AnIsotropicRunStoppedInTheExplosionsTablesLeavesTheEarlierFiles) {
  stop_runs({{SIGTERM, "SIGTERM", "tables 6 of 8"}}, {"--isotropic"});
}

TEST(Safety, ASignalIgnoredAtTheStartStaysIgnored) {
  // As under nohup: the hang-up of the terminal does not end the run.
  TempDir dir;
  write_file(dir / "in.inp", slow_input());
  Launch how;
  how.args = {"in.inp"};
  how.env = {{"KIRVA_THREADS", "1"}};
  how.terminal = true;
  how.ignored = {SIGHUP};
  Child run(dir.path(), how);
  ASSERT_TRUE(run.await("tables 1 of 6", 120.0));
  run.signal(SIGHUP);
  const auto r = run.wait(120.0);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Successful computations with KIRVA"), std::string::npos);
}

TEST(Safety, AFullDiskHalfWayLeavesTheEarlierFiles) {
  // 1001 distances: the tables are written in several buffers' worth while the run goes on, and
  // the first to pass 200 kB (grnfun.all, in the dip-slip tables) meets the limit.
  EarlierRun earlier(trace_with(2, "1001 0.0 100.0"));
  Launch how;
  how.args = {"in.inp"};
  how.file_size = 200000;
  Child run(earlier.dir.path(), how);
  const auto r = run.wait(120.0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind(" Error in output: cannot write file './", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("': File too large\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
  EXPECT_EQ(r.out.find("Successful"), std::string::npos);
  earlier.expect_untouched();
}

// The provenance holds the input text: a long input makes grnfun.json the one file that meets
// the limit, after all the tables are done. The earlier five stay as they were.
TEST(Safety, AProvenanceThatCannotBeWrittenLeavesTheEarlierFiles) {
  std::string next = trace_input();
  for (int i = 0; i < 3000; ++i) next += "# " + std::string(98, 'x') + "\n";
  EarlierRun earlier(next);
  Launch how;
  how.args = {"in.inp"};
  how.file_size = 200000;
  Child run(earlier.dir.path(), how);
  const auto r = run.wait(120.0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, " Error in output: cannot write file './grnfun.json': File too large\n");
  EXPECT_EQ(r.out.find("Successful"), std::string::npos);
  earlier.expect_untouched();
}

TEST(Safety, ASuccessfulRunReplacesAllFour) {
  const std::string next = trace_with(4, "20");
  EarlierRun earlier(next);
  // A symbolic link at one final name is replaced; its target keeps its contents.
  TempDir elsewhere;
  write_file(elsewhere / "kept", "kept");
  std::filesystem::remove(earlier.dir / "ds.grn");
  std::filesystem::create_symlink(elsewhere / "kept", earlier.dir / "ds.grn");
  const auto r = run_kirva(earlier.dir.path(), {"in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  TempDir fresh;
  write_file(fresh / "in.inp", next);
  ASSERT_EQ(run_kirva(fresh.path(), {"in.inp"}).status, 0);
  const auto now = result_files(earlier.dir), want = result_files(fresh);
  for (std::size_t i = 0; i < kNFiles; ++i) {
    EXPECT_TRUE(now[i] == want[i]) << kFiles[i];
    if (kFiles[i] != "grnfun.ext") {  // there before, there after: none
      EXPECT_FALSE(now[i] == earlier.files[i]) << kFiles[i] << " not replaced";
    }
  }
  EXPECT_FALSE(std::filesystem::is_symlink(earlier.dir / "ds.grn"));
  EXPECT_EQ(read_file(elsewhere / "kept"), "kept");
  EXPECT_EQ(earlier.dir.entries(), kFive);
}

// An earlier grnfun.ext goes only with a run that succeeds: then a run without --isotropic
// removes it (a reader would pair it with the new grnfun.all), and one with it replaces it. A
// directory of that name, which could not be removed, stops a run before any table.
TEST(Safety, TheEarlierExplosionTablesGoOnlyWithARunThatSucceeds) {
  EarlierRun earlier(trace_with(4, "1e30"), {"--isotropic"});
  auto r = run_kirva(earlier.dir.path(), {"in.inp"});
  EXPECT_EQ(r.status, 1);
  earlier.expect_untouched();

  const std::string next = trace_with(4, "20");
  write_file(earlier.dir / "in.inp", next);
  r = run_kirva(earlier.dir.path(), {"in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(earlier.dir.entries(), kFive);
  TempDir fresh;
  write_file(fresh / "in.inp", next);
  ASSERT_EQ(run_kirva(fresh.path(), {"--isotropic", "in.inp"}).status, 0);
  EXPECT_TRUE(result_files(earlier.dir)[0] == result_files(fresh)[0]);

  r = run_kirva(earlier.dir.path(), {"--isotropic", "in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(earlier.dir.entries(), kSix);
  EXPECT_TRUE(result_files(earlier.dir) == result_files(fresh));

  std::filesystem::remove(earlier.dir / "grnfun.ext");
  std::filesystem::create_directory(earlier.dir / "grnfun.ext");
  r = run_kirva(earlier.dir.path(), {"in.inp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, " Error in output: cannot remove file './grnfun.ext': Is a directory\n");
  EXPECT_EQ(r.out.find("Procedding"), std::string::npos);
}

TEST(Safety, ASamplingBeyondTheLimitStopsWithItsCount) {
  const std::string k = " Error in krvmain: sampfac = ";
  for (const char* sampfac : {"1e308", "1e30", "1e10"}) {
    SCOPED_TRACE(sampfac);
    EarlierRun earlier(trace_with(4, sampfac));
    const auto r = run_kirva(earlier.dir.path(), {"in.inp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("Successful"), std::string::npos);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    if (std::string(sampfac) == "1e308") {
      EXPECT_EQ(r.err, k + "1e+308 asks for more wavenumber samples in a table than can be counted "
                           "(limit 1e+10)!\n");
    } else {
      // The count: about kmax/dk0, dk0 = 2 pi/(dz + (r(nr) + rsmooth(1))*sampfac).
      const std::string shown = std::string(sampfac) == "1e30" ? "1e+30" : "1e+10";
      EXPECT_EQ(r.err.rfind(k + shown + " asks for ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(" wavenumber samples in a table, more than the limit of 1e+10!\n"),
                std::string::npos)
          << r.err;
    }
    earlier.expect_untouched();
  }
  // Just within the limit's reach the run goes on (a million samples per table, quickly).
  TempDir dir;
  write_file(dir / "in.inp", trace_with(4, "3e4"));
  EXPECT_EQ(run_kirva(dir.path(), {"in.inp"}).status, 0);
}

TEST(Progress, TheTextCountsTablesAndEstimatesTheRest) {
  EXPECT_EQ(progress_text(0, 369, 2.4), " tables 0 of 369, 0:02 elapsed");
  EXPECT_EQ(progress_text(41, 369, 12.0), " tables 41 of 369, 0:12 elapsed, about 1:36 left");
  EXPECT_EQ(progress_text(1, 4, 1300.0), " tables 1 of 4, 21:40 elapsed, about 1:05:00 left");
  EXPECT_EQ(progress_text(4, 4, 59.6), " tables 4 of 4, 1:00 elapsed");
}

TEST(Progress, ShownOnATerminalErasedAtTheEndAndTheConsoleUnchanged) {
  TempDir dir;
  write_file(dir / "in.inp", trace_with(4, "2e5"));
  const auto plain = run_kirva(dir.path(), {"in.inp"});
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");  // not a terminal: nothing on standard error
  Launch how;
  how.args = {"in.inp"};
  how.env = {{"KIRVA_THREADS", "1"}};
  how.terminal = true;
  Child run(dir.path(), how);
  const auto r = run.wait(120.0);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, plain.out);
  EXPECT_EQ(r.err.rfind("\r tables 0 of 6, 0:00 elapsed", 0), 0u) << r.err;
  // Erased: the last thing on the terminal is a line of blanks, the cursor back at its start.
  const std::size_t last = r.err.rfind('\r', r.err.size() - 2);
  ASSERT_NE(last, std::string::npos);
  EXPECT_EQ(r.err.back(), '\r');
  EXPECT_EQ(r.err.find_first_not_of(' ', last + 1), r.err.size() - 1) << r.err;

  // With --isotropic the explosion's tables count too.
  how.args = {"--isotropic", "in.inp"};
  Child iso(dir.path(), how);
  const auto ri = iso.wait(120.0);
  ASSERT_EQ(ri.status, 0);
  EXPECT_EQ(ri.err.rfind("\r tables 0 of 8, 0:00 elapsed", 0), 0u) << ri.err;
}

}  // namespace
}  // namespace kirva
