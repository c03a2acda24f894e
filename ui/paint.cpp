#include "ui/paint.h"

#include "app/utf.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

void lf_paintStatusStrip(HDC hdc) {
  MainWindowState& state = gf_mainWindowState();
  const RECT strip{0, kStatusStripTop, kWindowWidth, kStatusStripBottom};
  std::u16string text;
  bool error = false;
  {
    // The GUI text mutex: the texts are written by other threads.
    std::lock_guard lock(state.guiTextMutex);
    error = !state.errorText.empty();
    try {
      text = win32::utf8ToUtf16(error ? state.errorText : state.statusText);
    } catch (const std::exception&) {
      text = u"?";
    }
  }
  ::FillRect(hdc, &strip, error ? state.redBrush : state.limeBrush);
  if (text.empty()) return;
  ::SetTextColor(hdc, kYellow);
  ::SetBkMode(hdc, TRANSPARENT);
  ::TextOutW(hdc, 3, 455, text.c_str(), static_cast<int>(text.size()));
}

void gf_paintWindow(HDC hdc) { lf_paintStatusStrip(hdc); }
