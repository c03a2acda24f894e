// Finding, fetching and reading a park airport: alias files, the learned
// file's path and merge, quality factors, fake traffic, the nearest stand at
// a destination, and the whole read with its errors.
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

namespace {

// Monday 2026-12-07 14:10 UTC: weekday 1, half hour 28.
constexpr std::int64_t kMonday1410 = 1796652600;
// Metres as degrees of latitude.
double north(double metres) { return metres / 1852.0 / 60.0; }

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

StandOption opt(std::uint32_t id, std::uint32_t day, std::uint64_t hours, std::uint32_t real = 1) {
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
bool learnAndSave() {
  g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
  g_parkStands[0].options.push_back(opt(1, 2, 1));
  g_learnedUpdates.store(1);
  const bool saved = lf_saveStandFile(std::move(g_parkStands));
  g_parkApfPath.clear();
  return saved;
}

Stand standWith(std::vector<StandOption> options, double radiusMetres = 20.0) {
  return Stand("1", std::move(options), StandPosition{51.0, -0.4, 0.0}, radiusMetres, 1, 1, 1);
}

}  // namespace

// ---------------------------------------------------------------- finding park files

TEST_F(ParkReadTest, AliasFilesComeFirstAndAreCutAfterXml) {
  writeFile("airports/my_thirdparty/EGLL.txt", "airports/my_thirdparty/EGLL_v2.xml   # newer stands\r\nignored\n");
  writeFile("airports/my_thirdparty/EGLL.xml", "<x/>");
  writeFile("airports/my_simaddon/EGLL.txt", "airports/my_simaddon/other.xml\n");
  writeFile("airports/my_simaddon/EGLL.xml", "<x/>");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_thirdparty/EGLL_v2.xml");

  // An alias without ".xml" is passed over; so is one that leaves the
  // airports folder.
  struct Case {
    std::string alias;
    std::string found;
  };
  const Case cases[] = {
      {"no file named here\n", "airports/my_thirdparty/EGLL.xml"},
      {"../../etc/passwd.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"/etc/x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"\\etc\\x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"C:\\Windows\\x.xml\n", "airports/my_thirdparty/EGLL.xml"},
      {"archive/thirdparty/Pub/EGLL.xml\n", "archive/thirdparty/Pub/EGLL.xml"},
  };
  for (const Case& c : cases) {
    writeFile("airports/my_thirdparty/EGLL.txt", c.alias);
    EXPECT_EQ(gf_findApfFile("EGLL"), c.found) << c.alias;
  }
  EXPECT_TRUE(logContains("lies outside the airports folder"));

  fs::remove("airports/my_thirdparty/EGLL.txt");
  fs::remove("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_simaddon/other.xml");
  fs::remove("airports/my_simaddon/EGLL.txt");
  EXPECT_EQ(gf_findApfFile("EGLL"), "airports/my_simaddon/EGLL.xml");

  // Existence alone makes a file available, even an alias that names nothing.
  writeFile("airports/my_simaddon/EGKK.txt", "nothing");
  EXPECT_TRUE(gf_ensureStockApf("EGKK"));
  EXPECT_FALSE(gf_ensureStockApf("LFPG"));  // and the server refuses
  EXPECT_EQ(gf_findApfFile("../EGLL"), "");
}

TEST_F(ParkReadTest, StockFilesComeFromTheServerOncePerRunAndMissesForAMinute) {
  fs::create_directories("server/MSFS/archive/stock");
  parkFile().write("server/MSFS/archive/stock/EGLL.xml");
  testsupport::HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());
  g_isMsfs2020 = false;  // stock files come from "MSFS/" in either mode
  EXPECT_TRUE(gf_ensureStockApf("EGLL"));
  EXPECT_EQ(gf_findApfFile("EGLL"), "archive/stock/EGLL.xml");
  g_isMsfs2020 = true;

  // A miss is remembered for a minute, then the server is asked again.
  EXPECT_FALSE(gf_ensureStockApf("EGKK"));
  parkFile().write("server/MSFS/archive/stock/EGKK.xml");
  gf_advanceSteadyClock(30);
  EXPECT_FALSE(gf_ensureStockApf("EGKK"));
  gf_advanceSteadyClock(30);
  EXPECT_TRUE(gf_ensureStockApf("EGKK"));

  testsupport::RawSocketServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  gf_setDownloadServer(missing.baseUrl());
  EXPECT_FALSE(gf_ensureStockApf("LFPG"));
  EXPECT_EQ(gf_findApfFile("LFPG"), "");
  EXPECT_EQ(missing.acceptedCount(), 1);

  // A thread that must not wait is told "not there yet" while the download runs.
  testsupport::RawSocketServer silent;
  gf_setDownloadServer(silent.baseUrl());
  DownloadLimits limits = gf_downloadLimits();
  limits.lowSpeedTime = std::chrono::seconds(2);
  gf_setDownloadLimits(limits);
  testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", 50.0 + north(1500.0), 8.0),
                                 testsupport::AirportEntry::at("EDDG", 50.0 + north(1000.0), 8.0)},
                                "airports_msfs.xml");
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  parkFile().parkpos(ParkposEntry::at("1", 50.0 + north(900.0), 8.0)).write("airports/my_thirdparty/EDDG.xml");
  bool undecided = false;
  {
    ServerFetchWithoutWaiting noWait;
    EXPECT_FALSE(gf_ensureStockApf("EDDF"));
    EXPECT_TRUE(gf_apfFetchPending("EDDF"));
    // The choice between two close airports waits for the neighbour's file.
    EXPECT_EQ(gf_findClosestAirport(LatLon{50.0, 8.0}, &undecided)->icao, "EDDG");
    EXPECT_TRUE(undecided);
  }
  EXPECT_EQ(gf_findClosestAirport(LatLon{50.0, 8.0}, &undecided)->icao, "EDDG");  // the download ended
  EXPECT_FALSE(undecided);
  gf_resetAirportsForTests();
  gf_forgetServerFiles();
  gf_setDownloadLimits(DownloadLimits{});
}

TEST_F(ParkReadTest, LearnedPathsFollowTheParkFilesLocation) {
  struct Case {
    std::string apf;
    std::string publisher;
    fs::path learned;
  };
  const fs::path learned = fs::path("airports") / "learned";
  const Case cases[] = {
      {"archive/stock/EGLL.xml", "", learned / "stock" / "EGLL.xml"},
      {"archive/thirdparty/Sim%20Studio/EGLL.xml", "", learned / "thirdparty" / "Sim Studio" / "EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "Orbx", learned / "thirdparty" / "Orbx" / "EGLL.xml"},
      {"airports/my_thirdparty2024/EGLL.xml", "Orbx", learned / "thirdparty" / "Orbx" / "EGLL.xml"},
      {"airports/my_simaddon/EGLL.xml", "simaddon", learned / "simaddon" / "EGLL.xml"},
      {"airports/my_thirdparty/EGLL.xml", "", learned / "thirdparty" / "EGLL.xml"},
      {"C:/elsewhere/EGLL.xml", "", "C:/elsewhere/EGLL.xml"},
      {"", "", ""},
      {"airports/my_thirdparty/EGLL.xml", "../..", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(lf_learnedPathFor(c.apf, c.publisher), c.learned) << c.apf;
}

// ---------------------------------------------------------------- quality factors

TEST_F(ParkReadTest, QualityFactorsAreTheMeanStandScore) {
  const std::uint64_t fourHalfHours = 0b1111;
  struct Case {
    std::vector<Stand> stands;
    std::pair<std::int32_t, std::int32_t> factors;
  };
  std::vector<Case> cases;
  cases.push_back({{}, {-1, -1}});
  cases.push_back({{standWith({})}, {-1, -1}});
  cases.push_back({{standWith({opt(0, 3, fourHalfHours)})}, {0, 0}});
  cases.push_back({{standWith({opt(1, 3, fourHalfHours)})}, {63, 0}});           // 10128 x 0.00625
  cases.push_back({{standWith({opt(1, 3, fourHalfHours)}), standWith({})}, {32, 0}});
  // Weekdays 0 and 8 count as options and half hours, not as days: one more
  // day would give 64 (10000 + 20 + 48 or 10000 + 20 + 100 + 48).
  const std::uint64_t twentyFour = (std::uint64_t{1} << 24) - 1;
  cases.push_back({{standWith({opt(1, 0, twentyFour)})}, {63, 0}});
  cases.push_back({{standWith({opt(1, 8, twentyFour, 0)})}, {0, 63}});
  cases.push_back({{standWith({opt(1, 7, twentyFour, 0)})}, {0, 64}});
  // The count adds 20 per option up to 4000: 199 options give 10000 + 3980,
  // 200 and 300 give 14000 (300 would give 16000, 100, without the cap).
  for (const auto& [count, factor] : {std::pair{199, 87}, std::pair{200, 88}, std::pair{300, 88}}) {
    std::vector<StandOption> many;
    for (int i = 1; i <= count; ++i) many.push_back(opt(static_cast<std::uint32_t>(i), 0, 0));
    cases.push_back({{standWith(std::move(many))}, {factor, 0}});
  }
  for (const Case& c : cases) EXPECT_EQ(gf_computeQualityFactors(c.stands), c.factors) << c.stands.size();
}

// ---------------------------------------------------------------- fake traffic

TEST_F(ParkReadTest, FakeTrafficSuitsTheStandAndTheRegion) {
  testsupport::DbaseBuilder().type("B738", 35.8).type("EC35", 10.2).type("C172", 11.0).type("KLMX", 1.0)
      .type("B77W", 64.8).type("A320", 35.8).type("B739", 35.8).write();
  gf_resetDbaseForTests();
  gf_readDbase();
  gf_setFixedClock(kMonday1410);
  prm::RANDOM.set(false);

  const auto stand = [](double radiusMetres, bool heli = false, std::vector<StandOption> options = {}) {
    return Stand("S", std::move(options), StandPosition{1.0, 1.0, 0.0}, radiusMetres, 1, 1, heli ? 0 : 1);
  };
  std::vector<Stand> stands{stand(100.0, true), stand(19.0), stand(5.0), stand(20.0, false, {opt(7, 2, 1)})};
  lf_makeFakeTraffic("EGLL", stands);
  ASSERT_EQ(stands[0].options.size(), 1u);
  EXPECT_EQ(stands[0].options[0].type, "EC35");  // a helipad, whatever its size
  EXPECT_EQ(stands[0].options[0].callsign, "FAKE1");
  EXPECT_EQ(stands[0].options[0].day, 1u);
  EXPECT_EQ(stands[0].options[0].hours, std::uint64_t{1} << 28);
  EXPECT_EQ(stands[0].options[0].origin, 1u);
  EXPECT_EQ(stands[0].options[0].real, 0u);
  ASSERT_EQ(stands[1].options.size(), 1u);
  EXPECT_EQ(stands[1].options[0].airline + " " + stands[1].options[0].type, "SAS A320");  // first fitting of row 5
  EXPECT_EQ(stands[1].options[0].registration, "REGFAKE2");
  EXPECT_TRUE(stands[2].options.empty());  // too small for every airliner: no number used
  ASSERT_EQ(stands[3].options.size(), 2u);
  EXPECT_EQ(stands[3].options[1].id, 8u);
  EXPECT_EQ(stands[3].options[1].callsign, "FAKE3");

  std::vector<Stand> other{stand(5.0)};
  lf_makeFakeTraffic("LFPG", other);  // no size test outside the listed regions
  ASSERT_EQ(other[0].options.size(), 1u);
  EXPECT_EQ(other[0].options[0].airline + " " + other[0].options[0].type, "ZZZ B738");
  gf_resetDbaseForTests();
}

// ---------------------------------------------------------------- nearest stand at a destination

TEST_F(ParkReadTest, NearestStandOfADestinationsParkFile) {
  const LatLon user{51.0, -0.4};
  std::string name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGLL", user, name), kNoStandDistanceNm);
  EXPECT_EQ(name, "kept");

  parkFile()
      .parkpos(ParkposEntry::at("far", 51.0 + north(0.3 * 1852.0), -0.4))
      .parkpos(ParkposEntry::at("A1", 51.0 + north(0.1 * 1852.0), -0.4))
      .parkpos(ParkposEntry::at("A2", 51.0 - north(0.1 * 1852.0), -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLL", user, name), 0.1, 1e-4);
  EXPECT_EQ(name, "A1");  // the first of two at the same distance

  // A stand exactly 100 nm away is not taken; no position is 0/0.
  parkFile().parkpos(ParkposEntry::idOnly("zero")).write("airports/my_thirdparty/EGKK.xml");
  name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGKK", LatLon{0.0, 100.0 / 60.0}, name), kNoStandDistanceNm);
  EXPECT_EQ(name, "kept");
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGKK", LatLon{0.0, 1.0 / 60.0}, name), 1.0, 1e-6);
  EXPECT_EQ(name, "zero");

  // From the server: fetched into "airport.xml" and removed again; a file
  // that is not XML stays; a failed download is logged with its address.
  fs::create_directories("server/MSFS/archive/stock");
  parkFile().parkpos(ParkposEntry::at("B7", 51.0, -0.4)).write("server/MSFS/archive/stock/EGLC.xml");
  writeFile("server/MSFS/archive/stock/EGSS.xml", "<meta><info");
  testsupport::HttpFileServer server("server");
  gf_setDownloadServer(server.baseUrl());
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLC", user, name), 0.0, 1e-9);
  EXPECT_EQ(name, "B7");
  EXPECT_FALSE(fs::exists("airport.xml"));
  EXPECT_EQ(gf_readDestApfForClosestStand("EGSS", user, name), kNoStandDistanceNm);
  EXPECT_TRUE(fs::exists("airport.xml"));
  EXPECT_EQ(lf_resolveApfPath("archive/thirdparty/X/LFPG.xml", "t.xml"),
            fmt::format("failed to download: '{}MSFS/archive/thirdparty/X/LFPG.xml'", server.baseUrl()));
  EXPECT_TRUE(logHasLine(fmt::format("failed to download: '{}MSFS/archive/thirdparty/X/LFPG.xml'", server.baseUrl())));
}

TEST_F(ParkReadTest, ANeighboursStandElevenMetresAwayWinsTheNearestAirport) {
  const LatLon user{51.0, -0.4};
  testsupport::writeAirportList({testsupport::AirportEntry::at("EGLL", 51.0 + north(1000.0), -0.4),
                                 testsupport::AirportEntry::at("EGKA", 51.0 + north(1500.0), -0.4)},
                                "airports_msfs.xml");
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  parkFile().parkpos(ParkposEntry::at("101", 51.0 + north(300.0), -0.4)).write("airports/my_thirdparty/EGLL.xml");
  parkFile().parkpos(ParkposEntry::at("7", 51.0 + north(11.0), -0.4)).write("airports/my_thirdparty/EGKA.xml");
  const AirportRec* found = gf_findClosestAirport(user);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->icao, "EGKA");
  EXPECT_TRUE(logHasLine("Airport EGLL is closest, but stand 7 at neighbouring airport EGKA is closer at 11 meters ..."));
  gf_resetAirportsForTests();
}

// ---------------------------------------------------------------- learned files

TEST_F(ParkReadTest, LearnedOptionsStandsRadiiAndCargoMerge) {
  // The park file's publisher names the learned file's folder.
  parkFile("Heathrow", 83, "Pub")
      .parkpos(ParkposEntry::at("1", 51.0, -0.4)
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "10,11", "BAW1"))
                   .opt(ParkOptEntry::of("G-ABCE", "BAW", "A320", "1", "10", "BAW2")))
      .parkpos(ParkposEntry::at("2", 51.001, -0.4))
      .write("airports/my_thirdparty/EGLL.xml");
  ParkFileBuilder learned = parkFile();
  learned
      .parkpos(ParkposEntry::idOnly("1")
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "11,12", "OTHER"))  // overlaps: dropped
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "30", "BAW1"))     // disjoint: added, id 3
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "1", "30,31", "BAW1"))  // equal to the one before
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "2", "30", "BAW1", true))   // id 4
                   .opt(ParkOptEntry::of("G-ABCD", "BAW", "A320", "", "30", "BAW1").drop("day")))  // day 0, id 5
      .parkpos(ParkposEntry::idOnly("2").set("radius_change", "true").set("radius", "100.0").set("cargo_change", "1")
                   .set("cargo", "true"))
      .parkpos(ParkposEntry::at("M1", 51.002, -0.4).set("manual", "true"))
      .parkpos(ParkposEntry::at("M1", 51.003, -0.4).set("manual", "true"))            // same id twice
      .parkpos(ParkposEntry::at("1", 51.004, -0.4).set("manual", "true"))             // a park-file id
      .parkpos(ParkposEntry::at("M2", 0.00005, -0.00005).set("manual", "true"))       // no position
      .parkpos(ParkposEntry::at("M4", 51.005, -0.4, 0.0, 0.0).set("manual", "true"))  // no radius
      .parkpos(ParkposEntry::at("M3", 0.0002, 0.0).set("manual", "true"))
      .parkpos(ParkposEntry::idOnly("gone"));
  learned.write("airports/learned/thirdparty/Pub/EGLL.xml");

  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  ASSERT_EQ(g_parkStands.size(), 4u);
  const Stand& one = g_parkStands[0];
  ASSERT_EQ(one.options.size(), 5u);
  EXPECT_EQ(one.options[4].day, 0u);
  EXPECT_EQ(one.options[2].id, 3u);
  EXPECT_EQ(one.options[2].origin, 0u);
  EXPECT_EQ(one.options[3].id, 4u);
  EXPECT_EQ(one.options[3].real, 0u);
  EXPECT_DOUBLE_EQ(g_parkStands[1].radius, 100.0 * kMetresToNm);
  EXPECT_EQ(g_parkStands[1].cargo, 1);
  EXPECT_EQ(g_parkStands[1].cargoChange, 1);
  EXPECT_EQ(g_parkStands[2].name, "M1");
  EXPECT_EQ(g_parkStands[2].manual, 1);
  EXPECT_EQ(g_parkStands[3].name, "M3");
  EXPECT_TRUE(logContains("manually created standid M1 already exists in"));
  EXPECT_TRUE(logContains("manually created standid 1 already exists in"));
  EXPECT_TRUE(logContains("manually created standid M2 misses correct attributes in"));
  EXPECT_TRUE(logContains("manually created standid M4 misses correct attributes in"));
  EXPECT_TRUE(logContains("learned stand gone in airports/learned/thirdparty/Pub/EGLL.xml not found?"));
  EXPECT_FALSE(g_apfHandmade);
}

TEST_F(ParkReadTest, AHandmadeFileReplacesTheStandsWhateverItsValue) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  for (const std::string value : {"true", "false"}) {
    parkFile().param("handmade", value).parkpos(ParkposEntry::at("H1", 51.0, -0.4))
        .parkpos(ParkposEntry::at("H2", 51.001, -0.4)).write("airports/learned/thirdparty/simaddon/EGLL.xml");
    g_parkStands.clear();
    EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "") << value;
    ASSERT_EQ(g_parkStands.size(), 2u);
    EXPECT_EQ(g_parkStands[0].name, "H1");
    EXPECT_TRUE(g_apfHandmade);
  }
  EXPECT_TRUE(logHasLine("A handmade airport file overruled the archived file!"));

  // A stand twice in a handmade file: only the repeat is skipped, and what
  // was learned is saved into a handmade file again, the repeat written back
  // as it was.
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  parkFile().param("handmade", "1").parkpos(ParkposEntry::at("H1", 51.0, -0.4))
      .parkpos(ParkposEntry::at("H2", 51.001, -0.4)).parkpos(ParkposEntry::at("H1", 51.002, -0.4))
      .parkpos(ParkposEntry::at("H3", 51.003, -0.4)).write(learnedPath);
  g_parkStands.clear();
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  std::vector<std::string> names;
  for (const Stand& s : g_parkStands) names.push_back(s.name);
  EXPECT_THAT(names, ElementsAre("H1", "H2", "H3"));
  EXPECT_TRUE(g_apfHandmade);
  EXPECT_TRUE(logHasLine("===> Parking position H1 appears more than once? (skipped)"));

  ASSERT_TRUE(learnAndSave());
  const pugi::xml_document saved = testsupport::loadApf(learnedPath);
  EXPECT_EQ(gf_getParamString(saved, "handmade"), "true");
  names.clear();
  for (const pugi::xml_node p : saved.child("parkpositions").children("parkpos")) names.push_back(p.attribute("id").value());
  EXPECT_THAT(names, ElementsAre("H1", "H2", "H3", "H1"));
}

TEST_F(ParkReadTest, AParkFileWithoutPublisherLearnsInTheThirdpartyFolder) {
  ParkFileBuilder park;
  park.param("airport_name", "Heathrow").param("altitude", "83").parkpos(ParkposEntry::at("1", 51.0, -0.4));
  park.write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/EGLL.xml";
  parkFile().param("parking_percentage", "55").write(learnedPath);
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  EXPECT_EQ(prm::parking_percentage.value(), 55);

  g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
  g_parkStands[0].options.push_back(opt(1, 2, 1));
  g_learnedUpdates.store(1);
  EXPECT_TRUE(lf_saveStandFile(std::move(g_parkStands)));
  g_parkApfPath.clear();
  EXPECT_THAT(testsupport::readFile(learnedPath), HasSubstr("<parkpos id=\"1\">"));
}

TEST_F(ParkReadTest, LearnedSettingsMapToTheirChoices) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const auto readWith = [&](std::vector<std::pair<std::string, std::string>> params) {
    ParkFileBuilder learned = parkFile();
    for (auto& [name, value] : params) learned.param(name, value);
    learned.write(learnedPath);
    g_parkStands.clear();
    read("airports/my_thirdparty/EGLL.xml");
  };
  const std::pair<int, int> maxLive[] = {{-1, 500}, {10, 10}, {24, 10}, {25, 25}, {60, 50}, {99, 75}, {100, 100}, {300, 100}};
  for (const auto& [value, setting] : maxLive) {
    readWith({{"MAX_LIVE", std::to_string(value)}});
    EXPECT_EQ(prm::MAX_LIVE_SEL.value(), setting) << value;
  }
  readWith({});
  EXPECT_EQ(prm::MAX_LIVE_SEL.value(), -1);
  EXPECT_EQ(prm::parking_percentage.value(), 30);

  readWith({{"LATERAL_RANGE", "37"}, {"MAX_FIT", "60"}, {"parking_percentage", "150"}});
  EXPECT_EQ(prm::RANGE.value(), 35);
  EXPECT_EQ(g_rangeMeters.load(), 35 * 1852);
  EXPECT_EQ(prm::MAX_FIT.value(), 47);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 24.0);
  EXPECT_EQ(prm::parking_percentage.value(), 150);  // as the file has it
  readWith({{"LATERAL_RANGE", "38"}, {"MAX_FIT", "3"}, {"WEEK", "yes"}, {"PARK_SOFT", "false"}});
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_DOUBLE_EQ(prm::MAX_FIT_FL.value(), 2.0);
  EXPECT_TRUE(prm::WEEK.value());
  EXPECT_FALSE(prm::PARK_SOFT.value());

  // A learned file that does not load changes nothing and is kept aside,
  // never over an earlier copy.
  writeFile(learnedPath, "<meta><info name=");
  writeFile("airports/learned/thirdparty/simaddon/EGLL0.xml", "earlier");
  readWith({});
  writeFile(learnedPath, "<meta><info name=");
  g_parkStands.clear();
  read("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(prm::RANGE.value(), 40);
  EXPECT_EQ(testsupport::readFile("airports/learned/thirdparty/simaddon/EGLL0.xml"), "earlier");
  EXPECT_EQ(testsupport::readFile("airports/learned/thirdparty/simaddon/EGLL0_2.xml"), "<meta><info name=");
  EXPECT_TRUE(logContains("EGLL.xml found, but could not be loaded, saved as *.0.xml"));
  EXPECT_FALSE(logContains("===> airports/learned/thirdparty/simaddon/EGLL.xml found"));  // not an error line
}

TEST_F(ParkReadTest, LearnedEntriesTheGuardsRefuseStayOutOfTheAirportAndAreWrittenBack) {
  parkFile().parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  struct Case {
    const char* name;
    bool handmade;
    ParkposEntry entry;
    const char* attribute;  // written back with the value it had
    const char* value;
  } cases[] = {
      {"a manual stand of radius 1200", false, ParkposEntry::at("M1", 51.001, -0.4, 0, 1200).set("manual", "true"),
       "radius", "1200.0"},
      {"a manual stand outside the world", false, ParkposEntry::at("M2", 91.0, -0.4).set("manual", "true"), "latitude",
       "91.000000"},
      {"a manual stand without radius", false, ParkposEntry::at("M3", 51.0, -0.4, 0, 0).set("manual", "true"), "radius",
       "0.0"},
      {"a negative radius in a handmade file", true, ParkposEntry::at("H1", 51.0, -0.4, 0, -5), "radius", "-5.0"},
      {"a placeholder in a handmade file", true, ParkposEntry::at("H2", 0, 0), "latitude", "0.000000"},
      {"a radius change to 1500", false, ParkposEntry::idOnly("1").set("radius_change", "true").set("radius", "1500"),
       "radius", "1500"},
      {"a negative radius change", false, ParkposEntry::idOnly("1").set("radius_change", "true").set("radius", "-3"),
       "radius", "-3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = c.entry.attributes.front().second;
    ParkFileBuilder learned = parkFile();
    if (c.handmade) learned.param("handmade", "true").parkpos(ParkposEntry::at("HOK", 51.0, -0.4));
    learned.parkpos(c.entry).write(learnedPath);
    g_parkStands.clear();
    g_apfHandmade = false;
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    // Out of every distance and size: not a stand, nor a radius.
    ASSERT_EQ(g_parkStands.size(), 1u);
    EXPECT_EQ(g_parkStands[0].name, c.handmade ? "HOK" : "1");
    EXPECT_DOUBLE_EQ(gf_nmToMetres(g_parkStands[0].radius), 20.0);

    ASSERT_TRUE(learnAndSave());
    const pugi::xml_document saved = testsupport::loadApf(learnedPath);
    const pugi::xml_node back = saved.child("parkpositions").find_child_by_attribute("parkpos", "id", id.c_str());
    EXPECT_EQ(std::string(back.attribute(c.attribute).value()), c.value);
    if (id == "1") {
      EXPECT_EQ(std::string(back.attribute("radius_change").value()), "true");
    }
  }
}

TEST_F(ParkReadTest, ALearnedFileThatCannotBeReadNorKeptAsideIsNotSavedOver) {
  parkFile("Heathrow", 83, "Pub").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
  const fs::path learnedPath = "airports/learned/thirdparty/Pub/EGLL.xml";
  for (const bool unreadable : {true, false}) {
    SCOPED_TRACE(unreadable ? "without read permission" : "a link to a device");
    fs::remove_all(learnedPath.parent_path());
    if (unreadable) {
      parkFile().parkpos(ParkposEntry::idOnly("1").opt(ParkOptEntry::of("G-OLDD", "BAW", "A320", "1", "30", "BAW1")))
          .write(learnedPath);
      testsupport::Unreadable locked({learnedPath});
      if (!locked.holds()) GTEST_SKIP() << "this system reads files without permissions";
      EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    } else {
      fs::create_directories(learnedPath.parent_path());
      fs::create_symlink("/dev/zero", learnedPath);
      EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    }
    const std::string before = unreadable ? testsupport::readFile(learnedPath) : "";
    g_parkApfPath = "airports/my_thirdparty/EGLL.xml";
    g_learnedUpdates.store(1);
    lf_saveStandFile(std::move(g_parkStands));
    g_parkApfPath.clear();
    if (unreadable)
      EXPECT_EQ(testsupport::readFile(learnedPath), before);
    else
      EXPECT_TRUE(fs::is_symlink(learnedPath));
    EXPECT_TRUE(logContains("the learned file 'airports/learned/thirdparty/Pub/EGLL.xml' of EGLL is left as it is, "
                            "nothing saved: it was not read whole: "));
  }
}

// ---------------------------------------------------------------- reading the park airport

TEST_F(ParkReadTest, ReadErrorsLeaveTheAirportAsItWas) {
  parkFile().dropMetaInfo("date").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/A.xml");
  writeFile("airports/my_thirdparty/B.xml", "<meta><info");
  ParkFileBuilder noAltitude;
  noAltitude.param("airport_name", "x").parkpos(ParkposEntry::at("1", 51.0, -0.4)).write("airports/my_thirdparty/C.xml");
  parkFile().parkpos(ParkposEntry::idOnly("7")).parkpos(ParkposEntry::at("7", 51.0, -0.4))
      .write("airports/my_thirdparty/D.xml");

  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {"", "gf_readApf: xml is empty"},
      {"airports/my_thirdparty/A.xml", "airports/my_thirdparty/A.xml: refused to load (copyright)"},
      {"airports/my_thirdparty/B.xml", "airports/my_thirdparty/B.xml: could not load file: airports/my_thirdparty/B.xml: "
                                       "Error parsing start element tag at offset 10"},
      {"archive/stock/NONE.xml", "failed to download: 'http://127.0.0.1:1/MSFS/archive/stock/NONE.xml'"},
  };
  g_parkApf.airportName = "before";
  for (const Case& c : cases) {
    EXPECT_EQ(read(c.path), c.error);
    EXPECT_TRUE(g_parkStands.empty());
  }
  for (const auto& [file, code] : {std::pair{"C", 65}, std::pair{"D", 94}}) {
    try {
      read(fmt::format("airports/my_thirdparty/{}.xml", file));
      ADD_FAILURE() << file;
    } catch (const qor::UserErrorException& e) {
      EXPECT_EQ(e.code(), code);
    }
    EXPECT_TRUE(g_parkStands.empty());
    EXPECT_EQ(g_parkApf.airportName, "before");
  }
  g_parkApf.icao.clear();
  EXPECT_EQ(read("airports/my_thirdparty/A.xml"), "gf_readApf: no park airport set");
}

TEST_F(ParkReadTest, StandsGetIdsAndTheirOverlappingNeighbours) {
  const double thirtyMetres = north(30.0);
  parkFile("Heathrow", 83)
      .param("Qf_real", "71")
      .parkpos(ParkposEntry::at("A", 51.0, -0.4, 0.0, 20.0))
      .parkpos(ParkposEntry::at("B", 51.0 + thirtyMetres, -0.4, 0.0, 20.0))
      .parkpos(ParkposEntry::at("C", 51.1, -0.4, 0.0, 16.0))
      .parkpos(ParkposEntry::at("D", 51.1 + thirtyMetres, -0.4, 0.0, 16.0))
      .write("airports/my_thirdparty/EGLL.xml");
  prm::parking_percentage.set(70);
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  ASSERT_EQ(g_parkStands.size(), 4u);
  EXPECT_EQ(g_parkStands[3].id, 4u);
  EXPECT_THAT(g_parkStands[0].adjacent, ElementsAre(2u));
  EXPECT_THAT(g_parkStands[1].adjacent, ElementsAre(1u));
  EXPECT_TRUE(g_parkStands[2].adjacent.empty());
  // Without a learned file: the file's factors, and 30 % parking.
  EXPECT_EQ(m_factors, (std::pair<std::int32_t, std::int32_t>{71, -1}));
  EXPECT_EQ(prm::parking_percentage.value(), 30);
  EXPECT_EQ(g_parkApf.airportName, "Heathrow");
  EXPECT_EQ(g_parkApf.altitude, 83);
  EXPECT_EQ(g_referenceElevation.get().feet, 83.0);
  EXPECT_TRUE(g_referenceElevation.get().valid);
  EXPECT_TRUE(logHasLine(fmt::format("{:24}: {}", "num_parkpos", 4)));

  parkFile().write("airports/my_thirdparty/EMTY.xml");
  g_parkStands.clear();
  EXPECT_EQ(read("airports/my_thirdparty/EMTY.xml"), "no stands found");
}

TEST_F(ParkReadTest, AdjacencyIsThatOfEveryPairWhereverTheStandsAre) {
  // Every pair compared: what the adjacency must give.
  const auto everyPair = [](std::vector<Stand> stands) {
    std::vector<std::vector<std::uint32_t>> lists;
    for (const Stand& a : stands) {
      std::vector<std::uint32_t>& list = lists.emplace_back();
      for (const Stand& b : stands) {
        const double d = gf_distanceNm(LatLon{a.latitude, a.longitude}, LatLon{b.latitude, b.longitude});
        if (a.id != b.id && d * 1.1 < a.radius + b.radius) list.push_back(b.id);
      }
    }
    return lists;
  };
  struct Layout {
    const char* name;
    double latitude;
    double longitude;
    double spacingMetres;
    int count;
  } layouts[] = {
      {"one spot", 50.0, 8.5, 0.0, 150},          {"apron rows", 50.0, 8.5, 25.0, 400},
      {"near the pole", 89.9995, 0.0, 15.0, 200}, {"across the date line", -17.0, 179.9995, 20.0, 200},
      {"sparse", 10.0, 10.0, 400.0, 100},
  };
  std::mt19937 rng(3);
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    std::vector<Stand> stands;
    for (int i = 0; i < layout.count; ++i) {
      const double north = (i / 20) * layout.spacingMetres / 1852.0 / 60.0;
      const double east = (i % 20) * layout.spacingMetres / 1852.0 / 60.0 / std::cos(layout.latitude * kDegToRad);
      // Mostly small stands, now and then a very large one.
      const double radius = i % 37 == 5 ? 900.0 : 5.0 + static_cast<double>(rng() % 400) / 10.0;
      const double longitude = std::remainder(layout.longitude + east, 360.0);
      stands.emplace_back(fmt::format("S{}", i), std::vector<StandOption>{},
                          StandPosition{layout.latitude + north, longitude, 0.0}, radius, 1, 1, 1);
      stands.back().id = static_cast<std::uint32_t>(i + 1);
    }
    const auto expected = everyPair(stands);
    ASSERT_TRUE(lf_linkAdjacentStands(stands));
    for (std::size_t i = 0; i < stands.size(); ++i) ASSERT_EQ(stands[i].adjacent, expected[i]) << stands[i].name;
  }

  // A close ends it early.
  std::vector<Stand> two{standWith({}), standWith({})};
  two[1].id = 2;
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(lf_linkAdjacentStands(two, &stop));
}

TEST_F(ParkReadTest, AParkFileKeepsAtMostItsStandLimitAndACloseAbandonsTheRead) {
  ParkFileBuilder builder = parkFile();
  const std::size_t count = kApfMaxStands + 2;
  for (std::size_t i = 0; i < count; ++i) {
    builder.parkpos(ParkposEntry::at(fmt::format("P{}", i), 50.0 + static_cast<double>(i / 100) * 0.01,
                                     8.0 + static_cast<double>(i % 100) * 0.01));
  }
  builder.write("airports/my_thirdparty/EGLL.xml");
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
  EXPECT_EQ(g_parkStands.size(), kApfMaxStands);
  EXPECT_EQ(g_parkStands.back().name, fmt::format("P{}", kApfMaxStands - 1));
  EXPECT_TRUE(logContains(fmt::format("more than {} stands, stand P{} and the stands after it are ignored",
                                      kApfMaxStands, kApfMaxStands)));

  g_parkStands.clear();
  g_stopRun = true;
  EXPECT_EQ(read("airports/my_thirdparty/EGLL.xml"), "gf_readApf: abandoned for the close");
  g_stopRun = false;
  EXPECT_TRUE(g_parkStands.empty());
}

TEST_F(ParkReadTest, AReadLogsTheFirstSkippedStandsAndStopsPastTheSkipLimit) {
  const auto outside = [](std::size_t i) { return ParkposEntry::at(fmt::format("X{}", i), 999, 1); };
  const auto badHours = [](std::size_t i) {
    return ParkposEntry::at(fmt::format("X{}", i), 51.0 + i * 0.001, 1).opt(ParkOptEntry::of("R", "AAA", "A320", "1", "99"));
  };
  const auto lacking = [](std::size_t) { return ParkposEntry::idOnly("zz"); };
  const std::size_t past = kApfMaxSkippedStands + 1;
  struct Case {
    const char* name;
    bool learned;  // the entries are in the learned file, else in the park file
    std::size_t count;
    std::function<ParkposEntry(std::size_t)> entry;
    const char* line;
    std::size_t skipped;  // lines about skipped entries, shown or counted
  } cases[] = {
      {"park stands outside the world", false, 300, outside, "skipped, invalid latitude", 300},
      {"invalid hours", false, 300, badHours, "invalid hour '99'", 300},
      {"learned stands the park file lacks", true, 300, lacking, "learned stand zz in", 300},
      {"more park stands skipped than the limit", false, past, outside, "skipped, invalid latitude", past},
      {"more learned stands lacking than the limit", true, past, lacking, "learned stand zz in", past - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParkFileBuilder park = parkFile();
    park.parkpos(ParkposEntry::at("1", 51.0, -0.4));
    ParkFileBuilder learned = parkFile();
    for (std::size_t i = 0; i < c.count; ++i) (c.learned ? learned : park).parkpos(c.entry(i));
    park.parkpos(ParkposEntry::at("LATE", 50.0, -0.4)).write("airports/my_thirdparty/EGLL.xml");
    learned.write("airports/learned/thirdparty/simaddon/EGLL.xml");
    testsupport::openTestLog();
    g_parkStands.clear();
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    std::size_t shown = 0;
    for (const std::string& line : testsupport::logLines()) shown += line.find(c.line) != std::string::npos;
    EXPECT_EQ(shown, kApfSkipLinesShown);
    EXPECT_TRUE(logContains(fmt::format("{} more lines about skipped stands and values are not shown",
                                        c.skipped - kApfSkipLinesShown)));
    // Past the limit the rest of the file is not read, and a learned file
    // read in part is left as it is.
    const bool whole = c.count < past;
    EXPECT_EQ(g_parkStands.back().name == "LATE", whole || c.learned);
    EXPECT_EQ(g_parkApf.keepLearnedFile.empty(), whole || !c.learned);
  }
}

TEST_F(ParkReadTest, ALearnedFileIsLeftAsItIsOnlyWhenItHoldsMoreThanWasRead) {
  const auto manyStands = [](ParkFileBuilder builder, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      builder.parkpos(ParkposEntry::at(fmt::format("P{}", i), 50.0 + static_cast<double>(i / 100) * 0.01,
                                       8.0 + static_cast<double>(i % 100) * 0.01));
    }
    return builder;
  };
  const std::string last = fmt::format("P{}", kApfMaxStands);
  const ParkOptEntry learnedOpt = ParkOptEntry::of("D-AIAA", "DLH", "A320", "1", "20");
  const std::string lacksMeta = "it lacks one of the meta entries author, date and version, and was not read";
  struct Case {
    const char* name;
    ParkFileBuilder park;
    std::optional<ParkFileBuilder> learned;
    std::string kept;  // why the file is left as it is; "" when it is saved
    bool aside = false;  // the file is copied aside before it is saved over
  } cases[] = {
      {"options of a stand beyond the park file's limit", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().parkpos(ParkposEntry::idOnly(last).opt(learnedOpt)), gf_standLimitReason()},
      {"a handmade file beyond the limit", manyStands(parkFile(), 1),
       manyStands(parkFile().param("handmade", "true"), kApfMaxStands + 1), gf_standLimitReason()},
      {"a manual stand beyond the limit", manyStands(parkFile(), kApfMaxStands),
       parkFile().parkpos(ParkposEntry::at("M1", 51.0, -0.4).set("manual", "true")), gf_standLimitReason()},
      {"a handmade file without its version entry", manyStands(parkFile(), 1),
       parkFile().param("handmade", "true").dropMetaInfo("version").parkpos(ParkposEntry::at("H1", 51.0, -0.4)),
       lacksMeta},
      {"an ordinary file without its date entry", manyStands(parkFile(), 1),
       parkFile().dropMetaInfo("date").parkpos(ParkposEntry::idOnly("P0").opt(learnedOpt)), "", true},
      {"a handmade file within the limit replaces a cut park file", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().param("handmade", "true").parkpos(ParkposEntry::at("H1", 51.0, -0.4)), ""},
      {"a cut park file without a learned file", manyStands(parkFile(), kApfMaxStands + 1), std::nullopt, ""},
      {"a cut park file whose learned file was merged whole", manyStands(parkFile(), kApfMaxStands + 1),
       parkFile().parkpos(ParkposEntry::idOnly("P1").opt(learnedOpt)), ""},
      {"a placeholder past the park file's limit", manyStands(parkFile(), kApfMaxStands).parkpos(ParkposEntry::at("Z", 0, 0)),
       parkFile().parkpos(ParkposEntry::idOnly("gone").opt(learnedOpt)), ""},
      {"a repeat past a handmade file's limit", manyStands(parkFile(), 1),
       manyStands(parkFile().param("handmade", "true"), kApfMaxStands).parkpos(ParkposEntry::at("P0", 51.0, -0.4)), ""},
  };
  const fs::path learnedPath = "airports/learned/thirdparty/simaddon/EGLL.xml";
  const fs::path asidePath = "airports/learned/thirdparty/simaddon/EGLL0.xml";
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.park.write("airports/my_thirdparty/EGLL.xml");
    fs::remove(learnedPath);
    if (c.learned) c.learned->write(learnedPath);
    const std::string before = c.learned ? testsupport::readFile(learnedPath) : "";
    g_parkStands.clear();
    g_apfHandmade = false;
    ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
    EXPECT_EQ(fs::exists(asidePath), c.aside);
    if (c.aside) {
      EXPECT_EQ(testsupport::readFile(asidePath), before);
      // A second read before any save keeps no second copy.
      g_parkStands.clear();
      ASSERT_EQ(read("airports/my_thirdparty/EGLL.xml"), "");
      EXPECT_FALSE(fs::exists("airports/learned/thirdparty/simaddon/EGLL0_2.xml"));
    }
    fs::remove(asidePath);

    gf_clearStatus();
    // A skipped save is no success, and says so on the status line.
    EXPECT_EQ(learnAndSave(), c.kept.empty());
    EXPECT_EQ(g_learnedUpdates.load(), 0u);
    EXPECT_EQ(testsupport::readFile(learnedPath) == before, !c.kept.empty());
    const std::string skipped =
        fmt::format("the learned file '{}' of EGLL is left as it is, nothing saved: {}", learnedPath.string(), c.kept);
    EXPECT_EQ(logContains(skipped), !c.kept.empty());
    EXPECT_EQ(gf_statusSnapshot().status.find(skipped) != std::string::npos, !c.kept.empty());
    testsupport::openTestLog();
  }
}
