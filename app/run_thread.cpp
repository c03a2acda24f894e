#include "app/run_thread.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_switch.h"
#include "airports/static_placement.h"
#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/parking_schedule.h"
#include "app/runstate.h"
#include "aircraftdata/livery_tables.h"
#include "airports/park_find.h"
#include "ui/commands.h"
#include "app/text.h"
#include "app/settings.h"
#include "app/version.h"
#include "scan/airport_scan.h"
#include "scan/livery_scan.h"
#include "simlink/sim_link.h"
#include "traffic/removals.h"
#include "traffic/traffic_tick.h"
#include "scan/sim_paths.h"
#include "feed/feed_state.h"
#include "feed/live_updates.h"
#include "feed/rt_server.h"
#include "feed/udp_readers.h"
#include "ui/edit_commands.h"
#include "ui/rt_reports.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/window_setters.h"
#include "platform/win32/kernel.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"

FeedStart g_feedStart;
std::atomic<int> g_runThreadsAlive{0};
std::atomic<int> g_runsStarted{0};

namespace {

using namespace std::chrono_literals;

// Waits up to the given time in short steps; returns early (false) when the
// flag is raised, so that a close or a stop never hangs on a wait of the run.
bool lf_waitUnless(const std::atomic<bool>& flag, std::chrono::milliseconds total) {
  const auto end = std::chrono::steady_clock::now() + total;
  while (std::chrono::steady_clock::now() < end) {
    if (flag.load()) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        50ms, end - std::chrono::steady_clock::now()));
  }
  return !flag.load();
}

void lf_postToWindow(UINT message) {
  HWND window = g_mainWindowHandle.load();
  if (window != nullptr) ::PostMessageW(window, message, 0, 0);
}

void lf_checkDocsFolder() {
  std::error_code ec;
  if (!std::filesystem::is_directory("docs", ec))
    throw qor::UserErrorException(99, fmt::format("{} must be run from the {} folder!", kProgramName, kProgramName));
}

void lf_readSettings() {
  gf_readParameters();
  gf_logParameters();
  // Fills the combos, shows every setting in its control and sets g_isMsfs2020.
  gf_prepareControlsForRun();
}

void lf_setTaskLimit() {
  g_maxTasks.store(std::max(1, static_cast<int>(std::thread::hardware_concurrency())));
  g_runningTasks.store(0);
}

void lf_prepareAirportsFolder() {
  for (const auto& folder : {g_airportsFolder, g_myThirdpartyFolder, g_mySimaddonFolder, g_learnedSimaddonFolder,
                             g_learnedThirdpartyFolder}) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) gf_logError("Could not create folder '{}': {}", folder.string(), ec.message());
  }
}

void lf_readAirportList() { gf_readAirports("airports_msfs.xml"); }

void lf_findInstallPath() {
  gf_setupInstallPath([](const std::string&) {
    gf_setTbStringText(prm::ALL_INSTALL_PATH);
    gf_enableControl(prm::ALL_INSTALL_PATH.controlId(), true);
  });
}

void lf_checkRealTrafficLocal() {
  std::error_code ec;
  const auto jar = gf_getAppDataPath() / "InsideSystems" / "RealTraffic.jar";
  g_realTrafficLocal.store(std::filesystem::is_regular_file(jar, ec));
  gf_logLine("RealTraffic {}", g_realTrafficLocal.load() ? "is installed on this PC" : "runs on another PC");
}

// A rescan or a simulator switch asked the window for empty livery tables:
// they are emptied here, on the run thread, before the scan fills them.
void lf_emptyLiveryTablesOnRequest() {
  if (g_clearLiveriesRequest.exchange(false)) gf_clearLiveryTables();
}

// The park airports list, once per run, after the airport list.
void lf_readParkAirports() { lf_readMyParkAirports(); }

// A destination kept from the last session becomes the first park airport again.
void lf_restoreDestination() {
  const std::string icao = prm::DESTINATION.value();
  if (icao.empty()) return;
  if (const AirportRec* airport = gf_findAirportByIcao(icao)) {
    lf_newDestination(icao, LatLon{airport->latitude, airport->longitude});
  }
}

// The start-up steps in their order; each may throw.
void lf_startUp() {
  using Step = void (*)();
  const Step steps[] = {lf_checkDocsFolder,       lf_readSettings,           lf_prepareAirportsFolder,
                        gf_readDbase,             lf_readAirportList,        lf_findInstallPath,
                        lf_checkRealTrafficLocal, lf_setTaskLimit,           lf_checkLiveriesScannedFile,
                        lf_emptyLiveryTablesOnRequest, gf_scanLiveries,    gf_airportScanStep,
                        lf_readParkAirports,      lf_restoreDestination};
  for (Step step : steps) {
    if (g_stopRun.load()) return;
    step();
  }
}

// Waits in steps until done() or the run stops; false when it stopped.
bool lf_waitFor(const std::function<bool()>& done, std::chrono::milliseconds step) {
  while (!g_stopRun.load()) {
    if (done()) return true;
    std::this_thread::sleep_for(step);
  }
  return false;
}

// The start of the run body: the simulator link, a running flight, and the
// user aircraft's first position.
bool lf_connectSimulator() {
  gf_startSimClient();
  if (!lf_waitFor([] { return g_simRunning.load(); }, 100ms)) return false;
  // The flight runs: the RealTraffic lamp shows the link's state from now on.
  gf_setRealTrafficLampOff(false);
  return lf_waitFor(
      [] {
        const LatLon position = gf_userPosition();
        return position.latitude != 0.0 || position.longitude != 0.0;
      },
      500ms);
}

// The feed: RealTraffic on this PC connects to our server first (unless the
// HQV mode is on); then the QNH Reader, 2 s later the Traffic Reader, the
// first position (and time) line, and up to 15 s for the first traffic.
// False when the run was stopped meanwhile.
bool lf_connectFeed() {
  if (g_realTrafficLocal.load() && !prm::HALVARD.value()) {
    if (!gf_openRtServer()) {
      gf_showError("RealTraffic's port could not be opened");
      gf_requestStop(ExitReason::SystemError);
      return false;
    }
    gf_showStatus("Waiting for RealTraffic to connect ...", false);
    if (!waitForClient()) return false;
    gf_rtHandshake();
    gf_clearStatus();
  }
  g_idle.store(false);
  gf_setTrafficAccepted(true);
  gf_startQnhReader(g_feedStart.qnhPort);
  if (!lf_waitUnless(g_stopRun, g_feedStart.readerPause)) return false;
  gf_startTrafficReader(g_feedStart.trafficPort);
  g_readersActive.store(true);
  gf_sendUserPosToRT();
  if (g_rtProfessional.load()) gf_sendSimTimeToRT(g_simEpochSeconds.load());
  lf_waitForFirstTraffic(g_feedStart.firstTrafficSteps);
  return !g_stopRun.load();
}

// The reports to RealTraffic and the readers' liveness, on the main loop:
// the position every 100 passes, the time every 15 s with the professional
// level, the liveness check every 59 s.
void lf_feedSchedule(bool oneSecond) {
  static thread_local std::uint32_t passes = 0;
  if (++passes % 100 == 0) gf_sendUserPosToRT();
  if (!oneSecond) return;
  const std::int32_t second = g_secondCounter.load();
  if (second % 15 == 0 && g_rtProfessional.load()) gf_sendSimTimeToRT(g_simEpochSeconds.load());
  if (second % 59 == 0) gf_checkReaderLiveness();
}

// The 10 ms main loop on the run thread, until the run is asked to stop.
void lf_mainLoop() {
  ::timeBeginPeriod(1);
  gf_enableRunControls(true);
  // The requests of the start-up (the restored destination) are taken in
  // first: the first step must choose from the list as it now stands.
  gf_runParkAirportRequests();
  // The automatic radius holds from the start, not from the first 30 s step;
  // RANGE as read from the settings is the radius it gives back when turned off.
  if (prm::AUTO_RANGE.value()) gf_switchAutoRange(false, true, true);
  // The user may already stand at a park airport.
  lf_staticParkingStep(true);
  // No pass waits for a download: park files are fetched by tasks of their own.
  const ServerFetchWithoutWaiting noDownloadWaits;
  auto deadline = std::chrono::steady_clock::now() + 10ms;
  while (!g_stopRun.load()) {
    const bool oneSecond = g_oneSecondSignal.exchange(false);
    if (oneSecond) {
      // The signal is the pace: the 10 ms deadline is re-aligned to it.
      deadline = std::chrono::steady_clock::now() + 10ms;
      lf_everySecond();
    }
    lf_mainLoopPass(oneSecond);
    lf_feedSchedule(oneSecond);
    std::this_thread::sleep_until(deadline);
    deadline += 10ms;
    const auto now = std::chrono::steady_clock::now();
    if (deadline < now) deadline = now + 10ms;
  }
  ::timeEndPeriod(1);
}

// After the run: a fresh run, or the end of the program.
void lf_endRun() {
  // What floods left out of the log is still written, with its counts, so
  // the log ends on what last happened (a link that went for good says so).
  gf_logLeftOutLines();
  const ExitReason reason = gf_exitReason();
  gf_logLine("Run ended: {}", gf_exitReasonName(reason));
  if (gf_isRestartReason(reason) && !g_windowClosed.load()) {
    const int delay = std::max(0, g_restartDelay.load());
    if (delay > 0) gf_logLine("Restarting in {} second{}", delay, gf_pluralS(delay));
    if (lf_waitUnless(g_windowClosed, std::chrono::seconds(delay))) {
      lf_postToWindow(WM_APP_START_RUN);
      return;
    }
  } else if (reason == ExitReason::NewFlight && !g_windowClosed.load()) {
    lf_waitUnless(g_windowClosed, std::chrono::seconds(kNewFlightPauseSeconds));
  }
  lf_postToWindow(WM_APP_END_PROGRAM);
}

}  // namespace

void lf_resetRunState() {
  gf_resetStopRequest();
  // What the server had or lacked is asked afresh in every run.
  gf_forgetServerFiles();
  g_oneSecondSignal.store(false);
  g_secondCounter.store(0);
  g_idle.store(true);
  gf_resetStatusClock();
  gf_clearError();
  gf_resetFeedState();
  gf_resetRtLinkForRun();
  gf_resetLogBounds();
  // The simulator removes a client's objects when it goes; the lists start empty.
  gf_clearTrafficLists();
  gf_resetTrafficTick();
  gf_resetParkingSchedule();
  gf_resetDisplayForRun();
  gf_enableRunControls(false);
}

void lf_everySecond() {
  gf_advanceStatusClock();
  g_secondCounter.store((g_secondCounter.load() + 1) % 86400);
  // Requests other threads handed over, carried out here on the run thread.
  gf_runParkAirportRequests();
  gf_takeWindowRequests();
  lf_everySecondRequests();
  lf_refreshLiveCounters();
}

void lf_mainLoopPass(bool oneSecond) {
  if (g_simRunning.load() && !g_simConnectError.load()) lf_handleAddingStack();
  // A park file read or a search in progress advances by one short slice.
  gf_staticParkingWork();
  if (!oneSecond) return;
  const std::int32_t second = g_secondCounter.load();
  if (second % 15 == 0) {
    lf_fifteenSecondStep(second);
  } else if (second % 16 == 0 && !gf_renewalPending()) {
    lf_staticParkingStep(false);
  }
  // The link finds the user's stand on a copy that only this thread replaces.
  gf_publishStandSnapshot();
}

void lf_closingDown() {
  // The link remembers the user's stand on its way out; it is carried out here.
  gf_stopSimClient();
  gf_runParkAirportRequests();
  // Then the feed: no more traffic, the readers stop, RealTraffic is told.
  gf_setTrafficAccepted(false);
  gf_stopReaders();
  g_readersActive.store(false);
  // RealTraffic takes the last lines before "exit".
  if (g_rtConnected.load()) std::this_thread::sleep_for(500ms);
  gf_sendExitToRT();
  gf_closeRtServer();
  // The error stays on the window until the user has read it and closed it,
  // or has given new settings that restart the run.
  while (gf_exitReason() == ExitReason::SystemError && !g_windowClosed.load()) std::this_thread::sleep_for(100ms);
  // The statics and the live aircraft on the ground go, what the park
  // airport learned is saved.
  if (!g_parkAirport.icao.empty()) lf_removeAllParked();
  gf_waitForParkFileRead();
  prm::DESTINATION.setAndSave("");
  prm::BLOCK_CALLSIGN.setAndSave("");
  gf_clearError();
}

void lf_runThread(std::stop_token) {
  ++g_runThreadsAlive;
  struct Alive {
    ~Alive() { --g_runThreadsAlive; }
  } alive;
  try {
    lf_resetRunState();
    gf_logLine("Run {} started", ++g_runsStarted);
    if (g_windowClosed.load()) {
      // Closed while the restart was pending: nothing more to run.
      gf_requestStop(ExitReason::UserClosedSim);
    } else {
      try {
        lf_startUp();
      } catch (const qor::UserErrorException& e) {
        gf_showError(e.what());
        gf_requestStop(ExitReason::SystemError);
      } catch (const std::exception& e) {
        gf_logError("lf_runThread: {}", e.what());
        gf_showError(e.what());
        gf_requestStop(ExitReason::SystemError);
      }
      if (!g_stopRun.load() && lf_connectSimulator() && lf_connectFeed()) lf_mainLoop();
      lf_closingDown();
    }
  } catch (const std::exception& e) {
    gf_logError("lf_runThread: {}", e.what());
    gf_requestStop(ExitReason::SystemError);
  }
  lf_endRun();
}

void gf_startRunThread() {
  // The slot holds a run thread only between its start and its detach.
  static std::jthread slot;
  std::jthread thread(lf_runThread);
  if (slot.joinable()) {
    slot.request_stop();
    slot.join();
  }
  slot = std::move(thread);
  slot.detach();
}
