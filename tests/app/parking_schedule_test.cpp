#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/static_selection.h"
#include "app/parking_schedule.h"
#include "app/requests.h"
#include "app/settings.h"
#include "feed/traffic_reader.h"
#include "traffic/removals.h"
#include "ui/display_state.h"

namespace {

class ParkingScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetParkingSchedule();
    gf_resetDisplayState();
    gf_clearTrafficLists();
    g_parkAirport.icao = "EGLL";
    g_parkStands.emplace_back("A1", std::vector<StandOption>{}, StandPosition{51.47, -0.45, 0.0}, 40.0, 1, 1, 1);
    g_parkStands.back().id = 1;
    gf_setParkFileLoaded(true);
  }
  void TearDown() override {
    lf_cancelSearch();
    g_staticCandidates.clear();
    g_parkStands.clear();
    g_parkAirport = AirportRec{};
    gf_resetParkingSchedule();
    gf_resetDisplayState();
    g_trafficReader.takeCollectedCallsigns();
    prm::INITIAL_LOAD_ONLY.set(false);
    g_parkingRecalcRequest = false;
  }
};

TEST_F(ParkingScheduleTest, TheRenewalIsRequestedEvery20MinutesPreparedAndRun15SecondsLater) {
  lf_fifteenSecondStep(1185);
  EXPECT_FALSE(gf_renewalRequested());
  EXPECT_EQ(gf_displaySnapshot().minutesToRenewal, 1);
  lf_fifteenSecondStep(1200);
  EXPECT_TRUE(gf_renewalRequested());
  EXPECT_EQ(gf_displaySnapshot().minutesToRenewal, 20);
  // Prepared: the parking is busy and the live callsigns are collected.
  lf_fifteenSecondStep(1215);
  EXPECT_TRUE(gf_renewalPending());
  EXPECT_TRUE(gf_staticParkingBusy());
  EXPECT_TRUE(g_trafficReader.isCollectingCallsigns());
  g_trafficReader.collectCallsign("BAW12");
  // Run: the collected callsigns are taken over by the renewal.
  lf_fifteenSecondStep(1230);
  EXPECT_FALSE(gf_renewalPending());
  EXPECT_FALSE(g_trafficReader.isCollectingCallsigns());
  EXPECT_EQ(g_liveCallsigns.count("BAW12"), 1u);

  // Initial load only: no renewals.
  prm::INITIAL_LOAD_ONLY.set(true);
  lf_fifteenSecondStep(2400);
  EXPECT_FALSE(gf_renewalRequested());
}

TEST_F(ParkingScheduleTest, ARecalculationCollectsCallsignsUntilTheNext15SecondStep) {
  g_parkingRecalcRequest = true;
  lf_everySecondRequests();
  EXPECT_TRUE(g_trafficReader.isCollectingCallsigns());
  g_trafficReader.collectCallsign("EZY7");
  lf_fifteenSecondStep(45);
  EXPECT_FALSE(g_parkingRecalcRequest.load());
  EXPECT_EQ(g_liveCallsigns.count("EZY7"), 1u);
}

}  // namespace
