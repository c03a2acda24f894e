// The demo's working folder: what an installed program folder holds (a
// small simulator install with an AI traffic package and an add-on airport,
// a reference database, an airport list, the demo airport's park and learned
// files, the user's settings), and what the demo knows of its airport.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace skyloomdemo {

// The ports of the feed: RealTraffic connects to the TCP port and
// broadcasts traffic and weather to the two UDP ports.
struct FeedPorts {
  std::uint16_t tcp = 0;
  std::uint16_t traffic = 0;
  std::uint16_t weather = 0;
};

// The demo airport's stands: a row of twelve, 100 m apart, south of EGLL.
struct DemoStand {
  std::string name;
  double latitude;
  double longitude;
};
std::vector<DemoStand> demoStands();

// The add-on airport's model library: larger than the scan reads for airports.
extern const std::uintmax_t kModelLibBytes;

// Writes a file whole, making its folder.
void writeText(const std::filesystem::path& path, const std::string& text);
// Whether a static's callsign (its ATC id with the static mark "*") is one
// of the demo airport's learned file.
bool isLearned(const std::string& tailNumber);
// The stand a position lies on (within 30 m), or "?".
std::string standAt(double latitude, double longitude);
// Makes the folder afresh as an installed program folder.
void prepareFolder(const std::filesystem::path& folder, const FeedPorts& ports);

}  // namespace skyloomdemo
