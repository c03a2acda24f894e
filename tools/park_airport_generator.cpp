#include "tools/park_airport_generator.h"

#include <array>
#include <filesystem>
#include <random>
#include <vector>

#include <fmt/format.h>

#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/stands.h"
#include "app/files.h"

namespace {

constexpr double kLatitude = 50.03;
constexpr double kLongitude = 8.57;
constexpr double kRadiusMetres = 30.0;  // with 50 m spacing, grid neighbours overlap
constexpr std::size_t kColumns = 25;
constexpr std::array<const char*, 8> kAirlines{"DLH", "BAW", "AFR", "KLM", "UAE", "SWR", "AUA", "EZY"};
constexpr std::array<const char*, 6> kTypes{"A320", "A321", "B738", "A333", "B77W", "E190"};

}  // namespace

std::size_t gf_generateParkAirport(const std::string& icao, const ParkAirportShape& shape) {
  std::mt19937 rng(shape.seed);
  ParkAirport airport;
  airport.icao = icao;
  airport.airportName = "Generated " + icao;
  airport.publisher = "BenchPublisher";
  airport.altitude = 364;
  std::size_t options = 0;
  for (std::size_t i = 0; i < shape.stands; ++i) {
    const double north = static_cast<double>(i / kColumns) * shape.spacingMetres / 111120.0;
    const double east = static_cast<double>(i % kColumns) * shape.spacingMetres / 71500.0;
    // Rows A to Z, then plain numbers.
    const std::string name = i < 26 * kColumns ? fmt::format("{}{}", static_cast<char>('A' + i / kColumns), i % kColumns)
                                               : fmt::format("S{}", i);
    Stand& stand = airport.stands.emplace_back(name,
                                               std::vector<StandOption>{},
                                               StandPosition{kLatitude + north, kLongitude + east, 0.0},
                                               kRadiusMetres, 1, 1, 1);
    stand.id = static_cast<std::uint32_t>(i + 1);
    // A stand serves one airline; its aircraft rotate through a fleet.
    const char* airline = kAirlines[i % kAirlines.size()];
    for (std::size_t k = 0; k < shape.optionsPerStand; ++k) {
      StandOption option;
      option.airline = airline;
      option.type = kTypes[(i + k / 50) % kTypes.size()];
      option.registration = fmt::format("D-{}{:04}", airline[0], rng() % 400);
      option.callsign = fmt::format("{}{}", airline, 100 + rng() % 900);
      if (rng() % 2 == 0) option.callsign2 = fmt::format("{}{}", airline, 100 + rng() % 900);
      const std::uint32_t start = rng() % 46;
      const std::uint32_t length = 1 + rng() % 6;
      for (std::uint32_t h = start; h < start + length && h < 48; ++h) option.hours |= std::uint64_t{1} << h;
      option.day = 1 + static_cast<std::uint32_t>(rng() % 7);
      option.real = rng() % 10 == 0 ? 0 : 1;
      option.id = static_cast<std::uint32_t>(k + 1);
      stand.options.push_back(std::move(option));
      ++options;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(g_myThirdpartyFolder, ec);
  std::filesystem::create_directories(g_inputFolder, ec);
  const std::string apfPath = (g_myThirdpartyFolder / gf_apfXmlPath(icao)).generic_string();
  gf_writeApf(airport, apfPath, ApfMode::generated);
  if (shape.learnedFile) {
    const std::filesystem::path learned = lf_learnedPathFor(apfPath, airport.publisher);
    std::filesystem::create_directories(learned.parent_path(), ec);
    gf_writeApf(airport, learned, ApfMode::learned);
  }
  gf_writeTextFile(g_inputFolder / "airports_msfs.xml",
                   fmt::format("<airports>\n<airport code=\"{}\" lat=\"{}\" lon=\"{}\" alt=\"364\" />\n</airports>",
                               icao, kLatitude, kLongitude),
                   true);
  return options;
}
