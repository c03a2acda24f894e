#include <gtest/gtest.h>

#include "app/log.h"
#include "app/parameters.h"
#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "support/log_reader.h"
#include "support/program_fixture.h"
#include "support/workdir.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

using namespace testsupport;
namespace drv = win32layer::testdriver;

namespace {

void writeParameters(const std::string& body) {
  writeFile(appDataDir() / "Skyloom" / "parameters.xml", "<parameters>\n" + body + "</parameters>\n");
}

std::string storedValue(const std::string& key) {
  const std::string text = readFile(appDataDir() / "Skyloom" / "parameters.xml");
  const std::string needle = "name=\"" + key + "\" value=\"";
  const auto at = text.find(needle);
  if (at == std::string::npos) return "<missing>";
  const auto start = at + needle.size();
  return text.substr(start, text.find('"', start) - start);
}

int runsStartedBefore = 0;

}  // namespace

class MainWindowTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    runsStartedBefore = g_runsStarted.load();
  }
  bool waitForRuns(int n) {
    return pumpUntil([n] { return g_runsStarted.load() - runsStartedBefore >= n && g_secondCounter.load() >= 2; });
  }
};

TEST_F(MainWindowTest, ASecondInstanceReturnsAtOnce) {
  HANDLE other = CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(start(), -1);
  EXPECT_EQ(window(), nullptr);
  EXPECT_FALSE(std::filesystem::exists("Log.txt"));
  CloseHandle(other);
}

TEST_F(MainWindowTest, StartsAtTheStoredPositionAndEndsWhenClosed) {
  installProgramFolder();
  writeParameters("  <parameter name=\"MAIN_WINDOW_X\" value=\"120\"/>\n  <parameter name=\"MAIN_WINDOW_Y\" value=\"60\"/>\n");
  ASSERT_EQ(start(), 0);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(window(), &rect));
  EXPECT_EQ(rect.left, 120);
  EXPECT_EQ(rect.top, 60);
  EXPECT_EQ(rect.right - rect.left, 880);
  EXPECT_EQ(rect.bottom - rect.top, 516);
  EXPECT_EQ(drv::windowText(window()), "Skyloom");
  ASSERT_TRUE(waitForRuns(1));

  ASSERT_TRUE(drv::pressCloseButton(window()));
  EXPECT_TRUE(IsWindow(window()));  // the window stays until the run has closed down
  ASSERT_TRUE(pumpUntilQuit());
  EXPECT_EQ(gf_exitReason(), ExitReason::UserClosedSim);
  EXPECT_TRUE(logHasLine("Run ended: USER CLOSED SIM"));
  // The header line starts the log.
  const std::string log = readFile("Log.txt");
  EXPECT_NE(log.find("(utc) Skyloom version 1.0.0 for"), std::string::npos);
}

TEST_F(MainWindowTest, APositionAtABoundOpensAtTheDefaultAndIsRewritten) {
  installProgramFolder();
  writeParameters("  <parameter name=\"MAIN_WINDOW_X\" value=\"-30000\"/>\n  <parameter name=\"MAIN_WINDOW_Y\" value=\"77\"/>\n");
  ASSERT_EQ(start(), 0);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(window(), &rect));
  EXPECT_EQ(rect.left, 400);
  EXPECT_EQ(rect.top, 77);
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "400");
  EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "77");
}

TEST_F(MainWindowTest, TheEndOfTheProgramStoresThePositionButNotAMinimisedOne) {
  installProgramFolder();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(waitForRuns(1));
  SetWindowPos(window(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(window(), WM_APP_END_PROGRAM, 0, 0);
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "300");
  EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "200");

  drv::minimize(window());
  SendMessageW(window(), WM_APP_END_PROGRAM, 0, 0);
  EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "300");
  EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "200");
}

TEST_F(MainWindowTest, ClosingTwiceKeepsTheFirstReason) {
  installProgramFolder();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(waitForRuns(1));
  ASSERT_TRUE(gf_requestStop(ExitReason::NewFlight));
  drv::pressCloseButton(window());
  drv::pressCloseButton(window());
  EXPECT_EQ(gf_exitReason(), ExitReason::NewFlight);
  ASSERT_TRUE(pumpUntilQuit());  // a closed window cuts the pause after a new flight short
  EXPECT_TRUE(logHasLine("Run ended: NEW FLIGHT"));
}

TEST_F(MainWindowTest, WithoutTheDocsFolderTheRunEndsWithASystemErrorThatSurvivesTheClose) {
  writeFile("input/airports_msfs.xml", "<airports/>");
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(pumpUntil([] { return !gf_statusSnapshot().error.empty(); }));
  EXPECT_EQ(gf_statusSnapshot().error, "Skyloom must be run from the Skyloom folder!");
  EXPECT_TRUE(logHasLine("Error Skyloom must be run from the Skyloom folder!"));
  EXPECT_EQ(gf_exitReason(), ExitReason::SystemError);
  // The error stays on the window until the user closes it: painted, and
  // the run goes on waiting for the close.
  EXPECT_TRUE(pumpUntil([this] { return drv::pixel(window(), 10, 470) == kRed; }));
  EXPECT_FALSE(m_quit);
  EXPECT_FALSE(logHasLine("Run ended: SYSTEM ERROR"));
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit());
  EXPECT_EQ(gf_exitReason(), ExitReason::SystemError);
  EXPECT_TRUE(logHasLine("Run ended: SYSTEM ERROR"));
}

TEST_F(MainWindowTest, MissingDataFilesAreUserErrorsOfTheRun) {
  installProgramFolder();
  std::filesystem::remove("input/airports_msfs.xml");
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(pumpUntil([] { return !gf_statusSnapshot().error.empty(); }));
  EXPECT_EQ(gf_statusSnapshot().error.rfind("88: input/airports_msfs.xml not loaded: ", 0), 0u);
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit());
}

TEST_F(MainWindowTest, TheReferenceDatabaseIsReadBeforeTheAirportList) {
  installProgramFolder();
  std::filesystem::remove("input/dbase.xml");
  std::filesystem::remove("input/airports_msfs.xml");
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(pumpUntil([] { return !gf_statusSnapshot().error.empty(); }));
  EXPECT_EQ(gf_statusSnapshot().error.rfind("60: ", 0), 0u) << gf_statusSnapshot().error;
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit());
}

TEST_F(MainWindowTest, NewSettingsRestartTheRun) {
  installProgramFolder();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(waitForRuns(1));
  prm::DESTINATION.setAndSave("EGLL");
  ASSERT_TRUE(gf_requestStop(ExitReason::NewSettings, 0));
  ASSERT_TRUE(pumpUntil([] { return g_runsStarted.load() - runsStartedBefore == 2; }));
  EXPECT_TRUE(logHasLine("Run ended: NEW SETTINGS"));
  EXPECT_EQ(storedValue("DESTINATION"), "");  // the close-down empties it
  ASSERT_TRUE(pumpUntil([] { return g_secondCounter.load() >= 2; }));
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit());
  EXPECT_EQ(g_runsStarted.load() - runsStartedBefore, 2);
}

TEST_F(MainWindowTest, ClosingDuringTheRestartDelayEndsTheProgram) {
  installProgramFolder();
  ASSERT_EQ(start(), 0);
  ASSERT_TRUE(waitForRuns(1));
  ASSERT_TRUE(gf_requestStop(ExitReason::ReaderError, 60));
  ASSERT_TRUE(pumpUntil([] { return g_runThreadsAlive.load() == 1 && gf_statusSnapshot().status.empty(); }));
  drv::pressCloseButton(window());
  ASSERT_TRUE(pumpUntilQuit(std::chrono::seconds(30)));  // well short of the 60 s delay
  EXPECT_EQ(g_runsStarted.load() - runsStartedBefore, 1);
}

// The status line against a driven clock.
class StatusLineTest : public ProgramTest {};

TEST_F(StatusLineTest, AMessageClearsItself25SecondsLater) {
  openTestLog();
  gf_showStatus("first", true);
  EXPECT_EQ(gf_statusSnapshot().stamp, 1);  // shown at clock 0
  for (int s = 1; s <= 25; ++s) gf_advanceStatusClock();
  EXPECT_EQ(gf_statusSnapshot().status, "first");
  gf_advanceStatusClock();  // clock 26
  EXPECT_EQ(gf_statusSnapshot().status, "");
  EXPECT_TRUE(logHasLine("first"));

  gf_showStatus("one", false);  // at clock 26
  for (int s = 0; s < 20; ++s) gf_advanceStatusClock();
  gf_showStatus("two", false);  // at clock 46: restarts the 25 s
  for (int s = 0; s < 24; ++s) gf_advanceStatusClock();
  EXPECT_EQ(gf_statusSnapshot().status, "two");
  gf_advanceStatusClock();
  EXPECT_EQ(gf_statusSnapshot().status, "");
  EXPECT_FALSE(logHasLine("one"));
}

TEST_F(StatusLineTest, AnErrorBlocksStatusMessagesUntilClearedDirectly) {
  openTestLog();
  gf_showStatus("before", false);
  gf_showError("broken");
  EXPECT_EQ(gf_statusSnapshot().status, "");
  gf_showStatus("hidden", true);
  gf_clearStatus();
  EXPECT_EQ(gf_statusSnapshot().error, "broken");
  EXPECT_EQ(gf_statusSnapshot().status, "");
  EXPECT_TRUE(logHasLine("Error broken"));
  EXPECT_FALSE(logHasLine("hidden"));
  gf_clearError();
  gf_showStatus("after", true);
  EXPECT_EQ(gf_statusSnapshot().status, "after");
}

TEST_F(StatusLineTest, NothingIsLoggedWhileAStopIsPending) {
  openTestLog();
  gf_requestStop(ExitReason::NewSettings);
  gf_showStatus("quiet", true);
  gf_showError("quiet error");
  EXPECT_EQ(gf_statusSnapshot().error, "quiet error");
  EXPECT_TRUE(logLines().empty());
}

TEST_F(StatusLineTest, TheStripIsLimeAndRedWhileAnErrorShows) {
  installProgramFolder();
  ASSERT_EQ(start(), 0);
  gf_showStatus("All good", false);
  ASSERT_TRUE(drv::saveScreenshot(window(), "ok.png"));
  EXPECT_EQ(drv::pixel(window(), 600, 450), kLime);
  // Some of the strip's text is drawn in yellow.
  bool yellow = false;
  for (int x = 3; x < 80 && !yellow; ++x)
    for (int y = 452; y < 470 && !yellow; ++y) yellow = drv::pixel(window(), x, y) == kYellow;
  EXPECT_TRUE(yellow);
  gf_showError("Something broke");
  EXPECT_EQ(drv::pixel(window(), 600, 450), kRed);
  gf_clearError();
  EXPECT_EQ(drv::pixel(window(), 600, 450), kLime);
}

TEST(ExitReason, TheFirstRequestWinsAndResetStartsAfresh) {
  gf_resetStopRequest();
  EXPECT_EQ(gf_exitReasonName(gf_exitReason()), "NOT YET SET");
  EXPECT_TRUE(gf_requestStop(ExitReason::SimWasClosed, 0));
  EXPECT_FALSE(gf_requestStop(ExitReason::NewSettings, 2));
  EXPECT_TRUE(g_stopRun.load());
  EXPECT_EQ(gf_exitReasonName(gf_exitReason()), "SIM WAS CLOSED");
  EXPECT_EQ(g_restartDelay.load(), 0);
  gf_resetStopRequest();
  EXPECT_FALSE(g_stopRun.load());
  EXPECT_TRUE(gf_requestStop(ExitReason::NewSettings, 2));
  EXPECT_EQ(g_restartDelay.load(), 2);
  gf_resetStopRequest();
}

TEST(ExitReason, ConcurrentRequestsNeverShowAStopWithoutAReason) {
  for (int round = 0; round < 50; ++round) {
    gf_resetStopRequest();
    std::atomic<bool> seenBare{false};
    std::thread watcher([&] {
      while (!g_stopRun.load()) {
      }
      if (gf_exitReason() == ExitReason::NotYetSet) seenBare = true;
    });
    std::thread a([] { gf_requestStop(ExitReason::ReaderError, 5); });
    std::thread b([] { gf_requestStop(ExitReason::UserClosedSim, 0); });
    a.join();
    b.join();
    watcher.join();
    EXPECT_FALSE(seenBare.load());
    const auto reason = gf_exitReason();
    EXPECT_TRUE(reason == ExitReason::ReaderError || reason == ExitReason::UserClosedSim);
    EXPECT_EQ(g_restartDelay.load(), reason == ExitReason::ReaderError ? 5 : 0);
  }
  gf_resetStopRequest();
}
