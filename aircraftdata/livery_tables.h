// The livery tables: the installed liveries arranged for the livery matching
// of live and static aircraft. The livery scan's hand-over builds them once
// per process from the scanned list, in this order:
//   lf_groupScannedLiveries, lf_buildTypeAirlineTables,
//   lf_processInlineRegcodes, lf_processOfflineRegcodes,
//   lf_buildTypeTitleTables, gf_buildSimilarModels,
//   lf_logCategoryStats(0..3)
// and the main window empties them (gf_clearLiveryTables) before a rescan or
// a simulator switch.
//
// Determinism: every table is filled by walking the liveries in scan order
// (airline, type, title), so the same liveries always give the same tables,
// the same title lists in the same order and the same clash report.
//
// Threads: the builders run on the run thread during start-up; the main
// window may clear the tables from the UI thread while the run is idle, and
// the matching reads them on the run thread. g_liveryTablesMutex guards
// every table: the builders and the clear take it exclusively, readers take
// it shared. It is taken before the log mutex and never together with any
// other lock; no window message is sent while it is held.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "aircraftdata/regcode_table.h"
#include "aircraftdata/size_class.h"
#include "app/hash.h"
#include "scan/livery_data.h"

// 64-bit FNV-1a for the livery tables. Deliberately not noexcept: the
// standard library then keeps each entry's hash code beside it, so growing a
// table does not hash every long title again.
struct LiveryTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return Fnv1aHash{}(text); }
};

// A hashed table with text keys (64-bit FNV-1a).
template <typename Value>
using LiveryTextTable = std::unordered_map<std::string, Value, LiveryTextHash, std::equal_to<>>;

// Livery titles in scan order: views of the titles of the grouped liveries,
// which stay where they are until the tables are emptied or grouped anew.
using TitleList = std::vector<std::string_view>;

// The installed liveries of one airline and type, in scan order: pointers to
// the records that LiveryTables::records holds, and the titles of its pax
// and of its cargo liveries (views of the records' titles), from which the
// title tables are filled without a second look at each record.
struct LiveryGroup {
  std::string airline;
  std::string type;
  std::vector<const LiveryData*> liveries;
  TitleList paxTitles;
  TitleList cargoTitles;
};

// Every livery table. The "pax" tables hold the liveries without the cargo
// flag, the "cargo" tables those with it.
struct LiveryTables {
  // The records of every installed livery, where the scan or the read made
  // them (the groups and the title lists point into them; their order is not
  // kept once the groups are made).
  ScannedLiveryList records;
  // The liveries grouped by airline and type, in scan order.
  std::vector<LiveryGroup> groups;
  // Type -> airline -> titles.
  LiveryTextTable<LiveryTextTable<TitleList>> paxTypeAirlineTitles;
  LiveryTextTable<LiveryTextTable<TitleList>> cargoTypeAirlineTitles;
  // Airline -> the types it has liveries of (pax or cargo), in byte order.
  LiveryTextTable<std::vector<std::string>> airlineTypes;
  // Registration -> the title of the livery that shows that aircraft.
  RegcodeTable regcodeTitles;
  // Type -> titles of every airline (scan order: by airline, then title).
  LiveryTextTable<TitleList> paxTypeTitles;
  LiveryTextTable<TitleList> cargoTypeTitles;
  // Type -> the installed types of its similar-type groups, first group
  // first, each in group order, without the type itself and without repeats.
  // A type that the database groups gets an entry when at least one other
  // type of its groups has liveries, whether the type itself has any or not.
  LiveryTextTable<std::vector<std::string>> paxSimilarModels;
  LiveryTextTable<std::vector<std::string>> cargoSimilarModels;

  LiveryTables() = default;
  // The titles of the other tables are views of the groups' liveries: the
  // tables move as a whole, and are never copied.
  LiveryTables(LiveryTables&&) = default;
  LiveryTables& operator=(LiveryTables&&) = default;
  LiveryTables(const LiveryTables&) = delete;
  LiveryTables& operator=(const LiveryTables&) = delete;
};

extern LiveryTables g_liveryTables;
extern std::shared_mutex g_liveryTablesMutex;

// Set when the scanned liveries have been handed to the livery tables in this
// process; cleared together with the tables.
extern std::atomic<bool> g_liveriesProcessed;

// The categories of the livery statistics, each tied to the class setting
// that the statistics switch off when the category has no livery installed.
enum class LiveryCategory : std::int32_t {
  Light = 0,            // SizeClass Light; LIGHT_AIRCRAFT
  Helicopters = 1,      // SizeClass Rotorcraft; HELICOPTERS
  HighPerformance = 2,  // SizeClass HighPerf; HIGH_PERF_AIRCRAFT
  Airliners = 3,        // SizeClass Buzjets, Large, Heavy; no setting
};
inline constexpr std::int32_t kLiveryCategoryCount = 4;

LiveryCategory gf_liveryCategoryOf(SizeClass sizeClass) noexcept;
// "light aircraft", "helicopters", "high performance aircraft", "airliners".
std::string_view gf_liveryCategoryName(LiveryCategory category) noexcept;

// Empties every table, then groups the liveries by airline and type. They
// are taken in scan order, records equal in it by registration and then
// cargo flag; a list in another order is sorted first, so the grouping never
// depends on the caller's order. A livery without title or type is skipped,
// and so is a livery whose title an earlier one already has (titles are
// unique among installed liveries); each kind is counted in one log line.
void lf_groupScannedLiveries(const LiveryList& liveries);
// The same, taking the liveries out of the list instead of copying them.
void lf_groupScannedLiveries(LiveryList&& liveries);
// The same, taking the records over. With inScanOrderWithUniqueTitles the
// caller vouches that the list is in scan order and that no title comes
// twice (as a scan hands it over), and neither is checked again.
void lf_groupScannedLiveries(ScannedLiveryList&& liveries, bool inScanOrderWithUniqueTitles = false);
// The same for g_scannedLiveries, which is left empty.
void lf_groupScannedLiveries(bool inScanOrderWithUniqueTitles = false);

// Fills the pax and cargo type -> airline -> titles tables and the airline ->
// types table from the groups (replacing what they held).
void lf_buildTypeAirlineTables();

// Binds the registration of every grouped livery that has one to its title,
// in scan order, in a fresh registration table. A registration that an
// earlier livery already bound to another title keeps that title; the later
// livery is a clash. The clash lines go to g_inlineRegcodesLogPath (replaced
// atomically, its folder created when missing) with one summary log line;
// without clashes an old file of that name is removed. Returns the number of
// clashes.
std::size_t lf_processInlineRegcodes();

// Applies the registration data file and then the user's registration files
// (docs/livery-tables.md) on top of the registrations bound so far: an entry
// whose title is an installed livery binds its registration to that title,
// replacing an earlier binding; an entry for a title that is not installed is
// only counted. A file that cannot be read is logged and skipped.
void lf_processOfflineRegcodes();

// Fills the pax and cargo type -> titles tables from the groups (replacing
// what they held).
void lf_buildTypeTitleTables();

// Fills the pax and cargo similar-model tables from the database's
// similar-type groups and the types of the type -> titles tables.
void gf_buildSimilarModels();

// The number of pax and cargo liveries of a category (0 to 3).
struct CategoryCounts {
  std::size_t pax = 0;
  std::size_t cargo = 0;
};
CategoryCounts gf_categoryCounts(std::int32_t category);

// Logs "{}: {} pax and {} cargo liveries" for the category (0 to 3). When the
// category has no livery at all and its class setting is on, the setting is
// switched off for this process (not saved: the user's choice stays in
// parameters.xml and a later scan that finds such liveries keeps it on), its
// checkbox shows it, and a warning line says so. Another number logs an
// error line and changes nothing.
void lf_logCategoryStats(std::int32_t category);

// Empties every table and clears g_liveriesProcessed.
void gf_clearLiveryTables();

// The sizes that the hand-over logs: entries of the registration, airline ->
// types, pax type -> titles and cargo type -> titles tables.
std::size_t gf_regcodeTitleCount();
std::size_t gf_airlineCount();
std::size_t gf_paxTypeCount();
std::size_t gf_cargoTypeCount();
