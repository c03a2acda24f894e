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

// Sets the stop unless one is pending; a pending "SYSTEM ERROR" gives way
// when `overSystemError` is set.
bool lf_setStop(ExitReason reason, std::int32_t restartDelaySeconds, bool overSystemError) {
  std::lock_guard lock(g_stopMutex);
  const auto pending = static_cast<ExitReason>(g_exitReason.load());
  const bool givesWay = pending == ExitReason::NotYetSet || (overSystemError && pending == ExitReason::SystemError);
  if (g_stopRun.load() && !givesWay) return false;
  g_exitReason.store(static_cast<std::int32_t>(reason));
  g_restartDelay.store(restartDelaySeconds);
  g_stopRun.store(true);
  return true;
}
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
  return lf_setStop(reason, restartDelaySeconds, false);
}

bool gf_requestRestartForNewSettings(std::int32_t restartDelaySeconds) {
  return lf_setStop(ExitReason::NewSettings, restartDelaySeconds, true);
}

void gf_resetStopRequest() {
  std::lock_guard lock(g_stopMutex);
  g_stopRun.store(false);
  g_exitReason.store(static_cast<std::int32_t>(ExitReason::NotYetSet));
  g_restartDelay.store(0);
}

ExitReason gf_exitReason() { return static_cast<ExitReason>(g_exitReason.load()); }
