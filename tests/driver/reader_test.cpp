#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "driver/freeformat.h"
#include "driver/input.h"
#include "kirva_inputs.h"
#include "stop.h"

namespace kirva {
namespace {

std::string stop_text(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.what();
  }
  return "(no stop)";
}

TEST(Nextline, SkipsCommentLinesAndKeeps180Characters) {
  std::istringstream in("# first\n   # indented comment\n\t# a tab is no blank\n" +
                        std::string(200, 'x') + "\r\n" + "   \n");
  InputUnit unit{in, "f.inp", 0};
  std::string buf;
  nextline(unit, buf, "x");
  EXPECT_EQ(unit.lineno, 3);
  EXPECT_EQ(buf, "\t# a tab is no blank" + std::string(160, ' '));
  nextline(unit, buf, "x");
  EXPECT_EQ(buf, std::string(180, 'x'));
  nextline(unit, buf, "x");  // a blank line is a data line
  EXPECT_EQ(buf, std::string(180, ' '));
  EXPECT_EQ(stop_text([&] { nextline(unit, buf, "line 6 (nline)"); }),
            " Error in krvmain: input file 'f.inp' ends after line 5, expected line 6 (nline)");
}

// Reads the given values from one line; returns them joined by '|' or the stop message.
std::string read_values(const std::string& line, const std::string& kinds) {
  std::istringstream in(line + "\n");
  InputUnit unit{in, "v.inp", 0};
  std::string buf;
  nextline(unit, buf, "x");
  FreeFormat f(unit, buf);
  std::string out;
  try {
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      const char k = kinds[i];
      if (i > 0) out += '|';
      std::ostringstream v;
      if (k == 'i') v << f.integer("n");
      if (k == 'r') v << f.real("x");
      if (k == 't') v << f.text("name");
      out += v.str();
    }
  } catch (const Stop& s) {
    return s.what();
  }
  return out;
}

TEST(FreeFormat, SeparatorsNumbersAndTexts) {
  EXPECT_EQ(read_values("3  0.0  2.0", "irr"), "3|0|2");
  EXPECT_EQ(read_values("3,0.5 , -2.0,+4", "irri"), "3|0.5|-2|4");
  EXPECT_EQ(read_values("1.5D3 2e-1 .5 5. -1.25d+1", "rrrrr"), "1500|0.2|0.5|5|-12.5");
  EXPECT_EQ(read_values("101 0.0 100.0 evenly spaced, in km", "irr"), "101|0|100");
  EXPECT_EQ(read_values("'./out dir/' \"it\"\"s\" 'a''b',plain/rest", "tttt"),
            "./out dir/|it\"s|a'b|plain");
  EXPECT_EQ(read_values("'' x", "tt"), "|x");
  EXPECT_EQ(read_values("nan -Inf", "rr"), "nan|-inf");
}

TEST(FreeFormat, ReadErrorsNameFileLineAndValue) {
  const std::string at = " Error in krvmain: read error in input file 'v.inp', line 1: ";
  EXPECT_EQ(read_values("10.5", "i"), at + "cannot convert '10.5', expected an integer for n");
  EXPECT_EQ(read_values("3 1.0", "irr"), at + "missing value, expected a real number for x");
  EXPECT_EQ(read_values("   ", "i"), at + "missing value, expected an integer for n");
  EXPECT_EQ(read_values("3 / 1.0 2.0", "irr"), at + "missing value, expected a real number for x");
  EXPECT_EQ(read_values("1,,2", "rr"), at + "empty value where a real number for x is expected");
  EXPECT_EQ(read_values("1.0e", "r"), at + "cannot convert '1.0e', expected a real number for x");
  EXPECT_EQ(read_values("3*0.0", "r"), at + "cannot convert '3*0.0', expected a real number for x");
  EXPECT_EQ(read_values("+-3", "i"), at + "cannot convert '+-3', expected an integer for n");
  EXPECT_EQ(read_values("99999999999", "i"),
            at + "cannot convert '99999999999', expected an integer for n");
  EXPECT_EQ(read_values("'open", "t"), at + "no closing ' in a text for name");
}

// Only 180 characters of a line count. A value cut there would silently become another number or
// another file name, so it is a read error; a remark cut there, or a value that ends exactly at
// column 180, is fine.
TEST(FreeFormat, AValueRunningPastColumn180IsAReadError) {
  const std::string pad(170, ' ');
  EXPECT_EQ(read_values(pad + "1.0 2.0 123456", "rrr"),
            " Error in krvmain: read error in input file 'v.inp', line 1: the value '12' runs past "
            "column 180, where input lines end");
  EXPECT_EQ(read_values(pad + "1.0 2.0 a" + std::string(40, 'x'), "rrt"),
            " Error in krvmain: read error in input file 'v.inp', line 1: the value 'ax' runs past "
            "column 180, where input lines end");
  EXPECT_EQ(read_values(pad + "1.0 2.0 12 and a remark", "rrr"), "1|2|12");
  EXPECT_EQ(read_values(pad + "1.0 2.0 a remark that is cut", "rr"), "1|2");
}

RunInput read(const std::string& text) {
  RunInput inp;
  std::istringstream in(text);
  read_input(in, "model.inp", inp);
  return inp;
}

using testing::trace_input;
using testing::trace_with;

TEST(ReadInput, TheWorkedExample) {
  const RunInput inp = read(trace_input());
  EXPECT_EQ(inp.nzrec, 1);
  EXPECT_EQ(inp.zrec(1), 0.0);
  EXPECT_EQ(inp.nr, 3);
  EXPECT_EQ(inp.r[1], 0.0);
  EXPECT_EQ(inp.r[2], 1000.0);
  EXPECT_EQ(inp.r[3], 2000.0);
  EXPECT_EQ(inp.r2, 2000.0);
  EXPECT_EQ(inp.zs(1), 1000.0);
  EXPECT_EQ(inp.zs(2), 2000.0);
  EXPECT_EQ(inp.dzs, 1000.0);
  EXPECT_EQ(inp.rhalf, 500.0);
  EXPECT_EQ(inp.sampfac, 10.0);
  EXPECT_EQ(inp.grnall, "./grnfun.all");
  EXPECT_EQ(inp.grnpath[1], "./ss.grn");
  EXPECT_EQ(inp.grnpath[3], "./cl.grn");
  EXPECT_EQ(inp.resol, (std::array<double, 3>{0.05, 0.05, 0.05}));
  EXPECT_EQ(inp.prof.nprof, 2);
  EXPECT_EQ(inp.prof.z2[1], 10000.0);
  EXPECT_EQ(inp.prof.vs2[1], 3500.0);
  EXPECT_EQ(inp.prof.z1[2], 10000.0);
  EXPECT_EQ(inp.prof.ro1[2], 2800.0);

  // Comments before, between and after the data lines change nothing.
  std::string commented;
  for (const auto& l : testing::trace_lines()) commented += "  # remark\n#\n" + l + "\n";
  const RunInput same = read(commented + "# end\n# of file\n");
  EXPECT_EQ(same.r, inp.r);
  EXPECT_EQ(same.prof.vp1, inp.prof.vp1);
}

TEST(ReadInput, DistancesEvenAndGeometric) {
  RunInput g = read(trace_with(2, "4 10 1.5"));
  EXPECT_EQ(g.r[1], 10000.0);
  EXPECT_EQ(g.r[2], 15000.0);
  EXPECT_EQ(g.r[3], 22500.0);
  EXPECT_EQ(g.r[4], 33750.0);
  EXPECT_EQ(g.r2, 1.5);  // the ratio stays as written
  EXPECT_EQ(g.rhalf, 2500.0);
  RunInput n = read(trace_with(2, "4 10 -1.5"));
  EXPECT_EQ(n.r[4], 33750.0);
  RunInput e = read(trace_with(2, "4 0 30"));
  EXPECT_EQ(e.r[2], 10000.0);
  EXPECT_EQ(e.r[4], 30000.0);
  RunInput h = read(trace_with(2, "8 0.5 1.2"));
  EXPECT_EQ(h.r[1], 500.0);
  EXPECT_EQ(h.r[8], 1200.0);
  EXPECT_EQ(read(trace_with(2, "1001 0 100")).r[1001], 100000.0);
}

TEST(ReadInput, ObservationDepthCount) {
  EXPECT_EQ(read(trace_with(1, "2 2 0.5")).nzrec, 1);
  EXPECT_EQ(read(trace_with(1, "0 2 1")).nzrec, 3);
  EXPECT_EQ(read(trace_with(1, "10 0 -5")).nzrec, 3);
  EXPECT_EQ(read(trace_with(1, "0 0 0")).nzrec, 0);
  EXPECT_EQ(read(trace_with(1, "0 2 0")).nzrec, 0);
  EXPECT_EQ(read(trace_with(1, "2 0 1")).nzrec, 0);
  EXPECT_EQ(count_zrec(0.0, 1.0e9, 1.0e-297), 0);  // beyond 32 bits
  EXPECT_EQ(count_zrec(0.0, 3.0e9, 1.0), 0);       // 3e9 + 1 > 2^31 - 1
  EXPECT_EQ(count_zrec(0.0, 2147483646.0, 1.0), 2147483647);
}

TEST(ReadInput, SamplingFactorAndFluidRule) {
  EXPECT_EQ(read(trace_with(4, "-3")).sampfac, 10.0);
  EXPECT_EQ(read(trace_with(4, "2.5")).sampfac, 2.5);
  const RunInput f = read(trace_with(7, "1 0.0 1.5 0.0 1000"));
  EXPECT_EQ(f.prof.vs1[1], 15.0);
}

TEST(ReadInput, DepthProfileList) {
  auto with_model = [](const std::string& model) {
    auto lines = testing::trace_lines();
    lines.resize(5);
    return read(testing::join_lines(lines) + model);
  };
  const RunInput a = with_model(
      "5\n1 0 5 3 2600\n2 10 6 3.5 2700\n3 10 6.2 3.6 2750\n4 30 7 4 2900\n5 30 8 4.5 3300\n");
  ASSERT_EQ(a.prof.nprof, 3);
  EXPECT_EQ(a.prof.z1[1], 0.0);
  EXPECT_EQ(a.prof.z2[1], 10000.0);
  EXPECT_EQ(a.prof.vp2[1], 6000.0);
  EXPECT_EQ(a.prof.z1[2], 10000.0);
  EXPECT_EQ(a.prof.vp1[2], 6200.0);  // the top of the second layer takes the third point
  EXPECT_EQ(a.prof.z2[2], 30000.0);
  EXPECT_EQ(a.prof.vp2[2], 7000.0);
  EXPECT_EQ(a.prof.z1[3], 30000.0);
  EXPECT_EQ(a.prof.vp1[3], 8000.0);
  EXPECT_EQ(a.prof.ro1[3], 3300.0);

  const RunInput one = with_model("1\n1 0 5 3 2600\n");
  ASSERT_EQ(one.prof.nprof, 1);
  EXPECT_EQ(one.prof.vp1[1], 5000.0);

  // Two points at the surface: a jump at depth 0, the half-space has the second point.
  const RunInput jump = with_model("2\n1 0 5 3 2600\n2 0 6 3.5 2800\n");
  ASSERT_EQ(jump.prof.nprof, 1);
  EXPECT_EQ(jump.prof.vp1[1], 6000.0);

  // A model that starts below the surface keeps its depths; the layer table shifts it up.
  const RunInput deep = with_model("2\n1 2 5 3 2600\n2 10 6 3.5 2800\n");
  ASSERT_EQ(deep.prof.nprof, 2);
  EXPECT_EQ(deep.prof.z1[1], 2000.0);
}

// The example shipped with the program must stay a valid input.
TEST(ReadInput, TheShippedExample) {
  std::ifstream f(std::string(KIRVA_SOURCE_DIR) + "/examples/crust.inp");
  ASSERT_TRUE(f.good());
  RunInput inp;
  read_input(f, "examples/crust.inp", inp);
  EXPECT_EQ(inp.nzrec, 1);
  EXPECT_EQ(inp.nr, 101);
  EXPECT_EQ(inp.r[101], 100000.0);
  EXPECT_EQ(inp.nzs, 20);
  EXPECT_EQ(inp.zs(20), 20000.0);
  EXPECT_EQ(inp.grnall, "examples/output/grnfun.all");
  EXPECT_EQ(inp.prof.nprof, 5);
  EXPECT_EQ(inp.prof.z1[5], 40000.0);
}

}  // namespace
}  // namespace kirva
