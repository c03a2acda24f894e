#include "ui/main_window.h"

#include <thread>

#include <pugixml.hpp>

#include "app/clock.h"
#include "app/log.h"
#include "app/parameters.h"
#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/version.h"
#include "app/xml.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/paint.h"
#include "ui/status_line.h"

std::atomic<HWND> g_mainWindowHandle{nullptr};
std::atomic<HWND> g_lastWindowProcHandle{nullptr};

MainWindowState::MainWindowState()
    : redBrush(::CreateSolidBrush(kRed)),
      lightBlueBrush(::CreateSolidBrush(kLightBlue)),
      blackBrush(::CreateSolidBrush(kBlack)),
      limeBrush(::CreateSolidBrush(kLime)),
      yellowBrush(::CreateSolidBrush(kYellow)),
      blackPen(::CreatePen(PS_SOLID, 1, kBlack)),
      whitePen(::CreatePen(PS_SOLID, 1, RGB(255, 255, 255))),
      separators{{{{0, 140}, {880, 140}},
                  {{0, 168}, {642, 168}},
                  {{0, 196}, {642, 196}},
                  {{0, 224}, {642, 224}},
                  {{0, 252}, {642, 252}},
                  {{0, 280}, {642, 280}},
                  {{0, 308}, {880, 308}}}} {
  ready.store(true);
}

MainWindowState::~MainWindowState() {
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(redBrush), static_cast<HGDIOBJ>(lightBlueBrush),
                         static_cast<HGDIOBJ>(blackBrush), static_cast<HGDIOBJ>(limeBrush),
                         static_cast<HGDIOBJ>(yellowBrush), static_cast<HGDIOBJ>(blackPen),
                         static_cast<HGDIOBJ>(whitePen)})
    ::DeleteObject(object);
}

MainWindowState& gf_mainWindowState() {
  static MainWindowState state;
  return state;
}

ATOM gf_registerMainWindowClass(HINSTANCE instance, const std::u16string& title) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(WNDCLASSEXW);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = lf_mainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(100));
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = title.c_str();
  return ::RegisterClassExW(&wc);
}

void lf_boundGuard(std::int32_t fallbackX, std::int32_t fallbackY) {
  for (auto [setting, fallback] : {std::pair{&prm::MAIN_WINDOW_X, fallbackX}, std::pair{&prm::MAIN_WINDOW_Y, fallbackY}}) {
    const std::int32_t v = setting->value();
    if (v == setting->minimum() || v == setting->maximum()) setting->setAndSave(fallback);  // clamps
  }
}

bool initInstance(HINSTANCE instance, const std::u16string& title) {
  MainWindowState& state = gf_mainWindowState();
  for (int i = 0; i < 18 && !state.ready.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!state.ready.load()) return false;

  // The position is read straight from the settings file: the run thread
  // reads the other settings later.
  const auto path = gf_parametersPath();
  pugi::xml_document document;
  if (!path.empty() && gf_loadXmlFile(path, kSettingsFileMaxBytes, document)) {
    prm::MAIN_WINDOW_X.readValue(document);
    prm::MAIN_WINDOW_Y.readValue(document);
    lf_boundGuard(prm::MAIN_WINDOW_X.defaultValue(), prm::MAIN_WINDOW_Y.defaultValue());
    // The controls are made with the stored values, so the window shows the
    // user's settings from the start; the run reads the file again (and
    // writes back what is missing) when it starts.
    for (ParameterControl* control : gf_allControlParameters()) {
      auto* setting = dynamic_cast<Parameter*>(control);
      if (setting != nullptr && setting->stored()) setting->readValue(document);
    }
  }
  // The header shows the mode of the chosen simulator from the first paint.
  g_isMsfs2020.store(prm::SIM_CHOICE.value() == kSimChoices[0]);

  HWND hwnd = ::CreateWindowExW(0, title.c_str(), title.c_str(), WS_CAPTION | WS_SYSMENU, prm::MAIN_WINDOW_X.value(),
                                prm::MAIN_WINDOW_Y.value(), kWindowWidth, kWindowHeight, nullptr, nullptr, instance,
                                nullptr);
  if (hwnd == nullptr) return false;
  g_mainWindowHandle.store(hwnd);
  ::ShowWindow(hwnd, SW_SHOW);
  return ::UpdateWindow(hwnd) != FALSE;
}

void lf_saveWindowPositionAndQuit(HWND hwnd) {
  const std::int32_t previousX = prm::MAIN_WINDOW_X.value();
  const std::int32_t previousY = prm::MAIN_WINDOW_Y.value();
  RECT rect{};
  if (::GetWindowRect(hwnd, &rect)) {
    prm::MAIN_WINDOW_X.setAndSave(rect.left);  // clamped to the range
    prm::MAIN_WINDOW_Y.setAndSave(rect.top);
  }
  // A minimised window lies far outside the range: its clamped position sits
  // at a bound and is replaced by the position it had before.
  lf_boundGuard(previousX, previousY);
  gf_logLine("{}", gf_timeText(gf_utcNowSeconds()));
  ::PostQuitMessage(0);
}

LRESULT CALLBACK lf_mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_lastWindowProcHandle.store(hwnd);
  switch (message) {
    case WM_CREATE:
      lf_createControls(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps{};
      HDC hdc = ::BeginPaint(hwnd, &ps);
      gf_paintWindow(hdc);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      // The window stays until the run has closed down; the run thread then
      // posts WM_APP+2.
      gf_showStatus(fmt::format("Close window button clicked, closing {} ...", kProgramName), false);
      g_windowClosed.store(true);
      gf_requestStop(ExitReason::UserClosedSim);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC hdc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(hdc, OPAQUE);
      ::SetBkColor(hdc, kLightBlue);
      // The DC brush is white until told otherwise; the same light blue as
      // the text's background keeps a field one colour instead of white
      // with light-blue bars behind its characters.
      ::SetDCBrushColor(hdc, kLightBlue);
      return reinterpret_cast<LRESULT>(::GetStockObject(DC_BRUSH));
    }
    case WM_COMMAND:
      if (lf_HandleWMCOMMAND(hwnd, wParam)) return 0;
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_APP_START_RUN:
      gf_startRunThread();
      return 0;
    case WM_APP_END_PROGRAM:
      lf_saveWindowPositionAndQuit(hwnd);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
