// The static parking's candidates: the stands chosen for learned aircraft,
// which the placement turns into static aircraft one by one, and the live
// aircraft parked on stands that a renewal takes into account.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One stand chosen for one learned aircraft.
struct StaticCandidate {
  std::uint32_t standId = 0;
  std::uint32_t fit = 0;  // half hours back from now at which the option's half hour was found
  std::string airline;
  std::string type;
  std::string callsign;
  std::string callsign2;
  std::string registration;
  std::uint8_t staysOn = 0;  // no second callsign, or still on the stand in the next half hour
};

// After a calculation sorted so that the last element has the smallest fit;
// the placement takes candidates from its end. Traffic thread only.
extern std::vector<StaticCandidate> g_staticCandidates;

// A live aircraft parked on a stand.
struct LiveParked {
  std::string callsign;
  std::uint32_t standId = 0;
  auto operator<=>(const LiveParked&) const = default;
};

// The live aircraft parked on stands (lf_collectLiveParked fills it for a
// renewal). Traffic thread only.
extern std::vector<LiveParked> g_liveParked;
