#include "airports/park_read.h"

#include <exception>
#include <filesystem>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/fake_traffic.h"
#include "airports/learned_file.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/quality.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/geo.h"
#include "app/log.h"
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

void lf_linkAdjacentStands(std::vector<Stand>& stands) {
  for (Stand& a : stands) {
    a.adjacent.clear();
    for (const Stand& b : stands) {
      if (a.id == b.id) continue;
      const double distance = gf_distanceNm(LatLon{a.latitude, a.longitude}, LatLon{b.latitude, b.longitude});
      if (distance * 1.1 < a.radius + b.radius) a.adjacent.push_back(b.id);
    }
    a.adjacent.shrink_to_fit();
  }
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
    pugi::xml_document document;
    std::string loadError;
    if (!gf_loadApfDocument(file, document, loadError)) {
      return fmt::format("{}: could not load file: {}", path, file.generic_string());
    }
    if (!gf_readMetaInfo(document, prm::author) || !gf_readMetaInfo(document, prm::date) ||
        !gf_readMetaInfo(document, prm::version)) {
      return fmt::format("{}: refused to load (copyright)", path);
    }

    // Everything is read into copies first: the airport and its stands change
    // only when the whole file was read.
    ParkAirport read = airport;
    const std::int32_t week = gf_getParamInt(document, "RT_traffic_week");
    read.publisher = gf_getParamString(document, "publisher");
    bool altitudeFound = false;
    const std::string altitudeText = gf_getParamString(document, "altitude", altitudeFound);
    if (!altitudeFound) throw qor::UserErrorException(65, "Parameter altitude not found");
    read.altitude = gf_textToInt32(altitudeText);
    double elevation = read.altitude;  // kept when the text is not a plain number
    gf_parseDouble(altitudeText, elevation);
    read.airportName = gf_getParamString(document, "airport_name");
    std::vector<Stand> list = gf_readApfStands(document);

    std::pair<std::int32_t, std::int32_t> factors = gf_readApfQualityFactors(document);

    const fs::path learnedPath = lf_learnedPathFor(path, read.publisher);
    if (learnedPath.empty() || !gf_apfEntryExists(learnedPath)) {
      prm::parking_percentage.set(30);
      gf_enableControl(prm::parking_percentage.controlId(), false);
      gf_setTbIntText(prm::parking_percentage);
      gf_logLine("{:24}: {}", prm::parking_percentage.name(), 30);
    } else {
      lf_readLearned(learnedPath, read, list, g_apfHandmade);
      factors = gf_computeQualityFactors(list);
      if (g_apfHandmade.load()) gf_logLine("A handmade airport file overruled the archived file!");
      if (prm::PARK_FAKE.value()) lf_makeFakeTraffic(fs::path(path).stem().string(), list);
    }

    stands = std::move(list);
    airport = std::move(read);
    qualityFactors = factors;
    g_rtTrafficWeek.store(week);
    g_parkElevation.store(elevation);

    gf_setStandCount(static_cast<std::int64_t>(stands.size()));
    std::uint32_t id = 0;
    for (Stand& stand : stands) stand.id = ++id;
    lf_linkAdjacentStands(stands);

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
