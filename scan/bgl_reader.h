// The reader of BGL scenery files as far as the add-on airport scan needs
// them: the airport records with their taxiway parking entries and helipads.
//
// All numbers in a BGL file are little-endian. The header is 56 bytes; at
// 0x14 it holds the number of sections, and the section table of 20-byte
// entries follows it. Of an airport section (type 3) the first sub-section
// entry gives the offset of the first record; records and the sub-records of
// an airport record start with a 2-byte kind and a 4-byte size.
//
// The reader is a function of the file's bytes: every offset, size and count
// in the file is untrusted and every read is bounded by the file's size and
// by the size of the record it belongs to; what lies outside is skipped with
// a reason instead of being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport_list.h"
#include "airports/park_file.h"
#include "airports/stands.h"

// The header's size; anything else in its size field is not a BGL file we read.
inline constexpr std::uint32_t kBglHeaderBytes = 56;
// Where the header's size field ends: a shorter file cannot tell whether it
// is a BGL file, and counts as one cut short.
inline constexpr std::uint32_t kBglHeaderSizeFieldEnd = 8;
// The largest BGL file that is read whole; larger ones that hold an airport
// section are skipped with a scan-log line (those without are passed over
// as any file without airports). Airport files are far smaller; this keeps a handful of
// parallel tasks within a few hundred megabytes.
inline constexpr std::uintmax_t kBglMaxFileBytes = std::uintmax_t{64} << 20;

// Record kinds.
inline constexpr std::uint16_t kBglAirportRecord = 0x56;
inline constexpr std::uint16_t kBglUnidentifiedAirportRecord = 0x113;  // MSFS 2024: no identifier given
inline constexpr std::uint16_t kBglHelipadRecord = 0x26;
inline constexpr std::uint16_t kBglTaxiwayParkingRecord = 0xE7;
inline constexpr std::uint32_t kBglAirportSectionType = 3;

// The most stands one airport gives: as many as one park file may hold, far
// more than any real airport has. An airport with more is hostile or
// corrupt: it keeps the first ones and its other stands are skipped; the
// file goes on with its next airport. (A file may bundle any number of
// airports: the file size cap bounds them.)
inline constexpr std::size_t kBglMaxStandsPerAirport = kApfMaxStands;

// The most lines one file gives about the entries and parts it skips (a
// hostile file may hold millions of doubled helipads); the rest are counted
// in one line of the file's problems.
inline constexpr std::size_t kBglMaxSkipLinesPerFile = 1000;

// One airport record with a valid ICAO code, as read from the file.
struct BglAirport {
  std::string icao;
  std::string airportName;             // from the airport names given to the reader
  std::int32_t altitude = 0;           // whole feet; 0 when outside -20..10000
  std::vector<Stand> stands;           // parking entries and helipads, file order (crowded ids renamed)
  std::int32_t helipadCounter = 1;     // one more than the number of helipads taken
  std::vector<std::string> standLog;   // the scan-log lines of reading its stands
};

// Takes the airports of a file as the reader meets them, one at a time.
class BglAirportSink {
 public:
  virtual ~BglAirportSink() = default;
  // An airport record with a valid ICAO code (icao, airportName and altitude
  // set), before its stands are read. Returns whether they are wanted; when
  // not, the airport is done and airportRead is not called for it.
  virtual bool airportFound(const BglAirport& airport) = 0;
  // The airport with its stands, as soon as its record has been read.
  virtual void airportRead(BglAirport& airport) = 0;
  // Polled between records and parking entries: true ends the reading at
  // once (the airport being read is dropped).
  virtual bool stopRequested() { return false; }
};

// How the reading of a file ended.
struct BglReadResult {
  // MSFS 2024 mode: a record of kind 0x113 ended the reading; the file's
  // airport has no identifier.
  bool unrecognised = false;
  // The sink asked to stop.
  bool stopped = false;
  // A read would have gone past the end of the file (a truncated or corrupt
  // file, also one cut inside its header or its section table); what lies
  // inside was read. The file was not read whole.
  bool outsideFile = false;
  // Scan-log lines about the parts of the file that were skipped (a section
  // table that does not fit, a record outside the file, an airport's stand
  // limit, the number of lines past kBglMaxSkipLinesPerFile).
  std::vector<std::string> problems;
};

// Reads the airports of a BGL file from its bytes and hands each to the sink
// as soon as it is read. pathText names the file in scan-log lines; names
// gives the airport names by ICAO. Every record is passed by its own size and
// walked once, however many sections lead to it; a bad record, sub-record or
// entry is skipped with a line and the reading goes on. Never throws for any
// content (only std::bad_alloc and what the sink throws).
BglReadResult gf_readBglFile(std::string_view bytes, bool msfs2020, std::string_view pathText,
                             const AirportNameTable& names, BglAirportSink& sink);

// What a BGL file holds, collected (tests and the fuzz target).
struct BglContent : BglReadResult {
  std::vector<BglAirport> airports;  // in file order
};
BglContent gf_readBglAirports(std::string_view bytes, bool msfs2020, std::string_view pathText,
                              const AirportNameTable& names);

// The quick test before a task is started: whether the file's section table
// has a section of type 3 and the task can read the file. False when the
// file cannot be read, is shorter than its header or its section table, or
// is larger than kBglMaxFileBytes and holds an airport section (a larger
// file without one is no more than a file without airports). When the file
// could not be read whole (it cannot be examined or opened, a read fails, it
// is larger than kBglMaxFileBytes and holds or may hold an airport section,
// it is too short to hold its header's size field, or it is a BGL file cut
// inside its header or its section table), unreadable, when given, is set to
// why; it stays empty for a file that holds no airport section.
bool lf_hasAirportSection(const std::filesystem::path& path, std::string* unreadable = nullptr);

// The packed identifier: the word shifted right by 5 is a number in base 38,
// most significant digit first: 0 gives a blank, 2..11 give "0".."9", every
// other digit d the character d + 53 ("A".."Z" for 12..37). ok is set when the
// text is a valid ICAO code: exactly 4 characters, no blank.
std::string lf_decodeIdentifierOrRegionCode(std::uint32_t word, bool& ok);

// The prefix of a stand id for a parking name code (0..63).
std::string lf_parkingNameSuffix(std::uint32_t nameCode);

// An elevation in millimetres as whole feet; 0 when below -20 or above 10000.
std::int32_t lf_readAirportAltitude(std::int32_t elevationMm);

// Where several stands share an id ("g12", "g12a" ... "g12f"): the largest
// radius takes the plain id, the next "a", and so on. Run over stands whose
// nameAltered flag marks a renamed one; clears the flags.
void lf_renameCrowdedParkIds(std::vector<Stand>& stands);
