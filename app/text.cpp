#include "app/text.h"

#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "app/log.h"

namespace {
constexpr std::string_view kBlanks = " \t\r\n";

// The text without leading and trailing blanks, as a view into it.
std::string_view lf_trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}
}  // namespace

std::string gf_trim(std::string_view text) { return std::string(lf_trimmed(text)); }

std::vector<std::string> gf_splitString(std::string_view text, char delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (true) {
    const auto pos = text.find(delimiter, start);
    if (pos == std::string_view::npos) {
      pieces.push_back(gf_trim(text.substr(start)));
      break;
    }
    pieces.push_back(gf_trim(text.substr(start, pos - start)));
    start = pos + 1;
  }
  return pieces;
}

std::string gf_trimCommaList(std::string_view text) {
  if (text.find_first_of(kBlanks) == std::string_view::npos) return std::string(text);
  std::string joined;
  bool first = true;
  for (const auto& piece : gf_splitString(text, ',')) {
    if (!first) joined.push_back(',');
    joined += piece;
    first = false;
  }
  return joined;
}

std::string gf_quotedText(std::string_view text) {
  const auto open = text.find('"');
  if (open == std::string_view::npos) return std::string(text);
  const auto close = text.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

std::string gf_toUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::size_t gf_utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

std::string gf_toLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = gf_lowerAscii(c);
  return out;
}

std::string_view gf_pluralS(std::int32_t count) { return count == 1 || count < 0 ? "" : "s"; }
std::string_view gf_pluralS64(std::int64_t count) { return count == 1 || count < 0 ? "" : "s"; }

std::string gf_floatToText(double value) {
  if (std::isfinite(value) && value != std::trunc(value)) return fmt::format("{:.1f}", value);
  return fmt::format("{:.0f}", value);
}

std::int32_t gf_percent(std::int64_t a, std::int64_t b) {
  if (b < 1) return 0;
  return static_cast<std::int32_t>(std::llround(static_cast<double>(a) * 100.0 / static_cast<double>(b)));
}

std::int32_t gf_roundPercentage(std::int32_t v) {
  if (v < 3) return 2;
  if (v <= 6) return v;
  struct Band { std::int32_t upTo, choice; };
  static constexpr Band kBands[] = {{8, 8},   {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},
                                    {22, 20}, {27, 25}, {32, 30}, {37, 35}, {44, 40}, {56, 50},
                                    {72, 65}, {89, 80}};
  for (const auto& band : kBands)
    if (v <= band.upTo) return band.choice;
  return 100;
}

std::string gf_bitset2hours(std::uint64_t bits) {
  std::string out;
  for (int s = 0; s < 48; ++s) {
    if ((bits >> s) & 1u) {
      if (!out.empty()) out.push_back(',');
      out += std::to_string(s);
    }
  }
  return out;
}

std::uint64_t gf_hours2bitset(std::string_view text, std::string_view context) {
  return gf_hours2bitset(text, [&](std::string_view item) { gf_logError("{} invalid hour '{}' in {}", context, item, text); });
}

std::uint64_t gf_hours2bitset(std::string_view text, const std::function<void(std::string_view)>& invalidItem) {
  // Read piece by piece in place: park files hold one such list per option.
  std::uint64_t bits = 0;
  if (lf_trimmed(text).empty()) return 0;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = lf_trimmed(text.substr(start, comma - start));  // to the end without a comma
    std::int64_t hour = -1;
    if (!gf_parseInt(item, hour) || hour < 0 || hour > 47) {
      invalidItem(item);
    } else {
      bits |= std::uint64_t{1} << hour;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return bits;
}

bool gf_parseInt(std::string_view text, std::int64_t& value) {
  const std::string_view t = lf_trimmed(text);
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+' && ++begin != t.data() + t.size() && *begin == '-') return false;
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size()) return false;
  value = v;
  return true;
}

bool gf_parseDouble(std::string_view text, double& value) {
  const std::string t = gf_trim(text);
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+' && ++begin != t.data() + t.size() && *begin == '-') return false;
  double v = 0;
  auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}
