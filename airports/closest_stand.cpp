#include "airports/closest_stand.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include <pugixml.hpp>

#include "airports/park_find.h"
#include "airports/park_file.h"
#include "app/log.h"

namespace fs = std::filesystem;

namespace {

// The download target of a park file that lies on the server.
const fs::path kClosestStandDownload = "airport.xml";

void lf_removeDownload(bool downloaded) {
  if (!downloaded) return;
  std::error_code ec;
  fs::remove(kClosestStandDownload, ec);
  if (ec) throw fs::filesystem_error("remove", kClosestStandDownload, ec);
}

// Reads only the positions and names of the stands of the airport's park file.
double lf_readClosestStand(const std::string& icao, const LatLon& position, std::string& standName) {
  const std::string path = gf_findApfFile(icao);
  if (path.empty()) return gf_apfFetchPending(icao) ? kStandDistancePending : kNoStandDistanceNm;
  const bool downloaded = !gf_isLocalApfPath(path);
  if (downloaded && !lf_resolveApfPath(path, kClosestStandDownload).empty()) {
    return gf_serverFilePending(path) ? kStandDistancePending : kNoStandDistanceNm;
  }

  pugi::xml_document document;
  std::string error;
  if (!gf_loadApfDocument(downloaded ? kClosestStandDownload : fs::path(path), document, error)) {
    return kNoStandDistanceNm;
  }
  const pugi::xml_node parkpositions = document.child("parkpositions");
  double best = kNoStandDistanceNm;
  for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
    // An absent or unreadable coordinate counts as 0.
    LatLon stand{0.0, 0.0};
    gf_readApfDouble(parkpos, "latitude", stand.latitude);
    gf_readApfDouble(parkpos, "longitude", stand.longitude);
    const double distance = gf_distanceNm(position, stand);
    if (distance < best) {
      best = distance;
      standName = parkpos.attribute("id").as_string();
    }
  }
  lf_removeDownload(downloaded);
  return best;
}

}  // namespace

ClosestStandFinder gf_defaultClosestStandFinder() { return lf_readClosestStand; }

ClosestStandFinder g_closestStandFinder = lf_readClosestStand;

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
