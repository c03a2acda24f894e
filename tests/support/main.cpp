#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/livery_tables.h"
#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_save.h"
#include "airports/park_switch.h"
#include "airports/stands.h"
#include "airports/static_candidate.h"
#include "airports/static_placement.h"
#include "app/clock.h"
#include "app/download.h"
#include "app/log.h"
#include "scan/airport_scan.h"
#include "app/parking_schedule.h"
#include "app/random.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "feed/live_updates.h"
#include "feed/rt_server.h"
#include "feed/traffic_reader.h"
#include "feed/udp_readers.h"
#include "platform/simconnect/sim_world.h"
#include "simlink/sim_link.h"
#include "support/workdir.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"
#include "traffic/traffic_tick.h"
#include "ui/display_state.h"
#include "ui/status_line.h"
#include "ui/rt_reports.h"
#include "ui/traffic_range.h"

namespace fs = std::filesystem;

// cairo's text drawing goes through fontconfig, which keeps its caches for the
// life of the process; the leak checker would report them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace testsupport {
namespace {
fs::path g_originalDir;
fs::path g_workDir;
}  // namespace

fs::path workDir() { return g_workDir; }
fs::path appDataDir() { return g_workDir / "appdata"; }

void writeFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string xmlEscape(const std::string& value) {
  std::string text;
  text.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '&': text += "&amp;"; break;
      case '<': text += "&lt;"; break;
      case '>': text += "&gt;"; break;
      case '"': text += "&quot;"; break;
      default: text += c;
    }
  }
  return text;
}

namespace {
// Every process-wide state a test can change, back to where a fresh process
// starts, so that no test sees what another one left (the tests run in any
// order in one process).
void lf_resetProcessState() {
  // The run state.
  g_windowClosed = false;
  gf_resetStopRequest();
  g_oneSecondSignal = false;
  g_secondCounter = 0;
  g_idle = true;
  gf_clearError();
  gf_clearStatus();
  gf_resetStatusClock();
  // The simulator and its link; the simulator's time.
  gf_resetSimLinkForTests();
  simsim::world().reset();
  simsim::g_secondMs = 1000;
  g_simEpochSeconds = 0;
  // RealTraffic and the readers; the simulator chosen.
  gf_closeRtServer();
  g_rtConnected = false;
  g_realTrafficLocal = false;
  g_isMsfs2020 = true;
  // As at a run's start (the reader's callsigns and QNH, the counts, the
  // RealTraffic text and level, the bounded log lines).
  gf_resetFeedState();
  gf_resetRtLinkForRun();
  gf_resetLogBounds();
  g_trafficReader.clearParkAirportPosition();
  g_trafficReader.takeCollectedCallsigns();
  gf_setTrafficAccepted(false);
  gf_takeLiveUpdates(kLiveUpdateQueueLimit);
  // The clock, chance and the download server.
  gf_setFixedClock(std::nullopt);
  gf_seedRng(std::mt19937::default_seed);
  gf_forgetServerFiles();
  // No test reaches the real download server: port 1 on loopback refuses
  // at once. Tests that download start their own server.
  gf_setDownloadServer("http://127.0.0.1:1/");
  // The tables and lists.
  gf_waitForParkFileRead();
  gf_resetParametersToDefaults();
  gf_resetAirportsForTests();
  gf_resetDbaseForTests();
  gf_resetAirportScanLogForTests();
  gf_clearLiveryTables();
  gf_clearTrafficLists();
  gf_resetTrafficTick();
  gf_resetParkingSchedule();
  gf_resetDisplayState();
  // Requests another thread left are carried out on the lists that are
  // emptied next.
  gf_runParkAirportRequests();
  g_parkAirports.clear();
  g_reservedStand.clear();
  g_parkReloadRequest = false;
  g_parkStands.clear();
  g_parkApf = ParkAirport{};
  g_parkApfPath.clear();
  g_apfHandmade = false;
  g_apfChanged = false;
  g_rtTrafficWeek = 0;
  g_parkElevation = 0.0;
  g_staticCandidates.clear();
  g_staticCounter = 0;
  g_learnedUpdates = 0;
  gf_setTrafficRange(prm::RANGE.value());
  g_manualRange = prm::RANGE.value();
}

std::size_t lf_threadCount() {
  std::error_code ec;
  std::size_t count = 0;
  for (fs::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) ++count;
  return count;
}

// Threads a test started and let go (the readers notice a stop within their
// receive step) end before the next test, so that none of them logs into
// the next test's log. A test that leaves one behind for good is named.
void lf_waitForLeftThreads(std::size_t before, const ::testing::TestInfo& test) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (lf_threadCount() > before) {
    if (std::chrono::steady_clock::now() > end) {
      std::fprintf(stderr, "%s.%s left %zu threads running\n", test.test_suite_name(), test.name(),
                   lf_threadCount() - before);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class WorkDirListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    std::random_device rd;
    g_workDir = fs::temp_directory_path() / ("skyloom-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(g_workDir / "appdata");
    fs::create_directories(g_workDir / "localappdata");
    fs::create_directories(g_workDir / "tmp");
    setenv("APPDATA", (g_workDir / "appdata").c_str(), 1);
    setenv("LOCALAPPDATA", (g_workDir / "localappdata").c_str(), 1);
    fs::current_path(g_workDir);
    lf_resetProcessState();
    m_threadsBefore = lf_threadCount();
  }
  void OnTestEnd(const ::testing::TestInfo& test) override {
    lf_waitForLeftThreads(m_threadsBefore, test);
    lf_resetProcessState();
    gf_closeLog();
    fs::current_path(g_originalDir);
    std::error_code ec;
    fs::remove_all(g_workDir, ec);
  }

  std::size_t m_threadsBefore = 0;
};
}  // namespace
}  // namespace testsupport

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testsupport::g_originalDir = fs::current_path();
  // A runtime that starts a thread of its own with the first thread of the
  // process (ThreadSanitizer does) starts it now, before the listener first
  // counts the threads.
  std::thread([] {}).join();
  ::testing::UnitTest::GetInstance()->listeners().Append(new testsupport::WorkDirListener);
  return RUN_ALL_TESTS();
}
