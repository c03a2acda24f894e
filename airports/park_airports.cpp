#include "airports/park_airports.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <mutex>
#include <utility>
#include <unordered_set>
#include <variant>
#include <vector>

#include "app/files.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/text.h"
#include "ui/status_line.h"

std::list<ParkAirportEntry> g_parkAirports;
std::string g_reservedStand;

namespace {

// How the file stands before it is read: missing, readable, or there but not
// readable (which must never be overwritten).
enum class FileState { missing, read, unreadable };

FileState lf_readListFile(std::vector<std::string>& lines) {
  std::string content;
  const FileReadResult read = gf_readUserFile(gf_myParkAirportsPath(), kMyParkAirportsMaxBytes, content);
  if (read.problem == FileProblem::missing) return FileState::missing;
  if (!read) return FileState::unreadable;
  // A UTF-8 byte order mark (a file saved by Notepad) is not part of the first ICAO.
  lines.clear();
  gf_textToLines(kCharsetUtf8Bom, std::move(content), lines);
  return FileState::read;
}

// The first field of a line of the file.
std::string lf_firstField(std::string_view line) {
  const std::vector<std::string> fields = gf_splitString(line, ',');
  return fields.empty() ? std::string() : fields.front();
}

struct ReservedStandRequest {
  std::string standName;
};
struct DestinationRequest {
  std::string icao;
  LatLon position;
};
using ParkAirportRequest = std::variant<ReservedStandRequest, DestinationRequest>;

// Leaf lock: held only to append to or take the queue.
std::mutex g_requestMutex;
std::deque<ParkAirportRequest> g_requests;

}  // namespace

std::filesystem::path gf_myParkAirportsPath() { return g_airportsFolder / std::string(kMyParkAirportsName); }

bool lf_readMyParkAirports() {
  try {
    g_parkAirports.clear();
    const std::filesystem::path path = gf_myParkAirportsPath();
    std::vector<std::string> lines;
    switch (lf_readListFile(lines)) {
      case FileState::missing:
        gf_logLine("{} not found", path.string());
        break;
      case FileState::unreadable:
        gf_logLine("{} not found", path.string());
        gf_logError("{} exists, but could not be read", path.string());
        break;
      case FileState::read:
        break;
    }
    std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> seen;
    for (const std::string& line : lines) {
      const std::vector<std::string> fields = gf_splitString(line, ',');
      if (fields.empty() || (fields.size() == 1 && fields[0].empty())) continue;
      if (fields.size() >= 3) {
        gf_logLine("{}:{} wrong syntax, skipped", kMyParkAirportsName, line);
        continue;
      }
      const std::string& icao = fields[0];
      if (seen.contains(icao)) {
        gf_logLine("{}:{} double, skipped", kMyParkAirportsName, icao);
        continue;
      }
      const AirportRec* airport = gf_findAirportByIcao(icao);
      if (airport == nullptr) {
        gf_showStatus(fmt::format("airport {} is unknown", icao), true);
        continue;
      }
      g_parkAirports.push_back(ParkAirportEntry{icao, fields.size() == 2 ? fields[1] : std::string(),
                                                LatLon{airport->latitude, airport->longitude}, 0.0});
      seen.insert(icao);
    }
    if (!g_parkAirports.empty()) {
      const auto count = static_cast<std::int64_t>(g_parkAirports.size());
      gf_logLine("{} park airport{} read from '{}'", count, gf_pluralS64(count), path.string());
      if (g_parkAirports.size() > kManyParkAirports) {
        gf_showStatus(fmt::format("Warning: There are a lot of airports ({}), that will cost SKLM much cpu time and "
                                  "may cause stutters",
                                  count),
                      true);
      }
    }
    lf_addThirdpartyParkAirports();
    return true;
  } catch (const std::exception& e) {
    gf_logLine("{}: {}", "lf_readMyParkAirports", e.what());
    return false;
  }
}

void lf_addThirdpartyParkAirports() {
  std::int32_t added = 0;
  for (const auto& entry : std::filesystem::directory_iterator(g_myThirdpartyFolder)) {
    if (!entry.is_regular_file()) continue;
    const std::string icao = entry.path().stem().string();
    const bool listed = std::any_of(g_parkAirports.begin(), g_parkAirports.end(),
                                    [&](const ParkAirportEntry& e) { return e.icao == icao; });
    if (listed) continue;
    const AirportRec* airport = gf_findAirportByIcao(icao);
    if (airport == nullptr) continue;
    g_parkAirports.push_back(ParkAirportEntry{icao, "", LatLon{airport->latitude, airport->longitude}, 0.0});
    ++added;
  }
  gf_logLine("{} park airport{} added from my_thirdparty folder(-s)", added, gf_pluralS(added));
}

bool lf_updateMyParkAirports() {
  if (g_parkAirports.empty()) return false;
  const ParkAirportEntry& first = g_parkAirports.front();
  const std::string line = first.stand.empty() ? first.icao : first.icao + "," + first.stand;
  const std::filesystem::path path = gf_myParkAirportsPath();

  std::vector<std::string> lines;
  switch (lf_readListFile(lines)) {
    case FileState::unreadable:
      // Writing now would replace the user's list by a single line.
      gf_logError("{} could not be read, {} not written into it", path.string(), line);
      return false;
    case FileState::missing: {
      std::error_code ec;
      std::filesystem::create_directories(path.parent_path(), ec);
      if (!gf_writeLines(path, {line})) {
        gf_logError("{} could not be written", path.string());
        return false;
      }
      gf_logLine("{} created with {}", kMyParkAirportsName, line);
      return true;
    }
    case FileState::read:
      break;
  }
  const auto own = std::find_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return lf_firstField(l) == first.icao; });
  if (own != lines.end()) {
    *own = line;
    gf_logLine("{}:{} updated stand", kMyParkAirportsName, line);
  } else {
    lines.insert(lines.begin(), line);
    gf_logLine("{}:{} new entry", kMyParkAirportsName, line);
  }
  std::erase_if(lines, [](const std::string& l) { return gf_trim(l).empty(); });
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  if (!gf_writeLines(path, lines)) {
    gf_logError("{} could not be written", path.string());
    return false;
  }
  return true;
}

void lf_setDestinationParkAirport(const std::string& icao, const LatLon& position) {
  const auto it = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                               [&](const ParkAirportEntry& e) { return e.icao == icao; });
  if (it != g_parkAirports.end()) {
    g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, it);
    return;
  }
  g_parkAirports.push_front(ParkAirportEntry{icao, "", position, 0.0});
  lf_updateMyParkAirports();
}

void lf_storeReservedStand(const std::string& standName) {
  if (g_parkAirports.empty()) return;
  ParkAirportEntry& first = g_parkAirports.front();
  // Only the park airport's entry may take a stand of the park airport.
  if (g_parkAirport.icao.empty() || first.icao != g_parkAirport.icao) return;
  if (first.stand == standName) return;
  first.stand = standName;
  lf_updateMyParkAirports();
}

void gf_requestReservedStand(std::string standName) {
  std::lock_guard lock(g_requestMutex);
  g_requests.emplace_back(ReservedStandRequest{std::move(standName)});
}

void gf_requestDestinationParkAirport(std::string icao, const LatLon& position) {
  std::lock_guard lock(g_requestMutex);
  g_requests.emplace_back(DestinationRequest{std::move(icao), position});
}

void gf_runParkAirportRequests() {
  std::deque<ParkAirportRequest> requests;
  {
    std::lock_guard lock(g_requestMutex);
    if (g_requests.empty()) return;
    requests.swap(g_requests);
  }
  for (const ParkAirportRequest& request : requests) {
    if (const auto* stand = std::get_if<ReservedStandRequest>(&request)) {
      lf_storeReservedStand(stand->standName);
    } else if (const auto* destination = std::get_if<DestinationRequest>(&request)) {
      lf_setDestinationParkAirport(destination->icao, destination->position);
    }
  }
}
