#include "ui/status_line.h"

#include "app/log.h"
#include "ui/main_window.h"

namespace {

// Invalidates the strip so the next paint shows the new text.
void lf_invalidateStrip() {
  HWND window = g_mainWindowHandle.load();
  if (window == nullptr) return;
  const RECT strip{0, kStatusStripTop, kWindowWidth, kStatusStripBottom};
  ::InvalidateRect(window, &strip, TRUE);
}

}  // namespace

void gf_showStatus(std::string_view text, bool log) {
  MainWindowState& state = gf_mainWindowState();
  {
    // The GUI text mutex; only the log mutex is taken inside it.
    std::lock_guard lock(state.guiTextMutex);
    if (!state.errorText.empty()) return;
    state.statusText = std::string(text);
    state.statusStamp = text.empty() ? 0 : (state.statusClock <= 0 ? 1 : state.statusClock);
    if (log && !text.empty()) gf_logLineUnlessStopping("{}", text);
  }
  lf_invalidateStrip();
}

void gf_clearStatus() { gf_showStatus({}, true); }

void gf_showError(std::string_view text) {
  MainWindowState& state = gf_mainWindowState();
  {
    std::lock_guard lock(state.guiTextMutex);
    state.statusText.clear();
    state.statusStamp = 0;
    state.errorText = std::string(text);
    gf_logLineUnlessStopping("Error {}", text);
  }
  lf_invalidateStrip();
}

void gf_clearError() {
  MainWindowState& state = gf_mainWindowState();
  {
    std::lock_guard lock(state.guiTextMutex);
    state.errorText.clear();
  }
  lf_invalidateStrip();
}

void gf_advanceStatusClock() {
  MainWindowState& state = gf_mainWindowState();
  bool expired = false;
  {
    std::lock_guard lock(state.guiTextMutex);
    ++state.statusClock;
    expired = state.statusStamp > 0 && state.statusClock - state.statusStamp >= kStatusSeconds;
  }
  if (expired) gf_clearStatus();
}

void gf_resetStatusClock() {
  MainWindowState& state = gf_mainWindowState();
  std::lock_guard lock(state.guiTextMutex);
  state.statusClock = 0;
}

StatusSnapshot gf_statusSnapshot() {
  MainWindowState& state = gf_mainWindowState();
  std::lock_guard lock(state.guiTextMutex);
  return {state.statusText, state.errorText, state.statusClock, state.statusStamp};
}
