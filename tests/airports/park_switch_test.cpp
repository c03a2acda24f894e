// The park airport's loading and unloading: the park file read off the main
// loop and taken in by the per-pass work, the calculation that follows, the
// reserved stand, the soft learning of large airports, and the save at
// unloading.
#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/learned_file.h"
#include "airports/park_airports.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_switch.h"
#include "airports/parking_controls.h"
#include "airports/static_selection.h"
#include "app/clock.h"
#include "app/download.h"
#include "app/files.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "support/airport_builders.h"
#include "support/http_server.h"
#include "support/log_reader.h"
#include "support/park_file_builder.h"
#include "support/sim_fixture.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"
#include "ui/commands.h"
#include "ui/display_state.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"

using testsupport::logContains;
using testsupport::ParkFileBuilder;
using testsupport::ParkOptEntry;
using testsupport::ParkposEntry;
using testsupport::readFile;
using testsupport::writeFile;

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

// Unloads, waits for the threads of the park airport and forgets it all.
void forgetParkAirports() {
  lf_clearParkAirport();
  gf_waitForParkFileRead();
  g_parkAirports.clear();
  g_learnedUpdates.store(0);
  gf_resetAirportsForTests();
  gf_resetParametersToDefaults();
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
    forgetParkAirports();
    gf_resetSimLinkForTests();
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

TEST_F(ParkSwitchTest, OnTheGroundTheChoiceBetweenCloseAirportsWaitsForANeighboursDownload) {
  // EDDF's park file lies here; that of its close neighbour EDDA comes from
  // a server that does not answer: its stock file, or a file its alias names.
  testsupport::writeAirportList({testsupport::AirportEntry::at("EDDA", kLat + 1000.0 / 111120.0, kLon),
                                 testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA")});
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  writeParkFile(1);
  testsupport::RawSocketServer silent;
  gf_setDownloadServer(silent.baseUrl());
  DownloadLimits limits = gf_downloadLimits();
  limits.lowSpeedTime = std::chrono::seconds(1);
  gf_setDownloadLimits(limits);
  g_userOnGround.set(OnGroundReading{true, true});
  const LatLon user{kLat + 400.0 / 111120.0, kLon};
  for (const std::string alias : {"", "archive/thirdparty/EDDA.xml"}) {
    SCOPED_TRACE(alias);
    if (!alias.empty()) writeFile(g_myThirdpartyFolder / "EDDA.txt", alias + "\n");
    {
      ServerFetchWithoutWaiting noWait;
      lf_userAircraftAirport(user, false);
      EXPECT_TRUE(g_parkAirport.icao.empty());
      EXPECT_FALSE(g_parkReloadRequest);
      EXPECT_TRUE(alias.empty() ? gf_apfFetchPending("EDDA") : gf_serverFilePending(alias));
    }
    // Once the download has ended (here without a file), the choice is made.
    lf_userAircraftAirport(user, false);
    EXPECT_EQ(g_parkAirport.icao, "EDDF");
    lf_clearParkAirport();
    g_parkReloadRequest = false;
    gf_forgetServerFiles();
  }
  gf_setDownloadLimits(DownloadLimits{});
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
  EXPECT_FALSE(gf_parkFileLoaded());  // the dropped read had set it

  // Left and chosen again while the first read still runs: only the second is taken in.
  ASSERT_TRUE(lf_setParkAirport("EDDF"));
  lf_readParkedFile();
  lf_clearParkAirport();
  load();
  EXPECT_EQ(g_parkStands.size(), 10u);
  EXPECT_TRUE(gf_parkFileLoaded());
}

TEST_F(ParkSwitchTest, ALearnedAutomaticRadiusIsMeasuredByTheRunThread) {
  writeParkFile(10);
  ParkFileBuilder().param("AUTO_RANGE", "true").write("airports/learned/thirdparty/Fraport/EDDF.xml");
  UserAircraftData user;  // airborne, 20.4 nm south of EDDF
  user.latitude = kLat - 20.4 / 60.0;
  user.longitude = kLon;
  user.altitudeAboveGround = 100.0;
  g_userAircraft.set(user);
  g_userOnGround.set(OnGroundReading{false, true});
  // While the file is read, the run thread keeps changing its park airports
  // list (a far airport heads it); the reader must not look at it.
  const ParkAirportEntry far{"FAR1", "", LatLon{kLat - 3.0, kLon}};
  g_parkAirports.push_back(far);
  ASSERT_TRUE(lf_setParkAirport("EDDF"));
  lf_readParkedFile();
  while (lf_parkFileReadPending()) {
    g_parkAirports.push_front(far);
    g_parkAirports.pop_front();
    gf_staticParkingWork();
  }
  ASSERT_TRUE(prm::AUTO_RANGE.value());
  // The next pass of the run thread measures to the list's first airport as it is then.
  g_parkAirports.assign({ParkAirportEntry{"EDDF", "", LatLon{kLat, kLon}}});
  gf_takeWindowRequests();
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_EQ(g_rangeMeters.load(), 25 * 1852);
}

// A learned file's AUTO_RANGE keeps the radius the user set as the manual
// one: only turning it on takes RANGE as that radius, and turning it off,
// here or later by the checkbox, gives it back. Only turning it off clears
// the status line: read with it left as it was, the warning that the file
// names another airport (it names none) stays there.
TEST_F(ParkSwitchTest, ALearnedAutomaticRadiusKeepsTheUsersRadius) {
  g_userAircraft.set(UserAircraftData{kLat, kLon});  // on the ground: the automatic radius is 10
  g_userOnGround.set(OnGroundReading{true, true});
  const struct {
    bool onBefore;
    const char* fileSays;
    std::int32_t rangeAfterRead;
    bool warningShown;
  } rows[] = {{true, "true", 10, true},
              {true, "false", 25, false},
              {false, "true", 10, true},
              {false, "false", 25, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(fmt::format("{} then {}", row.onBefore, row.fileSays));
    prm::RANGE.set(25);  // the user's radius, as the run read it
    g_manualRange = 40;  // the process's initial manual radius
    prm::AUTO_RANGE.set(row.onBefore);
    if (row.onBefore) gf_switchAutoRange(false, true, true);  // as the run's start does
    const std::filesystem::path learned = "airports/learned/thirdparty/Fraport/EDDF.xml";
    ParkFileBuilder().param("AUTO_RANGE", row.fileSays).write(learned);
    ParkAirport airport;
    airport.airportName = "Frankfurt";
    std::vector<Stand> stands;
    std::atomic<bool> handmade{false};
    lf_readLearned(learned, airport, stands, handmade);
    EXPECT_EQ(gf_statusSnapshot().status.starts_with("Warning: learned file airport name"), row.warningShown);
    gf_takeWindowRequests();
    EXPECT_EQ(prm::RANGE.value(), row.rangeAfterRead);
    gf_switchAutoRange(prm::AUTO_RANGE.value(), false, false);  // the checkbox turned off
    EXPECT_EQ(prm::RANGE.value(), 25);
    EXPECT_EQ(g_rangeNm.load(), 25.0);
  }
}

// The reserved stand: loading keeps the listed stand unless the user stands
// on another one; a stand the airport does not have is never shown as found;
// a stand changed through "Re-read" frees the old one and clears the new one.
TEST_F(ParkSwitchTest, TheReservedStandIsKeptFreedAndClearedAsTheListSays) {
  testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA"),
                                 testsupport::AirportEntry::at("EDFE", kLat - 0.2, kLon, 364.0)});
  gf_resetAirportsForTests();
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  writeParkFile(10);
  g_userAircraft.set(UserAircraftData{kLat, kLon + 0.01});  // at EDDF, on no stand
  g_userOnGround.set(OnGroundReading{true, true});
  const struct {
    const char* listed;
    const char* fileAfter;
    const char* reserved;
  } rows[] = {{"EDDF,A5\n", "EDDF,A5\n", "A5"},
              {"EDFE\nEDDF,A5\n", "EDDF,A5\nEDFE\n", "A5"},  // listed further down: moved first
              {"EDDF,Z9\n", "EDDF,Z9\n", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.listed);
    writeFile(gf_myParkAirportsPath(), row.listed);
    ASSERT_TRUE(lf_readMyParkAirports());
    load();
    EXPECT_EQ(readFile(gf_myParkAirportsPath()), row.fileAfter);
    EXPECT_EQ(g_reservedStand, row.reserved);
    EXPECT_EQ(gf_displaySnapshot().reservedStandFound, *row.reserved != 0);
    lf_clearParkAirport();
    gf_waitForParkFileRead();
  }

  writeFile(gf_myParkAirportsPath(), "EDDF,A3\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  load();
  g_staticCandidates.clear();
  lf_enableParkingControls();
  ParkedAircraft& onA5 = g_staticAircraft.emplace_back(
      AircraftIdentity(LiveAcData{"DLH", "A320", "", "", "DLH5*", "", "", ""}), 5u, StandPosition{}, 0);
  onA5.simState = SimState::active;
  onA5.objectId = 77;
  std::string text;
  writeFile(gf_myParkAirportsPath(), "EDDF,A5\n");
  ASSERT_TRUE(lf_checkParkAirports(true, text));
  EXPECT_EQ(text, "reserved stand changed from 'A3' to 'A5'");
  EXPECT_EQ(g_parkStands[2].excluded, 0);
  EXPECT_EQ(g_parkStands[4].excluded, 1);
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{77}));
  EXPECT_TRUE(gf_displaySnapshot().reservedStandFound);
  writeFile(gf_myParkAirportsPath(), "EDDF,Z9\n");
  ASSERT_TRUE(lf_checkParkAirports(true, text));
  EXPECT_EQ(g_parkStands[4].excluded, 0);
  EXPECT_FALSE(gf_displaySnapshot().reservedStandFound);
  g_removeRequests.clear();
  gf_clearTrafficLists();
}

TEST_F(ParkSwitchTest, TheStepsRulesForPositionsBusyStateAndTheListsOrder) {
  const auto at = [](double latitude, double longitude, bool onGround, double heightFeet) {
    UserAircraftData user;
    user.latitude = latitude;
    user.longitude = longitude;
    user.altitudeAboveGround = heightFeet;
    g_userAircraft.set(user);
    g_userOnGround.set(OnGroundReading{onGround, true});
  };

  // Only 0/0 is "no position yet"; the equator and the prime meridian are places.
  const struct {
    double latitude, longitude;
    bool used;
  } positions[] = {{0.0, kLon, true}, {kLat + 1.0, 0.0, true}, {0.0, 0.0, false}, {0.00005, -0.00005, false}};
  for (const auto& p : positions) {
    SCOPED_TRACE(fmt::format("{}/{}", p.latitude, p.longitude));
    gf_clearStatus();
    at(p.latitude, p.longitude, true, 0.0);
    lf_staticParkingStep(false);
    EXPECT_EQ(gf_statusSnapshot().status, p.used ? "User aircraft on the ground, no airport in sight" : "");
  }

  // The busy state lasts until the last candidate is placed.
  at(0.0, 0.0, true, 0.0);
  lf_disableParkingControls();
  g_staticCandidates = {StaticCandidate{}};
  lf_staticParkingStep(false);
  EXPECT_TRUE(gf_staticParkingBusy());
  g_staticCandidates.clear();
  lf_staticParkingStep(false);
  EXPECT_FALSE(gf_staticParkingBusy());

  // Nearest first, unless a destination keeps its entry first.
  const LatLon eddf{kLat, kLon};
  const LatLon edfe{kLat - 0.2, kLon};
  for (const char* destination : {"", "EDFE"}) {
    SCOPED_TRACE(destination);
    prm::DESTINATION.set(destination);
    g_parkAirports = {ParkAirportEntry{"EDFE", "", edfe, 0.0}, ParkAirportEntry{"EDDF", "", eddf, 0.0}};
    at(kLat + 0.05, kLon, false, 30000.0);  // above AIRP_HEIGHT: nothing comes into sight
    lf_staticParkingStep(true);
    EXPECT_EQ(g_parkAirports.front().icao, *destination != 0 ? "EDFE" : "EDDF");
  }
  prm::DESTINATION.set("");

  // A listed airport at the same distance as the park airport takes over.
  const LatLon user{kLat - 0.1, kLon};
  at(user.latitude, user.longitude, false, 3000.0);
  const double distance = gf_distanceNm(user, eddf);
  for (const double other : {distance + 0.01, distance}) {
    SCOPED_TRACE(other);
    ASSERT_TRUE(lf_setParkAirport("EDDF"));
    g_parkAirports = {ParkAirportEntry{"EDFE", "", edfe, other}, ParkAirportEntry{"EDDF", "", eddf, distance}};
    lf_parkAirportInSight(user);
    EXPECT_EQ(g_parkAirport.icao, other == distance ? "" : "EDDF");
  }
  EXPECT_TRUE(logContains("EDFE is in sight (6.0 nm), parked aircraft at EDDF (FRA) will be removed first"));
}

// Other threads meet the run thread's park airport data at two places: the
// requests the window and the simulator link hand over, and the server files
// that the run thread and the reading thread both ask for.
TEST_F(ParkSwitchTest, RequestsAndServerFilesFromTwoThreadsAtOnce) {
  g_parkAirports = {ParkAirportEntry{"EDDF", "", LatLon{kLat, kLon}, 0.0},
                    ParkAirportEntry{"EDFE", "", LatLon{kLat - 0.2, kLon}, 0.0}};
  std::atomic<bool> sent{false};
  std::thread window([&sent] {
    for (int i = 0; i < 200; ++i) gf_requestDestinationParkAirport(i % 2 == 0 ? "EDFE" : "EDDF", LatLon{});
    sent.store(true);
  });
  while (!sent.load()) gf_runParkAirportRequests();
  window.join();
  gf_runParkAirportRequests();
  ASSERT_EQ(g_parkAirports.size(), 2u);
  EXPECT_EQ(g_parkAirports.front().icao, "EDDF");  // the last request

  // Each server file is fetched once, whichever thread asks first.
  testsupport::RawSocketServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  gf_setDownloadServer(server.baseUrl());
  const auto askAll = [] {
    for (const char* icao : {"LFPG", "LFPO", "EGLL", "EGKK", "EHAM", "LOWW", "LSZH", "EKCH"})
      EXPECT_FALSE(gf_ensureStockApf(icao));
  };
  std::thread reader(askAll);
  askAll();
  reader.join();
  EXPECT_EQ(server.acceptedCount(), 8);
  gf_forgetServerFiles();
}

}  // namespace

namespace {

// EDFE lies 12 nm south of EDDF.
constexpr double kEdfeLat = kLat - 0.2;

// The step against the simulated simulator: the user aircraft is scripted
// there and reaches the step through the simulator link.
class ParkStepTest : public testsupport::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    gf_initFolders();
    gf_resetAirportsForTests();
    testsupport::openTestLog();
    gf_resetParametersToDefaults();
    prm::RANDOM.set(false);
    testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA"),
                                   testsupport::AirportEntry::at("EDFE", kEdfeLat, kLon, 364.0)});
    gf_readAirports("airports_msfs.xml");
    writeParkFile(10, -1, "EDDF");
    writeParkFile(10, -1, "EDFE");
    g_parkAirports.clear();
    gf_setFixedClock(kMonday1010);
  }
  void TearDown() override {
    forgetParkAirports();
    SimLinkTest::TearDown();
  }

  // One 16-second step, then main-loop passes until its read and search are done.
  static void step(bool firstTime = false) {
    lf_staticParkingStep(firstTime);
    ASSERT_TRUE(waitFor([] {
      gf_staticParkingWork();
      return !lf_parkFileReadPending() && !lf_searchRunning();
    }));
  }
  static void fly(double latitude, double heightFeet) {
    sim().flyUser(latitude, kLon, heightFeet, 250.0);
    ASSERT_TRUE(waitForUserPosition(latitude, kLon));
    ASSERT_TRUE(waitFor([heightFeet] {
      return g_userOnGround.get().valid && !g_userOnGround.get().onGround &&
             g_userAircraft.get().altitudeAboveGround == heightFeet;
    }));
  }
};

TEST_F(ParkStepTest, OnTheGroundAtAnAirportItsStaticsAreCalculatedAtTheNextStep) {
  step(true);  // no user position yet: nothing
  EXPECT_TRUE(g_parkAirport.icao.empty());

  sim().placeUserOnGround(kEdfeLat + 8.0, kLon, 0.0);  // far from every airport
  ASSERT_TRUE(waitFor([] { return g_userOnGround.get().valid && g_userOnGround.get().onGround; }));
  ASSERT_TRUE(waitForUserPosition(kEdfeLat + 8.0, kLon));
  step(true);
  EXPECT_TRUE(logContains("User aircraft on the ground, no airport in sight"));

  const double a3 = kLat + 200.0 / 111120.0;
  sim().placeUserOnGround(a3, kLon, 0.0);
  ASSERT_TRUE(waitForUserPosition(a3, kLon));
  step(true);
  EXPECT_TRUE(logContains("User aircraft on the ground at EDDF"));
  EXPECT_EQ(g_parkAirport.icao, "EDDF");
  EXPECT_TRUE(gf_staticParkingBusy());
  EXPECT_TRUE(g_parkStands.empty());  // read at the next step
  step();
  ASSERT_EQ(g_parkStands.size(), 10u);
  EXPECT_EQ(g_reservedStand, "A3");
  EXPECT_EQ(g_staticCandidates.size(), 3u);
  // Standing still: the step changes nothing; once placed, the busy state ends.
  step();
  EXPECT_EQ(g_parkAirport.icao, "EDDF");
  g_staticCandidates.clear();
  step();
  EXPECT_FALSE(gf_staticParkingBusy());
}

TEST_F(ParkStepTest, FlyingInSightOutOfSightAndANearerAirportTakingOver) {
  writeFile(gf_myParkAirportsPath(), "EDDF\nEDFE\n");
  ASSERT_TRUE(lf_readMyParkAirports());

  // 18 nm north of EDDF at 3000 ft: EDDF in sight (20 nm).
  fly(kLat + 0.3, 3000.0);
  step();
  EXPECT_TRUE(logContains("EDDF in sight at 18.0 nm"));
  step();
  ASSERT_EQ(g_parkStands.size(), 10u);

  // Above the height limit: out of sight; the learned change is saved and the airport unloaded.
  g_learnedUpdates.store(2);
  fly(kLat + 0.3, 20000.0);
  step();
  EXPECT_TRUE(logContains("EDDF (FRA) is out of sight (18.0 nm), parked aircraft will be removed"));
  EXPECT_TRUE(g_parkAirport.icao.empty());
  gf_waitForParkFileRead();
  EXPECT_TRUE(std::filesystem::exists("airports/learned/thirdparty/Fraport/EDDF.xml"));
  EXPECT_TRUE(logContains("saved with 2 updates"));

  // Back in sight, then on towards EDFE: at equal or shorter distance the nearer airport takes over.
  fly(kLat - 0.05, 3000.0);
  step();
  step();
  ASSERT_EQ(g_parkAirport.icao, "EDDF");
  fly(kLat - 0.1, 3000.0);  // halfway: equal distances keep the list's order
  step();
  EXPECT_EQ(g_parkAirport.icao, "EDDF");
  fly(kLat - 0.12, 3000.0);
  step();
  EXPECT_TRUE(logContains("EDFE is in sight (4.8 nm), parked aircraft at EDDF (FRA) will be removed first"));
  EXPECT_TRUE(g_parkAirport.icao.empty());
  step();
  EXPECT_EQ(g_parkAirport.icao, "EDFE");
}

TEST_F(ParkStepTest, ReReadChangesTheReservedStandOfTheLoadedAirport) {
  sim().placeUserOnGround(kLat, kLon + 0.01, 0.0);  // at EDDF, on no stand
  ASSERT_TRUE(waitForUserPosition(kLat, kLon + 0.01));
  // The on-ground reading comes apart from the position: a reading from
  // before the placement says "in the air".
  ASSERT_TRUE(waitFor([] { return g_userOnGround.get().valid && g_userOnGround.get().onGround; }));
  step(true);
  step();
  g_staticCandidates.clear();
  step();  // placed: not busy any more
  ASSERT_EQ(g_parkAirport.icao, "EDDF");
  writeFile(gf_myParkAirportsPath(), "EDDF,A5\n");
  std::string text;
  ASSERT_TRUE(lf_checkParkAirports(true, text));
  EXPECT_EQ(text, "reserved stand changed from '' to 'A5'");
  EXPECT_EQ(g_reservedStand, "A5");
  EXPECT_EQ(g_parkStands[4].excluded, 1);
  ASSERT_TRUE(lf_checkParkAirports(true, text));
  EXPECT_EQ(text, "park airports and stands are okay");
}

}  // namespace

namespace {

// One airborne 16-second step at a position, then the passes that take in its
// read and search.
void airborneStepAt(const LatLon& position, double heightFeet = 3000.0) {
  UserAircraftData user;
  user.latitude = position.latitude;
  user.longitude = position.longitude;
  user.altitudeAboveGround = heightFeet;
  g_userAircraft.set(user);
  g_userOnGround.set(OnGroundReading{false, true});
  lf_staticParkingStep(false);
  const auto hang = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((lf_parkFileReadPending() || lf_searchRunning()) && std::chrono::steady_clock::now() < hang) {
    gf_staticParkingWork();
    std::this_thread::yield();
  }
}

int linesStartingWith(const std::string& text) {
  int count = 0;
  for (const std::string& line : testsupport::logLines()) count += line.starts_with(text) ? 1 : 0;
  return count;
}

const LatLon kEgll{51.4775, -0.4614};

// EDDF and EGLL in the airport list, EGLL with a park file; EDDF is the park
// airports list's only entry.
void listEddfAndEgll() {
  testsupport::writeAirportList({testsupport::AirportEntry::at("EDDF", kLat, kLon, 364.0, "FRA"),
                                 testsupport::AirportEntry::at("EGLL", kEgll.latitude, kEgll.longitude, 83.0)});
  gf_resetAirportsForTests();
  EXPECT_TRUE(gf_readAirports("airports_msfs.xml"));
  writeParkFile(10, -1, "EGLL");
  g_parkAirports = {ParkAirportEntry{"EDDF", "", LatLon{kLat, kLon}, 0.0}};
}

}  // namespace

// A destination set in the air, about 350 nm away, stays the list's first
// entry and is loaded once, when it comes into sight; until then it neither
// pushes out the park airport in sight nor comes and goes itself.
TEST_F(ParkSwitchTest, AFarDestinationIsLoadedOnceWhenItComesIntoSight) {
  listEddfAndEgll();
  writeParkFile(10);

  const auto north = [](const LatLon& from, double nm) { return LatLon{from.latitude + nm / 60.0, from.longitude}; };
  const struct {
    LatLon position;
    bool setDestination;  // before the step
    const char* parkAirport;
  } steps[] = {
      {north({kLat, kLon}, 18.0), false, "EDDF"},  // in sight: chosen
      {north({kLat, kLon}, 17.5), false, "EDDF"},  // read
      {north({kLat, kLon}, 17.0), true, "EDDF"},   // the destination does not push it out
      {north({kLat, kLon}, 16.5), false, "EDDF"},
      {north({kLat, kLon}, 30.0), false, ""},      // out of sight
      {north({kLat, kLon}, 31.0), false, ""},      // the destination is not in sight either
      {north({kLat, kLon}, 32.0), false, ""},
      {north({kLat, kLon}, 33.0), false, ""},
      {north({kLat, kLon}, 34.0), false, ""},
      {north(kEgll, -10.0), false, "EGLL"},        // in sight
      {north(kEgll, -9.5), false, "EGLL"},         // read
      {north(kEgll, -9.0), false, "EGLL"},
  };
  int number = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(fmt::format("step {}", ++number));
    if (s.setDestination) {
      prm::DESTINATION.set("EGLL");
      lf_setDestinationParkAirport("EGLL", kEgll);
    }
    airborneStepAt(s.position);
    EXPECT_EQ(g_parkAirport.icao, s.parkAirport);
    if (s.setDestination || number > 3) {
      EXPECT_EQ(g_parkAirports.front().icao, "EGLL");
    }
  }
  EXPECT_EQ(linesStartingWith("The park airport is EDDF"), 1);
  EXPECT_EQ(linesStartingWith("The park airport is EGLL"), 1);
}

// With the simulator paused the user's position does not change, yet a
// destination entered then is measured before the sight test: made at
// distance 0, it would be taken as in sight and loaded.
TEST_F(ParkSwitchTest, ADestinationEnteredWhilePausedIsMeasuredBeforeTheSightTest) {
  listEddfAndEgll();
  const LatLon paused{kLat + 1.0, kLon};  // 60 nm north of EDDF
  airborneStepAt(paused);
  prm::DESTINATION.set("EGLL");
  lf_setDestinationParkAirport("EGLL", kEgll);
  airborneStepAt(paused);
  EXPECT_EQ(g_parkAirport.icao, "");
  EXPECT_GT(g_parkAirports.front().distance, 300.0);
}

// On the ground the park airport stays whatever the distances say; in the
// air it goes when out of sight or when the list's first airport is nearer.
// The automatic radius measures to the list's first airport, not the nearest.
TEST_F(ParkSwitchTest, OnTheGroundTheParkAirportStaysAndTheRadiusFollowsTheListsFirst) {
  const LatLon eddf{kLat, kLon};
  const LatLon south10{kLat - 10.0 / 60.0, kLon};
  const LatLon south15{kLat - 15.0 / 60.0, kLon};
  const struct {
    const char* name;
    LatLon user;
    bool onGround;
    std::vector<ParkAirportEntry> list;
    bool kept;
    std::int32_t radius;
  } rows[] = {
      {"in the air out of sight", {kLat + 0.5, kLon}, false, {{"EDDF", "", eddf, 30.0}}, false, 35},
      {"on the ground out of sight", {kLat + 0.5, kLon}, true, {{"EDDF", "", eddf, 30.0}}, true, 10},
      {"in the air, a nearer airport first", south10, false,
       {{"EDFE", "", south10, 0.0}, {"EDDF", "", eddf, 10.0}}, false, 10},
      {"on the ground, a nearer airport first", south10, true,
       {{"EDFE", "", south10, 0.0}, {"EDDF", "", eddf, 10.0}}, true, 10},
      {"in the air, the first of several is measured", south15, false,
       {{"EDDF", "", eddf, 15.0}, {"EDFE", "", south15, 0.0}, {"EDFM", "", south10, 5.0}}, true, 18},
  };
  writeParkFile(10);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    load();
    ASSERT_EQ(g_parkAirport.icao, "EDDF");
    UserAircraftData user;
    user.latitude = row.user.latitude;
    user.longitude = row.user.longitude;
    user.altitudeAboveGround = row.onGround ? 0.0 : 3000.0;
    g_userAircraft.set(user);
    g_userOnGround.set(OnGroundReading{row.onGround, true});
    g_parkAirports.assign(row.list.begin(), row.list.end());

    lf_parkAirportInSight(row.user);
    gf_autoRange();

    EXPECT_EQ(g_parkAirport.icao, row.kept ? "EDDF" : "");
    EXPECT_EQ(prm::RANGE.value(), row.radius);
    lf_clearParkAirport();
  }
}
