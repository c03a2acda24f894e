// The records of an airport park file in memory: the airport, its stands and
// the learned use of each stand by weekday and half hour.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/clock.h"
#include "app/file_stamp.h"
#include "app/geo.h"
#include "app/hash.h"

// Unit conversions between files (metres, degrees) and memory (nm, radians).
constexpr double gf_metresToNm(double metres) { return metres * kMetresToNm; }
constexpr double gf_nmToMetres(double nm) { return nm * kNmToMetres; }
constexpr double gf_degToRad(double degrees) { return degrees * kDegToRad; }
constexpr double gf_radToDeg(double radians) { return radians * kRadToDeg; }

// Bits 0..47 of a half-hour set.
inline constexpr std::uint64_t kHalfHourBitsMask = (std::uint64_t{1} << 48) - 1;
// Half hours in a day and in a week.
inline constexpr std::uint32_t kSlotsPerDay = 48;
inline constexpr std::uint32_t kSlotsPerWeek = 7 * kSlotsPerDay;

// One learned use of a stand.
struct StandOption {
  std::string airline;       // "airl"
  std::string type;          // "type"
  std::string registration;  // "reg"; with day the key of an option
  std::string callsign;      // the first callsign seen, without a trailing "_"
  std::string callsign2;     // the latest other callsign seen; "" when none
  std::uint64_t hours = 0;   // bit s: stood there in half hour s of day (bits 48..63 stay 0)
  std::uint32_t id = 0;      // running number within the stand; 0 = out of play
  std::uint32_t day = 0;     // weekday 1..7
  std::uint32_t origin = 0;  // 1: from the archived park file or fake; 0: learned
  std::uint32_t real = 0;    // 1: parked there; 0: seen near the stand ("soft")
};

// The id the next option appended to this list gets: one more than the highest
// id in the list, which is the last option's id while that one is in play; 1
// for an empty list.
std::uint32_t gf_nextOptionId(const std::vector<StandOption>& options);

// The state of one aircraft's stay on a stand that is being learned.
struct StandStay {
  std::uint32_t day = 0;       // when the stay was last brought up to date
  std::uint32_t slot = 0;
  std::uint32_t optionId = 0;  // the option the stay is recorded into

  DaySlot daySlot() const { return DaySlot{day, slot}; }
  // Half hours from the last update to now, 0..335 (the week wraps).
  std::int32_t halfHoursTo(const DaySlot& now) const { return gf_halfHoursBetween(daySlot(), now); }
};

// hexid -> stay.
using StandStayTable = std::unordered_map<std::uint32_t, StandStay, Fnv1aHash>;
inline constexpr std::size_t kStayTableInitialBuckets = 8;
inline constexpr float kStayTableMaxLoadFactor = 1.0f;

// Latitude and longitude in degrees, heading in radians.
struct StandPosition {
  double latitude = 0.0;
  double longitude = 0.0;
  double heading = 0.0;
};

// One parking position.
struct Stand {
  // The flag arguments are negated: 0 makes a cargo, ramp or helicopter stand.
  Stand(std::string name, std::vector<StandOption> options, const StandPosition& position,
        double radiusMetres, std::int32_t notCargo, std::int32_t notRamp, std::int32_t notHeli);

  // Copies keep the stay tables' bucket count and maximum load factor; moves
  // take over options, tables, name and adjacency list.
  Stand(const Stand&) = default;
  Stand(Stand&&) noexcept = default;
  Stand& operator=(const Stand&) = default;
  Stand& operator=(Stand&&) noexcept = default;
  ~Stand() = default;

  std::vector<StandOption> options;
  StandStayTable realStays;
  StandStayTable softStays;
  std::string name;                    // "id" of the park file's "parkpos"
  std::vector<std::uint32_t> adjacent; // ids of the stands whose circle overlaps this one
  double latitude = 0.0;               // degrees
  double longitude = 0.0;              // degrees
  double heading = 0.0;                // radians
  double radius = 0.0;                 // nm
  std::uint32_t id = 0;                // 1..n once the park airport is read
  std::uint8_t manual = 0;
  std::uint8_t radiusChange = 0;
  std::uint8_t cargoChange = 0;
  std::uint8_t nameAltered = 0;
  std::uint8_t selected = 0;
  std::uint8_t occupied = 0;
  std::uint8_t excluded = 0;
  std::uint8_t blocked = 0;
  std::uint8_t cargo = 0;
  std::uint8_t ramp = 0;
  std::uint8_t heli = 0;
  // The "radius" text of a radius change in the learned file that was
  // refused (not a usable size): the stand keeps its radius, and the change
  // is written back as it was at the next save (also when a second entry of
  // the stand changed the radius).
  std::string refusedRadius;
};

// What an ordinary learned file gave one stand when it was read: a save into
// the file as the user changed it since lays over it only what was learned
// after, so that what the user took out of the file stays out. (A stand's
// radius and cargo changes and its manual flag come only from the file: the
// program changes none of them while the airport is loaded.)
struct LearnedStandRead {
  // The half hours of the options the file gave it, in list order: they are
  // the stand's first options of origin 0 (options are only appended while the
  // airport is loaded, and the learning extends their half hours in place).
  std::vector<std::uint64_t> optionHours;
};

// One airport park file in memory.
struct ParkAirport {
  std::string icao;
  std::string airportName;   // "airport_name"
  std::string bglPath;       // "BGLpath"
  std::string publisher;     // "publisher"
  std::string manufacturer;  // "manufacturer"
  std::string creator;       // "creator"
  std::int32_t qfReal = 0;   // "Qf_real": 0..100, -1 when not computed
  std::int32_t qfSoft = 0;   // "Qf_soft"
  std::int32_t altitude = 0; // feet
  std::vector<Stand> stands;
  // The "parkpos" elements of its learned file that were not read into the
  // stand list (refused values, a repeated id, a learned stand the park file
  // lacks) or that repeat a stand, as their text: written back unchanged at
  // the next save, after the stands.
  std::vector<std::string> keptStands;
  // Why its learned file is left as it is at the next save, empty when it may
  // be saved over: the file holds what was not read into memory (stands left
  // out at the stand limit, or a file that was not read whole).
  std::string keepLearnedFile;
  // Its learned file as the park file's read took it: the stamp of the bytes
  // read (of the file as it was, when it could not be read; or that there was
  // none): the save tells from it whether the user changed the file since.
  FileStamp learnedFile;
  // The parking settings its learned file held when it was read (name and
  // value text, as the file has them; absent ones left out).
  std::vector<std::pair<std::string, std::string>> learnedSettings;
  // What its ordinary learned file gave the stands when it was read, by stand
  // name (stands it gave nothing are left out).
  std::unordered_map<std::string, LearnedStandRead, Fnv1aHash, std::equal_to<>> learnedStands;
};

// The stands of the current park airport (run thread).
extern std::vector<Stand> g_parkStands;
