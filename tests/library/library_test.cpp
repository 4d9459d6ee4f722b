// The reader of "grnfun.all" and of the "grnfun.ext" beside it on files of real runs: the
// samplings, the model and every value come back as the run computed them, and damaged or
// foreign files are refused with one line.
#include "library/library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/input.h"
#include "driver/table.h"
#include "kirva_bessel.h"
#include "kirva_files.h"
#include "stop.h"
#include "tables/extension.h"
#include "tables/layout.h"

namespace kirva {
namespace {

using testing::read_file;
using testing::run_kirva;
using testing::TempDir;
using testing::write_file;

// Evenly spaced distances from the axis, three observation depths (one on a source depth, one
// on a layer interface).
const std::string kEvenInput =
    "0.0  4.0  2.0\n"
    "9  0.0  8.0\n"
    "3  1.0  4.0\n"
    "0\n"
    "'./'  'ss.grn'  'ds.grn'  'cl.grn'\n"
    "3\n"
    "1  0.0  5.0  2.9  2600.0\n"
    "2  2.0  6.0  3.5  2800.0\n"
    "3  2.0  6.5  3.7  2900.0\n";

// Geometric distances from 300 m (a negative ratio is taken by its size), two observation depths
// and a gradient layer (sliced into five rows over the half-space).
const std::string kGeometricInput =
    "1.0  3.0  2.0\n"
    "7  0.3  -1.6\n"
    "2  2.0  5.0\n"
    "0\n"
    "'./'  'ss.grn'  'ds.grn'  'cl.grn'\n"
    "2\n"
    "1  0.0  5.0  2.9  2600.0\n"
    "2  6.0  6.5  3.7  2900.0\n";

// What the run computed, recomputed here table by table through the driver's own routine.
struct Recomputed {
  std::unique_ptr<RunInput> inp = std::make_unique<RunInput>();
  std::unique_ptr<LayerTable> lt = std::make_unique<LayerTable>();
  std::unique_ptr<RowTable> rows = std::make_unique<RowTable>();
  std::unique_ptr<TableWork> w = std::make_unique<TableWork>();

  explicit Recomputed(const std::string& text) {
    std::istringstream in(text);
    read_input(in, "in.inp", *inp);
    int ierr = 0;
    krvslice(inp->resol, ierr, inp->prof, *lt);
    krvrowtab(*lt, *rows);
  }
};

// The three types of grnfun.all and the explosion of grnfun.ext.
constexpr SourceType kTypes[] = {SourceType::ss, SourceType::ds, SourceType::cl, SourceType::ex};

class RoundTrip : public ::testing::TestWithParam<std::string> {};

// A run with --isotropic: the explosion comes back from grnfun.ext as the run computed it too.
TEST_P(RoundTrip, SamplingsModelAndEveryValueAsTheRunComputedThem) {
  TempDir dir;
  write_file(dir / "in.inp", GetParam());
  const auto run = run_kirva(dir.path(), {"--isotropic", "in.inp"});
  ASSERT_EQ(run.status, 0) << run.err;
  const GreenLibrary lib((dir / "grnfun.all").string());
  EXPECT_TRUE(lib.has_isotropic());
  EXPECT_EQ(lib.extension_path(), (dir / "grnfun.ext").string());
  Recomputed rc(GetParam());
  const RunInput& inp = *rc.inp;
  const LayerTable& lt = *rc.lt;

  ASSERT_EQ(lib.nr(), inp.nr);
  ASSERT_EQ(lib.nzs(), inp.nzs);
  ASSERT_EQ(lib.nzrec(), inp.nzrec);
  ASSERT_EQ(lib.nlayer(), lt.nlayer);
  for (int i = 0; i < inp.nr; ++i) EXPECT_EQ(lib.r()[i], inp.r[i + 1]) << i;  // bit for bit
  for (int j = 0; j < inp.nzs; ++j) EXPECT_EQ(lib.zs()[j], inp.zs(j + 1)) << j;
  for (int l = 0; l < lt.nlayer; ++l) {
    EXPECT_EQ(lib.thickness(l), lt.thick[l + 1]);
    EXPECT_EQ(lib.vp(l), lt.vp[l + 1]);
    EXPECT_EQ(lib.vs(l), lt.vs[l + 1]);
    EXPECT_EQ(lib.density(l), lt.ro[l + 1]);
  }

  auto bessel = std::make_unique<BesselTables>();
  for (const SourceType t : kTypes) {
    const SourceTypeInfo& info = source_info(t);
    krvbstab(info.order, *bessel);
    for (int k = 0; k < inp.nzrec; ++k) {
      const double zrec = inp.zrec(k + 1);
      ASSERT_EQ(lib.zrec()[k], zrec);
      // The moduli at the observation depth: the row below it, as the depth cut finds it.
      ComputationalLayers& cl = rc.w->cl;
      krvdepthcut(inp.zs1, cl.ls, zrec, cl.lzrec, lt.thick, lt.nlayer, cl);
      const int row = cl.lay[cl.lzrec];
      const double mu = (lt.ro[row] * lt.vs[row]) * lt.vs[row];
      EXPECT_EQ(lib.mu(k), mu);
      EXPECT_EQ(lib.lambda(k), (lt.ro[row] * lt.vp[row]) * lt.vp[row] - mu - mu);
      EXPECT_EQ(lib.rho(k), lt.ro[row]);
      for (int j = 0; j < inp.nzs; ++j) {
        compute_table(inp, lt, *rc.rows, *bessel, static_cast<int>(t) + 1, inp.zs(j + 1), zrec,
                      lib.lambda(k), lib.mu(k), *rc.w);
        EXPECT_EQ(lib.mu_source(j), rc.w->pair.source.mu) << "source depth " << j;
        for (int c = 1; c <= kComponents; ++c) {
          const auto col = lib.column(k, t, j, static_cast<Component>(c));
          if (component_index(t, static_cast<Component>(c)) < 0) {
            EXPECT_TRUE(col.empty());
            continue;
          }
          ASSERT_EQ(col.size(), static_cast<std::size_t>(inp.nr));
          for (int i = 0; i < inp.nr; ++i)
            ASSERT_EQ(col[i], rc.w->grn(c, i + 1)) << info.name << " zrec " << k << " zs " << j
                                                   << " " << kComponentNames[c] << " r " << i;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, RoundTrip, ::testing::Values(kEvenInput, kGeometricInput));

// A field of azimuthal order n that is odd when continued across the axis vanishes on it: the
// parities of the source descriptions against a real run that samples r = 0.
TEST(Provenance, TheReaderHandsOverTheRunsGrnfunJson) {
  TempDir dir;
  write_file(dir / "in.inp", kEvenInput);
  ASSERT_EQ(run_kirva(dir.path(), {"--accurate", "in.inp"}).status, 0);
  const std::string path = (dir / "grnfun.all").string();
  const auto text = read_provenance(path);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, read_file(dir / "grnfun.json"));
  EXPECT_NE(text->find("\"mode\": \"accurate\""), std::string::npos);
  std::filesystem::remove(dir / "grnfun.json");
  EXPECT_FALSE(read_provenance(path).has_value());
  std::filesystem::create_directory(dir / "grnfun.json");  // there, but no file to read
  EXPECT_THROW(read_provenance(path), Stop);
}

// The interfaces: the jumps of the run's input profile, placed on the layer-row boundaries; a
// change of gradient, a repeated line and the steps of a sliced gradient are none. Without the
// input (no grnfun.json) the rows decide: only a slice of three rows or more, or one that meets
// the half-space, is known for a gradient; one or two rows next to another layer count as a jump.
TEST(Interfaces, TheJumpsOfTheInputProfile) {
  const std::string head =
      "0.0  0.0  1.0\n5  0.0  4.0\n3  1.0  3.0\n0\n'./'  'ss.grn'  'ds.grn'  'cl.grn'\n";
  const struct {
    const char* model;
    std::vector<double> with_input, rows_only;
  } cases[] = {
      {"3\n1 0 5.0 2.9 2600\n2 2 6.0 3.5 2800\n3 2 6.5 3.7 2900\n", {2000}, {2000}},
      {"3\n1 0 5.0 2.9 2600\n2 2 6.0 3.5 2800\n3 4 6.5 3.7 2900\n", {}, {2000, 3000, 4000}},
      {"4\n1 0 5.0 2.9 2600\n2 2 5.0 2.9 2600\n3 2 5.0 2.9 2600\n4 3 6.0 3.4 2700\n", {}, {2000}},
      {"5\n1 0 5.0 2.9 2600\n2 1.5 5.0 2.9 2600\n3 1.5 5.1 2.95 2620\n4 2.5 7.0 4.0 3000\n"
       "5 4 7.5 4.3 3100\n",
       {1500},
       {1500, 2500, 4000}},
      {"3\n1 0 5.0 2.9 2600\n2 2 5.5 3.1 2700\n3 2 5.6 3.1 2700\n", {2000}, {1000, 2000}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir / "in.inp", head + c.model);
    ASSERT_EQ(run_kirva(dir.path(), {"in.inp"}).status, 0) << c.model;
    for (const bool input : {true, false}) {
      if (!input) std::filesystem::remove(dir / "grnfun.json");
      const GreenLibrary lib((dir / "grnfun.all").string());
      const std::vector<double> got(lib.interfaces().begin(), lib.interfaces().end());
      EXPECT_EQ(got, input ? c.with_input : c.rows_only) << c.model << (input ? "" : " (rows)");
    }
  }
}

TEST(AxisParity, ColumnsOddAcrossTheAxisVanishOnIt) {
  TempDir dir;
  write_file(dir / "in.inp", kEvenInput);
  ASSERT_EQ(run_kirva(dir.path(), {"--isotropic", "in.inp"}).status, 0);
  const GreenLibrary lib((dir / "grnfun.all").string());
  ASSERT_EQ(lib.r()[0], 0.0);
  int odd = 0, even_nonzero = 0;
  for (const SourceType t : kTypes)
    for (int c = 1; c <= kComponents; ++c) {
      const auto comp = static_cast<Component>(c);
      if (component_index(t, comp) < 0) continue;
      for (int k = 0; k < lib.nzrec(); ++k)
        for (int j = 0; j < lib.nzs(); ++j) {
          const auto col = lib.column(k, t, j, comp);
          double peak = 0.0;
          for (const double v : col) peak = std::max(peak, std::fabs(v));
          if (axis_parity(t, comp) < 0) {
            ++odd;
            EXPECT_LE(std::fabs(col[0]), 1e-9 * peak)
                << source_info(t).name << " " << kComponentNames[c] << " zrec " << k;
          } else if (std::fabs(col[0]) > 1e-3 * peak) {
            ++even_nonzero;
          }
        }
    }
  EXPECT_GT(odd, 0);
  EXPECT_GT(even_nonzero, 0);  // e.g. the dip-slip ur and the CLVD uz on the axis
}

class Damaged : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir_ / "in.inp", kGeometricInput);
    ASSERT_EQ(run_kirva(dir_.path(), {"in.inp"}).status, 0);
    good_ = read_file(dir_ / "grnfun.all");
  }
  // The message of opening bytes as a library.
  std::string refusal(const std::string& bytes) {
    const std::string p = (dir_ / "bad.all").string();
    write_file(p, bytes);
    try {
      GreenLibrary lib(p);
    } catch (const Stop& s) {
      return s.what();
    }
    return "accepted";
  }
  std::string path() const { return (dir_ / "bad.all").string(); }
  TempDir dir_;
  std::string good_;
};

TEST_F(Damaged, TruncatedOrLengthenedFilesAreRefusedWithBothLengths) {
  const std::string n = std::to_string(good_.size());
  ASSERT_EQ(good_.size(), layout::file_length(6, 7, 2, 2));
  EXPECT_EQ(refusal(good_.substr(0, good_.size() - 8)),
            path() + ": truncated or foreign grnfun.all: expected " + n +
                " bytes for nlayer 6, nr 7, nzs 2, nzrec 2, found " +
                std::to_string(good_.size() - 8));
  EXPECT_EQ(refusal(good_ + "x"), path() + ": truncated or foreign grnfun.all: expected " + n +
                                      " bytes for nlayer 6, nr 7, nzs 2, nzrec 2, found " +
                                      std::to_string(good_.size() + 1));
}

TEST_F(Damaged, CountsThatDisagreeWithTheLength) {
  std::string b = good_;
  b[layout::kNzrec] = 3;  // a third observation depth the file does not hold
  EXPECT_EQ(refusal(b), path() + ": truncated or foreign grnfun.all: expected " +
                            std::to_string(layout::file_length(6, 7, 2, 3)) +
                            " bytes for nlayer 6, nr 7, nzs 2, nzrec 3, found " +
                            std::to_string(good_.size()));
  b = good_;
  b[layout::kNr] = 2;  // fewer distances
  EXPECT_NE(refusal(b).find("expected " + std::to_string(layout::file_length(6, 2, 2, 2))),
            std::string::npos);
}

TEST_F(Damaged, ForeignFilesAndBadHeaders) {
  EXPECT_EQ(
      refusal("short"),
      path() + ": not a grnfun.all file: expected a header of 64 bytes, found 5 bytes in all");
  EXPECT_EQ(
      refusal(""),
      path() + ": not a grnfun.all file: expected a header of 64 bytes, found 0 bytes in all");
  EXPECT_EQ(refusal(std::string(200, ' ')),
            path() + ": not a grnfun.all file: expected nlayer from 1 to 1000, found 538976288");
  std::string b = good_;
  b[layout::kNzs] = 1;
  EXPECT_EQ(refusal(b), path() + ": not a grnfun.all file: expected nzs from 2 to 401, found 1");
  b = good_;
  for (int i = 0; i < 8; ++i) b[layout::kZs1 + i] = '\xff';  // a NaN
  EXPECT_EQ(refusal(b), path() +
                            ": not a grnfun.all file: expected a finite zs1, found a value "
                            "that is not");
  b = good_;
  for (int i = 0; i < 8; ++i) b[layout::layer_row_offset(1) + 16 + i] = '\xff';
  EXPECT_EQ(refusal(b), path() +
                            ": not a grnfun.all file: expected a finite vs in layer row 2, "
                            "found a value that is not");
  b = good_;
  const auto rec = layout::depth_record_offset(6, 7, 2, 1) + 16;
  for (int i = 0; i < 8; ++i) b[rec + i] = '\xff';
  EXPECT_EQ(refusal(b), path() +
                            ": not a grnfun.all file: expected a finite mu of observation "
                            "depth 2, found a value that is not");
  try {
    GreenLibrary lib((dir_ / "none").string());
    FAIL() << "a missing file was opened";
  } catch (const Stop& s) {
    EXPECT_EQ(std::string(s.what()),
              (dir_ / "none").string() + ": cannot open: No such file or directory");
  }
}

TEST_F(Damaged, IndicesOutsideTheTablesAreRefused) {
  const GreenLibrary lib((dir_ / "grnfun.all").string());
  EXPECT_THROW(lib.column(2, SourceType::ss, 0, uz), Stop);
  EXPECT_THROW(lib.column(0, SourceType::ss, -1, uz), Stop);
  EXPECT_THROW(lib.mu_source(2), Stop);
  EXPECT_THROW(lib.vp(6), Stop);
  EXPECT_TRUE(lib.column(1, SourceType::cl, 1, etz).empty());
  // The last column of the file ends at its last byte.
  const auto last = lib.column(1, SourceType::cl, 1, duzdr);
  EXPECT_EQ(reinterpret_cast<const char*>(last.data() + last.size()) -
                reinterpret_cast<const char*>(lib.column(0, SourceType::ss, 0, uz).data()),
            static_cast<std::ptrdiff_t>(good_.size() - layout::depth_record_offset(6, 7, 2, 0) -
                                        layout::kDepthRecordBytes));
}

// grnfun.ext beside the grnfun.all of a run with --isotropic: its layout as tables/extension.h
// describes it, read in place; a library without it has no explosion.
class Extension : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir_ / "in.inp", kGeometricInput);
    ASSERT_EQ(run_kirva(dir_.path(), {"--isotropic", "in.inp"}).status, 0);
    all_ = read_file(dir_ / "grnfun.all");
    ext_ = read_file(dir_ / "grnfun.ext");
    std::filesystem::create_directory(dir_ / "sub");
    write_file(dir_ / "sub" / "grnfun.all", all_);
  }
  // The message of opening the library with these bytes as its grnfun.ext.
  std::string refusal(const std::string& bytes) {
    write_file(dir_ / "sub" / "grnfun.ext", bytes);
    try {
      GreenLibrary lib((dir_ / "sub" / "grnfun.all").string());
    } catch (const Stop& s) {
      return s.what();
    }
    return "accepted";
  }
  std::string ext() const { return (dir_ / "sub" / "grnfun.ext").string() + ": "; }
  // The bytes of the extension with those at offset replaced.
  std::string with(std::uint64_t offset, const std::string& bytes) const {
    std::string b = ext_;
    b.replace(offset, bytes.size(), bytes);
    return b;
  }
  // The bytes of the extension with the lowest bit of one byte changed.
  std::string flipped(std::uint64_t offset) const {
    std::string b = ext_;
    b[offset] = static_cast<char>(b[offset] ^ 1);
    return b;
  }
  static std::string i32(std::int32_t v) {
    std::string b(4, '\0');
    std::memcpy(b.data(), &v, 4);
    return b;
  }
  static std::string f64(double v) {
    std::string b(8, '\0');
    std::memcpy(b.data(), &v, 8);
    return b;
  }
  TempDir dir_;
  std::string all_, ext_;
};

TEST_F(Extension, LayoutAsDescribedAndReadInPlace) {
  const std::vector<extension::Descriptor> d{{SourceType::ex, 0.0}};
  const int nlayer = 6, nr = 7, nzs = 2, nzrec = 2;
  ASSERT_EQ(ext_.size(), extension::file_length(d, nlayer, nr, nzs, nzrec));
  EXPECT_EQ(ext_.substr(0, 8), "KIRVAEXT");
  EXPECT_EQ(testing::le_i32(ext_, extension::kVersionOffset), 1);
  EXPECT_EQ(testing::le_i32(ext_, extension::kNtablesOffset), 1);
  const auto nid = extension::identity_bytes(nlayer);
  EXPECT_TRUE(ext_.substr(extension::kHeadBytes, nid) == all_.substr(0, nid));
  const auto d0 = extension::descriptor_offset(nlayer, 0);
  EXPECT_EQ(testing::le_i32(ext_, d0), 4);
  EXPECT_EQ(testing::le_i32(ext_, d0 + 4), 0);
  EXPECT_EQ(testing::le_f64(ext_, d0 + 8), 0.0);

  const GreenLibrary lib((dir_ / "grnfun.all").string());
  ASSERT_TRUE(lib.has_isotropic());
  for (int k = 0; k < nzrec; ++k)
    for (int j = 0; j < nzs; ++j)
      for (int c = 1; c <= kComponents; ++c) {
        const auto comp = static_cast<Component>(c);
        const auto col = lib.column(k, SourceType::ex, j, comp);
        const int ci = component_index(SourceType::ex, comp);
        if (ci < 0) {
          EXPECT_TRUE(col.empty()) << kComponentNames[c];
          continue;
        }
        const auto off = extension::column_offset(d, nlayer, nr, nzs, k, 0, j, ci);
        ASSERT_EQ(col.size(), static_cast<std::size_t>(nr));
        for (int i = 0; i < nr; ++i) ASSERT_EQ(col[i], testing::le_f64(ext_, off + 8 * i));
        // Interpolation at the tabulated points gives them back.
        for (int i = 0; i < nr; ++i)
          ASSERT_EQ(interpolate(lib, k, SourceType::ex, comp, lib.zs()[j], lib.r()[i]), col[i]);
      }
  // The last column ends at the last byte of the file.
  const auto first = lib.column(0, SourceType::ex, 0, uz);
  const auto last = lib.column(nzrec - 1, SourceType::ex, nzs - 1, duzdr);
  EXPECT_EQ(reinterpret_cast<const char*>(last.data() + last.size()) -
                reinterpret_cast<const char*>(first.data()),
            static_cast<std::ptrdiff_t>(ext_.size() - d0 - extension::kDescriptorBytes));
  EXPECT_THROW(lib.column(nzrec, SourceType::ex, 0, uz), Stop);
  EXPECT_THROW(lib.column(0, SourceType::ex, nzs, uz), Stop);
}

TEST_F(Extension, WithoutItThereIsNoExplosion) {
  std::filesystem::remove(dir_ / "grnfun.ext");
  const GreenLibrary lib((dir_ / "grnfun.all").string());
  EXPECT_FALSE(lib.has_isotropic());
  const std::string msg = (dir_ / "grnfun.all").string() +
                          ": no explosion table: run kirva with --isotropic to make one";
  for (const Component c : {uz, ut}) {
    try {
      lib.column(0, SourceType::ex, 0, c);
      FAIL() << "an explosion column without grnfun.ext";
    } catch (const Stop& s) {
      EXPECT_EQ(std::string(s.what()), msg);
    }
  }
  EXPECT_THROW(interpolate(lib, 0, SourceType::ex, uz, lib.zs()[0], lib.r()[1]), Stop);
  EXPECT_EQ(lib.column(0, SourceType::cl, 0, uz).size(), 7u);  // the rest as before
}

TEST_F(Extension, DamagedForeignOrTruncatedFilesAreRefusedWithOneLine) {
  const std::string n = std::to_string(ext_.size());
  const auto d0 = extension::descriptor_offset(6, 0);
  std::string two = ext_;  // two descriptors, the second like the first
  two.replace(extension::kNtablesOffset, 4, i32(2));
  two.insert(d0 + 16, ext_.substr(d0, 16));
  // The grnfun.ext of a run of another input.
  TempDir other;
  write_file(other / "in.inp", kEvenInput);
  ASSERT_EQ(run_kirva(other.path(), {"--isotropic", "in.inp"}).status, 0);
  const std::string all = (dir_ / "sub" / "grnfun.all").string();
  const struct {
    std::string bytes, message;
  } cases[] = {
      {ext_.substr(0, ext_.size() - 8), "truncated or foreign grnfun.ext: expected " + n +
                                            " bytes for 1 table of nr 7, nzs 2, nzrec 2, found " +
                                            std::to_string(ext_.size() - 8)},
      {ext_ + "x", "truncated or foreign grnfun.ext: expected " + n +
                       " bytes for 1 table of nr 7, nzs 2, nzrec 2, found " +
                       std::to_string(ext_.size() + 1)},
      {ext_.substr(0, 100), "truncated or foreign grnfun.ext: expected at least " +
                                std::to_string(d0 + 16) +
                                " bytes for the head, the identity of nlayer 6 and 1 "
                                "descriptors, found 100"},
      {"", "not a grnfun.ext file: expected a head of 16 bytes, found 0 bytes in all"},
      {"KIRVAEXT", "not a grnfun.ext file: expected a head of 16 bytes, found 8 bytes in all"},
      {with(0, "KIRVAEXU"),
       "not a grnfun.ext file: expected the magic \"KIRVAEXT\", found \"KIRVAEXU\""},
      {with(0, std::string("\x00\xff\"\\ABCD", 8)),
       "not a grnfun.ext file: expected the magic \"KIRVAEXT\", found "
       "\"\\x00\\xff\\x22\\x5cABCD\""},
      {with(8, i32(2)), "not a grnfun.ext file: expected version 1, found 2"},
      {with(12, i32(0)), "not a grnfun.ext file: expected at least 1 table, found 0"},
      {read_file(other / "grnfun.ext"),
       "belongs to another run: expected a copy of the header and layer rows of " + all +
           " (256 bytes from byte 16), found other bytes from byte 16"},
      {flipped(16 + layout::layer_row_offset(2) + 8),  // vp of the third layer row
       "belongs to another run: expected a copy of the header and layer rows of " + all +
           " (256 bytes from byte 16), found other bytes from byte " +
           std::to_string(16 + layout::layer_row_offset(2) + 8)},
      {with(d0, i32(7)),
       "not a grnfun.ext file: expected a source type from 1 to 4 in "
       "descriptor 1, found 7"},
      {with(d0, i32(0)),
       "not a grnfun.ext file: expected a source type from 1 to 4 in "
       "descriptor 1, found 0"},
      {with(d0, i32(3)),
       "not a grnfun.ext file: expected no table of grnfun.all (source types "
       "1 to 3 at time 0) in descriptor 1, found source type 3 at time 0"},
      {with(d0 + 4, i32(5)),
       "not a grnfun.ext file: expected 0 in the reserved field in descriptor 1, found 5"},
      {with(d0 + 8, f64(-1.5)),
       "not a grnfun.ext file: expected a time after the source of at "
       "least 0 in descriptor 1, found -1.5"},
      {with(d0 + 8, f64(std::nan(""))),
       "not a grnfun.ext file: expected a finite time after the "
       "source in descriptor 1, found a value that is not"},
      {two,
       "not a grnfun.ext file: expected one table of each source type and time, found "
       "descriptors 1 and 2 alike"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(refusal(c.bytes), ext() + c.message);
  }
  // A grnfun.ext that is no file at all.
  std::filesystem::remove(dir_ / "sub" / "grnfun.ext");
  std::filesystem::create_directory(dir_ / "sub" / "grnfun.ext");
  try {
    GreenLibrary lib(all);
    FAIL() << "a directory was taken for grnfun.ext";
  } catch (const Stop& s) {
    EXPECT_EQ(std::string(s.what()), ext() + "cannot read: not a regular file");
  }
  // An explosion at a later time alone is no explosion of the elastic run, and leaves that
  // time without the types of grnfun.all: refused.
  std::filesystem::remove(dir_ / "sub" / "grnfun.ext");
  EXPECT_EQ(refusal(with(d0 + 8, f64(10.0))),
            ext() +
                "not a grnfun.ext file: expected the source types 1 to 3 at every time after "
                "the source, found no table of source type 1 at 10 years");
}

}  // namespace
}  // namespace kirva
