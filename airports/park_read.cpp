#include "airports/park_read.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/fake_traffic.h"
#include "airports/learned_file.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/quality.h"
#include "app/errors.h"
#include "app/file_stamp.h"
#include "app/files.h"
#include "app/geo.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/xml.h"
#include "feed/traffic_reader.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/window_setters.h"

namespace fs = std::filesystem;

ParkAirport g_parkApf;
std::atomic<std::int32_t> g_rtTrafficWeek{0};
std::atomic<bool> g_apfChanged{false};
std::atomic<double> g_parkElevation{0.0};

namespace {

// A cell of the adjacency grid: a cube of the space around the unit sphere.
struct GridCell {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t z = 0;
  bool operator==(const GridCell&) const = default;
};

struct GridCellHash {
  std::size_t operator()(const GridCell& c) const noexcept {
    std::uint64_t h = 1469598103934665603ull;
    for (const std::int64_t v : {c.x, c.y, c.z}) h = (h ^ static_cast<std::uint64_t>(v)) * 1099511628211ull;
    return static_cast<std::size_t>(h);
  }
};

// The finest grid worth having: cells this small (as a share of the Earth's
// radius, a few millimetres) keep the cell numbers far inside 64 bits.
constexpr double kSmallestCell = 1e-9;

// The position on the unit sphere, in cells of the given size.
GridCell lf_gridCell(const Stand& stand, double cell) {
  const double lat = stand.latitude * kDegToRad;
  const double lon = stand.longitude * kDegToRad;
  const auto index = [cell](double v) { return static_cast<std::int64_t>(std::floor(v / cell)); };
  return {index(std::cos(lat) * std::cos(lon)), index(std::cos(lat) * std::sin(lon)), index(std::sin(lat))};
}

bool lf_touches(const Stand& a, const Stand& b) {
  const double distance = gf_distanceNm(LatLon{a.latitude, a.longitude}, LatLon{b.latitude, b.longitude});
  return distance * 1.1 < a.radius + b.radius;
}

}  // namespace

bool lf_linkAdjacentStands(std::vector<Stand>& stands, const std::atomic<bool>* stop) {
  // Two stands touch only when their great-circle distance is below twice the
  // largest radius. On the unit sphere that distance is an angle, and the
  // straight line between the two points is no longer than it: so in a grid
  // of cubes that wide every stand a stand touches lies in one of the 27
  // cubes around its own. Only those are compared, in list order, with the
  // same test as every pair would be.
  double largestRadius = 0.0;
  for (const Stand& stand : stands) largestRadius = std::max(largestRadius, stand.radius);
  const double nmPerRadian = gf_distanceNm(LatLon{0.0, 0.0}, LatLon{0.0, 1.0}) * kRadToDeg;
  const double cell = std::max(2.0 * largestRadius / nmPerRadian, kSmallestCell);
  const bool gridUsable = std::isfinite(cell);

  std::unordered_map<GridCell, std::vector<std::size_t>, GridCellHash> grid;
  std::vector<GridCell> cells(stands.size());
  std::vector<bool> placed(stands.size(), false);
  if (gridUsable) {
    for (std::size_t i = 0; i < stands.size(); ++i) {
      // A stand without a finite position touches nothing (its distances are not numbers).
      if (!std::isfinite(stands[i].latitude) || !std::isfinite(stands[i].longitude)) continue;
      cells[i] = lf_gridCell(stands[i], cell);
      placed[i] = true;
      grid[cells[i]].push_back(i);
    }
  }

  std::vector<std::size_t> near;
  for (std::size_t i = 0; i < stands.size(); ++i) {
    if (stop != nullptr && stop->load()) return false;
    Stand& a = stands[i];
    a.adjacent.clear();
    near.clear();
    if (!gridUsable) {
      // An infinite radius touches everything: every stand is a neighbour.
      for (std::size_t j = 0; j < stands.size(); ++j) near.push_back(j);
    } else if (placed[i]) {
      for (std::int64_t dx = -1; dx <= 1; ++dx)
        for (std::int64_t dy = -1; dy <= 1; ++dy)
          for (std::int64_t dz = -1; dz <= 1; ++dz) {
            const auto found = grid.find(GridCell{cells[i].x + dx, cells[i].y + dy, cells[i].z + dz});
            if (found != grid.end()) near.insert(near.end(), found->second.begin(), found->second.end());
          }
      std::sort(near.begin(), near.end());
    }
    for (const std::size_t j : near) {
      const Stand& b = stands[j];
      if (a.id != b.id && lf_touches(a, b)) a.adjacent.push_back(b.id);
    }
    a.adjacent.shrink_to_fit();
  }
  return true;
}

std::string gf_readApf(const std::string& path, ParkAirport& airport,
                       std::pair<std::int32_t, std::int32_t>& qualityFactors, std::vector<Stand>& stands) {
  if (path.empty()) return fmt::format("{}: xml is empty", "gf_readApf");
  if (airport.icao.empty()) return fmt::format("{}: no park airport set", "gf_readApf");
  try {
    fs::path file(path);
    if (!gf_isLocalApfPath(path)) {
      file = g_airportsFolder / kParkAirportDownload;
      const std::string error = lf_resolveApfPath(path, file);
      if (!error.empty()) return error;
    }

    g_apfHandmade.store(false);
    // Freed once its stands are read, before the learned file is loaded.
    auto loaded = std::make_unique<ApfDocument>();
    const pugi::xml_document& document = loaded->head();
    std::string loadError;
    if (!loaded->load(file, loadError)) {
      if (loaded->stopped()) return fmt::format("{}: abandoned for the close", "gf_readApf");
      return fmt::format("{}: could not load file: {}: {}", path, file.generic_string(), loadError);
    }
    if (!gf_readMetaInfo(document, prm::author) || !gf_readMetaInfo(document, prm::date) ||
        !gf_readMetaInfo(document, prm::version)) {
      return fmt::format("{}: refused to load (copyright)", path);
    }

    // Everything is read into copies first: the airport and its stands change
    // only when the whole file was read.
    ParkAirport read = airport;
    read.keptStands.clear();
    read.keepLearnedFile.clear();
    read.learnedSettings.clear();
    read.learnedStands.clear();
    const std::int32_t week = gf_getParamInt(document, "RT_traffic_week");
    read.publisher = gf_getParamString(document, "publisher");
    bool altitudeFound = false;
    const std::string altitudeText = gf_getParamString(document, "altitude", altitudeFound);
    if (!altitudeFound) throw qor::UserErrorException(65, "Parameter altitude not found");
    read.altitude = gf_textToInt32(altitudeText);
    double elevation = read.altitude;  // kept when the text is not a plain number
    gf_parseDouble(altitudeText, elevation);
    read.airportName = gf_getParamString(document, "airport_name");
    std::vector<Stand> list;
    {
      // Stands past the limit are left out (logged); their learned stands are
      // kept in the learned file all the same.
      const ApfSkipLines skipLines(path);
      gf_readApfStands(*loaded, list, DuplicateStand::refuse);
    }

    std::pair<std::int32_t, std::int32_t> factors = gf_readApfQualityFactors(document);
    loaded.reset();

    const fs::path learnedPath = lf_learnedPathFor(path, read.publisher);
    if (learnedPath.empty() || !gf_apfEntryExists(learnedPath)) {
      // None there: a file that appears later is one the save does not write over.
      read.learnedFile = FileStamp{};
      prm::parking_percentage.set(30);
      gf_enableControl(prm::parking_percentage.controlId(), false);
      gf_setTbIntText(prm::parking_percentage);
      gf_logLine("{:24}: {}", prm::parking_percentage.name(), 30);
    } else {
      read.keepLearnedFile = lf_readLearned(learnedPath, read, list, g_apfHandmade);
      factors = gf_computeQualityFactors(list);
      if (g_apfHandmade.load()) gf_logLine("A handmade airport file overruled the archived file!");
      if (prm::PARK_FAKE.value()) lf_makeFakeTraffic(fs::path(path).stem().string(), list);
    }

    std::uint32_t id = 0;
    for (Stand& stand : list) stand.id = ++id;
    // A close does not wait for a large file: its stands (read only in part
    // then) and their adjacency, the long part, are dropped.
    if (g_stopRun.load() || !lf_linkAdjacentStands(list, &g_stopRun)) {
      return fmt::format("{}: abandoned for the close", "gf_readApf");
    }

    stands = std::move(list);
    airport = std::move(read);
    qualityFactors = factors;
    g_rtTrafficWeek.store(week);
    g_parkElevation.store(elevation);
    gf_setStandCount(static_cast<std::int64_t>(stands.size()));

    const bool handmade = g_apfHandmade.load();
    gf_logLine("Airport file read from '{}' for {}", handmade ? learnedPath.generic_string() : path,
               airport.airportName);
    gf_setParkFileTexts(airport.airportName, airport.publisher);
    gf_setParkFileFlags(handmade, week);
    gf_logLine("{:24}: {}", "publisher", airport.publisher);
    gf_logLine("{:24}: {} ft", "altitude", airport.altitude);
    gf_logLine("{:24}: {}", "num_parkpos", stands.size());
    gf_logLine("{:24}: {}", "quality factor", gf_formatQualityFactors(qualityFactors));
    gf_logLine("{:24}: {}", "RT traffic week", week);
    gf_setQualityText(gf_formatQualityFactors(qualityFactors));

    gf_setParkFileLoaded(true);
    gf_enableControl(g_flushStaticButton.controlId(), true);
    g_apfChanged.store(false);
    g_referenceElevation.set(elevation, !airport.icao.empty());
    return stands.empty() ? "no stands found" : "";
  } catch (const qor::UserErrorException&) {
    throw;
  } catch (const std::exception& e) {
    return fmt::format("{}: {}", "gf_readApf", e.what());
  }
}
