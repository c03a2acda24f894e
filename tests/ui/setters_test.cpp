#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "app/runstate.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "support/log_reader.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/window_fixture.h"
#include "ui/window_setters.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;
using namespace std::chrono_literals;

namespace {

long countLines(const std::string& line) {
  const auto lines = logLines();
  return std::count(lines.begin(), lines.end(), line);
}

void addLive(SimState state, FlightPhase phase, bool onGround) {
  g_liveAircraft.emplace_back(AircraftIdentity{});
  LiveAircraft& aircraft = g_liveAircraft.back();
  aircraft.simState = state;
  aircraft.flightPhase = phase;
  aircraft.onGroundConfirmed = onGround;
}

void addStatic(SimState state) {
  g_staticAircraft.emplace_back(AircraftIdentity{}, 1, StandPosition{}, 0);
  g_staticAircraft.back().simState = state;
}

// The update region's bounds; top and bottom -1 when nothing is pending.
RECT pendingUpdate(HWND window) {
  RECT rect{-1, -1, -1, -1};
  if (!GetUpdateRect(window, &rect, FALSE)) return RECT{-1, -1, -1, -1};
  return rect;
}

}  // namespace

class SettersTest : public WindowTest {};

TEST_F(SettersTest, SettingsAreWrittenIntoTheirControlsFromAnyThread) {
  ASSERT_TRUE(createWindow());
  drv::pumpUntilIdle();  // the window's procedure has recorded its handle
  prm::parking_percentage.set(55);
  prm::MAX_FIT_FL.set(7.5);
  prm::DESTINATION.set("LSZH");
  prm::RANGE.set(16);
  prm::SIM_CHOICE.set("MSFS 2024");
  ASSERT_TRUE(onOtherThread([] {
    gf_setTbIntText(prm::parking_percentage);
    gf_setTbFloatText(prm::MAX_FIT_FL);
    gf_setTbStringText(prm::DESTINATION);
    gf_setTbIntText(prm::RANGE);
    gf_setTbStringText(prm::SIM_CHOICE);
  }));
  EXPECT_EQ(drv::windowText(prm::parking_percentage.handle()), "55");
  EXPECT_EQ(drv::windowText(prm::MAX_FIT_FL.handle()), "7.5");
  EXPECT_EQ(drv::windowText(prm::DESTINATION.handle()), "LSZH");
  // A combo has no text of its own: the value's entry is selected.
  EXPECT_EQ(drv::windowText(prm::RANGE.handle()), "16");
  EXPECT_EQ(drv::windowText(prm::SIM_CHOICE.handle()), "MSFS 2024");
  // The settings panel is repainted.
  drv::pumpUntilIdle();
  gf_setTbStringText(prm::DESTINATION);
  RECT update = pendingUpdate(window());
  EXPECT_EQ(update.top, 112);
  EXPECT_EQ(update.bottom, 392);

  // A whole number of hours is shown without a decimal.
  prm::MAX_FIT_FL.set(24.0);
  gf_setTbFloatText(prm::MAX_FIT_FL);
  EXPECT_EQ(drv::windowText(prm::MAX_FIT_FL.handle()), "24");

  gf_clearControlText(prm::DESTINATION.controlId());
  EXPECT_EQ(drv::windowText(prm::DESTINATION.handle()), "");
  EXPECT_EQ(prm::DESTINATION.value(), "LSZH");  // only the control changes
}

TEST_F(SettersTest, AnUnknownControlIdIsLoggedAndChangesNothing) {
  ASSERT_TRUE(createWindow());
  drv::pumpUntilIdle();
  gf_clearControlText(4242);
  EXPECT_TRUE(logHasLine("GetDlgItem failed for ID 4242"));
  // A setting whose control was never made.
  ControlIntParameter orphan{"ORPHAN", 3, 0, 9, false, 4243, 100};
  gf_setTbIntText(orphan);
  EXPECT_TRUE(logHasLine("GetDlgItem failed for ID 4243"));
  EXPECT_FALSE(GetUpdateRect(window(), nullptr, FALSE));
}

TEST_F(SettersTest, CountersRepaintOnlyThePanelWhoseCountChanged) {
  ASSERT_TRUE(createWindow());
  drv::pumpUntilIdle();
  addLive(SimState::active, FlightPhase::flying, false);
  addLive(SimState::adding2sim, FlightPhase::birth, false);     // not in the simulator yet
  addLive(SimState::active, FlightPhase::parked, false);        // parked, not confirmed on the ground
  addStatic(SimState::active);
  addStatic(SimState::removingfromsim);
  addStatic(SimState::adding2sim);
  lf_refreshLiveCounters();
  LiveCounters counters = gf_liveCounters();
  EXPECT_EQ(counters.activeLive, 1);
  EXPECT_EQ(counters.parkedLive, 0);
  EXPECT_EQ(counters.parkedStatic, 2);
  RECT update = pendingUpdate(window());
  EXPECT_EQ(update.top, 28);  // header and statistics
  EXPECT_EQ(update.bottom, 448);
  drv::pumpUntilIdle();

  // Nothing changed: nothing is repainted.
  lf_refreshLiveCounters();
  EXPECT_FALSE(GetUpdateRect(window(), nullptr, FALSE));

  // Only the active count changes: only the header.
  addLive(SimState::active, FlightPhase::taxi, true);
  lf_refreshLiveCounters();
  update = pendingUpdate(window());
  EXPECT_EQ(update.top, 28);
  EXPECT_EQ(update.bottom, 112);
  drv::pumpUntilIdle();

  // Parking: the active count falls, the parked count rises.
  g_liveAircraft.front().flightPhase = FlightPhase::parked;
  g_liveAircraft.front().onGroundConfirmed = true;
  lf_refreshLiveCounters();
  counters = gf_liveCounters();
  EXPECT_EQ(counters.activeLive, 1);
  EXPECT_EQ(counters.parkedLive, 1);
  drv::pumpUntilIdle();

  // Only a parked count changes: only the statistics.
  g_staticAircraft.pop_back();
  addStatic(SimState::active);
  lf_refreshLiveCounters();
  update = pendingUpdate(window());
  EXPECT_EQ(update.top, 392);
  EXPECT_EQ(update.bottom, 448);
  EXPECT_EQ(gf_liveCounters().parkedStatic, 3);

  // A run reset sets the counters back to 0.
  gf_resetDisplayForRun();
  EXPECT_EQ(gf_liveCounters().activeLive, 0);
  EXPECT_EQ(gf_liveCounters().parkedStatic, 0);
}

TEST_F(SettersTest, WithoutTrafficTheWaitLogsOnceAndTheRunGoesOn) {
  openTestLog();
  EXPECT_FALSE(lf_waitForFirstTraffic(5, 2ms));
  EXPECT_EQ(countLines("No traffic in this region?"), 1);
  EXPECT_FALSE(g_stopRun.load());

  // Traffic arriving during the wait ends it at once, without the line.
  std::thread feed([] {
    std::this_thread::sleep_for(30ms);
    g_firstTrafficTime = 1'700'000'000;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(lf_waitForFirstTraffic(1000, 10ms));
  feed.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(countLines("No traffic in this region?"), 1);

  // A stop or a closed window ends the wait without the line.
  g_firstTrafficTime = 0;
  gf_requestStop(ExitReason::NewSettings, 2);
  EXPECT_FALSE(lf_waitForFirstTraffic(1000, 10ms));
  gf_resetStopRequest();
  g_windowClosed = true;
  EXPECT_FALSE(lf_waitForFirstTraffic(1000, 10ms));
  EXPECT_EQ(countLines("No traffic in this region?"), 1);
}

TEST_F(SettersTest, AReaderErrorRestartsTheRunUnlessTheUserClosedTheWindow) {
  openTestLog();
  gf_readerStopped("Traffic Reader", "recvfrom failed");
  EXPECT_EQ(gf_statusSnapshot().status, "The Traffic Reader has stopped with error: recvfrom failed");
  EXPECT_TRUE(logHasLine("The Traffic Reader has stopped with error: recvfrom failed"));
  EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);
  EXPECT_EQ(g_restartDelay.load(), 15);
  // The second reader's error keeps the first reason and delay.
  gf_readerStopped("QNH Reader", "closed");
  EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);

  gf_resetStopRequest();
  gf_clearStatus();
  // The user closed the window: the reason stays "USER CLOSED SIM".
  g_windowClosed = true;
  gf_requestStop(ExitReason::UserClosedSim);
  gf_readerStopped("QNH Reader", "socket closed");
  EXPECT_EQ(gf_exitReason(), ExitReason::UserClosedSim);
  EXPECT_EQ(g_restartDelay.load(), 0);
  EXPECT_EQ(gf_statusSnapshot().status, "The QNH Reader has stopped with error: socket closed");
}

TEST_F(SettersTest, ALostSimulatorStopsTheRunOnce) {
  openTestLog();
  gf_simGone();
  EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
  EXPECT_EQ(g_restartDelay.load(), 0);
  const auto lines = logLines();
  const auto matches = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.size() == 8 + 60 && l.substr(8) == " Flight Simulator no longer connected, Skyloom will stop ..." &&
           l[2] == ':' && l[5] == ':';
  });
  EXPECT_EQ(matches, 1);
  gf_simGone();  // a stop is pending: nothing more
  EXPECT_EQ(logLines().size(), lines.size());

  // A stop already pending for another reason keeps it, without a log line.
  gf_resetStopRequest();
  gf_requestStop(ExitReason::NewFlight);
  gf_simGone();
  EXPECT_EQ(gf_exitReason(), ExitReason::NewFlight);
  EXPECT_EQ(logLines().size(), lines.size());
}
