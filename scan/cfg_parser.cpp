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
#include "app/hash.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/text.h"
#include "scan/ivao_parser.h"
#include "scan/scan_reports.h"

namespace fs = std::filesystem;

std::set<std::string, std::less<>> g_dontUseLiveryTitles;

namespace {

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
  if (gf_utf8Length(value) < 4) return {};
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
  if (gf_utf8Length(value) < 5) return {};
  return value;
}

std::string_view lf_readFltsimHeader(std::string_view line) {
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
      if (k == n) return line.substr(digits, j - digits);
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
    if (piece.empty() || gf_utf8Length(piece) > 12 || piece.find('*') != std::string::npos) return AtcIdKind::Invalid;
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

CfgLines gf_splitCfgLines(std::string_view text) {
  CfgLines lines;
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool lf_findFltsimSections(const CfgLines& lines, std::string_view path) {
  bool anyHeader = false;
  bool aboveLimit = false;
  for (const std::string_view line : lines) {
    const std::string_view number = lf_readFltsimHeader(line);
    if (number.empty()) continue;
    anyHeader = true;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size()) {
      gf_scanLogError("fltsim num {} incorrect", line);
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

std::string lf_aircraftTypeOf(std::string_view path, const CfgLines& lines) {
  for (const std::string_view line : lines) {
    const std::string value = lf_readIcaoTypeDesignator(line);
    if (!value.empty()) return lf_resolveType(value, path);
  }
  for (const std::string_view line : lines) {
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

bool ParsedFile::accept(LiveryData&& record, std::string_view header) {
  const std::uint64_t hash =
      gf_fnv1a64(reinterpret_cast<const unsigned char*>(record.title.data()), record.title.size());
  for (std::size_t k = 0; k < titleHashes.size(); ++k)
    if (titleHashes[k] == hash && liveries[k].title == record.title) return false;
  liveries.push_back(std::move(record));
  titleHashes.push_back(hash);
  m_headerText.append(header);
  m_headerEnds.push_back(static_cast<std::uint32_t>(m_headerText.size()));
  return true;
}

void ParsedFile::shrink() {
  liveries.shrink_to_fit();
  titleHashes.shrink_to_fit();
  m_headerEnds.shrink_to_fit();
  m_headerText.shrink_to_fit();
}

namespace {

// Removes empty lines and comment lines from the end of a section; the
// header line stays.
void lf_dropTrailingClutter(CfgLines& section) {
  while (section.size() > 1 && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}

// The body of one ordinary section, without the exception boundary.
void lf_processSection(std::uint32_t rank, CfgLines& section, const std::string& type, const std::string& path,
                       const std::string& folder, ParsedFile& file) {
  lf_dropTrailingClutter(section);
  if (section.empty()) return;
  const std::string_view header = section.front();

  std::string title, airline, parkingTypes, registration;
  bool registrationTaken = false;  // an atc_id value was read (valid or not)
  bool abandoned = false;
  const bool suppressStubs = prm::SUPPRESS_STUB.value();

  for (const std::string_view line : section) {
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
          gf_reportInvalidAirline(fmt::format("{:12} in {} {}", code, path, header));
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
  if (abandoned) return;
  if (title.empty()) {
    gf_reportIncompleteSection(fmt::format("{} {} misses title", folder, header));
    return;
  }
  if (g_dontUseLiveryTitles.contains(title)) return;
  if (airline == g_genericAirline) registration.clear();

  if (airline.empty()) {
    if (registration.empty()) {
      if (lf_isHeavy(type)) {
        gf_reportIncompleteSection(fmt::format("'{}' '{}' has no airline and no regcode info", folder, header));
        return;
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
          return;
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

  if (!file.accept(std::move(record), header))
    gf_reportIncompleteSection(fmt::format("{} {} title '{}' already exists", folder, header, title));
}

}  // namespace

void lf_procesFltSimSection(std::uint32_t rank, CfgLines& section, const std::string& type,
                            const std::string& path, const std::string& folder, ParsedFile& file) {
  try {
    lf_processSection(rank, section, type, path, folder, file);
  } catch (const std::exception& e) {
    gf_scanLogError("Exception in lf_procesFltSimSection: {}, file: {}", e.what(), path);
    throw;
  }
}

ParsedFile gf_parseAircraftCfg(std::uint32_t rank, const std::string& path, const CfgLines& lines) {
  ParsedFile file;
  if (!lf_findFltsimSections(lines, path)) return file;
  const std::string type = lf_aircraftTypeOf(path, lines);
  if (type.empty()) return file;
  const std::string folder = lf_folderOf(path);
  lf_forEachFltsimSection(lines, [&](CfgLines& section) {
    lf_procesFltSimSection(rank, section, type, path, folder, file);
  });
  return file;
}

LiveryList gf_parseAircraftCfgLines(std::uint32_t rank, const std::string& path,
                                    const std::vector<std::string>& lines) {
  LiveryList liveries = gf_parseAircraftCfg(rank, path, CfgLines(lines.begin(), lines.end())).liveries;
  std::stable_sort(liveries.begin(), liveries.end(), gf_liveryLess);
  return liveries;
}

CfgRead lf_readAircraftCfg(const std::string& path, CfgText& cfg) {
  cfg.text.clear();
  cfg.lines.clear();
  std::string bytes;
  const FileReadResult read = gf_readUserFile(path, kMaxAircraftCfgBytes, bytes);
  switch (read.problem) {
    case FileProblem::none:
      break;
    case FileProblem::missing:
      return CfgRead::Missing;
    case FileProblem::corrupt:  // larger than an aircraft.cfg can be
      gf_scanLogError("{}; skipped", read.message);
      gf_reportInvalidFile(fmt::format("{} is larger than {} bytes, skipped", path, kMaxAircraftCfgBytes));
      return CfgRead::Skipped;
    default:  // not readable: no permission, a path too long, no regular file
      gf_scanLogError("{}; skipped", read.message);
      return CfgRead::Skipped;
  }
  if (bytes.empty()) return CfgRead::Empty;
  const int charset = gf_charsetOfSample(bytes);
  if (charset == kCharsetNone) return CfgRead::NoCharset;
  cfg.text = gf_textToUtf8(charset, std::move(bytes));
  cfg.lines = gf_splitCfgLines(cfg.text);
  return CfgRead::Ok;
}

ParsedFile gf_parseCfgFile(std::uint32_t rank, const std::string& path, bool ivao) {
  return ivao ? gf_parseIvaoCfgFile(rank, path) : gf_parseOrdinaryCfgFile(rank, path);
}

ParsedFile gf_parseOrdinaryCfgFile(std::uint32_t rank, const std::string& path) {
  try {
    CfgText cfg;
    switch (lf_readAircraftCfg(path, cfg)) {
      case CfgRead::Ok:
        return gf_parseAircraftCfg(rank, path, cfg.lines);
      case CfgRead::Empty:
        gf_scanLogError("{} is empty; skipped", path);
        return {};
      case CfgRead::NoCharset:
        gf_scanLogError("No character set found for {}", path);
        return {};
      default:
        return {};
    }
  } catch (const std::exception& e) {
    gf_scanLogError("Exception in lf_searchLiveriesinFile {}: {}", path, e.what());
    throw;
  }
}

LiveryList lf_searchLiveriesinFile(std::uint32_t rank, const std::string& path) {
  LiveryList liveries = gf_parseOrdinaryCfgFile(rank, path).liveries;
  std::stable_sort(liveries.begin(), liveries.end(), gf_liveryLess);
  return liveries;
}

// ---------------------------------------------------------------------------
// Merging the files of a scan
// ---------------------------------------------------------------------------

void LiveryMerge::reserve(std::size_t files) {
  m_files.reserve(files);
  m_liveries.reserveParts(files);
}

std::uint32_t LiveryMerge::add(std::uint32_t rank, std::string path, ParsedFile&& file) {
  const std::uint32_t index = m_liveries.addPart(std::move(file.liveries));
  const auto count = static_cast<std::uint32_t>(m_liveries.part(index).size());
  for (std::uint32_t k = 0; k < count; ++k) m_liveries.order().push_back(LiveryRef{index, k});
  m_files.push_back(Source{rank, std::move(path), std::move(file)});
  return index;
}

std::string LiveryMerge::duplicateLine(LiveryRef ref) const {
  const Source& source = m_files[ref.part];
  const std::string folder = lf_folderOf(source.path);
  const std::string_view header = source.file.header(ref.index);
  const std::string& title = m_liveries.at(ref).title;
  if (source.file.ivao) return fmt::format("{} {} title already exists: {}", folder, header, title);
  return fmt::format("{} {} title '{}' already exists", folder, header, title);
}

void LiveryMerge::resolveDuplicateTitles() {
  // The titles by their hash (made by the parse), then their place: records
  // with one title end up next to each other, in merge order, without a
  // table of all titles.
  std::vector<LiveryRef>& order = m_liveries.order();
  std::vector<HashedIndex> entries;
  entries.reserve(order.size());
  for (std::uint32_t i = 0; i < order.size(); ++i)
    entries.push_back(HashedIndex{m_files[order[i].part].file.titleHashes[order[i].index], i});
  gf_sortByHash(entries);
  const auto wins = [&](std::size_t a, std::size_t b) {  // whether record a beats record b
    const Source& x = m_files[order[a].part];
    const Source& y = m_files[order[b].part];
    return x.rank != y.rank ? x.rank < y.rank : x.path < y.path;
  };
  std::vector<bool> drop(order.size(), false);
  std::vector<std::size_t> dropped;
  gf_forEachRepeat(
      entries, [&](std::uint32_t a, std::uint32_t b) { return m_liveries[a].title == m_liveries[b].title; },
      [&](const std::vector<std::uint32_t>& places) {
        // Each title keeps its best record.
        const std::uint32_t best = *std::min_element(places.begin(), places.end(), wins);
        for (const std::uint32_t i : places) {
          if (i == best) continue;
          drop[i] = true;
          dropped.push_back(i);
        }
      });
  if (dropped.empty()) return;
  std::sort(dropped.begin(), dropped.end());
  for (std::size_t i : dropped) gf_reportIncompleteSection(duplicateLine(order[i]));
  std::size_t out = 0;
  for (std::size_t i = 0; i < order.size(); ++i)
    if (!drop[i]) order[out++] = order[i];
  order.resize(out);
}

void lf_clearLiveries() {
  gf_clearScanReports();
  g_dontUseLiveryTitles.clear();
}
