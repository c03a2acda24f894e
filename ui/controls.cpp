#include "ui/controls.h"

#include <exception>

#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "ui/display_state.h"
#include "ui/edit_commands.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

ButtonParameter g_unblockButton{"Unblock", 32829, 257};
ButtonParameter g_rereadButton{"Re-read", 32838, 341};
ButtonParameter g_flushStaticButton{"Flush static", 32858, 369};

namespace {

using K = ControlKind;
using E = EnterProc;

WNDPROC lf_procFor(EnterProc enter) {
  switch (enter) {
    case EnterProc::String: return lf_stringEditProc;
    case EnterProc::Integer: return lf_intEditProc;
    case EnterProc::Float: return lf_floatEditProc;
    case EnterProc::None: break;
  }
  return nullptr;
}

// The setting whose control is this window; nullptr when none.
const ControlPlace* lf_placeOfHandle(HWND hwnd) {
  for (const ControlPlace& place : gf_controlPlaces())
    if (place.setting->handle() == hwnd) return &place;
  return nullptr;
}

// Passes a message on to the field's previous procedure.
LRESULT lf_callPrevious(const ControlPlace* place, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = place != nullptr ? place->setting->previousProc() : nullptr;
  if (previous == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  return ::CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

// The command of an edit field, run on Enter. An exception is logged and
// shown; the field's stored value stays what it was.
template <typename Command>
void lf_runCommand(const char* procName, Command command) {
  try {
    command();
  } catch (const std::exception& e) {
    gf_logError("{} exception {}", procName, e.what());
    gf_showStatus(fmt::format("Input not accepted: {}", e.what()), false);
  }
}

bool lf_isEnter(UINT message, WPARAM wParam) { return message == WM_CHAR && wParam == 13; }

// The string procedure's dispatch by the setting's key.
void lf_runStringCommand(const ParameterControl* setting) {
  if (setting == &prm::BLOCK_CALLSIGN) {
    lf_processBlockCallsign();
  } else if (setting == &prm::DESTINATION) {
    lf_processDestination();
  } else if (setting == &prm::CALLSIGN_2_OBJECTID) {
    lf_processCallsignObjectId();
  } else if (setting == &prm::ALL_INSTALL_PATH) {
    // The selected simulator's path setting.
    StringParameter& path =
        prm::SIM_CHOICE.value() == kSimChoices[0] ? prm::MSFS_INSTALL_PATH : prm::MSFS_2024_INSTALL_PATH;
    lf_newSimPath(path, lf_getTextFromId(prm::ALL_INSTALL_PATH.controlId()));
  }
}

void lf_enableHandle(HWND control, bool enable) {
  if (control != nullptr) ::EnableWindow(control, enable ? TRUE : FALSE);
}

}  // namespace

const std::vector<ControlPlace>& gf_controlPlaces() {
  // x, width and drop-down height in pixels; rows come with the settings.
  static const std::vector<ControlPlace> places{
      {&prm::SIM_CHOICE, K::Combo, 5, 105, 80, E::None},
      {&prm::ALL_INSTALL_PATH, K::Edit, 111, 1200, 0, E::String},
      {&prm::SCAN_LIVERIES, K::Checkbox, 5, 0, 0, E::None},
      {&prm::LIG_AUTOMATIC, K::Checkbox, 217, 0, 0, E::None},
      {&prm::AI_PACKAGE_SELECTOR, K::Combo, 308, 125, 144, E::None},
      {&prm::LIG_PRIORITIZE, K::Checkbox, 450, 0, 0, E::None},
      {&prm::SUPPRESS_STUB, K::Checkbox, 536, 0, 0, E::None},
      {&prm::LOG, K::Checkbox, 652, 0, 0, E::None},
      {&prm::ALWAYS_ON_TOP, K::Checkbox, 748, 0, 0, E::None},
      {&prm::SCAN_AIRPORTS, K::Checkbox, 5, 0, 0, E::None},
      {&prm::NAV_LIGHTS_WHILE_PARKED, K::Checkbox, 652, 0, 0, E::None},
      {&prm::LEARN_SOFT, K::Checkbox, 748, 0, 0, E::None},
      {&prm::MATCHING_DEPTH, K::Combo, 217, 40, 120, E::None},
      {&prm::LIGHT_AIRCRAFT, K::Checkbox, 323, 0, 0, E::None},
      {&prm::HELICOPTERS, K::Checkbox, 430, 0, 0, E::None},
      {&prm::HIGH_PERF_AIRCRAFT, K::Checkbox, 536, 0, 0, E::None},
      {&prm::HALVARD, K::Checkbox, 652, 0, 0, E::None},
      {&prm::GUID_CHANGES, K::Checkbox, 748, 0, 0, E::None},
      {&prm::RANGE, K::Combo, 217, 50, 200, E::None},
      {&prm::AUTO_RANGE, K::Checkbox, 323, 0, 0, E::None},
      {&prm::AR_ABOVE_HEIGHT, K::Combo, 455, 70, 230, E::None},
      {&prm::CALLSIGN_OBJECTIDS, K::Checkbox, 748, 0, 0, E::None},
      {&prm::COLLISION_USER_GND, K::Checkbox, 217, 0, 0, E::None},
      {&prm::COLLISION_USER_AIR, K::Checkbox, 323, 0, 0, E::None},
      {&prm::COLLISION_LIVE_PARKED_GND, K::Checkbox, 430, 0, 0, E::None},
      {&prm::BLOCK_CALLSIGN, K::Edit, 217, 100, 0, E::String},
      {&g_unblockButton, K::Button, 323, 70, 0, E::None},
      {&prm::CALLSIGN_2_OBJECTID, K::Edit, 460, 95, 0, E::String},
      {&prm::MAX_PARK_SEL, K::Combo, 323, 55, 144, E::None},
      {&prm::MAX_LIVE_SEL, K::Combo, 536, 55, 144, E::None},
      {&prm::DESTINATION, K::Edit, 217, 50, 0, E::String},
      {&prm::AIRP_RANGE, K::Combo, 353, 45, 144, E::None},
      {&prm::AIRP_HEIGHT, K::Combo, 566, 70, 230, E::None},
      {&prm::STRAIGHT_PBS_ONLY, K::Checkbox, 652, 0, 0, E::None},
      {&prm::PARK_FAKE, K::Checkbox, 5, 0, 0, E::None},
      {&prm::WEEK, K::Checkbox, 71, 0, 0, E::None},
      {&prm::PARK_SOFT, K::Checkbox, 151, 0, 0, E::None},
      {&prm::parking_percentage, K::Edit, 323, 34, 0, E::Integer},
      {&prm::INITIAL_LOAD_ONLY, K::Checkbox, 430, 0, 0, E::None},
      {&prm::MAX_FIT_FL, K::Edit, 566, 34, 0, E::Float},
      {&g_rereadButton, K::Button, 758, 90, 0, E::None},
      {&g_flushStaticButton, K::Button, 758, 90, 0, E::None},
  };
  return places;
}

const ControlPlace* gf_controlPlaceById(int id) {
  for (const ControlPlace& place : gf_controlPlaces())
    if (place.setting->controlId() == id) return &place;
  return nullptr;
}

void lf_createControls(HWND hwnd, const CREATESTRUCTW* creation) {
  for (const ControlPlace& place : gf_controlPlaces()) {
    try {
      switch (place.kind) {
        case ControlKind::Checkbox:
          static_cast<CheckBoolParameter*>(place.setting)->createCheckbox(hwnd, creation, place.x);
          break;
        case ControlKind::Edit:
          place.setting->createEdit(hwnd, creation, place.x, place.width, lf_procFor(place.enter));
          break;
        case ControlKind::Combo:
          gf_createComboControl(*place.setting, hwnd, creation, place.x, place.width, place.dropHeight);
          break;
        case ControlKind::Button:
          static_cast<ButtonParameter*>(place.setting)->createButton(hwnd, creation, place.x, place.width);
          break;
      }
    } catch (const std::exception& e) {
      gf_logError("{}: {}", "lf_createControls", e.what());
    }
    if (place.setting->handle() == nullptr)
      gf_logError("{}: control {} could not be created", "lf_createControls", place.setting->controlId());
  }
  const RECT panel{0, kSettingsTop, kPanelRight, kStatisticsTop};
  ::InvalidateRect(hwnd, &panel, TRUE);
}

LRESULT CALLBACK lf_stringEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlPlace* place = lf_placeOfHandle(hwnd);
  if (!lf_isEnter(message, wParam)) return lf_callPrevious(place, hwnd, message, wParam, lParam);
  gf_clearStatus();
  if (place != nullptr) lf_runCommand("lf_stringEditProc", [place] { lf_runStringCommand(place->setting); });
  return 0;
}

LRESULT CALLBACK lf_intEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlPlace* place = lf_placeOfHandle(hwnd);
  if (!lf_isEnter(message, wParam)) return lf_callPrevious(place, hwnd, message, wParam, lParam);
  gf_clearStatus();
  lf_runCommand("lf_intEditProc", [] { lf_processTbInt(prm::parking_percentage); });
  return 0;
}

LRESULT CALLBACK lf_floatEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlPlace* place = lf_placeOfHandle(hwnd);
  if (!lf_isEnter(message, wParam)) return lf_callPrevious(place, hwnd, message, wParam, lParam);
  gf_clearStatus();
  // The fit belongs to the loaded park airport: without one it is not taken.
  lf_runCommand("lf_floatEditProc", [] {
    if (gf_parkFileLoaded() && lf_processTbFloat(prm::MAX_FIT_FL)) lf_respondNote();
  });
  return 0;
}

void gf_prepareControlsForRun() {
  const bool msfs2020 = prm::SIM_CHOICE.value() == kSimChoices[0];
  g_isMsfs2020.store(msfs2020);
  for (const ControlPlace& place : gf_controlPlaces()) {
    HWND control = place.setting->handle();
    if (control == nullptr) continue;
    try {
      if (place.kind == ControlKind::Combo) {
        if (auto* combo = dynamic_cast<ComboIntParameter*>(place.setting)) combo->fillChoices(control);
        if (auto* combo = dynamic_cast<ComboStringParameter*>(place.setting)) combo->fillChoices(control);
      } else {
        place.setting->showValue(control);
      }
    } catch (const std::exception& e) {
      gf_logError("{}: {}", "gf_prepareControlsForRun", e.what());
    }
  }
  // Object ids are looked up only in MSFS 2020.
  lf_enableHandle(prm::CALLSIGN_OBJECTIDS.handle(), msfs2020);
  lf_enableHandle(prm::AI_PACKAGE_SELECTOR.handle(), prm::LIG_AUTOMATIC.value());
  lf_enableHandle(prm::RANGE.handle(), !prm::AUTO_RANGE.value());
  lf_enableHandle(prm::AR_ABOVE_HEIGHT.handle(), prm::AUTO_RANGE.value());
  // The header shows the simulator mode until the simulator connects.
  gf_invalidateHeader();
  gf_invalidateSettings();
}

void gf_enableRunControls(bool enable) {
  for (const ControlPlace& place : gf_controlPlaces())
    if (place.kind == ControlKind::Edit || place.kind == ControlKind::Button)
      lf_enableHandle(place.setting->handle(), enable);
}

void gf_enableControl(int id, bool enable) {
  HWND control = ::GetDlgItem(g_mainWindowHandle.load(), id);
  if (control == nullptr) {
    gf_logLine("GetDlgItem failed for ID {}", id);
    return;
  }
  ::EnableWindow(control, enable ? TRUE : FALSE);
}

void gf_enableRangeCombos(bool autoRange) {
  gf_enableControl(prm::RANGE.controlId(), !autoRange);
  gf_enableControl(prm::AR_ABOVE_HEIGHT.controlId(), autoRange);
}
