#include "ui/commands.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <fmt/format.h>

#include "aircraftdata/livery_tables.h"
#include "airports/airport_list.h"
#include "app/files.h"
#include "app/log.h"
#include "app/requests.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/utf.h"
#include "app/version.h"
#include "scan/airport_scan.h"
#include "simlink/sim_link.h"
#include "traffic/aircraft.h"
#include "traffic/removals.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/edit_commands.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"
#include "ui/window_setters.h"

namespace fs = std::filesystem;

std::atomic<bool> g_navLightsRequest{false};
std::atomic<bool> g_maxLiveRequest{false};
std::atomic<bool> g_autoRangeRequest{false};
std::atomic<bool> g_clearLiveriesRequest{false};

namespace {

// The settings panel, repainted after a command.
constexpr RECT kSettingsPanel{0, kSettingsTop, kPanelRight, kStatisticsTop};

void lf_invalidatePanel(HWND hwnd) { ::InvalidateRect(hwnd, &kSettingsPanel, TRUE); }

void lf_status(std::string_view text) { gf_showStatus(text, false); }

void lf_statusOnOff(bool on, std::string_view whenOn, std::string_view whenOff) {
  const std::string_view text = on ? whenOn : whenOff;
  if (text.empty()) {
    gf_clearStatus();
  } else {
    lf_status(text);
  }
}

void lf_scanCheckbox(bool liveries) {
  const char* what = liveries ? "liveries" : "airports";
  if (g_idle.load()) {
    // The tables are emptied by the new run before its scan, never here:
    // the run thread may be handing liveries over right now.
    if (liveries) g_clearLiveriesRequest.store(true);
    gf_showStatus(fmt::format("Your {} will be scanned", what), true);
    gf_requestRestartForNewSettings(2);
    return;
  }
  lf_status(liveries ? fmt::format("Your liveries will be scanned at the next start of {}, recommended after you have "
                                   "add/removed AI aircraft models/liveries",
                                   kProgramName)
                     : fmt::format("Your airports will be scanned at the next start of {}, recommended after you have "
                                   "add/removed airports",
                                   kProgramName));
}

void lf_autoRangeCheckbox(bool on) {
  g_parkingRefreshRequest.store(true);
  gf_enableRangeCombos(on);
  gf_switchAutoRange(!on, on, false);
}

// The effect of a checkbox after its setting took the new state.
void lf_checkboxEffect(HWND hwnd, const CheckBoolParameter& setting, bool on) {
  const bool parkLoaded = gf_parkFileLoaded();
  if (&setting == &prm::LIG_AUTOMATIC) {
    lf_statusOnOff(on, "", "The liveries defined by your lfolder parameters will be scanned");
    gf_enableControl(prm::AI_PACKAGE_SELECTOR.controlId(), on);
  } else if (&setting == &prm::LIG_PRIORITIZE) {
    lf_statusOnOff(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped", "");
  } else if (&setting == &prm::COLLISION_LIVE_PARKED_GND) {
    lf_statusOnOff(on, "", "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
  } else if (&setting == &prm::COLLISION_USER_GND) {
    lf_statusOnOff(on, "", "Be aware, no collision avoidance with user aircraft on the ground");
  } else if (&setting == &prm::COLLISION_USER_AIR) {
    lf_statusOnOff(on, "", "Be aware, no collision avoidance with user aircraft in the air");
  } else if (&setting == &prm::INITIAL_LOAD_ONLY) {
    lf_statusOnOff(on, "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes", "");
    lf_invalidatePanel(hwnd);
    if (parkLoaded) g_parkingRefreshRequest.store(true);
  } else if (&setting == &prm::ALWAYS_ON_TOP) {
    lf_statusOnOff(on, fmt::format("{}'s window will remain visible", kProgramName), "");
    ::SetWindowPos(g_mainWindowHandle.load(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE);
  } else if (&setting == &prm::SUPPRESS_STUB) {
    lf_statusOnOff(on, "Exclude FSLTL-liveries titles ending with _STUB from scan", "");
  } else if (&setting == &prm::GUID_CHANGES) {
    lf_statusOnOff(on, "", "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
  } else if (&setting == &prm::HALVARD) {
    lf_statusOnOff(on, fmt::format("Note: This mode is for Halvard HQV users only, please re-start {}", kProgramName),
                   "");
  } else if (&setting == &prm::SCAN_LIVERIES || &setting == &prm::SCAN_AIRPORTS) {
    if (on) {
      lf_scanCheckbox(&setting == &prm::SCAN_LIVERIES);
    } else {
      gf_clearStatus();
    }
    lf_invalidatePanel(hwnd);
  } else if (&setting == &prm::PARK_SOFT || &setting == &prm::PARK_FAKE || &setting == &prm::WEEK) {
    lf_respondNote();
  } else if (&setting == &prm::NAV_LIGHTS_WHILE_PARKED) {
    g_navLightsRequest.store(true);
  } else if (&setting == &prm::LEARN_SOFT) {
    if (parkLoaded) g_parkingRefreshRequest.store(true);
  } else if (&setting == &prm::AUTO_RANGE) {
    lf_autoRangeCheckbox(on);
  }
}

// The selected entry of a combo: its index, its text; false for no selection.
bool lf_comboSelection(HWND combo, int& index, std::string& text) {
  index = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
  if (index < 0) return false;
  WCHAR buffer[256]{};
  const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
  if (length < 0 || length >= 256) return false;
  try {
    text = win32::utf16ToUtf8(std::u16string_view(buffer, static_cast<std::size_t>(length)));
  } catch (const std::exception& e) {
    gf_logError("{} {}", "lf_handleComboBox", e.what());
    return false;
  }
  return true;
}

// An integer combo took a choice: the number the picked entry shows. The
// entry's own text is the choice: the list may hold an inserted entry for a
// value outside the choices, so an index into the choices would be off by
// one below it. A choice is clamped and saved, also when it equals the value
// in force (a learned file sets values in memory only). The inserted entry
// stands for the value in force (it goes once that is a choice again) and is
// no value the settings file can keep: picked, it changes nothing. False
// when the entry shows no number.
bool lf_takeIntChoice(ComboIntParameter& setting, const std::string& text) {
  std::int64_t picked = 0;
  if (!gf_parseInt(text, picked)) return false;
  const auto choices = setting.choices();
  if (std::find(choices.begin(), choices.end(), picked) != choices.end()) {
    setting.setAndSave(static_cast<std::int32_t>(
        std::clamp<std::int64_t>(picked, setting.minimum(), setting.maximum())));
  }
  gf_setTbIntText(setting);
  return true;
}

void lf_intComboEffect(ComboIntParameter& setting) {
  if (&setting == &prm::MAX_PARK_SEL) {
    lf_respondNote();
  } else if (&setting == &prm::RANGE) {
    gf_setTrafficRange(setting.value());
    g_parkingRefreshRequest.store(true);
  } else if (&setting == &prm::MAX_LIVE_SEL) {
    if (!gf_parkFileLoaded()) {
      g_maxLive.store(setting.value());
    } else {
      g_parkingRefreshRequest.store(true);
    }
    g_maxLiveRequest.store(true);
  }
}

}  // namespace

bool lf_handleButtons(HWND hwnd, WPARAM wParam) {
  (void)hwnd;
  if (HIWORD(wParam) != BN_CLICKED) return false;
  const int id = LOWORD(wParam);
  if (id == g_unblockButton.controlId()) {
    if (prm::BLOCK_CALLSIGN.value().empty()) {
      lf_status("Nothing to block or unblock...");
    } else {
      lf_unblockCallsign();
    }
    return true;
  }
  if (id == g_rereadButton.controlId()) {
    g_rereadRequest.store(true);
    gf_enableControl(g_rereadButton.controlId(), false);
    gf_enableControl(prm::DESTINATION.controlId(), false);
    return true;
  }
  if (id == g_flushStaticButton.controlId()) {
    lf_status("All static parked aircraft will be removed ...");
    g_flushStaticRequest.store(true);
    gf_enableControl(g_flushStaticButton.controlId(), false);
    return true;
  }
  return false;
}

bool lf_handleCheckbox(HWND hwnd, WORD id) {
  for (Parameter* parameter : gf_allParameters()) {
    auto* setting = dynamic_cast<CheckBoolParameter*>(parameter);
    if (setting == nullptr || setting->controlId() != id) continue;
    const bool on = ::IsDlgButtonChecked(hwnd, id) != BST_CHECKED;
    ::CheckDlgButton(hwnd, id, on ? BST_CHECKED : BST_UNCHECKED);
    setting->setAndSave(on);
    gf_noteParkingSettingChange(*setting);
    lf_checkboxEffect(hwnd, *setting, on);
    return true;
  }
  return false;
}

bool lf_handleComboBox(HWND hwnd, WPARAM wParam) {
  if (HIWORD(wParam) != CBN_SELCHANGE) return false;
  const int id = LOWORD(wParam);
  const ControlPlace* place = gf_controlPlaceById(id);
  if (place == nullptr || place->kind != ControlKind::Combo) return false;
  HWND combo = ::GetDlgItem(hwnd, id);
  int index = -1;
  std::string text;
  if (combo == nullptr || !lf_comboSelection(combo, index, text)) return true;

  if (auto* choice = dynamic_cast<ComboStringParameter*>(place->setting)) {
    if (text == choice->value()) return true;
    if (choice == &prm::SIM_CHOICE) {
      // The switch first: when it fails, the simulator stays as it was and
      // the combo shows it again.
      try {
        lf_switchSimulator(text == "MSFS 2020");
      } catch (const std::exception& e) {
        gf_setTbStringText(*choice);
        lf_status(fmt::format("Switching Simulator to {} failed, {} stays: {}", text, choice->value(), e.what()));
        throw;
      }
      choice->setAndSave(text);
      // The header's mode text and the Objectids label follow at once.
      g_isMsfs2020.store(text == kSimChoices[0]);
      gf_invalidateHeader();
      gf_invalidateSettings();
    } else {
      choice->setAndSave(text);
      gf_setTbStringText(*choice);
    }
    return true;
  }
  if (auto* number = dynamic_cast<ComboIntParameter*>(place->setting)) {
    const std::int32_t before = number->value();
    if (!lf_takeIntChoice(*number, text)) return true;
    if (number->value() != before) gf_noteParkingSettingChange(*number);
    lf_intComboEffect(*number);
    return true;
  }
  return false;
}

bool lf_HandleWMCOMMAND(HWND hwnd, WPARAM wParam) {
  try {
    if (lf_handleButtons(hwnd, wParam) || lf_handleCheckbox(hwnd, LOWORD(wParam)) ||
        lf_handleComboBox(hwnd, wParam)) {
      return true;
    }
  } catch (const std::exception& e) {
    gf_logError("{} exception {}", "lf_HandleWMCOMMAND", e.what());
    return true;
  }
  lf_invalidatePanel(hwnd);
  return false;
}

void lf_switchSimulator(bool toMsfs2020) {
  std::error_code ec;
  fs::remove(g_liveriesScannedPath, ec);
  if (ec) throw fs::filesystem_error("remove", g_liveriesScannedPath, ec);
  g_clearLiveriesRequest.store(true);
  // The other simulator's scan starts without add-on airports: its warning
  // comes again when it finds none.
  g_airportFilesWritten.store(false);
  prm::SCAN_AIRPORTS.setAndSave(true);
  gf_setTbCheck(prm::SCAN_AIRPORTS);
  prm::SCAN_LIVERIES.setAndSave(true);
  gf_setTbCheck(prm::SCAN_LIVERIES);
  gf_showStatus(fmt::format("Switching Simulator to {}", toMsfs2020 ? "MSFS 2020" : "MSFS 2024"), true);
  prm::ALL_INSTALL_PATH.set(std::string());
  gf_setTbStringText(prm::ALL_INSTALL_PATH);
  if (!toMsfs2020) prm::MYSIMADDON24_VERSION.setAndSave(std::string());
  gf_requestRestartForNewSettings(3);
}

void lf_unblockCallsign() {
  const std::string callsign = prm::BLOCK_CALLSIGN.value();
  if (callsign.empty()) return;
  prm::BLOCK_CALLSIGN.setAndSave(std::string());
  gf_setTbStringText(prm::BLOCK_CALLSIGN);
  gf_enableControl(g_unblockButton.controlId(), false);
  gf_showStatus(fmt::format("no more blocking of live aircraft '{}'", callsign), true);
  g_blockedCallsignRequest.store(true);
}

void gf_takeWindowRequests() {
  if (g_autoRangeRequest.exchange(false) && prm::AUTO_RANGE.value()) gf_autoRange();
  if (g_maxLiveRequest.exchange(false)) lf_enforceMaxLive();
  if (g_navLightsRequest.exchange(false)) {
    const std::uint32_t data = prm::NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
    const auto light = [data](std::uint32_t objectId) {
      std::lock_guard lock(g_simConnectMutex);  // lock order: the SimConnect mutex alone
      gf_pushObjectCommand(ObjectCommand{objectId, kEventNavLights, data});
    };
    for (const ParkedAircraft& aircraft : g_staticAircraft) {
      if (aircraft.simState == SimState::active) light(aircraft.objectId);
    }
    for (const LiveAircraft& aircraft : g_liveAircraft) {
      if (aircraft.simState == SimState::active && aircraft.flightPhase == FlightPhase::parked) {
        light(aircraft.objectId);
      }
    }
  }
}
