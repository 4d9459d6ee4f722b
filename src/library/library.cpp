#include "library/library.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <tuple>

#include "driver/input.h"
#include "library/interp.h"
#include "model/model.h"
#include "stop.h"
#include "tables/layout.h"
#include "tables/limits.h"
#include "tables/sampling.h"

namespace kirva {

// The columns are handed out in place: the file's byte order must be the host's.
static_assert(std::endian::native == std::endian::little,
              "the tables are little-endian; this reader maps them in place");

namespace {

std::int32_t get_i32(const unsigned char* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

double get_f64(const unsigned char* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[noreturn]] void stop_at(const std::string& path, const std::string& what) {
  throw Stop(path + ": " + what);
}

[[noreturn]] void stop_foreign(const std::string& path, const std::string& expected,
                               const std::string& found) {
  stop_at(path, "not a grnfun.all file: expected " + expected + ", found " + found);
}

// Maps the regular file at path read-only (nothing is mapped for an empty file). False, and
// nothing mapped, when there is no such file and it is `optional`.
bool map_file(const std::string& path, bool optional, const unsigned char*& base,
              std::uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (optional && errno == ENOENT) return false;
    stop_at(path, std::string("cannot open: ") + std::strerror(errno));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    stop_at(path, std::string("cannot read: ") + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    stop_at(path, "cannot read: not a regular file");
  }
  size = static_cast<std::uint64_t>(st.st_size);
  if (size > 0) {
    void* m = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    const int err = errno;
    ::close(fd);
    if (m == MAP_FAILED) stop_at(path, std::string("cannot map: ") + std::strerror(err));
    base = static_cast<const unsigned char*>(m);
  } else {
    ::close(fd);
  }
  return true;
}

void unmap(const unsigned char*& base, std::uint64_t size) {
  if (base != nullptr) ::munmap(const_cast<unsigned char*>(base), size);
  base = nullptr;
}

// Bytes as a quoted text, those that are not printable ASCII as \xNN.
std::string quoted(const unsigned char* p, std::size_t n) {
  std::string s = "\"";
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] >= 0x20 && p[i] < 0x7f && p[i] != '"' && p[i] != '\\') {
      s += static_cast<char>(p[i]);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", p[i]);
      s += buf;
    }
  }
  return s + "\"";
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// The string member `key` of a JSON object's text, decoded; nothing when there is none.
std::optional<std::string> json_string_member(const std::string& text, const std::string& key) {
  const std::string name = "\"" + key + "\":";
  const std::size_t at = text.find(name);
  if (at == std::string::npos) return std::nullopt;
  std::size_t i = at + name.size();
  while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\t')) ++i;
  if (i >= text.size() || text[i] != '"') return std::nullopt;
  std::string out;
  const auto utf8 = [&out](unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  const auto hex4 = [&text](std::size_t p, unsigned& v) {
    if (p + 4 > text.size()) return false;
    v = 0;
    for (std::size_t q = p; q < p + 4; ++q) {
      const char c = text[q];
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      v = 16 * v + static_cast<unsigned>(d);
    }
    return true;
  };
  for (++i; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u': {
        unsigned v = 0, lo = 0;
        if (!hex4(i + 1, v)) return std::nullopt;
        i += 4;
        if (v >= 0xD800 && v < 0xDC00 && i + 2 < text.size() && text[i + 1] == '\\' &&
            text[i + 2] == 'u' && hex4(i + 3, lo) && lo >= 0xDC00 && lo < 0xE000) {
          v = 0x10000 + ((v - 0xD800) << 10) + (lo - 0xDC00);
          i += 6;
        }
        utf8(v);
        break;
      }
      default:
        out += text[i];  // \" \\ \/
    }
  }
  return std::nullopt;
}

}  // namespace

GreenLibrary::GreenLibrary(const std::string& path) : path_(path) {
  auto fail = [&](const std::string& what) { stop_at(path_, what); };
  auto foreign = [&](const std::string& expected, const std::string& found) {
    stop_foreign(path_, expected, found);
  };

  map_file(path_, false, base_, size_);

  try {
    if (size_ < layout::kHeaderBytes)
      foreign("a header of 64 bytes", std::to_string(size_) + " bytes in all");
    const unsigned char* h = base_;
    nlayer_ = get_i32(h + layout::kNlayer);
    nr_ = get_i32(h + layout::kNr);
    nzs_ = get_i32(h + layout::kNzs);
    nzrec_ = get_i32(h + layout::kNzrec);
    r1_ = get_f64(h + layout::kR1);
    r2_ = get_f64(h + layout::kR2);
    zs1_ = get_f64(h + layout::kZs1);
    zs2_ = get_f64(h + layout::kZs2);
    zrec1_ = get_f64(h + layout::kZrec1);
    zrec2_ = get_f64(h + layout::kZrec2);

    auto count = [&](const char* name, int v, int lo, int hi) {
      if (v < lo || v > hi)
        foreign(std::string(name) + " from " + std::to_string(lo) + " to " + std::to_string(hi),
                std::to_string(v));
    };
    count("nlayer", nlayer_, 1, lmax);
    count("nr", nr_, 2, nrmax);
    count("nzs", nzs_, 2, nzsmax);
    if (nzrec_ < 0) foreign("nzrec of at least 0", std::to_string(nzrec_));
    const struct {
      const char* name;
      double v;
    } reals[] = {{"r1", r1_},   {"r2", r2_},       {"zs1", zs1_},
                 {"zs2", zs2_}, {"zrec1", zrec1_}, {"zrec2", zrec2_}};
    for (const auto& x : reals)
      if (!std::isfinite(x.v)) foreign(std::string("a finite ") + x.name, "a value that is not");

    const std::uint64_t want = layout::file_length(nlayer_, nr_, nzs_, nzrec_);
    if (size_ != want)
      fail("truncated or foreign grnfun.all: expected " + std::to_string(want) +
           " bytes for nlayer " + std::to_string(nlayer_) + ", nr " + std::to_string(nr_) +
           ", nzs " + std::to_string(nzs_) + ", nzrec " + std::to_string(nzrec_) + ", found " +
           std::to_string(size_));

    static constexpr const char* kLayerField[4] = {"thickness", "vp", "vs", "density"};
    for (int l = 0; l < nlayer_; ++l)
      for (int f = 0; f < 4; ++f)
        if (!std::isfinite(layer(l, f)))
          foreign(
              std::string("a finite ") + kLayerField[f] + " in layer row " + std::to_string(l + 1),
              "a value that is not");

    // The samplings, by the input's own rules.
    if (distance_spacing(r1_, r2_) == Spacing::geometric && !(r1_ > 0.0 && std::fabs(r2_) > 1.0))
      foreign("growing geometric distances (r1 > 0, |r2| > 1)", "r1 and r2 that are not");
    if (!(zs2_ > zs1_)) foreign("zs2 > zs1", "zs2 not above zs1");
    r_.resize(static_cast<std::size_t>(nr_));
    sample_distances(distance_spacing(r1_, r2_), r1_, r2_, r_);
    zs_.resize(static_cast<std::size_t>(nzs_));
    sample_source_depths(zs1_, zs2_, zs_);

    static constexpr const char* kRecordField[4] = {"zrec", "lambda", "mu", "density"};
    for (int k = 0; k < nzrec_; ++k) {
      const unsigned char* p = base_ + layout::depth_record_offset(nlayer_, nr_, nzs_, k);
      double v[4];
      for (int f = 0; f < 4; ++f) {
        v[f] = get_f64(p + 8 * f);
        if (!std::isfinite(v[f]))
          foreign(std::string("a finite ") + kRecordField[f] + " of observation depth " +
                      std::to_string(k + 1),
                  "a value that is not");
      }
      zrec_.push_back(v[0]);
      lambda_.push_back(v[1]);
      mu_.push_back(v[2]);
      rho_.push_back(v[3]);
    }
    open_extension();
    find_interfaces();
  } catch (...) {
    unmap(ext_base_, ext_size_);
    unmap(base_, size_);
    throw;
  }
}

GreenLibrary::~GreenLibrary() {
  unmap(ext_base_, ext_size_);
  unmap(base_, size_);
}

// The "grnfun.ext" beside the file (tables/extension.h), when there is one: checked whole
// against the layout and against this file before any of it is read.
void GreenLibrary::open_extension() {
  const std::size_t slash = path_.find_last_of('/');
  ext_path_ = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) +
              extension::kFileName;
  if (!map_file(ext_path_, true, ext_base_, ext_size_)) return;
  auto foreign = [&](const std::string& expected, const std::string& found) {
    stop_at(ext_path_, "not a grnfun.ext file: expected " + expected + ", found " + found);
  };
  const unsigned char* e = ext_base_;

  if (ext_size_ < extension::kHeadBytes)
    foreign("a head of 16 bytes", std::to_string(ext_size_) + " bytes in all");
  if (std::memcmp(e, extension::kMagic, sizeof extension::kMagic) != 0)
    foreign("the magic " + quoted(reinterpret_cast<const unsigned char*>(extension::kMagic),
                                  sizeof extension::kMagic),
            quoted(e, sizeof extension::kMagic));
  const std::int32_t version = get_i32(e + extension::kVersionOffset);
  if (version != extension::kVersion)
    foreign("version " + std::to_string(extension::kVersion), std::to_string(version));
  const std::int32_t ntables = get_i32(e + extension::kNtablesOffset);
  if (ntables < 1) foreign("at least 1 table", std::to_string(ntables));

  const std::uint64_t prefix = extension::descriptor_offset(nlayer_, ntables);
  if (ext_size_ < prefix)
    stop_at(ext_path_, "truncated or foreign grnfun.ext: expected at least " +
                           std::to_string(prefix) + " bytes for the head, the identity of nlayer " +
                           std::to_string(nlayer_) + " and " + std::to_string(ntables) +
                           " descriptors, found " + std::to_string(ext_size_));

  // The identity: a copy of this file's header and layer rows.
  const std::uint64_t nid = extension::identity_bytes(nlayer_);
  const unsigned char* id = e + extension::kHeadBytes;
  if (std::memcmp(id, base_, nid) != 0) {
    std::uint64_t i = 0;
    while (id[i] == base_[i]) ++i;
    stop_at(ext_path_, "belongs to another run: expected a copy of the header and layer rows of " +
                           path_ + " (" + std::to_string(nid) + " bytes from byte " +
                           std::to_string(extension::kHeadBytes) +
                           "), found other bytes from byte " +
                           std::to_string(extension::kHeadBytes + i));
  }

  for (int i = 0; i < ntables; ++i) {
    const unsigned char* p = e + extension::descriptor_offset(nlayer_, i);
    const std::int32_t type = get_i32(p);
    const std::int32_t reserved = get_i32(p + 4);
    const double time = get_f64(p + 8);
    const std::string which = " in descriptor " + std::to_string(i + 1);
    const int ntypes = static_cast<int>(kSourceTypes.size());
    if (type < 1 || type > ntypes)
      foreign("a source type from 1 to " + std::to_string(ntypes) + which, std::to_string(type));
    if (reserved != 0) foreign("0 in the reserved field" + which, std::to_string(reserved));
    if (!std::isfinite(time))
      foreign("a finite time after the source" + which, "a value that is not");
    if (time < 0.0) foreign("a time after the source of at least 0" + which, number(time));
    const extension::Descriptor d{static_cast<SourceType>(type - 1), time};
    for (const SourceType t : kSourceOrder)
      if (d.type == t && time == 0.0)
        foreign("no table of grnfun.all (source types 1 to 3 at time 0)" + which,
                "source type " + std::to_string(type) + " at time 0");
    if (d.type == SourceType::ex && time == 0.0) ex_table_ = i;
    ext_tables_.push_back(d);
  }
  // No two alike: sorted by type, time and position, so that a file of many descriptors takes
  // no quadratic time.
  std::vector<std::tuple<int, double, int>> keys;
  for (int i = 0; i < ntables; ++i) {
    const extension::Descriptor& d = ext_tables_[static_cast<std::size_t>(i)];
    keys.emplace_back(static_cast<int>(d.type), d.time, i);
  }
  std::sort(keys.begin(), keys.end());
  for (std::size_t u = 1; u < keys.size(); ++u)
    if (std::get<0>(keys[u]) == std::get<0>(keys[u - 1]) &&
        std::get<1>(keys[u]) == std::get<1>(keys[u - 1]))
      foreign("one table of each source type and time",
              "descriptors " + std::to_string(std::get<2>(keys[u - 1]) + 1) + " and " +
                  std::to_string(std::get<2>(keys[u]) + 1) + " alike");

  // The times after the source: each positive one holds the three types of grnfun.all, and the
  // explosion exactly when the elastic tables have it, so that a synthesis at any time combines
  // the same sources as at time 0.
  for (const extension::Descriptor& d : ext_tables_)
    if (d.time > 0.0) times_.push_back(d.time);
  std::sort(times_.begin(), times_.end());
  times_.erase(std::unique(times_.begin(), times_.end()), times_.end());
  time_tables_.assign(times_.size(), {-1, -1, -1, -1});
  for (int i = 0; i < ntables; ++i) {
    const extension::Descriptor& d = ext_tables_[static_cast<std::size_t>(i)];
    const auto at = std::lower_bound(times_.begin(), times_.end(), d.time) - times_.begin();
    time_tables_[static_cast<std::size_t>(at)][static_cast<std::size_t>(d.type)] = i;
  }
  for (std::size_t u = 1; u < times_.size(); ++u) {
    const std::string when = " at " + number(times_[u]) + " years";
    for (const SourceType t : kSourceOrder)
      if (time_tables_[u][static_cast<std::size_t>(t)] < 0)
        foreign("the source types 1 to 3 at every time after the source",
                "no table of source type " + std::to_string(static_cast<int>(t) + 1) + when);
    const bool ex = time_tables_[u][static_cast<std::size_t>(SourceType::ex)] >= 0;
    if (ex && ex_table_ < 0)
      foreign("no explosion (source type 4) after the source, as there is none at time 0",
              "one" + when);
    if (!ex && ex_table_ >= 0)
      foreign(
          "the explosion (source type 4) at every time after the source, as there is one at "
          "time 0",
          "none" + when);
  }

  // The exact length; the sum stops short of overflow for counts no file of this machine holds.
  const std::uint64_t column_bytes = 8ull * static_cast<std::uint64_t>(nr_) *
                                     static_cast<std::uint64_t>(nzs_) *
                                     static_cast<std::uint64_t>(nzrec_);
  std::uint64_t want = prefix;
  bool beyond = false;
  for (const extension::Descriptor& d : ext_tables_) {
    const std::uint64_t add = static_cast<std::uint64_t>(source_info(d.type).ncomp) * column_bytes;
    if (want > UINT64_MAX - add) {
      beyond = true;
      break;
    }
    want += add;
  }
  if (beyond || want != ext_size_)
    stop_at(ext_path_, "truncated or foreign grnfun.ext: expected " +
                           (beyond ? std::string("more than 2^64") : std::to_string(want)) +
                           " bytes for " + std::to_string(ntables) + " table" +
                           (ntables == 1 ? "" : "s") + " of nr " + std::to_string(nr_) + ", nzs " +
                           std::to_string(nzs_) + ", nzrec " + std::to_string(nzrec_) + ", found " +
                           std::to_string(ext_size_));
}

std::span<const double> GreenLibrary::column(int k, SourceType t, int j, Component c,
                                             int time_index) const {
  if (time_index == 0) return column(k, t, j, c);
  if (time_index < 0 || time_index >= static_cast<int>(times_.size()))
    throw Stop(path_ + ": no time index " + std::to_string(time_index) + " (0 to " +
               std::to_string(times_.size() - 1) + ")");
  if (k < 0 || k >= nzrec_ || j < 0 || j >= nzs_) return column(k, t, j, c);  // its refusal
  const int d = time_tables_[static_cast<std::size_t>(time_index)][static_cast<std::size_t>(t)];
  if (d < 0) return column(k, t, j, c);  // the explosion of a library without it: its refusal
  const int ci = component_index(t, c);
  if (ci < 0) return {};
  const auto off = extension::column_offset(ext_tables_, nlayer_, nr_, nzs_, k, d, j, ci);
  return {reinterpret_cast<const double*>(ext_base_ + off), static_cast<std::size_t>(nr_)};
}

double GreenLibrary::layer(int l, int field) const {
  if (l < 0 || l >= nlayer_)
    throw Stop(path_ + ": layer row " + std::to_string(l) + " outside 0 to " +
               std::to_string(nlayer_ - 1));
  return get_f64(base_ + layout::layer_row_offset(l) + 8 * static_cast<unsigned>(field));
}

void GreenLibrary::find_interfaces() {
  // The boundaries of the layer rows, summed as source_row() sums them.
  std::vector<double> bounds;
  double b = 0.0;
  for (int l = 0; l + 1 < nlayer_; ++l) bounds.push_back(b += thickness(l));
  // The jumps of the run's input profile, each on the row boundary it made.
  try {
    const std::optional<std::string> prov = read_provenance(path_);
    if (prov) {
      // The gravity of the pre-stress, a member of the options when the run had it.
      const std::size_t at = prov->find("\"gravity\": ");
      if (at != std::string::npos) gravity_ = std::strtod(prov->c_str() + at + 11, nullptr);
    }
    const std::optional<std::string> text =
        prov ? json_string_member(*prov, "input") : std::nullopt;
    if (text) {
      auto inp = std::make_unique<RunInput>();
      std::istringstream in(*text);
      read_input(in, "grnfun.json", *inp);
      std::vector<double> found;
      std::vector<bool> elastic;
      bool fits = true;
      for (const ProfileJump& j : profile_jumps(inp->prof, times_.size() > 1)) {
        const auto near = std::find_if(bounds.begin(), bounds.end(), [&j](double d) {
          return std::fabs(d - j.depth) <= 1e-6 * std::max(1.0, std::fabs(j.depth));
        });
        if (near == bounds.end()) {
          fits = false;
        } else {
          found.push_back(*near);
          elastic.push_back(j.elastic);
        }
      }
      if (fits) {
        interfaces_ = std::move(found);
        interface_elastic_ = std::move(elastic);
        return;
      }
    }
  } catch (const Stop&) {
    // An input that cannot be read again, or no provenance to read: the layer rows decide.
  }
  // From the rows alone: a gradient is sliced into rows of one thickness whose values step
  // evenly, so a boundary within a run of three or more such rows is none, nor is one between
  // two runs whose linear profiles meet (a change of gradient), nor one between equal rows.
  // Every other boundary, a two-row slice included, is taken for a jump.
  const auto close = [](double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
  };
  const auto field = [this](int l, int f) { return layer(l, f); };
  const auto even = [&](int l) {                      // rows l - 1, l, l + 1 of one slice
    if (l < 1 || l + 1 >= nlayer_ - 1) return false;  // the half-space is no slice
    if (!(thickness(l - 1) == thickness(l) && thickness(l) == thickness(l + 1))) return false;
    for (int f = 1; f < 4; ++f)
      if (!close(field(l + 1, f) - field(l, f), field(l, f) - field(l - 1, f))) return false;
    return true;
  };
  std::vector<int> run(static_cast<std::size_t>(nlayer_), -1);  // the run a row belongs to
  for (int l = 1; l + 1 < nlayer_; ++l)
    if (even(l)) {
      const int id =
          run[static_cast<std::size_t>(l - 1)] >= 0 ? run[static_cast<std::size_t>(l - 1)] : l;
      for (int m = l - 1; m <= l + 1; ++m) run[static_cast<std::size_t>(m)] = id;
    }
  for (int l = 0; l + 1 < nlayer_; ++l) {
    const int a = run[static_cast<std::size_t>(l)], b = run[static_cast<std::size_t>(l + 1)];
    bool smooth = a >= 0 && a == b;
    const bool half_space = l + 1 == nlayer_ - 1;       // its values are those of its top
    if (!smooth && a >= 0 && (b >= 0 || half_space)) {  // do the profiles meet?
      smooth = true;
      for (int f = 1; f < 4; ++f) {
        const double bottom = field(l, f) + 0.5 * (field(l, f) - field(l - 1, f));
        const double top = half_space ? field(l + 1, f)
                                      : field(l + 1, f) - 0.5 * (field(l + 2, f) - field(l + 1, f));
        smooth = smooth && close(bottom, top);
      }
    }
    if (!smooth) {
      smooth = true;
      for (int f = 1; f < 4; ++f) smooth = smooth && field(l, f) == field(l + 1, f);
    }
    if (!smooth) {
      interfaces_.push_back(bounds[static_cast<std::size_t>(l)]);
      interface_elastic_.push_back(times_.size() == 1);
    }
  }
}

int GreenLibrary::source_row(double z) const {
  int row = 0;
  double b = thickness(0);
  while (z >= b && row < nlayer_ - 1) {
    ++row;
    b += thickness(row);
  }
  return row;
}

double GreenLibrary::mu_source(int j) const {
  if (j < 0 || j >= nzs_)
    throw Stop(path_ + ": source depth " + std::to_string(j) + " outside 0 to " +
               std::to_string(nzs_ - 1));
  const int row = source_row(zs_[static_cast<std::size_t>(j)]);
  return (density(row) * vs(row)) * vs(row);
}

std::span<const double> GreenLibrary::column(int k, SourceType t, int j, Component c) const {
  if (k < 0 || k >= nzrec_ || j < 0 || j >= nzs_)
    throw Stop(path_ + ": no table at observation depth " + std::to_string(k) + ", source depth " +
               std::to_string(j) + " (0 to " + std::to_string(nzrec_ - 1) + ", 0 to " +
               std::to_string(nzs_ - 1) + ")");
  if (t == SourceType::ex) {
    if (!has_isotropic())
      throw Stop(path_ + ": no explosion table: run kirva with --isotropic to make one");
    const int ci = component_index(t, c);
    if (ci < 0) return {};
    const auto off = extension::column_offset(ext_tables_, nlayer_, nr_, nzs_, k, ex_table_, j, ci);
    return {reinterpret_cast<const double*>(ext_base_ + off), static_cast<std::size_t>(nr_)};
  }
  const int ci = component_index(t, c);
  if (ci < 0) return {};
  const auto off = layout::column_offset(nlayer_, nr_, nzs_, k, t, j, ci);
  return {reinterpret_cast<const double*>(base_ + off), static_cast<std::size_t>(nr_)};
}

double interpolate(const GreenLibrary& lib, int k, SourceType t, Component c, double zs, double r) {
  const Stencil sz = depth_stencil(lib.zs(), zs, lib.interfaces());
  const Stencil sr = distance_stencil(lib.r(), r);
  const int parity = axis_parity(t, c);
  double v = 0.0;
  for (int m = 0; m < sz.npts; ++m) {
    const auto col = lib.column(k, t, sz.i0 + m, c);
    if (col.empty()) return 0.0;  // a component the type does not have is zero
    v += sz.w[m] * apply(sr, col, parity);
  }
  return v;
}

TimeSelection select_time(const GreenLibrary& lib, double t) {
  const std::span<const double> ts = lib.times();
  const auto years = [](double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return std::string(buf) + " years";
  };
  if (!std::isfinite(t))
    throw Stop(lib.path() + ": the time after the source must be a finite number of years");
  if (ts.size() == 1) {
    if (t == 0.0) return {};
    throw Stop(lib.path() + ": holds the elastic tables only (time 0), none at " + years(t) +
               ": kirva --times makes tables at times after the source");
  }
  if (t < 0.0 || t > ts.back())
    throw Stop(lib.path() + ": no tables at " + years(t) + ": the library holds 0 to " +
               years(ts.back()) + "; kirva --times makes tables at other times");
  const int b = static_cast<int>(std::lower_bound(ts.begin(), ts.end(), t) - ts.begin());
  const double tb = ts[static_cast<std::size_t>(b)];
  if (tb == t) return {b, b, 1.0, 0.0};
  const int a = b - 1;
  const double ta = ts[static_cast<std::size_t>(a)];
  const double wb = a == 0 ? t / tb : std::log(t / ta) / std::log(tb / ta);
  return {a, b, 1.0 - wb, wb};
}

std::optional<std::string> read_provenance(const std::string& library_path) {
  const std::size_t slash = library_path.find_last_of('/');
  const std::string name =
      (slash == std::string::npos ? std::string() : library_path.substr(0, slash + 1)) +
      "grnfun.json";
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw Stop(name + ": cannot open: " + std::strerror(errno));
  }
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      throw Stop(name + ": cannot read: " + std::strerror(err));
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

}  // namespace kirva
