// Geodesy on a sphere.
#pragma once

struct LatLon {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
};

inline constexpr double kMetresToNm = 0.0005399568034557236;
inline constexpr double kNmToMetres = 1852.0;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kFeetPerNm = 1852.0 / 0.3048;

// Great-circle (haversine) distance in nautical miles.
double gf_distanceNm(const LatLon& a, const LatLon& b);
// Initial bearing from a to b in radians, in [0, 2*pi).
double gf_bearingRad(const LatLon& a, const LatLon& b);
// The point reached from a position along a bearing (radians) after a distance in feet.
LatLon gf_destinationPoint(const LatLon& from, double bearingRad, double distanceFeet);
