// Text and number helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A copy without leading and trailing blanks, tabs, carriage returns and line feeds.
std::string gf_trim(std::string_view text);
// The pieces between delimiters, each trimmed; empty pieces stay ("a,,b" gives 3).
std::vector<std::string> gf_splitString(std::string_view text, char delimiter);
// When the text holds a blank, tab, CR or LF: split at commas, trim the pieces and
// join them again with commas; otherwise the text unchanged.
std::string gf_trimCommaList(std::string_view text);
// The text between the first two double quotes; the whole text when it has none;
// empty when the second quote is missing or nothing lies between.
std::string gf_quotedText(std::string_view text);

// ASCII letters only, whatever the C locale.
constexpr char gf_lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string gf_toUpper(std::string_view text);
std::string gf_toLower(std::string_view text);
// The number of characters of UTF-8 text (each byte that does not continue a
// sequence), not of its bytes.
std::size_t gf_utf8Length(std::string_view text);

// "" for 1 or a negative count, else "s".
std::string_view gf_pluralS(std::int32_t count);
std::string_view gf_pluralS64(std::int64_t count);

// "{:.1f}" when the value has a fractional part, else "{:.0f}".
std::string gf_floatToText(double value);
// a * 100 / b rounded to the nearest whole number; 0 when b is below 1.
std::int32_t gf_percent(std::int64_t a, std::int64_t b);
// The nearest choice of the traffic radius list (2 ... 100) for a number.
std::int32_t gf_roundPercentage(std::int32_t value);

// The numbers 0..47 of the set bits of a half-hour bitset, ascending, joined by ",".
std::string gf_bitset2hours(std::uint64_t bits);
// The reverse. An item that is not a number 0..47 is logged as the error line
// "{context} invalid hour '{item}' in {text}" and skipped. "" gives no bit.
std::uint64_t gf_hours2bitset(std::string_view text, std::string_view context);
// The same, handing each item it skips to invalidItem instead of logging it.
std::uint64_t gf_hours2bitset(std::string_view text, const std::function<void(std::string_view)>& invalidItem);

// Locale-independent number parsing of a whole trimmed text; false when the
// text is not exactly one number (or not finite).
bool gf_parseInt(std::string_view text, std::int64_t& value);
bool gf_parseDouble(std::string_view text, double& value);
