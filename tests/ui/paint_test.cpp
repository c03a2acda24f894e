#include <gtest/gtest.h>

#include <fmt/format.h>

#include "app/runstate.h"
#include "airports/static_placement.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "support/log_reader.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/window_fixture.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;

namespace {

constexpr COLORREF kGrey = RGB(160, 160, 160);
const RECT kStatistics{0, 393, 864, 448};

void repaintAll(HWND window) { InvalidateRect(window, nullptr, TRUE); }

}  // namespace

class PaintTest : public WindowTest {};

TEST_F(PaintTest, BeforeTheSimulatorConnectsTheHeaderShowsTheModeAndARedLamp) {
  ASSERT_TRUE(createWindow());
  EXPECT_TRUE(allPixels(window(), RECT{397, 30, 425, 60}, kRed));
  EXPECT_EQ(drv::pixel(window(), 400, 40), kRed);
  EXPECT_EQ(drv::pixel(window(), 420, 105), kRed);
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2020 mode", kLime));
  EXPECT_TRUE(textShownAt(window(), 398, 63, "Sim", kLime));
  // Before the run reached RealTraffic the RealTraffic lamp is dark.
  EXPECT_TRUE(allPixels(window(), RECT{426, 30, 453, 60}, kBlack));
  // Nothing counted yet.
  EXPECT_TRUE(textShownAt(window(), 5, 91, "# liveries: ...", kRed));
  EXPECT_TRUE(textShownAt(window(), 141, 91, "# simaddon: ...", kYellow));
  EXPECT_TRUE(textShownAt(window(), 278, 91, "# thirdp: ...", kYellow));

  g_isMsfs2020 = false;
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2024 mode", kLime));
  EXPECT_TRUE(textShownAt(window(), 768, 231, "Objectids", kGrey));

  // Connected without a flight: yellow; with one: lime, and the texts follow.
  gf_setSimConnected(true);
  gf_setSimText("MSFS 2024 1.2.3");
  gf_setFlightText("Airbus A320 Neo", false);
  EXPECT_EQ(drv::pixel(window(), 400, 40), kYellow);
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2024 1.2.3", kYellow));
  EXPECT_TRUE(textShownAt(window(), 5, 63, "Airbus A320 Neo", kYellow));
  gf_setFlightRunning(true);
  gf_setUserStandName("A12");
  gf_setFlightText("Airbus A320 Neo", true);
  EXPECT_EQ(drv::pixel(window(), 400, 40), kLime);
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2024 1.2.3, user stand A12", kLime));
  EXPECT_TRUE(textShownAt(window(), 5, 63, "Airbus A320 Neo", kLime));
}

TEST_F(PaintTest, TheHeaderShowsCountsReadersQnhAndLiveAircraft) {
  ASSERT_TRUE(createWindow());
  gf_setLiveriesCount(1234);
  gf_setSimaddonCount(56, false);
  gf_setThirdpartyCount(7);
  EXPECT_TRUE(textShownAt(window(), 5, 91, "# liveries: 1234", kLime));
  EXPECT_TRUE(textShownAt(window(), 141, 91, "# simaddon: 56", kYellow));
  EXPECT_TRUE(textShownAt(window(), 278, 91, "# thirdp: 7", kLime));
  gf_setSimaddonCount(56, true);
  EXPECT_TRUE(textShownAt(window(), 141, 91, "# simaddon: 56", kLime));

  // The run cleared the lamp's off flag; the readers run, traffic arrives.
  gf_setRealTrafficLampOff(false);
  repaintAll(window());
  EXPECT_EQ(drv::pixel(window(), 450, 40), kRed);  // readers not active
  g_readersActive = true;
  g_trafficReaderStatus = kReaderNoNewData;
  g_qnhReaderStatus = kReaderReceiving;
  g_qnhShown = 1013;
  gf_setRealTrafficText("RealTraffic 10.0 (standard)");
  g_liveAircraft.emplace_back(AircraftIdentity{});
  g_liveAircraft.back().simState = SimState::active;
  g_liveAircraft.back().flightPhase = FlightPhase::flying;
  repaintAll(window());
  EXPECT_EQ(drv::pixel(window(), 450, 40), kYellow);
  EXPECT_TRUE(textShownAt(window(), 458, 35, "RealTraffic 10.0 (standard)", kLime));
  EXPECT_TRUE(textShownAt(window(), 458, 63, "Weather", kLime));
  EXPECT_TRUE(textShownAt(window(), 458, 91, "Traffic", kYellow));
  EXPECT_TRUE(textShownAt(window(), 642, 63, "qnh: 1013", kLime));
  EXPECT_TRUE(textShownAt(window(), 642, 91, "live:   0", kLime));
  // The weather reader gets no new data: its last QNH stays in the header.
  gf_resetReaderCounts();
  gf_checkReaderLiveness();
  ASSERT_EQ(g_qnhReaderStatus.load(), kReaderNoNewData);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 458, 63, "Weather", kYellow));
  EXPECT_TRUE(textShownAt(window(), 642, 63, "qnh: 1013", kLime));

  g_trafficReaderStatus = kReaderReceiving;
  g_qnhReaderStatus = kReaderStopped;
  lf_storeLiveCounters({3, 0, 0});
  repaintAll(window());
  EXPECT_EQ(drv::pixel(window(), 450, 40), kLime);
  EXPECT_TRUE(textShownAt(window(), 642, 91, "live:   3", kLime));
  EXPECT_FALSE(anyPixel(window(), RECT{458, 63, 520, 78}, kLime));  // no "Weather" for a stopped reader
  EXPECT_FALSE(anyPixel(window(), RECT{642, 63, 720, 78}, kLime));  // nor its QNH
  ASSERT_TRUE(drv::saveScreenshot(window(), "header.png"));
}

TEST_F(PaintTest, WithoutAParkAirportTheStatisticsPanelStaysBlack) {
  ASSERT_TRUE(createWindow());
  lf_storeLiveCounters({2, 3, 4});
  gf_setStandCount(80);
  repaintAll(window());
  EXPECT_TRUE(allPixels(window(), kStatistics, kBlack));

  gf_setParkAirportName("EGLL (LHR)", false);
  gf_setParkFileLoaded(true);
  EXPECT_TRUE(textShownAt(window(), 5, 399, "EGLL (LHR)", kYellow));
  EXPECT_TRUE(textShownAt(window(), 5, 427, "# stands:  80", kLime));
  EXPECT_TRUE(textShownAt(window(), 111, 427, "parked live:   3", kLime));
  EXPECT_TRUE(textShownAt(window(), 430, 427, "parked static:   4", kLime));
  EXPECT_TRUE(textShownAt(window(), 249, 427, "average fit: --", kLime));
  EXPECT_TRUE(textShownAt(window(), 708, 427, "no max park live", kLime));

  gf_setParkAirportName("EGLL (LHR)", true);
  gf_setParkFileTexts("Heathrow", "simaddon");
  gf_setParkFileFlags(true, 2);
  gf_setSoftUsed(true);
  gf_setQualityText("62");
  gf_setReservedStand("512", false);
  gf_setAverageFit(2.25);
  g_learnedUpdates = 17;
  g_windowWantedStatics = 24;
  g_windowWantedPercent = 30;
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 5, 399, "EGLL (LHR)", kLime));
  EXPECT_TRUE(textShownAt(window(), 85, 399, " Heathrow, simaddon (h), wk=2", kLime));
  EXPECT_TRUE(textShownAt(window(), 370, 399, "*S*", kLime));
  EXPECT_TRUE(textShownAt(window(), 430, 399, "qf: 62", kLime));
  EXPECT_TRUE(textShownAt(window(), 571, 399, "reserved stand: 512", kRed));
  EXPECT_TRUE(textShownAt(window(), 748, 399, "# updates:   17", kLime));
  EXPECT_TRUE(textShownAt(window(), 249, 427, "average fit: 2.2", kLime) ||
              textShownAt(window(), 249, 427, "average fit: 2.3", kLime));
  EXPECT_TRUE(textShownAt(window(), 708, 427, "max park:  24 (=30 %)", kLime));
  ASSERT_TRUE(drv::saveScreenshot(window(), "statistics.png"));
  // No static placed: no average fit either.
  ASSERT_TRUE(g_staticAircraft.empty());
  EXPECT_EQ(lf_staticParkedStats(true), 0);
  EXPECT_TRUE(textShownAt(window(), 249, 427, "average fit: --", kLime));

  // Unloading empties the panel again.
  gf_clearParkAirportDisplay();
  EXPECT_TRUE(allPixels(window(), kStatistics, kBlack));
}

TEST_F(PaintTest, LabelsFollowTheSettingsAtTheNextPaint) {
  ASSERT_TRUE(createWindow());
  prm::AUTO_RANGE.set(true);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 430, 231, "Ah:", kBlack));
  EXPECT_TRUE(textShownAt(window(), 536, 231, "ft", kBlack));
  prm::AUTO_RANGE.set(false);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 430, 231, "Ah:", kGrey));
  EXPECT_TRUE(textShownAt(window(), 536, 231, "ft", kGrey));

  // Yellow while on (or off) as each label says.
  EXPECT_TRUE(textShownAt(window(), 25, 147, "Scan for liveries", kYellow));  // on by default
  EXPECT_TRUE(textShownAt(window(), 768, 203, "GUID changes", kBlack));
  EXPECT_TRUE(textShownAt(window(), 672, 315, "Straight push backs only", kGrey));
  prm::SCAN_LIVERIES.set(false);
  prm::GUID_CHANGES.set(false);
  prm::STRAIGHT_PBS_ONLY.set(true);
  prm::INITIAL_LOAD_ONLY.set(true);
  prm::HALVARD.set(true);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 25, 147, "Scan for liveries", kBlack));
  EXPECT_TRUE(textShownAt(window(), 768, 203, "GUID changes", kYellow));
  EXPECT_TRUE(textShownAt(window(), 672, 315, "Straight push backs only", kBlack));
  EXPECT_TRUE(textShownAt(window(), 450, 371, "ILO", kYellow));
  EXPECT_TRUE(textShownAt(window(), 672, 203, "Halvard", kYellow));

  // A disabled class checkbox greys its label.
  EnableWindow(prm::HELICOPTERS.handle(), FALSE);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 450, 203, "Helicopters", kGrey));
  EXPECT_TRUE(textShownAt(window(), 343, 203, "Light aircraft", kBlack));

  // The airport parking line and the values other threads set.
  gf_setStaticParkingBusy(true);
  gf_setOfflineLearningCount(3);
  EXPECT_TRUE(textShownAt(window(), 5, 315, "Airport parking active", kYellow));
  EXPECT_TRUE(textShownAt(window(), 217, 175, "3 airports in TBLO folder", kYellow));
  gf_setStaticParkingBusy(false);
  gf_setOfflineLearningCount(1);
  EXPECT_TRUE(textShownAt(window(), 5, 315, "Airport parking", kBlack));
  EXPECT_TRUE(textShownAt(window(), 217, 175, "1 airport in TBLO folder", kYellow));

  // "(next in {} min)" only with a loaded park file and renewals on.
  gf_setParkFileLoaded(true);
  gf_setMinutesToRenewal(12);
  EXPECT_FALSE(textShownAt(window(), 5, 343, "(next in 12 min)", kBlack));  // INITIAL_LOAD_ONLY is on
  prm::INITIAL_LOAD_ONLY.set(false);
  repaintAll(window());
  EXPECT_TRUE(textShownAt(window(), 5, 343, "(next in 12 min)", kBlack));
  gf_setMinutesToRenewal(20);
  EXPECT_FALSE(textShownAt(window(), 5, 343, "(next in 20 min)", kBlack));
  for (const int minutes : {19, 1}) {
    gf_setMinutesToRenewal(minutes);
    EXPECT_TRUE(textShownAt(window(), 5, 343, fmt::format("(next in {} min)", minutes), kBlack)) << minutes;
  }
  gf_setMinutesToRenewal(0);
  EXPECT_FALSE(textShownAt(window(), 5, 343, "(next in 0 min)", kBlack));

  prm::CALLSIGN_2_OBJECTID.set("BAW123");
  gf_setObjectIdText("oid 4711");
  EXPECT_TRUE(textShownAt(window(), 561, 259, "oid 4711", kBlack));
  ASSERT_TRUE(drv::saveScreenshot(window(), "labels.png"));
}

TEST_F(PaintTest, AnErrorTurnsTheStatusStripRedOverTheWholeWidth) {
  ASSERT_TRUE(createWindow());
  EXPECT_TRUE(allPixels(window(), RECT{0, 450, 864, 451}, kLime));
  gf_showError("150: No install path detected");
  EXPECT_TRUE(allPixels(window(), RECT{0, 450, 864, 451}, kRed));
  EXPECT_TRUE(textShownAt(window(), 3, 455, "150: No install path detected", kYellow));
  gf_clearError();
  EXPECT_TRUE(allPixels(window(), RECT{0, 450, 864, 451}, kLime));

  // A text that is no UTF-8 shows as "?" and gets the conversion line every text gets.
  gf_showError("bad \xFF text");
  EXPECT_TRUE(textShownAt(window(), 3, 455, "?", kYellow));
  EXPECT_TRUE(logContains("gf_paintWindow conversion exception"));
}

TEST_F(PaintTest, TheFrameOfPanelsAndLinesIsDrawn) {
  ASSERT_TRUE(createWindow());
  EXPECT_TRUE(textShownAt(window(), 3, 7, "Version 1.0.0", kLime));
  EXPECT_TRUE(textShownAt(window(), 390, 7, "Skyloom", kLime));
  EXPECT_EQ(drv::pixel(window(), 200, 28), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window(), 200, 113), RGB(255, 255, 255));
  EXPECT_EQ(drv::pixel(window(), 200, 392), RGB(255, 255, 255));
  // The status strip, painted last, covers the white line at 449.
  EXPECT_EQ(drv::pixel(window(), 200, 449), kLime);
  EXPECT_EQ(drv::pixel(window(), 200, 112), kLightBlue);
  // The separators: full width at 140 and 308, to the vertical line elsewhere.
  EXPECT_EQ(drv::pixel(window(), 700, 140), kBlack);
  EXPECT_EQ(drv::pixel(window(), 700, 308), kBlack);
  EXPECT_EQ(drv::pixel(window(), 600, 168), kBlack);
  EXPECT_EQ(drv::pixel(window(), 700, 168), kLightBlue);
  EXPECT_EQ(drv::pixel(window(), 642, 250), kBlack);
  EXPECT_EQ(drv::pixel(window(), 643, 250), kLightBlue);
}

TEST_F(PaintTest, EditFieldsAreFilledLightBlueEnabledOrNot) {
  ASSERT_TRUE(createWindow());
  HWND destination = prm::DESTINATION.handle();
  EXPECT_EQ(drv::pixel(window(), 260, 350), kLightBlue);  // disabled, inside the border
  EnableWindow(destination, TRUE);
  ASSERT_TRUE(drv::typeText(destination, "EG"));
  EXPECT_EQ(drv::pixel(window(), 260, 350), kLightBlue);  // enabled, right of its text
  EXPECT_EQ(drv::pixel(window(), 219, 345), kLightBlue);  // left of its text, above the letters
}

TEST_F(PaintTest, TheHeaderShowsTheChosenSimulatorFromCreationAndAfterARunStart) {
  prm::SIM_CHOICE.setAndSave("MSFS 2024");
  prm::SIM_CHOICE.set("MSFS 2020");  // the window takes the stored choice
  ASSERT_TRUE(createWindow());
  EXPECT_FALSE(g_isMsfs2020.load());
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2024 mode", kLime));

  // A run start with the other simulator repaints the header, not only the settings.
  paintNow();
  prm::SIM_CHOICE.set("MSFS 2020");
  gf_prepareControlsForRun();
  EXPECT_TRUE(g_isMsfs2020.load());
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2020 mode", kLime));
}
