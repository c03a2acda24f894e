// The values the main window paints besides the settings: connection states,
// texts, counts and the airport panel. Other subsystems write them from any
// thread through the setters below; each setter stores its value and, when
// the value changed, invalidates the panel that shows it, so the next paint
// shows it. The paint reads them through gf_displaySnapshot(), afresh on
// every paint.
//
// Besides these the paint reads the atomics their owners already keep: the
// readers' states, the QNH and the RealTraffic text (feed/feed_state.h), the
// stand updates (g_learnedUpdates) and the wanted statics with their
// percentage (g_windowWantedStatics, g_windowWantedPercent in
// traffic/aircraft.h).
//
// Numbers and flags are atomics; the texts are kept under the display text
// mutex, a leaf lock held only to copy or assign a text (never together with
// any other lock).
#pragma once

#include <cstdint>
#include <string>

// Panels of the window (client coordinates), for invalidation.
inline constexpr int kHeaderTop = 28;
inline constexpr int kSettingsTop = 112;
inline constexpr int kStatisticsTop = 392;
inline constexpr int kPanelRight = 880;

// ---------------------------------------------------------------- header: simulator
// The simulator link is open.
void gf_setSimConnected(bool connected);
// A flight is running and the user aircraft's title is known.
void gf_setFlightRunning(bool running);
// The text shown for the simulator while it is connected (its name and version).
void gf_setSimText(std::string text);
// The text shown for the flight (the user aircraft); confirmed: the link has
// confirmed it, and it is drawn in the lamp's colour instead of yellow.
void gf_setFlightText(std::string text, bool confirmed);
// The name of the stand the user aircraft stands on; empty on none.
void gf_setUserStandName(std::string name);
// The user stand name as last set (read by the static parking).
std::string gf_userStandName();

// ---------------------------------------------------------------- header: counts
// The number of installed liveries (0 shows "..." in red).
void gf_setLiveriesCount(std::int64_t count);
// The number of add-on airport files and whether that package is current.
void gf_setSimaddonCount(std::int64_t count, bool current);
// The number of other publishers' airports known to the program.
void gf_setThirdpartyCount(std::int64_t count);
// The RealTraffic lamp is black from a run reset until the run clears this
// (once the simulator's flight runs).
void gf_setRealTrafficLampOff(bool off);
// The header shows a value its owner keeps (the QNH): repainted at the next paint.
void gf_invalidateHeader();

// ---------------------------------------------------------------- settings panel
// The number of other publishers' airports waiting for offline learning in
// the "TBLO" folder (shown beside the airport scan checkbox while above 0).
void gf_setOfflineLearningCount(std::int64_t count);
// The object id found for CALLSIGN_2_OBJECTID (shown beside its field).
void gf_setObjectIdText(std::string text);
// The static parking is busy ("Airport parking active").
void gf_setStaticParkingBusy(bool busy);
bool gf_staticParkingBusy();
// Minutes to the next 20-minute renewal of the static parking.
void gf_setMinutesToRenewal(std::int32_t minutes);
// The settings panel shows the controls' state: repainted at the next paint.
void gf_invalidateSettings();

// ---------------------------------------------------------------- airport panel (statistics)
// An airport park file is loaded: the statistics panel is shown only then.
void gf_setParkFileLoaded(bool loaded);
bool gf_parkFileLoaded();
// The park airport's display name ("EGLL (LHR)") and whether its park file
// has been read (lime) or not yet (yellow).
void gf_setParkAirportName(std::string displayName, bool fileRead);
// The two texts of the loaded park file: the airport's name and its publisher.
void gf_setParkFileTexts(std::string airportName, std::string publisher);
// The handmade mark (" (h)") and the week value of the park file.
void gf_setParkFileFlags(bool handmade, std::int32_t week);
// The soft options were used by the last calculation ("*S*").
void gf_setSoftUsed(bool used);
// The quality text of the park file (gf_formatQualityFactors).
void gf_setQualityText(std::string text);
// The reserved stand of the user and whether it is a stand of the park file.
void gf_setReservedStand(std::string name, bool found);
// The number of stands of the park file.
void gf_setStandCount(std::int64_t count);
// The average fit of the statics in hours; 0 or less shows a placeholder.
void gf_setAverageFit(double hours);
// The airport panel back to its empty state (the park airport was unloaded).
void gf_clearParkAirportDisplay();

// ---------------------------------------------------------------- live counters
// Written by lf_refreshLiveCounters (ui/window_setters.h).
struct LiveCounters {
  std::int64_t activeLive = 0;
  std::int64_t parkedLive = 0;
  std::int64_t parkedStatic = 0;
};
LiveCounters gf_liveCounters();

// ---------------------------------------------------------------- run reset
// The state every run starts from: counters 0, the RealTraffic lamp off.
void gf_resetDisplayForRun();
// Everything back to the state of a fresh process (tests).
void gf_resetDisplayState();

// ---------------------------------------------------------------- reading
// A copy of every display value, taken at once.
struct DisplaySnapshot {
  bool simConnected = false;
  bool flightRunning = false;
  std::string simText;
  std::string flightText;
  bool flightConfirmed = false;
  std::string userStandName;

  std::int64_t liveriesCount = 0;
  std::int64_t simaddonCount = 0;
  bool simaddonCurrent = false;
  std::int64_t thirdpartyCount = 0;
  bool realTrafficLampOff = true;

  std::int64_t offlineLearningCount = 0;
  std::string objectIdText;
  bool staticParkingBusy = false;
  std::int32_t minutesToRenewal = 0;

  bool parkFileLoaded = false;
  std::string parkAirportName;
  bool parkFileRead = false;
  std::string parkFileAirportName;
  std::string parkFilePublisher;
  bool handmade = false;
  std::int32_t week = 0;
  bool softUsed = false;
  std::string qualityText;
  std::string reservedStand;
  bool reservedStandFound = false;
  std::int64_t standCount = 0;
  double averageFit = -1.0;

  LiveCounters counters;
};
DisplaySnapshot gf_displaySnapshot();

// Internal to the window: stores the live counters (ui/window_setters.cpp).
void lf_storeLiveCounters(const LiveCounters& counters);
