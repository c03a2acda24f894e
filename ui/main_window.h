// The program's one top-level window: its state, creation and procedure.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/win32/gdi32.h"
#include "platform/win32/user32.h"

inline constexpr int kWindowWidth = 880;
inline constexpr int kWindowHeight = 516;
inline constexpr UINT WM_APP_START_RUN = WM_APP + 1;   // start a run
inline constexpr UINT WM_APP_END_PROGRAM = WM_APP + 2;  // save the position and quit
inline constexpr UINT kTitleStringId = 101;

// The colours of the window.
inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kLightBlue = RGB(153, 204, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);
inline constexpr COLORREF kLime = RGB(50, 205, 50);
inline constexpr COLORREF kYellow = RGB(255, 255, 0);

struct SeparatorLine {
  POINT from, to;
};

// The main-window state: one process-wide object, built on first use with
// every member ready; the ready flag is set last.
struct MainWindowState {
  MainWindowState();
  ~MainWindowState();
  MainWindowState(const MainWindowState&) = delete;
  MainWindowState& operator=(const MainWindowState&) = delete;

  HBRUSH redBrush, lightBlueBrush, blackBrush, limeBrush, yellowBrush;
  HPEN blackPen, whitePen;
  std::array<SeparatorLine, 7> separators;

  // The GUI text mutex: guards the status and error texts and the status
  // clock. Taken before the log mutex and never with any other lock.
  std::mutex guiTextMutex;
  std::string statusText;
  std::string errorText;
  std::int32_t statusClock = 0;
  std::int32_t statusStamp = 0;

  // The paint context of the current WM_PAINT (UI thread).
  std::atomic<HDC> paintDC{nullptr};

  std::atomic<bool> ready{false};
};

MainWindowState& gf_mainWindowState();

// The main window; nullptr until initInstance created it. Read by every
// thread that invalidates, enables or posts to the window.
extern std::atomic<HWND> g_mainWindowHandle;
// The window handle the window procedure was last called with: the parent
// for control look-ups by id.
extern std::atomic<HWND> g_lastWindowProcHandle;

// Registers the main window class (the title is its name).
ATOM gf_registerMainWindowClass(HINSTANCE instance, const std::u16string& title);
// Creates and shows the main window at the stored position; false on failure.
bool initInstance(HINSTANCE instance, const std::u16string& title);
LRESULT CALLBACK lf_mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// For each coordinate setting at a bound of its range: the fall-back value
// (clamped) is set and saved.
void lf_boundGuard(std::int32_t fallbackX, std::int32_t fallbackY);
// WM_APP+2: stores the window's position, logs the time and quits.
void lf_saveWindowPositionAndQuit(HWND hwnd);
