#include <string>

#include <gtest/gtest.h>

#include "app/clock.h"
#include "simlink/sim_link.h"
#include "support/log_reader.h"
#include "traffic/removals.h"

namespace {

ParkedAircraft lf_static(std::uint32_t hexid, SimState state, std::uint32_t objectId, std::uint32_t standId = 0) {
  AircraftIdentity identity(LiveAcData{"BAW", "A320", "", "", "BAW" + std::to_string(hexid) + "*", "", "", ""});
  identity.hexid = hexid;
  ParkedAircraft aircraft(std::move(identity), standId, StandPosition{}, 0);
  aircraft.simState = state;
  aircraft.objectId = objectId;
  return aircraft;
}

LiveAircraft lf_live(std::string callsign, double latitude, FlightPhase phase, std::uint32_t objectId,
                     std::uint32_t standId = 0, std::int64_t parkedSince = 0) {
  AircraftIdentity identity(LiveAcData{"DLH", "A320", "", "", std::move(callsign), "", "", ""});
  identity.hexid = 10000 + objectId;
  LiveAircraft aircraft(std::move(identity));
  aircraft.simState = SimState::active;
  aircraft.objectId = objectId;
  aircraft.flightPhase = phase;
  aircraft.position.latitude = latitude;
  aircraft.onGroundConfirmed = phase == FlightPhase::parked;
  aircraft.standId = standId;
  aircraft.parkedSinceSeconds = parkedSince;
  return aircraft;
}

AddRequest lf_request(const ParkedAircraft& aircraft) {
  AddRequest request;
  request.callsign = aircraft.identity.callsign;
  request.hexid = aircraft.identity.hexid;
  return request;
}

class RemovalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_clearTrafficLists();
    gf_resetSimLinkForTests();
  }
  void TearDown() override {
    gf_clearTrafficLists();
    g_parkStands.clear();
    g_maxLive = 500;
    gf_setFixedClock(std::nullopt);
  }
};

TEST_F(RemovalsTest, RemovingStaticsByTheirStateWithTheSimulator) {
  g_staticAircraft = {lf_static(1, SimState::active, 101), lf_static(2, SimState::adding2sim, 0),
                      lf_static(3, SimState::adding2sim, 0), lf_static(4, SimState::buffer, 0),
                      lf_static(5, SimState::removingfromsim, 105)};
  // Static 2's creation is still queued; static 3's is already on its way.
  g_staticAddRequests = {lf_request(g_staticAircraft[1])};
  AddRequest sameCallsignOtherHexid = lf_request(g_staticAircraft[1]);
  sameCallsignOtherHexid.hexid = 77;
  g_staticAddRequests.push_back(sameCallsignOtherHexid);

  lf_removeAllStatics();

  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{101}));
  ASSERT_EQ(g_staticAddRequests.size(), 1u);
  EXPECT_EQ(g_staticAddRequests[0].hexid, 77u);
  ASSERT_EQ(g_staticAircraft.size(), 3u);
  EXPECT_EQ(g_staticAircraft[0].simState, SimState::removingfromsim);
  EXPECT_EQ(g_staticAircraft[1].identity.hexid, 3u);
  EXPECT_EQ(g_staticAircraft[1].removeOnceCreated, 1);
  EXPECT_EQ(g_staticAircraft[2].identity.hexid, 5u);
}

TEST_F(RemovalsTest, LiveAircraftLimitsStandsAndParkedOnes) {
  testsupport::openTestLog();
  gf_setFixedClock(1'700'000'000);
  g_parkStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{}, 30.0, 1, 1, 1);
  g_parkStands.back().id = 1;
  g_parkStands.back().occupied = 1;
  g_parkStands.emplace_back("A2", std::vector<StandOption>{}, StandPosition{}, 30.0, 1, 1, 1);
  g_parkStands.back().id = 2;
  g_liveAircraft = {lf_live("FAR", 10.0, FlightPhase::flying, 1),
                    lf_live("NEAR", 0.1, FlightPhase::flying, 2),
                    lf_live("OLD", 0.0, FlightPhase::parked, 3, 2, 1'700'000'000 - 7200),
                    lf_live("NEW", 0.0, FlightPhase::parked, 4, 1, 1'700'000'000 - 3600),
                    lf_live("MID", 5.0, FlightPhase::flying, 5)};

  lf_collectLiveParked();
  EXPECT_EQ(g_liveParked, (std::vector<LiveParked>{{"NEW", 1}, {"OLD", 2}}));
  const LiveParkedStats stats = lf_liveParkedStats(true);
  EXPECT_EQ(stats.count, 2);
  EXPECT_DOUBLE_EQ(stats.meanHours, 1.5);

  lf_removeOldestLiveParked(1);
  EXPECT_TRUE(testsupport::logHasLine("live parked OLD at A2 removed"));

  g_maxLive = -1;  // no maximum
  lf_enforceMaxLive();
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{3}));
  g_maxLive = 2;  // 4 still active: the two farthest from the user (at 0/0) go
  lf_enforceMaxLive();
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{3, 1, 5}));

  lf_clearStand("A1");
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{3, 1, 5, 4}));
  EXPECT_EQ(g_parkStands[0].occupied, 0);
  lf_clearStand("no such stand");
  EXPECT_EQ(g_removeRequests.size(), 4u);
}

}  // namespace
