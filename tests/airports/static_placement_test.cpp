#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "aircraftdata/livery_tables.h"
#include "aircraftdata/static_livery.h"
#include "airports/static_placement.h"
#include "app/clock.h"
#include "app/settings.h"
#include "simlink/sim_link.h"
#include "support/log_reader.h"
#include "support/sim_fixture.h"
#include "traffic/removals.h"
#include "traffic/traffic_tick.h"
#include "ui/display_state.h"

namespace {

using testsupport::SimLinkTest;

Stand lf_stand(std::uint32_t id, double latitude, bool cargo = false) {
  Stand stand("S" + std::to_string(id), {}, StandPosition{latitude, 8.0, 1.0}, 40.0, cargo ? 0 : 1, 1, 1);
  stand.id = id;
  return stand;
}

StaticCandidate lf_candidate(std::uint32_t standId, std::string airline, std::string callsign,
                             std::string registration = "", std::uint32_t fit = 0) {
  StaticCandidate c;
  c.standId = standId;
  c.fit = fit;
  c.airline = std::move(airline);
  c.type = "A320";
  c.callsign = std::move(callsign);
  c.registration = std::move(registration);
  c.staysOn = 1;
  return c;
}

void lf_installLiveries() {
  std::unique_lock lock(g_liveryTablesMutex);
  g_liveryTables = LiveryTables{};
  g_liveryTables.paxTypeAirlineTitles["A320"]["BAW"] = {"A320 British Airways"};
  g_liveryTables.paxTypeAirlineTitles["A321"]["EZY"] = {"A321 easyJet"};
  g_liveryTables.cargoTypeAirlineTitles["A320"]["BAW"] = {"A320 British Airways Cargo"};
  g_liveryTables.paxSimilarModels["A320"] = {"A321"};
  g_liveryTables.regcodeTitles.bind("G-EUUA", "A320 British Airways G-EUUA");
}

class StaticPlacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lf_installLiveries();
    gf_clearTrafficLists();
    g_staticCandidates.clear();
    g_parkStands = {lf_stand(1, 50.0), lf_stand(2, 50.001), lf_stand(3, 50.002, true)};
    g_staticCounter = 0;
  }
  void TearDown() override {
    gf_clearTrafficLists();
    g_staticCandidates.clear();
    g_parkStands.clear();
    std::unique_lock lock(g_liveryTablesMutex);
    g_liveryTables = LiveryTables{};
    prm::RANDOM.set(true);
  }
};

TEST_F(StaticPlacementTest, OnlyInstalledLiveriesAreChosen) {
  prm::RANDOM.set(false);
  struct Case {
    std::string airline, type, registration;
    std::uint32_t standId;
    std::string title;  // "" : not placed
  } cases[] = {
      {"BAW", "A320", "G-EUUA", 1, "A320 British Airways G-EUUA"},  // the registration's own livery
      {"BAW", "A320", "G-XXXX", 1, "A320 British Airways"},
      {"BAW", "A320", "", 3, "A320 British Airways Cargo"},  // a cargo stand takes the cargo livery first
      {"EZY", "A320", "", 1, "A321 easyJet"},                 // a similar type of the same airline
      {"DLH", "A320", "", 1, ""},                             // no livery of the airline
      {"", "", "", 1, ""},
  };
  for (const Case& c : cases) {
    AircraftIdentity identity(LiveAcData{c.airline, c.type, "", "", "X", "", "", c.registration});
    ParkedAircraft aircraft(std::move(identity), c.standId, StandPosition{}, g_parkStands[c.standId - 1].cargo);
    EXPECT_EQ(gf_matchLiveryStatic(aircraft, g_parkStands[c.standId - 1]), !c.title.empty()) << c.airline;
    EXPECT_EQ(aircraft.identity.liveryTitle, c.title) << c.airline << " " << c.registration;
  }
}

TEST_F(StaticPlacementTest, DisplayedCallsigns) {
  struct Case {
    std::string callsign, callsign2;
    std::uint8_t staysOn;
    std::string shown;
  } cases[] = {
      {"BAW12", "BAW13", 1, "BAW12*"}, {"BAW12", "BAW13", 0, "BAW13*"}, {"BAW12", "", 0, "BAW12*"},
      {"", "BAW13", 1, "BAW13*"},      {"BAW12__", "", 1, "BAW12*"},    {"BAW12*", "", 1, "BAW12*"},
      {"", "", 1, ""},
  };
  for (const Case& c : cases) {
    StaticCandidate candidate = lf_candidate(1, "BAW", c.callsign);
    candidate.callsign2 = c.callsign2;
    candidate.staysOn = c.staysOn;
    EXPECT_EQ(lf_detcs(candidate), c.shown) << c.callsign << "/" << c.callsign2;
  }
}

TEST_F(StaticPlacementTest, CandidatesOnTakenStandsOrWithoutLiveryAreDroppedAndHexidsWrap) {
  testsupport::openTestLog();
  prm::LOG.set(true);
  g_parkStands[0].adjacent = {2};
  g_parkStands[1].adjacent = {1};
  LiveAircraft live(AircraftIdentity(LiveAcData{"DLH", "A320", "", "", "DLH4", "", "", ""}));
  live.flightPhase = FlightPhase::parked;
  live.standId = 2;
  g_liveAircraft.push_back(live);
  g_staticCounter = 9998;
  // Taken from the end: the smallest fit first.
  g_staticCandidates = {lf_candidate(3, "BAW", "BAW3", "", 2), lf_candidate(2, "BAW", "BAW2", "", 1),
                        lf_candidate(1, "BAW", "BAW1", "", 1), lf_candidate(3, "DLH", "DLH7", "", 0),
                        lf_candidate(9, "BAW", "BAW9")};

  for (int i = 0; i < 5; ++i) lf_placeStaticAircraft();
  prm::LOG.set(false);

  EXPECT_TRUE(g_staticCandidates.empty());
  EXPECT_TRUE(testsupport::logHasLine("===> lf_placeStaticAircraft: stand with id 9 not found"));
  EXPECT_TRUE(testsupport::logHasLine(
      "S1      : no static parking for BAW1, live aircraft DLH4 is adjacent at S2, possibly colliding"));
  EXPECT_TRUE(testsupport::logHasLine("S2      : no static parking for BAW2, live aircraft DLH4 standing here"));
  ASSERT_EQ(g_staticAircraft.size(), 1u);  // DLH has no livery; BAW1 and BAW2 stand beside the live one
  const ParkedAircraft& placed = g_staticAircraft[0];
  EXPECT_EQ(placed.identity.callsign, "BAW3*");
  EXPECT_EQ(placed.identity.hexid, 0u);  // 9999 went to the DLH static that found no livery
  EXPECT_EQ(placed.simState, SimState::adding2sim);
  EXPECT_EQ(placed.parkingStart, gf_halfHoursBefore(gf_daySlotNow(), 2));
  ASSERT_EQ(g_staticAddRequests.size(), 1u);
  EXPECT_EQ(g_staticAddRequests[0].liveryTitle, "A320 British Airways Cargo");
  EXPECT_NEAR(g_staticAddRequests[0].heading, 57.29577951308232, 1e-9);
}

TEST_F(StaticPlacementTest, LiveAircraftParkedOrParkingKeepStaticsOffTheirStands) {
  const struct {
    FlightPhase phase;
    bool placed;
  } rows[] = {{FlightPhase::parked, false}, {FlightPhase::parking, false}, {FlightPhase::taxi, true},
              {FlightPhase::pushing_back, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.phase));
    gf_clearTrafficLists();
    LiveAircraft live(AircraftIdentity(LiveAcData{"DLH", "A320", "", "", "DLH4", "", "", ""}));
    live.flightPhase = row.phase;
    live.standId = 1;
    g_liveAircraft.push_back(live);
    g_staticCandidates = {lf_candidate(1, "BAW", "BAW1")};
    lf_placeStaticAircraft();
    EXPECT_EQ(g_staticAircraft.size(), row.placed ? 1u : 0u);
  }
}

// A static, in the simulator or still on its way there, keeps candidates off
// its stand and the stands beside it; a candidate without a callsign shows
// its airline, its hexid and "*".
TEST_F(StaticPlacementTest, StaticsKeepTheirNeighboursFreeAndStaticsWithoutCallsignAreLabelled) {
  testsupport::openTestLog();
  prm::LOG.set(true);
  g_parkStands[0].adjacent = {2};
  g_parkStands[1].adjacent = {1};
  const struct {
    std::uint32_t staticOn;  // 0: none
    std::uint32_t standId;
    const char* callsign;
    const char* shown;  // "": not placed
  } rows[] = {{2, 1, "BAW1", ""}, {2, 2, "BAW1", ""}, {2, 3, "BAW1", "BAW1*"}, {0, 1, "", "BAW42*"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(fmt::format("{} {}", row.staticOn, row.standId));
    gf_clearTrafficLists();
    if (row.staticOn != 0) {
      g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"EZY", "A321", "", "", "EZY8*", "", "", ""}),
                                    row.staticOn, StandPosition{}, 0);
    }
    g_staticCounter = 41;
    g_staticCandidates = {lf_candidate(row.standId, "BAW", row.callsign)};
    lf_placeStaticAircraft();
    const std::size_t before = row.staticOn != 0 ? 1 : 0;
    ASSERT_EQ(g_staticAircraft.size(), before + (*row.shown != 0 ? 1 : 0));
    if (*row.shown != 0) {
      EXPECT_EQ(g_staticAircraft.back().identity.callsign, row.shown);
    }
  }
  EXPECT_TRUE(testsupport::logHasLine(
      "S1      : no static parking for BAW1, static aircraft EZY8* is adjacent at S2, possibly colliding"));
  prm::LOG.set(false);
}

TEST(StaticPlacementTime, TheParkingStartGoesBackOverMidnightAndTheWeek) {
  struct Case {
    DaySlot now;
    std::int64_t back;
    DaySlot start;
  } cases[] = {{{1, 0}, 1, {7, 47}}, {{3, 10}, 4, {3, 6}}, {{2, 2}, 51, {7, 47}}, {{5, 0}, 0, {5, 0}},
               {{1, 0}, 47, {7, 1}},  {{7, 47}, 0, {7, 47}}, {{2, 5}, 48, {1, 5}}};
  for (const Case& c : cases) EXPECT_EQ(gf_halfHoursBefore(c.now, c.back), c.start);
}

// The mean time the statics have stood counts across the week's end.
TEST_F(StaticPlacementTest, TheMeanParkedTimeCountsAcrossTheWeeksEnd) {
  gf_setFixedClock(1717978200);  // Monday 2024-06-10 00:10 UTC: slot 0 of day 1
  for (const DaySlot start : {DaySlot{7, 46}, DaySlot{1, 0}}) {  // Sunday 23:00, Monday 00:00
    g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"BAW", "A320", "", "", "BAW1", "", "", ""}), 1,
                                  StandPosition{}, 0);
    g_staticAircraft.back().simState = SimState::active;
    g_staticAircraft.back().parkingStart = start;
  }
  EXPECT_EQ(lf_staticParkedStats(true), 2);
  gf_setFixedClock(std::nullopt);
  EXPECT_DOUBLE_EQ(gf_displaySnapshot().averageFit, 2.0 / (2.0 * 2) + 0.5);  // 2 half hours over 2 statics
}

class StaticPlacementSimTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    lf_installLiveries();
    gf_clearTrafficLists();
    gf_resetTrafficTick();
    g_parkStands = {lf_stand(1, 50.0), lf_stand(2, 50.001), lf_stand(3, 50.002)};
  }
  void TearDown() override {
    SimLinkTest::TearDown();
    gf_clearTrafficLists();
    g_staticCandidates.clear();
    g_parkStands.clear();
    std::unique_lock lock(g_liveryTablesMutex);
    g_liveryTables = LiveryTables{};
  }
  // Runs traffic ticks (10 ms passes) until done() or the time is up.
  static bool tickUntil(const std::function<bool()>& done) {
    return waitFor([&] {
      lf_handleAddingStack();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return done();
    });
  }
};

TEST_F(StaticPlacementSimTest, StaticsAppearOneByOneInTheSimulatorAndLeaveWhenRemoved) {
  g_staticCandidates = {lf_candidate(1, "BAW", "BAW1"), lf_candidate(2, "BAW", "BAW2", "G-EUUA")};
  ASSERT_TRUE(tickUntil([] { return sim().aiObjects().size() == 1; }));
  EXPECT_EQ(sim().aiObjects()[0].tailNumber, "BAW2*");
  EXPECT_EQ(sim().aiObjects()[0].title, "A320 British Airways G-EUUA");
  const std::uint64_t first = gf_tickCount();
  ASSERT_TRUE(tickUntil([] { return sim().aiObjects().size() == 2; }));
  EXPECT_GE(gf_tickCount() - first, 40u);  // one creation per 50 ticks
  ASSERT_TRUE(tickUntil([] { return lf_staticParkedStats(false) == 2; }));
  for (const ParkedAircraft& aircraft : g_staticAircraft) {
    const auto object = sim().aiObject(aircraft.objectId);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->tailNumber, aircraft.identity.callsign);
    EXPECT_DOUBLE_EQ(object->latitude, g_parkStands[aircraft.standId - 1].latitude);
  }

  // One removed while its creation is still queued never reaches the simulator.
  g_staticCandidates = {lf_candidate(3, "BAW", "BAW3")};
  lf_placeStaticAircraft();
  ASSERT_EQ(g_staticAddRequests.size(), 1u);
  lf_removeAllStatics();
  EXPECT_TRUE(g_staticAddRequests.empty());
  EXPECT_EQ(g_staticAircraft.size(), 2u);  // both being removed
  ASSERT_TRUE(tickUntil([] { return g_staticAircraft.empty(); }));
  EXPECT_TRUE(sim().aiObjects().empty());
}

// With WEEK on the statics come from any weekday, so a parked time is not
// measured: the window's value is left as it was.
TEST_F(StaticPlacementTest, TheMeanParkedTimeIsLeftAloneWithWeekOn) {
  gf_setFixedClock(1717978200);  // Monday 2024-06-10 00:10 UTC: slot 0 of day 1
  g_staticAircraft.emplace_back(AircraftIdentity(LiveAcData{"BAW", "A320", "", "", "BAW1", "", "", ""}), 1,
                                StandPosition{}, 0);
  g_staticAircraft.back().simState = SimState::active;
  g_staticAircraft.back().parkingStart = DaySlot{7, 46};  // two half hours ago
  for (const auto& [week, mean] : {std::pair{false, 1.5}, std::pair{true, -1.0}}) {
    SCOPED_TRACE(week);
    prm::WEEK.set(week);
    gf_setAverageFit(-1.0);
    EXPECT_EQ(lf_staticParkedStats(true), 1);
    EXPECT_DOUBLE_EQ(gf_displaySnapshot().averageFit, mean);
  }
  prm::WEEK.set(false);
  gf_setFixedClock(std::nullopt);
}

}  // namespace
