#include "support/airport_builders.h"

#include <sstream>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "support/workdir.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

void lf_setIf(pugi::xml_node node, const char* name, const std::optional<std::string>& value) {
  if (value) node.append_attribute(name).set_value(value->c_str());
}

fs::path lf_save(const pugi::xml_document& document, const std::string& fileName) {
  std::ostringstream text;
  document.save(text, "  ");
  const fs::path path = fs::path("input") / fileName;
  writeFile(path, text.str());
  return path;
}

}  // namespace

AirportEntry AirportEntry::at(std::string code, double latitude, double longitude, double altitude,
                              std::optional<std::string> iata) {
  return AirportEntry{std::move(code), fmt::format("{}", latitude), fmt::format("{}", longitude),
                      fmt::format("{}", altitude), std::move(iata)};
}

fs::path writeAirportList(const std::vector<AirportEntry>& airports, const std::string& fileName) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("airports");
  for (const AirportEntry& entry : airports) {
    pugi::xml_node element = root.append_child("airport");
    lf_setIf(element, "code", entry.code);
    lf_setIf(element, "lat", entry.lat);
    lf_setIf(element, "lon", entry.lon);
    lf_setIf(element, "alt", entry.alt);
    lf_setIf(element, "iata", entry.iata);
  }
  return lf_save(document, fileName);
}

fs::path writeAirportNames(const std::vector<AirportNameEntry>& names, const std::string& rootName) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child(rootName.c_str());
  for (const AirportNameEntry& entry : names) {
    pugi::xml_node element = root.append_child("airport");
    lf_setIf(element, "ICAO", entry.icao);
    lf_setIf(element, "name", entry.name);
  }
  return lf_save(document, "airports_msfs_names.xml");
}

}  // namespace testsupport
