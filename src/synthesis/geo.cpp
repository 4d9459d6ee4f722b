#include "synthesis/geo.h"

#include <GeographicLib/Constants.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>
#include <string>

#include "stop.h"

namespace kirva::syn {

void Projector::project(double x, double y, double& east, double& north) const {
  if (!geographic) {
    east = x * 1000.0;
    north = y * 1000.0;
    return;
  }
  if (!(y >= -90 && y <= 90)) {
    throw Stop("kirva-syn: latitude " + std::to_string(y) + " is outside -90 to 90 degrees");
  }
  static const GeographicLib::TransverseMercator tm(GeographicLib::Constants::WGS84_a(),
                                                    GeographicLib::Constants::WGS84_f(), 1.0);
  double x0, y0, xp, yp;
  tm.Forward(lon0, lat0, lon0, x0, y0);
  tm.Forward(lon0, y, x, xp, yp);
  east = xp - x0;
  north = yp - y0;
}

}  // namespace kirva::syn
