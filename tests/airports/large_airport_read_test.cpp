// The whole read of a large generated park airport (the benchmark's, in a
// smaller size) gives exactly what it gave when this digest was recorded:
// stands, options in order, ids, adjacency, quality factors, the log lines of
// the read and the learned file saved from it, byte for byte. A faster or
// leaner reader must not change any of it.
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_save.h"
#include "app/clock.h"
#include "app/files.h"
#include "app/hash.h"
#include "app/settings.h"
#include "app/version.h"
#include "support/dbase_builder.h"
#include "support/log_reader.h"
#include "support/workdir.h"
#include "tools/park_airport_generator.h"
#include "traffic/aircraft.h"

namespace {

// Monday 7 December 2026, 10:10 UTC.
constexpr std::int64_t kMonday1010 = 1796638200;

// The digest of everything the read gave when the reader was last changed
// on purpose (an fnv-1a of the text that readResults writes).
constexpr std::uint64_t kExpectedDigest = 0xeba22ccbe04af086ULL;

std::string readResults() {
  const std::string path = (g_myThirdpartyFolder / gf_apfXmlPath("EDDF")).generic_string();
  ParkAirport airport;
  airport.icao = "EDDF";
  std::pair<std::int32_t, std::int32_t> factors{0, 0};
  std::vector<Stand> stands;
  std::string text = gf_readApf(path, airport, factors, stands) + "\n";
  text += fmt::format("{}|{}|{}|{}|{}\n", airport.airportName, airport.publisher, airport.altitude, factors.first,
                      factors.second);
  for (const Stand& s : stands) {
    text += fmt::format("{}|{}|{:.9f}|{:.9f}|{:.9f}|{:.12f}|{}{}{}{}{}{}|{}\n", s.id, s.name, s.latitude, s.longitude,
                        s.heading, s.radius, s.manual, s.radiusChange, s.cargoChange, s.cargo, s.ramp, s.heli,
                        fmt::join(s.adjacent, ","));
    for (const StandOption& o : s.options) {
      text += fmt::format(" {}|{}|{}|{}|{}|{}|{:x}|{}|{}|{}\n", o.id, o.airline, o.type, o.registration, o.callsign,
                          o.callsign2, o.hours, o.day, o.origin, o.real);
    }
  }
  for (const std::string& line : testsupport::logLines()) text += line + "\n";

  // Saved back as what was learned there.
  g_parkApf = airport;
  g_parkApfPath = path;
  g_learnedUpdates.store(1);
  lf_saveStandFile(std::move(stands));
  std::string saved = testsupport::readFile(lf_learnedPathFor(path, airport.publisher));
  const std::string version = gf_programVersion().text();
  for (std::size_t at = saved.find(version); at != std::string::npos; at = saved.find(version, at))
    saved.replace(at, version.size(), "<version>");
  g_parkApf = ParkAirport{};
  g_parkApfPath.clear();
  return text + saved;
}

}  // namespace

TEST(LargeAirportReadTest, TheReadOfTheGeneratedAirportGivesWhatItAlwaysGave) {
  gf_initFolders();
  gf_resetParametersToDefaults();
  gf_setFixedClock(kMonday1010);
  // Some of the generated registrations are in the database: their airline
  // and type come from there, and the learned file names them alone.
  testsupport::DbaseBuilder database;
  for (int n = 0; n < 400; n += 7) database.reg(fmt::format("D-D{:04}", n), "DLX", "A20N", n % 2 == 0 ? "CLH" : "");
  database.write();
  gf_resetDbaseForTests();
  gf_readDbase();
  gf_generateParkAirport("EDDF", ParkAirportShape{60, 150, 11});
  testsupport::openTestLog();

  const std::string results = readResults();
  testsupport::writeFile("read_results.txt", results);  // to compare by hand when the digest differs
  const auto digest = gf_fnv1a64(reinterpret_cast<const unsigned char*>(results.data()), results.size());
  EXPECT_EQ(fmt::format("{:#x}", digest), fmt::format("{:#x}", kExpectedDigest));

  gf_resetDbaseForTests();
  gf_setFixedClock(std::nullopt);
  gf_resetParametersToDefaults();
}
