#include "app/runstate.h"

#include <mutex>

std::atomic<bool> g_stopRun{false};
std::atomic<bool> g_windowClosed{false};
std::atomic<std::int32_t> g_exitReason{0};
std::atomic<std::int32_t> g_restartDelay{0};
std::atomic<bool> g_isMsfs2020{true};
std::atomic<bool> g_realTrafficLocal{false};
std::atomic<bool> g_oneSecondSignal{false};
std::atomic<std::int32_t> g_secondCounter{0};
std::atomic<bool> g_idle{true};
std::atomic<std::int32_t> g_maxTasks{1};
std::atomic<std::int32_t> g_runningTasks{0};
std::atomic<std::int64_t> g_simEpochSeconds{0};

namespace {
// Lock order: taken alone, never while holding another lock.
std::mutex g_stopMutex;
}  // namespace

std::string_view gf_exitReasonName(ExitReason reason) {
  switch (reason) {
    case ExitReason::NotYetSet: return "NOT YET SET";
    case ExitReason::SimWasClosed: return "SIM WAS CLOSED";
    case ExitReason::NewFlight: return "NEW FLIGHT";
    case ExitReason::NewSettings: return "NEW SETTINGS";
    case ExitReason::UserClosedSim: return "USER CLOSED SIM";
    case ExitReason::SimconnectError: return "SIMCONNECT ERROR";
    case ExitReason::ReaderError: return "READER ERROR";
    case ExitReason::SystemError: return "SYSTEM ERROR";
  }
  return "UNKNOWN";
}

bool gf_isRestartReason(ExitReason reason) {
  return reason == ExitReason::NewSettings || reason == ExitReason::SimconnectError ||
         reason == ExitReason::ReaderError;
}

bool gf_requestStop(ExitReason reason, std::int32_t restartDelaySeconds) {
  std::lock_guard lock(g_stopMutex);
  if (g_stopRun.load() && g_exitReason.load() != static_cast<std::int32_t>(ExitReason::NotYetSet)) return false;
  g_exitReason.store(static_cast<std::int32_t>(reason));
  g_restartDelay.store(restartDelaySeconds);
  g_stopRun.store(true);
  return true;
}

void gf_resetStopRequest() {
  std::lock_guard lock(g_stopMutex);
  g_stopRun.store(false);
  g_exitReason.store(static_cast<std::int32_t>(ExitReason::NotYetSet));
  g_restartDelay.store(0);
}

ExitReason gf_exitReason() { return static_cast<ExitReason>(g_exitReason.load()); }
