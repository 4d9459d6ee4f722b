// Writers of the results: a text table (comment lines start with '#', the last one names the
// columns; one receiver a line) and NetCDF for grids, with coordinates and units. Every write
// is checked; a failure stops naming the file.
#pragma once

#include <string>
#include <vector>

#include "synthesis/quantities.h"
#include "synthesis/receivers.h"

namespace kirva::syn {

struct Table {
  std::vector<std::string> comments;  // without the leading "# "
  std::vector<Quantity> quantities;
  bool named = false;          // receivers from a point file: a name column first
  bool geographic = false;     // x, y are longitude and latitude
  std::vector<double> values;  // receiver by receiver, the quantities in order
};

// path "" or "-": standard output.
void write_text(const std::string& path, const Table& t, const std::vector<Receiver>& receivers);

// What a grid of results holds besides its values, as the NetCDF file and the Python module's
// Dataset give it: the coordinates with their nodes and attributes, and the global attributes.
struct GridLayout {
  struct Coordinate {
    std::string name, units, long_name;
    std::vector<double> nodes;
  };
  Coordinate x, y;
  std::vector<std::pair<std::string, std::string>> text;  // global text attributes
  double depth_km = 0;                                    // global attribute depth_km
};
GridLayout grid_layout(const Table& t, const Grid& grid);

// The comment lines of a result: the library, the time after the source when it is not 0 or
// the result is the change since the source (`postseismic`), the sources and their patching,
// the frame and units, and the receiver fault of cfs. `origin` is the --geographic text (empty:
// km), `receiver` the receiver fault as written.
std::vector<std::string> result_comments(const std::string& library, double time_years,
                                         bool postseismic, std::size_t sources, std::size_t points,
                                         double patch_size_m, int gauss, const std::string& origin,
                                         bool cfs, const std::string& receiver, double friction);

// A grid as NetCDF: coordinate variables x and y (or lon and lat), one variable per quantity
// over (y, x), with units and long names.
void write_netcdf(const std::string& path, const Table& t, const Grid& grid);

}  // namespace kirva::syn
