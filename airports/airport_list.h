// The airport list: every airport of the simulator's world (ICAO, IATA,
// position, elevation), read once per process from "input/airports_msfs.xml",
// and the airport names used by the add-on airport scan.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "app/geo.h"
#include "app/hash.h"

// One airport of the list.
struct AirportRec {
  std::string icao;        // as in the file; never empty in g_airports
  std::string iata;        // empty when the file gives none
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double altitude = 0.0;   // elevation in feet
};

// Sorted by icao in plain byte order; filled once, read-only afterwards.
extern std::vector<AirportRec> g_airports;
// Set at the successful end of the one read of the list.
extern std::atomic<bool> g_airportsRead;

// ICAO code -> airport name; filled only for the duration of the add-on scan.
using AirportNameTable = std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>>;
extern AirportNameTable g_airportNames;

// The current park airport; its icao is empty while none is set.
extern AirportRec g_parkAirport;

// Room reserved for the list before reading.
inline constexpr std::size_t kAirportsReserved = 44000;
// The largest distance (nm) at which an aircraft counts as standing at an airport.
inline constexpr double kAirportCatchNm = 5.0;

// Reads the list from the "input" folder joined with fileName, once per process.
// Returns whether the list is non-empty; when it was read before, returns that
// at once. Throws qor::UserErrorException 88 when the file cannot be read.
bool gf_readAirports(const std::string& fileName);

// Parses one "airport" element and appends its record; a record with a missing
// code or a missing or unreadable number is skipped with a log line. Never throws.
void lf_readAirport(const pugi::xml_node& element, const std::string& code);

// Clears g_airportNames and fills it from "input/airports_msfs_names.xml".
// Problems are logged, never thrown.
void lf_readAirportNames();

// The airport of this code in g_airports (exact comparison); nullptr when
// the list has none.
const AirportRec* gf_findAirportByIcao(std::string_view icao);

// "EGLL (LHR)", "EGLL" without IATA, "?" for an empty code.
std::string gf_airportDisplayName(const AirportRec& airport);

// The code of the first airport (list order) whose code is a prefix of the
// first four characters of text in upper case; "" when there is none.
std::string gf_icaoFromText(std::string_view text);

// Whether "-ICAO-" occurs in text, as it is or in lower case.
bool lf_containsDashToken(std::string_view text, std::string_view icao);

// The airport at which an aircraft at this position stands: the nearest one
// within 5 nm, or a close neighbour whose nearest stand is nearer. nullptr when
// no airport is within 5 nm. Points into g_airports. undecided, when given,
// is set when the choice between two close airports waits for a park file
// that is still being downloaded (the nearest one is returned then): the
// caller asks again later.
const AirportRec* gf_findClosestAirport(const LatLon& position, bool* undecided = nullptr);

// Text to double like std::stod (leading white space, optional sign, decimal,
// exponent or hexadecimal form, trailing characters ignored) but independent of
// the C locale. Throws std::invalid_argument "invalid stod argument" when the
// text does not begin with a number or the number is not finite, and
// std::out_of_range "stod argument out of range" when it does not fit a double.
double gf_stod(std::string_view text);

// Tests only: forget the list, the names and the park airport, so that the
// next gf_readAirports reads again.
void gf_resetAirportsForTests();
