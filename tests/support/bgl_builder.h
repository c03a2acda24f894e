// Builds BGL scenery files byte by byte: a header, a section table, airport
// sections with airport records (taxiway parking entries and helipads),
// records without identifier (0x113) and sections of other types. Used by the
// tests, the fuzz corpus, the benchmark's scenery generator and the demo.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// The packed forms of the file.
std::uint32_t bglIdent(const std::string& code);   // base 38, shifted left by 5
std::uint32_t bglLatitude(double degrees);
std::uint32_t bglLongitude(double degrees);

struct BglParking {
  std::uint32_t nameCode = 10;  // 10: "g"
  std::uint32_t number = 1;
  std::uint32_t type = 8;       // 8: a gate (neither cargo nor ramp)
  float radius = 20.0f;
  float heading = 90.0f;
  double latitude = 51.47;
  double longitude = -0.45;
  std::uint32_t airlineCount = 0;
};

struct BglHelipad {
  double latitude = 51.48;
  double longitude = -0.46;
  float size = 20.0f;
  std::uint32_t recordSize = 0x24;  // the size the sub-record gives itself
};

// One airport record; the identifier is the packed code unless identWord is given.
struct BglAirportSpec {
  std::string icao = "EGLL";
  std::optional<std::uint32_t> identWord{};
  std::int32_t elevationMm = 25000;
  std::vector<BglHelipad> helipadsBefore{};  // before the taxiway parking sub-record
  std::vector<BglParking> parking{};         // one taxiway parking sub-record, when not empty
  std::vector<BglHelipad> helipadsAfter{};   // after it
  std::optional<std::uint16_t> parkingCount{};  // the entry count written, when not the number of entries
  std::size_t paddingBytes = 0;                 // zero bytes at the end of the record, inside it
  std::optional<std::uint32_t> recordSize{};    // the size the record gives itself, when not its real size
};

class BglBuilder {
 public:
  // A new airport section (type 3) holding these records, in order.
  BglBuilder& airportSection(std::vector<BglAirportSpec> airports, bool layoutBit16 = false);
  // A new airport section whose first record is a 0x113 record, followed by these.
  BglBuilder& unidentifiedSection(std::vector<BglAirportSpec> airports);
  // The last section's table entry written `count` times, every copy leading
  // to the same records.
  BglBuilder& repeatLastSection(std::size_t count);
  // The section count written in the header, when not the number of entries.
  BglBuilder& sectionCount(std::uint32_t count);
  // A section of another type holding filler bytes.
  BglBuilder& otherSection(std::uint32_t type, std::size_t bytes);
  // The header size written at offset 4 (56 for a valid file).
  BglBuilder& headerSize(std::uint32_t size);

  std::string bytes() const;
  void write(const std::filesystem::path& path) const;

 private:
  struct Section {
    std::uint32_t type = 3;
    bool layoutBit16 = false;
    bool unidentified = false;
    std::vector<BglAirportSpec> airports;
    std::size_t fillerBytes = 0;
    std::size_t copies = 1;
  };
  std::vector<Section> m_sections;
  std::uint32_t m_headerSize = 56;
  std::optional<std::uint32_t> m_sectionCount;
};

// A packed airport record alone (header included), for tests of one record.
std::string bglAirportRecord(const BglAirportSpec& airport);

}  // namespace testsupport
