#include "ui/edit_commands.h"

#include <exception>

#include "app/log.h"
#include "app/settings.h"
#include "app/utf.h"
#include "ui/main_window.h"

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
  gf_logLine("{}: {} '{}'", "lf_processTbInt", setting.name(), lf_getTextFromId(setting.controlId()));
}

bool lf_processTbFloat(ControlFloatParameter& setting) {
  gf_logLine("{}: {} '{}'", "lf_processTbFloat", setting.name(), lf_getTextFromId(setting.controlId()));
  return false;
}

void lf_processBlockCallsign() {
  gf_logLine("{}: '{}'", "lf_processBlockCallsign", lf_getTextFromId(prm::BLOCK_CALLSIGN.controlId()));
}

void lf_processDestination() {
  gf_logLine("{}: '{}'", "lf_processDestination", lf_getTextFromId(prm::DESTINATION.controlId()));
}

void lf_processCallsignObjectId() {
  gf_logLine("{}: '{}'", "lf_processCallsignObjectId", lf_getTextFromId(prm::CALLSIGN_2_OBJECTID.controlId()));
}

void lf_newSimPath(StringParameter& pathSetting, const std::string& text) {
  gf_logLine("{}: {} '{}'", "lf_newSimPath", pathSetting.name(), text);
}

void lf_respondNote() { gf_logLine("{}", "lf_respondNote"); }
