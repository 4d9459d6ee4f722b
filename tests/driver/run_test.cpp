// Whole runs of kirva in a temporary directory: the console, the four files and their layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "kirva_inputs.h"

namespace kirva {
namespace {

using testing::join_lines;
using testing::le_f64;
using testing::le_i32;
using testing::read_file;
using testing::run_kirva;
using testing::split_lines;
using testing::TempDir;
using testing::trace_input;
using testing::trace_with;
using testing::write_file;
namespace tr = testing;

const std::string kHashes(54, '#');
const std::string kEmpty = std::string("#").append(52, ' ').append("#");

std::vector<std::string> success_banner() {
  return {" " + kHashes, " " + kEmpty, " #        Successful computations with KIRVA          #",
          " " + kEmpty, " " + kHashes};
}

void expect_banner(const std::vector<std::string>& out) {
  ASSERT_GE(out.size(), 22u);
  EXPECT_EQ(out[0], " " + kHashes);
  EXPECT_EQ(out[2], " #                  Welcome to                        #");
  EXPECT_EQ(out[19], " " + kHashes);
  for (int i = 1; i < 19; ++i) {
    EXPECT_EQ(out[i].size(), 55u) << i;
    EXPECT_EQ(out[i].substr(0, 2), " #");
    EXPECT_EQ(out[i].back(), '#');
  }
  EXPECT_EQ(out[20], std::string(55, ' '));
  EXPECT_EQ(out[21], "    ");
}

// lambda and mu of a layer-table row, evaluated in the order the program uses.
double mu_of(int row) {
  return (tr::trace_ro[row] * tr::trace_vs[row]) * tr::trace_vs[row];
}
double lambda_of(int row) {
  return (tr::trace_ro[row] * tr::trace_vp[row]) * tr::trace_vp[row] - mu_of(row) - mu_of(row);
}

TEST(Run, TheWorkedExample) {
  TempDir dir;
  write_file(dir / "trace.inp", trace_input());
  const auto r = run_kirva(dir.path(), {"trace.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto out = split_lines(r.out);
  expect_banner(out);
  std::vector<std::string> rest(out.begin() + 22, out.end());
  std::vector<std::string> expect{" Procedding zrec:         0.000",
                                  "Source type: strike-slip                     ",
                                  "Source type: dip-slip                        ",
                                  "Source type: compensated linear vector dipole"};
  for (const auto& l : success_banner()) expect.push_back(l);
  EXPECT_EQ(rest, expect);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"cl.grn", "ds.grn", "grnfun.all",
                                                     "grnfun.json", "ss.grn", "trace.inp"}));

  const std::string b = read_file(dir / "grnfun.all");
  const int nlayer = tr::trace_nlayer, nr = 3, nzs = 2;
  ASSERT_EQ(b.size(), 64u + 32u * nlayer + (32u + 216u * nzs * nr));
  EXPECT_EQ(le_i32(b, 0), nlayer);
  EXPECT_EQ(le_i32(b, 4), nr);
  EXPECT_EQ(le_f64(b, 16), 2000.0);
  EXPECT_EQ(le_i32(b, 24), nzs);
  EXPECT_EQ(le_f64(b, 28), 1000.0);
  EXPECT_EQ(le_f64(b, 36), 2000.0);
  EXPECT_EQ(le_i32(b, 44), 1);
  for (int l = 1; l <= nlayer; ++l) {
    const std::size_t off = 64 + 32 * static_cast<std::size_t>(l - 1);
    EXPECT_EQ(le_f64(b, off), l < nlayer ? 2500.0 : 0.0);
    EXPECT_EQ(le_f64(b, off + 8), tr::trace_vp[l]);
    EXPECT_EQ(le_f64(b, off + 16), tr::trace_vs[l]);
    EXPECT_EQ(le_f64(b, off + 24), tr::trace_ro[l]);
  }
  const std::size_t d = 64 + 32 * nlayer;
  EXPECT_EQ(le_f64(b, d), 0.0);
  EXPECT_EQ(le_f64(b, d + 8), lambda_of(1));
  EXPECT_EQ(le_f64(b, d + 16), mu_of(1));
  EXPECT_EQ(le_f64(b, d + 24), 2625.0);

  const auto ss = split_lines(read_file(dir / "ss.grn"));
  ASSERT_EQ(ss.size(), 12u + nzs * nr);
  EXPECT_EQ(ss[1], "# The input data file is trace.inp\r");
  EXPECT_EQ(ss[2], "# Source type: strike-slip                        Dislocation: 1 meter\r");
  EXPECT_EQ(ss[11],
            "   3  0.00000E+00  0.20000E+04   2  0.10000E+04  0.20000E+04  0.00000E+00  "
            "0.19708E+11  0.24620E+11\r");
  for (std::size_t i = 12; i < ss.size(); ++i) EXPECT_EQ(ss[i].size(), 141u);
  const auto cl = split_lines(read_file(dir / "cl.grn"));
  ASSERT_EQ(cl.size(), 12u + nzs * nr);
  // On the axis (r = 0) a CLVD has only uz, ezz and err = ett: columns 2, 6 and 7 (ur, ezr,
  // duz/dr) are exactly zero, columns 4 and 5 equal.
  ASSERT_EQ(cl[12].size(), 99u);
  auto field = [&](int c) { return cl[12].substr(14 * (c - 1), 14); };
  EXPECT_EQ(field(2), "  0.000000E+00");
  EXPECT_EQ(field(6), "  0.000000E+00");
  EXPECT_EQ(field(7), "  0.000000E+00");
  EXPECT_EQ(field(4), field(5));
  EXPECT_NE(field(1), "  0.000000E+00");
}

// --isotropic adds the explosion in grnfun.ext and its title to the console, in either mode, and
// changes no byte of the four files; grnfun.json differs in the arguments and the option only.
TEST(Run, IsotropicAddsTheExplosionBesideTheUnchangedFiles) {
  const std::string input = trace_with(3, "3 1.0 2.0");  // three source depths
  std::string plain_ext;
  for (const bool accurate : {false, true}) {
    SCOPED_TRACE(accurate ? "accurate" : "plain");
    const std::vector<std::string> mode =
        accurate ? std::vector<std::string>{"--accurate"} : std::vector<std::string>{};
    TempDir a, b;
    write_file(a / "in.inp", input);
    write_file(b / "in.inp", input);
    std::vector<std::string> args = mode, iso = mode;
    args.push_back("in.inp");
    iso.insert(iso.end(), {"--isotropic", "in.inp"});
    const auto ra = run_kirva(a.path(), args);
    const auto rb = run_kirva(b.path(), iso);
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    for (const char* f : {"grnfun.all", "ss.grn", "ds.grn", "cl.grn"})
      EXPECT_TRUE(read_file(a / f) == read_file(b / f)) << f;
    EXPECT_EQ(b.entries(), (std::vector<std::string>{"cl.grn", "ds.grn", "grnfun.all", "grnfun.ext",
                                                     "grnfun.json", "in.inp", "ss.grn"}));
    auto out = split_lines(ra.out);
    const auto clvd =
        std::find(out.begin(), out.end(), "Source type: compensated linear vector dipole");
    ASSERT_NE(clvd, out.end());
    out.insert(clvd + 1, "Source type: explosion                       ");
    EXPECT_EQ(split_lines(rb.out), out);
    auto ja = split_lines(read_file(a / "grnfun.json"));
    auto jb = split_lines(read_file(b / "grnfun.json"));
    ASSERT_EQ(ja.size(), jb.size());
    for (std::size_t i = 0; i < ja.size(); ++i) {
      if (ja[i].find("\"arguments\"") == std::string::npos &&
          ja[i].find("\"options\"") == std::string::npos) {
        EXPECT_EQ(ja[i], jb[i]);
      }
    }

    // grnfun.ext: the head, the identity of grnfun.all, one descriptor (explosion, time 0), then
    // per observation depth 7 components of the three source depths at three distances.
    const std::string all = read_file(b / "grnfun.all"), ext = read_file(b / "grnfun.ext");
    const std::size_t identity = 64 + 32 * tr::trace_nlayer;
    ASSERT_EQ(ext.size(), 16 + identity + 16 + 8 * 7 * 3 * 3);
    EXPECT_EQ(ext.substr(0, 8), "KIRVAEXT");
    EXPECT_EQ(le_i32(ext, 8), 1);
    EXPECT_EQ(le_i32(ext, 12), 1);
    EXPECT_TRUE(ext.substr(16, identity) == all.substr(0, identity));
    EXPECT_EQ(le_i32(ext, 16 + identity), 4);
    EXPECT_EQ(le_i32(ext, 20 + identity), 0);
    EXPECT_EQ(le_f64(ext, 24 + identity), 0.0);
    // The explosion lifts the surface above it: uz (down) < 0 at every distance.
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i)
        EXPECT_LT(le_f64(ext, 32 + identity + 8 * (21 * j + i)), 0.0) << j << " " << i;
    if (!accurate) {
      plain_ext = ext;
    } else {
      EXPECT_EQ(ext.size(), plain_ext.size());
      EXPECT_NE(ext, plain_ext);
    }
  }
}

TEST(Run, PromptAndReplacedFiles) {
  TempDir dir;
  write_file(dir / "trace.inp", trace_input());
  write_file(dir / "grnfun.all", std::string(100000, 'x'));
  write_file(dir / "ss.grn", std::string(100000, 'x'));
  const auto r = run_kirva(dir.path(), {}, "trace.inp\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  ASSERT_GE(out.size(), 22u);
  // The answer's line end comes from the terminal: the next console line joins the prompt.
  EXPECT_EQ(out[21], " Please type the file name of input data:     ");
  EXPECT_EQ(read_file(dir / "grnfun.all").size(), 1552u);
  EXPECT_EQ(split_lines(read_file(dir / "ss.grn")).size(), 18u);

  const auto withArg = run_kirva(dir.path(), {"trace.inp"});
  EXPECT_EQ(withArg.out.find("Please type"), std::string::npos);
}

TEST(Run, ThreeObservationDepths) {
  TempDir dir;
  // Depths 0, 2.5 and 5 km: the surface row, then tops of rows 2 and 3 (interfaces of the table).
  write_file(dir / "in.inp", trace_with(1, "0 5 2.5"));
  const auto r = run_kirva(dir.path(), {"in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  std::vector<std::string> progress;
  int titles = 0;
  for (const auto& l : out) {
    if (l.find("Procedding zrec:") != std::string::npos) progress.push_back(l);
    if (l.rfind("Source type:", 0) == 0) ++titles;
  }
  EXPECT_EQ(progress, (std::vector<std::string>{" Procedding zrec:         0.000",
                                                " Procedding zrec:      2500.000",
                                                " Procedding zrec:      5000.000"}));
  EXPECT_EQ(titles, 3);
  const auto ss = split_lines(read_file(dir / "ss.grn"));
  EXPECT_EQ(ss.size(), 18u);  // the first observation depth only
  EXPECT_EQ(ss[11].substr(60, 13), "  0.00000E+00");

  const std::string b = read_file(dir / "grnfun.all");
  const std::size_t block = 32 + 216 * 2 * 3;
  ASSERT_EQ(b.size(), 64 + 32 * 5 + 3 * block);
  EXPECT_EQ(le_i32(b, 44), 3);
  for (int k = 0; k < 3; ++k) {
    const std::size_t d = 64 + 32 * 5 + static_cast<std::size_t>(k) * block;
    EXPECT_EQ(le_f64(b, d), 2500.0 * k);
    EXPECT_EQ(le_f64(b, d + 8), lambda_of(k + 1));
    EXPECT_EQ(le_f64(b, d + 16), mu_of(k + 1));
    EXPECT_EQ(le_f64(b, d + 24), tr::trace_ro[k + 1]);
  }
}

TEST(Run, NoObservationDepth) {
  TempDir dir;
  write_file(dir / "in.inp", trace_with(1, "2 0 1"));
  const auto r = run_kirva(dir.path(), {"in.inp"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = split_lines(r.out);
  expect_banner(out);
  EXPECT_EQ(std::vector<std::string>(out.begin() + 22, out.end()), success_banner());
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"grnfun.all", "grnfun.json", "in.inp"}));
  const std::string b = read_file(dir / "grnfun.all");
  ASSERT_EQ(b.size(), 64u + 32u * 5);
  EXPECT_EQ(le_i32(b, 44), 0);
}

TEST(Run, OutputFailuresStopWithoutSuccess) {
  {
    // A directory where a table is to go could never be replaced: the run says so when the
    // table's file is opened, and leaves nothing behind.
    TempDir dir;
    write_file(dir / "in.inp", trace_input());
    std::filesystem::create_directory(dir / "ds.grn");
    const auto r = run_kirva(dir.path(), {"in.inp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, " Error in output: cannot replace file './ds.grn': Is a directory\n");
    EXPECT_EQ(r.out.find("Successful"), std::string::npos);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"ds.grn", "in.inp"}));
  }
  TempDir dir;
  write_file(dir / "in.inp", trace_with(5, "'nodir/' a b c"));
  const auto r = run_kirva(dir.path(), {"in.inp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            " Error in output: cannot open file 'nodir/grnfun.all': No such file or directory\n");
}

// Source depths computed side by side give the files and the console of a serial run, byte for
// byte: a layered model with gradients, three observation depths (one equal to a source depth, so
// the asymptote path runs too), seven source depths.
TEST(Run, WorkerCountChangesNoByte) {
  const std::string input = join_lines({
      "0.0  4.0  2.0",
      "21  0.0  30.0",
      "7  1.0  13.0",
      "0",
      "'./'  'ss.grn'  'ds.grn'  'cl.grn'",
      "5",
      "1  0.0  4.0  2.3  2400.0",
      "2  2.0  5.8  3.3  2650.0",
      "3  2.0  6.0  3.45 2700.0",
      "4  15.0 6.6  3.8  2900.0",
      "5  15.0 8.0  4.5  3300.0",
  });
  // With --isotropic: the four files are those of a run without it (Run.Isotropic...), and the
  // explosion's tables take the workers too.
  std::array<std::string, 5> files{"grnfun.all", "ss.grn", "ds.grn", "cl.grn", "grnfun.ext"};
  std::array<std::string, 5> serial;
  std::string serial_out;
  for (const char* threads : {"1", "3"}) {
    TempDir dir;
    write_file(dir / "layered.inp", input);
    const auto r =
        run_kirva(dir.path(), {"--isotropic", "layered.inp"}, "", {{"KIRVA_THREADS", threads}});
    ASSERT_EQ(r.status, 0) << r.err;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string bytes = read_file(dir / files[i]);
      if (std::string(threads) == "1") {
        serial[i] = bytes;
      } else {
        EXPECT_TRUE(bytes == serial[i]) << files[i] << " differs with " << threads << " workers";
      }
    }
    if (std::string(threads) == "1")
      serial_out = r.out;
    else
      EXPECT_EQ(r.out, serial_out);
  }
  const auto nlayer = static_cast<std::size_t>(le_i32(serial[0], 0));
  EXPECT_EQ(serial[0].size(), 64u + 32u * nlayer + 3u * (32u + 216u * 7u * 21u));
}

TEST(Run, BadWorkerCountStopsBeforeAnyTable) {
  TempDir dir;
  write_file(dir / "trace.inp", trace_input());
  for (const char* bad : {"0", "-2", "two", "3x"}) {
    const auto r = run_kirva(dir.path(), {"trace.inp"}, "", {{"KIRVA_THREADS", bad}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              " Error in krvmain: KIRVA_THREADS must be a whole number from 1 to 4096, not '" +
                  std::string(bad) + "'!\n");
  }
}

}  // namespace
}  // namespace kirva
