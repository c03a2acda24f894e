#include "platform/win32/testdriver.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "app/utf.h"
#include "platform/win32/layer.h"

namespace win32layer::testdriver {
namespace {

LPARAM centre(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return MAKELPARAM(static_cast<WORD>(r.right / 2), static_cast<WORD>(r.bottom / 2));
}

bool sendChar(HWND edit, char16_t c) {
  if (!acceptsInput(edit)) return false;
  SendMessageW(edit, WM_CHAR, c, 1);
  return true;
}

}  // namespace

bool click(HWND control) {
  if (!acceptsInput(control)) return false;
  const LPARAM at = centre(control);
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(control, WM_LBUTTONUP, 0, at);
  return true;
}

bool pickComboEntry(HWND combo, int index) {
  if (!acceptsInput(combo)) return false;
  return userPicksComboEntry(combo, index);
}

bool typeText(HWND edit, std::string_view utf8) {
  if (!acceptsInput(edit)) return false;
  if (GetFocus() != edit && !click(edit)) return false;
  for (char16_t c : win32::utf8ToUtf16(utf8))
    if (!sendChar(edit, c)) return false;
  return true;
}

bool pressEnter(HWND edit) {
  if (!acceptsInput(edit)) return false;
  if (GetFocus() != edit && !click(edit)) return false;
  return sendChar(edit, u'\r');
}

bool clearText(HWND edit) {
  if (!acceptsInput(edit)) return false;
  if (!click(edit)) return false;  // the caret goes to the end
  for (int n = GetWindowTextLengthW(edit); n > 0; --n)
    if (!sendChar(edit, u'\b')) return false;
  return true;
}

bool pressCloseButton(HWND window) {
  if (!acceptsInput(window)) return false;
  if (!(GetWindowLongPtrW(window, GWL_STYLE) & WS_SYSMENU)) return false;
  SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
}

bool minimize(HWND window) {
  if (!IsWindow(window)) return false;
  ShowWindow(window, SW_MINIMIZE);
  return true;
}

bool restore(HWND window) {
  if (!IsWindow(window)) return false;
  ShowWindow(window, SW_RESTORE);
  return true;
}

PumpResult pumpUntilIdle() {
  PumpResult result;
  MSG msg;
  for (std::size_t guard = 0; guard < 1000000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (msg.message == WM_QUIT) {
      result.quit = true;
      result.exitCode = static_cast<int>(msg.wParam);
      return result;
    }
    const std::uint64_t validated = msg.message == WM_PAINT ? validationCount(msg.hwnd) : 0;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++result.dispatched;
    // A window procedure that leaves WM_PAINT unvalidated would get it
    // forever; validate it here so that pumping ends.
    if (msg.message == WM_PAINT && IsWindow(msg.hwnd) && validationCount(msg.hwnd) == validated)
      ValidateRect(msg.hwnd, nullptr);
  }
  return result;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pumpUntilIdle();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    // Short waits: `done` may turn true without a message (another thread
    // finished its work), and it is looked at again after each wait.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    waitForMessages(std::min(left + std::chrono::milliseconds(1), std::chrono::milliseconds(10)));
  }
}

COLORREF pixel(HWND window, int x, int y) {
  paintPendingWindows();
  ImageView view;
  if (!windowImage(window, view)) return CLR_INVALID;
  const int ix = view.originX + x, iy = view.originY + y;
  COLORREF result = CLR_INVALID;
  if (ix >= view.area.left && ix < view.area.right && iy >= view.area.top && iy < view.area.bottom)
    result = gdi::readPixel(view.image, ix, iy);
  cairo_surface_destroy(view.image);
  return result;
}

bool saveScreenshot(HWND window, const std::filesystem::path& path) {
  paintPendingWindows();
  ImageView view;
  if (!windowImage(window, view)) return false;
  const int width = view.area.right - view.area.left, height = view.area.bottom - view.area.top;
  bool ok = false;
  if (width > 0 && height > 0) {
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(shot);
    cairo_set_source_surface(cr, view.image, -view.area.left, -view.area.top);
    cairo_paint(cr);
    cairo_destroy(cr);
    ok = cairo_surface_write_to_png(shot, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(shot);
  }
  cairo_surface_destroy(view.image);
  return ok;
}

std::string windowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::u16string buffer(static_cast<std::size_t>(length) + 1, u'\0');
  const int n = GetWindowTextW(window, buffer.data(), length + 1);
  buffer.resize(static_cast<std::size_t>(std::max(0, n)));
  return win32::utf16ToUtf8(buffer);
}

void resetThread() { discardThreadWindows(); }

}  // namespace win32layer::testdriver
