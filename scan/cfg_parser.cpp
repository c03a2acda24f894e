#include "scan/cfg_parser.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <map>
#include <system_error>
#include <unordered_map>
#include <utility>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/text.h"
#include "scan/scan_reports.h"

namespace fs = std::filesystem;

std::set<std::string, std::less<>> g_dontUseLiveryTitles;
std::mutex g_scannedTitlesMutex;

namespace {

// One file's claim on a title: the record it returned and the line that
// reports its section should another file win the title.
struct TitleClaim {
  std::uint32_t rank = 0;
  std::string path;
  LiveryData record;
  std::string duplicateLine;
};

// Title -> the claims of the files that returned it; guarded by
// g_scannedTitlesMutex.
std::map<std::string, std::vector<TitleClaim>, std::less<>> g_titleClaims;

// The blank characters of the key lines: ' ', tab, LF, VT, FF, CR.
bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether text begins with the lower-case ASCII prefix, ignoring letter case.
bool lf_startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t k = 0; k < lowerPrefix.size(); ++k)
    if (gf_lowerAscii(text[k]) != lowerPrefix[k]) return false;
  return true;
}

// Characters of UTF-8 text: every byte that does not continue a sequence.
std::size_t lf_utf8Length(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The byte offset of the n-th character (the text's size when it has fewer).
std::size_t lf_utf8Offset(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t chars = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == n) return i;
      ++chars;
    }
  }
  return text.size();
}

bool lf_isHeavy(const std::string& type) { return gf_aircraftCategory(type) == SizeClass::Heavy; }

// The airline a registration record gives a livery: its airline, else its
// operator; empty when it has neither.
std::string lf_recordAirline(const DbaseRec& record) { return record.airl.empty() ? record.opr : record.airl; }

}  // namespace

// ---------------------------------------------------------------------------
// Key readers
// ---------------------------------------------------------------------------

bool lf_matchKeyLine(std::string_view line, std::string_view lowerKey, std::string_view* raw) {
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n && lf_isBlank(line[i])) ++i;
  if (!lf_startsWithIgnoringCase(line.substr(i), lowerKey)) return false;
  i += lowerKey.size();
  while (i < n && lf_isBlank(line[i])) ++i;
  if (i >= n || line[i] != '=') return false;
  ++i;
  while (i < n && lf_isBlank(line[i])) ++i;
  std::size_t end = n;
  while (end > i && lf_isBlank(line[end - 1])) --end;
  if (end == i) return false;  // nothing but blanks after "="
  // The value may hold blanks, but no line break before its last character.
  for (std::size_t j = i; j + 1 < end; ++j)
    if (line[j] == '\r' || line[j] == '\n') return false;
  if (raw != nullptr) *raw = line.substr(i, end - i);
  return true;
}

std::string lf_applyQuoteRule(std::string_view raw) { return gf_quotedText(raw); }

namespace {
// The quote-ruled value of a key line; empty when the line is no such line.
std::string lf_readValue(std::string_view line, std::string_view lowerKey) {
  std::string_view raw;
  if (!lf_matchKeyLine(line, lowerKey, &raw)) return {};
  return lf_applyQuoteRule(raw);
}
}  // namespace

std::string lf_readTitle(std::string_view line) { return lf_readValue(line, "title"); }

std::string lf_readIcaoTypeDesignator(std::string_view line) {
  std::string value = lf_readValue(line, "icao_type_designator");
  value.resize(lf_utf8Offset(value, 4));
  return gf_toUpper(value);
}

std::string lf_readBaseContainer(std::string_view line) {
  const std::string value = lf_readValue(line, "base_container");
  if (lf_utf8Length(value) < 4) return {};
  // What follows "..\" (or "../") is the stock model's folder name.
  const std::string folder = value.substr(lf_utf8Offset(value, 3));
  const auto found = g_stockModelTypes.find(folder);
  if (found == g_stockModelTypes.end()) return {};
  return gf_toUpper(found->second);
}

std::optional<std::string> lf_readIcaoAirline(std::string_view line) {
  std::string_view raw;
  if (!lf_matchKeyLine(line, "icao_airline", &raw)) return std::nullopt;
  const std::string value = lf_applyQuoteRule(raw);
  if (value.empty() || value == "ZZZZ") return g_genericAirline;
  return gf_toUpper(value);
}

std::string lf_readAtcParkingTypes(std::string_view line) { return lf_readValue(line, "atc_parking_types"); }

std::string lf_readAtcId(std::string_view line) {
  std::string value = lf_readValue(line, "atc_id");
  if (lf_utf8Length(value) < 5) return {};
  return value;
}

std::string lf_readFltsimHeader(std::string_view line) {
  if (line.starts_with("//")) return {};
  // "<blanks>[fltsim.<digits>]<blanks>", the letters in any case.
  const std::size_t n = line.size();
  std::size_t i = 0;
  while (i < n && lf_isBlank(line[i])) ++i;
  if (lf_startsWithIgnoringCase(line.substr(i), "[fltsim.")) {
    const std::size_t digits = i + 8;
    std::size_t j = digits;
    while (j < n && lf_isDigit(line[j])) ++j;
    if (j > digits && j < n && line[j] == ']') {
      std::size_t k = j + 1;
      while (k < n && lf_isBlank(line[k])) ++k;
      if (k == n) return std::string(line.substr(digits, j - digits));
    }
  }
  // A header-like line that fails the pattern (a comment behind it, a number
  // that is no number) still opens a section, numbered at the limit.
  if (line.find("[fltsim.") != line.npos || line.find("[FLTSIM.") != line.npos) return "10000";
  return {};
}

AtcIdKind lf_checkAtcId(std::string_view value, std::string* single) {
  const std::vector<std::string> pieces = gf_splitString(value, ',');
  for (const std::string& piece : pieces) {
    if (piece.empty() || lf_utf8Length(piece) > 12 || piece.find('*') != std::string::npos) return AtcIdKind::Invalid;
  }
  if (pieces.size() == 1) {
    if (single != nullptr) *single = pieces.front();
    return AtcIdKind::Single;
  }
  return AtcIdKind::Several;
}

std::string lf_folderOf(std::string_view path) {
  const std::size_t last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(path.substr(0, last));
}

std::string lf_resolveType(const std::string& value, std::string_view path) {
  if (g_dbaseTypes.contains(value)) return value;
  if (const auto fix = g_typeFixes.find(value); fix != g_typeFixes.end()) {
    gf_reportCodeFix(fmt::format("Model fix: {} found in {} changed into {}", value, path, fix->second));
    return fix->second;
  }
  gf_reportInvalidType(fmt::format("{:16} in {}", value, path));
  return {};
}

// ---------------------------------------------------------------------------
// Files and sections
// ---------------------------------------------------------------------------

bool lf_findFltsimSections(const std::vector<std::string>& lines, std::string_view path) {
  bool anyHeader = false;
  bool aboveLimit = false;
  for (const std::string& line : lines) {
    const std::string number = lf_readFltsimHeader(line);
    if (number.empty()) continue;
    anyHeader = true;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size()) {
      gf_logError("fltsim num {} incorrect", line);
      return false;
    }
    if (value > 10000) aboveLimit = true;
  }
  if (!anyHeader) {
    gf_reportNoSection(std::string(path));
    return true;
  }
  if (aboveLimit) {
    gf_reportInvalidFile(fmt::format("{} contains a [fltsim.x] section with a number < 0 or > {}", path, 10000));
    return false;
  }
  return true;
}

std::string lf_aircraftTypeOf(std::string_view path, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const std::string value = lf_readIcaoTypeDesignator(line);
    if (!value.empty()) return lf_resolveType(value, path);
  }
  for (const std::string& line : lines) {
    const std::string value = lf_readBaseContainer(line);
    if (!value.empty()) return lf_resolveType(value, path);
  }
  // Airliners of these two makers declare their type elsewhere; they are
  // not AI packages and not worth a report line.
  if (path.find("pmdg-aircraft-7") == path.npos && path.find("fnx-aircraft-3") == path.npos) {
    gf_reportInvalidFile(fmt::format("Line icao_type_designator= is missing in [General] section of {}", path));
  }
  return {};
}

void lf_forEachFltsimSection(const std::vector<std::string>& lines,
                             const std::function<void(std::vector<std::string>&)>& process) {
  std::vector<std::string> buffer;
  buffer.reserve(48);
  bool open = false;
  for (const std::string& line : lines) {
    if (!lf_readFltsimHeader(line).empty()) {
      if (open && !buffer.empty()) process(buffer);
      buffer.clear();
      buffer.push_back(line);
      open = true;
      continue;
    }
    // Any other section header (such as "[General]") ends the livery
    // section: a "[" at one of the first six positions.
    if (line.substr(0, std::min<std::size_t>(line.size(), 6)).find('[') != std::string::npos) {
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

bool FileTitles::accept(const LiveryData& record, std::string duplicateLine) {
  if (!m_titles.insert(record.title).second) return false;
  m_entries.push_back(Entry{record, std::move(duplicateLine)});
  return true;
}

void FileTitles::commit() {
  std::lock_guard lock(g_scannedTitlesMutex);  // leaf lock
  for (Entry& entry : m_entries) {
    auto& claims = g_titleClaims[entry.record.title];
    claims.push_back(TitleClaim{m_rank, m_path, std::move(entry.record), std::move(entry.duplicateLine)});
  }
  m_entries.clear();
}

namespace {

// Removes empty lines and comment lines from the end of a section; the
// header line stays.
void lf_dropTrailingClutter(std::vector<std::string>& section) {
  while (section.size() > 1 && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}

// The body of one ordinary section, without the exception boundary.
LiveryList lf_processSection(std::uint32_t rank, std::vector<std::string>& section, const std::string& type,
                             const std::string& path, const std::string& folder, FileTitles& titles) {
  lf_dropTrailingClutter(section);
  if (section.empty()) return {};
  const std::string header = section.front();

  std::string title, airline, parkingTypes, registration;
  bool registrationTaken = false;  // an atc_id value was read (valid or not)
  bool abandoned = false;
  const bool suppressStubs = prm::SUPPRESS_STUB.value();

  for (const std::string& line : section) {
    // The first test that takes the line ends the work on it.
    if (title.empty()) {
      if (std::string value = lf_readTitle(line); !value.empty()) {
        title = gf_trim(value);
        // Airliners that are no AI models, and stubs when they are to be left out.
        if (title.find("FenixA320") != std::string::npos || title.find("PMDG 737") != std::string::npos ||
            (suppressStubs && title.ends_with("-STUB"))) {
          abandoned = true;
          break;
        }
        continue;
      }
    } else if (lf_matchKeyLine(line, "title")) {
      gf_reportIncompleteSection(fmt::format("{} {} has more than one title key", folder, header));
      abandoned = true;
      break;
    }

    if (airline.empty()) {
      if (std::optional<std::string> value = lf_readIcaoAirline(line)) {
        std::string code = gf_trimCommaList(*value);
        // A fourth letter X or C marks a sub-fleet (cargo, charter) of the airline.
        if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C')) code.resize(3);
        if (gf_isIcaoAirline(code)) {
          airline = code;
        } else if (code == "RFO") {
          abandoned = true;
          break;
        } else {
          // The airline stays unset: a later icao_airline line may still set it.
          gf_reportInvalidAirline(fmt::format("{:12} in {} ", code, path) + header);
        }
        continue;
      }
    } else if (lf_hasIcaoAirlineKey(line)) {
      gf_reportIncompleteSection(fmt::format("{} {} has more than one icao_airline key", folder, header));
      abandoned = true;
      break;
    }

    if (parkingTypes.empty()) {
      if (std::string value = lf_readAtcParkingTypes(line); !value.empty()) {
        parkingTypes = gf_toUpper(gf_trimCommaList(value));
        continue;
      }
    } else if (lf_hasParkingTypesKey(line)) {
      gf_reportIncompleteSection(fmt::format("{} {} has more than one atc_parking_types key", folder, header));
      abandoned = true;
      break;
    }

    if (!registrationTaken) {
      if (std::string value = lf_readAtcId(line); !value.empty()) {
        registrationTaken = true;
        if (const auto comment = value.find(';'); comment != std::string::npos) value.resize(comment);
        std::string single;
        switch (lf_checkAtcId(value, &single)) {
          case AtcIdKind::Single:
            registration = std::move(single);
            break;
          case AtcIdKind::Several:  // several registrations: none is taken
            break;
          case AtcIdKind::Invalid:
            gf_reportIncompleteSection(fmt::format("invalid atc_id={} in: {}", value, title));
            break;
        }
        continue;
      }
    } else if (lf_hasAtcIdKey(line)) {
      gf_reportIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", folder, header));
      abandoned = true;
      break;
    }
  }

  if (airline.empty()) {
    gf_reportIncompleteSection(fmt::format("{} {} icao_airline is missing, or it has invalid info ", path, header));
  }
  if (abandoned) return {};
  if (title.empty()) {
    gf_reportIncompleteSection(fmt::format("{} {} misses title", folder, header));
    return {};
  }
  if (g_dontUseLiveryTitles.contains(title)) return {};
  if (airline == g_genericAirline) registration.clear();

  if (airline.empty()) {
    if (registration.empty()) {
      if (lf_isHeavy(type)) {
        gf_reportIncompleteSection(fmt::format("'{}' '{}' has no airline and no regcode info", folder, header));
        return {};
      }
      airline = "PVT";
      registration = gf_findShortRegcodeIn(title);
    } else {
      const DbaseRec* record = gf_findRegcode(registration);
      if (record != nullptr) airline = lf_recordAirline(*record);
      if (airline.empty()) {
        if (lf_isHeavy(type)) {
          gf_reportIncompleteSection(
              fmt::format("'{}' '{}' has no airline and regcode not in dbase", folder, header));
          return {};
        }
        airline = "PVT";
      }
    }
  }

  LiveryData record;
  record.airline = airline;
  record.type = type;
  record.title = title;
  record.registration = registration;
  record.folderRank = rank;
  record.cargo = parkingTypes.size() >= 5 && parkingTypes.find("CARGO") != std::string::npos &&
                 parkingTypes.find("GATE") == std::string::npos;

  std::string duplicateLine = fmt::format("{} {} title '{}' already exists", folder, header, title);
  if (!titles.accept(record, duplicateLine)) {
    gf_reportIncompleteSection(std::move(duplicateLine));
    return {};
  }
  return LiveryList{std::move(record)};
}

}  // namespace

LiveryList lf_procesFltSimSection(std::uint32_t rank, std::vector<std::string>& section, const std::string& type,
                                  const std::string& path, const std::string& folder, FileTitles& titles) {
  try {
    return lf_processSection(rank, section, type, path, folder, titles);
  } catch (const std::exception& e) {
    gf_logError("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), path);
    throw;
  }
}

LiveryList lf_splitFltsimSections(std::uint32_t rank, const std::vector<std::string>& lines,
                                  const std::string& type, const std::string& path, const std::string& folder,
                                  FileTitles& titles) {
  LiveryList result;
  lf_forEachFltsimSection(lines, [&](std::vector<std::string>& section) {
    LiveryList records = lf_procesFltSimSection(rank, section, type, path, folder, titles);
    result.insert(result.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
  });
  // Scan order; equal keys keep their section order.
  std::stable_sort(result.begin(), result.end(), gf_liveryLess);
  return result;
}

LiveryList gf_parseAircraftCfgLines(std::uint32_t rank, const std::string& path,
                                    const std::vector<std::string>& lines) {
  if (!lf_findFltsimSections(lines, path)) return {};
  const std::string type = lf_aircraftTypeOf(path, lines);
  if (type.empty()) return {};
  FileTitles titles(rank, path);
  LiveryList result = lf_splitFltsimSections(rank, lines, type, path, lf_folderOf(path), titles);
  titles.commit();
  return result;
}

std::optional<std::vector<std::string>> lf_readAircraftCfg(const std::string& path, bool* charsetMissing) {
  if (charsetMissing != nullptr) *charsetMissing = false;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    // Missing, or no regular file: nothing to read, as with an unknown character set.
    if (charsetMissing != nullptr) *charsetMissing = true;
    return std::nullopt;
  }
  if (size > kMaxAircraftCfgBytes) {
    gf_logError("{} has {} bytes, more than an aircraft.cfg can have; skipped", path, size);
    gf_reportInvalidFile(fmt::format("{} is larger than {} bytes, skipped", path, kMaxAircraftCfgBytes));
    return std::nullopt;
  }
  const int charset = gf_detectCharset(path);
  if (charset == kCharsetNone) {
    if (charsetMissing != nullptr) *charsetMissing = true;
    return std::nullopt;
  }
  std::vector<std::string> lines;
  lines.reserve(4048);
  if (!gf_readTextLines(charset, path, lines)) return std::nullopt;
  return lines;
}

LiveryList lf_searchLiveriesinFile(std::uint32_t rank, const std::string& path) {
  // Every return below, and the rethrow, is a way out of the task; the task
  // slot (g_runningTasks) is not given back here but by the driver's guard,
  // exactly once, whichever way the task ends.
  try {
    std::error_code ec;
    if (!fs::exists(path, ec)) return {};
    std::optional<std::vector<std::string>> lines = lf_readAircraftCfg(path, nullptr);
    if (!lines) return {};
    return gf_parseAircraftCfgLines(rank, path, *lines);
  } catch (const std::exception& e) {
    gf_logError("Exception in lf_searchLiveriesinFile {}: {}", path, e.what());
    throw;
  }
}

// ---------------------------------------------------------------------------
// Scan-wide state
// ---------------------------------------------------------------------------

void gf_resolveDuplicateTitles(LiveryList& merged) {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(g_scannedTitlesMutex);  // leaf lock
    // The titles claimed by more than one file, their claims in winning order.
    std::unordered_map<std::string_view, std::vector<TitleClaim>*> contested;
    for (auto& [title, claims] : g_titleClaims) {
      if (claims.size() < 2) continue;
      std::stable_sort(claims.begin(), claims.end(), [](const TitleClaim& a, const TitleClaim& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.path < b.path;
      });
      contested.emplace(title, &claims);
    }
    if (contested.empty()) return;

    // Where each contested title stands in the merged list.
    std::unordered_map<std::string_view, std::vector<std::size_t>> positions;
    for (std::size_t i = 0; i < merged.size(); ++i)
      if (contested.contains(merged[i].title)) positions[merged[i].title].push_back(i);

    std::vector<bool> drop(merged.size(), false);
    for (auto& [title, claimsPtr] : contested) {
      std::vector<TitleClaim>& claims = *claimsPtr;
      const std::vector<std::size_t>& at = positions[title];
      // The winner is the first claim in order whose record the driver has
      // merged (a task whose result was dropped cannot win).
      std::size_t winner = claims.size();
      std::size_t kept = merged.size();
      for (std::size_t c = 0; c < claims.size() && winner == claims.size(); ++c) {
        for (std::size_t i : at) {
          if (merged[i] == claims[c].record && merged[i].folderRank == claims[c].record.folderRank) {
            winner = c;
            kept = i;
            break;
          }
        }
      }
      if (winner == claims.size()) winner = 0;  // none merged: report against the first
      for (std::size_t i : at)
        if (i != kept) drop[i] = true;
      for (std::size_t c = 0; c < claims.size(); ++c)
        if (c != winner) lines.push_back(std::move(claims[c].duplicateLine));
      // Resolved: a second call finds nothing to do.
      TitleClaim keep = std::move(claims[winner]);
      claims.clear();
      claims.push_back(std::move(keep));
    }

    std::size_t out = 0;
    for (std::size_t i = 0; i < merged.size(); ++i) {
      if (drop[i]) continue;
      if (out != i) merged[out] = std::move(merged[i]);
      ++out;
    }
    merged.resize(out);
  }
  for (std::string& line : lines) gf_reportIncompleteSection(std::move(line));
}

std::size_t gf_scannedTitleCount() {
  std::lock_guard lock(g_scannedTitlesMutex);
  return g_titleClaims.size();
}

void lf_clearLiveries() {
  gf_clearScanReports();
  {
    std::lock_guard lock(g_scannedTitlesMutex);
    g_titleClaims.clear();
  }
  g_dontUseLiveryTitles.clear();
}
