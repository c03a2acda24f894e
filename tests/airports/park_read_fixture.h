// The fixture of the park airport read tests: a fresh park airport EGLL,
// settings at their defaults, and helpers to learn and save.
#pragma once

#include <atomic>
#include <cmath>
#include <random>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/closest_stand.h"
#include "airports/fake_traffic.h"
#include "airports/learned_file.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_save.h"
#include "airports/quality.h"
#include "app/clock.h"
#include "app/download.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/geo.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/xml.h"
#include "feed/traffic_reader.h"
#include "support/airport_builders.h"
#include "support/dbase_builder.h"
#include "support/http_server.h"
#include "support/log_reader.h"
#include "support/unreadable.h"
#include "support/park_file_builder.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::logContains;
using testsupport::logHasLine;
using testsupport::ParkFileBuilder;
using testsupport::ParkOptEntry;
using testsupport::ParkposEntry;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace parkreadtest {

// Monday 2026-12-07 14:10 UTC: weekday 1, half hour 28.
inline constexpr std::int64_t kMonday1410 = 1796652600;
// Metres as degrees of latitude.
inline double north(double metres) { return metres / 1852.0 / 60.0; }

class ParkReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    gf_initFolders();
    g_parkStands.clear();
    g_parkApf = ParkAirport{};
    g_parkApf.icao = "EGLL";
    g_apfHandmade = false;
  }
  void TearDown() override {
    g_parkStands.clear();
    g_parkApf = ParkAirport{};
    g_closestStandFinder = gf_defaultClosestStandFinder();
    gf_resetParametersToDefaults();
  }

  // A park file with the usual meta block and parameters.
  static ParkFileBuilder parkFile(std::string name = "Heathrow", int altitude = 83, std::string publisher = "simaddon") {
    ParkFileBuilder builder;
    builder.airport(std::move(name), std::move(publisher), altitude);
    return builder;
  }

  std::string read(const std::string& path) {
    std::pair<std::int32_t, std::int32_t> factors{0, 0};
    m_error = gf_readApf(path, g_parkApf, factors, g_parkStands);
    m_factors = factors;
    return m_error;
  }

  std::string m_error;
  std::pair<std::int32_t, std::int32_t> m_factors{0, 0};
};

inline StandOption opt(std::uint32_t id, std::uint32_t day, std::uint64_t hours, std::uint32_t real = 1) {
  StandOption o;
  o.registration = "G-ABCD";
  o.airline = "BAW";
  o.type = "A320";
  o.id = id;
  o.day = day;
  o.hours = hours;
  o.real = real;
  return o;
}

// Learns one option on the first stand of the airport read from
// "airports/my_thirdparty/EGLL.xml" and saves it; the save's result.
inline bool learnAndSave() {
  g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
  g_parkStands[0].options.push_back(opt(1, 2, 1));
  g_learnedUpdates.store(1);
  const bool saved = lf_saveStandFile(std::move(g_parkStands));
  g_parkApfPath.clear();
  return saved;
}

inline Stand standWith(std::vector<StandOption> options, double radiusMetres = 20.0) {
  return Stand("1", std::move(options), StandPosition{51.0, -0.4, 0.0}, radiusMetres, 1, 1, 1);
}


}  // namespace parkreadtest
