#include <gtest/gtest.h>
#include <sys/resource.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kirva_files.h"
#include "output/grnfiles.h"
#include "stop.h"

namespace kirva {
namespace {

using testing::le_f64;
using testing::le_i32;
using testing::read_file;
using testing::split_lines;
using testing::TempDir;
using testing::write_file;

// A distance-major table whose every value tells its component, distance and table.
std::vector<double> marked_table(int nr, double tag) {
  std::vector<double> g(static_cast<std::size_t>(10 * nr));
  for (int j = 1; j <= nr; ++j)
    for (int k = 1; k <= 10; ++k)
      g[static_cast<std::size_t>(10 * (j - 1) + k - 1)] = tag + 10 * k + j;
  return g;
}

TEST(GrnAll, LayoutOfTheSmallestCompleteFile) {
  TempDir dir;
  const std::string path = (dir / "grnfun.all").string();
  const std::array<double, 4> thick{0, 100, 200, 0}, vp{0, 5000, 6000, 7000},
      vs{0, 3000, 3500, 4000}, ro{0, 2600, 2700, 2800};
  const int nr = 2, nzs = 2;
  GrnAllWriter w;
  w.open(path);
  w.header(3, nr, 0.0, 1.5, nzs, 1000.0, 2000.0, 1, 0.0, 0.0);
  w.layers(3, thick, vp, vs, ro);
  w.depth(0.0, 3.0e10, 2.5e10, 2600.0);
  for (int s = 1; s <= 3; ++s)
    for (int j = 1; j <= nzs; ++j)
      w.table(marked_table(nr, 1000.0 * s + 100.0 * j), nr, kSourceTypes[s - 1]);
  w.close();
  w.commit();

  const std::string b = read_file(path);
  ASSERT_EQ(b.size(), 1056u);  // 64 + 32*nlayer + nzrec*(32 + 216*nzs*nr)
  EXPECT_EQ(le_i32(b, 0), 3);
  EXPECT_EQ(le_i32(b, 4), 2);
  EXPECT_EQ(le_f64(b, 8), 0.0);
  EXPECT_EQ(le_f64(b, 16), 1.5);
  EXPECT_EQ(le_i32(b, 24), 2);
  EXPECT_EQ(le_f64(b, 28), 1000.0);
  EXPECT_EQ(le_f64(b, 36), 2000.0);
  EXPECT_EQ(le_i32(b, 44), 1);
  EXPECT_EQ(le_f64(b, 48), 0.0);
  EXPECT_EQ(le_f64(b, 56), 0.0);
  for (int l = 1; l <= 3; ++l) {  // thickness, vp, vs, density
    const std::size_t off = 64 + 32 * static_cast<std::size_t>(l - 1);
    EXPECT_EQ(le_f64(b, off), thick[l]);
    EXPECT_EQ(le_f64(b, off + 8), vp[l]);
    EXPECT_EQ(le_f64(b, off + 16), vs[l]);
    EXPECT_EQ(le_f64(b, off + 24), ro[l]);
  }
  EXPECT_EQ(le_f64(b, 160), 0.0);
  EXPECT_EQ(le_f64(b, 168), 3.0e10);
  EXPECT_EQ(le_f64(b, 176), 2.5e10);
  EXPECT_EQ(le_f64(b, 184), 2600.0);
  // The tables: per source type and depth each component as a run over the distances; the
  // CLVD without ut, ert, etz.
  std::size_t off = 192;
  for (int s = 1; s <= 3; ++s)
    for (int j = 1; j <= nzs; ++j) {
      const std::vector<int> comps = s == 3 ? std::vector<int>{1, 2, 4, 5, 6, 7, 10}
                                            : std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
      for (const int k : comps)
        for (int jr = 1; jr <= nr; ++jr, off += 8)
          ASSERT_EQ(le_f64(b, off), 1000.0 * s + 100.0 * j + 10 * k + jr) << s << j << k << jr;
    }
  EXPECT_EQ(off, b.size());
}

TEST(GrnAll, LargeTablesStreamThroughTheBufferIntact) {
  TempDir dir;
  const std::string path = (dir / "g").string();
  const int nr = 1001, nzs = 7;
  const std::array<double, 2> one{0, 0};
  GrnAllWriter w;
  w.open(path);
  w.header(1, nr, 0, 1, nzs, 0, 1, 1, 0, 0);
  w.layers(1, one, one, one, one);
  w.depth(0, 0, 0, 0);
  for (int s = 1; s <= 3; ++s)
    for (int j = 1; j <= nzs; ++j) w.table(marked_table(nr, 1.0e5 * j), nr, kSourceTypes[s - 1]);
  w.close();
  w.commit();
  const std::string b = read_file(path);
  ASSERT_EQ(b.size(), 64u + 32u + (32u + 216u * nzs * nr));
  // Last value of the file: CLVD, last depth, duz/dr at the last distance.
  EXPECT_EQ(le_f64(b, b.size() - 8), 1.0e5 * nzs + 100 + nr);
}

TEST(GrnText, HeaderParameterLineAndDataLines) {
  TempDir dir;
  const std::string path = (dir / "ds.grn").string();
  GrnTextWriter t;
  t.open(path);
  const SourceTypeInfo& ds = source_info(SourceType::ds);
  t.head("model.inp", ds, 3, 0.0, 1.5, 2, 1000.0, 2000.0, 0.0, 2.0e10, 2.5e10);
  std::vector<double> g = marked_table(3, 0.0);
  g[0] = -1.0e-120;
  t.data(g, 3, ds);
  t.close();
  t.commit();

  const std::string text = read_file(path);
  const auto lines = split_lines(text);
  ASSERT_EQ(lines.size(), 15u);
  for (const auto& l : lines) ASSERT_EQ(l.back(), '\r');  // CR LF on every line
  EXPECT_EQ(lines[0], "# Green functions calculated with the program kirva\r");
  EXPECT_EQ(lines[1], "# The input data file is model.inp\r");
  EXPECT_EQ(lines[2],
            "# Source type: dip-slip" + std::string(24, ' ') + "   Dislocation: 1 meter\r");
  EXPECT_EQ(lines[2].size(), 71u);
  EXPECT_EQ(lines[3], "# The 1. data line includes the parameters:\r");
  EXPECT_EQ(lines[4], "#\r");
  EXPECT_EQ(lines[5],
            "# nr, r1[m], r2[m]; nzs, zs1[m], zs2[m]; obs.depth[m]; lambda[Pa], mu[Pa] (at obs. "
            "depth)\r");
  EXPECT_EQ(lines[5].size(), 90u);
  EXPECT_EQ(lines[6], "#\r");
  EXPECT_EQ(lines[7], "# The following data lines are\r");
  EXPECT_EQ(lines[8], "#\r");
  const std::string& h = lines[9];
  ASSERT_EQ(h.size(), 137u);
  const std::vector<std::pair<int, std::string>> labels{
      {5, "uz[m]"}, {19, "ur[m]"}, {33, "ut[m]"}, {47, "ezz"},  {61, "err"},
      {75, "ett"},  {89, "ezr"},   {103, "ert"},  {117, "etz"}, {131, "duz/dr"}};
  std::string expect(136, ' ');
  expect[0] = '#';
  for (const auto& [col, lab] : labels)
    expect.replace(static_cast<std::size_t>(col - 1), lab.size(), lab);
  EXPECT_EQ(h, expect + "\r");
  EXPECT_EQ(lines[10], "#\r");
  EXPECT_EQ(lines[11],
            "   3  0.00000E+00  0.15000E+01   2  0.10000E+04  0.20000E+04  0.00000E+00  "
            "0.20000E+11  0.25000E+11\r");
  EXPECT_EQ(lines[11].size(), 100u);
  EXPECT_EQ(lines[12].size(), 141u);
  EXPECT_EQ(lines[12].substr(0, 28), " -0.100000-119  0.210000E+02");
  EXPECT_EQ(lines[14].substr(126), "  0.103000E+03\r");  // duz/dr of distance 3
}

TEST(GrnText, ClvdTableAndInputNamesWithBlanks) {
  TempDir dir;
  const std::string path = (dir / "cl.grn").string();
  GrnTextWriter t;
  t.open(path);
  const SourceTypeInfo& cl = source_info(SourceType::cl);
  t.head("my model.inp", cl, 2, 0, 1, 2, 0, 1, 0, 1, 1);
  t.data(marked_table(2, 0.0), 2, cl);
  t.close();
  t.commit();
  auto lines = split_lines(read_file(path));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[1], "# The input data file is my\r");
  EXPECT_EQ(lines[2], "# Source type: compensated linear vector dipole   Dislocation: 1 meter\r");
  std::string expect(94, ' ');
  expect[0] = '#';
  const std::vector<std::pair<int, std::string>> labels{{5, "uz[m]"},  {19, "ur[m]"}, {33, "ezz"},
                                                        {47, "err"},   {61, "ett"},   {75, "ezr"},
                                                        {89, "duz/dr"}};
  for (const auto& [col, lab] : labels)
    expect.replace(static_cast<std::size_t>(col - 1), lab.size(), lab);
  EXPECT_EQ(lines[9], expect + "\r");
  EXPECT_EQ(lines[12],
            "  0.110000E+02  0.210000E+02  0.410000E+02  0.510000E+02  0.610000E+02  0.710000E+02  "
            "0.101000E+03\r");

  GrnTextWriter u;
  u.open(path);
  u.head(" lead.inp", cl, 2, 0, 1, 2, 0, 1, 0, 1, 1);
  u.commit();  // closes first
  EXPECT_EQ(split_lines(read_file(path))[1], "# The input data file is \r");
}

// A file-size limit as a full disk: writes beyond it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

std::string stop_text(const std::function<void()>& f) {
  try {
    f();
  } catch (const Stop& s) {
    return s.what();
  }
  return "no stop";
}

TEST(OutFile, FailuresNameTheFinalPathAndTheReasonAndLeaveTheEarlierFile) {
  TempDir dir;
  const std::string path = (dir / "ss.grn").string();
  write_file(path, "earlier run");
  {
    const FileSizeLimit limit(1000);
    OutFile f;
    f.open(path);
    f.write(std::string(5000, 'x'));
    EXPECT_EQ(stop_text([&] { f.close(); }),
              " Error in output: cannot write file '" + path + "': File too large");
  }
  EXPECT_EQ(read_file(path), "earlier run");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"ss.grn"}));

  const std::string missing = (dir / "no-such-dir" / "grnfun.all").string();
  GrnAllWriter w;
  EXPECT_EQ(stop_text([&] { w.open(missing); }),
            " Error in output: cannot open file '" + missing + "': No such file or directory");

  // A directory of the final name could never be replaced: said at the open.
  std::filesystem::create_directory(dir / "cl.grn");
  OutFile d;
  EXPECT_EQ(
      stop_text([&] { d.open((dir / "cl.grn").string()); }),
      " Error in output: cannot replace file '" + (dir / "cl.grn").string() + "': Is a directory");
}

TEST(OutFile, TheFinalNameChangesOnlyAtTheCommit) {
  TempDir dir;
  const std::string path = (dir / "grnfun.all").string();
  write_file(path, "earlier run");
  {
    OutFile f;
    f.open(path);
    f.write(std::string(100000, 'n'));  // more than the buffer: part of it is on the disk
    // The temporary begins with the final name and is unmistakable.
    const std::string temp = std::filesystem::path(f.temporary()).filename().string();
    EXPECT_EQ(temp.rfind("grnfun.all.kirva-tmp-", 0), 0u) << temp;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"grnfun.all", temp}));
    f.close();
    EXPECT_EQ(read_file(path), "earlier run");
  }  // never committed: removed
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"grnfun.all"}));
  EXPECT_EQ(read_file(path), "earlier run");

  OutFile f;
  f.open(path);
  f.write("new run");
  f.commit();
  EXPECT_EQ(read_file(path), "new run");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"grnfun.all"}));
}

TEST(OutFile, ASymbolicLinkIsReplacedAndItsTargetLeftAsItWas) {
  TempDir dir;
  write_file(dir / "target", "kept");
  std::filesystem::create_symlink(dir / "target", dir / "ds.grn");
  std::filesystem::create_symlink("/dev/full", dir / "cl.grn");
  for (const char* name : {"ds.grn", "cl.grn"}) {
    OutFile f;
    f.open((dir / name).string());
    f.write("new run");
    f.commit();
    EXPECT_FALSE(std::filesystem::is_symlink(dir / name)) << name;
    EXPECT_EQ(read_file(dir / name), "new run") << name;
  }
  EXPECT_EQ(read_file(dir / "target"), "kept");
}

TEST(OutFile, TheSignalPathRemovesEveryOpenTemporary) {
  TempDir dir;
  OutFile a, b;
  a.open((dir / "a").string());
  b.open((dir / "b").string());
  b.close();
  ASSERT_EQ(dir.entries().size(), 2u);
  remove_temporaries();
  EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace kirva
