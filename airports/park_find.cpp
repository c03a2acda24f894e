#include "airports/park_find.h"

std::string gf_apfFileName(std::string_view icao) { return std::string(icao) + ".xml"; }

std::filesystem::path gf_apfXmlPath(std::string_view icao) { return std::filesystem::path(gf_apfFileName(icao)); }

std::filesystem::path gf_apfTxtPath(std::string_view icao) {
  return std::filesystem::path(std::string(icao) + ".txt");
}
