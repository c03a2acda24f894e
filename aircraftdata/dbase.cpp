#include "aircraftdata/dbase.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <system_error>
#include <utility>

#include <pugixml.hpp>

#include "app/errors.h"
#include "app/files.h"
#include "app/geo.h"
#include "app/log.h"
#include "app/text.h"
#include "app/xml.h"

namespace {

// The full wingspan (metres) of a typical aircraft of each size class, used as
// the class average when no type of the class has a wingspan: Light (a
// single-engine piston), Buzjets (a mid-size business jet), Large (a
// narrow-body airliner), Heavy (a wide-body airliner), HighPerf (a fighter),
// Rotorcraft (the rotor diameter of a medium helicopter).
constexpr std::array<double, kSizeClassCount> kFallbackWingspanMetres = {11.0, 16.0, 34.0, 60.0, 12.0, 12.0};

constexpr std::array<double, kSizeClassCount> lf_fallbackHalfWingspans() {
  std::array<double, kSizeClassCount> result{};
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = kFallbackWingspanMetres[i] * kMetresToNm / 2.0;
  return result;
}

}  // namespace

DbaseRecordTable g_dbaseRecords;
std::set<std::string> g_dbaseTypes;
std::set<std::string> g_largeTypes;
std::set<std::string> g_heavyTypes;
std::set<std::string> g_buzjetTypes;
std::set<std::string> g_rotorcraftTypes;
std::set<std::string> g_highPerfTypes;
std::map<std::string, double> g_typeWingspans;
std::array<double, kSizeClassCount> g_classHalfWingspans = lf_fallbackHalfWingspans();
std::set<std::string> g_icaoAirlines;
DbaseTextTable g_typeFixes;
DbaseTextTable g_stockModelTypes;
std::vector<std::vector<std::string>> g_publisherGroups;
std::set<std::string> g_simaddon20Airports;
ThirdPartyLists g_thirdParties;
std::vector<std::vector<std::string>> g_similarTypeGroups;
std::atomic<bool> g_dbaseRead{false};

namespace {

// Bounds of what a record may hold.
constexpr std::size_t kMaxCodeLength = 16;          // ICAO codes, operator codes
constexpr std::size_t kMaxRegistrationLength = 16;
constexpr std::size_t kMaxNameLength = 128;         // publisher names, aliases, folders, items
constexpr double kMaxWingspanMetres = 150.0;
// Registrations shorter than this are searched for inside texts.
constexpr std::size_t kShortRegcodeLength = 6;
// At most this many skipped records are logged one by one.
constexpr int kMaxSkipLines = 20;

// Registrations shorter than kShortRegcodeLength, for gf_findShortRegcodeIn.
std::set<std::string, std::less<>> g_shortRegcodes;
// The aliases of g_publisherGroups in lower case, same shape.
std::vector<std::vector<std::string>> g_publisherAliasesLower;
// Serialises the one read of the database.
std::mutex g_dbaseReadMutex;

bool lf_isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// A code (ICAO type, airline or airport, operator): printable ASCII without
// blanks, usable as one plain path component.
bool lf_isPlainCode(std::string_view code) {
  if (code.size() > kMaxCodeLength || code.find("..") != std::string_view::npos) return false;
  const bool printable = std::all_of(code.begin(), code.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
  return printable && gf_isPlainPathComponent(code);
}

// A name that becomes one plain path component (a publisher): blanks and
// UTF-8 allowed inside, no separators, no "..", no blank or dot at the end
// and no blank at the start (Windows drops those).
bool lf_isPlainName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  if (name.find("..") != std::string_view::npos) return false;
  if (name.front() == ' ' || name.back() == ' ' || name.back() == '.') return false;
  return gf_isPlainPathComponent(name);
}

// Free text of bounded length without control characters (aliases, folders).
bool lf_isPlainText(std::string_view text) {
  return text.size() <= kMaxNameLength && std::none_of(text.begin(), text.end(), lf_isControl);
}

bool lf_isRegistration(std::string_view registration) {
  if (registration.empty() || registration.size() > kMaxRegistrationLength) return false;
  return std::all_of(registration.begin(), registration.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
}

// The blank-separated words of a list attribute.
std::vector<std::string_view> lf_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n')) ++pos;
    std::size_t end = pos;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r' && text[end] != '\n') ++end;
    if (end > pos) words.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

// Everything one read produces; moved into the globals only when the read succeeds.
struct DbaseTables {
  DbaseRecordTable records;
  std::set<std::string> types;
  std::set<std::string> large;
  std::set<std::string> heavy;
  std::set<std::string> buzjet;
  std::set<std::string> rotorcraft;
  std::set<std::string> highPerf;
  std::map<std::string, double> wingspans;
  std::set<std::string> airlines;
  DbaseTextTable typeFixes;
  DbaseTextTable stockModels;
  std::vector<std::vector<std::string>> publishers;
  std::set<std::string> simaddons;
  ThirdPartyLists thirdParties;
  std::vector<std::vector<std::string>> similar;
};

class DbaseReader {
 public:
  explicit DbaseReader(std::string pathText) : m_pathText(std::move(pathText)) {}

  void readRoot(const pugi::xml_node& root) {
    for (const pugi::xml_node table : root.children()) {
      if (table.type() != pugi::node_element) continue;
      const std::string_view name = table.name();
      if (name == "registrations") {
        forRecords(table, "reg", [this](const pugi::xml_node& e) { return readRegistration(e); });
      } else if (name == "types") {
        forRecords(table, "type", [this](const pugi::xml_node& e) { return readType(e); });
      } else if (name == "airlines") {
        forRecords(table, "airline", [this](const pugi::xml_node& e) { return readCode(e, "icao", m_tables.airlines); });
      } else if (name == "typefixes") {
        forRecords(table, "fix", [this](const pugi::xml_node& e) { return readTypeFix(e); });
      } else if (name == "stockmodels") {
        forRecords(table, "model", [this](const pugi::xml_node& e) { return readStockModel(e); });
      } else if (name == "publishers") {
        forRecords(table, "group", [this](const pugi::xml_node& e) { return readPublisherGroup(e); });
      } else if (name == "simaddons20") {
        forRecords(table, "airport", [this](const pugi::xml_node& e) { return readCode(e, "icao", m_tables.simaddons); });
      } else if (name == "thirdparties20") {
        forRecords(table, "publisher",
                   [this](const pugi::xml_node& e) { return readThirdParty(e, m_tables.thirdParties.msfs2020); });
      } else if (name == "thirdparties24") {
        forRecords(table, "publisher",
                   [this](const pugi::xml_node& e) { return readThirdParty(e, m_tables.thirdParties.msfs2024); });
      } else if (name == "similar") {
        forRecords(table, "group", [this](const pugi::xml_node& e) { return readSimilarGroup(e); });
      } else {
        gf_logLine("{}: unknown table <{}> ignored", m_pathText, name);
      }
    }
    if (m_skipped > kMaxSkipLines) {
      gf_logError("{}: {} more malformed records skipped", m_pathText, m_skipped - kMaxSkipLines);
    }
    if (m_repeated > 0) {
      gf_logLine("{}: {} repeated record{} ignored", m_pathText, m_repeated, gf_pluralS(m_repeated));
    }
  }

  DbaseTables& tables() { return m_tables; }
  int skipped() const { return m_skipped; }

 private:
  // Reads each element child of a table; a child of another name, or one the
  // reader rejects (returning the reason), is skipped with a log line.
  template <typename ReadRecord>
  void forRecords(const pugi::xml_node& table, std::string_view recordName, ReadRecord readRecord) {
    for (const pugi::xml_node element : table.children()) {
      if (element.type() != pugi::node_element) continue;
      std::string reason;
      if (std::string_view(element.name()) != recordName) {
        reason = fmt::format("expected <{}> in <{}>", recordName, table.name());
      } else {
        reason = readRecord(element);
      }
      if (!reason.empty()) skip(element, reason);
    }
  }

  void skip(const pugi::xml_node& element, std::string_view reason) {
    ++m_skipped;
    if (m_skipped <= kMaxSkipLines) {
      gf_logError("{}: <{}> at offset {} skipped: {}", m_pathText, element.name(), element.offset_debug(), reason);
    }
  }

  // Inserts into a hashed table; a repeated key keeps the first record.
  template <typename Table, typename Value>
  void insertFirst(Table& table, std::string key, Value value) {
    if (!table.try_emplace(std::move(key), std::move(value)).second) ++m_repeated;
  }

  static std::string badValue(std::string_view attribute, std::string_view value) {
    return fmt::format("bad {} '{}'", attribute, value);
  }

  std::string readRegistration(const pugi::xml_node& element) {
    const std::string_view code = element.attribute("code").value();
    if (!lf_isRegistration(code)) return badValue("code", code);
    DbaseRec record;
    for (const auto& [attribute, field] : {std::pair{"airl", &record.airl}, std::pair{"type", &record.type},
                                           std::pair{"opr", &record.opr}}) {
      const std::string_view value = element.attribute(attribute).value();
      if (!value.empty() && !lf_isPlainCode(value)) return badValue(attribute, value);
      *field = value;
    }
    record.cargo = gf_textToBool(element.attribute("cargo").value());
    insertFirst(m_tables.records, std::string(code), std::move(record));
    return {};
  }

  std::string readType(const pugi::xml_node& element) {
    const std::string_view icao = element.attribute("icao").value();
    if (!lf_isPlainCode(icao)) return badValue("icao", icao);

    const pugi::xml_attribute span = element.attribute("wingspan");
    double metres = 0.0;
    if (span) {
      if (!gf_parseDouble(span.value(), metres) || !(metres > 0.0) || metres > kMaxWingspanMetres) {
        return fmt::format("bad wingspan '{}' (metres, above 0 and at most {})", span.value(), kMaxWingspanMetres);
      }
    }
    std::vector<std::set<std::string>*> classSets;
    for (const std::string_view word : lf_words(element.attribute("class").value())) {
      if (word == "large") classSets.push_back(&m_tables.large);
      else if (word == "heavy") classSets.push_back(&m_tables.heavy);
      else if (word == "buzjet") classSets.push_back(&m_tables.buzjet);
      else if (word == "rotorcraft") classSets.push_back(&m_tables.rotorcraft);
      else if (word == "highperf") classSets.push_back(&m_tables.highPerf);
      else return fmt::format("unknown class '{}'", word);
    }

    std::string code(icao);
    if (!m_tables.types.insert(code).second) {
      ++m_repeated;
      return {};
    }
    for (std::set<std::string>* set : classSets) set->insert(code);
    if (span) m_tables.wingspans.emplace(code, metres * kMetresToNm);
    return {};
  }

  std::string readCode(const pugi::xml_node& element, const char* attribute, std::set<std::string>& into) {
    const std::string_view code = element.attribute(attribute).value();
    if (!lf_isPlainCode(code)) return badValue(attribute, code);
    into.emplace(code);
    return {};
  }

  std::string readTypeFix(const pugi::xml_node& element) {
    const std::string_view wrong = element.attribute("wrong").value();
    const std::string_view correct = element.attribute("correct").value();
    if (!lf_isPlainText(wrong) || wrong.empty()) return badValue("wrong", wrong);
    if (!lf_isPlainCode(correct)) return badValue("correct", correct);
    insertFirst(m_tables.typeFixes, std::string(wrong), std::string(correct));
    return {};
  }

  std::string readStockModel(const pugi::xml_node& element) {
    const std::string_view folder = element.attribute("folder").value();
    const std::string_view type = element.attribute("type").value();
    if (!lf_isPlainText(folder) || folder.empty()) return badValue("folder", folder);
    if (!lf_isPlainCode(type)) return badValue("type", type);
    insertFirst(m_tables.stockModels, std::string(folder), std::string(type));
    return {};
  }

  std::string readPublisherGroup(const pugi::xml_node& element) {
    std::vector<std::string> aliases;
    for (const pugi::xml_node alias : element.children()) {
      if (alias.type() != pugi::node_element) continue;
      if (std::string_view(alias.name()) != "alias") return fmt::format("expected <alias>, not <{}>", alias.name());
      const pugi::xml_attribute name = alias.attribute("name");
      if (!name) return "an <alias> without name";
      const std::string_view text = name.value();
      // The first alias is the canonical name, which names folders and files.
      if (aliases.empty() ? !lf_isPlainName(text) : !lf_isPlainText(text)) return badValue("alias name", text);
      aliases.emplace_back(text);
    }
    if (aliases.empty()) return "a group without aliases";
    m_tables.publishers.push_back(std::move(aliases));
    return {};
  }

  std::string readThirdParty(const pugi::xml_node& element, std::vector<ThirdPartyEntry>& into) {
    ThirdPartyEntry entry;
    entry.publisher = element.attribute("name").value();
    if (!lf_isPlainName(entry.publisher)) return badValue("name", entry.publisher);
    for (const std::string_view item : lf_words(element.attribute("items").value())) {
      if (item.size() > kMaxNameLength || std::any_of(item.begin(), item.end(), lf_isControl)) {
        return badValue("item", item);
      }
      entry.items.emplace_back(item);
    }
    into.push_back(std::move(entry));
    return {};
  }

  std::string readSimilarGroup(const pugi::xml_node& element) {
    std::vector<std::string> types;
    for (const std::string_view type : lf_words(element.attribute("types").value())) {
      if (!lf_isPlainCode(type)) return badValue("type", type);
      types.emplace_back(type);
    }
    if (types.empty()) return "a group without types";
    m_tables.similar.push_back(std::move(types));
    return {};
  }

  std::string m_pathText;
  DbaseTables m_tables;
  int m_skipped = 0;
  int m_repeated = 0;
};

SizeClass lf_categoryIn(const DbaseTables& tables, const std::string& type) {
  if (tables.large.contains(type)) return SizeClass::Large;
  if (tables.heavy.contains(type)) return SizeClass::Heavy;
  if (tables.buzjet.contains(type)) return SizeClass::Buzjets;
  if (tables.rotorcraft.contains(type)) return SizeClass::Rotorcraft;
  if (tables.highPerf.contains(type)) return SizeClass::HighPerf;
  return SizeClass::Light;
}

// The average half wingspan of each class over the types of that class (by
// the same test order as gf_aircraftCategory) that have a wingspan.
std::array<double, kSizeClassCount> lf_classHalfWingspans(const DbaseTables& tables) {
  std::array<double, kSizeClassCount> sums{};
  std::array<int, kSizeClassCount> counts{};
  for (const auto& [type, wingspanNm] : tables.wingspans) {
    const auto index = static_cast<std::size_t>(lf_categoryIn(tables, type));
    sums[index] += wingspanNm / 2.0;
    ++counts[index];
  }
  std::array<double, kSizeClassCount> result = lf_fallbackHalfWingspans();
  for (std::size_t i = 0; i < result.size(); ++i) {
    if (counts[i] > 0) result[i] = sums[i] / counts[i];
  }
  return result;
}

void lf_clearTables() {
  g_dbaseRecords.clear();
  g_dbaseTypes.clear();
  g_largeTypes.clear();
  g_heavyTypes.clear();
  g_buzjetTypes.clear();
  g_rotorcraftTypes.clear();
  g_highPerfTypes.clear();
  g_typeWingspans.clear();
  g_classHalfWingspans = lf_fallbackHalfWingspans();
  g_icaoAirlines.clear();
  g_typeFixes.clear();
  g_stockModelTypes.clear();
  g_publisherGroups.clear();
  g_publisherAliasesLower.clear();
  g_simaddon20Airports.clear();
  g_thirdParties = ThirdPartyLists{};
  g_similarTypeGroups.clear();
  g_shortRegcodes.clear();
}

void lf_installTables(DbaseTables&& tables) {
  g_classHalfWingspans = lf_classHalfWingspans(tables);
  g_dbaseRecords = std::move(tables.records);
  g_dbaseTypes = std::move(tables.types);
  g_largeTypes = std::move(tables.large);
  g_heavyTypes = std::move(tables.heavy);
  g_buzjetTypes = std::move(tables.buzjet);
  g_rotorcraftTypes = std::move(tables.rotorcraft);
  g_highPerfTypes = std::move(tables.highPerf);
  g_typeWingspans = std::move(tables.wingspans);
  g_icaoAirlines = std::move(tables.airlines);
  g_typeFixes = std::move(tables.typeFixes);
  g_stockModelTypes = std::move(tables.stockModels);
  g_publisherGroups = std::move(tables.publishers);
  g_simaddon20Airports = std::move(tables.simaddons);
  g_thirdParties = std::move(tables.thirdParties);
  g_similarTypeGroups = std::move(tables.similar);

  g_shortRegcodes.clear();
  for (const auto& entry : g_dbaseRecords) {
    if (entry.first.size() < kShortRegcodeLength) g_shortRegcodes.insert(entry.first);
  }
  g_publisherAliasesLower.clear();
  g_publisherAliasesLower.reserve(g_publisherGroups.size());
  for (const std::vector<std::string>& group : g_publisherGroups) {
    std::vector<std::string> lower;
    lower.reserve(group.size());
    for (const std::string& alias : group) lower.push_back(gf_toLower(alias));
    g_publisherAliasesLower.push_back(std::move(lower));
  }
}

[[noreturn]] void lf_throwDbaseError(const std::string& message) {
  throw qor::UserErrorException(kDbaseErrorCode, message);
}

}  // namespace

void gf_readDbase() {
  // Lock order: taken first; only the log mutex is taken while it is held.
  std::lock_guard lock(g_dbaseReadMutex);
  if (g_dbaseRead.load(std::memory_order_acquire)) return;

  const std::filesystem::path path = g_inputFolder / kDbaseFileName;
  const std::string pathText = path.string();
  lf_clearTables();

  pugi::xml_document document;
  std::string content;
  const FileReadResult read = gf_readUserFile(path, kDbaseMaxBytes, content);
  if (read.problem == FileProblem::missing) {
    lf_throwDbaseError(fmt::format("Reference database '{}' not found", pathText));
  } else if (!read) {
    lf_throwDbaseError(fmt::format("Reference database '{}' could not be read: {}", pathText, read.detail));
  }
  const pugi::xml_parse_result parsed = document.load_buffer(content.data(), content.size());
  if (!parsed) {
    lf_throwDbaseError(fmt::format("Reference database '{}' is not valid XML: {} at offset {}", pathText,
                                   parsed.description(), parsed.offset));
  }
  content = std::string();
  const pugi::xml_node root = document.document_element();
  if (std::string_view(root.name()) != "dbase") {
    lf_throwDbaseError(fmt::format("Reference database '{}' has the root <{}>, not <dbase>", pathText, root.name()));
  }

  try {
    DbaseReader reader(pathText);
    reader.readRoot(root);
    lf_installTables(std::move(reader.tables()));
  } catch (const std::exception& e) {
    lf_clearTables();
    lf_throwDbaseError(fmt::format("Reference database '{}' could not be read: {}", pathText, e.what()));
  }
  gf_logLine("{} registrations, {} types, {} airlines read from '{}'", g_dbaseRecords.size(), g_dbaseTypes.size(),
             g_icaoAirlines.size(), pathText);
  g_dbaseRead.store(true, std::memory_order_release);
}

void gf_resetDbaseForTests() {
  std::lock_guard lock(g_dbaseReadMutex);
  lf_clearTables();
  g_dbaseRead.store(false);
}

namespace {

// Calls visit with each spelling of a registration in turn (see
// lf_regcodeVariants) until it returns true. A registration is short enough
// for the text's own buffer, so this allocates nothing.
template <typename Visit>
void lf_visitRegcodeVariants(std::string_view registration, Visit&& visit) {
  if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string_view::npos) {
    std::string variant;
    for (const std::size_t split : {std::size_t{2}, std::size_t{1}}) {
      variant.assign(registration.substr(0, split)).append(1, '-').append(registration.substr(split));
      if (visit(std::string_view(variant))) return;
    }
  }
  visit(registration);
}

}  // namespace

std::vector<std::string> lf_regcodeVariants(std::string_view registration) {
  std::vector<std::string> variants;
  lf_visitRegcodeVariants(registration, [&](std::string_view variant) {
    variants.emplace_back(variant);
    return false;
  });
  return variants;
}

const DbaseRec* gf_findRegcode(std::string_view registration) {
  const DbaseRec* record = nullptr;
  lf_visitRegcodeVariants(registration, [&](std::string_view variant) {
    const auto found = g_dbaseRecords.find(variant);
    if (found == g_dbaseRecords.end()) return false;
    record = &found->second;
    return true;
  });
  return record;
}

std::string gf_findShortRegcodeIn(std::string_view text) {
  if (g_shortRegcodes.empty()) return {};
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const std::size_t longest = std::min(kShortRegcodeLength - 1, text.size() - pos);
    for (std::size_t length = longest; length > 0; --length) {
      const auto found = g_shortRegcodes.find(text.substr(pos, length));
      if (found != g_shortRegcodes.end()) return *found;
    }
  }
  return {};
}

bool gf_isIcaoAirline(const std::string& code) { return !code.empty() && g_icaoAirlines.contains(code); }

SizeClass gf_aircraftCategory(const std::string& type) {
  if (g_largeTypes.contains(type)) return SizeClass::Large;
  if (g_heavyTypes.contains(type)) return SizeClass::Heavy;
  if (g_buzjetTypes.contains(type)) return SizeClass::Buzjets;
  if (g_rotorcraftTypes.contains(type)) return SizeClass::Rotorcraft;
  if (g_highPerfTypes.contains(type)) return SizeClass::HighPerf;
  return SizeClass::Light;
}

double gf_halfWingspan(const std::string& type) {
  const auto found = g_typeWingspans.find(type);
  if (found != g_typeWingspans.end()) return found->second / 2.0;
  return g_classHalfWingspans[static_cast<std::size_t>(gf_aircraftCategory(type))];
}

std::string gf_findPublisher(std::string_view text) {
  for (const std::vector<std::string>& group : g_publisherGroups) {
    for (const std::string& alias : group) {
      if (text.find(alias) != std::string_view::npos) return group.front();
    }
  }
  const std::string lowerText = gf_toLower(text);
  for (std::size_t i = 0; i < g_publisherAliasesLower.size() && i < g_publisherGroups.size(); ++i) {
    for (const std::string& alias : g_publisherAliasesLower[i]) {
      if (lowerText.find(alias) != std::string::npos) return g_publisherGroups[i].front();
    }
  }
  return std::string(kUnknownPublisher);
}

const std::vector<ThirdPartyEntry>& gf_thirdPartiesFor(bool msfs2020) {
  return msfs2020 ? g_thirdParties.msfs2020 : g_thirdParties.msfs2024;
}

bool lf_checkNumberAfterPrefix(std::string_view publisher, std::string_view icao, int& count, std::string_view item) {
  // An empty ICAO names no airport; it would otherwise begin every item.
  if (icao.empty() || !item.starts_with(icao)) return false;
  // The count follows the code (the four characters of an ICAO code).
  const std::size_t after = icao.size();
  bool read = false;
  if (item.size() > after && item[after] >= '0' && item[after] <= '9') {
    int value = 0;
    const auto [end, ec] = std::from_chars(item.data() + after, item.data() + item.size(), value);
    (void)end;
    if (ec == std::errc{}) {
      count = value;
      read = true;
    }
  }
  if (!read) gf_logError("{} {} {} {}", publisher, icao, item, "invalid number");
  return true;
}
