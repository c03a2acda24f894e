#include "ui/window_setters.h"

#include <exception>
#include <thread>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/version.h"
#include "feed/feed_state.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace {

// Finds the setting's control under the recorded window and shows the value
// (by the setting's own showValue unless the caller gives another way).
template <typename Show>
void lf_showInControl(const ParameterControl& setting, const char* setterName, Show show) {
  HWND control = ::GetDlgItem(g_lastWindowProcHandle.load(), setting.controlId());
  if (control == nullptr) {
    gf_logLine("GetDlgItem failed for ID {}", setting.controlId());
    return;
  }
  try {
    show(control);
  } catch (const std::exception& e) {
    gf_logError("{}: {}", setterName, e.what());
    return;
  }
  HWND window = g_mainWindowHandle.load();
  if (window != nullptr) {
    const RECT panel{0, kSettingsTop, kPanelRight, kStatisticsTop};
    ::InvalidateRect(window, &panel, TRUE);
  }
}

void lf_showInControl(const ParameterControl& setting, const char* setterName) {
  lf_showInControl(setting, setterName, [&setting](HWND control) { setting.showValue(control); });
}

void lf_invalidate(const RECT& rect) {
  HWND window = g_mainWindowHandle.load();
  if (window != nullptr) ::InvalidateRect(window, &rect, TRUE);
}

}  // namespace

void gf_setTbIntText(const ControlIntParameter& setting) { lf_showInControl(setting, "gf_setTbIntText"); }
void gf_setTbIntText(const ComboIntParameter& setting) {
  // An entry inserted for a value outside the choices goes once the value in
  // force is one of them again: picked later, it would stand for a value that
  // is no longer in force.
  lf_showInControl(setting, "gf_setTbIntText", [&setting](HWND combo) {
    if (static_cast<std::size_t>(::SendMessageW(combo, CB_GETCOUNT, 0, 0)) != setting.choices().size()) {
      setting.fillChoices(combo);
    } else {
      setting.showValue(combo);
    }
  });
}
void gf_setTbFloatText(const ControlFloatParameter& setting) { lf_showInControl(setting, "gf_setTbFloatText"); }
void gf_setTbStringText(const ControlStringParameter& setting) { lf_showInControl(setting, "gf_setTbStringText"); }
void gf_setTbStringText(const ComboStringParameter& setting) { lf_showInControl(setting, "gf_setTbStringText"); }

void gf_setTbCheck(const CheckBoolParameter& setting) { lf_showInControl(setting, "gf_setTbCheck"); }

void gf_clearControlText(int id) {
  HWND control = ::GetDlgItem(g_lastWindowProcHandle.load(), id);
  if (control == nullptr) {
    gf_logLine("GetDlgItem failed for ID {}", id);
    return;
  }
  ::SetWindowTextW(control, u"");
}

void lf_refreshLiveCounters() {
  LiveCounters now;
  for (const LiveAircraft& aircraft : g_liveAircraft) {
    if (aircraft.simState != SimState::active) continue;
    if (aircraft.flightPhase != FlightPhase::parked) {
      ++now.activeLive;
    } else if (aircraft.onGroundConfirmed) {
      ++now.parkedLive;
    }
  }
  for (const ParkedAircraft& aircraft : g_staticAircraft)
    if (aircraft.simState == SimState::active || aircraft.simState == SimState::removingfromsim) ++now.parkedStatic;

  const LiveCounters shown = gf_liveCounters();
  lf_storeLiveCounters(now);
  if (now.activeLive != shown.activeLive) lf_invalidate(RECT{0, kHeaderTop, kPanelRight, kSettingsTop});
  if (now.parkedLive != shown.parkedLive || now.parkedStatic != shown.parkedStatic)
    lf_invalidate(RECT{0, kStatisticsTop, kPanelRight, kStatisticsTop + 56});
}

bool lf_waitForFirstTraffic(int steps, std::chrono::milliseconds step) {
  for (int i = 0; i < steps && g_firstTrafficTime.load() == 0; ++i) {
    if (g_stopRun.load() || g_windowClosed.load()) return false;
    std::this_thread::sleep_for(step);
  }
  if (g_firstTrafficTime.load() != 0) return true;
  if (g_stopRun.load() || g_windowClosed.load()) return false;
  gf_logLine("No traffic in this region?");
  return false;
}

void gf_readerStopped(std::string_view readerName, std::string_view error) {
  gf_showStatus(fmt::format("The {} has stopped with error: {}", readerName, error), true);
  // The first stop of a run keeps its reason (a user's close stays "USER CLOSED SIM").
  gf_requestStop(ExitReason::ReaderError, kReaderStoppedRestartSeconds);
}

void gf_simGone() {
  if (g_stopRun.load()) return;
  gf_logLine("{} Flight Simulator no longer connected, {} will stop ...", gf_nowHms(), kProgramName);
  gf_requestStop(ExitReason::SimWasClosed, 0);
}
