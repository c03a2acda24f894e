// Every setting of the program, in one table. Each is a global parameter
// object in namespace prm named exactly like its key (prm::RANDOM,
// prm::MAX_FIT, prm::lfolder0, prm::parking_percentage ...).
//
// The objects are built during the dynamic initialisation of settings.cpp;
// other static initialisers must not use them (take them at run time).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/parameters.h"

// The table: kind, key, default, minimum, maximum, stored in parameters.xml.
// "-" marks a column that the kind has no use for. Where a default is a
// choice of ours, the comment says why.
// clang-format off
#define SKYLOOM_SETTINGS(X) \
  /* Simulator and folders */ \
  X(String, SIM_CHOICE,              "MSFS 2020", -, -, true)  /* "MSFS 2020" or "MSFS 2024"; g_simLabel starts as MSFS 2020's */ \
  X(String, ALL_INSTALL_PATH,        "",          -, -, true)  \
  X(String, MSFS_INSTALL_PATH,       "",          -, -, true)  \
  X(String, MSFS_2024_INSTALL_PATH,  "",          -, -, true)  \
  X(String, MYSIMADDON24_VERSION,    "",          -, -, true)  /* empty: the MSFS 2024 add-on airport package is fetched */ \
  /* Livery scan */ \
  X(Bool,   SCAN_LIVERIES,           true,        -, -, true)  /* the first start must scan; the run switches it off after a scan */ \
  X(Bool,   SCAN_AIRPORTS,           true,        -, -, true)  /* default on */ \
  X(Bool,   LIG_AUTOMATIC,           true,        -, -, true)  /* automatic needs no lfolder setup, which a new user has not done */ \
  X(String, AI_PACKAGE_SELECTOR,     "AIG, FSLTL, JF", -, -, true)  /* the first of its six choices */ \
  X(Bool,   LIG_PRIORITIZE,          false,       -, -, true)  /* off keeps the liveries of every folder */ \
  X(Bool,   SUPPRESS_STUB,           true,        -, -, true)  /* default on */ \
  X(Bool,   GUID_CHANGES,            true,        -, -, true)  /* turning it off warns "no more livery updates" */ \
  X(String, lfolder0,                "",          -, -, true)  \
  X(String, lfolder1,                "",          -, -, true)  \
  X(String, lfolder2,                "",          -, -, true)  \
  X(String, lfolder3,                "",          -, -, true)  \
  X(String, lfolder4,                "",          -, -, true)  \
  X(String, lfolder5,                "",          -, -, true)  \
  X(String, lfolder6,                "",          -, -, true)  \
  X(String, lfolder7,                "",          -, -, true)  \
  X(String, lfolder8,                "",          -, -, true)  \
  X(String, lfolder9,                "",          -, -, true)  \
  /* Livery matching and aircraft classes */ \
  X(Int,    MATCHING_DEPTH,          5,           1, 5, true)  /* "Max aircraft matching depth": a 5-entry combo; deepest by default so every aircraft finds a livery */ \
  X(Bool,   LIGHT_AIRCRAFT,          true,        -, -, true)  /* the livery hand-over switches a class off when none of its liveries is installed */ \
  X(Bool,   HELICOPTERS,             true,        -, -, true)  /* as LIGHT_AIRCRAFT */ \
  X(Bool,   HIGH_PERF_AIRCRAFT,      true,        -, -, true)  /* as LIGHT_AIRCRAFT */ \
  X(Bool,   RANDOM,                  true,        -, -, true)  /* varied liveries and stands, as real traffic is */ \
  /* Traffic radius */ \
  X(Int,    RANGE,                   40,          2, 100, true)  /* g_rangeNm is 40.0 at start; min and max are the first and last of kRangeChoices */ \
  X(Bool,   AUTO_RANGE,              false,       -, -, true)  /* off: the radius the user picked stays in force */ \
  X(Int,    AR_ABOVE_HEIGHT,         24000,       2000, 48000, true)  /* feet; the same scale as AIRP_HEIGHT, above its default 18000 */ \
  /* Live traffic */ \
  X(Int,    MAX_LIVE_SEL,            500,         10, 500, true)  /* default 500; learned files clamp it to 10..500 */ \
  X(Bool,   HALVARD,                 false,       -, -, true)  /* the HQV mode is for Halvard HQV users only */ \
  X(String, PORT_NUMBER,             "10747",     -, -, true)  /* the port RealTraffic connects to */ \
  X(Bool,   COLLISION_USER_GND,      true,        -, -, true)  /* turning it off warns "no collision avoidance" */ \
  X(Bool,   COLLISION_USER_AIR,      true,        -, -, true)  /* as COLLISION_USER_GND */ \
  X(Bool,   COLLISION_LIVE_PARKED_GND, true,      -, -, true)  /* as COLLISION_USER_GND */ \
  X(Bool,   STRAIGHT_PBS_ONLY,       false,       -, -, true)  /* curved push backs look like the real ones */ \
  X(Bool,   NAV_LIGHTS_WHILE_PARKED, false,       -, -, true)  /* parked aircraft are dark in reality */ \
  X(String, BLOCK_CALLSIGN,          "",          -, -, true)  \
  X(String, CALLSIGN_2_OBJECTID,     "",          -, -, true)  /* never saved by its field; kept stored like every other setting */ \
  X(Bool,   CALLSIGN_OBJECTIDS,      false,       -, -, true)  /* an extra for MSFS 2020 users who look objects up */ \
  /* Airports and static parking */ \
  X(String, DESTINATION,             "",          -, -, true)  \
  X(Int,    AIRP_RANGE,              20,          5, 30, true)  /* nm, choices 5 to 30, default 20 */ \
  X(Int,    AIRP_HEIGHT,             18000,       2000, 48000, true)  /* feet, choices 2000 to 48000, default 18000 */ \
  X(Int,    MAX_PARK_SEL,            500,         10, 500, true)  /* default 500; the same scale as MAX_LIVE_SEL */ \
  X(Int,    parking_percentage,      30,          0, 100, false)  /* 0..100, default 30; lives in the park file */ \
  X(Int,    CUSTOM_PARKING_PERCENTAGE, -1,        -1, 100, true)  /* used when 0 or more; -1: the park file's percentage */ \
  X(Int,    MAX_FIT,                 47,          0, 47, true)  /* half hours, default 47 */ \
  X(Float,  MAX_FIT_FL,              24.0,        0.5, 24.0, false)  /* hours, MAX_FIT x 0.5 + 0.5; MAX_FIT is the stored form */ \
  X(Bool,   WEEK,                    false,       -, -, true)  /* off: stands are filled by what was learned for this weekday */ \
  X(Bool,   PARK_SOFT,               true,        -, -, true)  /* fills the stands that the real pass left empty */ \
  X(Bool,   PARK_FAKE,               false,       -, -, true)  /* made-up traffic only when the user asks for it */ \
  X(Bool,   INITIAL_LOAD_ONLY,       false,       -, -, true)  /* off: statics are renewed every 20 minutes */ \
  X(Bool,   LEARN_SOFT,              true,        -, -, true)  /* the park airport switch turns it off where real learning suffices */ \
  /* Window and log */ \
  X(Int,    MAIN_WINDOW_X,           400,         -30000, 30000, true)   \
  X(Int,    MAIN_WINDOW_Y,           20,          -30000, 30000, true)   \
  X(Bool,   ALWAYS_ON_TOP,           false,       -, -, true)  /* an ordinary window unless asked */ \
  X(Bool,   LOG,                     false,       -, -, true)  /* the detail lines only on demand */ \
  /* Meta values of the last file read, not stored */ \
  X(String, author,                  "",          -, -, false) \
  X(String, date,                    "",          -, -, false) \
  X(String, version,                 "",          -, -, false)
// clang-format on

namespace prm {
#define SKYLOOM_DECLARE_SETTING(kind, key, def, lo, hi, stored) extern kind##Parameter key;
SKYLOOM_SETTINGS(SKYLOOM_DECLARE_SETTING)
#undef SKYLOOM_DECLARE_SETTING
}  // namespace prm

// The choices of the RANGE combo, in combo order (nautical miles); RANGE's
// minimum and maximum are the first and last entries.
inline constexpr std::array<std::int32_t, 20> kRangeChoices{2,  3,  4,  5,  6,  8,  10, 12, 14, 16,
                                                            18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
// The choices of the SIM_CHOICE combo, in combo order.
inline constexpr std::array<std::string_view, 2> kSimChoices{"MSFS 2020", "MSFS 2024"};
// The six orders of AI_PACKAGE_SELECTOR, in combo order.
inline constexpr std::array<std::string_view, 6> kAiPackageSelectorChoices{
    "AIG, FSLTL, JF", "AIG, JF, FSLTL", "FSLTL, AIG, JF", "FSLTL, JF, AIG", "JF, AIG, FSLTL", "JF, FSLTL, AIG"};

// Every setting of the table, in table order.
const std::vector<Parameter*>& gf_allParameters();
// The setting with this key; nullptr when there is none.
Parameter* gf_findParameter(std::string_view key);

// Reads parameters.xml into every stored setting (gf_readParameterList with
// the whole table), then sets MAX_FIT_FL from MAX_FIT. Returns false when the
// file was malformed (kept aside, defaults used) or could not be written back.
bool gf_readParameters();
// Logs every setting's key and value (logValue of each, in table order).
void gf_logParameters();
// Every setting back to its default, and the in-memory parameters document
// forgotten (tests; the state of a fresh process).
void gf_resetParametersToDefaults();
