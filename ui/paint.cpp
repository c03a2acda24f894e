#include "ui/paint.h"

#include <exception>
#include <string>

#include <fmt/format.h>

#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/utf.h"
#include "app/version.h"
#include "feed/feed_state.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

namespace {

// Text drawn with a transparent background at its top-left point. A text
// that is not valid UTF-8 is logged and skipped.
void lf_text(HDC hdc, int x, int y, const std::string& utf8, COLORREF color) {
  if (utf8.empty()) return;
  std::u16string text;
  try {
    text = win32::utf8ToUtf16(utf8);
  } catch (const win32::Utf8ConversionException& e) {
    gf_logLine("{} conversion exception {}, error code: {}", "gf_paintWindow", e.what(), e.errorCode());
    return;
  }
  ::SetTextColor(hdc, color);
  ::TextOutW(hdc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void lf_fill(HDC hdc, const RECT& rect, HBRUSH brush) { ::FillRect(hdc, &rect, brush); }

void lf_line(HDC hdc, int x0, int y0, int x1, int y1) {
  ::MoveToEx(hdc, x0, y0, nullptr);
  ::LineTo(hdc, x1, y1);
}

bool lf_enabled(const ParameterControl& setting) {
  HWND control = setting.handle();
  return control != nullptr && ::IsWindowEnabled(control);
}

// The y of a checkbox's label: the setting's row.
int lf_rowOf(const ParameterControl& setting) { return setting.row(); }

void lf_paintPanels(HDC hdc, const MainWindowState& state, bool error) {
  lf_fill(hdc, RECT{0, 0, kWindowWidth, 28}, state.blackBrush);
  lf_fill(hdc, RECT{0, 28, kWindowWidth, 112}, state.blackBrush);
  lf_fill(hdc, RECT{0, 112, kWindowWidth, 392}, state.lightBlueBrush);
  lf_fill(hdc, RECT{0, 392, kWindowWidth, 448}, state.blackBrush);
  lf_fill(hdc, RECT{0, 448, kWindowWidth, 476}, error ? state.redBrush : state.limeBrush);
}

void lf_paintWhiteLines(HDC hdc, const MainWindowState& state) {
  ::SelectObject(hdc, state.whitePen);
  lf_line(hdc, 0, 28, 880, 28);
  lf_line(hdc, 0, 113, 880, 113);
  lf_line(hdc, 0, 449, 880, 449);
  lf_line(hdc, 0, 392, 880, 392);
}

void lf_paintTitle(HDC hdc) {
  lf_text(hdc, 3, 7, fmt::format("Version {}", gf_programVersion().text()), kLime);
  lf_text(hdc, 390, 7, std::string(kProgramName), kLime);
  lf_text(hdc, 632, 7, fmt::format("for {}", kSimulatorsText), kLime);
}

void lf_paintBlackLines(HDC hdc, const MainWindowState& state) {
  ::SelectObject(hdc, state.blackPen);
  for (const SeparatorLine& separator : state.separators)
    lf_line(hdc, separator.from.x, separator.from.y, separator.to.x, separator.to.y);
  lf_line(hdc, 642, 140, 642, 308);
  lf_line(hdc, 425, 29, 425, 112);
}

void lf_paintHeader(HDC hdc, const MainWindowState& state, const DisplaySnapshot& d) {
  // The simulator lamp and the simulator and flight texts.
  const COLORREF simColor = !d.simConnected ? kRed : d.flightRunning ? kLime : kYellow;
  HBRUSH simBrush = !d.simConnected ? state.redBrush : d.flightRunning ? state.limeBrush : state.yellowBrush;
  lf_fill(hdc, RECT{397, 30, 425, 112}, simBrush);
  lf_text(hdc, 398, 63, "Sim", kLime);
  if (!d.simConnected) {
    lf_text(hdc, 5, 35, fmt::format("MSFS 20{} mode", g_isMsfs2020.load() ? "20" : "24"), kLime);
  } else {
    std::string simLine = d.simText;
    if (!d.userStandName.empty()) simLine += ", user stand " + d.userStandName;
    lf_text(hdc, 5, 35, simLine, simColor);
    lf_text(hdc, 5, 63, d.flightText, d.flightConfirmed ? simColor : kYellow);
  }

  // The counts of installed liveries and known airports.
  if (d.liveriesCount > 0)
    lf_text(hdc, 5, 91, fmt::format("# liveries: {}", d.liveriesCount), kLime);
  else
    lf_text(hdc, 5, 91, "# liveries: ...", kRed);
  if (d.simaddonCount > 0)
    lf_text(hdc, 141, 91, fmt::format("# {}: {}", "simaddon", d.simaddonCount), d.simaddonCurrent ? kLime : kYellow);
  else
    lf_text(hdc, 141, 91, "# simaddon: ...", kYellow);
  if (d.thirdpartyCount > 0)
    lf_text(hdc, 278, 91, fmt::format("# thirdp: {}", d.thirdpartyCount), kLime);
  else
    lf_text(hdc, 278, 91, "# thirdp: ...", kYellow);

  // The RealTraffic lamp and the readers.
  const bool active = g_readersActive.load();
  const std::int32_t trafficStatus = g_trafficReaderStatus.load();
  const std::int32_t qnhStatus = g_qnhReaderStatus.load();
  HBRUSH rtBrush = d.realTrafficLampOff ? state.blackBrush
                   : !active            ? state.redBrush
                   : trafficStatus == kReaderReceiving ? state.limeBrush
                                                       : state.yellowBrush;
  lf_fill(hdc, RECT{425, 30, 453, 112}, rtBrush);
  lf_text(hdc, 429, 63, "RT", kLime);
  if (!active) return;
  lf_text(hdc, 458, 35, gf_realTrafficText(), kLime);  // a copy: the feed writes it
  if (qnhStatus != kReaderStopped) lf_text(hdc, 458, 63, "Weather", qnhStatus == kReaderReceiving ? kLime : kYellow);
  if (trafficStatus != kReaderStopped)
    lf_text(hdc, 458, 91, "Traffic", trafficStatus == kReaderReceiving ? kLime : kYellow);
}

void lf_paintQnh(HDC hdc) {
  const std::int32_t status = g_qnhReaderStatus.load();
  const std::int32_t qnh = g_qnhShown.load();
  if (!g_readersActive.load() || qnh <= 0) return;
  if (status != kReaderReceiving && status != kReaderNoNewData) return;
  lf_text(hdc, 642, 63, fmt::format("qnh: {:4}", qnh), kLime);
}

void lf_paintLiveCount(HDC hdc, const DisplaySnapshot& d) {
  const std::int32_t status = g_trafficReaderStatus.load();
  if (!g_readersActive.load()) return;
  if (status != kReaderReceiving && status != kReaderNoNewData) return;
  lf_text(hdc, 642, 91, fmt::format("live: {:3}", d.counters.activeLive), kLime);
}

void lf_paintSettingsLabels(HDC hdc, const DisplaySnapshot& d) {
  constexpr COLORREF kGrey = RGB(160, 160, 160);
  auto label = [hdc](int x, const ParameterControl& rowOf, const std::string& text, COLORREF color = kBlack) {
    lf_text(hdc, x, lf_rowOf(rowOf), text, color);
  };
  // Row 147.
  label(25, prm::SCAN_LIVERIES, "Scan for liveries", prm::SCAN_LIVERIES.value() ? kYellow : kBlack);
  label(237, prm::LIG_AUTOMATIC, "Automatic:");
  label(470, prm::LIG_PRIORITIZE, "Prioritize");
  label(556, prm::SUPPRESS_STUB, "Stub");
  label(672, prm::LOG, "Log");
  label(768, prm::ALWAYS_ON_TOP, "Stay on top", prm::ALWAYS_ON_TOP.value() ? kYellow : kBlack);
  // Row 175.
  label(25, prm::SCAN_AIRPORTS, "Scan for addon airports", prm::SCAN_AIRPORTS.value() ? kYellow : kBlack);
  if (d.offlineLearningCount > 0) {
    const auto count = d.offlineLearningCount;
    label(217, prm::SCAN_AIRPORTS,
          fmt::format("{} airport{} in {} folder", count, gf_pluralS64(count), "TBLO"), kYellow);
  }
  label(672, prm::NAV_LIGHTS_WHILE_PARKED, "Nav lights");
  label(768, prm::LEARN_SOFT, "Learn Soft");
  // Row 203.
  label(5, prm::MATCHING_DEPTH, "Max aircraft matching depth");
  label(258, prm::LIGHT_AIRCRAFT, "Optional:");
  label(343, prm::LIGHT_AIRCRAFT, "Light aircraft", lf_enabled(prm::LIGHT_AIRCRAFT) ? kBlack : kGrey);
  label(450, prm::HELICOPTERS, "Helicopters", lf_enabled(prm::HELICOPTERS) ? kBlack : kGrey);
  label(556, prm::HIGH_PERF_AIRCRAFT, "FighterJets", lf_enabled(prm::HIGH_PERF_AIRCRAFT) ? kBlack : kGrey);
  label(672, prm::HALVARD, "Halvard", prm::HALVARD.value() ? kYellow : kBlack);
  label(768, prm::GUID_CHANGES, "GUID changes", prm::GUID_CHANGES.value() ? kBlack : kYellow);
  // Row 231.
  label(5, prm::RANGE, "Traffic injection");
  label(163, prm::RANGE, "Radius:");
  label(270, prm::RANGE, "nm, or");
  label(343, prm::AUTO_RANGE, "Auto range");
  const COLORREF autoRangeColor = prm::AUTO_RANGE.value() ? kBlack : kGrey;
  label(430, prm::AR_ABOVE_HEIGHT, "Ah:", autoRangeColor);
  label(536, prm::AR_ABOVE_HEIGHT, "ft", autoRangeColor);
  label(768, prm::CALLSIGN_OBJECTIDS, "Objectids", g_isMsfs2020.load() ? kBlack : kGrey);
  // Row 259.
  label(5, prm::BLOCK_CALLSIGN, "Callsigns");
  label(172, prm::BLOCK_CALLSIGN, "Block:");
  label(430, prm::CALLSIGN_2_OBJECTID, "Oid:");
  if (!prm::CALLSIGN_2_OBJECTID.value().empty() && !d.objectIdText.empty())
    label(561, prm::CALLSIGN_2_OBJECTID, d.objectIdText);
  // Row 287.
  label(5, prm::COLLISION_USER_GND, "Collision avoidance");
  label(237, prm::COLLISION_USER_GND, "User ground");
  label(343, prm::COLLISION_USER_AIR, "User air");
  label(450, prm::COLLISION_LIVE_PARKED_GND, "Live X parked");
  // Row 315.
  label(5, prm::MAX_PARK_SEL, fmt::format("Airport parking{}", d.staticParkingBusy ? " active" : ""),
        d.staticParkingBusy ? kYellow : kBlack);
  label(247, prm::MAX_PARK_SEL, "Max park:");
  label(450, prm::MAX_LIVE_SEL, "Max live:");
  label(672, prm::STRAIGHT_PBS_ONLY, "Straight push backs only", prm::STRAIGHT_PBS_ONLY.value() ? kBlack : kGrey);
  // Row 343.
  if (d.parkFileLoaded && !d.staticParkingBusy && !prm::INITIAL_LOAD_ONLY.value() && d.minutesToRenewal >= 1 &&
      d.minutesToRenewal <= 19)
    label(5, prm::AIRP_RANGE, fmt::format("(next in {} min)", d.minutesToRenewal));
  label(137, prm::DESTINATION, "Destination:");
  label(303, prm::AIRP_RANGE, "Range:");
  label(403, prm::AIRP_RANGE, "nm");
  label(440, prm::AIRP_HEIGHT, "Height above gnd:");
  label(646, prm::AIRP_HEIGHT, "ft");
  // Row 371.
  label(25, prm::PARK_FAKE, "Fake");
  label(91, prm::WEEK, "Week");
  label(171, prm::PARK_SOFT, "Soft");
  label(264, prm::parking_percentage, "Target: ");
  label(363, prm::parking_percentage, "%");
  label(450, prm::INITIAL_LOAD_ONLY, "ILO", prm::INITIAL_LOAD_ONLY.value() ? kYellow : kBlack);
  label(506, prm::MAX_FIT_FL, "Max fit:");
}

void lf_paintStatistics(HDC hdc, const DisplaySnapshot& d) {
  if (!d.parkFileLoaded) return;
  constexpr int kFirst = 399;
  constexpr int kSecond = 427;
  lf_text(hdc, 5, kFirst, d.parkAirportName, d.parkFileRead ? kLime : kYellow);
  if (d.parkFileRead) {
    lf_text(hdc, 85, kFirst,
            fmt::format(" {}, {}{}, wk={}", d.parkFileAirportName, d.parkFilePublisher, d.handmade ? " (h)" : "", d.week),
            kLime);
    if (d.softUsed) lf_text(hdc, 370, kFirst, "*S*", kLime);
    lf_text(hdc, 430, kFirst, fmt::format("qf: {}", d.qualityText), kLime);
    if (!d.reservedStand.empty())
      lf_text(hdc, 571, kFirst, fmt::format("reserved stand: {}", d.reservedStand), d.reservedStandFound ? kLime : kRed);
    lf_text(hdc, 748, kFirst, fmt::format("# updates: {:4}", g_learnedUpdates.load()), kLime);
  }
  lf_text(hdc, 5, kSecond, fmt::format("# stands: {:3}", d.standCount), kLime);
  lf_text(hdc, 111, kSecond, fmt::format("parked live: {:3}", d.counters.parkedLive), kLime);
  if (d.averageFit > 0.0)
    lf_text(hdc, 249, kSecond, fmt::format("average fit: {:.1F}", d.averageFit), kLime);
  else
    lf_text(hdc, 249, kSecond, fmt::format("average fit: {}", "--"), kLime);
  lf_text(hdc, 430, kSecond, fmt::format("parked static: {:3}", d.counters.parkedStatic), kLime);
  const std::int32_t wanted = g_windowWantedStatics.load();
  if (wanted > 0)
    lf_text(hdc, 708, kSecond, fmt::format("max park: {:3} (={} %)", wanted, g_windowWantedPercent.load()), kLime);
  else
    lf_text(hdc, 708, kSecond, "no max park live", kLime);
}

}  // namespace

void lf_paintStatusStrip(HDC hdc) {
  MainWindowState& state = gf_mainWindowState();
  const RECT strip{0, kStatusStripTop, kWindowWidth, kStatusStripBottom};
  std::string utf8;
  bool error = false;
  {
    // The GUI text mutex: the texts are written by other threads.
    std::lock_guard lock(state.guiTextMutex);
    error = !state.errorText.empty();
    utf8 = error ? state.errorText : state.statusText;
  }
  std::u16string text;
  try {
    text = win32::utf8ToUtf16(utf8);
  } catch (const win32::Utf8ConversionException& e) {
    gf_logLine("{} conversion exception {}, error code: {}", "gf_paintWindow", e.what(), e.errorCode());
    text = u"?";
  }
  ::FillRect(hdc, &strip, error ? state.redBrush : state.limeBrush);
  if (text.empty()) return;
  ::SetTextColor(hdc, kYellow);
  ::SetBkMode(hdc, TRANSPARENT);
  ::TextOutW(hdc, 3, 455, text.c_str(), static_cast<int>(text.size()));
}

void gf_paintWindow(HDC hdc) {
  MainWindowState& state = gf_mainWindowState();
  state.paintDC.store(hdc);
  const DisplaySnapshot display = gf_displaySnapshot();
  const bool error = !gf_statusSnapshot().error.empty();
  HGDIOBJ previousPen = ::SelectObject(hdc, state.whitePen);
  lf_paintPanels(hdc, state, error);
  lf_paintWhiteLines(hdc, state);
  ::SetBkMode(hdc, TRANSPARENT);
  lf_paintTitle(hdc);
  lf_paintBlackLines(hdc, state);
  lf_paintHeader(hdc, state, display);
  lf_paintQnh(hdc);
  lf_paintLiveCount(hdc, display);
  lf_paintSettingsLabels(hdc, display);
  lf_paintStatistics(hdc, display);
  lf_paintStatusStrip(hdc);
  if (previousPen != nullptr) ::SelectObject(hdc, previousPen);
}
