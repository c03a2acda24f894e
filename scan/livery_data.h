// One installed livery found by the livery scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LiveryData {
  std::string airline;       // ICAO airline code, "PVT" (private) or "ZZZ" (generic)
  std::string type;          // ICAO aircraft type code
  std::string title;         // the livery title as the simulator knows it
  std::string registration;  // from the package's atc_id; empty when none
  std::uint32_t folderRank = 0;  // 1..10 in a scan; 0 when read from LiveriesScanned.xml
  bool cargo = false;

  // Equal when title, airline, type, registration and cargo are; the rank does not count.
  bool operator==(const LiveryData& other) const {
    return title == other.title && airline == other.airline && type == other.type &&
           registration == other.registration && cargo == other.cargo;
  }
};

// The scan order: airline, then type, then title, byte by byte (std::string
// compares as unsigned characters, a prefix first).
inline bool gf_liveryLess(const LiveryData& a, const LiveryData& b) {
  if (int c = a.airline.compare(b.airline); c != 0) return c < 0;
  if (int c = a.type.compare(b.type); c != 0) return c < 0;
  return a.title.compare(b.title) < 0;
}

using LiveryList = std::vector<LiveryData>;
