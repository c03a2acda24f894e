#include "airports/park_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <unordered_set>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/errors.h"
#include "app/hash.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/xml.h"

std::atomic<bool> g_apfHandmade{false};

namespace {

// Room reserved for the options of one stand while it is read.
constexpr std::size_t kOptionsReserved = 256;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// Appends an attribute; a failure (out of memory) ends the writing.
void lf_attribute(pugi::xml_node node, const char* name, const std::string& value) {
  pugi::xml_attribute attribute = node.append_attribute(name);
  if (!attribute || !attribute.set_value(value.c_str())) {
    throw std::runtime_error(fmt::format("could not append attribute {}", name));
  }
}

void lf_boolAttribute(pugi::xml_node node, const char* name, bool value) {
  if (!lf_setBoolAttribute(node, name, value)) {
    throw std::runtime_error(fmt::format("could not append attribute {}", name));
  }
}

void lf_parameter(pugi::xml_node parameters, std::string_view name, const std::string& value) {
  if (!gf_appendParameterNode(parameters, name, value)) {
    throw std::runtime_error(fmt::format("could not append parameter {}", name));
  }
}

// Position, heading, radius, kind and the manual mark of a stand.
void lf_writeFullStand(pugi::xml_node parkpos, const Stand& stand) {
  lf_attribute(parkpos, "latitude", fmt::format("{:.6f}", stand.latitude));
  lf_attribute(parkpos, "longitude", fmt::format("{:.6f}", stand.longitude));
  lf_attribute(parkpos, "heading", fmt::format("{:.1f}", gf_radToDeg(stand.heading)));
  lf_attribute(parkpos, "radius", fmt::format("{:.1f}", gf_nmToMetres(stand.radius)));
  if (stand.heli != 0) {
    lf_attribute(parkpos, "heli", "true");
  } else {
    lf_boolAttribute(parkpos, "cargo", stand.cargo != 0);
  }
  lf_boolAttribute(parkpos, "ramp", stand.ramp != 0);
  if (stand.manual != 0) lf_attribute(parkpos, "manual", "true");
}

// The options in play, in list order. A registration the reference database
// knows is written alone: the reader takes airline and type from the database.
void lf_writeOptions(pugi::xml_node parkpos, const Stand& stand) {
  for (const StandOption& option : stand.options) {
    if (option.id == 0) continue;
    pugi::xml_node opt = parkpos.append_child("opt");
    if (!opt) throw std::runtime_error("could not append opt");
    lf_attribute(opt, "reg", option.registration);
    if (option.registration.empty() || gf_findRegcode(option.registration) == nullptr) {
      lf_attribute(opt, "airl", option.airline);
      lf_attribute(opt, "type", option.type);
    }
    if (option.real == 0) lf_attribute(opt, "soft", "true");
    lf_attribute(opt, "day", fmt::format("{}", option.day));
    lf_attribute(opt, "hh", gf_bitset2hours(option.hours));
    if (!option.callsign.empty()) {
      lf_attribute(opt, "cs", option.callsign2.empty() ? option.callsign
                                                       : fmt::format("{}:{}", option.callsign, option.callsign2));
    }
  }
}

void lf_writeParkpos(pugi::xml_node parkpositions, const Stand& stand, ApfMode mode, bool handmade) {
  pugi::xml_node parkpos = parkpositions.append_child("parkpos");
  if (!parkpos) throw std::runtime_error("could not append parkpos");
  lf_attribute(parkpos, "id", stand.name);
  if (mode == ApfMode::generated) {
    lf_writeFullStand(parkpos, stand);
    return;
  }
  // A handmade file replaces the park file's stands when it is read, so every
  // stand of it needs its whole description; a stand written with only its
  // changed radius or cargo flag would be dropped (no position) on the next read.
  if (stand.manual != 0 || handmade) {
    lf_writeFullStand(parkpos, stand);
  } else if (stand.radiusChange != 0 || stand.cargoChange != 0 || !stand.refusedRadius.empty()) {
    if (stand.radiusChange != 0) {
      lf_attribute(parkpos, "radius_change", "true");
      lf_attribute(parkpos, "radius", fmt::format("{:.1f}", gf_nmToMetres(stand.radius)));
    } else if (!stand.refusedRadius.empty()) {
      lf_attribute(parkpos, "radius_change", "true");
      lf_attribute(parkpos, "radius", stand.refusedRadius);
    }
    if (stand.cargoChange != 0) {
      lf_attribute(parkpos, "cargo_change", "true");
      lf_boolAttribute(parkpos, "cargo", stand.cargo != 0);
    }
  }
  lf_writeOptions(parkpos, stand);
}

// The text of an attribute for a log line, cut when it is long.
std::string lf_shown(std::string_view text) {
  constexpr std::size_t kShown = 40;
  return text.size() <= kShown ? std::string(text) : fmt::format("{}...", text.substr(0, kShown));
}

// Reads a decimal attribute of a stand and checks |value| <= limit (or
// 0 <= value <= limit when nonNegative). False, with an error line naming the
// stand, when it is not a finite number within the limit.
bool lf_readStandValue(const pugi::xml_node& parkpos, const std::string& name, const char* attribute, double limit,
                       bool nonNegative, double& value) {
  value = 0.0;
  const bool parsed = gf_readApfDouble(parkpos, attribute, value);
  const bool inRange = parsed && std::abs(value) <= limit && !(nonNegative && value < 0.0);
  if (!inRange && ApfSkipLines::show()) {
    gf_logError("lf_readParkpos: stand {} skipped, invalid {} '{}'", name, attribute,
                lf_shown(parkpos.attribute(attribute).value()));
  }
  return inRange;
}

}  // namespace

bool lf_writeApfParameters(pugi::xml_node document, const ParkAirport& airport, ApfMode mode, bool handmade) {
  pugi::xml_node parameters = document.append_child("parameters");
  if (!parameters) return false;
  try {
    lf_parameter(parameters, "airport_name", airport.airportName);
    lf_parameter(parameters, "publisher", airport.publisher);
    if (handmade) lf_parameter(parameters, "handmade", "true");
    if (mode == ApfMode::generated || handmade) lf_parameter(parameters, "altitude", fmt::format("{}", airport.altitude));
    lf_parameter(parameters, "num_parkpos", fmt::format("{}", airport.stands.size()));
    if (handmade) {
      lf_parameter(parameters, "Qf_real", fmt::format("{}", airport.qfReal));
      lf_parameter(parameters, "Qf_soft", fmt::format("{}", airport.qfSoft));
    }
    if (airport.publisher == kUnknownPublisher) {
      lf_parameter(parameters, "BGLpath", airport.bglPath);
      lf_parameter(parameters, "manufacturer", airport.manufacturer);
      lf_parameter(parameters, "creator", airport.creator);
    }
    if (mode == ApfMode::learned) {
      lf_parameter(parameters, kApfSettingNames[0], fmt::format("{}", prm::RANGE.value()));
      lf_parameter(parameters, kApfSettingNames[1], lf_boolText(prm::AUTO_RANGE.value()));
      lf_parameter(parameters, kApfSettingNames[2], lf_boolText(prm::WEEK.value()));
      lf_parameter(parameters, kApfSettingNames[3], lf_boolText(prm::PARK_FAKE.value()));
      lf_parameter(parameters, kApfSettingNames[4], lf_boolText(prm::PARK_SOFT.value()));
      lf_parameter(parameters, kApfSettingNames[5], fmt::format("{}", prm::parking_percentage.value()));
      lf_parameter(parameters, kApfSettingNames[6], lf_boolText(prm::INITIAL_LOAD_ONLY.value()));
      lf_parameter(parameters, kApfSettingNames[7], fmt::format("{}", prm::MAX_FIT.value()));
      const std::int32_t maxLive = prm::MAX_LIVE_SEL.value();
      if (maxLive != kApfDefaultMaxLive) lf_parameter(parameters, kApfSettingNames[8], fmt::format("{}", maxLive));
      lf_parameter(parameters, kApfSettingNames[9], lf_boolText(prm::LEARN_SOFT.value()));
    }
  } catch (const std::exception& e) {
    gf_logError("lf_writeApfParameters: {}", e.what());
    return false;
  }
  return true;
}

bool gf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, ApfMode mode) {
  // One reading of the flag, so the parameters and the stands agree.
  return gf_writeApf(airport, path, mode, g_apfHandmade.load());
}

namespace {

bool lf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, const std::filesystem::path& shownPath,
                 ApfMode mode, bool handmadeFlag) {
  try {
    const bool handmade = mode == ApfMode::learned && handmadeFlag;
    pugi::xml_document document;
    if (gf_writeMetaInfo(document) == 0) {
      gf_logError("gf_writeApf: could not write the meta block of '{}'", shownPath.string());
      return false;
    }
    if (!lf_writeApfParameters(document, airport, mode, handmade)) {
      gf_logError("gf_writeApf: could not write the parameters of '{}'", shownPath.string());
      return false;
    }
    pugi::xml_node parkpositions = document.append_child("parkpositions");
    if (!parkpositions) throw std::runtime_error("could not append parkpositions");
    for (const Stand& stand : airport.stands) lf_writeParkpos(parkpositions, stand, mode, handmade);
    if (mode == ApfMode::learned) {
      for (const std::string& kept : airport.keptStands) {
        if (!parkpositions.append_buffer(kept.data(), kept.size())) throw std::runtime_error("could not append a kept stand");
      }
    }
    return gf_saveXml(document, path, shownPath);
  } catch (const std::exception& e) {
    gf_logError("gf_writeApf: {}", e.what());
    return false;
  }
}

}  // namespace

bool gf_writeApf(const ParkAirport& airport, const std::filesystem::path& path, ApfMode mode, bool handmadeFlag) {
  return lf_writeApf(airport, path, path, mode, handmadeFlag);
}

bool gf_writeGeneratedApf(const ParkAirport& airport, const std::filesystem::path& path,
                          const std::filesystem::path& shownPath) {
  return lf_writeApf(airport, path, shownPath, ApfMode::generated, false);
}

namespace {
thread_local ApfSkipLines* t_skipLines = nullptr;
}  // namespace

ApfSkipLines::ApfSkipLines(std::string pathText) : m_path(std::move(pathText)), m_outer(t_skipLines) {
  t_skipLines = this;
}

ApfSkipLines::~ApfSkipLines() {
  t_skipLines = m_outer;
  if (m_dropped > 0) gf_logError("{}: {} more lines about skipped stands and values are not shown", m_path, m_dropped);
}

bool ApfSkipLines::show() {
  ApfSkipLines* lines = t_skipLines;
  if (lines == nullptr) return true;
  if (lines->m_shown < kApfSkipLinesShown) {
    ++lines->m_shown;
    return true;
  }
  ++lines->m_dropped;
  return false;
}

std::string gf_standLimitReason() {
  return fmt::format("the airport has more than {} stands, and those beyond them would be lost", kApfMaxStands);
}

bool gf_loadApfDocument(const std::filesystem::path& path, pugi::xml_document& document, std::string& error) {
  const FileReadResult loaded = gf_loadXmlFile(path, kApfMaxFileBytes, document);
  error = loaded.detail;
  return static_cast<bool>(loaded);
}

namespace {

// Where the stand elements of a park file of the plain form lie in its text.
struct PlainLayout {
  std::size_t contentBegin = 0;  // of the first top-level "parkpositions"; both 0 without one
  std::size_t contentEnd = 0;
  std::vector<std::pair<std::size_t, std::size_t>> parkpos;  // [begin, end) of each "parkpos" child
};

bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool lf_isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; }
bool lf_isNameChar(char c) { return lf_isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

enum class PlainScan { plain, other, stopped };

// Scans the text for the plain form the program writes: UTF-8 without an
// "encoding" declaration, elements with quoted attributes, text, comments;
// no NUL, CDATA, document type, processing instruction or text outside the
// elements. A text of this form parses to the same elements whole or element
// by element. Other for anything else (including what is not well formed):
// such a file is left to the XML library whole.
PlainScan lf_scanPlainApf(std::string_view text, PlainLayout& layout) {
  if (text.find('\0') != std::string_view::npos) return PlainScan::other;
  std::size_t i = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  if (text.substr(i, 5) == "<?xml" && i + 5 < text.size() && lf_isBlank(text[i + 5])) {
    const std::size_t end = text.find("?>", i);
    if (end == std::string_view::npos || text.substr(i, end - i).find("encoding") != std::string_view::npos) return PlainScan::other;
    i = end + 2;
  }
  const auto name = [&](std::size_t at) -> std::string_view {
    if (at >= text.size() || !lf_isNameStart(text[at])) return {};
    std::size_t end = at + 1;
    while (end < text.size() && lf_isNameChar(text[end])) ++end;
    return text.substr(at, end - at);
  };
  const auto skipBlanks = [&](std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && lf_isBlank(text[at])) ++at;
    return at > start;
  };
  std::vector<std::string_view> open;
  bool firstParkpositions = false;  // seen
  bool inFirstParkpositions = false;
  std::size_t elements = 0;
  std::size_t standBegin = 0;
  std::size_t steps = 0;
  while (i < text.size()) {
    // A close does not wait for the scan of a large file.
    if ((++steps & 0x3FFF) == 0 && g_stopRun.load()) return PlainScan::stopped;
    if (text[i] != '<') {
      const std::size_t next = std::min(text.find('<', i), text.size());
      if (open.empty()) {
        for (std::size_t k = i; k < next; ++k)
          if (!lf_isBlank(text[k])) return PlainScan::other;
      }
      i = next;
      continue;
    }
    if (text.substr(i, 4) == "<!--") {
      const std::size_t end = text.find("-->", i + 4);
      if (end == std::string_view::npos) return PlainScan::other;
      i = end + 3;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '/') {
      const std::string_view closing = name(i + 2);
      if (closing.empty() || open.empty() || closing != open.back()) return PlainScan::other;
      std::size_t at = i + 2 + closing.size();
      skipBlanks(at);
      if (at >= text.size() || text[at] != '>') return PlainScan::other;
      open.pop_back();
      if (inFirstParkpositions && open.size() == 1 && closing == "parkpos") layout.parkpos.emplace_back(standBegin, at + 1);
      if (inFirstParkpositions && open.empty()) {
        layout.contentEnd = i;
        inFirstParkpositions = false;
      }
      i = at + 1;
      continue;
    }
    const std::string_view element = name(i + 1);
    if (element.empty()) return PlainScan::other;  // also "<!", "<?" and a lone "<"
    std::size_t at = i + 1 + element.size();
    bool closed = false;
    while (true) {
      const bool blank = skipBlanks(at);
      if (at >= text.size()) return PlainScan::other;
      if (text[at] == '>') break;
      if (text[at] == '/') {
        if (at + 1 >= text.size() || text[at + 1] != '>') return PlainScan::other;
        closed = true;
        ++at;
        break;
      }
      const std::string_view attribute = name(at);
      if (!blank || attribute.empty()) return PlainScan::other;
      at += attribute.size();
      skipBlanks(at);
      if (at >= text.size() || text[at] != '=') return PlainScan::other;
      ++at;
      skipBlanks(at);
      if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return PlainScan::other;
      const std::size_t end = text.find(text[at], at + 1);
      if (end == std::string_view::npos || text.substr(at + 1, end - at - 1).find('<') != std::string_view::npos) {
        return PlainScan::other;
      }
      at = end + 1;
    }
    ++elements;
    if (open.empty() && element == "parkpositions" && !firstParkpositions) {
      firstParkpositions = true;
      if (!closed) {
        inFirstParkpositions = true;
        layout.contentBegin = at + 1;
      }
    } else if (inFirstParkpositions && open.size() == 1 && element == "parkpos") {
      if (closed) {
        layout.parkpos.emplace_back(i, at + 1);
      } else {
        standBegin = i;
      }
    }
    if (!closed) open.push_back(element);
    i = at + 1;
  }
  return open.empty() && elements > 0 ? PlainScan::plain : PlainScan::other;
}

}  // namespace

bool ApfDocument::load(const std::filesystem::path& path, std::string& error) {
  m_head.reset();
  m_whole.clear();
  m_blocks.clear();
  m_parkpos.clear();
  m_streamed = false;
  m_visited = false;
  m_stopped = false;
  const auto stopped = [&] {
    m_stopped = g_stopRun.load();
    if (m_stopped) {
      m_head.reset();
      m_blocks.clear();
      error = "abandoned for the close";
    }
    return m_stopped;
  };
  std::string text;
  const FileReadResult read = gf_readUserFile(path, kApfMaxFileBytes, text);
  if (!read) {
    error = read.detail;
    return false;
  }
  if (stopped()) return false;
  PlainLayout layout;
  const PlainScan form = lf_scanPlainApf(text, layout);
  if (form == PlainScan::stopped || stopped()) return false;
  if (form == PlainScan::plain) {
    std::string head = text.substr(0, layout.contentBegin);
    head.append(text, layout.contentEnd);
    if (m_head.load_buffer(head.data(), head.size())) {
      for (std::size_t at = 0; at < text.size(); at += kBlockBytes) {
        if (stopped()) return false;
        const std::size_t size = std::min(kBlockBytes, text.size() - at);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        std::memcpy(m_blocks.back().get(), text.data() + at, size);
      }
      m_parkpos = std::move(layout.parkpos);
      m_streamed = true;
      error.clear();
      return true;
    }
  }
  // Any other file is read whole by the XML library, which also describes
  // what is wrong with it; in place, so that the text is not held twice.
  if (text.size() > kApfMaxTreeFileBytes) {
    error = fmt::format("it has {} bytes and is not of the plain form, which is read only up to {} bytes", text.size(),
                        kApfMaxTreeFileBytes);
    return false;
  }
  m_whole = std::move(text);
  pugi::xml_parse_result parsed;
  if (m_whole.find('\0') != std::string::npos || m_whole.starts_with("\xFE\xFF") || m_whole.starts_with("\xFF\xFE")) {
    // A text of two or four bytes a character is converted into a new
    // buffer anyway.
    parsed = m_head.load_buffer(m_whole.data(), m_whole.size());
    m_whole.clear();
  } else {
    // Ended by a zero, as the library ends its own copy: the same document
    // and the same error offsets.
    m_whole.push_back('\0');
    parsed = m_head.load_buffer_inplace(m_whole.data(), m_whole.size());
  }
  if (!parsed) {
    m_head.reset();
    m_whole.clear();
    error = fmt::format("{} at offset {}", parsed.description(), parsed.offset);
    return false;
  }
  error.clear();
  return !stopped();
}

const char* ApfDocument::text(std::size_t begin, std::size_t end, std::string& joined) const {
  const std::size_t first = begin / kBlockBytes;
  const std::size_t last = (end - 1) / kBlockBytes;
  if (first == last) return m_blocks[first].get() + begin % kBlockBytes;
  joined.clear();
  for (std::size_t block = first; block <= last; ++block) {
    const std::size_t from = block == first ? begin % kBlockBytes : 0;
    const std::size_t to = block == last ? (end - 1) % kBlockBytes + 1 : kBlockBytes;
    joined.append(m_blocks[block].get() + from, to - from);
  }
  return joined.data();
}

void ApfDocument::forEachParkpos(const std::function<bool(const pugi::xml_node&)>& visit) {
  if (m_visited) return;
  m_visited = true;
  if (!m_streamed) {
    for (const pugi::xml_node parkpos : m_head.child("parkpositions").children("parkpos"))
      if (g_stopRun.load() || !visit(parkpos)) return;
    return;
  }
  pugi::xml_document element;
  std::string joined;
  std::size_t freed = 0;  // the blocks before this one are freed
  for (const auto& [begin, end] : m_parkpos) {
    const pugi::xml_parse_result parsed = element.load_buffer(text(begin, end, joined), end - begin);
    if (!parsed) {
      throw std::runtime_error(fmt::format("stand element at offset {} not read: {}", begin, parsed.description()));
    }
    for (; freed < end / kBlockBytes; ++freed) m_blocks[freed].reset();
    if (g_stopRun.load() || !visit(element.first_child())) break;
  }
  m_blocks.clear();
}

namespace {

// Whether the number text (decimal, or hexadecimal without its "0x") is
// below 1 in size: its first non-zero digit lies after the point, shifted by
// its exponent. Only asked of numbers that do not fit a double, which are
// either far below 1 or far above it.
bool lf_belowOne(std::string_view number, std::chars_format format) {
  const bool hex = format == std::chars_format::hex;
  const std::size_t exponentAt = number.find_first_of(hex ? "pP" : "eE");
  const std::string_view mantissa = number.substr(0, exponentAt);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return true;
  // The place of the first digit: 0 for the ones, -1 for the first after the point.
  std::int64_t place = first < point ? static_cast<std::int64_t>(point - first - 1)
                                     : -static_cast<std::int64_t>(first - point);
  if (hex) place *= 4;
  std::int64_t exponent = 0;
  if (exponentAt != std::string_view::npos) {
    std::string_view digits = number.substr(exponentAt + 1);
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    for (const char c : digits) {
      if (c < '0' || c > '9') break;
      exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), std::int64_t{1} << 40);
    }
    if (negative) exponent = -exponent;
  }
  return place + exponent < 0;
}

}  // namespace

bool gf_readApfDouble(const pugi::xml_node& element, const char* attribute, double& value) {
  // As C strtod reads it, but whatever the C locale: leading white space and
  // a "+" skipped, the leading number taken (decimal, or hexadecimal after
  // "0x"), trailing text ignored ("20m" is 20); no number at all gives 0.
  std::string_view text = element.attribute(attribute).value();
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text = {};  // a second sign: no number
  }
  std::chars_format format = std::chars_format::general;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    format = std::chars_format::hex;
    text.remove_prefix(2);
  }
  double number = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, format);
  if (end == text.data()) number = 0.0;
  if (error == std::errc::result_out_of_range) {
    // Too small for a double is 0, as strtod gives it; too large is refused.
    if (!lf_belowOne(text.substr(0, static_cast<std::size_t>(end - text.data())), format)) return false;
    number = 0.0;
  }
  if (!std::isfinite(number)) return false;
  value = negative ? -number : number;
  return true;
}

namespace {

// The attributes an "opt" element is read from, each the first of its name
// (as the XML library's lookup by name finds it), taken in one pass over the
// element's attributes; absent ones are empty.
struct OptAttributes {
  pugi::xml_attribute reg;
  pugi::xml_attribute airl;
  pugi::xml_attribute type;
  pugi::xml_attribute cs;
  pugi::xml_attribute hh;
  pugi::xml_attribute day;
  pugi::xml_attribute soft;
};

// Keeps the attribute when its name is wanted and none of that name came before.
void lf_takeIfNamed(const pugi::xml_attribute& attribute, const char* name, const char* wanted,
                    pugi::xml_attribute& slot) {
  if (!slot && std::strcmp(name, wanted) == 0) slot = attribute;
}

OptAttributes lf_optAttributes(const pugi::xml_node& opt) {
  OptAttributes found;
  for (pugi::xml_attribute attribute = opt.first_attribute(); attribute; attribute = attribute.next_attribute()) {
    const char* name = attribute.name();
    switch (name[0]) {
      case 'r': lf_takeIfNamed(attribute, name, "reg", found.reg); break;
      case 'a': lf_takeIfNamed(attribute, name, "airl", found.airl); break;
      case 't': lf_takeIfNamed(attribute, name, "type", found.type); break;
      case 'c': lf_takeIfNamed(attribute, name, "cs", found.cs); break;
      case 'h': lf_takeIfNamed(attribute, name, "hh", found.hh); break;
      case 'd': lf_takeIfNamed(attribute, name, "day", found.day); break;
      case 's': lf_takeIfNamed(attribute, name, "soft", found.soft); break;
      default: break;
    }
  }
  return found;
}

// The callsigns, airline and type of an option (see gf_readOptElement).
void lf_optionTexts(const OptAttributes& attributes, std::string& callsign, std::string& callsign2,
                    std::string& airline, std::string& type) {
  const std::string_view cs = attributes.cs.value();
  const std::size_t colon = cs.find(':');
  if (colon == std::string_view::npos) {
    callsign.assign(cs);
    callsign2.clear();
  } else {
    callsign.assign(cs.substr(0, colon));
    callsign2.assign(cs.substr(colon + 1));
  }
  const std::string_view registration = attributes.reg.value();
  const DbaseRec* record = registration.empty() ? nullptr : gf_findRegcode(registration);
  if (record != nullptr) {
    type = record->type;
    airline = record->opr.empty() ? record->airl : record->opr;
  } else {
    airline = attributes.airl.value();
    type = attributes.type.value();
  }
}

// The half hours of a plain "hh" text (numbers 0..47 of digits only,
// separated by single commas, as the writer makes them), which is the bit set
// gf_hours2bitset gives for it; nothing for any other text.
std::optional<std::uint64_t> lf_plainHours(std::string_view text) {
  if (text.empty()) return 0;
  std::uint64_t bits = 0;
  std::uint32_t hour = 0;
  bool digits = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      hour = hour * 10 + static_cast<std::uint32_t>(c - '0');
      if (hour >= kSlotsPerDay) return std::nullopt;
      digits = true;
    } else if (c == ',' && digits) {
      bits |= std::uint64_t{1} << hour;
      hour = 0;
      digits = false;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  return bits | std::uint64_t{1} << hour;
}

}  // namespace

void gf_readOptElement(const pugi::xml_node& opt, std::string_view standName, StandOption& option) {
  const OptAttributes attributes = lf_optAttributes(opt);
  lf_optionTexts(attributes, option.callsign, option.callsign2, option.airline, option.type);
  option.registration = attributes.reg.value();
  const std::string_view hours = attributes.hh.value();
  const std::optional<std::uint64_t> plain = lf_plainHours(hours);
  option.hours = (plain ? *plain : gf_hours2bitset(hours, [&](std::string_view item) {
                   if (ApfSkipLines::show())
                     gf_logError("stand {}: invalid hour '{}' in {}", lf_shown(standName), lf_shown(item), lf_shown(hours));
                 })) & kHalfHourBitsMask;
  // The XML library's unsigned reading: leading digits, trailing text
  // ignored, 0 when absent or not a number. A day outside 1..7 is kept as it
  // is (the file is written back with it); it matches no weekday.
  option.day = attributes.day.as_uint();
  option.real = gf_textToBool(attributes.soft.value()) ? 0 : 1;
}

bool lf_readParkpos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t origin,
                    std::vector<Stand>& stands) {
  // Position first: a stand at 0/0 is a placeholder and is skipped silently.
  double latitude = 0.0;
  double longitude = 0.0;
  const bool latitudeRead = gf_readApfDouble(parkpos, "latitude", latitude);
  const bool longitudeRead = gf_readApfDouble(parkpos, "longitude", longitude);
  if (latitudeRead && longitudeRead && latitude == 0.0 && longitude == 0.0) return false;
  double radiusMetres = 0.0;
  double headingDegrees = 0.0;
  if (!lf_readStandValue(parkpos, name, "latitude", kApfMaxLatitude, false, latitude) ||
      !lf_readStandValue(parkpos, name, "longitude", kApfMaxLongitude, false, longitude) ||
      !lf_readStandValue(parkpos, name, "radius", kApfMaxRadiusMetres, true, radiusMetres) ||
      !lf_readStandValue(parkpos, name, "heading", std::numeric_limits<double>::max(), false, headingDegrees)) {
    return false;
  }

  std::vector<StandOption> options;
  options.reserve(kOptionsReserved);
  std::uint32_t nextId = 1;
  for (const pugi::xml_node& opt : parkpos.children("opt")) {
    StandOption option;
    gf_readOptElement(opt, name, option);
    option.id = nextId++;
    option.origin = origin;
    options.push_back(std::move(option));
  }
  options.shrink_to_fit();

  const bool heli = gf_textToBool(parkpos.attribute("heli").value());
  const bool ramp = gf_textToBool(parkpos.attribute("ramp").value());
  const bool cargo = gf_textToBool(parkpos.attribute("cargo").value());
  stands.emplace_back(name, std::move(options), StandPosition{latitude, longitude, gf_degToRad(headingDegrees)},
                      radiusMetres, cargo ? 0 : 1, ramp ? 0 : 1, heli ? 0 : 1);
  return true;
}

namespace {

// The stand reader over the "parkpos" elements that forEach hands to it.
// True when elements that would have been read or kept were left out.
bool lf_readStands(const std::function<void(const std::function<bool(const pugi::xml_node&)>&)>& forEach,
                   std::vector<Stand>& stands, DuplicateStand duplicate, std::vector<std::string>* kept) {
  constexpr std::size_t kStandIdsReserved = 512;
  std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> ids;
  ids.reserve(kStandIdsReserved);
  bool cut = false;
  std::size_t skipped = 0;
  // An element that is not read: kept when the file is written back, else
  // skipped; past the limit of either the rest of the file is not read.
  const auto notRead = [&](const pugi::xml_node& parkpos, const std::string& id) {
    if (kept != nullptr ? kept->size() < kApfMaxSkippedStands : ++skipped <= kApfMaxSkippedStands) {
      if (kept != nullptr) kept->push_back(gf_apfElementText(parkpos));
      return true;
    }
    gf_logError("gf_readApfStands: more than {} stands skipped, stand {} and the stands after it are not read",
                kApfMaxSkippedStands, lf_shown(id));
    cut = true;
    return false;
  };
  forEach([&](const pugi::xml_node& parkpos) {
    const std::string id = parkpos.attribute("id").value();
    if (!ids.insert(id).second) {
      if (duplicate == DuplicateStand::refuse)
        throw qor::UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
      if (ApfSkipLines::show()) gf_logError("Parking position {} appears more than once? (skipped)", lf_shown(id));
      return notRead(parkpos, id);
    }
    if (stands.size() < kApfMaxStands) return lf_readParkpos(parkpos, id, 1, stands) || notRead(parkpos, id);
    // Past the limit only a stand that would be read is left out; one that
    // is skipped anyway (a placeholder at 0/0, refused values) is not.
    std::vector<Stand> probe;
    if (!lf_readParkpos(parkpos, id, 1, probe)) return notRead(parkpos, id);
    gf_logError("gf_readApfStands: more than {} stands, stand {} and the stands after it are ignored", kApfMaxStands,
                lf_shown(id));
    cut = true;
    return false;
  });
  return cut;
}

}  // namespace

bool gf_readApfStands(const pugi::xml_node& document, std::vector<Stand>& stands, DuplicateStand duplicate) {
  return lf_readStands(
      [&](const std::function<bool(const pugi::xml_node&)>& visit) {
        for (const pugi::xml_node parkpos : document.child("parkpositions").children("parkpos"))
          if (!visit(parkpos)) return;
      },
      stands, duplicate, nullptr);
}

bool gf_readApfStands(ApfDocument& document, std::vector<Stand>& stands, DuplicateStand duplicate,
                      std::vector<std::string>* kept) {
  return lf_readStands(
      [&](const std::function<bool(const pugi::xml_node&)>& visit) { document.forEachParkpos(visit); }, stands,
      duplicate, kept);
}

std::string gf_apfElementText(const pugi::xml_node& element) {
  std::ostringstream text;
  element.print(text, "", pugi::format_raw);
  return std::move(text).str();
}

std::vector<Stand> gf_readApfStands(const pugi::xml_node& document) {
  std::vector<Stand> stands;
  gf_readApfStands(document, stands, DuplicateStand::refuse);
  return stands;
}

std::pair<std::int32_t, std::int32_t> gf_readApfQualityFactors(const pugi::xml_node& document) {
  const auto factor = [&](std::string_view name) {
    bool found = false;
    const std::int32_t value = gf_getParamInt(document, name, found);
    return found ? value : -1;
  };
  return {factor("Qf_real"), factor("Qf_soft")};
}

std::string gf_formatQualityFactors(const std::pair<std::int32_t, std::int32_t>& factors) {
  const auto [real, soft] = factors;
  if (real < 0 && soft < 0) return "  ";
  if (real < 45) return fmt::format("{:2}/{:2}", real, soft);
  return fmt::format("{:2}", real);
}
