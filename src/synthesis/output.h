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

// A grid as NetCDF: coordinate variables x and y (or lon and lat), one variable per quantity
// over (y, x), with units and long names.
void write_netcdf(const std::string& path, const Table& t, const Grid& grid);

}  // namespace kirva::syn
