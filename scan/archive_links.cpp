#include "scan/archive_links.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "app/files.h"
#include "app/runstate.h"
#include "app/text.h"
#include "scan/airport_scan.h"
#include "scan/manifests.h"

namespace fs = std::filesystem;

namespace {

// Serialises the archive links of the tasks: the publisher detection and the
// alias writes of two tasks never overlap. Taken before the scan log's mutex.
std::mutex g_linkMutex;

void lf_writeAlias(const fs::path& folder, bool simaddon, std::string_view icao, const std::string& archivedName) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  // A failed alias write is not reported: the link stands in the scan log.
  if (gf_writeTextFile(folder / gf_apfTxtPath(icao), archivedName, true))
    gf_scanFileMade(simaddon, gf_apfTxtPath(icao).string());
}

}  // namespace

std::pair<std::string, bool> lf_findArchivedSimaddon(std::string_view icao) {
  return {fmt::format("archive/{}/{}", kSimaddonPublisher, gf_apfFileName(icao)),
          g_simaddon20Airports.contains(std::string(icao))};
}

std::pair<std::string, bool> lf_findArchivedThirdparty(const std::string& publisher, std::string_view icao,
                                                       std::int32_t& archivedCount) {
  std::string escaped;
  for (const char c : publisher) escaped += c == ' ' ? std::string("%20") : std::string(1, c);
  std::string name = fmt::format("archive/thirdparty/{}/{}", escaped, gf_apfFileName(icao));
  for (const ThirdPartyEntry& entry : gf_thirdPartiesFor(g_isMsfs2020.load())) {
    if (entry.publisher != publisher) continue;
    for (const std::string& item : entry.items) {
      int count = archivedCount;
      if (lf_checkNumberAfterPrefix(publisher, icao, count, item)) {
        archivedCount = count;
        return {std::move(name), true};
      }
    }
  }
  return {std::move(name), false};
}

bool lf_linkToArchive(ParkAirport& airport, std::int32_t& archivedCount, const std::string& bglPath) {
  std::lock_guard lock(g_linkMutex);
  archivedCount = 0;
  airport.bglPath = bglPath;
  AirportPublisher info = gf_findAirportPublisher(bglPath);
  airport.publisher = std::move(info.publisher);
  airport.manufacturer = std::move(info.manufacturer);
  airport.creator = std::move(info.creator);
  if (airport.publisher == kUnknownPublisher) return false;
  const AirportScanFolders folders = gf_airportScanFolders();
  if (airport.publisher == kSimaddonPublisher) {
    const auto [name, found] = lf_findArchivedSimaddon(airport.icao);
    if (!found) {
      gf_airportsScanLog(fmt::format("{} does not exist as simaddon", airport.icao));
      return false;
    }
    lf_writeAlias(folders.simaddon, true, airport.icao, name);
    gf_airportsScanLog(fmt::format("{} airport {} linked to {}", kSimaddonPublisher, airport.icao, name));
  } else {
    const auto [name, found] = lf_findArchivedThirdparty(airport.publisher, airport.icao, archivedCount);
    if (!found) {
      gf_airportsScanLog(fmt::format("thirdparty {} {} does not exist", airport.publisher, airport.icao));
      return false;
    }
    lf_writeAlias(folders.thirdparty, false, airport.icao, name);
    gf_airportsScanLog(fmt::format("thirdparty airport {} linked to {}", airport.icao, name));
  }
  g_airportFilesWritten.store(true);
  return true;
}

void lf_finishAirport(ParkAirport& airport, bool linked, std::int32_t archivedCount, std::int32_t helipadCounter) {
  const auto n = static_cast<std::int64_t>(airport.stands.size());
  const bool simaddon = airport.publisher == kSimaddonPublisher;
  if (n > archivedCount && !simaddon)
    gf_airportsScanLog(fmt::format("===> {} has {} parkpos while archived one has {}", airport.icao, n, archivedCount));
  if (linked && (n <= archivedCount || simaddon)) return;
  lf_generateAirportFile(airport, helipadCounter);
}

void lf_generateAirportFile(ParkAirport& airport, std::int32_t helipadCounter) {
  if (airport.stands.empty()) return;
  if (airport.publisher != kUnknownPublisher) {
    if (const auto at = airport.bglPath.find("Community"); at != std::string::npos) airport.bglPath.erase(0, at);
  }
  std::string helipads;
  if (helipadCounter >= 2)
    helipads = fmt::format(", of which {} helipad{}", helipadCounter - 1, gf_pluralS(helipadCounter - 1));
  const auto n = static_cast<std::int64_t>(airport.stands.size());
  gf_airportsScanLog(
      fmt::format("Generated {}: {} position{}{}", gf_apfFileName(airport.icao), n, gf_pluralS64(n), helipads));
  std::stable_sort(airport.stands.begin(), airport.stands.end(),
                   [](const Stand& a, const Stand& b) { return a.name < b.name; });
  const bool simaddon = airport.publisher == kSimaddonPublisher;
  const AirportScanFolders folders = gf_airportScanFolders();
  const fs::path folder = simaddon ? folders.simaddon : folders.thirdparty;
  fs::create_directories(folder);
  const fs::path file = folder / gf_apfXmlPath(airport.icao);
  // The lines name the file where a complete scan puts it.
  const fs::path shown = (simaddon ? g_mySimaddonFolder : g_myThirdpartyFolder) / gf_apfXmlPath(airport.icao);
  // Written through a temporary file of its own and renamed: two tasks that
  // generate the same airport leave one whole file.
  if (gf_writeGeneratedApf(airport, file, shown)) {
    g_airportFilesWritten.store(true);
    gf_scanFileMade(simaddon, file.filename().string());
  } else {
    gf_airportsScanLog(fmt::format("===> Generating {} did not succeed", shown.string()));
  }
}

std::string lf_guessUnrecognisedIcao(const std::string& bglPath) {
  const fs::path path(bglPath);
  const std::string stem = gf_toUpper(path.stem().string());
  if (stem.size() == 4) {
    if (gf_findAirportByIcao(stem) != nullptr) {
      gf_airportsScanLog(fmt::format("Not recognised airport has ICAO code '{}' as BGL stem", stem));
      return stem;
    }
  }
  if (const auto manifest = gf_searchManifest(bglPath); manifest && !manifest->title.empty()) {
    if (std::string icao = gf_icaoFromText(manifest->title); !icao.empty()) {
      gf_airportsScanLog(fmt::format("Not recognised airport has ICAO '{}' in title '{}' of manifest", icao, manifest->title));
      return icao;
    }
  }
  for (const AirportRec& airport : g_airports) {
    if (lf_containsDashToken(bglPath, airport.icao)) {
      gf_airportsScanLog(fmt::format("Not recognised airport has ICAO '{}' in BGL path '{}'", airport.icao, bglPath));
      return airport.icao;
    }
  }
  gf_airportsScanLog(fmt::format("==================> Not recognised airport lost ... '{}'", bglPath));
  return {};
}

void lf_processUnrecognisedAirport(const std::string& bglPath) {
  gf_airportsScanLog(fmt::format("\n==> Not recognised airport {}", bglPath));
  const std::string icao = lf_guessUnrecognisedIcao(bglPath);
  if (icao.empty()) return;
  // The code names the alias file: it must be one plain file name.
  if (!gf_isPlainPathComponent(icao)) {
    gf_airportsScanLog(fmt::format("===> ICAO '{}' cannot name a file, not linked", icao));
    return;
  }
  ParkAirport airport;
  airport.icao = icao;
  std::int32_t archivedCount = 0;
  lf_linkToArchive(airport, archivedCount, bglPath);
}
