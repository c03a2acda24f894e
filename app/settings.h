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

// The choices of the RANGE combo, in combo order (nautical miles); RANGE's
// minimum and maximum are the first and last entries.
inline constexpr std::array<std::int32_t, 20> kRangeChoices{2,  3,  4,  5,  6,  8,  10, 12, 14, 16,
                                                            18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
// The choices of the SIM_CHOICE combo, in combo order.
inline constexpr std::array<std::string_view, 2> kSimChoices{"MSFS 2020", "MSFS 2024"};
// The six orders of AI_PACKAGE_SELECTOR, in combo order.
inline constexpr std::array<std::string_view, 6> kAiPackageSelectorChoices{
    "AIG, FSLTL, JF", "AIG, JF, FSLTL", "FSLTL, AIG, JF", "FSLTL, JF, AIG", "JF, AIG, FSLTL", "JF, FSLTL, AIG"};
// The combos below have no prescribed lists; their choices are steps over
// each setting's range, fine where small values differ much and coarse at
// the top, always holding the default and both ends of the range.
// MATCHING_DEPTH: every depth 1 to 5.
inline constexpr std::array<std::int32_t, 5> kMatchingDepthChoices{1, 2, 3, 4, 5};
// AIRP_RANGE, nautical miles 5 to 30 (the steps of the RANGE list in that span).
inline constexpr std::array<std::int32_t, 11> kAirportRangeChoices{5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30};
// AR_ABOVE_HEIGHT and AIRP_HEIGHT, feet 2000 to 48000.
inline constexpr std::array<std::int32_t, 19> kHeightChoices{2000,  3000,  4000,  5000,  6000,  8000,  10000,
                                                             12000, 14000, 16000, 18000, 20000, 24000, 28000,
                                                             32000, 36000, 40000, 44000, 48000};
// MAX_PARK_SEL and MAX_LIVE_SEL, aircraft 10 to 500 (500: no practical limit).
inline constexpr std::array<std::int32_t, 13> kMaxCountChoices{10, 20, 30, 40, 50, 75, 100, 150, 200, 250, 300, 400, 500};


// The table: kind, key, default, minimum, maximum, stored in parameters.xml,
// and for the settings shown in the main window the control id, the row (its
// y position) and the list of choices of a combo box. "-" marks a column that
// the kind has no use for. The kinds: Bool, Int, String, Float (not shown);
// CheckBool (checkbox), ControlInt, ControlString, ControlFloat (edit
// fields), ComboInt, ComboString (drop-down lists). Where a default is a
// choice of ours, the comment says why.
// clang-format off
#define SKYLOOM_SETTINGS(X) \
  /* Simulator and folders */ \
  X(ComboString,  SIM_CHOICE,              "MSFS 2020", -, -, true, 32790, 119, kSimChoices)  /* "MSFS 2020" or "MSFS 2024"; g_simLabel starts as MSFS 2020's */ \
  X(ControlString,ALL_INSTALL_PATH,        "",          -, -, true, 32788, 119, -)  \
  X(String,       MSFS_INSTALL_PATH,       "",          -, -, true, -,     -,   -)  \
  X(String,       MSFS_2024_INSTALL_PATH,  "",          -, -, true, -,     -,   -)  \
  X(String,       MYSIMADDON24_VERSION,    "",          -, -, true, -,     -,   -)  /* empty: the MSFS 2024 add-on airport package is fetched */ \
  /* Livery scan */ \
  X(CheckBool,    SCAN_LIVERIES,           true,        -, -, true, 32797, 147, -)  /* the first start must scan; the run switches it off after a scan */ \
  X(CheckBool,    SCAN_AIRPORTS,           true,        -, -, true, 32801, 175, -)  /* default on */ \
  X(CheckBool,    LIG_AUTOMATIC,           true,        -, -, true, 32798, 147, -)  /* automatic needs no lfolder setup, which a new user has not done */ \
  X(ComboString,  AI_PACKAGE_SELECTOR,     "AIG, FSLTL, JF", -, -, true, 32791, 147, kAiPackageSelectorChoices)  /* the first of its six choices */ \
  X(CheckBool,    LIG_PRIORITIZE,          false,       -, -, true, 32799, 147, -)  /* off keeps the liveries of every folder */ \
  X(CheckBool,    SUPPRESS_STUB,           true,        -, -, true, 32800, 147, -)  /* default on */ \
  X(CheckBool,    GUID_CHANGES,            true,        -, -, true, 32773, 203, -)  /* turning it off warns "no more livery updates" */ \
  X(String,       lfolder0,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder1,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder2,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder3,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder4,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder5,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder6,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder7,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder8,                "",          -, -, true, -,     -,   -)  \
  X(String,       lfolder9,                "",          -, -, true, -,     -,   -)  \
  /* Livery matching and aircraft classes */ \
  X(ComboInt,     MATCHING_DEPTH,          5,           1, 5, true, 32808, 203, kMatchingDepthChoices)  /* "Max aircraft matching depth": a 5-entry combo; deepest by default so every aircraft finds a livery */ \
  X(CheckBool,    LIGHT_AIRCRAFT,          true,        -, -, true, 32809, 203, -)  /* the livery hand-over switches a class off when none of its liveries is installed */ \
  X(CheckBool,    HELICOPTERS,             true,        -, -, true, 32810, 203, -)  /* as LIGHT_AIRCRAFT */ \
  X(CheckBool,    HIGH_PERF_AIRCRAFT,      true,        -, -, true, 32811, 203, -)  /* as LIGHT_AIRCRAFT */ \
  X(Bool,         RANDOM,                  true,        -, -, true, -,     -,   -)  /* varied liveries and stands, as real traffic is */ \
  /* Traffic radius */ \
  X(ComboInt,     RANGE,                   40,          2, 100, true, 32818, 231, kRangeChoices)  /* g_rangeNm is 40.0 at start; min and max are the first and last of kRangeChoices */ \
  X(CheckBool,    AUTO_RANGE,              false,       -, -, true, 32819, 231, -)  /* off: the radius the user picked stays in force */ \
  X(ComboInt,     AR_ABOVE_HEIGHT,         24000,       2000, 48000, true, 32820, 231, kHeightChoices)  /* feet; the same scale as AIRP_HEIGHT, above its default 18000 */ \
  /* Live traffic */ \
  X(ComboInt,     MAX_LIVE_SEL,            500,         10, 500, true, 32847, 315, kMaxCountChoices)  /* default 500; learned files clamp it to 10..500 */ \
  X(CheckBool,    HALVARD,                 false,       -, -, true, 32775, 203, -)  /* the HQV mode is for Halvard HQV users only */ \
  X(String,       PORT_NUMBER,             "10747",     -, -, true, -,     -,   -)  /* the port RealTraffic connects to */ \
  X(CheckBool,    COLLISION_USER_GND,      true,        -, -, true, 32834, 287, -)  /* turning it off warns "no collision avoidance" */ \
  X(CheckBool,    COLLISION_USER_AIR,      true,        -, -, true, 32833, 287, -)  /* as COLLISION_USER_GND */ \
  X(CheckBool,    COLLISION_LIVE_PARKED_GND, true,      -, -, true, 32835, 287, -)  /* as COLLISION_USER_GND */ \
  X(CheckBool,    STRAIGHT_PBS_ONLY,       false,       -, -, true, 32856, 315, -)  /* curved push backs look like the real ones */ \
  X(CheckBool,    NAV_LIGHTS_WHILE_PARKED, false,       -, -, true, 32778, 175, -)  /* parked aircraft are dark in reality */ \
  X(ControlString,BLOCK_CALLSIGN,          "",          -, -, true, 32828, 259, -)  \
  X(ControlString,CALLSIGN_2_OBJECTID,     "",          -, -, true, 32774, 259, -)  /* never saved by its field; kept stored like every other setting */ \
  X(CheckBool,    CALLSIGN_OBJECTIDS,      false,       -, -, true, 32822, 231, -)  /* an extra for MSFS 2020 users who look objects up */ \
  /* Airports and static parking */ \
  X(ControlString,DESTINATION,             "",          -, -, true, 32839, 343, -)  \
  X(ComboInt,     AIRP_RANGE,              20,          5, 30, true, 32840, 343, kAirportRangeChoices)  /* nm, choices 5 to 30, default 20 */ \
  X(ComboInt,     AIRP_HEIGHT,             18000,       2000, 48000, true, 32841, 343, kHeightChoices)  /* feet, choices 2000 to 48000, default 18000 */ \
  X(ComboInt,     MAX_PARK_SEL,            500,         10, 500, true, 32846, 315, kMaxCountChoices)  /* default 500; the same scale as MAX_LIVE_SEL */ \
  X(ControlInt,   parking_percentage,      30,          0, 100, false, 32848, 371, -)  /* 0..100, default 30; lives in the park file */ \
  X(Int,          CUSTOM_PARKING_PERCENTAGE, -1,        -1, 100, true, -,     -,   -)  /* used when 0 or more; -1: the park file's percentage */ \
  X(Int,          MAX_FIT,                 47,          0, 47, true, -,     -,   -)  /* half hours, default 47 */ \
  X(ControlFloat, MAX_FIT_FL,              24.0,        0.5, 24.0, false, 32855, 371, -)  /* hours, MAX_FIT x 0.5 + 0.5; MAX_FIT is the stored form */ \
  X(CheckBool,    WEEK,                    false,       -, -, true, 32854, 371, -)  /* off: stands are filled by what was learned for this weekday */ \
  X(CheckBool,    PARK_SOFT,               true,        -, -, true, 32851, 371, -)  /* fills the stands that the real pass left empty */ \
  X(CheckBool,    PARK_FAKE,               false,       -, -, true, 32852, 371, -)  /* made-up traffic only when the user asks for it */ \
  X(CheckBool,    INITIAL_LOAD_ONLY,       false,       -, -, true, 32850, 371, -)  /* off: statics are renewed every 20 minutes */ \
  X(CheckBool,    LEARN_SOFT,              true,        -, -, true, 32777, 175, -)  /* the park airport switch turns it off where real learning suffices */ \
  /* Window and log */ \
  X(Int,          MAIN_WINDOW_X,           400,         -30000, 30000, true, -,     -,   -)   \
  X(Int,          MAIN_WINDOW_Y,           20,          -30000, 30000, true, -,     -,   -)   \
  X(CheckBool,    ALWAYS_ON_TOP,           false,       -, -, true, 32771, 147, -)  /* an ordinary window unless asked */ \
  X(CheckBool,    LOG,                     false,       -, -, true, 32779, 147, -)  /* the detail lines only on demand */ \
  /* Meta values of the last file read, not stored */ \
  X(String,       author,                  "",          -, -, false, -,     -,   -) \
  X(String,       date,                    "",          -, -, false, -,     -,   -) \
  X(String,       version,                 "",          -, -, false, -,     -,   -)
// clang-format on

namespace prm {
#define SKYLOOM_DECLARE_SETTING(kind, key, def, lo, hi, stored, id, row, choices) extern kind##Parameter key;
SKYLOOM_SETTINGS(SKYLOOM_DECLARE_SETTING)
#undef SKYLOOM_DECLARE_SETTING
}  // namespace prm

// Every setting of the table, in table order.
const std::vector<Parameter*>& gf_allParameters();
// The settings of the table that the main window shows, in table order.
const std::vector<ParameterControl*>& gf_allControlParameters();
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
