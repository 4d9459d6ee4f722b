// kirva-syn as a user runs it: the help, the text and NetCDF files, geographic positions, and
// every refusal as one line on standard error with status 1.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "kirva_files.h"
#include "kirva_process.h"
#include "syn_fixture.h"
#include "synthesis/geo.h"

namespace kirva::syn {
namespace {

using kirva::testing::read_file;
using kirva::testing::RunResult;
using kirva::testing::split_lines;
using kirva::testing::TempDir;
using kirva::testing::write_file;
using testing::coulomb_text;

RunResult syn(const TempDir& dir, std::vector<std::string> args,
              const std::string& library = KIRVA_OKADA_LIBRARY) {
  args.insert(args.begin(), library);
  return kirva::testing::run_executable(KIRVA_SYN_EXE, dir.path(), args);
}

// The reference library without its explosion's table: a link to its grnfun.all alone in dir.
std::string shear_only(const TempDir& dir) {
  const auto link = dir / "shear" / "grnfun.all";
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(KIRVA_OKADA_LIBRARY, link);
  return link.string();
}

// The data lines of a text result, split into fields.
std::vector<std::vector<std::string>> rows(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  for (const auto& line : split_lines(text)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::vector<std::string> f;
    for (std::string w; s >> w;) f.push_back(w);
    out.push_back(f);
  }
  return out;
}

std::string last_comment(const std::string& text) {
  std::string last;
  for (const auto& line : split_lines(text)) {
    if (!line.empty() && line[0] == '#') last = line;
  }
  return last;
}

const std::string kPoint = "--point=-2/3/6/30/60/90/3e16";

TEST(Cli, HelpListsEveryOption) {
  TempDir dir;
  const RunResult r = kirva::testing::run_executable(KIRVA_SYN_EXE, dir.path(), {"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* o :
       {"LIBRARY",      "--faults",     "--patches",    "--mesh",     "--mesh-slip", "--slip",
        "--point",      "--tensor",     "--tensile",    "--mogi",     "--points",    "--grid",
        "--depth",      "--geographic", "--quantities", "--receiver", "--friction",  "--los",
        "--patch-size", "--gauss",      "--output",     "--threads"}) {
    EXPECT_NE(r.out.find(o), std::string::npos) << o;
  }
}

TEST(Cli, RefusalsAreOneLineAndStatusOne) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  write_file(dir / "open.inp",
             coulomb_text({"  1     0.0000   -10.0000     0.0000    10.0000 300     1.0000     "
                           "0.0000    90.0000     1.0000    12.0000"}));
  write_file(dir / "pts.txt", "A 1 2\nB 3 abc\n");
  // A control character inside a number is shown escaped, not as a line break.
  write_file(dir / "damaged.inp",
             coulomb_text({"  1     0.0000   -10.0000     0.0000    10.0000 100     1.0\v000     "
                           "0.0000    90.0000     1.0000    12.0000"}));
  write_file(dir / "patches.txt", "# x y depth strike dip rake slip length width\n1 2 5 30\n");
  const std::string grid = "--grid=-2/2/1/-2/2/1";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--faults", "open.inp", grid},
       "open.inp line 12 (fault 1) opens or changes volume, and the library holds no explosion "
       "table: make the library with kirva --isotropic"},
      {{"--mogi=0/0/4/1e6", grid}, "--mogi 0/0/4/1e6 opens or changes volume"},
      {{"--mesh", "missing.ts", grid}, "missing.ts"},
      {{"--slip", "90/1", grid}, "--mesh-slip and --slip give the slip of a --mesh"},
      {{"--tensile=0/0/4/10/80", grid}, "--tensile X/Y/DEPTH/STRIKE/DIP/POTENCY"},
      {{"--faults", "damaged.inp", grid}, "fault row: '1.0\\v000' is not a number"},
      {{kPoint, "--points", "pts.txt"}, "pts.txt line 2: 'abc' is not a number"},
      {{"--patches", "patches.txt", grid}, "patches.txt line 2: expected 9 or 10 values"},
      {{kPoint, "--grid=0/150/50/0/0/1"},
       "receiver at (100, 0) km, depth 0 km and --point -2/3/6/30/60/90/3e16 are 102.044 km "
       "apart, outside the tabulated distances (0 to 100 km)"},
      {{kPoint, "--grid=0/150/50/0/0/1"}, "the tables would need distances up to 152.03 km"},
      {{"--point=0/0/0.2/0/90/0/1e16", grid},
       "lies at 0.2 km depth, above the shallowest tabulated source depth (0.5 to 20.5 km)"},
      {{kPoint, grid, "--depth", "6"}, "outside the tabulated observation depths (0 to 4 km)"},
      {{kPoint, grid, "--quantities", "ux,uq"}, "unknown quantity 'uq'"},
      {{kPoint, grid, "--quantities", "cfs"}, "cfs needs the receiver fault"},
      {{kPoint, grid, "--quantities", "los"}, "los needs a line-of-sight vector"},
      {{"--point=1/2/3", grid}, "expected 7 values separated by '/'"},
      {{kPoint, grid, "--points", "pts.txt"}, "either --grid or --points"},
      {{grid}, "no source"},
      {{kPoint}, "no receiver"},
      {{kPoint, grid, "--threads", "0"}, "--threads must be 1 to 4096"},
      {{kPoint, grid, "--gauss", "0"}, "--gauss must be 1 to 16"},
      {{kPoint, grid, "--output", "no/such/dir/out.txt"}, "cannot create no/such/dir/out.txt"},
      {{kPoint, "--points", "missing.txt"}, "cannot open missing.txt"},
  };
  const std::string shear = shear_only(dir);
  for (const auto& [args, message] : cases) {
    const RunResult r = syn(dir, args, shear);
    EXPECT_EQ(r.status, 1) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << message;
  }
  const RunResult nolib =
      kirva::testing::run_executable(KIRVA_SYN_EXE, dir.path(), {"missing.all", kPoint, grid});
  EXPECT_EQ(nolib.status, 1);
  EXPECT_EQ(std::count(nolib.err.begin(), nolib.err.end(), '\n'), 1) << nolib.err;
}

// A run that cannot finish its file (here a file-size limit, as a full disk) leaves the earlier
// result as it was and no temporary file, text and NetCDF alike.
TEST(Cli, AFailedWriteLeavesTheEarlierFile) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  for (const std::string out : {"out.txt", "out.nc"}) {
    const std::vector<std::string> args = {KIRVA_OKADA_LIBRARY, kPoint,
                                           "--grid=-20/20/0.5/-20/20/0.5", "--output", out};
    ASSERT_EQ(syn(dir, {kPoint, "--grid=-2/2/1/-2/2/1", "--output", out}).status, 0);
    const std::string before = read_file(dir / out);
    kirva::testing::Launch how;
    how.exe = KIRVA_SYN_EXE;
    how.args = args;
    how.file_size = 20000;
    const RunResult r = kirva::testing::Child(dir.path(), how).wait();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("kirva-syn: cannot write " + out), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir / out), before);
    using It = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(It(dir.path()), It()), out == "out.txt" ? 1 : 2);  // no temporary
  }
}

TEST(Cli, TextTableWithNamesAndLineOfSight) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  write_file(dir / "pts.txt",
             "# name x y [depth [lx ly lz]]\n"
             "GPS1  4 -3\n"
             "BH2   1  2  4\n"
             "SAR3 -5  6  0  0.6 0 0.8   # its own line of sight\n");
  const RunResult r =
      syn(dir, {kPoint, "--points", "pts.txt", "--los", "0/-0.6/0.8", "--quantities",
                "ux,uy,uz,los,cfs", "--receiver", "10/50/90", "--output", "out.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  const std::string text = read_file(dir / "out.txt");
  EXPECT_EQ(last_comment(text), "# name x y depth ux uy uz los cfs");
  EXPECT_NE(text.find("friction 0.4"), std::string::npos);
  const auto t = rows(text);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[1][0], "BH2");
  EXPECT_EQ(t[1][3], "4");
  const double l[3][3] = {{0, -0.6, 0.8}, {0, -0.6, 0.8}, {0.6, 0, 0.8}};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(t[i].size(), 9u);
    double los = 0;
    for (int c = 0; c < 3; ++c) los += std::stod(t[i][4 + c]) * l[i][c];
    EXPECT_NEAR(std::stod(t[i][7]), los, 1e-9 * std::fabs(los));
  }
}

TEST(Cli, NetcdfGridMatchesTheText) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  const std::vector<std::string> args = {kPoint, "--grid=-4/4/2/-3/3/1.5", "--quantities",
                                         "uz,exx,sxy"};
  auto a = args, b = args;
  a.insert(a.end(), {"--output", "out.nc"});
  ASSERT_EQ(syn(dir, a).status, 0);
  const RunResult text = syn(dir, b);
  ASSERT_EQ(text.status, 0) << text.err;
  const auto t = rows(text.out);
  ASSERT_EQ(t.size(), 25u);  // 5 x 5 nodes, x fastest
  int id, dx, dy, v;
  ASSERT_EQ(nc_open((dir / "out.nc").c_str(), NC_NOWRITE, &id), NC_NOERR);
  std::size_t nx, ny;
  ASSERT_EQ(nc_inq_dimid(id, "x", &dx), NC_NOERR);
  ASSERT_EQ(nc_inq_dimid(id, "y", &dy), NC_NOERR);
  nc_inq_dimlen(id, dx, &nx);
  nc_inq_dimlen(id, dy, &ny);
  EXPECT_EQ(nx, 5u);
  EXPECT_EQ(ny, 5u);
  std::vector<double> xs(nx), ys(ny), field(nx * ny);
  ASSERT_EQ(nc_inq_varid(id, "x", &v), NC_NOERR);
  nc_get_var_double(id, v, xs.data());
  ASSERT_EQ(nc_inq_varid(id, "y", &v), NC_NOERR);
  nc_get_var_double(id, v, ys.data());
  EXPECT_DOUBLE_EQ(xs[4], 4);
  EXPECT_DOUBLE_EQ(ys[1], -1.5);
  for (const auto& [name, col, unit] : std::vector<std::tuple<std::string, int, std::string>>{
           {"uz", 3, "m"}, {"exx", 4, "1"}, {"sxy", 5, "Pa"}}) {
    ASSERT_EQ(nc_inq_varid(id, name.c_str(), &v), NC_NOERR) << name;
    char units[16] = {};
    nc_get_att_text(id, v, "units", units);
    EXPECT_EQ(std::string(units), unit);
    nc_get_var_double(id, v, field.data());
    for (std::size_t i = 0; i < field.size(); ++i) {
      const double want = std::stod(t[i][col]);
      EXPECT_NEAR(field[i], want, 1e-9 * std::fabs(want)) << name << " " << i;
    }
  }
  nc_close(id);
  // Point files have no grid.
  EXPECT_EQ(syn(dir, {kPoint, "--points", "none.txt", "--output", "x.nc"}).status, 1);
}

TEST(Cli, GeographicPositionsAreProjectedAboutTheOrigin) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  // The same source and stations in degrees and in km of the projection.
  Projector p{true, 138.0, 36.0};
  const double lon[2] = {138.05, 137.9}, lat[2] = {36.02, 35.95};
  std::ostringstream deg, km;
  deg.precision(17);
  km.precision(17);
  for (int i = 0; i < 2; ++i) {
    double e, n;
    p.project(lon[i], lat[i], e, n);
    deg << "S" << i << " " << lon[i] << " " << lat[i] << "\n";
    km << "S" << i << " " << e / 1000 << " " << n / 1000 << "\n";
  }
  double se, sn;
  p.project(138.01, 36.01, se, sn);
  std::ostringstream src;
  src.precision(17);
  src << "--point=" << se / 1000 << "/" << sn / 1000 << "/7/20/70/10/2e16";
  write_file(dir / "deg.txt", deg.str());
  write_file(dir / "km.txt", km.str());
  const RunResult g = syn(dir, {"--geographic", "138/36", "--point=138.01/36.01/7/20/70/10/2e16",
                                "--points", "deg.txt"});
  const RunResult k = syn(dir, {src.str(), "--points", "km.txt"});
  ASSERT_EQ(g.status, 0) << g.err;
  ASSERT_EQ(k.status, 0) << k.err;
  const auto a = rows(g.out), b = rows(k.out);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0][1], "138.05");  // positions as given
  for (int i = 0; i < 2; ++i) {
    for (int c = 4; c < 7; ++c) {
      EXPECT_NEAR(std::stod(a[i][c]), std::stod(b[i][c]), 1e-8 * std::fabs(std::stod(b[i][c])));
    }
  }
}

TEST(Cli, CoulombGridByDefaultAndWarnings) {
  REQUIRE_OKADA_LIBRARY();
  (void)lib;
  TempDir dir;
  write_file(dir / "f.inp",
             coulomb_text({"  1     0.0000    -3.0000     0.0000     3.0000 100     1.0000     "
                           "0.0000    90.0000     1.0000     5.0000"}));
  const RunResult r =
      syn(dir, {"--faults", "f.inp", "--patch-size", "2", "--quantities", "uz,tx,wz"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(rows(r.out).size(), 61u * 61u);
  EXPECT_EQ(last_comment(r.out), "# x y depth uz tx wz");
  // A tensor's isotropic part: kept with the explosion's table, dropped with a warning without.
  for (const bool explosion : {true, false}) {
    const RunResult t =
        syn(dir, {"--tensor=1/1/8/2e16/-1e16/-0.5e16/0/1e16/0", "--grid=0/0/1/0/0/1"},
            explosion ? KIRVA_OKADA_LIBRARY : shear_only(dir));
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(t.err.find("isotropic part") != std::string::npos, !explosion) << t.err;
  }
}

}  // namespace
}  // namespace kirva::syn
