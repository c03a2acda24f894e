#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>
#include <string>

#include <gtest/gtest.h>

#include "airports/park_airports.h"
#include "airports/stand_lookup.h"
#include "app/runstate.h"
#include "feed/rt_server.h"
#include "simlink/sim_link.h"
#include "support/sim_fixture.h"
#include "support/workdir.h"
#include "ui/display_state.h"

namespace {

using testsupport::SimLinkTest;

constexpr double kStandLat = 51.4700;
constexpr double kStandLon = -0.4500;

// The reserved stand the run thread stored for the park airport.
std::string lf_reservedStand() {
  gf_runParkAirportRequests();
  return g_parkAirports.empty() ? std::string() : g_parkAirports.front().stand;
}

class SimLinkUserTest : public SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    g_parkStands.clear();
    g_parkStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{kStandLat, kStandLon, 0.0}, 30.0, 1, 1,
                              1);
    g_parkStands.back().id = 1;
    gf_publishStandSnapshot();
    g_parkAirport = AirportRec{};
    g_parkAirport.icao = "EGLL";
    g_parkAirports = {ParkAirportEntry{"EGLL", "", LatLon{kStandLat, kStandLon}, 0.0}};
  }
  void TearDown() override {
    gf_runParkAirportRequests();
    g_parkAirports.clear();
    g_parkAirport = AirportRec{};
    g_parkStands.clear();
    SimLinkTest::TearDown();
    gf_publishStandSnapshot();
  }
};

TEST_F(SimLinkUserTest, FollowsTheUserAircraftOnAStandTaxiingAndFlyingAway) {
  auto display = [] { return gf_displaySnapshot(); };
  EXPECT_TRUE(waitFor([&] { return display().simConnected && display().flightRunning; }));
  EXPECT_EQ(display().simText, "Simulated Flight Simulator 11.0");
  EXPECT_EQ(display().flightText, "Simulated Airliner");

  // The simulator's clock runs on (a second every 20 ms): a time read from it
  // lies between the time set and the simulator's time now.
  constexpr std::int64_t kZulu = 1767225600 + 3 * 86400 + 3600;  // 2026-01-04 01:00:00 UTC
  sim().setZuluTime(kZulu);
  sim().placeUserOnGround(kStandLat, kStandLon, 270.0);
  ASSERT_TRUE(waitForUserPosition(kStandLat, kStandLon));
  ASSERT_TRUE(waitFor([] { return g_userOnGround.get().valid && g_userOnGround.get().onGround; }));
  EXPECT_TRUE(waitFor([] { return g_oneSecondSignal.exchange(false); }));
  const UserAircraftData user = g_userAircraft.get();
  EXPECT_NEAR(user.heading, 270.0 * 3.14159265358979 / 180.0, 1e-9);
  EXPECT_EQ(user.altitudeAboveGround, 0.0);
  EXPECT_EQ(user.dayOfYear, 4);
  EXPECT_EQ(user.year, 2026);
  EXPECT_GE(user.zuluTime, 3600.0);
  EXPECT_LE(user.zuluTime, static_cast<double>(sim().zuluTime() - kZulu + 3600));
  // The simulator's time is taken only at RealTraffic's professional level.
  EXPECT_EQ(g_simEpochSeconds.load(), 0);
  g_rtProfessional = true;
  EXPECT_TRUE(waitFor([] {
    const std::int64_t taken = g_simEpochSeconds.load();
    return taken >= kZulu && taken <= sim().zuluTime();
  }));
  g_rtProfessional = false;
  EXPECT_TRUE(waitFor([] { return g_simEpochSeconds.load() == 0; }));
  EXPECT_TRUE(waitFor([] { return gf_userStandName() == "A1"; }));

  // A flight reload while standing still keeps the stand, carried out on the run thread.
  sim().loadFlight("flight.flt");
  EXPECT_TRUE(waitFor([] { return lf_reservedStand() == "A1"; }));
  EXPECT_TRUE(testsupport::readFile("airports/my_park_airports.txt").starts_with("EGLL,A1"));

  // Taxiing away: off the stand, and a reload remembers nothing.
  g_parkAirports.front().stand.clear();
  sim().taxiUser(kStandLat + 0.002, kStandLon, 12.0);
  EXPECT_TRUE(waitFor([] { return gf_userStandName().empty(); }));
  sim().loadFlight("flight.flt");
  sim().taxiUser(kStandLat, kStandLon, 12.0);  // rolling over the stand does not count either
  EXPECT_TRUE(waitFor([] { return gf_userStandName() == "A1"; }));
  sim().loadFlight("flight.flt");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(lf_reservedStand(), "");

  // Flying out of sight.
  sim().flyUser(kStandLat + 1.0, kStandLon, 12000.0, 300.0);
  ASSERT_TRUE(waitForUserPosition(kStandLat + 1.0, kStandLon));
  EXPECT_TRUE(waitFor([] { return !g_userOnGround.get().onGround; }));
  EXPECT_EQ(g_userAircraft.get().altitudeAboveGround, 12000.0);
  EXPECT_TRUE(waitFor([] { return gf_userStandName().empty(); }));

  // The flight stops: the on-ground value is no longer valid.
  sim().setFlightRunning(false);
  EXPECT_TRUE(waitFor([] { return !g_simRunning.load() && !g_userOnGround.get().valid; }));
}

TEST_F(SimLinkUserTest, AReplacedStandListReachesTheLinkOnlyWhenPublished) {
  sim().placeUserOnGround(kStandLat, kStandLon, 0.0);
  ASSERT_TRUE(waitFor([] { return gf_userStandName() == "A1"; }));
  // The run thread replaces the list; the link keeps reading the published copy.
  g_parkStands.clear();
  g_parkStands.emplace_back("B7", std::vector<StandOption>{}, StandPosition{kStandLat, kStandLon, 0.0}, 30.0, 1, 1,
                            1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(gf_userStandName(), "A1");
  gf_publishStandSnapshot();
  EXPECT_TRUE(waitFor([] { return gf_userStandName() == "B7"; }));
}

// Sends one creation through the command queue.
void lf_queueCreation(std::uint32_t hexid, const std::string& title, const std::string& callsign) {
  AddRequest request;
  request.latitude = kStandLat;
  request.longitude = kStandLon;
  request.heading = 90.0;
  request.callsign = callsign;
  request.liveryTitle = title;
  request.hexid = hexid;
  std::lock_guard lock(g_simConnectMutex);
  g_simCreateQueue.push_back(request);
}

std::vector<SimEvent> lf_eventsUntil(std::size_t count) {
  std::vector<SimEvent> events;
  SimLinkTest::waitFor([&] {
    for (const SimEvent& e : gf_takeSimEvents()) events.push_back(e);
    return events.size() >= count;
  });
  return events;
}

TEST_F(SimLinkTest, CreatesLightsAndRemovesAiObjectsAndReportsTheirEvents) {
  sim().setInstalledTitles(std::set<std::string>{"A320 British Airways"});
  lf_queueCreation(9999, "A320 British Airways", "BAW12*");
  lf_queueCreation(10001, "A320 British Airways", "BAW99");
  lf_queueCreation(7, "Not Installed", "XXX1*");
  auto events = lf_eventsUntil(3);
  ASSERT_EQ(events.size(), 3u);
  std::map<std::uint32_t, SimEvent> byHexid;
  for (const SimEvent& e : events) byHexid[e.hexid] = e;
  EXPECT_EQ(byHexid[9999].kind, SimEventKind::StaticCreated);
  EXPECT_EQ(byHexid[10001].kind, SimEventKind::LiveCreated);
  EXPECT_EQ(byHexid[7].kind, SimEventKind::CreateFailed);
  EXPECT_EQ(sim().refusedCreations(), 1);

  const std::uint32_t staticId = byHexid[9999].objectId;
  auto object = sim().aiObject(staticId);
  ASSERT_TRUE(object.has_value());
  EXPECT_EQ(object->title, "A320 British Airways");
  EXPECT_EQ(object->tailNumber, "BAW12*");
  EXPECT_DOUBLE_EQ(object->latitude, kStandLat);
  EXPECT_DOUBLE_EQ(object->heading, 90.0);
  EXPECT_TRUE(object->onGround);
  EXPECT_TRUE(waitFor([&] {
    const auto o = sim().aiObject(staticId);
    return o->aiReleased && o->frozenPosition && o->frozenAltitude && o->frozenAttitude;
  }));

  {
    std::lock_guard lock(g_simConnectMutex);
    gf_pushObjectCommand(ObjectCommand{staticId, kEventNavLights, 1});
  }
  EXPECT_TRUE(waitFor([&] { return (sim().aiObject(staticId)->lights & simsim::kLightNav) != 0; }));

  {
    std::lock_guard lock(g_simConnectMutex);
    g_simRemoveQueue.push_back(staticId);
  }
  events = lf_eventsUntil(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, SimEventKind::Removed);
  EXPECT_EQ(events[0].objectId, staticId);
  EXPECT_FALSE(sim().aiObject(staticId).has_value());
  EXPECT_EQ(sim().aiObjects().size(), 1u);

  // While a SimConnect error is pending, the queues are cleared, not sent.
  g_simConnectError = true;
  lf_queueCreation(8, "A320 British Airways", "BAW8*");
  EXPECT_TRUE(waitFor([] {
    std::lock_guard lock(g_simConnectMutex);
    return g_simCreateQueue.empty();
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(sim().aiObjects().size(), 1u);
}

TEST_F(SimLinkTest, TheSimulatorClosingStopsTheRunAndItsObjectsGo) {
  lf_queueCreation(1, "Any Title", "ANY1*");
  ASSERT_EQ(lf_eventsUntil(1).size(), 1u);
  sim().quit();
  EXPECT_TRUE(waitFor([] { return g_stopRun.load() && !g_simConnected.load(); }));
  EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
  EXPECT_FALSE(gf_displaySnapshot().simConnected);
  EXPECT_TRUE(sim().aiObjects().empty());
}

}  // namespace
