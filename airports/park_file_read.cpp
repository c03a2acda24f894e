// Reading park files (and learned files) element by element: one stand,
// its options, the stand list of a document, and the bounds of what one read
// logs and skips.
#include "airports/park_file.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <unordered_set>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/errors.h"
#include "app/hash.h"
#include "app/log.h"
#include "app/text.h"
#include "app/xml.h"

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

namespace {

// Room reserved for the options of one stand while it is read.
constexpr std::size_t kOptionsReserved = 256;

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
  ApfStandsNotRead notRead("gf_readApfStands", kept);
  forEach([&](const pugi::xml_node& parkpos) {
    const std::string id = parkpos.attribute("id").value();
    if (!ids.insert(id).second) {
      if (duplicate == DuplicateStand::refuse)
        throw qor::UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
      if (ApfSkipLines::show()) gf_logError("Parking position {} appears more than once? (skipped)", lf_shown(id));
      return notRead.take(parkpos, id);
    }
    if (stands.size() >= kApfMaxStands) return notRead.pastStandLimit(parkpos, id, 1);
    return lf_readParkpos(parkpos, id, 1, stands) || notRead.take(parkpos, id);
  });
  return notRead.cut();
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

ApfStandsNotRead::ApfStandsNotRead(std::string source, std::vector<std::string>* kept)
    : m_source(std::move(source)), m_kept(kept) {}

bool ApfStandsNotRead::take(const pugi::xml_node& parkpos, std::string_view id) {
  if (m_taken < kApfMaxSkippedStands) {
    ++m_taken;
    if (m_kept != nullptr) m_kept->push_back(gf_apfElementText(parkpos));
    return true;
  }
  gf_logError("{}: more than {} stands not read, stand {} and the stands after it are not read", m_source,
              kApfMaxSkippedStands, lf_shown(id));
  m_cut = true;
  return false;
}

bool ApfStandsNotRead::pastStandLimit(const pugi::xml_node& parkpos, const std::string& id, std::uint32_t origin,
                                      bool endsRead) {
  // Read on trial into a list of its own, which is dropped.
  std::vector<Stand> trial;
  if (!lf_readParkpos(parkpos, id, origin, trial)) return take(parkpos, id);
  gf_logError("{}: more than {} stands, stand {}{} ignored", m_source, kApfMaxStands, lf_shown(id),
              endsRead ? " and the stands after it are" : " is");
  m_cut = true;
  return !endsRead;
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
