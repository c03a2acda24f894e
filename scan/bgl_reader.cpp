#include "scan/bgl_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <numbers>
#include <set>

#include <fmt/format.h>

namespace fs = std::filesystem;

static_assert(std::endian::native == std::endian::little, "the BGL reader copies little-endian words");

namespace {

// The file's bytes as the reader sees them: a trailing partial word reads as
// if padded with zero bytes, and every read says whether it lies inside.
class BglBytes {
 public:
  explicit BglBytes(std::string_view bytes)
      : m_bytes(bytes), m_size((static_cast<std::uint64_t>(bytes.size()) + 3) / 4 * 4) {}

  // The padded size (a whole number of words).
  std::uint64_t size() const { return m_size; }
  std::uint64_t words() const { return m_size / 4; }
  bool inside(std::uint64_t offset, std::uint64_t length) const {
    return offset <= m_size && length <= m_size - offset;
  }
  // Callers check inside() first.
  std::uint32_t u32(std::uint64_t offset) const { return static_cast<std::uint32_t>(read(offset, 4)); }
  std::uint16_t u16(std::uint64_t offset) const { return static_cast<std::uint16_t>(read(offset, 2)); }
  std::int32_t i32(std::uint64_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  float f32(std::uint64_t offset) const {
    const std::uint32_t bits = u32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  std::uint64_t read(std::uint64_t offset, int length) const {
    if (offset + static_cast<std::uint64_t>(length) <= m_bytes.size()) {
      std::uint32_t value = 0;
      std::memcpy(&value, m_bytes.data() + offset, static_cast<std::size_t>(length));
      return value;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < length; ++i) {
      const std::uint64_t at = offset + static_cast<std::uint64_t>(i);
      const std::uint64_t byte = at < m_bytes.size() ? static_cast<unsigned char>(m_bytes[at]) : 0;
      value |= byte << (8 * i);
    }
    return value;
  }

  std::string_view m_bytes;
  std::uint64_t m_size;
};

// A record header: kind at +0, size (header included) at +2.
struct RecordHeader {
  std::uint16_t kind = 0;
  std::uint32_t size = 0;
};
constexpr std::uint64_t kRecordHeaderBytes = 6;

RecordHeader lf_recordHeader(const BglBytes& bgl, std::uint64_t at) { return {bgl.u16(at), bgl.u32(at + 2)}; }

// Offsets inside the structures.
constexpr std::uint64_t kSectionCountAt = 0x14;
constexpr std::uint64_t kSectionEntryBytes = 20;
constexpr std::uint64_t kAirportElevationAt = 0x14;
constexpr std::uint64_t kAirportIdentAt = 0x28;
constexpr std::uint64_t kAirportFirstSubRecordAt = 0x44;
constexpr std::uint64_t kHelipadBytes = 0x20;
constexpr std::uint64_t kParkingCountAt = 0x06;
constexpr std::uint64_t kParkingFirstEntryAt = 0x08;
constexpr std::uint64_t kParkingEntryFixedBytes = 4 * 14;

struct LatLonPos {
  double latitude = 0.0;
  double longitude = 0.0;
};

LatLonPos lf_decodePosition(std::uint32_t packedLatitude, std::uint32_t packedLongitude) {
  return {90.0 - static_cast<double>(packedLatitude) * 180.0 / static_cast<double>(1u << 29),
          static_cast<double>(packedLongitude) * 360.0 / (3.0 * static_cast<double>(1u << 28)) - 180.0};
}

bool lf_isValidPosition(const LatLonPos& p) {
  if (p.latitude < -90.0 || p.latitude > 90.0 || p.longitude < -180.0 || p.longitude > 180.0) return false;
  return !(std::fabs(p.latitude) <= 0.0001 && std::fabs(p.longitude) <= 0.0001);
}

std::string lf_positionText(const LatLonPos& p) { return fmt::format("{:.6f},{:.6f}", p.latitude, p.longitude); }

// The state of one airport record while its sub-records are read.
class AirportReader {
 public:
  AirportReader(const BglBytes& bgl, std::string_view pathText, BglAirport& airport)
      : m_bgl(bgl), m_path(pathText), m_airport(airport) {}

  // Reads the sub-records in [first, end): helipads, and the first taxiway
  // parking sub-record, which ends the walk. Returns a problem text, or "".
  std::string readSubRecords(std::uint64_t first, std::uint64_t end) {
    for (std::uint64_t at = first; at + kRecordHeaderBytes <= end;) {
      const RecordHeader sub = lf_recordHeader(m_bgl, at);
      if (sub.size < 4) break;
      if (sub.size > end - at)
        return fmt::format("sub-record 0x{:X} at offset {} runs past its airport record", sub.kind, at);
      if (sub.kind == kBglHelipadRecord) {
        readHelipad(at, sub.size);
      } else if (sub.kind == kBglTaxiwayParkingRecord) {
        std::string problem = readParking(at, sub.size);
        if (m_duplicateSeen) lf_renameCrowdedParkIds(m_airport.stands);
        return problem;
      }
      at += sub.size / 4 * 4;
    }
    return {};
  }

 private:
  void log(std::string line) { m_airport.standLog.push_back(std::move(line)); }

  void readHelipad(std::uint64_t at, std::uint32_t size) {
    if (size < kHelipadBytes) {
      log(fmt::format("helipad record of {} bytes too short (skipped) in {}", size, m_path));
      return;
    }
    const LatLonPos p = lf_decodePosition(m_bgl.u32(at + 0x10), m_bgl.u32(at + 0x0C));
    if (!lf_isValidPosition(p)) {
      log("lat/lon helipad incorrect (skipped): " + lf_positionText(p));
      return;
    }
    const double sizeMetres = m_bgl.f32(at + 0x1C);
    if (!std::isfinite(sizeMetres)) {
      log(fmt::format("helipad size {:.1F} m invalid (skipped) in {}", sizeMetres, m_path));
      return;
    }
    for (const LatLonPos& seen : m_helipads) {
      if (std::fabs(seen.latitude - p.latitude) < 1e-8 && std::fabs(seen.longitude - p.longitude) < 1e-8) {
        log("double helipad " + m_airport.airportName + " (skipped) " + lf_positionText(p));
        return;
      }
    }
    m_helipads.push_back(p);
    Stand stand(fmt::format("helipad{}", m_airport.helipadCounter), {}, {p.latitude, p.longitude, 0.0},
                sizeMetres / 2.0, 1, 1, 0);
    m_airport.stands.push_back(std::move(stand));
    ++m_airport.helipadCounter;
  }

  // The entries of one taxiway parking sub-record, bounded by the sub-record.
  std::string readParking(std::uint64_t at, std::uint32_t size) {
    if (size < kParkingFirstEntryAt) return {};
    const std::uint64_t end = at + size;
    const std::uint32_t count = m_bgl.u16(at + kParkingCountAt);
    std::uint64_t entry = at + kParkingFirstEntryAt;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (kParkingEntryFixedBytes > end - std::min(entry, end))
        return fmt::format("parking entry {} of {} lies outside its record", i + 1, count);
      const std::uint32_t bits = m_bgl.u32(entry);
      const std::uint64_t entryBytes = 4 * (14 + static_cast<std::uint64_t>(bits >> 24));
      if (entryBytes > end - entry) return fmt::format("parking entry {} of {} lies outside its record", i + 1, count);
      readParkingEntry(entry, bits);
      entry += entryBytes;
    }
    return {};
  }

  void readParkingEntry(std::uint64_t entry, std::uint32_t bits) {
    const double radius = m_bgl.f32(entry + 0x04);
    // Written so that a radius that is not a number is skipped too.
    if (!(radius > 1.0 && radius < 200.0)) {
      log(fmt::format("Skipped position with radius {:.1F} m in {}", radius, m_path));
      return;
    }
    const std::string id = lf_parkingNameSuffix(bits & 0x3F) + fmt::format("{}", (bits >> 12) & 0xFFF);
    const std::uint32_t type = (bits >> 8) & 0xF;
    if (type == 0 || type == 12 || type == 13) return;
    const LatLonPos p = lf_decodePosition(m_bgl.u32(entry + 0x20), m_bgl.u32(entry + 0x1C));
    if (!lf_isValidPosition(p)) {
      log(fmt::format("LatLon {} invalid (skipped)", lf_positionText(p)));
      return;
    }
    const double heading = m_bgl.f32(entry + 0x08);
    if (!std::isfinite(heading)) {
      log(fmt::format("Heading {:.1F} of {} invalid (skipped) in {}", heading, id, m_path));
      return;
    }
    std::string taken = id;
    if (!m_usedIds.insert(taken).second) {
      m_duplicateSeen = true;
      taken.clear();
      for (const char suffix : {'a', 'b', 'c', 'd', 'e', 'f'}) {
        if (m_usedIds.insert(id + suffix).second) {
          taken = id + suffix;
          break;
        }
      }
      if (taken.empty()) {
        log(fmt::format("===> Warning: more than 6 duplicate IDs {} in {}", id, m_path));
        return;
      }
    }
    const double radians = heading == 0.0 ? 2.0 * std::numbers::pi : heading * std::numbers::pi / 180.0;
    Stand stand(taken, {}, {p.latitude, p.longitude, radians}, radius, type == 5 ? 0 : 1,
                (type >= 1 && type <= 7) || type == 14 ? 0 : 1, 1);
    stand.nameAltered = taken != id ? 1 : 0;
    m_airport.stands.push_back(std::move(stand));
  }

  const BglBytes& m_bgl;
  std::string_view m_path;
  BglAirport& m_airport;
  std::set<std::string> m_usedIds;
  bool m_duplicateSeen = false;
  std::vector<LatLonPos> m_helipads;
};

// Walks the records from a word-aligned offset. Returns false when the file's
// reading ends here (a 0x113 record in MSFS 2024 mode).
bool lf_walkRecords(const BglBytes& bgl, std::uint64_t at, bool msfs2020, std::string_view pathText,
                    const AirportNameTable& names, BglContent& content) {
  while (at < bgl.size()) {
    if (!bgl.inside(at, kRecordHeaderBytes)) return true;
    const RecordHeader record = lf_recordHeader(bgl, at);
    if (!msfs2020 && record.kind == kBglUnidentifiedAirportRecord) {
      content.unrecognised = true;
      return false;
    }
    if (record.size < 4) return true;
    if (record.kind == kBglAirportRecord && record.size >= kAirportFirstSubRecordAt) {
      if (!bgl.inside(at, record.size)) {
        content.problem = fmt::format("airport record at offset {} runs past the end of the file", at);
        return false;
      }
      bool ok = false;
      std::string icao = lf_decodeIdentifierOrRegionCode(bgl.u32(at + kAirportIdentAt), ok);
      if (ok) {
        BglAirport& airport = content.airports.emplace_back();
        airport.icao = std::move(icao);
        if (const auto name = names.find(airport.icao); name != names.end()) airport.airportName = name->second;
        airport.altitude = lf_readAirportAltitude(bgl.i32(at + kAirportElevationAt));
        std::string problem = AirportReader(bgl, pathText, airport)
                                  .readSubRecords(at + kAirportFirstSubRecordAt, at + record.size);
        if (!problem.empty()) {
          content.problem = fmt::format("{} of airport {}", problem, airport.icao);
          return false;
        }
      }
    }
    at += record.size / 4 * 4;
  }
  return true;
}

}  // namespace

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t word, bool& ok) {
  std::uint32_t value = word >> 5;
  std::string text;
  do {
    const std::uint32_t digit = value % 38;
    value /= 38;
    char c;
    if (digit == 0)
      c = ' ';
    else if (digit >= 2 && digit <= 11)
      c = static_cast<char>('0' + digit - 2);
    else
      c = static_cast<char>(digit + 53);
    text.insert(text.begin(), c);
  } while (value > 0);
  ok = text.size() == 4 && text.find(' ') == std::string::npos;
  return text;
}

std::string lf_parkingNameSuffix(std::uint32_t nameCode) {
  static constexpr std::array<const char*, 12> kNames{"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
  if (nameCode < kNames.size()) return kNames[nameCode];
  return std::string(1, static_cast<char>((nameCode & 0x3F) + 53));
}

std::int32_t lf_readAirportAltitude(std::int32_t elevationMm) {
  const double feet = std::round(static_cast<double>(elevationMm) * 3.2808399 / 1000.0);
  return feet < -20.0 || feet > 10000.0 ? 0 : static_cast<std::int32_t>(feet);
}

void lf_renameCrowdedParkIds(std::vector<Stand>& stands) {
  for (;;) {
    const auto first = std::find_if(stands.begin(), stands.end(), [](const Stand& s) { return s.nameAltered != 0; });
    if (first == stands.end()) return;
    const std::string base = first->name.substr(0, first->name.size() - 1);
    std::vector<Stand*> group;
    for (Stand& stand : stands) {
      const bool member = stand.name == base || (stand.name.size() == base.size() + 1 && stand.name.starts_with(base) &&
                                                 stand.name.back() >= 'a' && stand.name.back() <= 'f');
      if (!member) continue;
      stand.nameAltered = 0;
      group.push_back(&stand);
    }
    std::stable_sort(group.begin(), group.end(), [](const Stand* a, const Stand* b) { return a->radius > b->radius; });
    for (std::size_t i = 0; i < group.size(); ++i)
      group[i]->name = i == 0 ? base : base + static_cast<char>('a' + i - 1);
  }
}

BglContent gf_readBglAirports(std::string_view bytes, bool msfs2020, std::string_view pathText,
                              const AirportNameTable& names) {
  BglContent content;
  const BglBytes bgl(bytes);
  if (bytes.size() < kBglHeaderBytes || bgl.words() < 15 || bgl.u32(4) != kBglHeaderBytes) return content;
  const std::uint32_t sections = bgl.u32(kSectionCountAt);
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t entry = kBglHeaderBytes + kSectionEntryBytes * i;
    if (!bgl.inside(entry, kSectionEntryBytes)) {
      content.problem = fmt::format("section {} of {} lies outside the file", i + 1, sections);
      return content;
    }
    if (bgl.u32(entry) != kBglAirportSectionType || (bgl.u32(entry + 4) & (1u << 16)) != 0) continue;
    const std::uint64_t subSection = bgl.u32(entry + 0x0C) / 4 * 4;
    if (!bgl.inside(subSection, 12)) {
      content.problem = fmt::format("sub-section table of section {} lies outside the file", i + 1);
      return content;
    }
    const std::uint64_t first = bgl.u32(subSection + 8) / 4 * 4;
    if (!lf_walkRecords(bgl, first, msfs2020, pathText, names, content)) return content;
  }
  return content;
}

bool lf_hasAirportSection(const fs::path& path) {
  // The size fails for anything but a regular file (a folder, FIFO or device
  // is never opened).
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size < kBglHeaderBytes) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::string head(kBglHeaderBytes, '\0');
  if (std::fread(head.data(), 1, head.size(), file.get()) != head.size()) return false;
  const std::uint64_t sections = BglBytes(head).u32(kSectionCountAt);
  if (sections == 0 || size <= kBglHeaderBytes + kSectionEntryBytes * sections) return false;
  // The table is read in pieces, so a large count costs no large buffer.
  constexpr std::uint64_t kPiece = 64;
  std::string piece(kSectionEntryBytes * kPiece, '\0');
  for (std::uint64_t done = 0; done < sections;) {
    const std::uint64_t n = std::min<std::uint64_t>(kPiece, sections - done);
    const std::size_t bytes = static_cast<std::size_t>(n * kSectionEntryBytes);
    if (std::fread(piece.data(), 1, bytes, file.get()) != bytes) return false;
    const BglBytes table(std::string_view(piece.data(), bytes));
    for (std::uint64_t i = 0; i < n; ++i)
      if (table.u32(i * kSectionEntryBytes) == kBglAirportSectionType) return true;
    done += n;
  }
  return false;
}
