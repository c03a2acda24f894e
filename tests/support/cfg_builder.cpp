#include "support/cfg_builder.h"

#include <array>
#include <cstdint>

#include "support/workdir.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// Decodes UTF-8 into code points; a broken sequence gives U+FFFD.
std::vector<char32_t> decodeUtf8(const std::string& text) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > text.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

void appendUtf16(std::string& out, char16_t unit, bool bigEndian) {
  const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
  out.push_back(bigEndian ? hi : lo);
  out.push_back(bigEndian ? lo : hi);
}

// Windows-1252 bytes 0x80..0x9F (0 where the code page has no character).
constexpr std::array<char32_t, 32> kCp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t k = 0; k < kCp1252High.size(); ++k)
    if (kCp1252High[k] == cp && cp != 0) return static_cast<char>(0x80 + k);
  return '?';
}

}  // namespace

std::string encodeText(const std::string& utf8, CfgEncoding encoding) {
  switch (encoding) {
    case CfgEncoding::Utf8:
      return utf8;
    case CfgEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + utf8;
    case CfgEncoding::Utf16Le:
    case CfgEncoding::Utf16Be: {
      const bool big = encoding == CfgEncoding::Utf16Be;
      std::string out;
      appendUtf16(out, 0xFEFF, big);
      for (char32_t cp : decodeUtf8(utf8)) {
        if (cp >= 0x10000) {
          cp -= 0x10000;
          appendUtf16(out, static_cast<char16_t>(0xD800 + (cp >> 10)), big);
          appendUtf16(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)), big);
        } else {
          appendUtf16(out, static_cast<char16_t>(cp), big);
        }
      }
      return out;
    }
    case CfgEncoding::Ansi: {
      std::string out;
      for (char32_t cp : decodeUtf8(utf8)) out.push_back(toCp1252(cp));
      return out;
    }
  }
  return utf8;
}

AircraftCfgBuilder& AircraftCfgBuilder::general(const std::string& icaoType) {
  m_lines.push_back("[General]");
  if (!icaoType.empty()) m_lines.push_back("icao_type_designator = \"" + icaoType + "\"");
  m_lines.push_back("");
  return *this;
}

AircraftCfgBuilder& AircraftCfgBuilder::section(const FltsimSection& s) {
  m_lines.push_back("[fltsim." + std::to_string(s.number) + "]");
  const auto key = [&](const char* name, const std::string& value) {
    if (!value.empty()) m_lines.push_back(std::string(name) + " = \"" + value + "\"");
  };
  key("title", s.title);
  key("icao_airline", s.airline);
  key("atc_id", s.atcId);
  key("atc_parking_types", s.parkingTypes);
  key("texture", s.texture);
  m_lines.insert(m_lines.end(), s.extra.begin(), s.extra.end());
  m_lines.push_back("");
  return *this;
}

AircraftCfgBuilder& AircraftCfgBuilder::line(const std::string& text) {
  m_lines.push_back(text);
  return *this;
}

std::string AircraftCfgBuilder::text() const {
  std::string out;
  for (const std::string& l : m_lines) out += l + "\r\n";
  return out;
}

fs::path AircraftCfgBuilder::write(const fs::path& path, CfgEncoding encoding) const {
  writeFile(path, encodeText(text(), encoding));
  return path;
}

std::vector<std::string> cfgLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void makeTextureFolder(const fs::path& aircraftCfg, const std::string& name) {
  fs::create_directories(aircraftCfg.parent_path() / (name.empty() ? std::string("texture") : "texture." + name));
}

}  // namespace testsupport
