// Builders of airport list and airport names files in the test's working folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// One "airport" element. Attributes that are std::nullopt are left out, so
// tests can write incomplete records; numbers are texts so they can be wrong.
struct AirportEntry {
  std::optional<std::string> code;
  std::optional<std::string> lat;
  std::optional<std::string> lon;
  std::optional<std::string> alt;
  std::optional<std::string> iata;

  // A complete record; numbers written in their shortest exact form, so they
  // read back as the very same doubles.
  static AirportEntry at(std::string code, double latitude, double longitude, double altitude = 0.0,
                         std::optional<std::string> iata = std::nullopt);
};

// Writes an "airports" document with these records to "input/<fileName>";
// returns the path written.
std::filesystem::path writeAirportList(const std::vector<AirportEntry>& airports,
                                       const std::string& fileName = "airports_msfs.xml");

// One "airport" element of the names file; nullopt leaves the attribute out.
struct AirportNameEntry {
  std::optional<std::string> icao;
  std::optional<std::string> name;
};

// Writes "input/airports_msfs_names.xml" with the root "AirportNames" (or the
// given root name); returns the path written.
std::filesystem::path writeAirportNames(const std::vector<AirportNameEntry>& names,
                                        const std::string& rootName = "AirportNames");

}  // namespace testsupport
