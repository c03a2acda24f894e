// The aircraft.cfg livery parser: one scan task per aircraft.cfg turns each
// [fltsim.x] section into at most one LiveryData record, and everything wrong
// or doubtful it meets into a line of the scan's report lists
// (scan/scan_reports.h). It writes nothing to disk.
//
// Threads: up to one task per hardware thread runs this code at once. Shared
// and written: the scan's title registry (its own mutex, a leaf lock) and the
// report lists (one mutex each, leaf locks). Shared and only read during a
// scan: the reference database, g_dontUseLiveryTitles and SUPPRESS_STUB.
//
// Duplicate titles. A title may give one livery per scan. Tasks finish in any
// order, so "the first task that inserts the title wins" would make the
// result depend on timing. Instead:
//   - inside one file the first section with a title wins (file order);
//   - across files every task returns its records and registers the titles
//     it returned (a claim: folder rank, file path, record) when it ends
//     without an error. After the driver has merged all task results it calls
//     gf_resolveDuplicateTitles once: for a title claimed by several files the
//     claim with the lowest folder rank wins, then the smallest path (byte
//     order). The losers' records are dropped from the merged list and their
//     "already exists" lines go to the incomplete-sections list.
// So the result is the same whatever order the tasks run or finish in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "scan/livery_data.h"

// ---------------------------------------------------------------------------
// Key readers. Each matches one whole line of the form
//   <blanks> key <blanks> = <blanks> value <blanks>
// with the key in any letter case (the blanks are ' ', tab, CR, LF, VT, FF;
// the value runs from its first to its last non-blank character and holds no
// CR or LF inside). They are written out by hand instead of with std::regex:
// the library's matcher recurses once per character and overflows the stack
// on a long line, and an aircraft.cfg is outside input.
// ---------------------------------------------------------------------------

// Whether the line is "key = value" for this key (lower case) with a
// non-blank value; raw (when given) receives the value as it stands.
bool lf_matchKeyLine(std::string_view line, std::string_view lowerKey, std::string_view* raw = nullptr);

// The quote rule: a value holding a double quote means the text between the
// first and the second one (empty when there is no second or nothing lies
// between); any other value stands as it is.
std::string lf_applyQuoteRule(std::string_view raw);

// "title": the value; empty when the line is no title line or the value is.
std::string lf_readTitle(std::string_view line);
// "icao_type_designator": at most its first 4 characters, in upper case.
std::string lf_readIcaoTypeDesignator(std::string_view line);
// "base_container": the first 3 characters dropped ("..\"), the rest looked
// up in the stock model table; the table's type in upper case, else empty.
// A value shorter than 4 characters gives empty.
std::string lf_readBaseContainer(std::string_view line);
// "icao_airline": nullopt when the line is no airline line; the generic
// airline "ZZZ" for an empty value or "ZZZZ"; else the value in upper case.
std::optional<std::string> lf_readIcaoAirline(std::string_view line);
// "atc_parking_types": the value, empty when none.
std::string lf_readAtcParkingTypes(std::string_view line);
// "atc_id": the value when it is 5 characters or longer, else empty.
std::string lf_readAtcId(std::string_view line);
// The section number of a header line "[fltsim.N]" (any letter case, blanks
// around): its digits. A line beginning with "//" is no header (empty); a
// line that is no header but contains "[fltsim." or "[FLTSIM." gives
// "10000"; any other line gives empty text.
std::string lf_readFltsimHeader(std::string_view line);

// The presence tests of the duplicate-key checks (case-sensitive substrings).
inline bool lf_hasIcaoAirlineKey(std::string_view line) { return line.find("icao_airline") != line.npos; }
inline bool lf_hasParkingTypesKey(std::string_view line) { return line.find("atc_parking_types") != line.npos; }
inline bool lf_hasAtcIdKey(std::string_view line) { return line.find("atc_id=") != line.npos; }

// An atc_id value split at commas, each piece trimmed: Invalid when a piece
// is empty, longer than 12 characters or holds "*"; else Single (one piece)
// or Several.
enum class AtcIdKind { Single, Several, Invalid };
AtcIdKind lf_checkAtcId(std::string_view value, std::string* single = nullptr);

// The folder of an aircraft.cfg: the path's text up to (not including) its
// last separator ("\" or "/"); empty when it has none.
std::string lf_folderOf(std::string_view path);

// Resolves a type code: kept when the database knows it; else its fix
// ("Model fix: ..." to the code-fixes list); else "{:16} in {}" to the
// invalid-types list and empty.
std::string lf_resolveType(const std::string& value, std::string_view path);

// ---------------------------------------------------------------------------
// Files and sections.
// ---------------------------------------------------------------------------

// Checks the section numbers of a file: false (file not to be used) when a
// number does not fit a signed 32-bit number (error line "fltsim num {}
// incorrect" in the log) or is above 10000 (invalid-files line). A file with
// no header at all goes to the no-section list and passes.
bool lf_findFltsimSections(const std::vector<std::string>& lines, std::string_view path);

// The file's ICAO type: the first icao_type_designator value, else the first
// base_container value, resolved by lf_resolveType; empty when none is usable
// (a missing type line is an invalid-files line).
std::string lf_aircraftTypeOf(std::string_view path, const std::vector<std::string>& lines);

// Splits the lines into sections and calls process for each with the
// section's lines, the header line first. A header line opens a section; a
// line with "[" among its first six characters closes an open one and is
// dropped; other lines belong to the open section or are ignored.
void lf_forEachFltsimSection(const std::vector<std::string>& lines,
                             const std::function<void(std::vector<std::string>&)>& process);

// What one task has accepted so far: the titles of its file (the first
// section with a title wins inside a file) and the claims it registers in the
// scan's title registry when it ends well.
class FileTitles {
 public:
  FileTitles(std::uint32_t rank, std::string path) : m_rank(rank), m_path(std::move(path)) {}
  // Whether the file has not given this title before; remembers it with the
  // record and the line that reports the section should another file win.
  bool accept(const LiveryData& record, std::string duplicateLine);
  // Registers every accepted title in the scan's title registry.
  void commit();

 private:
  struct Entry {
    LiveryData record;
    std::string duplicateLine;
  };
  std::uint32_t m_rank;
  std::string m_path;
  std::set<std::string, std::less<>> m_titles;
  std::vector<Entry> m_entries;
};

// One section of an ordinary aircraft.cfg: zero or one record.
LiveryList lf_procesFltSimSection(std::uint32_t rank, std::vector<std::string>& section, const std::string& type,
                                  const std::string& path, const std::string& folder, FileTitles& titles);

// The records of all sections of a file, in scan order (gf_liveryLess).
LiveryList lf_splitFltsimSections(std::uint32_t rank, const std::vector<std::string>& lines,
                                  const std::string& type, const std::string& path, const std::string& folder,
                                  FileTitles& titles);

// The parse of a file's lines (the section check, the type, the sections);
// registers the titles it returns. The file task without the file: the fuzz
// test feeds it directly.
LiveryList gf_parseAircraftCfgLines(std::uint32_t rank, const std::string& path,
                                    const std::vector<std::string>& lines);

// The largest aircraft.cfg that is read (real ones are well below 1 MiB).
inline constexpr std::uintmax_t kMaxAircraftCfgBytes = std::uintmax_t{32} << 20;

// Reads an aircraft.cfg in its character set (at most kMaxAircraftCfgBytes;
// a larger file is an invalid-files line). nullopt when the file does not
// exist, has no recognisable character set (code 5) or cannot be read.
// charsetMissing is set for code 5.
std::optional<std::vector<std::string>> lf_readAircraftCfg(const std::string& path, bool* charsetMissing);

// The body of one scan task for an ordinary aircraft.cfg: its liveries in
// scan order. Logs and rethrows an exception. It does not touch
// g_runningTasks: the driver holds the task slot through a guard.
LiveryList lf_searchLiveriesinFile(std::uint32_t rank, const std::string& path);

// ---------------------------------------------------------------------------
// Scan-wide state.
// ---------------------------------------------------------------------------

// Livery titles that are never used; filled before the scan starts and only
// read (without a lock) while it runs.
extern std::set<std::string, std::less<>> g_dontUseLiveryTitles;

// Guards the title registry of the scan (a leaf lock: no other lock is taken
// while it is held).
extern std::mutex g_scannedTitlesMutex;

// Resolves titles that several files returned, after the driver has merged
// every task's result into the list: keeps the record of the winning claim
// (lowest folder rank, then smallest path), removes the others from the list
// and reports each losing section in the incomplete-sections list. The order
// of the list is kept. Call once per scan, on the run thread, after all
// folders were walked and before anything else uses the list.
void gf_resolveDuplicateTitles(LiveryList& merged);

// The number of titles in the registry (tests, log).
std::size_t gf_scannedTitleCount();

// After the report of a scan: empties the report lists, the title registry
// and the don't-use titles.
void lf_clearLiveries();
