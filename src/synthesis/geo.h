// Horizontal positions: km east and north of the origin, or longitude and latitude in degrees
// projected about a stated origin (transverse Mercator on the WGS84 ellipsoid, scale 1 on the
// origin's meridian; GeographicLib, Karney 2011). Near the origin the projected axes are east
// and north; the meridian convergence away from it is not corrected.
#pragma once

namespace kirva::syn {

struct Projector {
  bool geographic = false;
  double lon0 = 0, lat0 = 0;  // degrees
  // Metres east and north of the position x, y (km, or degrees of longitude and latitude).
  void project(double x, double y, double& east, double& north) const;
};

}  // namespace kirva::syn
