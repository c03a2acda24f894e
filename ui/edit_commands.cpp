#include "ui/edit_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_file.h"
#include "airports/park_read.h"
#include "app/files.h"
#include "app/log.h"
#include "app/requests.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/utf.h"
#include "app/version.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/window_setters.h"

namespace fs = std::filesystem;

namespace {

void lf_statusLogged(const std::string& text) { gf_showStatus(text, true); }

// The leading integer of a text: blanks, an optional sign, digits; the rest
// is ignored. False when there are no digits; out_of_range for a number
// beyond 32 bits.
bool lf_leadingInt(std::string_view text, std::int32_t& value) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start);
  // One sign only: "+-5" is no number.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) throw std::out_of_range("number out of range");
  return ec == std::errc() && end != text.data();
}

void lf_restartNote() {
  lf_statusLogged(fmt::format("Community path found, {} will restart ...", kProgramName));
  gf_requestRestartForNewSettings(3);
}

}  // namespace

std::string lf_getTextFromId(int id) {
  HWND control = ::GetDlgItem(g_lastWindowProcHandle.load(), id);
  if (control == nullptr) {
    gf_logLine("GetDlgItem failed for ID {}", id);
    return {};
  }
  WCHAR buffer[1024]{};
  const int length = ::GetWindowTextW(control, buffer, 1023);
  if (length <= 0) return {};
  try {
    return win32::utf16ToUtf8(std::u16string_view(buffer, static_cast<std::size_t>(length)));
  } catch (const std::exception& e) {
    gf_logError("{} {}", "lf_getTextFromId", e.what());
    return {};
  }
}

void lf_processTbInt(ControlIntParameter& setting) {
  const std::string text = lf_getTextFromId(setting.controlId());
  try {
    std::int32_t parsed = 0;
    if (text.empty()) {
      // An emptied field is 0.
      if (setting.value() != 0) gf_noteParkingSettingChange(setting);
      setting.set(0);
      gf_showStatus(fmt::format("The new {} is {}", setting.name(), setting.value()), false);
    } else if (!lf_leadingInt(text, parsed)) {
      lf_statusLogged(fmt::format("invalid input: {}", text));
    } else if (parsed == setting.value()) {
      lf_statusLogged(fmt::format("Same {} value {}, no changes made", setting.name(), parsed));
    } else {
      const std::int32_t before = setting.value();
      setting.set(std::clamp(parsed, 0, 100));
      // A value clamped to the one in force changes nothing to save.
      if (setting.value() != before) gf_noteParkingSettingChange(setting);
      gf_showStatus(fmt::format("The new {} is {}", setting.name(), setting.value()), false);
    }
  } catch (const std::exception& e) {
    gf_logError("{}: {}, h={} ", "lf_processTbInt", e.what(), text);
  }
  gf_setTbIntText(setting);
}

bool lf_processTbFloat(ControlFloatParameter& setting) {
  const std::string text = lf_getTextFromId(setting.controlId());
  bool applied = false;
  double parsed = 0.0;
  if (text.empty()) {
    // An emptied field goes back to the whole day.
    prm::MAX_FIT.setAndSave(prm::MAX_FIT.defaultValue());
    setting.set(setting.defaultValue());
    applied = true;
  } else if (!gf_parseDouble(gf_trim(text), parsed)) {
    // Not one finite number ("nan", "inf", junk): nothing changes.
    gf_logError("{}: {}, h={}", "lf_processTbFloat", "not a number", text);
  } else if (parsed == setting.value()) {
    lf_statusLogged(fmt::format("Same {} value {}, no changes made", setting.name(), gf_floatToText(parsed)));
  } else {
    const double hours = std::clamp(parsed, 0.5, 24.0);
    prm::MAX_FIT.setAndSave(std::clamp(static_cast<std::int32_t>(std::lround(hours * 2.0)) - 1, 0, 47));
    setting.set(prm::MAX_FIT.value() * 0.5 + 0.5);
    applied = true;
  }
  if (applied) {
    gf_noteParkingSettingChange(prm::MAX_FIT);
    gf_showStatus(fmt::format("The new {} is {:.1F}", setting.name(), setting.value()), false);
  }
  gf_setTbFloatText(setting);
  return applied;
}

void lf_processBlockCallsign() {
  const std::string text = lf_getTextFromId(prm::BLOCK_CALLSIGN.controlId());
  if (text.empty()) {
    if (!prm::BLOCK_CALLSIGN.value().empty()) lf_unblockCallsign();
    return;
  }
  const std::size_t length = gf_utf8Length(text);
  if (length >= 4 && length <= 8) {
    const std::string callsign = gf_toUpper(text);
    if (callsign == prm::BLOCK_CALLSIGN.value()) {
      lf_statusLogged(fmt::format("callsign '{}' was already set ...", callsign));
    } else {
      prm::BLOCK_CALLSIGN.setAndSave(callsign);
      gf_setTbStringText(prm::BLOCK_CALLSIGN);
      gf_enableControl(g_unblockButton.controlId(), true);
      lf_statusLogged(fmt::format("live aircraft with callsign '{}' will be blocked", callsign));
      g_blockedCallsignRequest.store(true);
      return;
    }
  } else {
    lf_statusLogged(fmt::format("callsign '{}' is not valid", text));
  }
  gf_setTbStringText(prm::BLOCK_CALLSIGN);
}

void lf_processDestination() {
  const std::string text = lf_getTextFromId(prm::DESTINATION.controlId());
  if (text.empty()) {
    prm::DESTINATION.set(std::string());
    gf_enableControl(g_rereadButton.controlId(), true);
    lf_statusLogged("destination set to empty");
  } else if (gf_utf8Length(text) == 4) {
    const std::string icao = gf_toUpper(text);
    if (icao == prm::DESTINATION.value()) {
      lf_statusLogged(fmt::format("destination '{}' was already set ...", icao));
    } else if (const AirportRec* airport = gf_findAirportByIcao(icao)) {
      lf_newDestination(icao, LatLon{airport->latitude, airport->longitude});
      return;
    } else {
      lf_statusLogged(fmt::format("destination '{}' is unknown ...", icao));
    }
  } else {
    lf_statusLogged(fmt::format("destination '{}' is not valid", text));
  }
  gf_setTbStringText(prm::DESTINATION);
}

void lf_newDestination(const std::string& icao, const LatLon& position) {
  prm::DESTINATION.setAndSave(icao);
  gf_setTbStringText(prm::DESTINATION);
  lf_statusLogged(fmt::format("New destination: {}", icao));
  // The park airports list belongs to the run thread: it makes the
  // destination its first entry at its next step.
  gf_requestDestinationParkAirport(icao, position);
  gf_enableControl(g_rereadButton.controlId(), false);
}

void lf_processCallsignObjectId() {
  const std::string text = lf_getTextFromId(prm::CALLSIGN_2_OBJECTID.controlId());
  if (text.empty()) {
    if (!prm::CALLSIGN_2_OBJECTID.value().empty()) {
      prm::CALLSIGN_2_OBJECTID.set(std::string());
      gf_setTbStringText(prm::CALLSIGN_2_OBJECTID);
    }
    return;
  }
  prm::CALLSIGN_2_OBJECTID.set(gf_toUpper(text));
  gf_setTbStringText(prm::CALLSIGN_2_OBJECTID);
  g_objectIdRequest.store(true);
}

void lf_newSimPath(StringParameter& pathSetting, const std::string& text) {
  gf_clearError();
  gf_clearStatus();
  if (text.empty()) {
    if (!pathSetting.value().empty()) pathSetting.setAndSave(std::string());
    return;
  }
  // Blanks alone are no path: they name no folder that exists.
  const std::string typed = gf_trim(text);
  try {
    // "C:\...\Community\" and "C:/.../Community" are one folder: separators
    // of either kind, a trailing one and "." or ".." parts are normalised
    // before the path is cut at its Community folder.
    std::string generic = typed;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    fs::path path = fs::path(generic).lexically_normal();
    if (!path.has_filename() && path.has_parent_path()) path = path.parent_path();
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      lf_statusLogged(fmt::format("This install path does not exist: {}", typed));
      return;
    }
    fs::path packages;
    if (gf_toLower(path.filename().string()) == "community") {
      packages = path.parent_path();
    } else if (gf_findEntryIgnoringCase(path, "Community").has_value()) {
      packages = path;
    } else {
      lf_statusLogged("This path exists but is not a path to Community ...");
      return;
    }
    pathSetting.setAndSave(packages.string());
    lf_restartNote();
  } catch (const std::exception& e) {
    gf_logError("{}: {}", "lf_newSimPath", e.what());
    lf_statusLogged(fmt::format("This install path cannot be used: {}", typed));
  }
}

void gf_noteParkingSettingChange(const Parameter& setting) {
  const auto& parking = gf_apfSettings();
  if (gf_parkFileLoaded() && std::find(parking.begin(), parking.end(), &setting) != parking.end())
    g_apfChanged.store(true);
}

void lf_respondNote() {
  if (!gf_parkFileLoaded()) return;
  g_parkingRefreshRequest.store(true);
  if (prm::INITIAL_LOAD_ONLY.value()) {
    gf_clearStatus();
    return;
  }
  const std::int32_t seconds = g_secondCounter.load();
  const std::int32_t wait = (seconds / 15 + 1) * 15 - seconds;
  gf_showStatus(fmt::format("{} will respond in {} second{} ...", kProgramName, wait, wait == 1 ? "" : "s"), false);
  g_parkingRecalcRequest.store(true);
}
