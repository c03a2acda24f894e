#include "ui/display_state.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "ui/main_window.h"

namespace {

// Which part of the window a value lives in.
enum class Panel { Header, Settings, Statistics };

struct DisplayValues {
  std::atomic<bool> simConnected{false};
  std::atomic<bool> flightRunning{false};
  std::atomic<bool> flightConfirmed{false};
  std::atomic<std::int64_t> liveriesCount{0};
  std::atomic<std::int64_t> simaddonCount{0};
  std::atomic<bool> simaddonCurrent{false};
  std::atomic<std::int64_t> thirdpartyCount{0};
  std::atomic<bool> realTrafficLampOff{true};
  std::atomic<std::int64_t> offlineLearningCount{0};
  std::atomic<bool> staticParkingBusy{false};
  std::atomic<std::int32_t> minutesToRenewal{0};
  std::atomic<bool> parkFileLoaded{false};
  std::atomic<bool> parkFileRead{false};
  std::atomic<bool> handmade{false};
  std::atomic<std::int32_t> week{0};
  std::atomic<bool> softUsed{false};
  std::atomic<bool> reservedStandFound{false};
  std::atomic<std::int64_t> standCount{0};
  std::atomic<double> averageFit{-1.0};
  std::atomic<std::int64_t> activeLive{0};
  std::atomic<std::int64_t> parkedLive{0};
  std::atomic<std::int64_t> parkedStatic{0};

  // The display text mutex: a leaf lock, held only to copy or assign.
  std::mutex textMutex;
  std::string simText;
  std::string flightText;
  std::string userStandName;
  std::string objectIdText;
  std::string parkAirportName;
  std::string parkFileAirportName;
  std::string parkFilePublisher;
  std::string qualityText;
  std::string reservedStand;
};

DisplayValues& lf_values() {
  static DisplayValues values;
  return values;
}

void lf_invalidate(Panel panel) {
  HWND window = g_mainWindowHandle.load();
  if (window == nullptr) return;
  RECT rect{0, kHeaderTop, kPanelRight, kSettingsTop};
  if (panel == Panel::Settings) rect = {0, kSettingsTop, kPanelRight, kStatisticsTop};
  if (panel == Panel::Statistics) rect = {0, kStatisticsTop, kPanelRight, kStatisticsTop + 56};
  ::InvalidateRect(window, &rect, TRUE);
}

// Stores an atomic value; repaints its panel when it changed.
template <typename T, typename V>
void lf_store(std::atomic<T>& field, V value, Panel panel) {
  if (field.exchange(static_cast<T>(value)) != static_cast<T>(value)) lf_invalidate(panel);
}

// Stores a text under the display text mutex; repaints when it changed.
void lf_storeText(std::string DisplayValues::*field, std::string text, Panel panel) {
  DisplayValues& v = lf_values();
  bool changed = false;
  {
    std::lock_guard lock(v.textMutex);  // leaf lock
    std::string& target = v.*field;
    if (target != text) {
      target = std::move(text);
      changed = true;
    }
  }
  if (changed) lf_invalidate(panel);
}

}  // namespace

void gf_setSimConnected(bool connected) { lf_store(lf_values().simConnected, connected, Panel::Header); }
void gf_setFlightRunning(bool running) { lf_store(lf_values().flightRunning, running, Panel::Header); }
void gf_setSimText(std::string text) { lf_storeText(&DisplayValues::simText, std::move(text), Panel::Header); }

void gf_setFlightText(std::string text, bool confirmed) {
  lf_store(lf_values().flightConfirmed, confirmed, Panel::Header);
  lf_storeText(&DisplayValues::flightText, std::move(text), Panel::Header);
}

void gf_setUserStandName(std::string name) {
  lf_storeText(&DisplayValues::userStandName, std::move(name), Panel::Header);
}

std::string gf_userStandName() {
  DisplayValues& v = lf_values();
  std::lock_guard lock(v.textMutex);
  return v.userStandName;
}

void gf_setLiveriesCount(std::int64_t count) { lf_store(lf_values().liveriesCount, count, Panel::Header); }

void gf_setSimaddonCount(std::int64_t count, bool current) {
  lf_store(lf_values().simaddonCount, count, Panel::Header);
  lf_store(lf_values().simaddonCurrent, current, Panel::Header);
}

void gf_setThirdpartyCount(std::int64_t count) { lf_store(lf_values().thirdpartyCount, count, Panel::Header); }
void gf_setRealTrafficLampOff(bool off) { lf_store(lf_values().realTrafficLampOff, off, Panel::Header); }

void gf_invalidateHeader() { lf_invalidate(Panel::Header); }

void gf_setOfflineLearningCount(std::int64_t count) {
  lf_store(lf_values().offlineLearningCount, count, Panel::Settings);
}

void gf_setObjectIdText(std::string text) {
  lf_storeText(&DisplayValues::objectIdText, std::move(text), Panel::Settings);
}

void gf_setStaticParkingBusy(bool busy) { lf_store(lf_values().staticParkingBusy, busy, Panel::Settings); }
bool gf_staticParkingBusy() { return lf_values().staticParkingBusy.load(); }
void gf_setMinutesToRenewal(std::int32_t minutes) { lf_store(lf_values().minutesToRenewal, minutes, Panel::Settings); }
void gf_invalidateSettings() { lf_invalidate(Panel::Settings); }

void gf_setParkFileLoaded(bool loaded) {
  lf_store(lf_values().parkFileLoaded, loaded, Panel::Statistics);
  lf_invalidate(Panel::Settings);  // "(next in {} min)" depends on it too
}

bool gf_parkFileLoaded() { return lf_values().parkFileLoaded.load(); }

void gf_setParkAirportName(std::string displayName, bool fileRead) {
  lf_store(lf_values().parkFileRead, fileRead, Panel::Statistics);
  lf_storeText(&DisplayValues::parkAirportName, std::move(displayName), Panel::Statistics);
}

void gf_setParkFileTexts(std::string airportName, std::string publisher) {
  lf_storeText(&DisplayValues::parkFileAirportName, std::move(airportName), Panel::Statistics);
  lf_storeText(&DisplayValues::parkFilePublisher, std::move(publisher), Panel::Statistics);
}

void gf_setParkFileFlags(bool handmade, std::int32_t week) {
  lf_store(lf_values().handmade, handmade, Panel::Statistics);
  lf_store(lf_values().week, week, Panel::Statistics);
}

void gf_setSoftUsed(bool used) { lf_store(lf_values().softUsed, used, Panel::Statistics); }

void gf_setQualityText(std::string text) {
  lf_storeText(&DisplayValues::qualityText, std::move(text), Panel::Statistics);
}

void gf_setReservedStand(std::string name, bool found) {
  lf_store(lf_values().reservedStandFound, found, Panel::Statistics);
  lf_storeText(&DisplayValues::reservedStand, std::move(name), Panel::Statistics);
}

void gf_setStandCount(std::int64_t count) { lf_store(lf_values().standCount, count, Panel::Statistics); }
void gf_setAverageFit(double hours) { lf_store(lf_values().averageFit, hours, Panel::Statistics); }

void gf_clearParkAirportDisplay() {
  DisplayValues& v = lf_values();
  v.parkFileLoaded.store(false);
  v.parkFileRead.store(false);
  v.handmade.store(false);
  v.week.store(0);
  v.softUsed.store(false);
  v.reservedStandFound.store(false);
  v.standCount.store(0);
  v.averageFit.store(-1.0);
  {
    std::lock_guard lock(v.textMutex);
    v.parkAirportName.clear();
    v.parkFileAirportName.clear();
    v.parkFilePublisher.clear();
    v.qualityText.clear();
    v.reservedStand.clear();
  }
  lf_invalidate(Panel::Statistics);
  lf_invalidate(Panel::Settings);
}

LiveCounters gf_liveCounters() {
  const DisplayValues& v = lf_values();
  return {v.activeLive.load(), v.parkedLive.load(), v.parkedStatic.load()};
}

void lf_storeLiveCounters(const LiveCounters& counters) {
  DisplayValues& v = lf_values();
  v.activeLive.store(counters.activeLive);
  v.parkedLive.store(counters.parkedLive);
  v.parkedStatic.store(counters.parkedStatic);
}

void gf_resetDisplayForRun() {
  lf_storeLiveCounters({});
  gf_setRealTrafficLampOff(true);
  lf_invalidate(Panel::Header);
  lf_invalidate(Panel::Statistics);
}

void gf_resetDisplayState() {
  DisplayValues& v = lf_values();
  v.simConnected.store(false);
  v.flightRunning.store(false);
  v.flightConfirmed.store(false);
  v.liveriesCount.store(0);
  v.simaddonCount.store(0);
  v.simaddonCurrent.store(false);
  v.thirdpartyCount.store(0);
  v.offlineLearningCount.store(0);
  v.staticParkingBusy.store(false);
  v.minutesToRenewal.store(0);
  {
    std::lock_guard lock(v.textMutex);
    v.simText.clear();
    v.flightText.clear();
    v.userStandName.clear();
    v.objectIdText.clear();
  }
  gf_clearParkAirportDisplay();
  gf_resetDisplayForRun();
}

DisplaySnapshot gf_displaySnapshot() {
  DisplayValues& v = lf_values();
  DisplaySnapshot s;
  s.simConnected = v.simConnected.load();
  s.flightRunning = v.flightRunning.load();
  s.flightConfirmed = v.flightConfirmed.load();
  s.liveriesCount = v.liveriesCount.load();
  s.simaddonCount = v.simaddonCount.load();
  s.simaddonCurrent = v.simaddonCurrent.load();
  s.thirdpartyCount = v.thirdpartyCount.load();
  s.realTrafficLampOff = v.realTrafficLampOff.load();
  s.offlineLearningCount = v.offlineLearningCount.load();
  s.staticParkingBusy = v.staticParkingBusy.load();
  s.minutesToRenewal = v.minutesToRenewal.load();
  s.parkFileLoaded = v.parkFileLoaded.load();
  s.parkFileRead = v.parkFileRead.load();
  s.handmade = v.handmade.load();
  s.week = v.week.load();
  s.softUsed = v.softUsed.load();
  s.reservedStandFound = v.reservedStandFound.load();
  s.standCount = v.standCount.load();
  s.averageFit = v.averageFit.load();
  s.counters = gf_liveCounters();
  std::lock_guard lock(v.textMutex);  // leaf lock: copies only
  s.simText = v.simText;
  s.flightText = v.flightText;
  s.userStandName = v.userStandName;
  s.objectIdText = v.objectIdText;
  s.parkAirportName = v.parkAirportName;
  s.parkFileAirportName = v.parkFileAirportName;
  s.parkFilePublisher = v.parkFilePublisher;
  s.qualityText = v.qualityText;
  s.reservedStand = v.reservedStand;
  return s;
}
