// A run's start as the window shows it: new settings given while a run waits
// on its start-up error restart it, as the status line says; the automatic
// radius holds from the start.
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "platform/simconnect/sim_world.h"
#include "support/program_fixture.h"
#include "support/workdir.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"
#include "ui/window_fixture.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;
namespace fs = std::filesystem;

class RunStartTest : public ProgramTest {
 protected:
  HWND control(const ParameterControl& setting) const { return ::GetDlgItem(window(), setting.controlId()); }
};

TEST_F(RunStartTest, NewSettingsAfterTheMissingInstallPathErrorRestartTheRun) {
  installProgramFolder();
  // The simulator's packages are where no detection looks.
  const fs::path packages = workDir() / "sim" / "Packages";
  fs::create_directories(packages.parent_path());
  fs::rename(appDataDir() / "Microsoft Flight Simulator" / "Packages", packages);
  const std::string missingPath =
      "150: No install path detected, type full path to your Community folder above, and press Enter";

  struct Step {
    const char* what;
    std::function<void()> act;
    std::string status;     // the error line blocks the others
    std::string nextError;  // of the restarted run
  };
  const Step steps[] = {
      {"simulator switch", [&] { ASSERT_TRUE(pickComboText(control(prm::SIM_CHOICE), "MSFS 2024")); },
       "", missingPath},
      {"scan checkbox",
       [&] {
         ASSERT_TRUE(drv::click(control(prm::SCAN_AIRPORTS)));  // off
         ASSERT_TRUE(drv::click(control(prm::SCAN_AIRPORTS)));  // on
       },
       "", missingPath},
      {"Community path",
       [&] {
         HWND field = control(prm::ALL_INSTALL_PATH);
         ASSERT_TRUE(drv::typeText(field, (packages / "Community").string()));
         ASSERT_TRUE(drv::pressEnter(field));
       },
       "Community path found, Skyloom will restart ...", ""},
  };

  const int before = g_runsStarted.load();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(pumpUntil([&] { return gf_statusSnapshot().error == missingPath; }));
  int runs = g_runsStarted.load() - before;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    if (!step.status.empty()) {
      EXPECT_EQ(gf_statusSnapshot().error, "");
      EXPECT_EQ(gf_statusSnapshot().status, step.status);
    }
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
    // A new run starts and gets past its start-up, or stops on the error again.
    ++runs;
    ASSERT_TRUE(pumpUntil(
        [&] {
          if (g_runsStarted.load() - before < runs) return false;
          return step.nextError.empty() ? g_secondCounter.load() >= 2 : gf_statusSnapshot().error == step.nextError;
        },
        std::chrono::seconds(60)));
  }
  EXPECT_EQ(prm::MSFS_2024_INSTALL_PATH.value(), packages.string());
  EXPECT_EQ(gf_statusSnapshot().error, "");
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit(std::chrono::seconds(60)));
  EXPECT_EQ(g_runsStarted.load() - before, 4);
}

TEST_F(RunStartTest, TheAutomaticRadiusHoldsFromTheStart) {
  installProgramFolder();
  writeFile(appDataDir() / "Skyloom" / "parameters.xml",
            "<parameters>\n  <parameter name=\"AUTO_RANGE\" value=\"true\"/>\n"
            "  <parameter name=\"RANGE\" value=\"25\"/>\n</parameters>\n");
  simsim::g_secondMs = 1000;  // the first 30 s step stays far off
  simsim::world().flyUser(46.0, 8.0, 30000.0, 400.0);
  const int before = g_runsStarted.load();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(pumpUntil([&] { return g_runsStarted.load() > before && g_secondCounter.load() >= 1; },
                        std::chrono::seconds(60)));
  ASSERT_LT(g_secondCounter.load(), 30);
  EXPECT_EQ(prm::RANGE.value(), 100);  // above AR_ABOVE_HEIGHT
  EXPECT_EQ(g_rangeNm.load(), 100.0);
  EXPECT_EQ(drv::windowText(control(prm::RANGE)), "100");

  // Turned off, the radius of the settings comes back.
  ASSERT_TRUE(drv::click(control(prm::AUTO_RANGE)));
  EXPECT_EQ(prm::RANGE.value(), 25);
  EXPECT_EQ(drv::windowText(control(prm::RANGE)), "25");
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit(std::chrono::seconds(60)));
}

TEST(RestartForNewSettings, OnlyASystemErrorGivesWay) {
  const std::pair<ExitReason, bool> pending[] = {
      {ExitReason::NotYetSet, true},      {ExitReason::SystemError, true},      {ExitReason::SimWasClosed, false},
      {ExitReason::NewFlight, false},     {ExitReason::NewSettings, false},     {ExitReason::UserClosedSim, false},
      {ExitReason::SimconnectError, false}, {ExitReason::ReaderError, false}};
  for (const auto& [reason, restarts] : pending) {
    gf_resetStopRequest();
    if (reason != ExitReason::NotYetSet) gf_requestStop(reason, 15);
    EXPECT_EQ(gf_requestRestartForNewSettings(3), restarts) << gf_exitReasonName(reason);
    EXPECT_EQ(gf_exitReason(), restarts ? ExitReason::NewSettings : reason);
    EXPECT_EQ(g_restartDelay.load(), restarts ? 3 : 15);
    EXPECT_TRUE(g_stopRun.load());
  }
  gf_resetStopRequest();
}
