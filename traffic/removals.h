// Taking aircraft out of the simulator and off the engine's lists, the
// maximum live count, and the live aircraft parked on stands. Traffic thread
// only, like the lists they change.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "airports/static_candidate.h"
#include "traffic/aircraft.h"

// Creation requests of live aircraft (the adding stack's requests).
extern std::deque<AddRequest> g_liveAddRequests;
// Object ids waiting to be removed from the simulator; the traffic tick
// hands one to the simulator link every 10 ticks.
extern std::deque<std::uint32_t> g_removeRequests;

// Removes one aircraft: an object in the simulator gets a queued removal and
// becomes "removingfromsim" (it leaves its list when the simulator reports
// it removed); a creation still queued in `addQueue` is taken out and the
// aircraft is flagged to be erased; one whose creation is already on its way
// is flagged to be removed once created. A live aircraft frees its stand.
void removeAircraftFromSim(ParkedAircraft& aircraft, std::deque<AddRequest>& addQueue);
void removeAircraftFromSim(LiveAircraft& aircraft);
void removeAircraftFromSim(ParkedAircraft& aircraft);

// Removes every queued creation of the aircraft (its callsign and hexid);
// whether one was found.
bool lf_removeFromAddingStack(std::deque<AddRequest>& queue, const ParkedAircraft& aircraft);

// Erases the flagged aircraft from both lists.
void lf_eraseFlaggedAircraft();

// Removes every static.
void lf_removeAllStatics();

// While more live aircraft are active than g_maxLive (none when below 0),
// removes the active one farthest from the user aircraft.
void lf_enforceMaxLive();

// Removes the static and the parked live aircraft standing on the stand of
// that name.
void lf_clearStand(const std::string& standName);

// Whether a live aircraft counts as parked: parked, active and confirmed on
// the ground.
bool gf_isLiveParked(const LiveAircraft& aircraft);
// Fills g_liveParked (airports/static_candidate.h), sorted by callsign, then stand id.
void lf_collectLiveParked();

// The parked live aircraft and, when asked, their mean parked time in hours
// (-1 when there are none or it was not asked for).
struct LiveParkedStats {
  std::int32_t count = 0;
  double meanHours = -1.0;
};
LiveParkedStats lf_liveParkedStats(bool withMean);

// Removes the n live aircraft parked longest, logging "live parked {} at {} removed".
void lf_removeOldestLiveParked(std::int32_t n);

// Tests and the run reset: every list and queue of aircraft emptied.
void gf_clearTrafficLists();
