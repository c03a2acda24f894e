#include "tools/scenery_generator.h"

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/bgl_builder.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string icaoOf(std::size_t n) {
  std::string code = "K";
  for (int i = 0; i < 3; ++i) {
    code += static_cast<char>('A' + n % 26);
    n /= 26;
  }
  return code;
}

// A log-uniform size between lo and hi bytes.
std::size_t logUniform(std::mt19937& rng, double lo, double hi) {
  std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
  return static_cast<std::size_t>(std::exp(u(rng)));
}

// The publishers of the packages: known by an alias in the package name,
// known only by the manifest, or unknown.
const std::vector<std::string> kKnown = {"Orbx", "FlyTampa", "iniBuilds", "Aerosoft", "Taxi2Gate"};

}  // namespace

SceneryTotals gf_generateSceneryTree(const fs::path& root, const SceneryShape& shape) {
  std::mt19937 rng(shape.seed);
  SceneryTotals totals;
  std::string db = "<dbase>\n  <publishers>\n";
  for (const std::string& p : kKnown) db += fmt::format("    <group><alias name=\"{}\"/></group>\n", p);
  db += "  </publishers>\n  <simaddons20>\n";
  std::string list = "<airports>\n";
  for (std::size_t a = 0; a < shape.airports; ++a) {
    const std::string icao = icaoOf(a);
    list += fmt::format("  <airport code=\"{}\" lat=\"{}\" lon=\"{}\" alt=\"100\"/>\n", icao, 30.0 + a * 0.01, -90.0 + a * 0.01);
    if (a % 4 == 0) db += fmt::format("    <airport icao=\"{}\"/>\n", icao);
  }
  db += "  </simaddons20>\n  <thirdparties20>\n";
  for (std::size_t p = 0; p < kKnown.size(); ++p) {
    std::string items;
    for (std::size_t a = p; a < shape.airports; a += 7) items += fmt::format("{}{}{}", items.empty() ? "" : " ", icaoOf(a), 150);
    db += fmt::format("    <publisher name=\"{}\" items=\"{}\"/>\n", kKnown[p], items);
  }
  db += "  </thirdparties20>\n</dbase>\n";
  writeText(root / "input" / "dbase.xml", db);
  writeText(root / "input" / "airports_msfs.xml", list + "</airports>\n");

  // Packages of 20 to 400 files; every hundredth file (on average) an airport.
  const std::size_t perAirport = std::max<std::size_t>(1, shape.files / std::max<std::size_t>(1, shape.airports));
  std::size_t package = 0;
  std::size_t left = 0;
  fs::path folder;
  for (std::size_t f = 0; f < shape.files; ++f) {
    if (left == 0) {
      ++package;
      left = std::uniform_int_distribution<std::size_t>(20, 400)(rng);
      const int kind = static_cast<int>(package % 5);
      const std::string name = kind == 0   ? fmt::format("microsoft-airport-pack{}", package)
                               : kind == 1 ? fmt::format("{}-scenery-{}", kKnown[package % kKnown.size()], package)
                               : kind == 2 ? fmt::format("studio{}-scenery", package)
                                           : fmt::format("user-scenery-{}", package);
      folder = (kind == 0 ? root / "sim" / "Official" / "OneStore" : root / "sim" / "Community") / name;
      if (kind == 2)
        writeText(folder / "manifest.json",
                  fmt::format(R"({{"title": "Scenery {}", "manufacturer": "{}", "creator": "Studio {}"}})", package,
                              kKnown[package % kKnown.size()], package));
    }
    --left;
    const fs::path file = folder / "scenery" / fmt::format("part{:03}", f % 37) / fmt::format("obj{}.bgl", f);
    BglBuilder bgl;
    if (f % perAirport == perAirport / 2 && totals.airports < shape.airports) {
      BglAirportSpec airport{.icao = icaoOf(totals.airports)};
      const std::size_t stands = std::uniform_int_distribution<std::size_t>(100, 500)(rng);
      for (std::size_t s = 0; s < stands; ++s)
        airport.parking.push_back(BglParking{.nameCode = static_cast<std::uint32_t>(s % 11),
                                             .number = static_cast<std::uint32_t>(s % 300 + 1),
                                             .type = static_cast<std::uint32_t>(s % 9 + 1),
                                             .radius = 10.0f + static_cast<float>(s % 40),
                                             .heading = static_cast<float>(s % 360),
                                             .latitude = 30.0 + totals.airports * 0.01 + s * 1e-5,
                                             .longitude = -90.0 + totals.airports * 0.01,
                                             .airlineCount = static_cast<std::uint32_t>(s % 3)});
      airport.helipadsBefore = {BglHelipad{.latitude = 30.0 + totals.airports * 0.01 - 0.001,
                                           .longitude = -90.0 + totals.airports * 0.01}};
      bgl.otherSection(0x65, logUniform(rng, 20e3, 1e6)).airportSection({airport}).otherSection(0x2e, logUniform(rng, 5e3, 2e5));
      ++totals.airports;
      totals.stands += stands + 1;
    } else {
      bgl.otherSection(0x65, logUniform(rng, 1e3, 256e3));
    }
    const std::string bytes = bgl.bytes();
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    totals.bytes += bytes.size();
    ++totals.files;
  }
  return totals;
}
