#include "airports/airport_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "airports/closest_stand.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "app/xml.h"

std::vector<AirportRec> g_airports;
std::atomic<bool> g_airportsRead{false};
AirportNameTable g_airportNames;
AirportRec g_parkAirport;

namespace {

constexpr const char* kAirportNamesFileName = "airports_msfs_names.xml";
constexpr int kAirportListErrorCode = 88;

bool lf_isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool lf_isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

[[noreturn]] void lf_throwInvalidNumber() { throw std::invalid_argument("invalid stod argument"); }

// Reallocates the list to exactly its length (frees it when empty).
void lf_shrinkAirports() {
  if (g_airports.capacity() == g_airports.size()) return;
  std::vector<AirportRec> exact;
  if (!g_airports.empty()) {
    exact.reserve(g_airports.size());
    std::move(g_airports.begin(), g_airports.end(), std::back_inserter(exact));
  }
  g_airports.swap(exact);
}

}  // namespace

double gf_stod(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && lf_isCSpace(*p)) ++p;

  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = (*p == '-');
    ++p;
  }
  // std::from_chars takes a '-' of its own; after a sign that would be a second one.
  if (p == end || *p == '+' || *p == '-') lf_throwInvalidNumber();

  std::chars_format format = std::chars_format::general;
  if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      (lf_isHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && lf_isHexDigit(p[3])))) {
    format = std::chars_format::hex;
    p += 2;
  }

  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(p, end, value, format);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) throw std::out_of_range("stod argument out of range");
  if (ec != std::errc{} || !std::isfinite(value)) lf_throwInvalidNumber();
  return negative ? -value : value;
}

void lf_readAirport(const pugi::xml_node& element, const std::string& code) {
  try {
    // An empty code would be a prefix of every text in gf_icaoFromText and
    // could never name a park file.
    if (code.empty()) {
      gf_logLine("Missing code for airport at offset {}, skipped", element.offset_debug());
      return;
    }
    const pugi::xml_attribute lat = element.attribute("lat");
    const pugi::xml_attribute lon = element.attribute("lon");
    const pugi::xml_attribute alt = element.attribute("alt");
    if (!lat || !lon || !alt) {
      gf_logLine("Missing lat/lon/alt for airport '{}'", code);
      return;
    }
    AirportRec record;
    try {
      record.altitude = gf_stod(alt.value());
      record.latitude = gf_stod(lat.value());
      record.longitude = gf_stod(lon.value());
    } catch (const std::logic_error& e) {
      gf_logLine("Error parsing coordinates for airport '{}': {}", code, e.what());
      return;
    }
    record.icao = code;
    record.iata = element.attribute("iata").value();
    g_airports.push_back(std::move(record));
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "lf_readAirport", e.what());
  }
}

bool gf_readAirports(const std::string& fileName) {
  if (g_airportsRead.load()) return !g_airports.empty();
  try {
    if (g_airports.capacity() < kAirportsReserved) g_airports.reserve(kAirportsReserved);

    const std::filesystem::path path = g_inputFolder / fileName;
    const std::string pathText = path.string();
    pugi::xml_document document;
    const FileReadResult loaded = gf_loadXmlFile(path, kAirportListMaxBytes, document);
    if (!loaded) throw std::runtime_error(pathText + " not loaded: " + loaded.detail);

    const pugi::xml_node root = document.child("airports");
    if (!root) throw std::runtime_error("Missing <airports> root in: " + pathText);

    for (const pugi::xml_node element : root.children("airport")) {
      lf_readAirport(element, element.attribute("code").value());
    }
    std::sort(g_airports.begin(), g_airports.end(),
              [](const AirportRec& a, const AirportRec& b) { return a.icao < b.icao; });
    gf_logLine("{} airports read from '{}'", g_airports.size(), pathText);

    lf_shrinkAirports();
    g_airportsRead.store(true);
    return !g_airports.empty();
  } catch (const std::exception& e) {
    // A later call starts from an empty list again.
    g_airports.clear();
    throw qor::UserErrorException(kAirportListErrorCode, e.what());
  }
}

void lf_readAirportNames() {
  try {
    g_airportNames.clear();
    const std::filesystem::path path = g_inputFolder / kAirportNamesFileName;
    const std::string pathText = path.string();
    pugi::xml_document document;
    if (const FileReadResult loaded = gf_loadXmlFile(path, kAirportListMaxBytes, document); !loaded) {
      gf_logError("Failed to load airport names from '{}'", pathText);
      gf_logIndented("{}", loaded.message);
      return;
    }
    const pugi::xml_node root = document.child("AirportNames");
    if (!root) {
      gf_logError("No AirportNames node found.");
    } else {
      for (const pugi::xml_node element : root.children("airport")) {
        const pugi::xml_attribute icao = element.attribute("ICAO");
        const pugi::xml_attribute name = element.attribute("name");
        if (icao && name) {
          g_airportNames.try_emplace(icao.value(), name.value());
        } else {
          gf_logLine("Skipped airport entry with missing ICAO or name");
        }
      }
    }
    gf_logLine("{} airport names read from '{}'", g_airportNames.size(), pathText);
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "lf_readAirportNames", e.what());
  }
}

std::string gf_airportDisplayName(const AirportRec& airport) {
  std::string text = airport.icao.empty() ? std::string("?") : airport.icao;
  if (!airport.iata.empty()) {
    text += " (";
    text += airport.iata;
    text += ')';
  }
  return text;
}

std::string gf_icaoFromText(std::string_view text) {
  const std::string head = gf_toUpper(text.substr(0, 4));
  for (const AirportRec& airport : g_airports) {
    if (!airport.icao.empty() && head.starts_with(airport.icao)) return airport.icao;
  }
  return {};
}

bool lf_containsDashToken(std::string_view text, std::string_view icao) {
  if (icao.empty()) return false;  // "--" says nothing about an airport
  std::string pattern;
  pattern.reserve(icao.size() + 2);
  pattern += '-';
  pattern += icao;
  pattern += '-';
  if (text.find(pattern) != std::string_view::npos) return true;
  return text.find(gf_toLower(pattern)) != std::string_view::npos;
}

const AirportRec* gf_findAirportByIcao(std::string_view icao) {
  const auto it = std::lower_bound(g_airports.begin(), g_airports.end(), icao,
                                   [](const AirportRec& a, std::string_view code) { return a.icao < code; });
  return it != g_airports.end() && it->icao == icao ? &*it : nullptr;
}

const AirportRec* gf_findClosestAirport(const LatLon& position, bool* undecided) {
  if (undecided != nullptr) *undecided = false;
  const AirportRec* best = nullptr;
  const AirportRec* neighbour = nullptr;
  double bestDistance = kNoStandDistanceNm;
  for (const AirportRec& airport : g_airports) {
    const double d = gf_distanceNm(position, LatLon{airport.latitude, airport.longitude});
    if (d <= kAirportCatchNm && d < bestDistance) {
      if (best != nullptr) neighbour = best;
      best = &airport;
      bestDistance = d;
    }
  }
  if (best == nullptr || neighbour == nullptr) return best;

  gf_logLine("Airport {} is closest, neighbour is {}", best->icao, neighbour->icao);
  std::string bestStand;
  std::string neighbourStand;
  const double bestStandNm = gf_readDestApfForClosestStand(best->icao, position, bestStand);
  const double neighbourStandNm =
      gf_readDestApfForClosestStand(neighbour->icao, position, neighbourStand);
  if (bestStandNm == kStandDistancePending || neighbourStandNm == kStandDistancePending) {
    if (undecided != nullptr) *undecided = true;
    return best;
  }
  // Only a strictly nearer stand takes the neighbour (a NaN never does).
  if (!(neighbourStandNm < bestStandNm)) return best;

  gf_logLine("Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} meters ...",
             best->icao, neighbourStand, neighbour->icao, neighbourStandNm * kNmToMetres);
  return neighbour;
}

void gf_resetAirportsForTests() {
  g_airports.clear();
  g_airports.shrink_to_fit();
  g_airportsRead.store(false);
  g_airportNames.clear();
  g_parkAirport = AirportRec{};
}
