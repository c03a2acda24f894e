#include "ui/window_fixture.h"

#include <cairo.h>

#include <atomic>
#include <thread>

#include "app/runstate.h"
#include "app/utf.h"
#include "feed/feed_state.h"
#include "platform/win32/layer.h"
#include "support/log_reader.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/main_window.h"

namespace testsupport {

namespace drv = win32layer::testdriver;

namespace {

void lf_resetShared() {
  gf_resetDisplayState();
  gf_resetFeedState();
  gf_setRealTrafficText("");
  g_liveAircraft.clear();
  g_staticAircraft.clear();
  g_windowWantedStatics = 0;
  g_windowWantedPercent = 0;
  g_learnedUpdates = 0;
  g_isMsfs2020 = true;
  g_lastWindowProcHandle = nullptr;
}

}  // namespace

void WindowTest::SetUp() {
  ProgramTest::SetUp();
  lf_resetShared();
}

void WindowTest::TearDown() {
  ProgramTest::TearDown();
  lf_resetShared();
}

bool WindowTest::createWindow() {
  openTestLog();
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  gf_registerMainWindowClass(instance, u"Skyloom");
  return initInstance(instance, u"Skyloom") && window() != nullptr;
}

HWND WindowTest::control(int id) const { return ::GetDlgItem(window(), id); }

bool WindowTest::onOtherThread(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread other([&] {
    work();
    done = true;
  });
  const bool ended = pumpUntil([&] { return done.load(); }, std::chrono::seconds(10));
  other.join();
  return ended;
}

void WindowTest::paintNow() { drv::pumpUntilIdle(); }

bool pickComboText(HWND combo, const std::string& text) {
  const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    WCHAR buffer[64]{};
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    if (win32::utf16ToUtf8(buffer) == text) return drv::pickComboEntry(combo, i);
  }
  return false;
}

bool textShownAt(HWND window, int x, int y, const std::string& text, COLORREF color) {
  const std::u16string wide = win32::utf8ToUtf16(text);
  const COLORREF background = color == RGB(0, 0, 0) ? RGB(255, 255, 255) : RGB(0, 0, 0);
  cairo_surface_t* image = win32layer::gdi::createImage(400, 40);
  HDC hdc = win32layer::gdi::createDC(image, 0, 0, RECT{0, 0, 400, 40});
  SIZE size{};
  ::GetTextExtentPoint32W(hdc, wide.c_str(), static_cast<int>(wide.size()), &size);
  const RECT all{0, 0, 400, 40};
  HBRUSH brush = ::CreateSolidBrush(background);
  ::FillRect(hdc, &all, brush);
  ::DeleteObject(brush);
  ::SetBkMode(hdc, TRANSPARENT);
  ::SetTextColor(hdc, color);
  ::TextOutW(hdc, 0, 0, wide.c_str(), static_cast<int>(wide.size()));
  bool inked = false;
  bool same = true;
  for (int j = 0; j < size.cy && same; ++j) {
    for (int i = 0; i < size.cx && same; ++i) {
      const bool expected = win32layer::gdi::readPixel(image, i, j) == color;
      inked = inked || expected;
      same = expected == (drv::pixel(window, x + i, y + j) == color);
    }
  }
  win32layer::gdi::deleteDC(hdc);
  cairo_surface_destroy(image);
  return inked && same;
}

bool anyPixel(HWND window, const RECT& rect, COLORREF color) {
  for (int y = rect.top; y < rect.bottom; ++y)
    for (int x = rect.left; x < rect.right; ++x)
      if (drv::pixel(window, x, y) == color) return true;
  return false;
}

bool allPixels(HWND window, const RECT& rect, COLORREF color) {
  for (int y = rect.top; y < rect.bottom; ++y)
    for (int x = rect.left; x < rect.right; ++x)
      if (drv::pixel(window, x, y) != color) return false;
  return true;
}

}  // namespace testsupport
