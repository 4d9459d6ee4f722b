// The Green's function library: a "grnfun.all" opened read-only and memory-mapped (a file can be
// gigabytes), checked whole before anything is read, with the samplings recomputed from its
// header exactly as the run computed them. Values are read in place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tables/extension.h"
#include "tables/sources.h"

namespace kirva {

class GreenLibrary {
 public:
  // Maps the file and checks it: counts in their ranges, finite header, layer and depth-record
  // values, the length formula exact. A "grnfun.ext" in the same directory is mapped and checked
  // whole as well: magic, version, its copy of this file's header and layer rows (an extension
  // of another run is refused), its descriptors, its exact length. On any fault throws
  // kirva::Stop with one line naming the file, what was expected and what was found.
  explicit GreenLibrary(const std::string& path);
  ~GreenLibrary();
  GreenLibrary(const GreenLibrary&) = delete;
  GreenLibrary& operator=(const GreenLibrary&) = delete;

  const std::string& path() const { return path_; }
  // The path of the "grnfun.ext" beside the file, whether there is one or not.
  const std::string& extension_path() const { return ext_path_; }
  int nr() const { return nr_; }
  int nzs() const { return nzs_; }
  int nzrec() const { return nzrec_; }
  int nlayer() const { return nlayer_; }

  // The header values as stored: r1 (m), r2 (m, or the growth ratio of geometric distances),
  // zs1, zs2, zrec1, zrec2 (m).
  double r1() const { return r1_; }
  double r2() const { return r2_; }
  double zs1() const { return zs1_; }
  double zs2() const { return zs2_; }
  double zrec1() const { return zrec1_; }
  double zrec2() const { return zrec2_; }

  std::span<const double> r() const { return r_; }        // m, nr values (r[0] may be 0: the axis)
  std::span<const double> zs() const { return zs_; }      // m, nzs values, evenly spaced
  std::span<const double> zrec() const { return zrec_; }  // m, stored in each depth block

  // At observation depth k = 0..nzrec-1: the properties of the row just below it.
  double lambda(int k) const { return lambda_.at(static_cast<std::size_t>(k)); }
  double mu(int k) const { return mu_.at(static_cast<std::size_t>(k)); }
  double rho(int k) const { return rho_.at(static_cast<std::size_t>(k)); }

  // The layer table, rows l = 0..nlayer-1 from the surface down; the last is the half-space
  // (thickness 0).
  double thickness(int l) const { return layer(l, 0); }
  double vp(int l) const { return layer(l, 1); }
  double vs(int l) const { return layer(l, 2); }
  double density(int l) const { return layer(l, 3); }

  // The interfaces of the earth model: depths (m, increasing, summed from the layer rows as
  // source_row() sums them) where the model's depth profile jumps, so that the tables are not
  // smooth across them. They come from the input of the run, kept in the grnfun.json beside the
  // file (two model lines at one depth with other values; the viscous values count in a library
  // with times), placed on the boundaries of the layer rows. Without a grnfun.json whose input
  // fits the layer rows, the rows decide: a boundary within a sliced gradient (three or more rows
  // of one thickness with even steps), one where such a gradient meets another or the half-space,
  // and one between equal rows are none; every other boundary is taken for one.
  std::span<const double> interfaces() const { return interfaces_; }
  // Whether the rows on both sides of interface i are elastic, so that the tables at every time
  // obey the elastic conditions across it; unknown, and false, in a library with times whose
  // interfaces come from the layer rows.
  bool interface_elastic(std::size_t i) const { return interface_elastic_.at(i); }

  // The constant gravity (m/s^2) of the hydrostatic pre-stress the tables were computed in (kirva
  // --gravity, recorded in the grnfun.json beside the file); nothing for a run without it.
  std::optional<double> gravity() const { return gravity_; }

  // The row that holds a source at depth z: the row just below z when z is on an interface,
  // with the interfaces summed from the surface as the run's depth cut sums them.
  int source_row(double z) const;
  // rho*vs^2 of the source row of zs[j]: the shear modulus that normalises the tables.
  double mu_source(int j) const;

  // Whether the run also computed the explosion (kirva --isotropic): its tables are then read
  // from the "grnfun.ext" beside the file (tables/extension.h), checked like the file itself.
  bool has_isotropic() const { return ex_table_ >= 0; }

  // The times after a step of slip at which the library holds tables (years, increasing): 0,
  // the elastic tables, and then the positive times of the descriptors of "grnfun.ext" (kirva
  // --times). Every positive time holds the three types of "grnfun.all" and, when the library
  // has the elastic explosion, the explosion as well.
  std::span<const double> times() const { return times_; }

  // The nr values of component c over the distances at observation depth k, source type t and
  // source depth j; an empty span for a component the type does not write (the CLVD's and the
  // explosion's ut, ert, etz). Indices out of range, and the explosion of a library without it,
  // throw kirva::Stop.
  std::span<const double> column(int k, SourceType t, int j, Component c) const;
  // The same at times()[time_index]; time index 0 is the elastic column above. An index outside
  // the times throws kirva::Stop.
  std::span<const double> column(int k, SourceType t, int j, Component c, int time_index) const;

 private:
  double layer(int l, int field) const;
  void open_extension();
  void find_interfaces();

  std::string path_;
  const unsigned char* base_ = nullptr;
  std::uint64_t size_ = 0;
  // The "grnfun.ext" beside the file: mapped when there is one, its descriptors, and the index
  // of the explosion's elastic table among them (-1: none).
  std::string ext_path_;
  const unsigned char* ext_base_ = nullptr;
  std::uint64_t ext_size_ = 0;
  std::vector<extension::Descriptor> ext_tables_;
  int ex_table_ = -1;
  // times_[i] and, per source type, the descriptor of its table at that time (-1 at time 0 for
  // the types of grnfun.all, and for the explosion of a library without it).
  std::vector<double> times_{0.0};
  std::vector<std::array<int, 4>> time_tables_;
  int nlayer_ = 0, nr_ = 0, nzs_ = 0, nzrec_ = 0;
  double r1_ = 0, r2_ = 0, zs1_ = 0, zs2_ = 0, zrec1_ = 0, zrec2_ = 0;
  std::vector<double> r_, zs_, zrec_, lambda_, mu_, rho_, interfaces_;
  std::vector<bool> interface_elastic_;
  std::optional<double> gravity_;
};

// The text of the grnfun.json beside the library at path (the provenance of the run: program,
// version, mode, options, smoothing, sampfac, the input text), or nothing when there is none. A
// grnfun.json that is there but cannot be read throws kirva::Stop with one line.
std::optional<std::string> read_provenance(const std::string& library_path);

// The tables of a library at time t after the source (years) as wa * tables(a) + wb * tables(b),
// a and b indices of lib.times(): exactly the stored tables at a tabulated time (a = b, wa = 1,
// wb = 0); between two tabulated times linear in ln t when both are positive (relaxation
// spreads over decades, and kirva --times is meant for times spaced evenly in ln t), and linear
// in t between 0 and the first positive time (ln t has no value at 0). A time outside 0 to the
// last tabulated one, or other than 0 for a library without times, throws kirva::Stop with one
// line naming the library's range.
struct TimeSelection {
  int a = 0, b = 0;
  double wa = 1.0, wb = 0.0;
};
TimeSelection select_time(const GreenLibrary& lib, double t);

// The value of component c at (zs, r) by 4-point Lagrange interpolation in source depth and in
// distance (interp.h; across the axis by the component's parity). Errors O(h^4) for smooth data.
double interpolate(const GreenLibrary& lib, int k, SourceType t, Component c, double zs, double r);

}  // namespace kirva
