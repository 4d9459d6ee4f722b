// Every way the input can stop a run: the exact one-line message on stderr, exit status 1, no
// success banner and no output file left behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_inputs.h"

namespace kirva {
namespace {

using testing::join_lines;
using testing::run_kirva;
using testing::TempDir;
using testing::trace_lines;
using testing::trace_with;

struct StopCase {
  std::string input;
  std::string message;
};

// A model that slices into more rows than the layer table holds: 26 layers of 39 rows each.
std::string overflowing_model() {
  auto lines = trace_lines();
  lines.resize(5);
  std::string s = join_lines(lines) + "27\n";
  for (int i = 0; i <= 26; ++i)
    s += std::to_string(i + 1) + " " + std::to_string(i) + (i % 2 ? " 100.0" : " 1.0") +
         " 0.5 2600\n";
  return s;
}

std::string without_model_lines() {
  auto lines = trace_lines();
  lines.resize(4);
  return join_lines(lines);
}

std::string faults_in_lines_2_and_3() {
  auto lines = trace_lines();
  lines[1] = "1 0 2";
  lines[2] = "x";
  return join_lines(lines);
}

const std::string K = " Error in krvmain: ";

std::vector<StopCase> stop_cases() {
  const std::string readerr = K + "read error in input file 'in.inp', line ";
  return {
      {trace_with(2, "1 0.0 2.0"), K + "number of distance samples < 2!"},
      {trace_with(2, "1002 0.0 2.0"), K + "no of distance samples > nrmax!"},
      {trace_with(3, "1 1.0 2.0"), K + "number of source depths < 2!"},
      {trace_with(3, "402 1.0 2.0"), K + "no of source depths > nzsmax!"},
      {trace_with(3, "2 2.0 2.0"), K + "wrong source depth stepping!"},
      {trace_with(3, "2 3.0 2.0"), K + "wrong source depth stepping!"},
      {trace_with(5, "'' 'a' 'b' 'c'"), " Error in pnkmain: wrong for output directory!"},
      {trace_with(5, "' ./' 'a' 'b' 'c'"), " Error in pnkmain: wrong for output directory!"},
      {trace_with(5, std::string(80, 'd') + " a b c"),
       " Error in pnkmain: wrong for output directory!"},
      {trace_with(5, std::string(81, 'd') + " a b c"),
       K + "output directory longer than 80 characters!"},
      {overflowing_model(), "the layer index (lmax) too small defined!"},
      {without_model_lines(),
       K + "input file 'in.inp' ends after line 5, expected line 5 (outdir and three file names)"},
      {trace_with(3, ""), readerr + "4: missing value, expected an integer for nzs"},
      {trace_with(2, "10.5 0 2"), readerr + "3: cannot convert '10.5', expected an integer for nr"},
      // Checked line by line: the fault of line 2 is reported before line 3 is read.
      {faults_in_lines_2_and_3(), K + "number of distance samples < 2!"},
      // Rejections beyond the stops of the format itself.
      {trace_with(3, "2 -1.0 2.0"), K + "source depths must not be negative!"},
      {trace_with(1, "-1 0 1"), K + "observation depths must not be negative!"},
      {trace_with(1, "0 -2 -1"), K + "observation depths must not be negative!"},
      {trace_with(6, "0"), K + "number of model lines must be 1 to 1000!"},
      {trace_with(6, "1001"), K + "number of model lines must be 1 to 1000!"},
      {trace_with(1, "0 0 inf"), K + "dzrec is not a finite number!"},
      {trace_with(3, "2 nan 2"), K + "zs1 is not a finite number!"},
      {trace_with(4, "-inf"), K + "sampfac is not a finite number!"},
      {trace_with(7, "1 NaN 5 3 2600"), K + "model line 1: z is not a finite number!"},
      {trace_with(8, "2 10 6 3.5 1e400"), K + "model line 2: ro is not a finite number!"},
      {trace_with(8, "2 10 0 0 2800"), K + "model line 2: vp must be positive!"},
      {trace_with(8, "2 10 6 3.5 0"), K + "model line 2: the density must be positive!"},
      {trace_with(8, "2 10 6 6 2800"), K + "model line 2: vs must be smaller than vp!"},
      {trace_with(2, "3 -1 2"), K + "distances must not be negative!"},
      {trace_with(2, "3 0 0"),
       K + "geometric distances must grow (r1 > 0 and |r2| > 1 when r2 <= r1)!"},
      {trace_with(2, "3 2 -1"),
       K + "geometric distances must grow (r1 > 0 and |r2| > 1 when r2 <= r1)!"},
      {trace_with(2, "3 10 -1e300"), K + "the last distance is not a finite number!"},
      {trace_with(5, "'./' " + std::string(81, 'n') + " b c"),
       K + "output file name 1 longer than 80 characters!"},
      {trace_with(5, "'./' a '  ' c"), K + "output file name 2 is empty!"},
      {trace_with(5, "'./' a b a"), K + "the four output files must have different names!"},
      {trace_with(5, "'./' a grnfun.all c"),
       K + "the four output files must have different names!"},
  };
}

void expect_clean_stop(const testing::RunResult& r, const TempDir& dir, const std::string& msg,
                       const std::vector<std::string>& left) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, msg + "\n");
  EXPECT_EQ(r.out.find("Successful"), std::string::npos);
  EXPECT_EQ(dir.entries(), left);
}

TEST(Stops, EveryInputFaultEndsTheRunCleanly) {
  for (const auto& c : stop_cases()) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    testing::write_file(dir / "in.inp", c.input);
    const auto r = run_kirva(dir.path(), {"in.inp"});
    expect_clean_stop(r, dir, c.message, {"in.inp"});
  }
}

TEST(Stops, InputFileNameFaults) {
  TempDir dir;
  auto r = run_kirva(dir.path(), {"missing.inp"});
  expect_clean_stop(r, dir, K + "cannot open input file 'missing.inp': No such file or directory",
                    {});
  r = run_kirva(dir.path(), {std::string(81, 'f')});
  expect_clean_stop(r, dir, K + "input file name longer than 80 characters!", {});
  r = run_kirva(dir.path(), {}, "\n");  // an empty answer at the prompt
  expect_clean_stop(r, dir, K + "no input file name given!", {});
  r = run_kirva(dir.path(), {}, "");  // no answer at all
  expect_clean_stop(r, dir, K + "no input file name given!", {});
  EXPECT_NE(r.out.find(" Please type the file name of input data: "), std::string::npos);
}

}  // namespace
}  // namespace kirva
