// The live-aircraft updates that the Traffic Reader parses from RealTraffic's
// traffic lines, and the queue through which they reach the traffic tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "traffic/aircraft.h"

// One parsed traffic report. Angles in radians, as in every record.
struct LiveAcUpdate {
  LiveAcData identity;         // type, origin, destination, callsign, registration ("null" becomes empty)
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double altitude = 0.0;       // feet (barometric)
  double verticalSpeed = 0.0;  // feet per minute
  double groundSpeed = 0.0;    // knots
  double track = 0.0;          // radians, true
  double heading = 0.0;        // radians, true (the track when the feed gives no heading)
  double roll = 0.0;           // radians
  double timestamp = 0.0;      // seconds since 1970 when the position was valid
  std::uint32_t hexid = 0;     // the transponder's 24-bit ICAO address
  bool onGround = false;
};

// The queue holds at most this many updates; when the traffic tick does not
// take them, the oldest are dropped, so a stalled consumer never makes the
// reader grow without bound.
inline constexpr std::size_t kLiveUpdateQueueLimit = 4096;

// Traffic is accepted (the flag the run sets once the run body is ready for
// traffic and clears at close-down). While it is clear, updates are dropped.
void gf_setTrafficAccepted(bool accepted);
// Appends one update while traffic is accepted; false when it was dropped
// because traffic is not accepted.
bool gf_pushLiveUpdate(LiveAcUpdate update);
// Takes up to `most` updates, oldest first.
std::vector<LiveAcUpdate> gf_takeLiveUpdates(std::size_t most);
// Drops every queued update (a lost link, the run's end).
void gf_clearLiveUpdates();
std::size_t gf_liveUpdateCount();
