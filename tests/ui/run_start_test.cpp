// New settings given while a run waits on its start-up error: the run
// restarts, as the status line says, instead of waiting for the close.
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "support/program_fixture.h"
#include "support/workdir.h"
#include "ui/status_line.h"
#include "ui/window_fixture.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;
namespace fs = std::filesystem;

class RestartTest : public ProgramTest {
 protected:
  HWND control(const ParameterControl& setting) const { return ::GetDlgItem(window(), setting.controlId()); }
};

TEST_F(RestartTest, NewSettingsAfterTheMissingInstallPathErrorRestartTheRun) {
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
