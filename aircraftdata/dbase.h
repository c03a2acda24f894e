// The reference database: registrations, aircraft types with their size
// classes and wingspans, airlines, type fixes, stock model types, publisher
// groups, the archived add-on airport lists and the similar-type groups.
//
// Read once per process from "input/dbase.xml" (see docs/reference-database.md)
// on the run thread during start-up; read-only afterwards, so the scans read
// every table without a lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aircraftdata/size_class.h"
#include "app/hash.h"

// One registration record.
struct DbaseRec {
  std::string airl;   // ICAO airline code
  std::string type;   // ICAO type code
  std::string opr;    // operator code; preferred over the airline when not empty
  bool cargo = false;
};

using DbaseRecordTable = std::unordered_map<std::string, DbaseRec, Fnv1aHash, std::equal_to<>>;
using DbaseTextTable = std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>>;

// One publisher entry of an archived add-on airport list: the publisher's
// name and its items, each an ICAO code followed by the archived file's
// number of stands ("EGLL123").
struct ThirdPartyEntry {
  std::string publisher;
  std::vector<std::string> items;
};

// The archived add-on airports of other publishers, one list per simulator,
// in file order.
struct ThirdPartyLists {
  std::vector<ThirdPartyEntry> msfs2020;  // "thirdparties20"
  std::vector<ThirdPartyEntry> msfs2024;  // "thirdparties24"
};

// Registration -> record.
extern DbaseRecordTable g_dbaseRecords;
// The valid ICAO aircraft type codes (exact, case-sensitive).
extern std::set<std::string> g_dbaseTypes;
// The type sets of the size classes; a type may be in several.
extern std::set<std::string> g_largeTypes;
extern std::set<std::string> g_heavyTypes;
extern std::set<std::string> g_buzjetTypes;
extern std::set<std::string> g_rotorcraftTypes;
extern std::set<std::string> g_highPerfTypes;
// ICAO type -> full wingspan in nautical miles (metres in the file).
extern std::map<std::string, double> g_typeWingspans;
// The average half wingspan (nm) of each size class, indexed by SizeClass:
// the mean over the types of that class that have a wingspan, or the class's
// fixed fall-back when none has.
extern std::array<double, kSizeClassCount> g_classHalfWingspans;
// The valid ICAO airline codes.
extern std::set<std::string> g_icaoAirlines;
// The generic airline code.
inline const std::string g_genericAirline = "ZZZ";
// Wrong type code -> correct type code.
extern DbaseTextTable g_typeFixes;
// Stock aircraft model folder name -> ICAO type code.
extern DbaseTextTable g_stockModelTypes;
// Publisher groups in file order; each holds its aliases in order, the first
// being the publisher's canonical name (never empty, a plain path component).
extern std::vector<std::vector<std::string>> g_publisherGroups;
// The ICAO codes of the archived park files of the publisher "simaddon".
extern std::set<std::string> g_simaddon20Airports;
extern ThirdPartyLists g_thirdParties;
// Groups of types that may stand in for one another, in file order, each with
// its types in file order.
extern std::vector<std::vector<std::string>> g_similarTypeGroups;
// Set when the database has been read successfully in this process.
extern std::atomic<bool> g_dbaseRead;

// The publisher name when no group matches.
inline constexpr std::string_view kUnknownPublisher = "unknown";
// The file name of the database in the "input" folder.
inline constexpr std::string_view kDbaseFileName = "dbase.xml";
// The code of the user error raised when the database cannot be read.
inline constexpr int kDbaseErrorCode = 60;
// The largest database file that is read.
inline constexpr std::uintmax_t kDbaseMaxBytes = std::uintmax_t{512} << 20;

// Reads "input/dbase.xml" into the tables above, once per process: returns at
// once when it was read before. A missing, unreadable or oversized file, a
// file that is not XML or one whose root is not "dbase" throws
// qor::UserErrorException 60 naming the file, and leaves every table empty.
// A malformed record is skipped with a log line. Logs
// "{} registrations, {} types, {} airlines read from '{}'".
void gf_readDbase();

// Tests only: empty every table and clear the read flag.
void gf_resetDbaseForTests();

// A registration's candidate forms in look-up order: for 5 or more
// characters, not beginning with "N" and without "-": the first 2 characters,
// "-", the rest; then the first character, "-", the rest; then the
// registration itself. Otherwise only the registration.
std::vector<std::string> lf_regcodeVariants(std::string_view registration);

// The record of the first candidate form of the registration that the
// database holds; nullptr when none. Points into g_dbaseRecords.
const DbaseRec* gf_findRegcode(std::string_view registration);

// The database registration shorter than 6 characters that occurs in the
// text: the one that begins earliest in the text, and of those the longest.
// Empty when none occurs.
std::string gf_findShortRegcodeIn(std::string_view text);

// Whether the code is a non-empty valid ICAO airline code.
bool gf_isIcaoAirline(const std::string& code);

// The size class of an ICAO type, tested in the order large, heavy, buzjet,
// rotorcraft, high performance; Light when the type is in none of the sets.
SizeClass gf_aircraftCategory(const std::string& type);

// Half the wingspan of an ICAO type in nautical miles; the average half
// wingspan of the type's size class when the table has no wingspan for it.
double gf_halfWingspan(const std::string& type);

// The canonical name of the first publisher group, in file order, with an
// alias contained in the text: first as an exact substring over all groups,
// then ignoring ASCII letter case. An empty alias matches any text. "unknown"
// when no group matches.
std::string gf_findPublisher(std::string_view text);

// The archived add-on airport list of the simulator in use.
const std::vector<ThirdPartyEntry>& gf_thirdPartiesFor(bool msfs2020);

// False when the item does not begin with the ICAO (or the ICAO is empty).
// Otherwise reads the decimal number that follows the ICAO into count and
// returns true; when no number can be read there ("EGLLA12" for EGLL),
// count is left as it was, the error line "{} {} {} {}" (publisher, ICAO,
// item, "invalid number") is logged, and the result is still true.
bool lf_checkNumberAfterPrefix(std::string_view publisher, std::string_view icao, int& count,
                               std::string_view item);
