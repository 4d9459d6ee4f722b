#include "output/grnfiles.h"

#include <bit>
#include <cstdint>

#include "output/format.h"
#include "tables/layout.h"

namespace kirva {

namespace {

// Bytes of an unsigned value, least significant first, whatever the host's byte order.
template <typename U>
void put_le(std::string& out, U u) {
  for (std::size_t i = 0; i < sizeof(U); ++i) {
    out.push_back(static_cast<char>(static_cast<unsigned char>(u & 0xffu)));
    u = static_cast<U>(u >> 8);
  }
}

// Column labels of the text tables, by component slot.
constexpr std::string_view kColumnLabels[11] = {"",    "uz[m]", "ur[m]", "ut[m]", "ezz",   "err",
                                                "ett", "ezr",   "ert",   "etz",   "duz/dr"};

}  // namespace

void GrnAllWriter::put_i32(int v) {
  put_le(bytes_, static_cast<std::uint32_t>(v));
}

void GrnAllWriter::put_f64(double v) {
  put_le(bytes_, std::bit_cast<std::uint64_t>(v));
}

void GrnAllWriter::header(int nlayer, int nr, double r1, double r2, int nzs, double zs1, double zs2,
                          int nzrec, double zrec1, double zrec2) {
  // Each field at its offset of the described layout.
  std::string head(layout::kHeaderBytes, '\0');
  auto at = [&](std::uint64_t offset, auto put) {
    bytes_.clear();
    put();
    head.replace(offset, bytes_.size(), bytes_);
  };
  at(layout::kNlayer, [&] { put_i32(nlayer); });
  at(layout::kNr, [&] { put_i32(nr); });
  at(layout::kR1, [&] { put_f64(r1); });
  at(layout::kR2, [&] { put_f64(r2); });
  at(layout::kNzs, [&] { put_i32(nzs); });
  at(layout::kZs1, [&] { put_f64(zs1); });
  at(layout::kZs2, [&] { put_f64(zs2); });
  at(layout::kNzrec, [&] { put_i32(nzrec); });
  at(layout::kZrec1, [&] { put_f64(zrec1); });
  at(layout::kZrec2, [&] { put_f64(zrec2); });
  file_.write(head);
  identity_ = head;
}

void GrnAllWriter::layers(int nlayer, std::span<const double> thick, std::span<const double> vp,
                          std::span<const double> vs, std::span<const double> ro) {
  for (int l = 1; l <= nlayer; ++l) {
    const auto i = static_cast<std::size_t>(l);
    bytes_.clear();
    put_f64(thick[i]);
    put_f64(vp[i]);
    put_f64(vs[i]);
    put_f64(ro[i]);
    file_.write(bytes_);
    identity_ += bytes_;
  }
}

void GrnExtWriter::head(std::string_view identity, std::span<const extension::Descriptor> tables) {
  std::string b(extension::kMagic, sizeof extension::kMagic);
  put_le(b, static_cast<std::uint32_t>(extension::kVersion));
  put_le(b, static_cast<std::uint32_t>(tables.size()));
  b.append(identity);
  for (const extension::Descriptor& d : tables) {
    put_le(b, static_cast<std::uint32_t>(static_cast<int>(d.type) + 1));  // 1-based
    put_le(b, std::uint32_t{0});                                          // reserved
    put_le(b, std::bit_cast<std::uint64_t>(d.time));
  }
  file_.write(b);
}

void GrnAllWriter::depth(double zrec, double lambda, double mu, double ro) {
  bytes_.clear();
  put_f64(zrec);
  put_f64(lambda);
  put_f64(mu);
  put_f64(ro);
  file_.write(bytes_);
}

void render_table_binary(std::string& out, std::span<const double> grn, int nr,
                         const SourceTypeInfo& type) {
  for (const int k : std::span(type.comps).first(static_cast<std::size_t>(type.ncomp))) {
    // One component over all distances: a stride of ten through the distance-major table.
    for (int j = 1; j <= nr; ++j) {
      put_le(out,
             std::bit_cast<std::uint64_t>(grn[static_cast<std::size_t>(10 * (j - 1) + (k - 1))]));
    }
  }
}

void GrnAllWriter::table(std::span<const double> grn, int nr, const SourceTypeInfo& type) {
  bytes_.clear();
  render_table_binary(bytes_, grn, nr, type);
  file_.write(bytes_);
}

void GrnTextWriter::end_line() {
  line_ += "\r\n";
  file_.write(line_);
  line_.clear();
}

void GrnTextWriter::head(std::string_view infile, const SourceTypeInfo& type, int nr, double r1,
                         double r2, int nzs, double zs1, double zs2, double zrec, double lambda,
                         double mu) {
  line_.clear();
  line_ += "# Green functions calculated with the program kirva";
  end_line();
  line_ += "# The input data file is ";
  line_ += infile.substr(0, infile.find(' '));
  end_line();
  line_ += "# ";
  fmt_a(line_, type.title, 45);
  line_ += "   Dislocation: 1 meter";
  end_line();
  line_ += "# The 1. data line includes the parameters:";
  end_line();
  line_ += "#";
  end_line();
  line_ += "# nr, r1[m], r2[m]; ";
  line_ += "nzs, zs1[m], zs2[m]; obs.depth[m];";
  line_ += " lambda[Pa], mu[Pa] (at obs. depth)";
  end_line();
  line_ += "#";
  end_line();
  line_ += "# The following data lines are";
  end_line();
  line_ += "#";
  end_line();
  // The column labels, one every 14 characters from column 5, for the components written.
  line_ += "#   ";
  for (int i = 0; i < type.ncomp; ++i) {
    if (i > 0) line_.resize(4 + 14 * static_cast<std::size_t>(i), ' ');
    line_ += kColumnLabels[static_cast<std::size_t>(type.comps[static_cast<std::size_t>(i)])];
  }
  end_line();
  line_ += "#";
  end_line();
  fmt_i(line_, nr, 4);
  fmt_e(line_, r1, 13, 5);
  fmt_e(line_, r2, 13, 5);
  fmt_i(line_, nzs, 4);
  fmt_e(line_, zs1, 13, 5);
  fmt_e(line_, zs2, 13, 5);
  fmt_e(line_, zrec, 13, 5);
  fmt_e(line_, lambda, 13, 5);
  fmt_e(line_, mu, 13, 5);
  end_line();
}

void render_table_text(std::string& out, std::span<const double> grn, int nr,
                       const SourceTypeInfo& type) {
  const auto comps = std::span(type.comps).first(static_cast<std::size_t>(type.ncomp));
  for (int j = 1; j <= nr; ++j) {
    const std::size_t base = static_cast<std::size_t>(10 * (j - 1));
    for (const int k : comps) fmt_e(out, grn[base + static_cast<std::size_t>(k - 1)], 14, 6);
    out += "\r\n";
  }
}

void GrnTextWriter::data(std::span<const double> grn, int nr, const SourceTypeInfo& type) {
  line_.clear();
  render_table_text(line_, grn, nr, type);
  file_.write(line_);
  line_.clear();
}

}  // namespace kirva
