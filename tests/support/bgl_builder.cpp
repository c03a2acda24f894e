#include "support/bgl_builder.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace testsupport {

namespace {

void put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void putFloat(std::string& out, std::size_t at, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  put32(out, at, bits);
}
// A record of kind and size (header at +0 and +2), zero-filled.
std::string record(std::uint16_t kind, std::size_t size) {
  std::string out(size, '\0');
  put16(out, 0, kind);
  put32(out, 2, static_cast<std::uint32_t>(size));
  return out;
}

std::string helipad(const BglHelipad& h) {
  std::string out = record(0x26, 0x24);
  put32(out, 2, h.recordSize);
  put32(out, 0x0C, bglLongitude(h.longitude));
  put32(out, 0x10, bglLatitude(h.latitude));
  putFloat(out, 0x1C, h.size);
  return out;
}

std::string parkingRecord(const std::vector<BglParking>& entries, std::optional<std::uint16_t> count) {
  std::size_t size = 8;
  for (const BglParking& p : entries) size += 4 * (14 + p.airlineCount);
  std::string out = record(0xE7, size);
  put16(out, 6, count.value_or(static_cast<std::uint16_t>(entries.size())));
  std::size_t at = 8;
  for (const BglParking& p : entries) {
    put32(out, at, (p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) | (p.airlineCount << 24));
    putFloat(out, at + 4, p.radius);
    putFloat(out, at + 8, p.heading);
    put32(out, at + 0x1C, bglLongitude(p.longitude));
    put32(out, at + 0x20, bglLatitude(p.latitude));
    at += 4 * (14 + p.airlineCount);
  }
  return out;
}

}  // namespace

std::uint32_t bglIdent(const std::string& code) {
  std::uint32_t value = 0;
  for (const char c : code) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0') + 2;
    else if (c >= 'A' && c <= 'Z') digit = static_cast<std::uint32_t>(c - 'A') + 12;
    value = value * 38 + digit;
  }
  return value << 5;
}

std::uint32_t bglLatitude(double degrees) {
  return static_cast<std::uint32_t>(std::llround((90.0 - degrees) * static_cast<double>(1u << 29) / 180.0));
}
std::uint32_t bglLongitude(double degrees) {
  return static_cast<std::uint32_t>(std::llround((degrees + 180.0) * 3.0 * static_cast<double>(1u << 28) / 360.0));
}

std::string bglAirportRecord(const BglAirportSpec& a) {
  std::string subs;
  for (const BglHelipad& h : a.helipadsBefore) subs += helipad(h);
  if (!a.parking.empty()) subs += parkingRecord(a.parking, a.parkingCount);
  for (const BglHelipad& h : a.helipadsAfter) subs += helipad(h);
  subs.append(a.paddingBytes, '\0');
  std::string out = record(0x56, 0x44 + subs.size());
  if (a.recordSize) put32(out, 2, *a.recordSize);
  put32(out, 0x14, static_cast<std::uint32_t>(a.elevationMm));
  put32(out, 0x28, a.identWord.value_or(bglIdent(a.icao)));
  out.replace(0x44, subs.size(), subs);
  return out;
}

BglBuilder& BglBuilder::airportSection(std::vector<BglAirportSpec> airports, bool layoutBit16) {
  m_sections.push_back({3, layoutBit16, false, std::move(airports), 0});
  return *this;
}
BglBuilder& BglBuilder::unidentifiedSection(std::vector<BglAirportSpec> airports) {
  m_sections.push_back({3, false, true, std::move(airports), 0});
  return *this;
}
BglBuilder& BglBuilder::otherSection(std::uint32_t type, std::size_t bytes) {
  m_sections.push_back({type, false, false, {}, bytes});
  return *this;
}
BglBuilder& BglBuilder::repeatLastSection(std::size_t count) {
  m_sections.back().copies = count;
  return *this;
}
BglBuilder& BglBuilder::sectionCount(std::uint32_t count) {
  m_sectionCount = count;
  return *this;
}
BglBuilder& BglBuilder::headerSize(std::uint32_t size) {
  m_headerSize = size;
  return *this;
}

std::string BglBuilder::bytes() const {
  std::size_t entries = 0;
  for (const Section& s : m_sections) entries += s.copies;
  std::string out(56 + 20 * entries, '\0');
  put32(out, 0, 0x19920201);
  put32(out, 4, m_headerSize);
  put32(out, 0x14, m_sectionCount.value_or(static_cast<std::uint32_t>(entries)));
  std::size_t entry = 56;
  for (const Section& s : m_sections) {
    std::string body;
    if (s.unidentified) body += record(0x113, 0x20);
    for (const BglAirportSpec& a : s.airports) body += bglAirportRecord(a);
    if (s.fillerBytes > 0) body += std::string(s.fillerBytes / 4 * 4, '\x11');
    const std::size_t subTable = out.size();
    for (std::size_t copy = 0; copy < s.copies; ++copy, entry += 20) {
      put32(out, entry, s.type);
      put32(out, entry + 4, s.layoutBit16 ? (1u << 16) | 1u : 1u);
      put32(out, entry + 8, 1);
      put32(out, entry + 0x0C, static_cast<std::uint32_t>(subTable));
      put32(out, entry + 0x10, 16);
    }
    std::string sub(16, '\0');
    put32(sub, 8, static_cast<std::uint32_t>(subTable + 16));
    put32(sub, 12, static_cast<std::uint32_t>(body.size()));
    out += sub;
    out += body;
  }
  return out;
}

void BglBuilder::write(const std::filesystem::path& path) const {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  const std::string content = bytes();
  std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace testsupport
