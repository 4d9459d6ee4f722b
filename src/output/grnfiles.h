// The result files of a run: the binary file "grnfun.all" with everything, the three text tables
// (strike-slip, dip-slip, CLVD) of the first observation depth, and with --isotropic the binary
// file "grnfun.ext" of the explosion's tables.
//
// The writers know plain values only. A Green's function table is passed as the ten components of
// every distance, distance by distance: component k (1..10: uz, ur, ut, ezz, err, ett, ezr, ert,
// etz, duz/dr) at distance j (1..nr) is grn[10*(j-1) + (k-1)].
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "output/outfile.h"
#include "tables/extension.h"
#include "tables/sources.h"

namespace kirva {

// The bytes of one table in "grnfun.all": the runs of nr little-endian doubles of the components
// that the source type writes (tables/sources.h). Appended to out.
void render_table_binary(std::string& out, std::span<const double> grn, int nr,
                         const SourceTypeInfo& type);
// The nr data lines of one table in a text table (E14.6 fields of the type's components, CR LF),
// distance 1 first. Appended to out.
void render_table_text(std::string& out, std::span<const double> grn, int nr,
                       const SourceTypeInfo& type);

// "grnfun.all", in the layout of tables/layout.h.
class GrnAllWriter {
 public:
  void open(const std::string& path) { file_.open(path); }
  void header(int nlayer, int nr, double r1, double r2, int nzs, double zs1, double zs2, int nzrec,
              double zrec1, double zrec2);
  // Rows 1..nlayer of the 1-based columns (entry 0 unused): thickness, vp, vs, density.
  void layers(int nlayer, std::span<const double> thick, std::span<const double> vp,
              std::span<const double> vs, std::span<const double> ro);
  // The record that opens the block of one observation depth.
  void depth(double zrec, double lambda, double mu, double ro);
  // One table: the runs of the components the type writes.
  void table(std::span<const double> grn, int nr, const SourceTypeInfo& type);
  // A table already rendered by render_table_binary.
  void rendered(std::string_view bytes) { file_.write(bytes); }
  void close() { file_.close(); }
  // Moves the closed file onto its name (OutFile::commit).
  void commit() { file_.commit(); }
  // The header and layer rows as written: the identity of the run that "grnfun.ext" copies.
  const std::string& identity() const { return identity_; }

 private:
  void put_i32(int v);
  void put_f64(double v);

  OutFile file_;
  std::string bytes_;     // staging of the current block, reused
  std::string identity_;  // the header and layer rows
};

// "grnfun.ext", in the layout of tables/extension.h: the head, the identity of the run's
// "grnfun.all" and the descriptors, then per observation depth the tables of every descriptor.
class GrnExtWriter {
 public:
  void open(const std::string& path) { file_.open(path); }
  // Magic, version, the number of tables, the identity (GrnAllWriter::identity) and the
  // descriptors.
  void head(std::string_view identity, std::span<const extension::Descriptor> tables);
  // A table already rendered by render_table_binary.
  void rendered(std::string_view bytes) { file_.write(bytes); }
  // A rendered table at its byte offset (extension::column_offset): the tables of several
  // descriptors are computed together and written where each belongs.
  void rendered_at(std::uint64_t offset, std::string_view bytes) { file_.write_at(offset, bytes); }
  void close() { file_.close(); }
  // Moves the closed file onto its name (OutFile::commit).
  void commit() { file_.commit(); }

 private:
  OutFile file_;
};

// One text table, lines ending in CR LF.
class GrnTextWriter {
 public:
  void open(const std::string& path) { file_.open(path); }
  // Lines 1..12: the comment header and the parameter line. infile is shown up to its first
  // blank; the type's title in 45 characters.
  void head(std::string_view infile, const SourceTypeInfo& type, int nr, double r1, double r2,
            int nzs, double zs1, double zs2, double zrec, double lambda, double mu);
  // The nr data lines of one source depth, distance 1 first.
  void data(std::span<const double> grn, int nr, const SourceTypeInfo& type);
  // Data lines already rendered by render_table_text.
  void rendered(std::string_view lines) { file_.write(lines); }
  void close() { file_.close(); }
  // Moves the closed file onto its name (OutFile::commit).
  void commit() { file_.commit(); }

 private:
  void end_line();

  OutFile file_;
  std::string line_;  // the line being built, reused
};

}  // namespace kirva
