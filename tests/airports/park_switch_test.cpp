// The park airport's loading and unloading: the park file read off the main
// loop and taken in by the per-pass work, the calculation that follows, the
// reserved stand, the soft learning of large airports, and the save at
// unloading.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_file.h"
#include "airports/park_read.h"
#include "airports/park_switch.h"
#include "airports/static_selection.h"
#include "app/clock.h"
#include "app/files.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "support/airport_builders.h"
#include "support/log_reader.h"
#include "support/park_file_builder.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

using testsupport::logContains;
using testsupport::ParkFileBuilder;
using testsupport::ParkOptEntry;
using testsupport::ParkposEntry;
using testsupport::readFile;

namespace {

// Monday 7 December 2026, 10:10 UTC: weekday 1, half hour 20.
constexpr std::int64_t kMonday1010 = 1796638200;
constexpr double kLat = 50.03;
constexpr double kLon = 8.57;

// n stands 100 m apart going north, each with one option of the park file
// for Monday 10:00 (every other one with "Qf_real" set by the caller).
void writeParkFile(int stands, int qfReal = -1, const std::string& icao = "EDDF") {
  ParkFileBuilder file;
  file.airport("Frankfurt", "Fraport", 364);
  if (qfReal >= 0) file.param("Qf_real", std::to_string(qfReal));
  for (int i = 0; i < stands; ++i) {
    file.parkpos(ParkposEntry::at(fmt::format("A{}", i + 1), kLat + i * 100.0 / 111120.0, kLon)
                     .opt(ParkOptEntry::of(fmt::format("D-AB{:02}", i), "DLH", "A320", "1", "20",
                                           fmt::format("DLH{}", i))));
  }
  file.write(g_myThirdpartyFolder / (icao + ".xml"));
}

class ParkSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_initFolders();
    gf_resetAirportsForTests();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    gf_resetDisplayState();
    gf_resetSimLinkForTests();
    prm::RANDOM.set(false);
    testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA")});
    gf_readAirports("airports_msfs.xml");
    g_parkAirports.clear();
    g_staticCandidates.clear();
    gf_setFixedClock(kMonday1010);
  }
  void TearDown() override {
    lf_clearParkAirport();
    gf_waitForParkFileRead();
    g_parkAirports.clear();
    g_learnedUpdates.store(0);
    gf_resetSimLinkForTests();
    gf_resetAirportsForTests();
    gf_resetParametersToDefaults();
  }

  // Loads EDDF as the step does and works passes until the read and the
  // calculation are done.
  static void load() {
    ASSERT_TRUE(lf_setParkAirport("EDDF"));
    lf_readParkedFile();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
      gf_staticParkingWork();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while ((lf_parkFileReadPending() || lf_searchRunning()) && std::chrono::steady_clock::now() < end);
  }
};

TEST_F(ParkSwitchTest, ReadsOffTheLoopCalculatesRemembersTheUserStandAndSavesAtUnloading) {
  writeParkFile(10);
  // The user aircraft stands on A3.
  g_userAircraft.set(UserAircraftData{kLat + 200.0 / 111120.0, kLon});
  g_userOnGround.set(OnGroundReading{true, true});
  load();
  ASSERT_EQ(g_parkStands.size(), 10u);
  EXPECT_EQ(g_parkApf.airportName, "Frankfurt");
  EXPECT_EQ(readFile(gf_myParkAirportsPath()), "EDDF,A3\n");
  EXPECT_EQ(g_reservedStand, "A3");
  // 30 % of 10 stands, never the reserved stand.
  ASSERT_EQ(g_staticCandidates.size(), 3u);
  for (const StaticCandidate& c : g_staticCandidates) EXPECT_NE(c.standId, 3u);
  EXPECT_TRUE(gf_staticParkingBusy());

  // Something learned: saved into the learned file at unloading, then all is forgotten.
  StandOption learned = g_parkStands[0].options[0];
  learned.origin = 0;
  learned.registration = "D-LRND";
  g_parkStands[0].options.push_back(learned);
  g_learnedUpdates.store(1);
  lf_clearParkAirport();  // saves on a thread of its own
  EXPECT_TRUE(g_parkAirport.icao.empty());
  EXPECT_TRUE(g_parkStands.empty());
  EXPECT_TRUE(g_staticCandidates.empty());
  EXPECT_FALSE(gf_parkFileLoaded());
  gf_waitForParkFileRead();
  EXPECT_EQ(g_learnedUpdates.load(), 0u);
  const std::string saved = readFile("airports/learned/thirdparty/Fraport/EDDF.xml");
  EXPECT_NE(saved.find("D-LRND"), std::string::npos);
  EXPECT_EQ(saved.find("D-AB00"), std::string::npos);  // the park file's own option is not copied

  // Read again: the learned option is back.
  load();
  ASSERT_EQ(g_parkStands.size(), 10u);
  EXPECT_EQ(g_parkStands[0].options.size(), 2u);
}

TEST_F(ParkSwitchTest, AFailedReadUnloadsTheAirport) {
  load();  // no file anywhere (the server is not reachable in tests)
  EXPECT_TRUE(logContains("lf_readParkedFile EDDF not found"));
  EXPECT_TRUE(g_parkAirport.icao.empty());
  EXPECT_FALSE(gf_parkFileLoaded());
}

TEST_F(ParkSwitchTest, GoodRealLearningAtALargeAirportSwitchesSoftLearningOff) {
  struct Row {
    int qfReal;
    int stands;
    bool learnSoftAfter;
  } rows[] = {{45, 20, false}, {44, 20, true}, {45, 19, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(fmt::format("Qf_real {} with {} stands", row.qfReal, row.stands));
    prm::LEARN_SOFT.set(true);
    writeParkFile(row.stands, row.qfReal);
    load();
    EXPECT_EQ(prm::LEARN_SOFT.value(), row.learnSoftAfter);
    EXPECT_EQ(g_apfChanged.load(), !row.learnSoftAfter);  // the change is saved with the airport
    g_apfChanged.store(false);
    lf_clearParkAirport();
  }
}

TEST_F(ParkSwitchTest, ADroppedReadIsNeverTakenIn) {
  writeParkFile(10);
  ASSERT_TRUE(lf_setParkAirport("EDDF"));
  lf_readParkedFile();
  lf_clearParkAirport();  // left before the read finished
  gf_waitForParkFileRead();
  gf_staticParkingWork();
  EXPECT_TRUE(g_parkStands.empty());
  EXPECT_TRUE(g_parkAirport.icao.empty());
}

}  // namespace
