// Process-wide run state shared by the run thread, the window and the scans.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

// Why a run ended; values 0 to 7 as stored in g_exitReason.
enum class ExitReason : std::int32_t {
  NotYetSet = 0,
  SimWasClosed = 1,
  NewFlight = 2,
  NewSettings = 3,
  UserClosedSim = 4,
  SimconnectError = 5,
  ReaderError = 6,
  SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ... "SYSTEM ERROR".
std::string_view gf_exitReasonName(ExitReason reason);
// Whether a run that ended for this reason is followed by a fresh run.
bool gf_isRestartReason(ExitReason reason);

// Stop the current run; the user closed the main window.
extern std::atomic<bool> g_stopRun;
extern std::atomic<bool> g_windowClosed;

// The exit reason of the current run and the restart delay in seconds. Set
// only through gf_requestStop, which sets them together with g_stopRun.
extern std::atomic<std::int32_t> g_exitReason;
extern std::atomic<std::int32_t> g_restartDelay;

// Asks the run to stop for a reason. The first request of a run wins: the
// stop flag, the reason and the delay are set together under one lock, so
// nobody sees the stop flag with the reason still "NOT YET SET", and a later
// request changes nothing. Returns whether this call set them.
bool gf_requestStop(ExitReason reason, std::int32_t restartDelaySeconds = 0);
// Restarts the run for new settings ("NEW SETTINGS" after the delay). A run
// that stopped for a "SYSTEM ERROR" waits in its close-down for the user to
// read the error; settings given then may be its fix (a typed Community path
// after "No install path detected"), so they replace that stop and the run
// restarts. Any other pending stop keeps its reason. Returns whether the
// restart was set.
bool gf_requestRestartForNewSettings(std::int32_t restartDelaySeconds);
// Clears the stop flag, the reason and the delay for a fresh run.
void gf_resetStopRequest();
ExitReason gf_exitReason();

// The one-second signal: raised by the simulator link when the user
// aircraft's once-a-second data arrives (or by the simulated simulator while
// no simulator is connected); the main loop takes it.
extern std::atomic<bool> g_oneSecondSignal;
// The run's second count, incremented per one-second signal; back to 0 every
// 86400 s and at each run reset.
extern std::atomic<std::int32_t> g_secondCounter;
// True from a run reset until RealTraffic has connected.
extern std::atomic<bool> g_idle;

// Scan tasks: the limit of tasks running at once (the number of hardware
// threads, at least 1) and the count of running ones.
extern std::atomic<std::int32_t> g_maxTasks;
extern std::atomic<std::int32_t> g_runningTasks;

// RealTraffic is installed on this PC ("RealTraffic.jar" in the folder
// "InsideSystems" under AppData); set at each run start.
extern std::atomic<bool> g_realTrafficLocal;

// True when the selected simulator is MSFS 2020 (else MSFS 2024); set at the
// start of each run and when the simulator is switched.
extern std::atomic<bool> g_isMsfs2020;

// The simulator's UTC date and time in seconds since 1970, kept current by the
// simulator link while RealTraffic reports the professional level; 0 when the
// simulator's time is not in use.
extern std::atomic<std::int64_t> g_simEpochSeconds;
