#include "airports/closest_stand.h"

#include <exception>

#include "app/log.h"

namespace {
double lf_noStandFound(const std::string& /*icao*/, const LatLon& /*position*/,
                       std::string& /*standName*/) {
  return kNoStandDistanceNm;
}
}  // namespace

ClosestStandFinder gf_defaultClosestStandFinder() { return lf_noStandFound; }

ClosestStandFinder g_closestStandFinder = lf_noStandFound;

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position,
                                     std::string& standName) {
  try {
    if (!g_closestStandFinder) return kNoStandDistanceNm;
    return g_closestStandFinder(icao, position, standName);
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "gf_readDestApfForClosestStand", e.what());
    return kNoStandDistanceNm;
  }
}
