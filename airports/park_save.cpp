#include "airports/park_save.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/quality.h"
#include "app/clock.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/text.h"
#include "app/xml.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"

std::string g_parkApfPath;

namespace {

bool g_saveFailed = false;

// Only a file below "airports/learned" is a learned file: any other path
// would be the park file itself, which the save must never replace.
bool lf_isLearnedFolderPath(const std::filesystem::path& path) {
  const std::filesystem::path learned = (g_airportsFolder / "learned").lexically_normal();
  const std::filesystem::path normal = path.lexically_normal();
  auto l = learned.begin();
  auto p = normal.begin();
  for (; l != learned.end(); ++l, ++p) {
    if (p == normal.end() || *l != *p) return false;
  }
  return p != normal.end();
}

}  // namespace

bool lf_parkAirportHasChanges() {
  return gf_parkFileLoaded() && (g_apfChanged.load() || g_learnedUpdates.load() >= 1);
}

bool lf_saveRetryPending() { return g_saveFailed; }

bool lf_saveStandFile(std::vector<Stand>&& stands) {
  if (!lf_parkAirportHasChanges()) return true;
  const std::uint32_t updates = g_learnedUpdates.load();
  const bool changed = g_apfChanged.load();
  const bool handmade = g_apfHandmade.load();

  ParkAirport airport;
  airport.icao = g_parkApf.icao;
  airport.airportName = g_parkApf.airportName;
  airport.publisher = g_parkApf.publisher;
  airport.altitude = g_parkApf.altitude;
  airport.qfReal = g_parkApf.qfReal;
  airport.qfSoft = g_parkApf.qfSoft;
  airport.stands.reserve(stands.size());
  for (Stand& stand : stands) {
    if (!handmade) std::erase_if(stand.options, [](const StandOption& o) { return o.origin == 1; });
    if (!stand.manual && stand.options.empty() && !stand.radiusChange && !stand.cargoChange) continue;
    airport.stands.push_back(std::move(stand));
  }
  stands.clear();
  if (handmade) {
    const auto factors = gf_computeQualityFactors(airport.stands);
    airport.qfReal = factors.first;
    airport.qfSoft = factors.second;
  }

  const std::filesystem::path path = lf_learnedPathFor(g_parkApfPath, airport.publisher);
  const std::string time = gf_nowHms();
  bool saved = false;
  if (path.empty() || !lf_isLearnedFolderPath(path)) {
    gf_logError("the learned file of {} has no place ('{}'), nothing saved", airport.icao, path.string());
  } else {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) gf_logError("create_directories: {}: {}", path.parent_path().string(), ec.message());
    g_simLabel.set(g_isMsfs2020.load() ? "MSFS" : "MSFS2024");
    saved = !ec && gf_writeApf(airport, path, ApfMode::learned);
  }
  if (!saved) {
    // The counters stay, so that the next save tries again.
    gf_logLine("{} saving '{}' did not succeed", time, path.string());
    g_saveFailed = true;
    return false;
  }
  gf_logLine("{}{} '{}' saved with {} update{} {}", time, handmade ? " handmade" : "", path.string(), updates,
             gf_pluralS(static_cast<std::int32_t>(updates)), changed ? "and one or more parameter changes" : "");
  g_learnedUpdates.fetch_sub(updates);
  g_apfChanged.store(false);
  g_saveFailed = false;
  return true;
}
