// The command line of kirva and the provenance file of a run.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_inputs.h"
#include "output/provenance.h"

namespace kirva {
namespace {

using testing::read_file;
using testing::run_kirva;
using testing::TempDir;
using testing::trace_input;
using testing::trace_with;
using testing::write_file;

const std::string K = " Error in krvmain: ";

TEST(CommandLine, HelpAndVersionAnswerAndStopWithoutARun) {
  TempDir dir;
  auto r = run_kirva(dir.path(), {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: kirva [OPTIONS] [INPUT-FILE]"), std::string::npos);
  for (const char* o : {"--threads", "--accurate", "--smoothing", "--isotropic", "--version"})
    EXPECT_NE(r.out.find(o), std::string::npos) << o;
  EXPECT_EQ(r.out.find("Welcome"), std::string::npos);
  r = run_kirva(dir.path(), {"--version", "in.inp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("kirva ") + kVersion + "\n");
  EXPECT_TRUE(dir.entries().empty());
}

TEST(CommandLine, FaultsAreOneLineOnStandardErrorBeforeAnything) {
  TempDir dir;
  write_file(dir / "in.inp", trace_input());
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus", "in.inp"},           {"--threads", "0", "in.inp"},
      {"--threads", "x", "in.inp"},    {"--threads", "4097", "in.inp"},
      {"--smoothing", "-1", "in.inp"}, {"--smoothing", "nan", "in.inp"},
      {"in.inp", "other.inp"},         {"--smoothing"}};
  for (const auto& args : bad) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    const auto r = run_kirva(dir.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");  // not even the banner
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.rfind(K, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.inp"});
  }
}

TEST(CommandLine, ANameWithALeadingDashAfterTheDoubleDash) {
  TempDir dir;
  write_file(dir / "-in.inp", trace_input());
  auto r = run_kirva(dir.path(), {"-in.inp"});
  EXPECT_EQ(r.status, 1);
  r = run_kirva(dir.path(), {"--", "-in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir / "ss.grn").find("# The input data file is -in.inp"), std::string::npos);
}

// --threads sets the workers as KIRVA_THREADS does, and wins over it; the files do not depend on
// the number of workers.
TEST(CommandLine, ThreadsOptionActsLikeTheEnvironment) {
  TempDir a, b;
  write_file(a / "in.inp", trace_input());
  write_file(b / "in.inp", trace_input());
  auto r = run_kirva(a.path(), {"in.inp"}, "", {{"KIRVA_THREADS", "1"}});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_kirva(b.path(), {"--threads", "3", "in.inp"}, "", {{"KIRVA_THREADS", "junk"}});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* f : {"grnfun.all", "ss.grn", "ds.grn", "cl.grn"})
    EXPECT_EQ(read_file(a / f), read_file(b / f)) << f;
}

// Without --accurate, --smoothing replaces rhalf only: the worked example's rhalf is 500 m, so
// --smoothing 0.5 writes the very same files, and another length other ones.
TEST(CommandLine, SmoothingReplacesRhalfInThePlainMode) {
  TempDir a, b, c;
  for (const TempDir* d : {&a, &b, &c}) write_file(*d / "in.inp", trace_input());
  ASSERT_EQ(run_kirva(a.path(), {"in.inp"}).status, 0);
  ASSERT_EQ(run_kirva(b.path(), {"--smoothing", "0.5", "in.inp"}).status, 0);
  ASSERT_EQ(run_kirva(c.path(), {"--smoothing", "0.2", "in.inp"}).status, 0);
  EXPECT_EQ(read_file(a / "grnfun.all"), read_file(b / "grnfun.all"));
  EXPECT_NE(read_file(a / "grnfun.all"), read_file(c / "grnfun.all"));
}

TEST(CommandLine, AccurateRunWritesTheSameLayoutWithOtherValues) {
  TempDir a, b;
  write_file(a / "in.inp", trace_input());
  write_file(b / "in.inp", trace_input());
  const auto ra = run_kirva(a.path(), {"in.inp"});
  const auto rb = run_kirva(b.path(), {"--accurate", "in.inp"});
  ASSERT_EQ(rb.status, 0) << rb.err;
  EXPECT_EQ(ra.out, rb.out);  // the same console
  EXPECT_EQ(a.entries(), b.entries());
  const std::string fa = read_file(a / "grnfun.all"), fb = read_file(b / "grnfun.all");
  EXPECT_EQ(fa.size(), fb.size());
  EXPECT_EQ(fa.substr(0, 224), fb.substr(0, 224));  // header and layers
  EXPECT_NE(fa, fb);
}

// In accurate mode --smoothing is the whole rule, and 0 is allowed: the kernels decay by
// themselves when the depths differ.
TEST(CommandLine, AccurateModeTakesNoSmoothingAtAll) {
  TempDir a, b;
  write_file(a / "in.inp", trace_input());
  write_file(b / "in.inp", trace_input());
  ASSERT_EQ(run_kirva(a.path(), {"--accurate", "--smoothing", "0", "in.inp"}).status, 0);
  ASSERT_EQ(run_kirva(b.path(), {"--accurate", "in.inp"}).status, 0);
  EXPECT_NE(read_file(a / "grnfun.json").find("\"smoothing_m\": 0,"), std::string::npos);
  // 0.1 m of smoothing against none: the same tables to the shown digits.
  EXPECT_EQ(read_file(a / "ss.grn"), read_file(b / "ss.grn"));
}

TEST(Provenance, JsonStringsEscapeWhatJsonForbids) {
  EXPECT_EQ(json_string("plain"), "\"plain\"");
  EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(json_string("l1\r\nl2\tx"), "\"l1\\r\\nl2\\tx\"");
  EXPECT_EQ(json_string(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(json_string(std::string("\0", 1)), "\"\\u0000\"");
  // Valid UTF-8 passes as it is; a stray byte becomes the character of its value.
  EXPECT_EQ(json_string("\xc3\xa9\xe2\x82\xac"), "\"\xc3\xa9\xe2\x82\xac\"");
  EXPECT_EQ(json_string("\xe9t\xe9"), "\"\xc3\xa9t\xc3\xa9\"");
  EXPECT_EQ(json_string("\xc3"), "\"\xc3\x83\"");                          // cut sequence
  EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\xc3\xad\xc2\xa0\xc2\x80\"");  // a surrogate
}

TEST(Provenance, EveryRunWritesItBesideTheBinaryFile) {
  TempDir dir;
  const std::string input = trace_with(4, "7") + "# a \"quoted\" remark \\ with a backslash\n";
  write_file(dir / "in.inp", input);
  const auto r = run_kirva(dir.path(), {"--smoothing", "0.25", "in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string want = std::string("{\n") +
                           "  \"program\": \"kirva\",\n"
                           "  \"version\": \"" +
                           kVersion +
                           "\",\n"
                           "  \"mode\": \"default\",\n"
                           "  \"arguments\": [\"--smoothing\", \"0.25\", \"in.inp\"],\n"
                           "  \"options\": {\"accurate\": false, \"smoothing_km\": 0.25, "
                           "\"threads\": null},\n"
                           "  \"smoothing_m\": 250,\n"
                           "  \"smoothing_rule\": \"max(smoothing_m, 0.01*|zs - zrec|, 0.01*r)\",\n"
                           "  \"sampfac\": 7,\n"
                           "  \"input_file\": \"in.inp\",\n"
                           "  \"input\": " +
                           json_string(input) + "\n}\n";
  EXPECT_EQ(read_file(dir / "grnfun.json"), want);

  TempDir acc;
  write_file(acc / "in.inp", trace_input());
  ASSERT_EQ(run_kirva(acc.path(), {"--accurate", "--threads", "2", "in.inp"}).status, 0);
  const std::string j = read_file(acc / "grnfun.json");
  EXPECT_NE(j.find("\"mode\": \"accurate\""), std::string::npos);
  EXPECT_NE(j.find("\"options\": {\"accurate\": true, \"smoothing_km\": null, \"threads\": 2}"),
            std::string::npos);
  EXPECT_NE(j.find("\"smoothing_m\": 0.10000000000000001,"), std::string::npos);
  EXPECT_NE(j.find("\"smoothing_rule\": \"smoothing_m at every distance\""), std::string::npos);

  // --isotropic is recorded when given, and only then (the documents above have no such key).
  TempDir iso;
  write_file(iso / "in.inp", trace_input());
  ASSERT_EQ(run_kirva(iso.path(), {"--isotropic", "in.inp"}).status, 0);
  EXPECT_NE(read_file(iso / "grnfun.json")
                .find("\"options\": {\"accurate\": false, \"smoothing_km\": null, \"threads\": "
                      "null, \"isotropic\": true},\n"),
            std::string::npos);
  EXPECT_EQ(j.find("isotropic"), std::string::npos);
}

// Nor the name of the explosion's tables, with --isotropic or without (a run without it removes
// an earlier grnfun.ext).
TEST(Provenance, ATableMayNotTakeItsNameNorThatOfTheExplosionsTables) {
  const struct {
    const char* names;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {"'./' a grnfun.json c",
       {"in.inp"},
       "the name grnfun.json is kept for the provenance of the run!"},
      {"'./' a b grnfun.ext",
       {"in.inp"},
       "the name grnfun.ext is kept for the explosion's tables!"},
      {"'./' grnfun.ext b c",
       {"--isotropic", "in.inp"},
       "the name grnfun.ext is kept for the explosion's tables!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names);
    TempDir dir;
    write_file(dir / "in.inp", trace_with(5, c.names));
    const auto r = run_kirva(dir.path(), c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, K + c.err + "\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.inp"});
  }
}

}  // namespace
}  // namespace kirva
