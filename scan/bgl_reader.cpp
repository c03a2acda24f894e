#include "scan/bgl_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <numbers>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

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

// The helipad positions of an airport taken so far, found again through a
// grid of cells of the comparison's width: two positions closer than that in
// both coordinates lie in the same or in neighbouring cells.
class HelipadPositions {
 public:
  static constexpr double kSame = 1e-8;  // degrees

  // Whether a position closer than kSame in both coordinates is there.
  bool contains(const LatLonPos& p) const {
    const auto [row, column] = cell(p);
    for (std::int64_t dr = -1; dr <= 1; ++dr) {
      for (std::int64_t dc = -1; dc <= 1; ++dc) {
        const auto found = m_cells.find(key(row + dr, column + dc));
        if (found == m_cells.end()) continue;
        for (const LatLonPos& seen : found->second) {
          if (std::fabs(seen.latitude - p.latitude) < kSame && std::fabs(seen.longitude - p.longitude) < kSame)
            return true;
        }
      }
    }
    return false;
  }
  void add(const LatLonPos& p) {
    const auto [row, column] = cell(p);
    m_cells[key(row, column)].push_back(p);
  }

 private:
  // Valid positions only: |latitude| <= 90 and |longitude| <= 180 keep the
  // cell numbers within 35 bits.
  static std::pair<std::int64_t, std::int64_t> cell(const LatLonPos& p) {
    return {static_cast<std::int64_t>(std::floor(p.latitude / kSame)),
            static_cast<std::int64_t>(std::floor(p.longitude / kSame))};
  }
  static std::uint64_t key(std::int64_t row, std::int64_t column) {
    return (static_cast<std::uint64_t>(row) << 32) ^ static_cast<std::uint64_t>(column);
  }
  std::unordered_map<std::uint64_t, std::vector<LatLonPos>> m_cells;
};

// The reading of one file.
class FileReader {
 public:
  FileReader(const BglBytes& bgl, bool msfs2020, std::string_view pathText, const AirportNameTable& names,
             BglAirportSink& sink)
      : m_bgl(bgl), m_msfs2020(msfs2020), m_path(pathText), m_names(names), m_sink(sink), m_walked(bgl.words()) {}

  BglReadResult read() {
    const std::uint64_t sections = m_bgl.u32(kSectionCountAt);
    // A table that cannot fit in the file is a bad header.
    if (kBglHeaderBytes + kSectionEntryBytes * sections > m_bgl.size()) {
      outsideFile(fmt::format("the section table of {} sections does not fit in the file", sections));
      return std::move(m_result);
    }
    for (std::uint64_t i = 0; i < sections && !ended() && !stop(); ++i) {
      const std::uint64_t entry = kBglHeaderBytes + kSectionEntryBytes * i;
      if (m_bgl.u32(entry) != kBglAirportSectionType || (m_bgl.u32(entry + 4) & (1u << 16)) != 0) continue;
      const std::uint64_t subSection = m_bgl.u32(entry + 0x0C) / 4 * 4;
      if (!m_bgl.inside(subSection, 12)) {
        outsideFile(fmt::format("the sub-section table of section {} lies outside the file", i + 1));
        continue;
      }
      walkRecords(m_bgl.u32(subSection + 8) / 4 * 4);
    }
    if (m_linesDropped > 0)
      m_result.problems.push_back(fmt::format("{} more lines about skipped parts of this file are not shown", m_linesDropped));
    return std::move(m_result);
  }

 private:
  bool ended() const { return m_result.unrecognised || m_result.stopped; }
  bool stop() {
    if (!m_result.stopped && m_sink.stopRequested()) m_result.stopped = true;
    return m_result.stopped;
  }
  void outsideFile(std::string problem) {
    m_result.outsideFile = true;
    skipLine(m_result.problems, std::move(problem));
  }
  // A line about a skipped part, kept while the file has given fewer than
  // kBglMaxSkipLinesPerFile.
  void skipLine(std::vector<std::string>& lines, std::string line) {
    if (m_linesKept == kBglMaxSkipLinesPerFile) {
      ++m_linesDropped;
      return;
    }
    ++m_linesKept;
    lines.push_back(std::move(line));
  }

  // The records from a word-aligned offset, each passed by its own size. A
  // record walked before ends the walk: what follows it was walked too.
  void walkRecords(std::uint64_t at) {
    while (at < m_bgl.size() && !stop()) {
      if (!m_bgl.inside(at, kRecordHeaderBytes)) {
        outsideFile(fmt::format("the record at offset {} lies outside the file", at));
        return;
      }
      if (m_walked[at / 4]) return;
      m_walked[at / 4] = true;
      const RecordHeader record = lf_recordHeader(m_bgl, at);
      if (!m_msfs2020 && record.kind == kBglUnidentifiedAirportRecord) {
        m_result.unrecognised = true;
        return;
      }
      if (record.size < 4) return;
      if (record.kind == kBglAirportRecord) lf_processAirportRecord(at, record.size);
      if (ended()) return;
      at += record.size / 4 * 4;
    }
  }

  // An airport record: found (and linked by the sink) before its stands are
  // read. Too short to hold an identifier, or with an identifier that is not
  // an ICAO code, it is passed over without a message.
  void lf_processAirportRecord(std::uint64_t at, std::uint32_t size) {
    if (size < kAirportIdentAt + 4) return;
    if (!m_bgl.inside(at + kAirportIdentAt, 4)) {
      outsideFile(fmt::format("the airport record at offset {} runs past the end of the file", at));
      return;
    }
    bool ok = false;
    std::string icao = lf_decodeIdentifierOrRegionCode(m_bgl.u32(at + kAirportIdentAt), ok);
    if (!ok) return;
    BglAirport airport;
    airport.icao = std::move(icao);
    if (const auto name = m_names.find(airport.icao); name != m_names.end()) airport.airportName = name->second;
    airport.altitude = lf_readAirportAltitude(m_bgl.i32(at + kAirportElevationAt));
    if (!m_sink.airportFound(airport)) return;
    m_airport = &airport;
    m_recordEnd = at + size;
    m_usedIds.clear();
    m_duplicateSeen = false;
    m_airportFull = false;
    m_helipads = HelipadPositions();
    readSubRecords(at + kAirportFirstSubRecordAt);
    m_airport = nullptr;
    if (!m_result.stopped) m_sink.airportRead(airport);
  }

  void log(std::string line) { skipLine(m_airport->standLog, std::move(line)); }

  // What [at, at + length) runs past: "" when it lies inside the airport
  // record and the file, else "its airport record" or "the file" (a record
  // that runs past the end of the file).
  std::string_view outside(std::uint64_t at, std::uint64_t length) {
    if (!m_bgl.inside(at, length)) {
      m_result.outsideFile = true;
      return "the file";
    }
    if (at <= m_recordEnd && length <= m_recordEnd - at) return {};
    return "its airport record";
  }

  // The sub-records up to the end of the airport record: helipads, and the
  // first taxiway parking sub-record, which ends the walk.
  void readSubRecords(std::uint64_t at) {
    while (at < m_recordEnd && !stop()) {
      // A header cut by the end of the record ends the walk.
      if (const std::string_view past = outside(at, kRecordHeaderBytes); !past.empty()) {
        if (past == "the file")
          log(fmt::format("===> sub-record at offset {} lies outside the file (skipped) in {}", at, m_path));
        return;
      }
      const RecordHeader sub = lf_recordHeader(m_bgl, at);
      if (sub.size < 4) return;
      if (sub.kind == kBglHelipadRecord) {
        lf_processHelipads(at);
      } else if (sub.kind == kBglTaxiwayParkingRecord) {
        lf_processParkingRecord(at);
        if (m_duplicateSeen) lf_renameCrowdedParkIds(m_airport->stands);
        return;
      }
      if (m_airportFull) return;
      at += sub.size / 4 * 4;
    }
  }

  // Whether one more stand fits in the airport. The first that does not
  // ends the reading of the airport: its other stands are skipped.
  bool roomForStand() {
    if (m_airport->stands.size() < kBglMaxStandsPerAirport) return true;
    m_airportFull = true;
    m_result.problems.push_back(fmt::format("{} stands reached in airport {}, its other stands are skipped",
                                            kBglMaxStandsPerAirport, m_airport->icao));
    return false;
  }

  // One helipad sub-record: a stand unless its position is invalid or a
  // helipad of the airport already stands there.
  void lf_processHelipads(std::uint64_t at) {
    if (const std::string_view past = outside(at, kHelipadBytes); !past.empty()) {
      log(fmt::format("===> helipad at offset {} lies outside {} (skipped) in {}", at, past, m_path));
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
    if (m_helipads.contains(p)) {
      log("double helipad " + m_airport->airportName + " (skipped) " + lf_positionText(p));
      return;
    }
    if (!roomForStand()) return;
    m_helipads.add(p);
    m_airport->stands.emplace_back(fmt::format("helipad{}", m_airport->helipadCounter), std::vector<StandOption>{},
                                   StandPosition{p.latitude, p.longitude, 0.0}, sizeMetres / 2.0, 1, 1, 0);
    ++m_airport->helipadCounter;
  }

  // The entries of a taxiway parking sub-record, by its count, as long as
  // their fixed part lies inside the airport record; the first that would run
  // past it ends the sub-record. The airline codes behind an entry are not
  // read: only the next entry's place depends on their number.
  void lf_processParkingRecord(std::uint64_t at) {
    if (const std::string_view past = outside(at, kParkingFirstEntryAt); !past.empty()) {
      log(fmt::format("===> taxiway parking at offset {} lies outside {} (skipped) in {}", at, past, m_path));
      return;
    }
    const std::uint32_t count = m_bgl.u16(at + kParkingCountAt);
    std::uint64_t entry = at + kParkingFirstEntryAt;
    for (std::uint32_t i = 0; i < count && !m_airportFull && !stop(); ++i) {
      if (const std::string_view past = outside(entry, kParkingEntryFixedBytes); !past.empty()) {
        log(fmt::format("===> parking entries {} to {} lie outside {} (skipped) in {}", i + 1, count, past, m_path));
        return;
      }
      const std::uint32_t bits = m_bgl.u32(entry);
      readParkingEntry(entry, bits);
      entry += kParkingEntryFixedBytes + 4 * static_cast<std::uint64_t>(bits >> 24);
    }
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
    if (!roomForStand()) return;
    const double radians = heading == 0.0 ? 2.0 * std::numbers::pi : heading * std::numbers::pi / 180.0;
    Stand& stand = m_airport->stands.emplace_back(taken, std::vector<StandOption>{},
                                                  StandPosition{p.latitude, p.longitude, radians}, radius,
                                                  type == 5 ? 0 : 1, (type >= 1 && type <= 7) || type == 14 ? 0 : 1, 1);
    stand.nameAltered = taken != id ? 1 : 0;
  }

  const BglBytes& m_bgl;
  const bool m_msfs2020;
  const std::string_view m_path;
  const AirportNameTable& m_names;
  BglAirportSink& m_sink;
  BglReadResult m_result;
  std::vector<bool> m_walked;                  // per word: a record starting there was walked
  std::size_t m_linesKept = 0;                 // lines about skipped parts, up to kBglMaxSkipLinesPerFile
  std::size_t m_linesDropped = 0;              // and past it
  // The airport record being read.
  BglAirport* m_airport = nullptr;
  std::uint64_t m_recordEnd = 0;
  bool m_airportFull = false;                  // a stand was skipped at kBglMaxStandsPerAirport
  std::set<std::string> m_usedIds;
  bool m_duplicateSeen = false;
  HelipadPositions m_helipads;
};

// Whether the bytes are the start of a BGL file cut inside its header:
// shorter than 56 and either too short to hold the header size field (an
// interrupted copy leaves such files: what they are cannot be told) or with
// that field saying 56. A file whose field says otherwise is no BGL file
// this reader reads.
bool lf_endsInsideHeader(std::string_view bytes) {
  if (bytes.size() >= kBglHeaderBytes) return false;
  return bytes.size() < kBglHeaderSizeFieldEnd || BglBytes(bytes).u32(4) == kBglHeaderBytes;
}

// Collects the airports of a file.
class CollectingSink : public BglAirportSink {
 public:
  explicit CollectingSink(std::vector<BglAirport>& airports) : m_airports(airports) {}
  bool airportFound(const BglAirport&) override { return true; }
  void airportRead(BglAirport& airport) override { m_airports.push_back(std::move(airport)); }

 private:
  std::vector<BglAirport>& m_airports;
};

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

BglReadResult gf_readBglFile(std::string_view bytes, bool msfs2020, std::string_view pathText,
                             const AirportNameTable& names, BglAirportSink& sink) {
  const BglBytes bgl(bytes);
  if (lf_endsInsideHeader(bytes)) {
    BglReadResult cut;
    cut.outsideFile = true;
    cut.problems.push_back(fmt::format("the file ends inside its header, after {} bytes", bytes.size()));
    return cut;
  }
  if (bytes.size() < kBglHeaderBytes || bgl.u32(4) != kBglHeaderBytes) return {};
  // A file of the header alone has no section table to read (15 words are
  // needed for one); one that counts sections is cut inside its table.
  return FileReader(bgl, msfs2020, pathText, names, sink).read();
}

BglContent gf_readBglAirports(std::string_view bytes, bool msfs2020, std::string_view pathText,
                              const AirportNameTable& names) {
  BglContent content;
  CollectingSink sink(content.airports);
  static_cast<BglReadResult&>(content) = gf_readBglFile(bytes, msfs2020, pathText, names, sink);
  return content;
}

bool lf_hasAirportSection(const fs::path& path, std::string* unreadable) {
  // Every way out that leaves the file unread says why.
  const auto notRead = [&](std::string why) {
    if (unreadable != nullptr) *unreadable = std::move(why);
    return false;
  };
  // The size fails for anything but a regular file (a folder, FIFO or device
  // is never opened).
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return notRead(ec.message());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return notRead(std::generic_category().message(errno));
  std::string head(static_cast<std::size_t>(std::min<std::uintmax_t>(size, kBglHeaderBytes)), '\0');
  if (std::fread(head.data(), 1, head.size(), file.get()) != head.size()) return notRead("a read failed");
  if (lf_endsInsideHeader(head)) return notRead(fmt::format("it ends inside its header, after {} bytes", size));
  if (size < kBglHeaderBytes) return false;
  const std::uint64_t sections = BglBytes(head).u32(kSectionCountAt);
  if (sections == 0) return false;
  if (size <= kBglHeaderBytes + kSectionEntryBytes * sections) {
    // A file whose header size is not 56 is no BGL file the task reads.
    if (BglBytes(head).u32(4) != kBglHeaderBytes) return false;
    return notRead(fmt::format("its section table of {} sections does not fit in its {} bytes", sections, size));
  }
  // The size limit is the task's: a larger file is looked into, and only one
  // that holds an airport section counts as unread. Of its table, no more
  // than the limit is read (a sparse file of gigabytes may count millions of
  // sections); one that goes on past it may hold airports further on.
  const auto tooLarge = [&] {
    return notRead(fmt::format("it has {} bytes, more than the {} a BGL file is read up to", size, kBglMaxFileBytes));
  };
  const std::uint64_t looked =
      std::min<std::uint64_t>(sections, (kBglMaxFileBytes - kBglHeaderBytes) / kSectionEntryBytes);
  // The table is read in pieces, so a large count costs no large buffer.
  constexpr std::uint64_t kPiece = 64;
  std::string piece(kSectionEntryBytes * kPiece, '\0');
  for (std::uint64_t done = 0; done < looked;) {
    const std::uint64_t n = std::min<std::uint64_t>(kPiece, looked - done);
    const std::size_t bytes = static_cast<std::size_t>(n * kSectionEntryBytes);
    if (std::fread(piece.data(), 1, bytes, file.get()) != bytes) return notRead("a read failed");
    const BglBytes table(std::string_view(piece.data(), bytes));
    for (std::uint64_t i = 0; i < n; ++i)
      if (table.u32(i * kSectionEntryBytes) == kBglAirportSectionType) return size > kBglMaxFileBytes ? tooLarge() : true;
    done += n;
  }
  return looked < sections ? tooLarge() : false;
}
