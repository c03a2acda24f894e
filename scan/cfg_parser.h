// The aircraft.cfg livery parser: one scan task per aircraft.cfg turns each
// [fltsim.x] section into at most one LiveryData record, and everything wrong
// or doubtful it meets into a line of the scan's report lists
// (scan/scan_reports.h). It writes nothing to disk.
//
// Threads: up to one task per hardware thread runs this code at once. Shared
// and written: the report lists (one mutex each, leaf locks), unless the
// task captures its lines (ScanTaskCapture). Shared and only read during a
// scan: the reference database, g_dontUseLiveryTitles and SUPPRESS_STUB.
//
// Duplicate titles. A title may give one livery per scan. Inside one file
// the first section with a title wins (file order). Across files nothing is
// shared while the tasks run: each returns its records with their section
// headers, and after the scan has merged every file's result in walk order
// (LiveryMerge) it decides once: for a title given by several files the
// record of the lowest folder rank wins, then that of the smallest path (byte
// order). The losers' records are dropped and their "already exists" lines go
// to the incomplete-sections list. So the result is the same whatever order
// the tasks run or finish in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
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
std::string_view lf_readFltsimHeader(std::string_view line);

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

// The lines of a file: views into its text, without line ends.
using CfgLines = std::vector<std::string_view>;

// Views of the lines of a text (split at LF, a CR before it dropped).
CfgLines gf_splitCfgLines(std::string_view text);

// Checks the section numbers of a file: false (file not to be used) when a
// number does not fit a signed 32-bit number (error line "fltsim num {}
// incorrect" in the log) or is above 10000 (invalid-files line). A file with
// no header at all goes to the no-section list and passes.
bool lf_findFltsimSections(const CfgLines& lines, std::string_view path);

// The file's ICAO type: the first icao_type_designator value, else the first
// base_container value, resolved by lf_resolveType; empty when none is usable
// (a missing type line is an invalid-files line).
std::string lf_aircraftTypeOf(std::string_view path, const CfgLines& lines);

// Splits the lines into sections and calls process for each with the
// section's lines (CfgLines&, the header line first). A header line opens a
// section; a line with "[" among its first six characters closes an open one
// and is dropped; other lines belong to the open section or are ignored.
template <typename Process>
void lf_forEachFltsimSection(const CfgLines& lines, Process&& process) {
  CfgLines buffer;
  buffer.reserve(48);
  bool open = false;
  for (const std::string_view line : lines) {
    if (!lf_readFltsimHeader(line).empty()) {
      if (open && !buffer.empty()) process(buffer);
      buffer.clear();
      buffer.push_back(line);
      open = true;
      continue;
    }
    // Any other section header (such as "[General]") ends the livery
    // section: a "[" at one of the first six positions.
    if (line.substr(0, 6).find('[') != std::string_view::npos) {
      if (open) {
        process(buffer);
        buffer.clear();
        open = false;
      }
      continue;
    }
    if (open) buffer.push_back(line);
  }
  if (open) process(buffer);
}

// One parsed aircraft.cfg: its records in section order, each with the
// header line of its section (for the report, should another file win its
// title) and the hash of its title (which the merge compares).
struct ParsedFile {
  bool ivao = false;  // the IVAO variant made it (its report lines differ)
  LiveryList liveries;
  std::vector<std::uint64_t> titleHashes;  // 64-bit FNV-1a of each record's title

  // Whether the file has not given this title before (the first section with
  // a title wins inside a file); keeps the record when so.
  bool accept(LiveryData&& record, std::string_view header);
  // The header line of record k's section.
  std::string_view header(std::size_t k) const {
    const std::size_t begin = k == 0 ? 0 : m_headerEnds[k - 1];
    return std::string_view(m_headerText).substr(begin, m_headerEnds[k] - begin);
  }
  // Gives back what the records' lists hold beyond their size.
  void shrink();

 private:
  std::string m_headerText;  // the header lines one after the other
  std::vector<std::uint32_t> m_headerEnds;
};

// One section of an ordinary aircraft.cfg: at most one record, kept in file.
void lf_procesFltSimSection(std::uint32_t rank, CfgLines& section, const std::string& type,
                            const std::string& path, const std::string& folder, ParsedFile& file);

// The records of a file's lines (the section check, the type, the sections),
// in section order.
ParsedFile gf_parseAircraftCfg(std::uint32_t rank, const std::string& path, const CfgLines& lines);

// The same in scan order (gf_liveryLess), for a caller that wants the list
// alone (tests, the fuzz test).
LiveryList gf_parseAircraftCfgLines(std::uint32_t rank, const std::string& path,
                                    const std::vector<std::string>& lines);

// The largest aircraft.cfg that is read (real ones are well below 1 MiB).
inline constexpr std::uintmax_t kMaxAircraftCfgBytes = std::uintmax_t{32} << 20;

// An aircraft.cfg read once into memory as UTF-8 text, with its lines as
// views into that text; neither copied nor moved, so the views stay valid.
struct CfgText {
  std::string text;
  CfgLines lines;
  CfgText() = default;
  CfgText(const CfgText&) = delete;
  CfgText& operator=(const CfgText&) = delete;
};

enum class CfgRead {
  Ok,
  Missing,    // the file is gone (no line: nothing to report)
  Empty,      // no byte at all (character set code 5 too)
  NoCharset,  // no recognisable character set (code 5)
  Skipped,    // too large or unreadable: logged (and, when too large, reported)
};

// Reads an aircraft.cfg (at most kMaxAircraftCfgBytes) once, in its character
// set, into cfg.
CfgRead lf_readAircraftCfg(const std::string& path, CfgText& cfg);

// The parse of one file as the scan runs it: read, then parsed by the
// ordinary parser or, with ivao, by the IVAO variant (scan/ivao_parser.h).
// Logs and rethrows an exception. It does not touch g_runningTasks.
ParsedFile gf_parseCfgFile(std::uint32_t rank, const std::string& path, bool ivao);

// The parse of one ordinary aircraft.cfg, read from its path.
ParsedFile gf_parseOrdinaryCfgFile(std::uint32_t rank, const std::string& path);

// The body of one scan task for an ordinary aircraft.cfg: its liveries in
// scan order. Logs and rethrows an exception.
LiveryList lf_searchLiveriesinFile(std::uint32_t rank, const std::string& path);

// ---------------------------------------------------------------------------
// Scan-wide state.
// ---------------------------------------------------------------------------

// Livery titles that are never used; filled before the scan starts and only
// read (without a lock) while it runs.
extern std::set<std::string, std::less<>> g_dontUseLiveryTitles;

// The records of many files, merged in walk order. The records stay in their
// files' lists (one part each); the merge orders references to them.
class LiveryMerge {
 public:
  // Room for this many files.
  void reserve(std::size_t files);
  // Adds the records of one file with its folder rank and path, in section
  // order; returns the file's index (which is its part in liveries()).
  std::uint32_t add(std::uint32_t rank, std::string path, ParsedFile&& file);
  // For a title given by several files the record of the lowest folder rank
  // wins, then that of the smallest path (byte order); the other records are
  // dropped and each loser's section goes to the incomplete-sections list.
  // The order of the rest is kept.
  void resolveDuplicateTitles();

  ScannedLiveryList& liveries() { return m_liveries; }
  // The index of the file that gave record i of the order.
  std::uint32_t fileOf(std::size_t i) const { return m_liveries.order()[i].part; }

 private:
  struct Source {
    std::uint32_t rank;
    std::string path;
    ParsedFile file;  // its records moved out; headers and title hashes stay
  };
  std::string duplicateLine(LiveryRef ref) const;

  std::vector<Source> m_files;
  ScannedLiveryList m_liveries;
};

// After the report of a scan: empties the report lists and the don't-use
// titles.
void lf_clearLiveries();
