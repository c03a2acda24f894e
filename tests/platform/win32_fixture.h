// A recording window class for the Win32 layer tests: its window procedure
// notes every message (with the thread it ran on) and leaves the rest to
// DefWindowProcW, with a few switches a test can set.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/testdriver.h"
#include "platform/win32/user32.h"

namespace win32test {

struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

struct Recorder {
  std::mutex m;
  std::vector<Seen> seen;
  // Switches.
  bool keepOnClose = false;            // WM_CLOSE does not destroy the window
  bool quitOnDestroy = false;          // WM_DESTROY posts the quit message
  LRESULT createResult = 0;            // WM_CREATE result (-1 fails creation)
  std::function<void(HWND, HDC, const PAINTSTRUCT&)> paint;  // WM_PAINT body
  // What WM_CREATE saw.
  void* createParams = nullptr;
  bool windowExistedInCreate = false;

  std::vector<Seen> messages(UINT msg) {
    std::lock_guard lock(m);
    std::vector<Seen> out;
    for (const Seen& s : seen)
      if (s.msg == msg) out.push_back(s);
    return out;
  }
  std::vector<UINT> appMessages() {
    std::lock_guard lock(m);
    std::vector<UINT> out;
    for (const Seen& s : seen)
      if (s.msg >= WM_APP) out.push_back(s.msg);
    return out;
  }
  void clear() {
    std::lock_guard lock(m);
    seen.clear();
  }
};

inline Recorder* g_recorder = nullptr;
inline constexpr const char16_t* kClassName = u"SkyloomTestWindow";

inline LRESULT CALLBACK recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Recorder& r = *g_recorder;
  {
    std::lock_guard lock(r.m);
    r.seen.push_back(Seen{hwnd, msg, wParam, lParam, std::this_thread::get_id()});
  }
  switch (msg) {
    case WM_CREATE:
      r.createParams = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
      r.windowExistedInCreate = IsWindow(hwnd) != FALSE;
      return r.createResult;
    case WM_CLOSE:
      if (r.keepOnClose) return 0;
      break;
    case WM_DESTROY:
      if (r.quitOnDestroy) PostQuitMessage(3);
      return 0;
    case WM_PAINT:
      if (r.paint) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        r.paint(hwnd, hdc, ps);
        EndPaint(hwnd, &ps);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Every test starts with no windows and an empty queue on its thread.
class Win32Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    win32layer::testdriver::resetThread();
    g_recorder = &recorder;
    static const ATOM atom = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof(wc);
      wc.style = CS_HREDRAW | CS_VREDRAW;
      wc.lpfnWndProc = recordingProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
      wc.lpszClassName = kClassName;
      return RegisterClassExW(&wc);
    }();
    ASSERT_NE(atom, 0);
  }
  void TearDown() override {
    win32layer::testdriver::resetThread();
    g_recorder = nullptr;
  }

  // A visible main window of 880 x 516 with a caption and a close button.
  HWND mainWindow(void* params = nullptr) {
    HWND h = CreateWindowExW(0, kClassName, u"Skyloom", WS_CAPTION | WS_SYSMENU, 400, 20, 880, 516, nullptr,
                             nullptr, GetModuleHandleW(nullptr), params);
    if (h) ShowWindow(h, SW_SHOW);
    return h;
  }
  HWND child(HWND parent, const char16_t* cls, DWORD style, int id, int x, int y, int w, int h,
             const char16_t* text = u"") {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), GetModuleHandleW(nullptr), nullptr);
  }

  Recorder recorder;
};

}  // namespace win32test
