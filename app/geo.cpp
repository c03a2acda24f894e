#include "app/geo.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kEarthDiameterNm = 6875.493541569878;
constexpr double kEarthRadiusFeet = kEarthDiameterNm / 2.0 * kFeetPerNm;
}  // namespace

double gf_distanceNm(const LatLon& a, const LatLon& b) {
  const double lat1 = a.latitude * kDegToRad;
  const double lat2 = b.latitude * kDegToRad;
  const double dLat = (b.latitude - a.latitude) * kDegToRad;
  const double dLon = (b.longitude - a.longitude) * kDegToRad;
  const double sLat = std::sin(dLat / 2.0);
  const double sLon = std::sin(dLon / 2.0);
  const double h = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
  // Rounding can push the term a hair outside [0, 1] for (nearly) antipodal points.
  const double hc = std::clamp(h, 0.0, 1.0);
  return kEarthDiameterNm * std::atan2(std::sqrt(hc), std::sqrt(1.0 - hc));
}

double gf_bearingRad(const LatLon& a, const LatLon& b) {
  const double lat1 = a.latitude * kDegToRad;
  const double lat2 = b.latitude * kDegToRad;
  const double dLon = (b.longitude - a.longitude) * kDegToRad;
  const double y = std::sin(dLon) * std::cos(lat2);
  const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
  double bearing = std::atan2(y, x);
  if (bearing < 0.0) bearing += 2.0 * std::numbers::pi;
  if (bearing >= 2.0 * std::numbers::pi) bearing -= 2.0 * std::numbers::pi;
  return bearing;
}

LatLon gf_destinationPoint(const LatLon& from, double bearingRad, double distanceFeet) {
  const double delta = distanceFeet / kEarthRadiusFeet;
  const double lat1 = from.latitude * kDegToRad;
  const double lon1 = from.longitude * kDegToRad;
  const double lat2 =
      std::asin(std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(bearingRad));
  const double lon2 = lon1 + std::atan2(std::sin(bearingRad) * std::sin(delta) * std::cos(lat1),
                                        std::cos(delta) - std::sin(lat1) * std::sin(lat2));
  double lonDeg = lon2 * kRadToDeg;
  lonDeg = std::fmod(lonDeg + 540.0, 360.0) - 180.0;  // normalise to [-180, 180)
  return {lat2 * kRadToDeg, lonDeg};
}
