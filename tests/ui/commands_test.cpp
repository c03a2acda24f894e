// The window's commands as a user gives them: clicks on checkboxes and
// buttons, picks in combo boxes, text and Enter in edit fields.
#include <atomic>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport_list.h"
#include "airports/learned_file.h"
#include "airports/park_airports.h"
#include "airports/park_read.h"
#include "app/files.h"
#include "app/requests.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/utf.h"
#include "scan/airport_scan.h"
#include "simlink/sim_link.h"
#include "support/airport_builders.h"
#include "support/log_reader.h"
#include "support/park_file_builder.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/edit_commands.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"
#include "ui/window_fixture.h"
#include "ui/window_setters.h"

using namespace testsupport;
using ::testing::HasSubstr;
namespace drv = win32layer::testdriver;
namespace fs = std::filesystem;

class CommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(createWindow());
    ASSERT_TRUE(onOtherThread([] { gf_prepareControlsForRun(); }));
    gf_enableRunControls(true);
  }
  void TearDown() override {
    for (auto* request : {&g_clearLiveriesRequest, &g_autoRangeRequest, &g_navLightsRequest, &g_maxLiveRequest}) {
      request->store(false);
    }
    WindowTest::TearDown();
  }
  void click(const ParameterControl& setting) { ASSERT_TRUE(drv::click(control(setting.controlId()))); }
  // Picks the combo entry showing this text.
  void pick(const ParameterControl& setting, const std::string& text) {
    ASSERT_TRUE(pickComboText(control(setting.controlId()), text)) << "no entry " << text;
  }
  std::string enter(const ParameterControl& field, const std::string& text) {
    HWND edit = control(field.controlId());
    EXPECT_TRUE(drv::clearText(edit));
    EXPECT_TRUE(drv::typeText(edit, text));
    EXPECT_TRUE(drv::pressEnter(edit));
    return drv::windowText(edit);
  }
  static std::string status() { return gf_statusSnapshot().status; }
};

TEST_F(CommandsTest, ScanCheckboxesRestartOnlyBeforeRealTrafficConnected) {
  click(prm::SCAN_LIVERIES);  // on by default: now off
  EXPECT_EQ(status(), "");
  g_idle = false;
  click(prm::SCAN_LIVERIES);
  EXPECT_TRUE(prm::SCAN_LIVERIES.value());
  EXPECT_EQ(status(),
            "Your liveries will be scanned at the next start of Skyloom, recommended after you have add/removed AI "
            "aircraft models/liveries");
  EXPECT_FALSE(g_stopRun.load());

  click(prm::SCAN_LIVERIES);  // off
  g_idle = true;
  click(prm::SCAN_LIVERIES);
  EXPECT_EQ(status(), "Your liveries will be scanned");
  EXPECT_TRUE(g_stopRun.load());
  EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
  EXPECT_EQ(g_restartDelay.load(), 2);
  EXPECT_TRUE(g_clearLiveriesRequest.load());  // emptied by the next run, not by the window
}

TEST_F(CommandsTest, ASimulatorSwitchIsWholeAndTheSameChoiceDoesNothing) {
  pick(prm::SIM_CHOICE, "MSFS 2020");
  EXPECT_FALSE(g_stopRun.load());

  // A scan file that cannot be removed: the switch fails whole, and the
  // combo and the status line say which simulator stays.
  fs::create_directories(g_liveriesScannedPath / "held");
  pick(prm::SIM_CHOICE, "MSFS 2024");
  EXPECT_EQ(prm::SIM_CHOICE.value(), "MSFS 2020");
  EXPECT_EQ(drv::windowText(control(prm::SIM_CHOICE.controlId())), "MSFS 2020");
  EXPECT_THAT(status(), ::testing::StartsWith("Switching Simulator to MSFS 2024 failed, MSFS 2020 stays: "));
  EXPECT_FALSE(g_stopRun.load());
  EXPECT_TRUE(logContains("===> lf_HandleWMCOMMAND exception "));
  fs::remove_all(g_liveriesScannedPath);

  writeFile(g_liveriesScannedPath, "<liveries/>");
  g_airportFilesWritten = true;
  prm::SCAN_AIRPORTS.set(false);
  prm::SCAN_LIVERIES.set(false);
  prm::ALL_INSTALL_PATH.set("C:/sim");
  prm::MYSIMADDON24_VERSION.set("7");
  paintNow();
  pick(prm::SIM_CHOICE, "MSFS 2024");
  EXPECT_EQ(prm::SIM_CHOICE.value(), "MSFS 2024");
  EXPECT_FALSE(fs::exists(g_liveriesScannedPath));
  EXPECT_TRUE(prm::SCAN_AIRPORTS.value() && prm::SCAN_LIVERIES.value());
  EXPECT_EQ(IsDlgButtonChecked(window(), prm::SCAN_LIVERIES.controlId()), BST_CHECKED);
  EXPECT_EQ(prm::ALL_INSTALL_PATH.value(), "");
  EXPECT_EQ(prm::MYSIMADDON24_VERSION.value(), "");
  EXPECT_EQ(g_restartDelay.load(), 3);
  EXPECT_FALSE(g_airportFilesWritten.load()) << "the new simulator's scan would not warn when it finds none";
  // The window shows the new simulator at once.
  EXPECT_FALSE(g_isMsfs2020.load());
  EXPECT_TRUE(textShownAt(window(), 5, 35, "MSFS 2024 mode", RGB(50, 205, 50)));
  EXPECT_TRUE(textShownAt(window(), 768, 231, "Objectids", RGB(160, 160, 160)));
  EXPECT_TRUE(logHasLine("Switching Simulator to MSFS 2024"));

  // The path typed while the restart waits belongs to the selected simulator.
  fs::create_directories("sim24/Packages/Community");
  prm::MSFS_INSTALL_PATH.set("C:/sim2020");
  enter(prm::ALL_INSTALL_PATH, "sim24/Packages/Community");
  EXPECT_EQ(prm::MSFS_2024_INSTALL_PATH.value(), "sim24/Packages");
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "C:/sim2020");
}

TEST_F(CommandsTest, RadiusFromTheComboAndBackFromTheAutomaticOne) {
  pick(prm::RANGE, "25");
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_EQ(g_rangeMeters.load(), 25 * 1852);
  EXPECT_TRUE(g_parkingRefreshRequest.exchange(false));

  click(prm::AUTO_RANGE);
  EXPECT_FALSE(IsWindowEnabled(control(prm::RANGE.controlId())));
  EXPECT_TRUE(g_autoRangeRequest.exchange(false));
  prm::RANGE.set(80);  // what the automatic radius set meanwhile
  gf_setTrafficRange(80);
  click(prm::AUTO_RANGE);
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_EQ(g_rangeNm.load(), 25.0);
  EXPECT_EQ(drv::windowText(control(prm::RANGE.controlId())), "25");

  // Airborne below AIRP_HEIGHT, the radius follows the first airport of the
  // park airports list (a destination), not the loaded park airport.
  UserAircraftData user;
  user.latitude = 51.4775;
  user.longitude = -0.461389;
  user.altitudeAboveGround = 100.0;
  g_userAircraft.set(user);
  g_userOnGround.set(OnGroundReading{false, true});
  g_parkAirport = AirportRec{"EGLL", "LHR", 51.4775, -0.461389, 83};
  g_parkAirports.clear();
  gf_autoRange();
  EXPECT_EQ(prm::RANGE.value(), 40) << "no park airport listed";
  g_parkAirports.push_back(ParkAirportEntry{"EGKK", "", LatLon{51.4775 - 20.4 / 60.0, -0.461389}});
  gf_autoRange();
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_EQ(g_rangeMeters.load(), 25 * 1852);
  EXPECT_EQ(drv::windowText(control(prm::RANGE.controlId())), "25");
  g_parkAirports.clear();
  g_parkAirport = AirportRec{};
  g_userAircraft.set({});
  g_userOnGround.set({});

  struct Case {
    bool onGround;
    double height;
    double distance;
    int radius;
  };
  const Case cases[] = {{true, 30000, 50, 10},   {false, 24001, 5, 100}, {false, 24000, 5, 40},
                        {false, 18001, 5, 40},   {false, 100, 7.0, 10},  {false, 100, 20.4, 25},
                        {false, 100, 36.9, 40},  {false, 100, 37.0, 40}, {false, 100, 8.0, 12}};
  for (const Case& c : cases) {
    EXPECT_EQ(gf_autoRangeFor(c.onGround, c.height, c.distance), c.radius) << c.distance << " " << c.height;
  }
}

// The RANGE combo takes picks only while AUTO_RANGE is off and the Ah combo
// only while it is on, whether the checkbox or a learned file switched it;
// each switch by the file comes after the checkbox left both combos the other
// way.
TEST_F(CommandsTest, TheRangeAndAhCombosFollowAutoRangeFromTheCheckboxAndALearnedFile) {
  const fs::path learned = "EGLL.xml";
  const struct {
    bool fromFile;
    bool on;
    bool radiusOnly = false;  // the file gives a radius and leaves AUTO_RANGE as it is
  } steps[] = {{false, true}, {true, false}, {false, true}, {false, false}, {true, true}, {true, true, true}};
  for (const auto& step : steps) {
    SCOPED_TRACE(fmt::format("{} {}{}", step.fromFile ? "learned file" : "checkbox", step.on,
                             step.radiusOnly ? " (radius only)" : ""));
    if (step.fromFile) {
      if (step.radiusOnly)
        ParkFileBuilder().param("LATERAL_RANGE", "40").write(learned);
      else
        ParkFileBuilder().param("AUTO_RANGE", step.on ? "true" : "false").write(learned);
      ASSERT_TRUE(onOtherThread([&] {
        ParkAirport airport;
        std::vector<Stand> stands;
        std::atomic<bool> handmade{false};
        lf_readLearned(learned, airport, stands, handmade);
      }));
    } else {
      click(prm::AUTO_RANGE);
    }
    ASSERT_EQ(prm::AUTO_RANGE.value(), step.on);
    EXPECT_EQ(IsWindowEnabled(control(prm::RANGE.controlId())) != FALSE, !step.on);
    EXPECT_EQ(IsWindowEnabled(control(prm::AR_ABOVE_HEIGHT.controlId())) != FALSE, step.on);
  }
}

TEST_F(CommandsTest, TextFieldsAreCheckedAndShowTheValueInForce) {
  writeAirportList({AirportEntry::at("EGLL", 51.47, -0.45)});
  ASSERT_TRUE(gf_readAirports("airports_msfs.xml"));
  struct Case {
    ParameterControl* field;
    std::string typed;
    std::string shown;
    std::string status;
  };
  const std::vector<Case> cases{
      // Lengths count characters, not bytes.
      {&prm::BLOCK_CALLSIGN, "ÄÖÜ", "", "callsign 'ÄÖÜ' is not valid"},
      {&prm::BLOCK_CALLSIGN, "Äbcdefgh", "ÄBCDEFGH", "live aircraft with callsign 'ÄBCDEFGH' will be blocked"},
      {&prm::DESTINATION, "ÄBC", "", "destination 'ÄBC' is not valid"},
      {&prm::DESTINATION, "äbcd", "", "destination 'äBCD' is unknown ..."},
      {&prm::BLOCK_CALLSIGN, "baw12", "BAW12", "live aircraft with callsign 'BAW12' will be blocked"},
      {&prm::BLOCK_CALLSIGN, "BAW12", "BAW12", "callsign 'BAW12' was already set ..."},
      {&prm::BLOCK_CALLSIGN, "BAW", "BAW12", "callsign 'BAW' is not valid"},
      {&prm::BLOCK_CALLSIGN, "BAW123456", "BAW12", "callsign 'BAW123456' is not valid"},
      {&prm::DESTINATION, "egll", "EGLL", "New destination: EGLL"},
      {&prm::DESTINATION, "LHR", "EGLL", "destination 'LHR' is not valid"},
      {&prm::DESTINATION, "lfpg", "EGLL", "destination 'LFPG' is unknown ..."},
      {&prm::parking_percentage, "150", "100", "The new parking_percentage is 100"},
      {&prm::parking_percentage, "100", "100", "Same parking_percentage value 100, no changes made"},
      {&prm::parking_percentage, "+-5", "100", "invalid input: +-5"},
      {&prm::parking_percentage, "", "0", "The new parking_percentage is 0"},
      {&prm::parking_percentage, "  ", "0", "invalid input:   "},
      {&prm::parking_percentage, "99999999999", "0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(enter(*c.field, c.typed), c.shown);
    EXPECT_EQ(status(), c.status);
  }
  EXPECT_TRUE(g_blockedCallsignRequest.exchange(false));
  EXPECT_FALSE(IsWindowEnabled(control(g_rereadButton.controlId())));  // until the list took the destination

  // The fit snaps to whole half hours, is saved and answered by the respond
  // note; an emptied field is the whole day; only while a park airport is loaded.
  gf_setParkFileLoaded(true);
  g_secondCounter = 44;
  const struct {
    std::string typed;
    int maxFit;
    std::string shown;
    std::string status;
  } fits[] = {{"7.3", 14, "7.5", "Skyloom will respond in 1 second ..."},
              {"30", 47, "24", "Skyloom will respond in 1 second ..."},
              {"0", 0, "0.5", "Skyloom will respond in 1 second ..."},
              {"nan", 0, "0.5", ""},
              {"inf", 0, "0.5", ""},
              {"", 47, "24", "Skyloom will respond in 1 second ..."}};
  for (const auto& fit : fits) {
    SCOPED_TRACE(fit.typed);
    EXPECT_EQ(enter(prm::MAX_FIT_FL, fit.typed), fit.shown);
    EXPECT_EQ(prm::MAX_FIT.value(), fit.maxFit);
    EXPECT_EQ(prm::MAX_FIT_FL.value(), fit.maxFit * 0.5 + 0.5);
    EXPECT_THAT(readFile(appDataDir() / "Skyloom" / "parameters.xml"),
                HasSubstr(fmt::format("name=\"MAX_FIT\" value=\"{}\"", fit.maxFit)));
    EXPECT_EQ(status(), fit.status);
  }
  EXPECT_TRUE(logContains("===> lf_processTbFloat: not a number, h=nan"));
  EXPECT_TRUE(g_parkingRecalcRequest.exchange(false));
  g_parkingRefreshRequest = false;

  // "Unblock" empties the blocked callsign; a second press has nothing to do.
  ASSERT_TRUE(drv::click(control(g_unblockButton.controlId())));
  EXPECT_EQ(prm::BLOCK_CALLSIGN.value(), "");
  EXPECT_EQ(status(), "no more blocking of live aircraft 'BAW12'");
  gf_enableControl(g_unblockButton.controlId(), true);
  ASSERT_TRUE(drv::click(control(g_unblockButton.controlId())));
  EXPECT_EQ(status(), "Nothing to block or unblock...");
}

TEST_F(CommandsTest, ACommunityPathOrItsParentIsTakenAndRestarts) {
  fs::create_directories("sim/Packages/Community");
  const std::pair<std::string, std::string> accepted[] = {
      {"sim/Packages/Community", "sim/Packages"}, {"sim\\Packages\\Community\\", "sim/Packages"},
      {"sim/Packages/", "sim/Packages"}, {"sim/./Packages/../Packages/Community", "sim/Packages"}};
  for (const auto& [typed, stored] : accepted) {
    gf_resetStopRequest();
    prm::MSFS_INSTALL_PATH.set("");
    enter(prm::ALL_INSTALL_PATH, typed);
    EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), stored) << typed;
    EXPECT_EQ(g_restartDelay.load(), 3);
  }
  gf_resetStopRequest();
  // Blanks are no empty field: the stored path stays.
  enter(prm::ALL_INSTALL_PATH, "   ");
  EXPECT_EQ(status(), "This install path does not exist: ");
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "sim/Packages");
  enter(prm::ALL_INSTALL_PATH, "sim");
  EXPECT_EQ(status(), "This path exists but is not a path to Community ...");
  enter(prm::ALL_INSTALL_PATH, "nowhere/Community");
  EXPECT_EQ(status(), "This install path does not exist: nowhere/Community");
  EXPECT_FALSE(g_stopRun.load());
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "sim/Packages");
  enter(prm::ALL_INSTALL_PATH, "");
  EXPECT_EQ(prm::MSFS_INSTALL_PATH.value(), "");
  EXPECT_FALSE(g_stopRun.load());
}

TEST_F(CommandsTest, ButtonsHandTheirWorkToTheRunThread) {
  ASSERT_TRUE(drv::click(control(g_rereadButton.controlId())));
  EXPECT_TRUE(g_rereadRequest.exchange(false));
  EXPECT_FALSE(IsWindowEnabled(control(g_rereadButton.controlId())));
  EXPECT_FALSE(IsWindowEnabled(control(prm::DESTINATION.controlId())));
  ASSERT_TRUE(drv::click(control(g_flushStaticButton.controlId())));
  EXPECT_TRUE(g_flushStaticRequest.exchange(false));
  EXPECT_EQ(status(), "All static parked aircraft will be removed ...");

  // Parking settings answer with the time to the next 15-second step only
  // while a park airport is loaded.
  click(prm::WEEK);
  EXPECT_EQ(status(), "All static parked aircraft will be removed ...");
  gf_setParkFileLoaded(true);
  g_secondCounter = 44;
  click(prm::WEEK);
  EXPECT_EQ(status(), "Skyloom will respond in 1 second ...");
  EXPECT_TRUE(g_parkingRecalcRequest.exchange(false));
  g_secondCounter = 45;
  pick(prm::MAX_PARK_SEL, "100");
  EXPECT_EQ(status(), "Skyloom will respond in 15 seconds ...");
  g_parkingRecalcRequest = false;
  g_parkingRefreshRequest = false;
  click(prm::NAV_LIGHTS_WHILE_PARKED);
  EXPECT_TRUE(g_navLightsRequest.load());
}

TEST_F(CommandsTest, IntegerCombosSaveTheirChoice) {
  // (AR_ABOVE_HEIGHT takes picks only while AUTO_RANGE is on.)
  const std::pair<ComboIntParameter*, std::string> picks[] = {
      {&prm::MATCHING_DEPTH, "3"},     {&prm::RANGE, "25"},         {&prm::AIRP_RANGE, "12"},
      {&prm::AIRP_HEIGHT, "8000"},     {&prm::MAX_PARK_SEL, "100"}, {&prm::MAX_LIVE_SEL, "200"}};
  for (const auto& [combo, text] : picks) {
    pick(*combo, text);
    EXPECT_EQ(fmt::format("{}", combo->value()), text);
    EXPECT_THAT(readFile(appDataDir() / "Skyloom" / "parameters.xml"),
                HasSubstr(fmt::format("name=\"{}\" value=\"{}\"", combo->name(), text)));
  }
}

TEST_F(CommandsTest, AValueOutsideTheChoicesKeepsEveryPickTrue) {
  // A value in force that is not a choice (a learned file's "no maximum", a
  // hand-edited file) shows as an entry of its own; every entry picked then
  // is the value taken and saved, below the extra entry too.
  struct Case {
    ComboIntParameter* combo;
    std::int32_t inForce;
    std::string picked;
    std::int32_t taken;
  };
  const Case cases[] = {{&prm::MAX_LIVE_SEL, -1, "10", 10},  {&prm::MAX_LIVE_SEL, -1, "30", 30},
                        {&prm::MAX_LIVE_SEL, -1, "500", 500}, {&prm::MAX_LIVE_SEL, -1, "-1", -1},
                        {&prm::RANGE, 7, "8", 8},             {&prm::RANGE, 7, "2", 2},
                        {&prm::RANGE, 7, "100", 100}};
  for (const Case& c : cases) {
    c.combo->setWithoutClamping(c.inForce);
    gf_setTbIntText(*c.combo);
    pick(*c.combo, c.picked);
    EXPECT_EQ(c.combo->value(), c.taken) << c.combo->name() << " " << c.picked;
    EXPECT_EQ(drv::windowText(control(c.combo->controlId())), c.picked);
    if (c.taken != c.inForce) {
      EXPECT_THAT(readFile(appDataDir() / "Skyloom" / "parameters.xml"),
                  HasSubstr(fmt::format("name=\"{}\" value=\"{}\"", c.combo->name(), c.taken)));
    }
  }
  EXPECT_EQ(g_rangeNm.load(), 100.0);  // the radius follows the pick
}

// Every pick of a choice is saved, also one equal to the value a learned file
// set in memory; the entry inserted for a value outside the choices goes as
// soon as the value in force is a choice, so it can never be picked for a
// value that is no longer in force.
TEST_F(CommandsTest, APickIsSavedAndAnEntryOutsideTheChoicesLastsOnlyWithItsValue) {
  const auto stored = [] { return readFile(appDataDir() / "Skyloom" / "parameters.xml"); };
  const auto entries = [this] {
    return static_cast<std::size_t>(::SendMessageW(control(prm::MAX_LIVE_SEL.controlId()), CB_GETCOUNT, 0, 0));
  };
  prm::MAX_LIVE_SEL.setAndSave(500);
  prm::MAX_LIVE_SEL.set(50);  // a learned file's value, in memory only
  gf_setTbIntText(prm::MAX_LIVE_SEL);
  pick(prm::MAX_LIVE_SEL, "50");
  EXPECT_THAT(stored(), HasSubstr("name=\"MAX_LIVE_SEL\" value=\"50\""));

  prm::MAX_LIVE_SEL.setWithoutClamping(-1);  // a learned file without a maximum
  gf_setTbIntText(prm::MAX_LIVE_SEL);
  EXPECT_EQ(entries(), prm::MAX_LIVE_SEL.choices().size() + 1);
  pick(prm::MAX_LIVE_SEL, "20");
  EXPECT_EQ(entries(), prm::MAX_LIVE_SEL.choices().size());
  EXPECT_FALSE(pickComboText(control(prm::MAX_LIVE_SEL.controlId()), "-1"));
  EXPECT_EQ(prm::MAX_LIVE_SEL.value(), 20);
  EXPECT_THAT(stored(), HasSubstr("name=\"MAX_LIVE_SEL\" value=\"20\""));
  EXPECT_EQ(drv::windowText(control(prm::MAX_LIVE_SEL.controlId())), "20");

  // The next airport's learned file sets a choice: the entry goes too.
  prm::MAX_LIVE_SEL.setWithoutClamping(-1);
  gf_setTbIntText(prm::MAX_LIVE_SEL);
  prm::MAX_LIVE_SEL.set(75);
  gf_setTbIntText(prm::MAX_LIVE_SEL);
  EXPECT_EQ(entries(), prm::MAX_LIVE_SEL.choices().size());
  EXPECT_EQ(drv::windowText(control(prm::MAX_LIVE_SEL.controlId())), "75");
  g_maxLive = 500;
}

TEST_F(CommandsTest, ParkingSettingsReachTheStaticParkingOnlyWithAParkAirport) {
  // Twelve live aircraft in the simulator, each farther from the user than the one before.
  for (std::uint32_t i = 0; i < 12; ++i) {
    AircraftIdentity identity;
    identity.hexid = 30001 + i;
    LiveAircraft& aircraft = g_liveAircraft.emplace_back(std::move(identity));
    aircraft.simState = SimState::active;
    aircraft.objectId = 100 + i;
    aircraft.position.latitude = 1.0 + i * 0.01;
  }
  g_removeRequests.clear();
  g_maxLive = 500;
  g_parkingRefreshRequest = false;

  // With a park airport the static parking takes the change up and sets the live maximum,
  // and the learned file is saved at the unloading to keep the new value.
  gf_setParkFileLoaded(true);
  for (const CheckBoolParameter* box : {&prm::INITIAL_LOAD_ONLY, &prm::LEARN_SOFT}) {
    click(*box);
    EXPECT_TRUE(g_parkingRefreshRequest.exchange(false)) << box->name();
    EXPECT_TRUE(g_apfChanged.exchange(false)) << box->name();
  }
  click(prm::NAV_LIGHTS_WHILE_PARKED);  // not kept in a learned file
  EXPECT_FALSE(g_apfChanged.load());
  pick(prm::MAX_LIVE_SEL, "20");
  EXPECT_TRUE(g_parkingRefreshRequest.exchange(false));
  EXPECT_TRUE(g_apfChanged.exchange(false));
  enter(prm::parking_percentage, "100");
  EXPECT_TRUE(g_apfChanged.exchange(false));
  enter(prm::parking_percentage, "150");  // clamped to the value in force
  EXPECT_FALSE(g_apfChanged.load());
  enter(prm::parking_percentage, "55");
  EXPECT_TRUE(g_apfChanged.exchange(false));
  enter(prm::MAX_FIT_FL, "3");
  EXPECT_TRUE(g_apfChanged.exchange(false));
  g_parkingRefreshRequest = false;
  EXPECT_EQ(g_maxLive.load(), 500);
  gf_takeWindowRequests();
  EXPECT_TRUE(g_removeRequests.empty());

  // Without one nothing is asked of it, and the live maximum holds at once:
  // the farthest aircraft above it leave the simulator.
  gf_setParkFileLoaded(false);
  for (const CheckBoolParameter* box : {&prm::INITIAL_LOAD_ONLY, &prm::LEARN_SOFT}) {
    click(*box);
    EXPECT_FALSE(g_parkingRefreshRequest.load()) << box->name();
  }
  pick(prm::MAX_LIVE_SEL, "10");
  EXPECT_FALSE(g_parkingRefreshRequest.load());
  EXPECT_FALSE(g_apfChanged.load());
  EXPECT_EQ(g_maxLive.load(), 10);
  gf_takeWindowRequests();
  EXPECT_EQ(g_removeRequests, (std::deque<std::uint32_t>{111, 110}));
  g_removeRequests.clear();
  gf_clearTrafficLists();
  g_maxLive = 500;
}
